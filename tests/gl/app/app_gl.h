// An OpenGL application as the tests write it: the GL 1.0 entry points its
// scenes and queries call, as a table, so that the same application code
// runs through the system OpenGL library (and the client driver, the GL
// server and the board behind it) and through OSMesa. The machine the
// application runs on (a board with room for the server's 3D buffers at
// 640x480, 32 bits a pixel), its window and current context, and the
// OSMesa context of the same size that answers for the reference.
#pragma once

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/engine.h"
#include "platform/gdi.h"
#include "platform/opengl32.h"
#include "platform/process.h"

struct osmesa_context;

namespace glapp_tests {

// The entry points the application calls: return type, name without its
// "gl" prefix, parameter list.
#define VNX_APP_GL_ENTRIES(X)                                                                        \
    X(void, Viewport, (GLint, GLint, GLsizei, GLsizei))                                              \
    X(void, MatrixMode, (GLenum))                                                                    \
    X(void, LoadIdentity, ())                                                                        \
    X(void, Ortho, (GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble))                     \
    X(void, Frustum, (GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble))                   \
    X(void, PushMatrix, ())                                                                          \
    X(void, PopMatrix, ())                                                                           \
    X(void, Translatef, (GLfloat, GLfloat, GLfloat))                                                 \
    X(void, Rotatef, (GLfloat, GLfloat, GLfloat, GLfloat))                                           \
    X(void, Scalef, (GLfloat, GLfloat, GLfloat))                                                     \
    X(void, LoadMatrixf, (const GLfloat*))                                                           \
    X(void, MultMatrixf, (const GLfloat*))                                                           \
    X(void, ShadeModel, (GLenum))                                                                    \
    X(void, Enable, (GLenum))                                                                        \
    X(void, Disable, (GLenum))                                                                       \
    X(GLboolean, IsEnabled, (GLenum))                                                                \
    X(void, Begin, (GLenum))                                                                         \
    X(void, End, ())                                                                                 \
    X(void, Color3f, (GLfloat, GLfloat, GLfloat))                                                    \
    X(void, Color4f, (GLfloat, GLfloat, GLfloat, GLfloat))                                           \
    X(void, Normal3f, (GLfloat, GLfloat, GLfloat))                                                   \
    X(void, TexCoord2f, (GLfloat, GLfloat))                                                          \
    X(void, Vertex2f, (GLfloat, GLfloat))                                                            \
    X(void, Vertex3f, (GLfloat, GLfloat, GLfloat))                                                   \
    X(void, Rectf, (GLfloat, GLfloat, GLfloat, GLfloat))                                             \
    X(void, Lightf, (GLenum, GLenum, GLfloat))                                                       \
    X(void, Lightfv, (GLenum, GLenum, const GLfloat*))                                               \
    X(void, LightModelfv, (GLenum, const GLfloat*))                                                  \
    X(void, LightModeli, (GLenum, GLint))                                                            \
    X(void, Materialf, (GLenum, GLenum, GLfloat))                                                    \
    X(void, Materialfv, (GLenum, GLenum, const GLfloat*))                                            \
    X(void, ColorMaterial, (GLenum, GLenum))                                                         \
    X(void, ClearColor, (GLfloat, GLfloat, GLfloat, GLfloat))                                        \
    X(void, ClearDepth, (GLdouble))                                                                  \
    X(void, ClearStencil, (GLint))                                                                   \
    X(void, ClearAccum, (GLfloat, GLfloat, GLfloat, GLfloat))                                        \
    X(void, ClearIndex, (GLfloat))                                                                   \
    X(void, Clear, (GLbitfield))                                                                     \
    X(void, Scissor, (GLint, GLint, GLsizei, GLsizei))                                               \
    X(void, DepthFunc, (GLenum))                                                                     \
    X(void, DepthMask, (GLboolean))                                                                  \
    X(void, DepthRange, (GLclampd, GLclampd))                                                        \
    X(void, ColorMask, (GLboolean, GLboolean, GLboolean, GLboolean))                                 \
    X(void, IndexMask, (GLuint))                                                                     \
    X(void, BlendFunc, (GLenum, GLenum))                                                             \
    X(void, AlphaFunc, (GLenum, GLclampf))                                                           \
    X(void, StencilFunc, (GLenum, GLint, GLuint))                                                    \
    X(void, StencilOp, (GLenum, GLenum, GLenum))                                                     \
    X(void, StencilMask, (GLuint))                                                                   \
    X(void, LogicOp, (GLenum))                                                                       \
    X(void, CullFace, (GLenum))                                                                      \
    X(void, FrontFace, (GLenum))                                                                     \
    X(void, PolygonMode, (GLenum, GLenum))                                                           \
    X(void, LineWidth, (GLfloat))                                                                    \
    X(void, LineStipple, (GLint, GLushort))                                                          \
    X(void, PointSize, (GLfloat))                                                                    \
    X(void, Fogf, (GLenum, GLfloat))                                                                 \
    X(void, Fogi, (GLenum, GLint))                                                                   \
    X(void, Fogfv, (GLenum, const GLfloat*))                                                         \
    X(void, Hint, (GLenum, GLenum))                                                                  \
    X(void, DrawBuffer, (GLenum))                                                                    \
    X(void, ReadBuffer, (GLenum))                                                                    \
    X(void, PixelStorei, (GLenum, GLint))                                                            \
    X(void, PixelZoom, (GLfloat, GLfloat))                                                           \
    X(void, PixelTransferf, (GLenum, GLfloat))                                                       \
    X(void, RasterPos2f, (GLfloat, GLfloat))                                                         \
    X(void, RasterPos3f, (GLfloat, GLfloat, GLfloat))                                                \
    X(void, Bitmap, (GLsizei, GLsizei, GLfloat, GLfloat, GLfloat, GLfloat, const GLubyte*))          \
    X(void, TexEnvi, (GLenum, GLenum, GLint))                                                        \
    X(void, TexImage2D, (GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum, const GLvoid*)) \
    X(void, TexParameteri, (GLenum, GLenum, GLint))                                                  \
    X(void, ListBase, (GLuint))                                                                      \
    X(GLuint, GenLists, (GLsizei))                                                                   \
    X(void, NewList, (GLuint, GLenum))                                                               \
    X(void, EndList, ())                                                                             \
    X(void, CallList, (GLuint))                                                                      \
    X(void, DeleteLists, (GLuint, GLsizei))                                                          \
    X(GLboolean, IsList, (GLuint))                                                                   \
    X(void, GetBooleanv, (GLenum, GLboolean*))                                                       \
    X(void, GetIntegerv, (GLenum, GLint*))                                                           \
    X(void, GetFloatv, (GLenum, GLfloat*))                                                           \
    X(void, GetLightfv, (GLenum, GLenum, GLfloat*))                                                  \
    X(void, GetMaterialfv, (GLenum, GLenum, GLfloat*))                                               \
    X(GLenum, GetError, ())                                                                          \
    X(const GLubyte*, GetString, (GLenum))                                                           \
    X(void, Finish, ())                                                                              \
    X(void, Flush, ())

struct Gl {
#define VNX_APP_GL_MEMBER(ret, name, params) ret(*name) params = nullptr;
    VNX_APP_GL_ENTRIES(VNX_APP_GL_MEMBER)
#undef VNX_APP_GL_MEMBER
};

// The system OpenGL library's entry points (GL/gl.h, as an application
// links them).
Gl System();

// The window's size in pixels, the same on both sides.
constexpr int kWidth = 256, kHeight = 192;

// OSMesa: a context of kWidth x kHeight RGBA pixels with a 16-bit depth
// buffer and an 8-bit stencil buffer, current on the calling thread, and
// OSMesa's entry points (looked up by name, never bound to the
// application's). ok() false with error() saying why.
class Reference {
  public:
    Reference();
    ~Reference();
    Reference(const Reference&) = delete;
    Reference& operator=(const Reference&) = delete;
    bool ok() const { return ok_; }
    const std::string& error() const { return error_; }
    const Gl& gl() const { return gl_; }
    // The colour buffer as pixels 0x00RRGGBB, rows top to bottom.
    std::vector<std::uint32_t> Picture() const;

  private:
    Gl gl_;
    std::string error_;
    osmesa_context* ctx_ = nullptr;
    void (*destroy_)(osmesa_context*) = nullptr;
    std::vector<std::uint8_t> rgba_;
    bool ok_ = false;
};

// The application on the board: a machine of one board with room for the
// server's 3D buffers (memory class 2, 640x480 at 32 bits a pixel, 28.4
// positions), an application process with a window of kWidth x kHeight at
// kArea, single-buffered RGBA with a depth buffer, and a context current.
class AppTest : public ::testing::Test {
  protected:
    static constexpr RECTL kArea = {100, 80, 100 + kWidth, 80 + kHeight};
    void SetUp() override;
    void TearDown() override;
    // The window's pixels in board memory, 0x00RRGGBB, rows top to bottom.
    std::vector<std::uint32_t> Picture();
    // Board errors reported since the machine started, one a line.
    std::string BoardErrors();
    // The names the server said are not there yet ("<name>: not available
    // yet" in the debugger output), but the stereo-page query and the
    // dither load no scene depends on.
    static std::string SeamsIn(const std::string& said);
    vnx::board::Board& board() { return device_->machine().board(); }

    std::unique_ptr<vnx::engine::Device> device_;
    DWORD app_ = 0;
    HDC hdc_ = nullptr;
    HGLRC hglrc_ = nullptr;
    Gl gl_;
    PIXELFORMATDESCRIPTOR pfd_{};

  private:
    std::unique_ptr<vnx::process::Scope> as_;
};

}  // namespace glapp_tests
