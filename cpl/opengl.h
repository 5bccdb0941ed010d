// The OpenGL calls of the support page's test: the graphics interface's
// pixel-format calls and the system OpenGL library's context and string
// calls (the library loads the board's client driver). While that library
// is not installed, SystemOpenGL answers null and the test's set-up fails,
// so the test button does nothing, as with any OpenGL set-up failure.
#pragma once

#include "platform/ui.h"

typedef struct HGLRC__* HGLRC;
typedef unsigned int GLenum;
typedef unsigned char GLubyte;

#define GL_VENDOR 0x1F00
#define GL_RENDERER 0x1F01
#define GL_VERSION 0x1F02

namespace qrncp {

struct OpenGL {
    INT (*ChoosePixelFormat)(HDC, const PIXELFORMATDESCRIPTOR*);
    BOOL (*SetPixelFormat)(HDC, INT, const PIXELFORMATDESCRIPTOR*);
    HGLRC (*wglCreateContext)(HDC);
    BOOL (*wglMakeCurrent)(HDC, HGLRC);
    BOOL (*wglDeleteContext)(HGLRC);
    const GLubyte* (*glGetString)(GLenum);
};

// The system OpenGL library's calls; null when it is not installed or lacks
// one of them.
const OpenGL* SystemOpenGL();
// Replaces what SystemOpenGL answers (null: look for the library again);
// for tests that drive the test's messages with an OpenGL of their own.
void UseOpenGL(const OpenGL* gl);

}  // namespace qrncp
