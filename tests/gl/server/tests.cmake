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

# A program of some of the server's parts (vnxglsrv_<part>, compiled once in
# gl/server/CMakeLists.txt) and one double for each contract the rest of the
# server stands behind, in folder `part` (gl_server_<part>_tests): the
# server loaded by the driver in the program above stays the only one
# there. The doubles are named libraries (gl_server_<what>_double).
function(vnx_glsrv_check_program part)
  set(target gl_server_${part}_tests)
  add_executable(${target} ${ARGN})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/gl/server
    ${PROJECT_SOURCE_DIR}/include ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/${part}
    ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${target} PRIVATE vnxplatform PkgConfig::PIXMAN GTest::gtest
    GTest::gtest_main)
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()
# A double: an object library of files in tests/gl/server.
function(vnx_glsrv_double name)
  add_library(gl_server_${name}_double OBJECT ${ARGN})
  target_include_directories(gl_server_${name}_double PRIVATE ${PROJECT_SOURCE_DIR}/gl/server
    ${PROJECT_SOURCE_DIR}/include ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(gl_server_${name}_double PRIVATE vnxplatform PkgConfig::PIXMAN GTest::gtest)
endfunction()

# The request layer (dispatch/ and the folders of the request families):
# the server's entry, command escape, segments, decoders and requests, over
# a double of the parts behind seams.h (pixel formats, contexts, buffer
# manager, primitive accumulation: dispatch/seams_double.cpp) and a double
# of the lgi contract (dispatch/lgi_double.cpp); both record what reaches
# them. The checks sit in the folders of the sources they check; the
# fixture and the doubles are in dispatch/.
vnx_glsrv_double(seams ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/dispatch/seams_double.cpp)
vnx_glsrv_double(lgi ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/dispatch/lgi_double.cpp)
set(VNX_GLSRV_CHECKS)
foreach(folder dispatch segment state matrix light texture list eval pixel)
  file(GLOB checks CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/${folder}/*_check.cpp)
  list(APPEND VNX_GLSRV_CHECKS ${checks})
endforeach()
vnx_glsrv_check_program(dispatch ${VNX_GLSRV_CHECKS})
target_link_libraries(gl_server_dispatch_tests PRIVATE vnxglsrv_requests vnxglsrv_debug
  gl_server_seams_double gl_server_lgi_double vornix)

# Pixel formats, visuals, drawables and clip lists (pixfmt/), called
# directly on a device the engine enabled (or a device record of the test's
# own), over a double of what they call of the buffer manager, contexts and
# lgi (pixfmt/seams_double.cpp).
vnx_glsrv_double(pixfmt_seams ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/pixfmt/seams_double.cpp)
vnx_glsrv_check_program(pixfmt ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/pixfmt/pixfmt_check.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/pixfmt/drawable_check.cpp)
target_link_libraries(gl_server_pixfmt_tests PRIVATE vnxglsrv_pixfmt vnxglsrv_debug
  gl_server_pixfmt_seams_double vornix)

# The buffer manager with image transfer and the device's textures
# (buffers/) over a device record of the test's own, with a double of the
# display driver's contract in vornix's place (its swap, copies, tiles and
# queues), the drawable look-ups and lgi's binding
# (buffers/driver_double.cpp).
vnx_glsrv_double(driver ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/buffers/driver_double.cpp)
vnx_glsrv_check_program(buffers ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/buffers/buffers_check.cpp)
target_link_libraries(gl_server_buffers_tests PRIVATE vnxglsrv_buffers vnxglsrv_debug
  gl_server_driver_double)

# Swaps end to end (swap/): the server's objects with the lgi layer,
# started on a device the engine enabled as the driver starts the library
# it loads; applications reach it through their windows' device contexts,
# and the board shows the result.
file(GLOB VNX_GLSRV_DEVICE_CHECKS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/swap/*_check.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/context/*_check.cpp)
vnx_glsrv_check_program(swap ${VNX_GLSRV_DEVICE_CHECKS})
target_link_libraries(gl_server_swap_tests PRIVATE vnxglsrv_objects vnxlgi vornix)

# Primitive accumulation (prim/): the primitive ring's batches and the
# server's primitive buffer over the real lgi layer, whose primitive entries
# (N_ExecPrimitive and the command stream's draw packets, lgi/3d/prims/exec.cpp)
# record what reaches them. The lgi layer has no seam between its command
# stream and its primitive execution, so its sources are listed here but for
# exec.cpp; of the request layer the program takes the
# decoders' length and error checks, the per-vertex requests and lighting.
# The double (prim/lgi_double.cpp) stands in for the primitive execution,
# for the buffer manager the lgi layer reaches and for the rest of the
# request layer (validation, tables, the list compiler).
vnx_glsrv_double(prim ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/prim/lgi_double.cpp)
target_include_directories(gl_server_prim_double PRIVATE ${PROJECT_SOURCE_DIR}/gl/server/lgi)
file(GLOB_RECURSE VNX_GLSRV_PRIM_LGI CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/gl/server/lgi/*.cpp)
list(REMOVE_ITEM VNX_GLSRV_PRIM_LGI ${PROJECT_SOURCE_DIR}/gl/server/lgi/3d/prims/exec.cpp)
file(GLOB VNX_GLSRV_PRIM_CHECKS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/prim/*_check.cpp)
vnx_glsrv_check_program(prim ${VNX_GLSRV_PRIM_LGI} ${VNX_GLSRV_PRIM_CHECKS}
  ${PROJECT_SOURCE_DIR}/gl/server/dispatch/dispatch_pending.cpp
  ${PROJECT_SOURCE_DIR}/gl/server/dispatch/errors.cpp
  ${PROJECT_SOURCE_DIR}/gl/server/dispatch/names.cpp
  ${PROJECT_SOURCE_DIR}/gl/server/dispatch/dispatch_lengths.cpp
  ${PROJECT_SOURCE_DIR}/gl/server/state/state_requests.cpp
  ${PROJECT_SOURCE_DIR}/gl/server/light/light.cpp)
target_include_directories(gl_server_prim_tests PRIVATE ${PROJECT_SOURCE_DIR}/gl/server/lgi)
target_link_libraries(gl_server_prim_tests PRIVATE vnxglsrv_prim vnxglsrv_debug gl_server_prim_double vornix)
