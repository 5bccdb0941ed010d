/* A graph: axes and a grid of lines, a curve as a line strip, and its
 * samples as large points, in window coordinates set up by glOrtho. */
#include <math.h>
#include <stdio.h>

#include "examples.h"
#include "gl_window.h"

enum { SAMPLES = 24 };

int example_plot(const RECTL* where) {
    GLWindow w;
    if (gl_window_open(where, &w) != 0) return 1;

    /* One unit a pixel, the origin at the bottom left. */
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, w.width, 0.0, w.height, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);

    const GLfloat left = 20.0f, bottom = 20.0f;
    const GLfloat right = (GLfloat)w.width - 10.0f, top = (GLfloat)w.height - 10.0f;
    const GLfloat middle = (bottom + top) / 2.0f;

    /* The grid, grey, one line every 20 pixels. */
    glColor3f(0.8f, 0.8f, 0.8f);
    glBegin(GL_LINES);
    for (GLfloat x = left; x <= right; x += 20.0f) {
        glVertex2f(x, bottom);
        glVertex2f(x, top);
    }
    for (GLfloat y = bottom; y <= top; y += 20.0f) {
        glVertex2f(left, y);
        glVertex2f(right, y);
    }
    glEnd();

    /* The axes, black and two pixels wide. */
    glLineWidth(2.0f);
    glColor3f(0.0f, 0.0f, 0.0f);
    glBegin(GL_LINES);
    glVertex2f(left, bottom);
    glVertex2f(right, bottom);
    glVertex2f(left, bottom);
    glVertex2f(left, top);
    glEnd();
    glLineWidth(1.0f);

    /* The curve, a damped sine wave, and its samples. */
    GLfloat xs[SAMPLES], ys[SAMPLES];
    for (int i = 0; i < SAMPLES; ++i) {
        const double t = (double)i / (SAMPLES - 1);
        xs[i] = left + (GLfloat)(t * (right - left));
        ys[i] = middle + (GLfloat)((top - middle) * 0.9 * exp(-1.5 * t) * sin(t * 4.0 * M_PI));
    }
    glColor3f(0.0f, 0.3f, 0.9f);
    glBegin(GL_LINE_STRIP);
    for (int i = 0; i < SAMPLES; ++i) glVertex2f(xs[i], ys[i]);
    glEnd();

    glPointSize(4.0f);
    glColor3f(0.9f, 0.1f, 0.1f);
    glBegin(GL_POINTS);
    for (int i = 0; i < SAMPLES; ++i) glVertex2f(xs[i], ys[i]);
    glEnd();

    int status = gl_window_show(&w);
    if (glGetError() != GL_NO_ERROR) {
        fprintf(stderr, "plot: OpenGL reported an error\n");
        status = 1;
    }
    gl_window_close(&w);
    return status;
}
