/* Text the classic way: one display list a character, each a glBitmap, and
 * a string drawn with glListBase and glCallLists at a raster position. */
#include <stdio.h>
#include <string.h>

#include "bitmap_font.h"
#include "examples.h"
#include "gl_window.h"

static const char* const kLines[] = {
    "OPENGL 1.0 ON A VORNIX BOARD",
    "glBitmap, one display list a letter,",
    "drawn with glCallLists.",
    "0123456789 +-=/:.,!()",
};

int example_text(const RECTL* where) {
    GLWindow w;
    if (gl_window_open(where, &w) != 0) return 1;

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, w.width, 0.0, w.height, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    glClearColor(0.0f, 0.2f, 0.1f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);

    const GLuint base = font_make_lists();
    if (base == 0) {
        fprintf(stderr, "text: no display lists\n");
        gl_window_close(&w);
        return 1;
    }
    glListBase(base);
    const int lines = (int)(sizeof kLines / sizeof kLines[0]);
    for (int i = 0; i < lines; ++i) {
        /* The raster colour is the current colour when glRasterPos runs. */
        if (i == 0) glColor3f(1.0f, 1.0f, 0.3f);
        else glColor3f(0.9f, 0.9f, 0.9f);
        glRasterPos2i(10, w.height - 20 - i * 14);
        glCallLists((GLsizei)strlen(kLines[i]), GL_UNSIGNED_BYTE, kLines[i]);
    }
    glDeleteLists(base, 128);

    int status = gl_window_show(&w);
    if (glGetError() != GL_NO_ERROR) {
        fprintf(stderr, "text: OpenGL reported an error\n");
        status = 1;
    }
    gl_window_close(&w);
    return status;
}
