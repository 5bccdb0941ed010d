// The picture tests' scenes sent to the server and run by OSMesa (scene.h).
#include "scene.h"

#include "../../platform/gl_reference.h"
#include "../../platform/osmesa_gl.h"

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

using vnx::glref::OsMesaGl;

// Runs one call; false when the reference has no such call. Without an
// alpha buffer the alpha is never written.
bool Run(const OsMesaGl& g, const Call& c, bool alphaBuffer) {
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
    else if (r == "PointSize") g.PointSize(f[0]);
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
    else if (r == "RasterPos3fv") g.RasterPos3fv(f);
    else if (r == "RasterPos4fv") g.RasterPos4fv(f);
    else if (r == "LoadMatrixf") g.LoadMatrixf(Floats(w, 0).data());
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
    else if (r == "TexGenfv") g.TexGenfv(w.at(0), w.at(1), Floats(w, 2).data());
    else if (r == "TexImage2D")
        g.TexImage2D(w.at(0), static_cast<GLint>(w.at(1)), static_cast<GLint>(w.at(2)), w.at(3), w.at(4),
                     static_cast<GLint>(w.at(5)), w.at(6), w.at(7), c.image.data());
    else if (r == "Hint") g.Hint(w.at(0), w.at(1));
    else if (r == "Frustum")
        g.Frustum(DoubleAt(w, 0), DoubleAt(w, 2), DoubleAt(w, 4), DoubleAt(w, 6), DoubleAt(w, 8), DoubleAt(w, 10));
    else if (r == "PolygonMode") g.PolygonMode(w.at(0), w.at(1));
    else if (r == "EdgeFlagv") g.EdgeFlag((w.at(0) & 0xFFu) != 0 ? GL_TRUE : GL_FALSE);
    else if (r == "CullFace") g.CullFace(w.at(0));
    else if (r == "PolygonStipple") g.PolygonStipple(c.image.data());  // 32 rows of 4 bytes
    else return false;
    return true;
}

}  // namespace

glx::Bytes Encode(const Call& call) {
    const glx::RenderLayout& l = glx::RenderRow(call.request.c_str());
    std::vector<std::uint32_t> body;
    if (call.request == "Bitmap" || call.request == "DrawPixels" || call.request == "TexImage2D" ||
        call.request == "PolygonStipple") {
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
    const OsMesaGl* pg = vnx::glref::osmesa_gl(error);
    if (pg == nullptr) return false;
    const OsMesaGl& g = *pg;
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
    if (!RunReference(calls, width, height, alphaBuffer, &rgba, error, [](const OsMesaGl&) {})) return {};
    return vnx::glref::rgb_of_rgba(rgba);
}

std::size_t ReadRowBytes(const ReadRequest& read, std::size_t cjPixel) {
    return (static_cast<std::size_t>(read.width) * cjPixel + 3) & ~std::size_t{3};
}

std::vector<std::uint8_t> ReferenceRead(const Calls& calls, int width, int height, const ReadRequest& read,
                                        std::size_t cjPixel, std::string* error) {
    std::vector<std::uint8_t> rgba, out(ReadRowBytes(read, cjPixel) * static_cast<std::size_t>(read.height));
    const bool ok = RunReference(calls, width, height, true, &rgba, error, [&](const OsMesaGl& g) {
        g.ReadPixels(read.x, read.y, read.width, read.height, read.format, read.type, out.data());
    });
    return ok ? out : std::vector<std::uint8_t>{};
}

std::vector<float> ReferenceFloats(const Calls& calls, int width, int height, std::uint32_t pname, std::size_t count,
                                   std::string* error) {
    std::vector<std::uint8_t> rgba;
    std::vector<float> out(count);
    const bool ok =
        RunReference(calls, width, height, true, &rgba, error, [&](const OsMesaGl& g) { g.GetFloatv(pname, out.data()); });
    return ok ? out : std::vector<float>{};
}

}  // namespace pictures
