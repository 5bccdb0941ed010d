# The program links the platform layer alone: the display driver and the GL
# server are loaded by name from the program's folder, as the engine and the
# driver load them.
target_include_directories(${name}_tests PRIVATE ${PROJECT_SOURCE_DIR}/include)
add_dependencies(${name}_tests vornix vnxglsrv)
