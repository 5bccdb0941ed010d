/* A lit cube turning about two axes: smooth lighting with one light, the
 * depth test, and one buffer swap a frame. */
#include <stdio.h>

#include "examples.h"
#include "gl_window.h"

enum { FRAMES = 3 };

static void cube(void) {
    /* Each face: its normal, then its corners counter-clockwise seen from
     * outside. */
    static const GLfloat faces[6][3] = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0},
                                        {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    static const GLfloat corners[6][4][3] = {
        {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}},
        {{1, -1, -1}, {-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}},
        {{1, -1, 1}, {1, -1, -1}, {1, 1, -1}, {1, 1, 1}},
        {{-1, -1, -1}, {-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}},
        {{-1, 1, 1}, {1, 1, 1}, {1, 1, -1}, {-1, 1, -1}},
        {{-1, -1, -1}, {1, -1, -1}, {1, -1, 1}, {-1, -1, 1}},
    };
    glBegin(GL_QUADS);
    for (int f = 0; f < 6; ++f) {
        glNormal3fv(faces[f]);
        for (int c = 0; c < 4; ++c) glVertex3fv(corners[f][c]);
    }
    glEnd();
}

int example_cube(const RECTL* where) {
    GLWindow w;
    if (gl_window_open(where, &w) != 0) return 1;

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    const GLdouble aspect = (GLdouble)w.width / w.height;
    glFrustum(-aspect, aspect, -1.0, 1.0, 2.0, 10.0);
    glMatrixMode(GL_MODELVIEW);

    const GLfloat lightAt[4] = {2.0f, 3.0f, 4.0f, 0.0f}; /* a directional light */
    const GLfloat colour[4] = {0.9f, 0.5f, 0.1f, 1.0f};
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glLightfv(GL_LIGHT0, GL_POSITION, lightAt);
    glMaterialfv(GL_FRONT, GL_AMBIENT_AND_DIFFUSE, colour);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glShadeModel(GL_SMOOTH);
    glClearColor(0.1f, 0.1f, 0.2f, 1.0f);

    int status = 0;
    for (int frame = 0; frame < FRAMES && status == 0; ++frame) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glLoadIdentity();
        glTranslatef(0.0f, 0.0f, -5.0f);
        glRotatef(30.0f + 20.0f * frame, 1.0f, 0.0f, 0.0f);
        glRotatef(40.0f + 25.0f * frame, 0.0f, 1.0f, 0.0f);
        cube();
        status = gl_window_show(&w);
    }
    if (glGetError() != GL_NO_ERROR) {
        fprintf(stderr, "cube: OpenGL reported an error\n");
        status = 1;
    }
    gl_window_close(&w);
    return status;
}
