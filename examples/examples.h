/* The OpenGL 1.0 example programs. Each is an application's main: it opens
 * its own window at *where on the desktop (gl_window.h), draws through the
 * system OpenGL library and answers 0 on success. vnxsim runs one by name
 * (vnxsim --gl NAME) in a process of its own. */
#pragma once

#include "platform/ddi.h"

int example_cube(const RECTL* where);  /* cube.cpp: a lit, spinning cube */
int example_plot(const RECTL* where);  /* plot.cpp: lines and points of a graph */
int example_text(const RECTL* where);  /* text.cpp: bitmap text from display lists */

typedef struct Example {
    const char* name;
    const char* what;
    int (*run)(const RECTL* where);
} Example;

/* The examples in the order vnxsim lists them, ended by a null name. */
extern const Example kExamples[];
