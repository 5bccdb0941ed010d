# A small library the library-loading tests load by a ".dll" name.
add_library(vnxtestlib SHARED ${CMAKE_CURRENT_SOURCE_DIR}/platform/testlib/testlib.cpp)
target_link_libraries(vnxtestlib PRIVATE vnxplatform)
add_dependencies(platform_tests vnxtestlib)
# A display driver that records the engine's calls, for the engine tests.
add_library(vnxfakedrv SHARED ${CMAKE_CURRENT_SOURCE_DIR}/platform/fakedrv/fakedrv.cpp)
target_link_libraries(vnxfakedrv PRIVATE vnxplatform)
add_dependencies(platform_tests vnxfakedrv)
# The GL reference renderer (gl_reference.cpp): OSMesa is loaded at run time
# (its headers are needed to build), pictures are written with libpng.
pkg_check_modules(OSMESA REQUIRED osmesa)
target_include_directories(platform_tests PRIVATE ${OSMESA_INCLUDE_DIRS} ${PROJECT_SOURCE_DIR}/include)
target_link_libraries(platform_tests PRIVATE PNG::PNG ${CMAKE_DL_LIBS})
# The system OpenGL library (opengl32/): applications link it; it loads the
# client driver by name, with the display driver and the GL server behind.
target_link_libraries(platform_tests PRIVATE opengl32)
if(TARGET vnxglclt)
  add_dependencies(platform_tests vnxglclt vornix vnxglsrv)
endif()
