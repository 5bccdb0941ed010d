// The tests' GL reference renderer over OSMesa and the picture comparison
// (gl_reference.h).
#include "gl_reference.h"

#include "osmesa_gl.h"

#include <dlfcn.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cctype>
#include <cstdlib>

// OSMesa and the LLVM it compiles with keep a few allocations for the
// process's life. (Exported: the sanitizer looks the name up at run time.)
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libOSMesa\nleak:libLLVM\nleak:libgallium\n";
}

namespace vnx::glref {

namespace {

void set(const OsMesaGl& g, GLenum cap, bool on) { on ? g.Enable(cap) : g.Disable(cap); }

void apply(const OsMesaGl& g, const State& s, int height) {
    g.ShadeModel(s.smooth ? GL_SMOOTH : GL_FLAT);
    set(g, GL_DEPTH_TEST, s.depthTest);
    g.DepthFunc(s.depthFunc);
    g.DepthMask(s.depthWrites ? GL_TRUE : GL_FALSE);
    set(g, GL_BLEND, s.blend);
    g.BlendFunc(s.srcFactor, s.dstFactor);
    set(g, GL_COLOR_LOGIC_OP, s.logicOp);
    g.LogicOp(s.logic);
    set(g, GL_ALPHA_TEST, s.alphaTest);
    g.AlphaFunc(s.alphaFunc, s.alphaRef);
    set(g, GL_STENCIL_TEST, s.stencilTest);
    g.StencilFunc(s.stencilFunc, s.stencilRef, s.stencilMask);
    g.StencilOp(s.stencilFail, s.stencilZfail, s.stencilZpass);
    set(g, GL_SCISSOR_TEST, s.scissor);
    // Window y grows upwards: the box's bottom row is height - 1 - y1.
    g.Scissor(s.scissorX0, height - 1 - s.scissorY1, s.scissorX1 - s.scissorX0 + 1, s.scissorY1 - s.scissorY0 + 1);
}

}  // namespace

std::vector<std::uint32_t> render(const Scene& scene, std::string* error) {
    const OsMesaGl* pg = osmesa_gl(error);
    if (pg == nullptr) return {};
    const OsMesaGl& g = *pg;
    const int attrs[] = {OSMESA_FORMAT, OSMESA_RGBA, OSMESA_DEPTH_BITS, 24, OSMESA_STENCIL_BITS, 8,
                         OSMESA_PROFILE, OSMESA_COMPAT_PROFILE, 0};
    OSMesaContext ctx = g.CreateContextAttribs(attrs, nullptr);
    if (ctx == nullptr) {
        *error = "OSMesaCreateContextAttribs failed";
        return {};
    }
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(scene.width) * scene.height * 4);
    if (!g.MakeCurrent(ctx, rgba.data(), GL_UNSIGNED_BYTE, scene.width, scene.height)) {
        g.DestroyContext(ctx);
        *error = "OSMesaMakeCurrent failed";
        return {};
    }
    g.PixelStoreMesa(OSMESA_Y_UP, 0);
    g.Viewport(0, 0, scene.width, scene.height);
    g.MatrixMode(GL_PROJECTION);
    g.LoadIdentity();
    // Object x, y are window pixels; object z in [0, 1] is the window depth.
    // The projection turns y over: window y grows upwards, picture rows
    // downwards.
    g.Ortho(0, scene.width, scene.height, 0, 0, -1);
    g.MatrixMode(GL_MODELVIEW);
    g.LoadIdentity();
    g.Disable(GL_DITHER);
    g.ClearColor(scene.clear[0] / 255.0f, scene.clear[1] / 255.0f, scene.clear[2] / 255.0f, 1.0f);
    g.ClearDepth(scene.clearDepth);
    g.ClearStencil(scene.clearStencil);
    g.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    for (const Pass& pass : scene.passes) {
        apply(g, pass.state, scene.height);
        const auto a = static_cast<GLubyte>(std::lround(std::clamp(pass.state.alpha, 0.0f, 1.0f) * 255.0f));
        auto vertex = [&](const Vertex& v) {
            g.Color4ub(v.r, v.g, v.b, a);
            g.Vertex3f(v.x, v.y, v.z);
        };
        g.Begin(pass.mode);
        if (pass.mode == kTriangles) {
            for (const Triangle& t : pass.triangles)
                for (const Vertex& v : t.v) vertex(v);
        } else {
            for (const Vertex& v : pass.vertices) vertex(v);
        }
        g.End();
    }
    g.Finish();
    g.DestroyContext(ctx);
    return rgb_of_rgba(rgba);
}

OsMesaLoader::OsMesaLoader(std::string* error) : error_(error) {
    handle_ = dlopen("libOSMesa.so.8", RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) handle_ = dlopen("libOSMesa.so", RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        *error_ = std::string("OSMesa not loadable (Debian libosmesa6-dev): ") + dlerror();
        ok_ = false;
    }
}

void* OsMesaLoader::symbol(const char* name) {
    void* p = handle_ != nullptr ? dlsym(handle_, name) : nullptr;
    if (p == nullptr) {
        *error_ = std::string("OSMesa lacks ") + name;
        ok_ = false;
    }
    return p;
}

const OsMesaGl* osmesa_gl(std::string* error) {
    static OsMesaGl g;
    static bool loaded = false;
    if (loaded) return &g;
    OsMesaLoader l(error);
    if (!l.ok()) return nullptr;
    l.get(g.CreateContextAttribs, "OSMesaCreateContextAttribs");
    l.get(g.CreateContextExt, "OSMesaCreateContextExt");
    l.get(g.MakeCurrent, "OSMesaMakeCurrent");
    l.get(g.PixelStoreMesa, "OSMesaPixelStore");
    l.get(g.DestroyContext, "OSMesaDestroyContext");
    l.get(g.Begin, "glBegin");
    l.get(g.End, "glEnd");
    l.get(g.Vertex3f, "glVertex3f");
    l.get(g.Vertex3fv, "glVertex3fv");
    l.get(g.Color4ub, "glColor4ub");
    l.get(g.Color3fv, "glColor3fv");
    l.get(g.ShadeModel, "glShadeModel");
    l.get(g.Enable, "glEnable");
    l.get(g.Disable, "glDisable");
    l.get(g.DepthFunc, "glDepthFunc");
    l.get(g.LineWidth, "glLineWidth");
    l.get(g.PointSize, "glPointSize");
    l.get(g.PolygonStipple, "glPolygonStipple");
    l.get(g.LineStipple, "glLineStipple");
    l.get(g.ClearColor, "glClearColor");
    l.get(g.ClearDepth, "glClearDepth");
    l.get(g.Clear, "glClear");
    l.get(g.Viewport, "glViewport");
    l.get(g.MatrixMode, "glMatrixMode");
    l.get(g.LoadIdentity, "glLoadIdentity");
    l.get(g.Ortho, "glOrtho");
    l.get(g.RasterPos2fv, "glRasterPos2fv");
    l.get(g.Bitmap, "glBitmap");
    l.get(g.DrawPixels, "glDrawPixels");
    l.get(g.PixelStorei, "glPixelStorei");
    l.get(g.Finish, "glFinish");
    l.get(g.DrawBuffer, "glDrawBuffer");
    l.get(g.PixelZoom, "glPixelZoom");
    l.get(g.CopyPixels, "glCopyPixels");
    l.get(g.ReadBuffer, "glReadBuffer");
    l.get(g.Accum, "glAccum");
    l.get(g.ReadPixels, "glReadPixels");
    l.get(g.Color4fv, "glColor4fv");
    l.get(g.Normal3fv, "glNormal3fv");
    l.get(g.TexCoord2fv, "glTexCoord2fv");
    l.get(g.TexCoord4fv, "glTexCoord4fv");
    l.get(g.Scissor, "glScissor");
    l.get(g.AlphaFunc, "glAlphaFunc");
    l.get(g.BlendFunc, "glBlendFunc");
    l.get(g.LogicOp, "glLogicOp");
    l.get(g.StencilFunc, "glStencilFunc");
    l.get(g.StencilOp, "glStencilOp");
    l.get(g.StencilMask, "glStencilMask");
    l.get(g.ClearStencil, "glClearStencil");
    l.get(g.ColorMask, "glColorMask");
    l.get(g.DepthMask, "glDepthMask");
    l.get(g.Lightfv, "glLightfv");
    l.get(g.LightModelfv, "glLightModelfv");
    l.get(g.Materialfv, "glMaterialfv");
    l.get(g.Fogfv, "glFogfv");
    l.get(g.TexImage2D, "glTexImage2D");
    l.get(g.TexParameterfv, "glTexParameterfv");
    l.get(g.TexEnvfv, "glTexEnvfv");
    l.get(g.TexGenfv, "glTexGenfv");
    l.get(g.Hint, "glHint");
    l.get(g.Frustum, "glFrustum");
    l.get(g.PolygonMode, "glPolygonMode");
    l.get(g.EdgeFlag, "glEdgeFlag");
    l.get(g.CullFace, "glCullFace");
    l.get(g.RasterPos3fv, "glRasterPos3fv");
    l.get(g.RasterPos4fv, "glRasterPos4fv");
    l.get(g.LoadMatrixf, "glLoadMatrixf");
    l.get(g.GetFloatv, "glGetFloatv");
    if (!l.ok()) return nullptr;
    loaded = true;
    return &g;
}

std::vector<std::uint32_t> rgb_of_rgba(const std::vector<std::uint8_t>& rgba) {
    std::vector<std::uint32_t> out(rgba.size() / 4);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = std::uint32_t{rgba[4 * i]} << 16 | std::uint32_t{rgba[4 * i + 1]} << 8 | rgba[4 * i + 2];
    return out;
}

std::vector<Triangle> triangles_of(const Pass& pass) {
    const std::vector<Vertex>& v = pass.vertices;
    const std::size_t n = v.size();
    std::vector<Triangle> out;
    auto add = [&](const Vertex& a, const Vertex& b, const Vertex& c, const Vertex& flat) {
        out.push_back(Triangle{{a, b, c}, flat});
    };
    switch (pass.mode) {
    case kTriangles:
        for (const Triangle& t : pass.triangles) add(t.v[0], t.v[1], t.v[2], t.v[2]);
        break;
    case kTriangleStrip:
        for (std::size_t i = 0; i + 2 < n; ++i) add(v[i], v[i + 1], v[i + 2], v[i + 2]);
        break;
    case kTriangleFan:
        for (std::size_t i = 1; i + 1 < n; ++i) add(v[0], v[i], v[i + 1], v[i + 1]);
        break;
    case kQuads:
        for (std::size_t i = 0; i + 3 < n; i += 4) {
            add(v[i], v[i + 1], v[i + 2], v[i + 3]);
            add(v[i], v[i + 2], v[i + 3], v[i + 3]);
        }
        break;
    case kQuadStrip:
        // Quad k is (2k, 2k + 1, 2k + 3, 2k + 2), its last vertex 2k + 3.
        for (std::size_t i = 0; i + 3 < n; i += 2) {
            add(v[i], v[i + 1], v[i + 3], v[i + 3]);
            add(v[i], v[i + 3], v[i + 2], v[i + 3]);
        }
        break;
    case kPolygon:
        for (std::size_t i = 1; i + 1 < n; ++i) add(v[0], v[i], v[i + 1], v[0]);
        break;
    default: break;
    }
    return out;
}

bool write_png(const std::string& path, const std::vector<std::uint32_t>& rgb, int width, int height) {
    if (width <= 0 || height <= 0 || rgb.size() < static_cast<std::size_t>(width) * height) return false;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(3 * static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = rgb[static_cast<std::size_t>(y) * width + x];
            row[3 * x] = static_cast<png_byte>(p >> 16);
            row[3 * x + 1] = static_cast<png_byte>(p >> 8);
            row[3 * x + 2] = static_cast<png_byte>(p);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

::testing::AssertionResult same_picture(const std::string& name, const std::vector<std::uint32_t>& reference,
                                        const std::vector<std::uint32_t>& board, int width, int height,
                                        int tolerance, int outliers) {
    return same_picture(name, reference, board, width, height, Tolerance{tolerance, tolerance, tolerance}, outliers);
}

::testing::AssertionResult same_picture(const std::string& name, const std::vector<std::uint32_t>& reference,
                                        const std::vector<std::uint32_t>& board, int width, int height,
                                        const Tolerance& tolerance, int outliers) {
    const std::size_t n = static_cast<std::size_t>(width) * height;
    if (reference.size() != n || board.size() != n) {
        return ::testing::AssertionFailure() << name << ": pictures of " << reference.size() << " and "
                                             << board.size() << " pixels, not " << n;
    }
    // Channel k's tolerance (blue 0, green 1, red 2, as the pixel's bytes).
    const int limit[3] = {tolerance.blue, tolerance.green, tolerance.red};
    // The largest channel difference of two pixels, and by how much the
    // worst channel exceeds its tolerance (0 within it).
    auto distance = [&](std::uint32_t a, std::uint32_t b, int* excess) {
        int d = 0;
        *excess = 0;
        for (int k = 0; k < 3; ++k) {
            const int dk = std::abs(static_cast<int>(a >> (8 * k) & 0xFF) - static_cast<int>(b >> (8 * k) & 0xFF));
            d = std::max(d, dk);
            *excess = std::max(*excess, dk - limit[k]);
        }
        return d;
    };
    std::vector<std::uint32_t> diff(n);
    int bad = 0, worst = 0, firstX = -1, firstY = -1;
    for (std::size_t i = 0; i < n; ++i) {
        const int x = static_cast<int>(i % width), y = static_cast<int>(i / width);
        int excess = 0;
        int d = distance(reference[i], board[i], &excess);
        std::uint32_t px = 0;
        for (int k = 0; k < 3; ++k) {
            const int dk = std::abs(static_cast<int>(reference[i] >> (8 * k) & 0xFF) - static_cast<int>(board[i] >> (8 * k) & 0xFF));
            px |= static_cast<std::uint32_t>(std::min(255, 4 * dk)) << (8 * k);
        }
        // The reference's neighbours within the shift: the one nearest the
        // board's pixel stands for it.
        for (int dy = -tolerance.shift; dy <= tolerance.shift && excess > 0; ++dy)
            for (int dx = -tolerance.shift; dx <= tolerance.shift && excess > 0; ++dx) {
                const int nx = x + dx, ny = y + dy;
                if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
                int e = 0;
                const int dn = distance(reference[static_cast<std::size_t>(ny) * width + nx], board[i], &e);
                if (e < excess) excess = e, d = dn;
            }
        diff[i] = px;
        worst = std::max(worst, d);
        if (excess > 0 && bad++ == 0) {
            firstX = x;
            firstY = y;
        }
    }
    if (bad <= outliers) return ::testing::AssertionSuccess();
    const char* folder = std::getenv("VNX_TEST_PICTURES");
    std::string base = folder != nullptr ? std::string(folder) + "/" : std::string();
    for (char c : name) base += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    write_png(base + "-reference.png", reference, width, height);
    write_png(base + "-board.png", board, width, height);
    write_png(base + "-difference.png", diff, width, height);
    char by[64];
    if (tolerance.red == tolerance.green && tolerance.green == tolerance.blue)
        std::snprintf(by, sizeof by, "%d", tolerance.red);
    else
        std::snprintf(by, sizeof by, "%d/%d/%d (red/green/blue)", tolerance.red, tolerance.green, tolerance.blue);
    char text[240];
    const std::size_t at = static_cast<std::size_t>(firstY) * width + firstX;
    std::snprintf(text, sizeof text, ": %d pixels differ by more than %s%s (allowed %d), worst %d; first at (%d, %d): "
                  "reference %06x, board %06x",
                  bad, by, tolerance.shift != 0 ? " from every reference pixel a pixel around" : "", outliers, worst,
                  firstX, firstY, reference[at], board[at]);
    return ::testing::AssertionFailure() << name << text << "; pictures written as " << base << "-*.png";
}

}  // namespace vnx::glref
