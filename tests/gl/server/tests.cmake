# The GL server's tests drive the real server the way applications do: the
# engine loads vornix, a client process opens a display device context, and
# the first DescribePixelFormat makes the driver load vnxglsrv.so by name.
# The request floating-point mode is tested as the server's own function,
# compiled in here; the tests see the server's records through its header.
target_sources(${name}_tests PRIVATE ${PROJECT_SOURCE_DIR}/gl/server/fpu.cpp)
target_include_directories(${name}_tests PRIVATE ${PROJECT_SOURCE_DIR}/gl/server
  ${PROJECT_SOURCE_DIR}/include)
target_link_options(${name}_tests PRIVATE $<TARGET_FILE:vornix>)
add_dependencies(${name}_tests vornix vnxglsrv)

# The server's entry and command escape against stand-ins for its parts not
# built yet (dispatch/): the server's sources but its seams, in a program of
# their own, so the server loaded by the driver in the program above is the
# only one there.
file(GLOB VNX_GLSRV_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/gl/server/*.cpp)
list(REMOVE_ITEM VNX_GLSRV_SOURCES ${PROJECT_SOURCE_DIR}/gl/server/seams.cpp)
# Pixel formats and drawables have their own program (pixfmt/); here their
# entry points are stand-ins too.
set(VNX_GLSRV_PIXFMT_SOURCES ${PROJECT_SOURCE_DIR}/gl/server/pixfmt.cpp
  ${PROJECT_SOURCE_DIR}/gl/server/pixfmt_tables.cpp ${PROJECT_SOURCE_DIR}/gl/server/palette.cpp
  ${PROJECT_SOURCE_DIR}/gl/server/drawable.cpp ${PROJECT_SOURCE_DIR}/gl/server/cliplist.cpp)
list(REMOVE_ITEM VNX_GLSRV_SOURCES ${VNX_GLSRV_PIXFMT_SOURCES})
add_executable(gl_server_dispatch_tests ${VNX_GLSRV_SOURCES}
  ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/dispatch/dispatch_check.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/dispatch/seams_double.cpp)
target_include_directories(gl_server_dispatch_tests PRIVATE ${PROJECT_SOURCE_DIR}/gl/server
  ${PROJECT_SOURCE_DIR}/include ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/dispatch)
target_link_libraries(gl_server_dispatch_tests PRIVATE vnxplatform PkgConfig::PIXMAN GTest::gtest
  GTest::gtest_main)
target_link_options(gl_server_dispatch_tests PRIVATE $<TARGET_FILE:vornix>)
add_dependencies(gl_server_dispatch_tests vornix)
gtest_discover_tests(gl_server_dispatch_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)

# Pixel formats, visuals, drawables and clip lists, called directly on a
# device the engine enabled, with stand-ins for the parts they call that
# are not built yet (pixfmt/seams_double.cpp): the buffer manager, contexts
# and lgi.
add_executable(gl_server_pixfmt_tests ${VNX_GLSRV_PIXFMT_SOURCES}
  ${PROJECT_SOURCE_DIR}/gl/server/debug.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/pixfmt/pixfmt_check.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/pixfmt/drawable_check.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/pixfmt/seams_double.cpp)
target_include_directories(gl_server_pixfmt_tests PRIVATE ${PROJECT_SOURCE_DIR}/gl/server
  ${PROJECT_SOURCE_DIR}/include ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/pixfmt)
target_link_libraries(gl_server_pixfmt_tests PRIVATE vnxplatform PkgConfig::PIXMAN GTest::gtest
  GTest::gtest_main)
target_link_options(gl_server_pixfmt_tests PRIVATE $<TARGET_FILE:vornix>)
add_dependencies(gl_server_pixfmt_tests vornix)
gtest_discover_tests(gl_server_pixfmt_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
