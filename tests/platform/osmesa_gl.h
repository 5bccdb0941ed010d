// OSMesa's entry points and the GL 1.0 functions the tests' reference
// renderers call (gl_reference.cpp, the picture tests' scenes), looked up
// by name in the library's own handle so that its GL entry points never
// meet another library's.
#pragma once

#include <GL/gl.h>
#include <GL/osmesa.h>

#include <string>

namespace vnx::glref {

struct OsMesaGl {
    OSMesaContext (*CreateContextAttribs)(const int*, OSMesaContext) = nullptr;
    OSMesaContext (*CreateContextExt)(GLenum, GLint, GLint, GLint, OSMesaContext) = nullptr;
    GLboolean (*MakeCurrent)(OSMesaContext, void*, GLenum, GLsizei, GLsizei) = nullptr;
    void (*PixelStoreMesa)(GLint, GLint) = nullptr;
    void (*DestroyContext)(OSMesaContext) = nullptr;
    void (*Begin)(GLenum) = nullptr;
    void (*End)() = nullptr;
    void (*Vertex3f)(GLfloat, GLfloat, GLfloat) = nullptr;
    void (*Vertex3fv)(const GLfloat*) = nullptr;
    void (*Color4ub)(GLubyte, GLubyte, GLubyte, GLubyte) = nullptr;
    void (*Color3fv)(const GLfloat*) = nullptr;
    void (*ShadeModel)(GLenum) = nullptr;
    void (*Enable)(GLenum) = nullptr;
    void (*Disable)(GLenum) = nullptr;
    void (*DepthFunc)(GLenum) = nullptr;
    void (*LineWidth)(GLfloat) = nullptr;
    void (*PointSize)(GLfloat) = nullptr;
    void (*PolygonStipple)(const GLubyte*) = nullptr;
    void (*LineStipple)(GLint, GLushort) = nullptr;
    void (*ClearColor)(GLclampf, GLclampf, GLclampf, GLclampf) = nullptr;
    void (*ClearDepth)(GLclampd) = nullptr;
    void (*Clear)(GLbitfield) = nullptr;
    void (*Viewport)(GLint, GLint, GLsizei, GLsizei) = nullptr;
    void (*MatrixMode)(GLenum) = nullptr;
    void (*LoadIdentity)() = nullptr;
    void (*Ortho)(GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble) = nullptr;
    void (*RasterPos2fv)(const GLfloat*) = nullptr;
    void (*Bitmap)(GLsizei, GLsizei, GLfloat, GLfloat, GLfloat, GLfloat, const GLubyte*) = nullptr;
    void (*DrawPixels)(GLsizei, GLsizei, GLenum, GLenum, const void*) = nullptr;
    void (*PixelStorei)(GLenum, GLint) = nullptr;
    void (*Finish)() = nullptr;
    void (*DrawBuffer)(GLenum) = nullptr;
    void (*PixelZoom)(GLfloat, GLfloat) = nullptr;
    void (*CopyPixels)(GLint, GLint, GLsizei, GLsizei, GLenum) = nullptr;
    void (*ReadBuffer)(GLenum) = nullptr;
    void (*Accum)(GLenum, GLfloat) = nullptr;
    void (*ReadPixels)(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*) = nullptr;
    // The fragment, lighting, fog and texture state of the scenes.
    void (*Color4fv)(const GLfloat*) = nullptr;
    void (*Normal3fv)(const GLfloat*) = nullptr;
    void (*TexCoord2fv)(const GLfloat*) = nullptr;
    void (*TexCoord4fv)(const GLfloat*) = nullptr;
    void (*Scissor)(GLint, GLint, GLsizei, GLsizei) = nullptr;
    void (*AlphaFunc)(GLenum, GLclampf) = nullptr;
    void (*BlendFunc)(GLenum, GLenum) = nullptr;
    void (*LogicOp)(GLenum) = nullptr;
    void (*StencilFunc)(GLenum, GLint, GLuint) = nullptr;
    void (*StencilOp)(GLenum, GLenum, GLenum) = nullptr;
    void (*StencilMask)(GLuint) = nullptr;
    void (*ClearStencil)(GLint) = nullptr;
    void (*ColorMask)(GLboolean, GLboolean, GLboolean, GLboolean) = nullptr;
    void (*DepthMask)(GLboolean) = nullptr;
    void (*Lightfv)(GLenum, GLenum, const GLfloat*) = nullptr;
    void (*LightModelfv)(GLenum, const GLfloat*) = nullptr;
    void (*Materialfv)(GLenum, GLenum, const GLfloat*) = nullptr;
    void (*Fogfv)(GLenum, const GLfloat*) = nullptr;
    void (*TexImage2D)(GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum, const void*) = nullptr;
    void (*TexParameterfv)(GLenum, GLenum, const GLfloat*) = nullptr;
    void (*TexEnvfv)(GLenum, GLenum, const GLfloat*) = nullptr;
    void (*TexGenfv)(GLenum, GLenum, const GLfloat*) = nullptr;
    void (*Hint)(GLenum, GLenum) = nullptr;
    void (*Frustum)(GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble) = nullptr;
    void (*PolygonMode)(GLenum, GLenum) = nullptr;
    void (*EdgeFlag)(GLboolean) = nullptr;
    void (*CullFace)(GLenum) = nullptr;
    // The raster position's queries.
    void (*RasterPos3fv)(const GLfloat*) = nullptr;
    void (*RasterPos4fv)(const GLfloat*) = nullptr;
    void (*LoadMatrixf)(const GLfloat*) = nullptr;
    void (*GetFloatv)(GLenum, GLfloat*) = nullptr;

};

// The table, looked up on the first call that finds OSMesa and every name:
// null (with *error set) until then.
const OsMesaGl* osmesa_gl(std::string* error);

}  // namespace vnx::glref
