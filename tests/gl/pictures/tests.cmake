# GL pictures end to end (gl/pictures/): the server built from its sources
# with the lgi layer, started on a device the engine enabled as the driver
# starts the library it loads (as the swap checks are), and OSMesa as the
# reference renderer (loaded at run time; its headers are needed to build).
file(GLOB_RECURSE VNX_PICTURES_SERVER_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/gl/server/*.cpp)
list(FILTER VNX_PICTURES_SERVER_SOURCES EXCLUDE REGEX "/gl/server/lgi/")
target_sources(${name}_tests PRIVATE ${VNX_PICTURES_SERVER_SOURCES}
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/gl_reference.cpp)
target_include_directories(${name}_tests PRIVATE ${PROJECT_SOURCE_DIR}/gl/server
  ${PROJECT_SOURCE_DIR}/include ${OSMESA_INCLUDE_DIRS})
target_link_libraries(${name}_tests PRIVATE vnxlgi vornix PkgConfig::PIXMAN PNG::PNG ${CMAKE_DL_LIBS})
vnx_load_osmesa_at_start(${name}_tests)
