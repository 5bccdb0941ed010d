// The render commands whose array or image has a size known only at the
// call (large.cpp): each goes inline into the current half when it fits,
// else in the large form, alone at the start of a fresh half with its data
// out of line in client memory, sent at once with GLCMD_RENDERLARGE.
#pragma once

#include "clt.h"
#include "glentries.h"

void CltMap1d(GLenum target, GLdouble u1, GLdouble u2, GLint stride, GLint order, const GLdouble* points);
void CltMap1f(GLenum target, GLfloat u1, GLfloat u2, GLint stride, GLint order, const GLfloat* points);
void CltMap2d(GLenum target, GLdouble u1, GLdouble u2, GLint ustride, GLint uorder, GLdouble v1, GLdouble v2,
              GLint vstride, GLint vorder, const GLdouble* points);
void CltMap2f(GLenum target, GLfloat u1, GLfloat u2, GLint ustride, GLint uorder, GLfloat v1, GLfloat v2,
              GLint vstride, GLint vorder, const GLfloat* points);
void CltPixelMapfv(GLenum map, GLsizei mapsize, const GLfloat* values);
void CltPixelMapuiv(GLenum map, GLsizei mapsize, const GLuint* values);
void CltPixelMapusv(GLenum map, GLsizei mapsize, const GLushort* values);
void CltPolygonStipple(const GLubyte* mask);
void CltBitmap(GLsizei width, GLsizei height, GLfloat xorig, GLfloat yorig, GLfloat xmove, GLfloat ymove,
               const GLubyte* bitmap);
void CltTexImage1D(GLenum target, GLint level, GLint components, GLsizei width, GLint border, GLenum format,
                   GLenum type, const GLvoid* pixels);
void CltTexImage2D(GLenum target, GLint level, GLint components, GLsizei width, GLsizei height, GLint border,
                   GLenum format, GLenum type, const GLvoid* pixels);
void CltDrawPixels(GLsizei width, GLsizei height, GLenum format, GLenum type, const GLvoid* pixels);

// The glCallLists command of n names of the type (the caller has closed an
// open batch first): inline when it fits, else with the caller's array out
// of line.
void SendCallLists(ThreadBlock* ptb, GLsizei n, GLenum type, const GLvoid* lists);

// Copies control points from a strided array into k values a point.
template <class T>
void CopyMapPoints1(T* out, const T* points, ULONG k, LONG stride, LONG order) {
    for (LONG i = 0; i < order; ++i, points += stride, out += k)
        for (ULONG j = 0; j < k; ++j) out[j] = points[j];
}
template <class T>
void CopyMapPoints2(T* out, const T* points, ULONG k, LONG ustride, LONG uorder, LONG vstride, LONG vorder) {
    for (LONG u = 0; u < uorder; ++u) {
        const T* row = points + static_cast<std::ptrdiff_t>(u) * ustride;
        for (LONG v = 0; v < vorder; ++v, row += vstride, out += k)
            for (ULONG j = 0; j < k; ++j) out[j] = row[j];
    }
}
