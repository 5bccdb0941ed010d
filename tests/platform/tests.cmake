# A small library the library-loading tests load by a ".dll" name.
add_library(vnxtestlib SHARED ${CMAKE_CURRENT_SOURCE_DIR}/platform/testlib/testlib.cpp)
target_link_libraries(vnxtestlib PRIVATE vnxplatform)
add_dependencies(platform_tests vnxtestlib)
# A display driver that records the engine's calls, for the engine tests.
add_library(vnxfakedrv SHARED ${CMAKE_CURRENT_SOURCE_DIR}/platform/fakedrv/fakedrv.cpp)
target_link_libraries(vnxfakedrv PRIVATE vnxplatform)
add_dependencies(platform_tests vnxfakedrv)
