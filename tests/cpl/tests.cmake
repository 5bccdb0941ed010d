# The applet's tests reach its classes through the object library, and load
# qrncp.so, the display driver and the recording fake driver by file name.
target_link_libraries(${name}_tests PRIVATE qrncp_objects)
target_include_directories(${name}_tests PRIVATE ${PROJECT_SOURCE_DIR}/cpl)
add_dependencies(${name}_tests qrncp vornix vnxfakedrv vnxtestlib)
