// The GL calls that need an answer or that the server must see at once,
// sent as GLX single requests through GLCMD_SINGLE on the application
// thread, and the answers the client gives from its own state (single.cpp).
#pragma once

#include "clt.h"
#include "glentries.h"

void CltNewList(GLuint list, GLenum mode);
void CltEndList();
void CltDeleteLists(GLuint list, GLsizei range);
GLuint CltGenLists(GLsizei range);
void CltFeedbackBuffer(GLsizei size, GLenum type, GLfloat* buffer);
void CltSelectBuffer(GLsizei size, GLuint* buffer);
GLint CltRenderMode(GLenum mode);
void CltFinish();
void CltFlush();
void CltReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type, GLvoid* pixels);
// The columns reach[0] .. reach[2] - 1 and rows reach[1] .. reach[3] - 1 of
// a width x height glDrawPixels image that can reach the window from the
// raster position, as the server answers them (all 0 when none can).
void CltDrawPixelsReach(GLsizei width, GLsizei height, GLint reach[4]);
void CltGetBooleanv(GLenum pname, GLboolean* params);
void CltGetClipPlane(GLenum plane, GLdouble* equation);
void CltGetDoublev(GLenum pname, GLdouble* params);
GLenum CltGetError();
void CltGetFloatv(GLenum pname, GLfloat* params);
void CltGetIntegerv(GLenum pname, GLint* params);
void CltGetLightfv(GLenum light, GLenum pname, GLfloat* params);
void CltGetLightiv(GLenum light, GLenum pname, GLint* params);
void CltGetMapdv(GLenum target, GLenum query, GLdouble* v);
void CltGetMapfv(GLenum target, GLenum query, GLfloat* v);
void CltGetMapiv(GLenum target, GLenum query, GLint* v);
void CltGetMaterialfv(GLenum face, GLenum pname, GLfloat* params);
void CltGetMaterialiv(GLenum face, GLenum pname, GLint* params);
void CltGetPixelMapfv(GLenum map, GLfloat* values);
void CltGetPixelMapuiv(GLenum map, GLuint* values);
void CltGetPixelMapusv(GLenum map, GLushort* values);
void CltGetPolygonStipple(GLubyte* mask);
const GLubyte* CltGetString(GLenum name);
void CltGetTexEnvfv(GLenum target, GLenum pname, GLfloat* params);
void CltGetTexEnviv(GLenum target, GLenum pname, GLint* params);
void CltGetTexGendv(GLenum coord, GLenum pname, GLdouble* params);
void CltGetTexGenfv(GLenum coord, GLenum pname, GLfloat* params);
void CltGetTexGeniv(GLenum coord, GLenum pname, GLint* params);
void CltGetTexImage(GLenum target, GLint level, GLenum format, GLenum type, GLvoid* pixels);
void CltGetTexParameterfv(GLenum target, GLenum pname, GLfloat* params);
void CltGetTexParameteriv(GLenum target, GLenum pname, GLint* params);
void CltGetTexLevelParameterfv(GLenum target, GLint level, GLenum pname, GLfloat* params);
void CltGetTexLevelParameteriv(GLenum target, GLint level, GLenum pname, GLint* params);
GLboolean CltIsEnabled(GLenum cap);
GLboolean CltIsList(GLuint list);

// Client memory below 4 GB (the platform's VirtualAlloc) of at least cj
// bytes, kept by the thread, through which data reaches the server or its
// replies come back when they do not fit the half; null when none can be had.
BYTE* pjClientStaging(ThreadBlock* ptb, ULONG cj);
