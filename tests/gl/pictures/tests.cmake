# GL pictures end to end (gl/pictures/): the server's objects (compiled once,
# gl/server/CMakeLists.txt) with the lgi layer, started on a device the
# engine enabled as the driver starts the library it loads (as the swap
# checks are), and OSMesa as the reference renderer (loaded at run time; its
# headers are needed to build).
target_sources(${name}_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/platform/gl_reference.cpp)
target_include_directories(${name}_tests PRIVATE ${PROJECT_SOURCE_DIR}/gl/server
  ${PROJECT_SOURCE_DIR}/include ${OSMESA_INCLUDE_DIRS})
target_link_libraries(${name}_tests PRIVATE vnxglsrv_objects vnxlgi vornix PkgConfig::PIXMAN PNG::PNG
  ${CMAKE_DL_LIBS})
vnx_load_osmesa_at_start(${name}_tests)
