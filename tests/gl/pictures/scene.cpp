// The picture tests' scenes sent to the server and run by OSMesa (scene.h).
#include "scene.h"

#include "../../platform/gl_reference.h"

#include <GL/gl.h>
#include <GL/osmesa.h>

#include <algorithm>
#include <cstring>

namespace pictures {

namespace {

float Float(std::uint32_t w) {
    float f;
    std::memcpy(&f, &w, sizeof f);
    return f;
}
double DoubleAt(const std::vector<std::uint32_t>& w, std::size_t i) {
    const std::uint64_t u = std::uint64_t{w[i]} | std::uint64_t{w[i + 1]} << 32;
    double d;
    std::memcpy(&d, &u, sizeof d);
    return d;
}

// The words from `from` on as floats (the vector requests' values; at
// least four, so a short list reads zeros).
std::vector<float> Floats(const std::vector<std::uint32_t>& w, std::size_t from) {
    std::vector<float> out;
    for (std::size_t i = from; i < w.size(); ++i) out.push_back(Float(w[i]));
    out.resize(std::max<std::size_t>(out.size(), 4), 0.0f);
    return out;
}

// The OSMesa entry points and the GL 1.0 functions the scenes call, looked
// up in the library's own handle.
struct Gl {
    void* lib = nullptr;
    OSMesaContext (*CreateContextExt)(GLenum, GLint, GLint, GLint, OSMesaContext) = nullptr;
    GLboolean (*MakeCurrent)(OSMesaContext, void*, GLenum, GLsizei, GLsizei) = nullptr;
    void (*PixelStoreMesa)(GLint, GLint) = nullptr;
    void (*DestroyContext)(OSMesaContext) = nullptr;
    void (*Begin)(GLenum) = nullptr;
    void (*End)() = nullptr;
    void (*Vertex3fv)(const GLfloat*) = nullptr;
    void (*Color3fv)(const GLfloat*) = nullptr;
    void (*ShadeModel)(GLenum) = nullptr;
    void (*Enable)(GLenum) = nullptr;
    void (*Disable)(GLenum) = nullptr;
    void (*DepthFunc)(GLenum) = nullptr;
    void (*LineWidth)(GLfloat) = nullptr;
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
    void (*Hint)(GLenum, GLenum) = nullptr;
    void (*Frustum)(GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble) = nullptr;
    void (*PolygonMode)(GLenum, GLenum) = nullptr;
    void (*EdgeFlag)(GLboolean) = nullptr;
    void (*CullFace)(GLenum) = nullptr;

    bool load(std::string* error) {
        if (lib != nullptr) return true;
        vnx::glref::OsMesaLoader l(error);
        if (!l.ok()) return false;
        l.get(CreateContextExt, "OSMesaCreateContextExt");
        l.get(MakeCurrent, "OSMesaMakeCurrent");
        l.get(PixelStoreMesa, "OSMesaPixelStore");
        l.get(DestroyContext, "OSMesaDestroyContext");
        l.get(Begin, "glBegin");
        l.get(End, "glEnd");
        l.get(Vertex3fv, "glVertex3fv");
        l.get(Color3fv, "glColor3fv");
        l.get(ShadeModel, "glShadeModel");
        l.get(Enable, "glEnable");
        l.get(Disable, "glDisable");
        l.get(DepthFunc, "glDepthFunc");
        l.get(LineWidth, "glLineWidth");
        l.get(LineStipple, "glLineStipple");
        l.get(ClearColor, "glClearColor");
        l.get(ClearDepth, "glClearDepth");
        l.get(Clear, "glClear");
        l.get(Viewport, "glViewport");
        l.get(MatrixMode, "glMatrixMode");
        l.get(LoadIdentity, "glLoadIdentity");
        l.get(Ortho, "glOrtho");
        l.get(RasterPos2fv, "glRasterPos2fv");
        l.get(Bitmap, "glBitmap");
        l.get(DrawPixels, "glDrawPixels");
        l.get(PixelStorei, "glPixelStorei");
        l.get(Finish, "glFinish");
        l.get(DrawBuffer, "glDrawBuffer");
        l.get(PixelZoom, "glPixelZoom");
        l.get(CopyPixels, "glCopyPixels");
        l.get(ReadBuffer, "glReadBuffer");
        l.get(Accum, "glAccum");
        l.get(ReadPixels, "glReadPixels");
        l.get(Color4fv, "glColor4fv");
        l.get(Normal3fv, "glNormal3fv");
        l.get(TexCoord2fv, "glTexCoord2fv");
        l.get(TexCoord4fv, "glTexCoord4fv");
        l.get(Scissor, "glScissor");
        l.get(AlphaFunc, "glAlphaFunc");
        l.get(BlendFunc, "glBlendFunc");
        l.get(LogicOp, "glLogicOp");
        l.get(StencilFunc, "glStencilFunc");
        l.get(StencilOp, "glStencilOp");
        l.get(StencilMask, "glStencilMask");
        l.get(ClearStencil, "glClearStencil");
        l.get(ColorMask, "glColorMask");
        l.get(DepthMask, "glDepthMask");
        l.get(Lightfv, "glLightfv");
        l.get(LightModelfv, "glLightModelfv");
        l.get(Materialfv, "glMaterialfv");
        l.get(Fogfv, "glFogfv");
        l.get(TexImage2D, "glTexImage2D");
        l.get(TexParameterfv, "glTexParameterfv");
        l.get(TexEnvfv, "glTexEnvfv");
        l.get(Hint, "glHint");
        l.get(Frustum, "glFrustum");
        l.get(PolygonMode, "glPolygonMode");
        l.get(EdgeFlag, "glEdgeFlag");
        l.get(CullFace, "glCullFace");
        if (!l.ok()) return false;
        lib = l.handle();
        return true;
    }
};

Gl& gl() {
    static Gl g;
    return g;
}

// Runs one call; false when the reference has no such call. Without an
// alpha buffer the alpha is never written.
bool Run(const Gl& g, const Call& c, bool alphaBuffer) {
    if (RunPointCall(c)) return true;  // the point scenes' own calls
    const auto& w = c.words;
    float f[4] = {};
    for (std::size_t i = 0; i < w.size() && i < 4; ++i) f[i] = Float(w[i]);
    const std::string& r = c.request;
    if (r == "Begin") g.Begin(w.at(0));
    else if (r == "End") g.End();
    else if (r == "Vertex3fv") g.Vertex3fv(f);
    else if (r == "Color3fv") g.Color3fv(f);
    else if (r == "ShadeModel") g.ShadeModel(w.at(0));
    // The server applies the logic op to RGBA colours as well (what later
    // GL versions name GL_COLOR_LOGIC_OP); OSMesa's GL_LOGIC_OP is the
    // colour-index one alone.
    else if (r == "Enable") g.Enable(w.at(0) == GL_INDEX_LOGIC_OP ? GL_COLOR_LOGIC_OP : w.at(0));
    else if (r == "Disable") g.Disable(w.at(0) == GL_INDEX_LOGIC_OP ? GL_COLOR_LOGIC_OP : w.at(0));
    else if (r == "DepthFunc") g.DepthFunc(w.at(0));
    else if (r == "LineWidth") g.LineWidth(f[0]);
    else if (r == "LineStipple") g.LineStipple(static_cast<GLint>(w.at(0)), static_cast<GLushort>(w.at(1)));
    else if (r == "ClearColor") g.ClearColor(f[0], f[1], f[2], f[3]);
    else if (r == "ClearDepth") g.ClearDepth(DoubleAt(w, 0));
    else if (r == "Clear") g.Clear(w.at(0));
    else if (r == "DrawBuffer") g.DrawBuffer(w.at(0));
    else if (r == "Viewport") g.Viewport(w.at(0), w.at(1), w.at(2), w.at(3));
    else if (r == "MatrixMode") g.MatrixMode(w.at(0));
    else if (r == "LoadIdentity") g.LoadIdentity();
    else if (r == "Ortho") g.Ortho(DoubleAt(w, 0), DoubleAt(w, 2), DoubleAt(w, 4), DoubleAt(w, 6), DoubleAt(w, 8), DoubleAt(w, 10));
    else if (r == "RasterPos2fv") g.RasterPos2fv(f);
    else if (r == "Bitmap")
        g.Bitmap(w.at(0), w.at(1), Float(w.at(2)), Float(w.at(3)), Float(w.at(4)), Float(w.at(5)), c.image.data());
    else if (r == "DrawPixels") g.DrawPixels(w.at(0), w.at(1), w.at(2), w.at(3), c.image.data());
    else if (r == "PixelZoom") g.PixelZoom(f[0], f[1]);
    else if (r == "ReadBuffer") g.ReadBuffer(w.at(0));
    else if (r == "Accum") g.Accum(w.at(0), Float(w.at(1)));
    else if (r == "CopyPixels")
        g.CopyPixels(static_cast<GLint>(w.at(0)), static_cast<GLint>(w.at(1)), w.at(2), w.at(3), w.at(4));
    else if (r == "Color4fv") g.Color4fv(f);
    else if (r == "Normal3fv") g.Normal3fv(f);
    else if (r == "TexCoord2fv") g.TexCoord2fv(f);
    else if (r == "TexCoord4fv") g.TexCoord4fv(f);
    else if (r == "Scissor") g.Scissor(w.at(0), w.at(1), w.at(2), w.at(3));
    else if (r == "AlphaFunc") g.AlphaFunc(w.at(0), Float(w.at(1)));
    else if (r == "BlendFunc") g.BlendFunc(w.at(0), w.at(1));
    else if (r == "LogicOp") g.LogicOp(w.at(0));
    else if (r == "StencilFunc") g.StencilFunc(w.at(0), static_cast<GLint>(w.at(1)), w.at(2));
    else if (r == "StencilOp") g.StencilOp(w.at(0), w.at(1), w.at(2));
    else if (r == "StencilMask") g.StencilMask(w.at(0));
    else if (r == "ClearStencil") g.ClearStencil(static_cast<GLint>(w.at(0)));
    else if (r == "ColorMask")  // four bytes in one word
        g.ColorMask(w.at(0) & 0xFF, w.at(0) >> 8 & 0xFF, w.at(0) >> 16 & 0xFF, alphaBuffer ? w.at(0) >> 24 : 0);
    else if (r == "DepthMask") g.DepthMask(w.at(0) & 0xFF);
    else if (r == "Lightfv") g.Lightfv(w.at(0), w.at(1), Floats(w, 2).data());
    else if (r == "LightModelfv") g.LightModelfv(w.at(0), Floats(w, 1).data());
    else if (r == "Materialfv") g.Materialfv(w.at(0), w.at(1), Floats(w, 2).data());
    else if (r == "Fogfv") g.Fogfv(w.at(0), Floats(w, 1).data());
    else if (r == "TexParameterfv") g.TexParameterfv(w.at(0), w.at(1), Floats(w, 2).data());
    else if (r == "TexEnvfv") g.TexEnvfv(w.at(0), w.at(1), Floats(w, 2).data());
    else if (r == "TexImage2D")
        g.TexImage2D(w.at(0), static_cast<GLint>(w.at(1)), static_cast<GLint>(w.at(2)), w.at(3), w.at(4),
                     static_cast<GLint>(w.at(5)), w.at(6), w.at(7), c.image.data());
    else if (r == "Hint") g.Hint(w.at(0), w.at(1));
    else if (r == "Frustum")
        g.Frustum(DoubleAt(w, 0), DoubleAt(w, 2), DoubleAt(w, 4), DoubleAt(w, 6), DoubleAt(w, 8), DoubleAt(w, 10));
    else if (r == "PolygonMode") g.PolygonMode(w.at(0), w.at(1));
    else if (r == "EdgeFlagv") g.EdgeFlag((w.at(0) & 0xFFu) != 0 ? GL_TRUE : GL_FALSE);
    else if (r == "CullFace") g.CullFace(w.at(0));
    else return false;
    return true;
}

}  // namespace

glx::Bytes Encode(const Call& call) {
    const glx::RenderLayout& l = glx::RenderRow(call.request.c_str());
    std::vector<std::uint32_t> body;
    if (call.request == "Bitmap" || call.request == "DrawPixels" || call.request == "TexImage2D") {
        // Pixel store: swap bytes and LSB first 0, row length 0, skip rows
        // 0, skip pixels 0, alignment 1.
        body = {0, 0, 0, 0, 1};
    }
    body.insert(body.end(), call.words.begin(), call.words.end());
    const std::size_t pad = (4 - call.image.size() % 4) % 4;
    glx::Bytes b;
    glx::Put16(b, static_cast<std::uint16_t>(4 + 4 * body.size() + call.image.size() + pad));
    glx::Put16(b, l.opcode);
    for (std::uint32_t w : body) glx::Put32(b, w);
    b.insert(b.end(), call.image.begin(), call.image.end());
    b.insert(b.end(), pad, 0);
    return b;
}

namespace {

// Runs the calls in OSMesa into a width x height RGBA picture (rows top to
// bottom) and then `after` on the same context; false with *error set.
// Without alphaBuffer the reference draws as into a buffer without alpha.
template <typename After>
bool RunReference(const Calls& calls, int width, int height, bool alphaBuffer, std::vector<std::uint8_t>* rgba,
                  std::string* error, After after) {
    Gl& g = gl();
    if (!g.load(error)) return false;
    // 16-bit depth as the board's, an 8-bit stencil, and an accumulation
    // buffer of 16 bits a channel as the server's.
    OSMesaContext ctx = g.CreateContextExt(OSMESA_RGBA, 16, 8, 16, nullptr);
    if (ctx == nullptr) {
        *error = "OSMesaCreateContextExt failed";
        return false;
    }
    rgba->assign(static_cast<std::size_t>(width) * height * 4, 0);
    if (!g.MakeCurrent(ctx, rgba->data(), GL_UNSIGNED_BYTE, width, height)) {
        g.DestroyContext(ctx);
        *error = "OSMesaMakeCurrent failed";
        return false;
    }
    // Rows top to bottom, as the board's memory holds the window.
    g.PixelStoreMesa(OSMESA_Y_UP, 0);
    g.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    g.Disable(GL_DITHER);
    if (!alphaBuffer) {
        g.ClearColor(0, 0, 0, 1);
        g.Clear(GL_COLOR_BUFFER_BIT);
        g.ClearColor(0, 0, 0, 0);
        g.ColorMask(1, 1, 1, 0);
    }
    bool ok = true;
    for (const Call& c : calls) {
        if (!Run(g, c, alphaBuffer)) {
            *error = "no reference for " + c.request;
            ok = false;
            break;
        }
    }
    g.Finish();
    if (ok) after(g);
    g.DestroyContext(ctx);
    return ok;
}

}  // namespace

std::vector<std::uint32_t> Reference(const Calls& calls, int width, int height, std::string* error,
                                     bool alphaBuffer) {
    std::vector<std::uint8_t> rgba;
    if (!RunReference(calls, width, height, alphaBuffer, &rgba, error, [](Gl&) {})) return {};
    return vnx::glref::rgb_of_rgba(rgba);
}

std::size_t ReadRowBytes(const ReadRequest& read, std::size_t cjPixel) {
    return (static_cast<std::size_t>(read.width) * cjPixel + 3) & ~std::size_t{3};
}

std::vector<std::uint8_t> ReferenceRead(const Calls& calls, int width, int height, const ReadRequest& read,
                                        std::size_t cjPixel, std::string* error) {
    std::vector<std::uint8_t> rgba, out(ReadRowBytes(read, cjPixel) * static_cast<std::size_t>(read.height));
    const bool ok = RunReference(calls, width, height, true, &rgba, error, [&](Gl& g) {
        g.ReadPixels(read.x, read.y, read.width, read.height, read.format, read.type, out.data());
    });
    return ok ? out : std::vector<std::uint8_t>{};
}

}  // namespace pictures
