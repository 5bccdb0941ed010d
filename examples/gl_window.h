/* What every example does before and after its drawing: a window on the
 * desktop with an OpenGL context current on it, and the buffer swap that
 * shows a frame. The examples are written as plain C; they are compiled as
 * C++ because the system's window and GDI headers are C++ headers. */
#pragma once

#include <GL/gl.h>

#include "platform/gdi.h"
#include "platform/opengl32.h"
#include "platform/windows.h"

typedef struct GLWindow {
    HWND hwnd;
    HDC hdc;
    HGLRC hglrc;
    int width, height;
    int doubleBuffered;
} GLWindow;

/* Opens a window with the client rectangle *where, picks the first RGBA
 * pixel format the display offers with a depth buffer (double-buffered when
 * one is), and makes a new context current on it. 0 on success; otherwise
 * says why on standard error and leaves nothing open. */
int gl_window_open(const RECTL* where, GLWindow* w);
/* Shows the frame drawn: swaps the buffers of a double-buffered window,
 * else waits until the drawing is done. 0 on success. */
int gl_window_show(GLWindow* w);
/* Releases and deletes the context and the device context. The window stays
 * on the desktop with its last frame. */
void gl_window_close(GLWindow* w);
