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
