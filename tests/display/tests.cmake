# The driver's unit tests call its internal functions through the driver's
# object library; the tests that go through the engine load vornix.so by name
# from the program's folder.
target_link_libraries(${name}_tests PRIVATE vornix_objects)
add_dependencies(${name}_tests vornix)
# Stand-in GL servers and escape modules that the escape tests load by name
# from the program's folder: one source each, one library per behaviour.
foreach(variant ok noinit noenable initfails enablefails)
  string(TOUPPER ${variant} upper)
  add_library(vnxglsrv_${variant} SHARED
    ${CMAKE_CURRENT_SOURCE_DIR}/display/glhooks/vnxglsrv_test/glserver.cpp)
  target_compile_definitions(vnxglsrv_${variant} PRIVATE
    TEST_SERVER_${upper} TEST_SERVER_NAME="vnxglsrv_${variant}")
  target_include_directories(vnxglsrv_${variant} PRIVATE
    ${PROJECT_SOURCE_DIR}/display ${PROJECT_SOURCE_DIR}/include)
  target_link_libraries(vnxglsrv_${variant} PRIVATE vnxplatform)
  add_dependencies(${name}_tests vnxglsrv_${variant})
endforeach()
foreach(variant full bare refuse)
  string(TOUPPER ${variant} upper)
  add_library(vnxescmod_${variant} SHARED ${CMAKE_CURRENT_SOURCE_DIR}/display/escape/vnxescmod/escmod.cpp)
  target_compile_definitions(vnxescmod_${variant} PRIVATE
    TEST_MODULE_${upper} TEST_MODULE_NAME="vnxescmod_${variant}")
  target_include_directories(vnxescmod_${variant} PRIVATE
    ${PROJECT_SOURCE_DIR}/display ${PROJECT_SOURCE_DIR}/include)
  target_link_libraries(vnxescmod_${variant} PRIVATE vnxplatform)
  add_dependencies(${name}_tests vnxescmod_${variant})
endforeach()
