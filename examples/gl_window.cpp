/* The window, pixel format and context every example uses (gl_window.h). */
#include "gl_window.h"

#include <stdio.h>
#include <string.h>

/* The first RGBA format with a depth buffer, preferring a double-buffered
 * one; 0 when the display offers none. */
static int choose_format(HDC hdc, int* doubleBuffered) {
    const int count = DescribePixelFormat(hdc, 1, 0, NULL);
    int single = 0;
    for (int i = 1; i <= count; ++i) {
        PIXELFORMATDESCRIPTOR pfd;
        memset(&pfd, 0, sizeof pfd);
        if (DescribePixelFormat(hdc, i, sizeof pfd, &pfd) == 0) continue;
        if (pfd.iPixelType != PFD_TYPE_RGBA || pfd.cDepthBits == 0) continue;
        if ((pfd.dwFlags & PFD_DOUBLEBUFFER) != 0) {
            *doubleBuffered = 1;
            return i;
        }
        if (single == 0) single = i;
    }
    *doubleBuffered = 0;
    return single;
}

int gl_window_open(const RECTL* where, GLWindow* w) {
    memset(w, 0, sizeof *w);
    w->width = (int)(where->right - where->left);
    w->height = (int)(where->bottom - where->top);
    w->hwnd = vnx::windows::create(*where);
    if (w->hwnd == NULL) {
        fprintf(stderr, "example: no window\n");
        return 1;
    }
    w->hdc = GetDC(w->hwnd);
    if (w->hdc == NULL) {
        fprintf(stderr, "example: no device context for the window\n");
        return 1;
    }
    const int format = choose_format(w->hdc, &w->doubleBuffered);
    if (format == 0) {
        fprintf(stderr, "example: the display offers no RGBA pixel format with a depth buffer\n");
        ReleaseDC(w->hwnd, w->hdc);
        w->hdc = NULL;
        return 1;
    }
    if (!SetPixelFormat(w->hdc, format, NULL)) {
        fprintf(stderr, "example: SetPixelFormat(%d) failed\n", format);
        ReleaseDC(w->hwnd, w->hdc);
        w->hdc = NULL;
        return 1;
    }
    w->hglrc = wglCreateContext(w->hdc);
    if (w->hglrc == NULL || !wglMakeCurrent(w->hdc, w->hglrc)) {
        fprintf(stderr, "example: no OpenGL context\n");
        gl_window_close(w);
        return 1;
    }
    glViewport(0, 0, w->width, w->height);
    return 0;
}

int gl_window_show(GLWindow* w) {
    if (w->doubleBuffered) return SwapBuffers(w->hdc) ? 0 : 1;
    glFinish();
    return 0;
}

void gl_window_close(GLWindow* w) {
    if (w->hglrc != NULL) {
        wglMakeCurrent(NULL, NULL);
        wglDeleteContext(w->hglrc);
        w->hglrc = NULL;
    }
    if (w->hdc != NULL) {
        ReleaseDC(w->hwnd, w->hdc);
        w->hdc = NULL;
    }
}
