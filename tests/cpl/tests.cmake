# The applet's tests reach its classes through the object library, and load
# qrncp.so, the display driver and the recording fake driver by file name.
target_link_libraries(${name}_tests PRIVATE qrncp_objects)
target_include_directories(${name}_tests PRIVATE ${PROJECT_SOURCE_DIR}/cpl)
add_dependencies(${name}_tests qrncp vornix vnxfakedrv vnxtestlib)

# The terminal front end against a simulated board: edits go through the
# sheet into the driver's escape and come back in the driver's record; a
# Yes to the restart question is only recorded; a bad option is refused.
if(TARGET qrncp-cli)
  add_test(NAME qrncp-cli.round_trip
    COMMAND qrncp-cli --board duo --script "show; page 1; click 1008; page 2; click 1027; choose 1049 3; ok")
  set_tests_properties(qrncp-cli.round_trip PROPERTIES
    PASS_REGULAR_EXPRESSION "Vornix Duo.*OK pressed.*System Settings Change.*-> No.*zDepth 24 .*stereoMode 3.*anti-aliased lines on"
    FAIL_REGULAR_EXPRESSION "refused|unknown command|Sanitizer")
  add_test(NAME qrncp-cli.cancel_writes_nothing
    COMMAND qrncp-cli --script "page 1; click 1006; cancel")
  set_tests_properties(qrncp-cli.cancel_writes_nothing PROPERTIES
    PASS_REGULAR_EXPRESSION "Cancel pressed.*zDepth 16 "
    FAIL_REGULAR_EXPRESSION "System Settings Change|Sanitizer")
  add_test(NAME qrncp-cli.restart_only_recorded
    COMMAND qrncp-cli --yes --board solo --boards 2 --script "page 1; click 1013; ok")
  set_tests_properties(qrncp-cli.restart_only_recorded PROPERTIES
    PASS_REGULAR_EXPRESSION "-> Yes.*2 board\\(s\\).*recorded \\(the machine is not restarted\\): InitiateSystemShutdownA"
    FAIL_REGULAR_EXPRESSION "Sanitizer")
  add_test(NAME qrncp-cli.refuses_bad_option COMMAND qrncp-cli --board octo)
  set_tests_properties(qrncp-cli.refuses_bad_option PROPERTIES WILL_FAIL TRUE)
  # Numbers with a tail or a sign are refused, not read as far as they go.
  foreach(bad "--boards;2x" "--boards;+1" "--mode;-1x768x16" "--mode;1024x768x16x" "--mode;1024x 768x16"
              "--memory-class;-0")
    string(REPLACE ";" "_" id "${bad}")
    string(REPLACE " " "_" id "${id}")
    add_test(NAME qrncp-cli.refuses${id} COMMAND qrncp-cli ${bad} --script "ok")
    set_tests_properties(qrncp-cli.refuses${id} PROPERTIES
      PASS_REGULAR_EXPRESSION "qrncp-cli: (--boards takes|bad mode|--memory-class takes)"
      FAIL_REGULAR_EXPRESSION "OK pressed|4294967295")
  endforeach()
endif()
