/* The table of examples vnxsim runs by name (examples.h). */
#include "examples.h"

const Example kExamples[] = {
    {"cube", "a lit, depth-tested cube turning over a few frames", example_cube},
    {"plot", "a graph of lines and points", example_plot},
    {"text", "bitmap text drawn from display lists", example_text},
    {0, 0, 0},
};
