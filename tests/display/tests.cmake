# The driver's unit tests call its internal functions through the driver's
# object library; the tests that go through the engine load vornix.so by name
# from the program's folder.
target_link_libraries(${name}_tests PRIVATE vornix_objects)
add_dependencies(${name}_tests vornix)
