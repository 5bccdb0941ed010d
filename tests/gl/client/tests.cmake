# The client driver's tests call its functions directly (its objects are
# linked in) against the real GL server, which the display driver loads by
# file name on the application's first pixel-format call.
target_link_libraries(${name}_tests PRIVATE vnxglclt_objects)
add_dependencies(${name}_tests vornix vnxglsrv)
# The request images are read off a display driver that records its escapes.
add_dependencies(${name}_tests vnxfakedrv)
