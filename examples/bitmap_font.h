/* A small 5 x 7 bitmap font for glBitmap: capitals (small letters draw as
 * capitals), digits, a few signs; each character moves the raster position
 * 6 pixels right. */
#pragma once

#include <GL/gl.h>

enum { FONT_CELL_WIDTH = 6, FONT_HEIGHT = 7 };

/* Draws text at the current raster position with glBitmap, one call a
 * character. */
void font_draw(const char* text);
/* Compiles one display list a character code (128 lists) and answers the
 * first, for glListBase and glCallLists; 0 when no lists were free. */
GLuint font_make_lists(void);
