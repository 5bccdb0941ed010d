# The main job's GL programs: the tests run vnxsim itself and read the
# picture it writes.
add_dependencies(${name}_tests vnxsim)
target_link_libraries(${name}_tests PRIVATE PNG::PNG)
target_compile_definitions(${name}_tests PRIVATE VNXSIM_PATH="$<TARGET_FILE:vnxsim>")
