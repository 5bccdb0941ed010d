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
