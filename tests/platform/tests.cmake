# A small library the library-loading tests load by a ".dll" name.
add_library(vnxtestlib SHARED ${CMAKE_CURRENT_SOURCE_DIR}/platform/testlib/testlib.cpp)
target_link_libraries(vnxtestlib PRIVATE vnxplatform)
add_dependencies(platform_tests vnxtestlib)
# A display driver that records the engine's calls, for the engine tests.
add_library(vnxfakedrv SHARED ${CMAKE_CURRENT_SOURCE_DIR}/platform/fakedrv/fakedrv.cpp)
target_link_libraries(vnxfakedrv PRIVATE vnxplatform)
add_dependencies(platform_tests vnxfakedrv)
# The GL reference renderer (gl_reference.cpp): OSMesa's functions are
# looked up at run time, pictures are written with libpng. The programs that
# draw references also load OSMesa at start-up (vnx_load_osmesa_at_start):
# its thread-local storage (and LLVM's) is then static, where the leak
# checker finds it, rather than allocated on first use by a library loaded
# later, whose blocks the checker sizes by guesswork and may read past.
pkg_check_modules(OSMESA REQUIRED IMPORTED_TARGET osmesa)
function(vnx_load_osmesa_at_start target)
  target_link_libraries(${target} PRIVATE -Wl,--push-state,--no-as-needed PkgConfig::OSMESA -Wl,--pop-state)
endfunction()
target_include_directories(platform_tests PRIVATE ${OSMESA_INCLUDE_DIRS} ${PROJECT_SOURCE_DIR}/include)
target_link_libraries(platform_tests PRIVATE PNG::PNG ${CMAKE_DL_LIBS})
vnx_load_osmesa_at_start(platform_tests)
# The system OpenGL library (opengl32/): applications link it; it loads the
# client driver by name, with the display driver and the GL server behind.
target_link_libraries(platform_tests PRIVATE opengl32)
if(TARGET vnxglclt)
  add_dependencies(platform_tests vnxglclt vornix vnxglsrv)
endif()
