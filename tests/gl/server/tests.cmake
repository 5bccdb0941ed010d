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
# The lgi layer's tests (lgi/) call the layer directly: its objects are
# linked in, beside the server the driver loads.
target_link_libraries(${name}_tests PRIVATE vnxlgi)

# The server's entry and command escape, and the request segment's decoders,
# against stand-ins for its parts not built yet (dispatch/): the server's sources but its seams, in a program of
# their own, so the server loaded by the driver in the program above is the
# only one there.
file(GLOB VNX_GLSRV_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/gl/server/*.cpp)
list(REMOVE_ITEM VNX_GLSRV_SOURCES ${PROJECT_SOURCE_DIR}/gl/server/seams.cpp)
add_executable(gl_server_dispatch_tests ${VNX_GLSRV_SOURCES}
  ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/dispatch/dispatch_check.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/dispatch/segments_check.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/dispatch/seams_double.cpp)
target_include_directories(gl_server_dispatch_tests PRIVATE ${PROJECT_SOURCE_DIR}/gl/server
  ${PROJECT_SOURCE_DIR}/include ${CMAKE_CURRENT_SOURCE_DIR}/gl/server/dispatch
  ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(gl_server_dispatch_tests PRIVATE vnxplatform GTest::gtest GTest::gtest_main)
target_link_options(gl_server_dispatch_tests PRIVATE $<TARGET_FILE:vornix>)
add_dependencies(gl_server_dispatch_tests vornix)
gtest_discover_tests(gl_server_dispatch_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
