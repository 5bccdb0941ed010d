// The OpenGL 1.0 entry points as constants and one typed table, all made from
// include/glentries.def: the GL types of the C interface, the slot number of
// every entry point (GL_SLOT_<name>), and GLDispatchTable, the 306 typed
// function addresses in slot order. The client driver hands the system
// OpenGL library its table as a GLCLTPROCTABLE; the library's exports jump
// through the calling thread's table.
#pragma once

#include <cstddef>
#include <cstdint>

#include "glrequests.h"

// The GL types as the system's GL/gl.h declares them (the same typedefs may
// appear twice in one program).
typedef unsigned int GLenum;
typedef unsigned char GLboolean;
typedef unsigned int GLbitfield;
typedef void GLvoid;
typedef signed char GLbyte;
typedef short GLshort;
typedef int GLint;
typedef unsigned char GLubyte;
typedef unsigned short GLushort;
typedef unsigned int GLuint;
typedef int GLsizei;
typedef float GLfloat;
typedef float GLclampf;
typedef double GLdouble;
typedef double GLclampd;

// --- slot numbers ---------------------------------------------------------------------
enum GLSlot : unsigned {
#define GL_ENTRY(name, kind, request, ret, params, args) GL_SLOT_##name,
#include "glentries.def"
    GL_SLOT_COUNT
};
static_assert(GL_SLOT_COUNT == 306, "OpenGL 1.0 has 306 entry points");
static_assert(GL_SLOT_NewList == 0 && GL_SLOT_ListBase == 6 && GL_SLOT_Begin == 7 && GL_SLOT_End == 43 &&
                  GL_SLOT_Viewport == 305,
              "the installable client driver's published order");

// --- the table -------------------------------------------------------------------------
// One function address per entry point, in slot order, each with its own type.
typedef struct GLDispatchTable {
#define GL_ENTRY(name, kind, request, ret, params, args) ret(*name) params;
#include "glentries.def"
} GLDispatchTable;
static_assert(sizeof(GLDispatchTable) == GL_SLOT_COUNT * sizeof(void (*)()));
static_assert(offsetof(GLDispatchTable, Viewport) == GL_SLOT_Viewport * sizeof(void (*)()));

// The table the client driver's DrvSetContext answers: a count word of 306,
// then the 306 addresses.
typedef struct GLCLTPROCTABLE {
    int cEntries;
    GLDispatchTable glDispatchTable;
} GLCLTPROCTABLE;

// The name of each slot's entry point ("glNewList", ...).
inline constexpr const char* kGLEntryNames[] = {
#define GL_ENTRY(name, kind, request, ret, params, args) "gl" #name,
#include "glentries.def"
};
static_assert(sizeof kGLEntryNames / sizeof kGLEntryNames[0] == GL_SLOT_COUNT);

// Every row names a request of include/glrequests.def of its kind.
#define GL_ENTRY_REQUEST_RENDER(request) X_GLrop_##request
#define GL_ENTRY_REQUEST_SINGLE(request) X_GLsop_##request
#define GL_ENTRY(name, kind, request, ret, params, args) \
    static_assert(GL_ENTRY_REQUEST_##kind(request) > 0, "gl" #name " names a request");
#include "glentries.def"
#undef GL_ENTRY_REQUEST_RENDER
#undef GL_ENTRY_REQUEST_SINGLE
