# The GL server's tests drive the real server the way applications do: the
# engine loads vornix, a client process opens a display device context, and
# the first DescribePixelFormat makes the driver load vnxglsrv.so by name.
# The request floating-point mode is tested as the server's own function,
# compiled in here; the tests see the server's records through its header.
target_sources(${name}_tests PRIVATE ${PROJECT_SOURCE_DIR}/gl/server/entry/fpu.cpp)
target_include_directories(${name}_tests PRIVATE ${PROJECT_SOURCE_DIR}/gl/server
  ${PROJECT_SOURCE_DIR}/include)
target_link_libraries(${name}_tests PRIVATE vornix)
add_dependencies(${name}_tests vnxglsrv)
# The lgi layer's tests (lgi/) call the layer directly: its objects are
# linked in, beside the server the driver loads.
target_link_libraries(${name}_tests PRIVATE vnxlgi)

# A program of the server's own sources with stand-ins for parts not built
# yet, in folder `part` (gl_server_<part>_tests): the server loaded by the
# driver in the program above stays the only one there.
function(vnx_glsrv_check_program part)
  set(target gl_server_${part}_tests)
  add_executable(${target} ${ARGN})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/gl/server
    ${PROJECT_SOURCE_DIR}/include ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/${part}
    ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${target} PRIVATE vnxplatform PkgConfig::PIXMAN GTest::gtest
    GTest::gtest_main)
  target_link_libraries(${target} PRIVATE vornix)
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()

# Pixel formats and drawables (pixfmt/): their sources, and in the
# dispatcher's program stand-ins for them.
set(VNX_GLSRV_PIXFMT_SOURCES ${PROJECT_SOURCE_DIR}/gl/server/pixfmt/pixfmt.cpp
  ${PROJECT_SOURCE_DIR}/gl/server/pixfmt/pixfmt_tables.cpp ${PROJECT_SOURCE_DIR}/gl/server/pixfmt/palette.cpp
  ${PROJECT_SOURCE_DIR}/gl/server/pixfmt/drawable.cpp ${PROJECT_SOURCE_DIR}/gl/server/pixfmt/cliplist.cpp)

# The server's entry and command escape against stand-ins for its parts not
# built yet (dispatch/): the server's sources but its seams.
file(GLOB_RECURSE VNX_GLSRV_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/gl/server/*.cpp)
list(FILTER VNX_GLSRV_SOURCES EXCLUDE REGEX "/gl/server/lgi/")
# Primitive accumulation has its own program (prim/); here it is stood in for.
list(FILTER VNX_GLSRV_SOURCES EXCLUDE REGEX "/gl/server/prim/")
list(REMOVE_ITEM VNX_GLSRV_SOURCES ${PROJECT_SOURCE_DIR}/gl/server/seams.cpp
  ${VNX_GLSRV_PIXFMT_SOURCES})
# Contexts and the buffer manager are doubled there too: the escape's tests hand out contexts of their own.
list(REMOVE_ITEM VNX_GLSRV_SOURCES ${PROJECT_SOURCE_DIR}/gl/server/context/context.cpp
  ${PROJECT_SOURCE_DIR}/gl/server/context/buffers.cpp ${PROJECT_SOURCE_DIR}/gl/server/context/image.cpp
  ${PROJECT_SOURCE_DIR}/gl/server/context/texture.cpp ${PROJECT_SOURCE_DIR}/gl/server/context/viewport.cpp)
# Its checks sit in the folders of the sources they check; the fixture and
# the stand-ins are in dispatch/.
set(VNX_GLSRV_CHECKS)
foreach(folder dispatch segment state matrix light texture list eval pixel)
  file(GLOB checks CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/${folder}/*_check.cpp)
  list(APPEND VNX_GLSRV_CHECKS ${checks})
endforeach()
vnx_glsrv_check_program(dispatch ${VNX_GLSRV_SOURCES} ${VNX_GLSRV_CHECKS}
  ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/dispatch/seams_double.cpp)

# Pixel formats, visuals, drawables and clip lists, called directly on a
# device the engine enabled (or a device record of the test's own), with
# stand-ins for the buffer manager, contexts and lgi (pixfmt/seams_double.cpp).
vnx_glsrv_check_program(pixfmt ${VNX_GLSRV_PIXFMT_SOURCES} ${PROJECT_SOURCE_DIR}/gl/server/entry/debug.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/pixfmt/pixfmt_check.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/pixfmt/drawable_check.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/pixfmt/seams_double.cpp)

# The buffer manager over a device record of the test's own (buffers/): its
# source with the display driver's swap, the drawable look-up and lgi
# binding stood in for.
add_executable(gl_server_buffers_tests ${PROJECT_SOURCE_DIR}/gl/server/context/buffers.cpp
  ${PROJECT_SOURCE_DIR}/gl/server/context/image.cpp ${PROJECT_SOURCE_DIR}/gl/server/context/texture.cpp
  ${PROJECT_SOURCE_DIR}/gl/server/entry/debug.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/buffers/buffers_check.cpp)
target_include_directories(gl_server_buffers_tests PRIVATE ${PROJECT_SOURCE_DIR}/gl/server
  ${PROJECT_SOURCE_DIR}/include ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(gl_server_buffers_tests PRIVATE vnxplatform PkgConfig::PIXMAN GTest::gtest
  GTest::gtest_main)
gtest_discover_tests(gl_server_buffers_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)

# Swaps end to end (swap/): the server's objects with the lgi layer,
# started on a device the engine enabled as the driver starts the library
# it loads; applications reach it through their windows' device contexts,
# and the board shows the result.
file(GLOB VNX_GLSRV_DEVICE_CHECKS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/swap/*_check.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/context/*_check.cpp)
vnx_glsrv_check_program(swap ${VNX_GLSRV_DEVICE_CHECKS})
target_link_libraries(gl_server_swap_tests PRIVATE vnxglsrv_objects vnxlgi)

# Primitive accumulation (prim/): the primitive ring's batches and the
# server's primitive buffer over the real lgi layer, whose primitive entries
# (N_ExecPrimitive and the command stream's draw packets) record what
# reaches them (prim/lgi_double.cpp stands in for the layer's parts not
# built yet).
file(GLOB VNX_GLSRV_PRIM_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/gl/server/prim/*.cpp)
file(GLOB_RECURSE VNX_GLSRV_PRIM_LGI CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/gl/server/lgi/*.cpp)
list(REMOVE_ITEM VNX_GLSRV_PRIM_LGI ${PROJECT_SOURCE_DIR}/gl/server/lgi/seams.cpp
  ${PROJECT_SOURCE_DIR}/gl/server/lgi/3d/exec.cpp)
file(GLOB VNX_GLSRV_PRIM_CHECKS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/prim/*_check.cpp)
vnx_glsrv_check_program(prim ${VNX_GLSRV_PRIM_SOURCES} ${VNX_GLSRV_PRIM_LGI} ${VNX_GLSRV_PRIM_CHECKS}
  ${PROJECT_SOURCE_DIR}/gl/server/dispatch/dispatch_pending.cpp
  ${PROJECT_SOURCE_DIR}/gl/server/dispatch/errors.cpp
  ${PROJECT_SOURCE_DIR}/gl/server/dispatch/names.cpp
  ${PROJECT_SOURCE_DIR}/gl/server/dispatch/dispatch_lengths.cpp
  ${PROJECT_SOURCE_DIR}/gl/server/entry/debug.cpp
  ${PROJECT_SOURCE_DIR}/gl/server/state/state_requests.cpp
  ${PROJECT_SOURCE_DIR}/gl/server/light/light.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/prim/lgi_double.cpp)
target_include_directories(gl_server_prim_tests PRIVATE ${PROJECT_SOURCE_DIR}/gl/server/lgi)
