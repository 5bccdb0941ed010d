// The OpenGL scene of the main job, written as an application writes one
// (examples/gl_window.h opens its window and context): a lit, depth-tested
// cube with a checker texture pierced by a lit pyramid over a floor grid of
// lines, stars as points, and a bitmap caption along the bottom of the
// window.
#include <GL/gl.h>

#include <cstdio>

#include "bitmap_font.h"
#include "gl_scene.h"
#include "gl_window.h"

namespace {

void cube(GLfloat s) {
    static const GLfloat normals[6][3] = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0},
                                          {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    static const GLfloat corners[6][4][3] = {
        {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}},
        {{1, -1, -1}, {-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}},
        {{1, -1, 1}, {1, -1, -1}, {1, 1, -1}, {1, 1, 1}},
        {{-1, -1, -1}, {-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}},
        {{-1, 1, 1}, {1, 1, 1}, {1, 1, -1}, {-1, 1, -1}},
        {{-1, -1, -1}, {1, -1, -1}, {1, -1, 1}, {-1, -1, 1}},
    };
    // Each face shows the texture twice across.
    static const GLfloat coords[4][2] = {{0, 0}, {2, 0}, {2, 2}, {0, 2}};
    glBegin(GL_QUADS);
    for (int f = 0; f < 6; ++f) {
        glNormal3fv(normals[f]);
        for (int k = 0; k < 4; ++k) {
            glTexCoord2fv(coords[k]);
            glVertex3f(corners[f][k][0] * s, corners[f][k][1] * s, corners[f][k][2] * s);
        }
    }
    glEnd();
}

// An 8 x 8 checker of white and grey squares of 2 x 2 texels, repeated,
// nearest texels, modulating the lit colour.
void checker_texture() {
    static GLubyte texels[8][8][3];
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const GLubyte v = ((x / 2 + y / 2) % 2 == 0) ? 255 : 140;
            texels[y][x][0] = texels[y][x][1] = texels[y][x][2] = v;
        }
    glTexImage2D(GL_TEXTURE_2D, 0, 3, 8, 8, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

// A four-sided pyramid standing on y = -h with its apex at y = h; each side
// a triangle with its own normal (faceted shading).
void pyramid(GLfloat b, GLfloat h) {
    const GLfloat base[4][3] = {{-b, -h, b}, {b, -h, b}, {b, -h, -b}, {-b, -h, -b}};
    // Side i runs from base corner i to i + 1; its outward normal, before
    // GL_NORMALIZE scales it, is (0, b, 2h) turned to face that side.
    const GLfloat normals[4][3] = {{0, b, 2 * h}, {2 * h, b, 0}, {0, b, -2 * h}, {-2 * h, b, 0}};
    glBegin(GL_TRIANGLES);
    for (int i = 0; i < 4; ++i) {
        glNormal3fv(normals[i]);
        glVertex3fv(base[i]);
        glVertex3fv(base[(i + 1) % 4]);
        glVertex3f(0.0f, h, 0.0f);
    }
    glEnd();
    glBegin(GL_QUADS);
    glNormal3f(0.0f, -1.0f, 0.0f);
    for (int i = 3; i >= 0; --i) glVertex3fv(base[i]);
    glEnd();
}

void floor_grid() {
    glColor3f(0.3f, 0.7f, 0.3f);
    glBegin(GL_LINES);
    for (int i = -4; i <= 4; ++i) {
        glVertex3f(i * 0.5f, -1.2f, -2.0f);
        glVertex3f(i * 0.5f, -1.2f, 2.0f);
        glVertex3f(-2.0f, -1.2f, i * 0.5f);
        glVertex3f(2.0f, -1.2f, i * 0.5f);
    }
    glEnd();
}

void stars(int width, int height) {
    glPointSize(2.0f);
    glColor3f(1.0f, 1.0f, 0.6f);
    glBegin(GL_POINTS);
    // A fixed scatter over the top of the window (a small linear
    // congruential sequence, so every run draws the same sky).
    unsigned seed = 12345;
    for (int i = 0; i < 24; ++i) {
        seed = seed * 1103515245u + 12345u;
        const int x = static_cast<int>((seed >> 8) % static_cast<unsigned>(width));
        seed = seed * 1103515245u + 12345u;
        const int y = height - 1 - static_cast<int>((seed >> 8) % static_cast<unsigned>(height / 4));
        glVertex2i(x, y);
    }
    glEnd();
    glPointSize(1.0f);
}

}  // namespace

int draw_gl_scene(const RECTL* where) {
    GLWindow w;
    if (gl_window_open(where, &w) != 0) return 1;

    glClearColor(kSceneBackground[0], kSceneBackground[1], kSceneBackground[2], 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    // The objects: perspective, lit, depth-tested.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    const GLdouble aspect = static_cast<GLdouble>(w.width) / w.height;
    glFrustum(-aspect, aspect, -1.0, 1.0, 2.5, 12.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0.0f, -0.2f, -6.0f);
    glRotatef(20.0f, 1.0f, 0.0f, 0.0f);
    glRotatef(-30.0f, 0.0f, 1.0f, 0.0f);

    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    floor_grid();

    const GLfloat light[4] = {-2.0f, 4.0f, 3.0f, 0.0f};
    const GLfloat ambient[4] = {0.2f, 0.2f, 0.25f, 1.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, light);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_NORMALIZE);
    glShadeModel(GL_SMOOTH);

    const GLfloat red[4] = {0.85f, 0.15f, 0.1f, 1.0f};
    const GLfloat white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    glMaterialfv(GL_FRONT, GL_AMBIENT_AND_DIFFUSE, red);
    glMaterialfv(GL_FRONT, GL_SPECULAR, white);
    glMaterialf(GL_FRONT, GL_SHININESS, 30.0f);
    checker_texture();
    glEnable(GL_TEXTURE_2D);
    glPushMatrix();
    glRotatef(25.0f, 0.0f, 1.0f, 0.0f);
    cube(0.8f);
    glPopMatrix();
    glDisable(GL_TEXTURE_2D);

    // The pyramid pierces the cube: the depth test decides which shows.
    const GLfloat blue[4] = {0.2f, 0.4f, 0.95f, 1.0f};
    glMaterialfv(GL_FRONT, GL_AMBIENT_AND_DIFFUSE, blue);
    glPushMatrix();
    glTranslatef(0.9f, 0.1f, 0.7f);
    pyramid(0.7f, 1.0f);
    glPopMatrix();
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);

    // Stars and the caption in window coordinates.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, w.width, 0.0, w.height, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    stars(w.width, w.height);
    glColor3f(1.0f, 1.0f, 1.0f);
    glRasterPos2i(kCaptionX, kCaptionY);
    font_draw(kCaption);

    int status = gl_window_show(&w);
    if (const GLenum error = glGetError(); error != GL_NO_ERROR) {
        std::fprintf(stderr, "scene: OpenGL reported error 0x%x\n", error);
        status = 1;
    }
    gl_window_close(&w);
    return status;
}
