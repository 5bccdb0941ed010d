# Applications through the system OpenGL library (which loads the client
# driver, the display driver and the GL server by name) against OSMesa
# running the same code. The system library comes first among the libraries
# the program links, so the application's gl* calls bind to it; OSMesa's
# entry points are looked up by name (gl_reference.cpp).
target_link_libraries(${name}_tests PRIVATE opengl32)
target_sources(${name}_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/platform/gl_reference.cpp)
target_include_directories(${name}_tests PRIVATE ${PROJECT_SOURCE_DIR}/include ${OSMESA_INCLUDE_DIRS})
target_link_libraries(${name}_tests PRIVATE PNG::PNG ${CMAKE_DL_LIBS})
vnx_load_osmesa_at_start(${name}_tests)
add_dependencies(${name}_tests vnxglclt vornix vnxglsrv)

# Extreme values through the system OpenGL library (hostile/): one case a
# fresh machine, each bounded by the program's own timeout, which is what a
# request that does not scale with what it can change runs into.
add_executable(gl_app_hostile_tests ${CMAKE_CURRENT_SOURCE_DIR}/gl/app/hostile/hostile_values.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/gl/app/app_gl.cpp ${CMAKE_CURRENT_SOURCE_DIR}/gl/app/app_machines.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/gl_reference.cpp)
target_include_directories(gl_app_hostile_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}
  ${PROJECT_SOURCE_DIR}/include ${OSMESA_INCLUDE_DIRS})
target_link_libraries(gl_app_hostile_tests PRIVATE opengl32 vnxplatform GTest::gtest GTest::gtest_main PNG::PNG
  ${CMAKE_DL_LIBS})
vnx_load_osmesa_at_start(gl_app_hostile_tests)
add_dependencies(gl_app_hostile_tests vnxglclt vornix vnxglsrv)
gtest_discover_tests(gl_app_hostile_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 30)
