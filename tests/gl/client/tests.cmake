# The client driver's tests call its functions directly (its objects are
# linked in) against the real GL server, which the display driver loads by
# file name on the application's first pixel-format call.
target_link_libraries(${name}_tests PRIVATE vnxglclt_objects)
add_dependencies(${name}_tests vornix vnxglsrv)
# The request images are read off a display driver that records its escapes.
add_dependencies(${name}_tests vnxfakedrv)

# The client driver against the GL server built into the program (server/):
# the application's calls through the client, the server's requests and
# primitive paths, to the lgi layer's two primitive entries, which the link
# wraps so that they record what reaches them before they draw.
file(GLOB VNX_GLCLT_SERVER_CHECKS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/gl/client/server/*.cpp)
add_executable(gl_client_server_tests ${VNX_GLCLT_SERVER_CHECKS})
target_include_directories(gl_client_server_tests PRIVATE ${PROJECT_SOURCE_DIR}/gl/server
  ${PROJECT_SOURCE_DIR}/include ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(gl_client_server_tests PRIVATE vnxglclt_objects vnxglsrv_objects vnxlgi vornix
  vnxplatform PkgConfig::PIXMAN GTest::gtest GTest::gtest_main)
target_link_options(gl_client_server_tests PRIVATE
  "LINKER:--wrap=_Z15N_ExecPrimitivePK10N_PrimDesc,--wrap=_Z16_NExecInlinePrimP9N_ContextjjjPKj")
gtest_discover_tests(gl_client_server_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
