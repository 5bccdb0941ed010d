// Pixel rectangles as an application draws them: glDrawPixels of every
// format and type under the unpack modes, the pixel transfer and the pixel
// zoom; glCopyPixels of colour, depth and stencil at whole, fractional and
// negative zooms; glReadPixels of every format and type under the pack
// modes. Each row runs in GL's initial state apart from what it sets, on the
// board and through OSMesa. Depth and stencil rectangles are seen through
// their effect on later depth- and stencil-tested drawing; glReadPixels
// images are compared value by value.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <utility>
#include <vector>

#include "app_gl.h"
#include "platform/debug.h"

namespace glapp_tests {
namespace {

// --- source images -------------------------------------------------------------------------------

// The unpack (or pack) modes a row sets; GL's initial values otherwise.
struct Store {
    int rowLength = 0, skipRows = 0, skipPixels = 0, alignment = 4;
    bool swapBytes = false, lsbFirst = false;
};

int Components(GLenum format) {
    switch (format) {
        case GL_RGB: return 3;
        case GL_RGBA: return 4;
        case GL_LUMINANCE_ALPHA: return 2;
        default: return 1;
    }
}
int TypeBytes(GLenum type) {
    switch (type) {
        case GL_UNSIGNED_BYTE: case GL_BYTE: return 1;
        case GL_UNSIGNED_SHORT: case GL_SHORT: return 2;
        case GL_BITMAP: return 0;
        default: return 4;
    }
}
bool IsIndex(GLenum format) { return format == GL_COLOR_INDEX || format == GL_STENCIL_INDEX; }

// An index element of the type as GL reads it (signed types sign-extended,
// floats truncated).
double IndexOf(const std::uint8_t* p, GLenum type) {
    switch (type) {
        case GL_UNSIGNED_BYTE: return p[0];
        case GL_BYTE: return static_cast<std::int8_t>(p[0]);
        case GL_UNSIGNED_SHORT: { std::uint16_t v; std::memcpy(&v, p, 2); return v; }
        case GL_SHORT: { std::int16_t v; std::memcpy(&v, p, 2); return v; }
        case GL_UNSIGNED_INT: { std::uint32_t v; std::memcpy(&v, p, 4); return v; }
        case GL_INT: { std::int32_t v; std::memcpy(&v, p, 4); return v; }
        default: { float v; std::memcpy(&v, p, 4); return std::trunc(v); }
    }
}

// Where the image's rows start and how far apart they are, in bytes (a
// bitmap's first pixel as a bit offset into its first byte), by GL's
// layout rules for the modes.
struct Layout {
    std::size_t start, stride, bytes;
    int firstBit;
};
Layout LayoutOf(const Store& s, GLenum format, GLenum type, int w, int h) {
    const int n = Components(format), size = TypeBytes(type), a = s.alignment;
    const std::size_t l = static_cast<std::size_t>(s.rowLength > 0 ? s.rowLength : w);
    Layout out{};
    if (type == GL_BITMAP) {
        out.stride = static_cast<std::size_t>(a) * ((l * n + 8 * a - 1) / (8 * a));
        out.start = s.skipRows * out.stride + s.skipPixels * n / 8;
        out.firstBit = s.skipPixels * n % 8;
    } else {
        const std::size_t row = l * n * size;
        out.stride = size >= a ? row : (row + a - 1) / a * a;
        out.start = s.skipRows * out.stride + static_cast<std::size_t>(s.skipPixels) * n * size;
        out.firstBit = 0;
    }
    out.bytes = out.start + out.stride * (h + 1) + 16;
    return out;
}

// Element e of a deterministic pattern in the type: the whole range of
// each type, negative values for the signed ones, floats from -0.25 to
// 1.25; index data as integers.
void PutElement(std::uint8_t* p, GLenum format, GLenum type, std::size_t e, bool swap) {
    const int m = static_cast<int>((e * 73 + 29) & 0xFF);
    std::uint8_t b[4];
    int size = TypeBytes(type);
    switch (type) {
        case GL_UNSIGNED_BYTE: b[0] = static_cast<std::uint8_t>(m); break;
        case GL_BYTE: b[0] = static_cast<std::uint8_t>(IsIndex(format) ? m & 0x7F : m - 128); break;
        case GL_UNSIGNED_SHORT: { const std::uint16_t v = static_cast<std::uint16_t>(m * 257 - (e % 5)); std::memcpy(b, &v, 2); break; }
        case GL_SHORT: { const std::int16_t v = static_cast<std::int16_t>(IsIndex(format) ? m : (m - 128) * 256 + m); std::memcpy(b, &v, 2); break; }
        case GL_UNSIGNED_INT: { const std::uint32_t v = IsIndex(format) ? m : m * 0x01010101u; std::memcpy(b, &v, 4); break; }
        case GL_INT: { const std::int32_t v = IsIndex(format) ? m : (m - 128) * 0x01000000 + m * 0x10101; std::memcpy(b, &v, 4); break; }
        default: { const float v = IsIndex(format) ? static_cast<float>(m) : m / 255.0f * 1.5f - 0.25f; std::memcpy(b, &v, 4); break; }
    }
    for (int i = 0; i < size; ++i) p[i] = b[swap ? size - 1 - i : i];
}

// The client image of a draw: every element of the buffer the modes walk
// (skipped ones too) holds the pattern, byte-swapped when the modes swap so
// that GL sees the pattern's values. Bitmaps are bytes of the pattern.
std::vector<std::uint8_t> Source(GLenum format, GLenum type, int w, int h, const Store& s) {
    const Layout l = LayoutOf(s, format, type, w, h);
    std::vector<std::uint8_t> out(l.bytes);
    if (type == GL_BITMAP) {
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>((i * 151 + 7) ^ (i >> 3));
        return out;
    }
    const int size = TypeBytes(type);
    for (std::size_t e = 0; (e + 1) * size <= out.size(); ++e) PutElement(&out[e * size], format, type, e, s.swapBytes);
    return out;
}

// A bitmap's bits as one index byte a pixel (0 or 1), rows tight: what GL
// unpacks from it.
std::vector<std::uint8_t> BitmapIndices(const std::vector<std::uint8_t>& bits, GLenum format, int w, int h,
                                        const Store& s) {
    const Layout l = LayoutOf(s, format, GL_BITMAP, w, h);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(w) * h);
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            const std::size_t bit = l.firstBit + static_cast<std::size_t>(i);
            const int shift = s.lsbFirst ? static_cast<int>(bit % 8) : 7 - static_cast<int>(bit % 8);
            out[static_cast<std::size_t>(j) * w + i] = (bits[l.start + j * l.stride + bit / 8] >> shift) & 1;
        }
    return out;
}

void SetStore(const Gl& gl, const Store& s, bool pack) {
    gl.PixelStorei(pack ? GL_PACK_ROW_LENGTH : GL_UNPACK_ROW_LENGTH, s.rowLength);
    gl.PixelStorei(pack ? GL_PACK_SKIP_ROWS : GL_UNPACK_SKIP_ROWS, s.skipRows);
    gl.PixelStorei(pack ? GL_PACK_SKIP_PIXELS : GL_UNPACK_SKIP_PIXELS, s.skipPixels);
    gl.PixelStorei(pack ? GL_PACK_ALIGNMENT : GL_UNPACK_ALIGNMENT, s.alignment);
    gl.PixelStorei(pack ? GL_PACK_SWAP_BYTES : GL_UNPACK_SWAP_BYTES, s.swapBytes);
    gl.PixelStorei(pack ? GL_PACK_LSB_FIRST : GL_UNPACK_LSB_FIRST, s.lsbFirst);
}

// --- pixel transfer ------------------------------------------------------------------------------

enum Transfer {
    kPlain,
    kScaleBias,        // colour scales and biases, some out of range
    kIndexMaps,        // index-to-colour maps of 16 and 32 entries
    kIndexShift,       // index shift 2 and offset 3, through the maps
    kIndexShiftDown,   // index shift -2 and offset 5, through the maps
    kMapColour,        // MAP_COLOR with colour-to-colour maps
    kMapStencil,       // MAP_STENCIL with the stencil map, shift and offset
    kStencilShift,     // index shift 1 and offset 3 of stencil data
    kDepthScaleBias,   // DEPTH_SCALE 0.5, DEPTH_BIAS 0.3
};

void IndexMaps(const Gl& gl) {
    float r[16], g[16], b[32], a[32];
    for (int i = 0; i < 16; ++i) r[i] = i / 15.0f, g[i] = 1.0f - i / 20.0f;
    for (int i = 0; i < 32; ++i) b[i] = ((i * 7) % 32) / 31.0f, a[i] = 1.0f;
    gl.PixelMapfv(GL_PIXEL_MAP_I_TO_R, 16, r);
    gl.PixelMapfv(GL_PIXEL_MAP_I_TO_G, 16, g);
    gl.PixelMapfv(GL_PIXEL_MAP_I_TO_B, 32, b);
    gl.PixelMapfv(GL_PIXEL_MAP_I_TO_A, 32, a);
}

// Entry i of kMapStencil's stencil map (16 entries; its shift is 1 and
// its offset 1).
GLuint StencilMapEntry(int i) { return static_cast<GLuint>((i * 37 + 5) & 0xFF); }

void SetTransfer(const Gl& gl, Transfer t) {
    switch (t) {
        case kPlain: break;
        case kScaleBias:
            gl.PixelTransferf(GL_RED_SCALE, 0.5f), gl.PixelTransferf(GL_RED_BIAS, 0.25f);
            gl.PixelTransferf(GL_GREEN_SCALE, 2.0f), gl.PixelTransferf(GL_GREEN_BIAS, -0.5f);
            gl.PixelTransferf(GL_BLUE_SCALE, -1.0f), gl.PixelTransferf(GL_BLUE_BIAS, 1.0f);
            gl.PixelTransferf(GL_ALPHA_SCALE, 0.5f);
            break;
        case kIndexMaps: IndexMaps(gl); break;
        case kIndexShift:
            IndexMaps(gl);
            gl.PixelTransferi(GL_INDEX_SHIFT, 2), gl.PixelTransferi(GL_INDEX_OFFSET, 3);
            break;
        case kIndexShiftDown:
            IndexMaps(gl);
            gl.PixelTransferi(GL_INDEX_SHIFT, -2), gl.PixelTransferi(GL_INDEX_OFFSET, 5);
            break;
        case kMapColour: {
            const float r[4] = {1.0f, 0.0f, 0.6f, 0.3f}, g[8] = {0.0f, 0.9f, 0.1f, 0.8f, 0.2f, 0.7f, 0.3f, 0.6f};
            const float b[2] = {0.8f, 0.1f}, a[3] = {1, 1, 1};
            gl.PixelMapfv(GL_PIXEL_MAP_R_TO_R, 4, r);
            gl.PixelMapfv(GL_PIXEL_MAP_G_TO_G, 8, g);
            gl.PixelMapfv(GL_PIXEL_MAP_B_TO_B, 2, b);
            gl.PixelMapfv(GL_PIXEL_MAP_A_TO_A, 3, a);
            gl.PixelTransferi(GL_MAP_COLOR, GL_TRUE);
            break;
        }
        case kMapStencil: {
            GLuint s[16];
            for (int i = 0; i < 16; ++i) s[i] = StencilMapEntry(i);
            gl.PixelMapuiv(GL_PIXEL_MAP_S_TO_S, 16, s);
            gl.PixelTransferi(GL_MAP_STENCIL, GL_TRUE);
            gl.PixelTransferi(GL_INDEX_SHIFT, 1), gl.PixelTransferi(GL_INDEX_OFFSET, 1);
            break;
        }
        case kStencilShift: gl.PixelTransferi(GL_INDEX_SHIFT, 1), gl.PixelTransferi(GL_INDEX_OFFSET, 3); break;
        case kDepthScaleBias: gl.PixelTransferf(GL_DEPTH_SCALE, 0.5f), gl.PixelTransferf(GL_DEPTH_BIAS, 0.3f); break;
    }
}

// --- what depth and stencil buffers hold, as colours ---------------------------------------------

void Quad(const Gl& gl, float x0, float y0, float x1, float y1, float z) {
    gl.Begin(GL_QUADS);
    gl.Vertex3f(x0, y0, z), gl.Vertex3f(x1, y0, z), gl.Vertex3f(x1, y1, z), gl.Vertex3f(x0, y1, z);
    gl.End();
}

// Shows the depth buffer in the red and green channels: red the depth in 16
// levels, green in 16 finer levels between 0.25 and 0.5, each 15 steps a
// level (a pixel with no plane in front of its depth keeps its colour).
// Each channel's 16 planes are drawn from the nearest on under the depth
// test, so that the last plane to pass at a pixel is the farthest in front
// of its depth; no blending, so that the picture shows the depths whatever
// the machine's blends do. Window depth d is at z = 1 - 2d in Pixels'
// projection.
void ShowDepth(const Gl& gl) {
    gl.Enable(GL_DEPTH_TEST);
    gl.DepthFunc(GL_LESS);
    gl.DepthMask(GL_FALSE);
    for (int channel = 0; channel < 2; ++channel) {
        gl.ColorMask(channel == 0, channel == 1, GL_FALSE, GL_FALSE);
        for (int k = 0; k < 16; ++k) {
            const float d = channel == 0 ? (k + 0.5f) / 16.0f : 0.25f + (k + 0.5f) / 64.0f;
            const float level = static_cast<float>(15 * (k + 1)) / 255.0f;
            gl.Color3f(channel == 0 ? level : 0.0f, channel == 1 ? level : 0.0f, 0.0f);
            Quad(gl, 0, 0, kWidth, kHeight, 1.0f - 2.0f * d);
        }
    }
    gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    gl.DepthMask(GL_TRUE);
    gl.Disable(GL_DEPTH_TEST);
}

// Shows the stencil buffer's low four bits in red and its high four in
// green, 16 levels a bit value (a pixel whose bits are 0 keeps its colour):
// for each value of each half a quad under the stencil test, written with
// a colour mask and no blending, so that the picture shows the values
// whatever the machine's blends do.
void ShowStencil(const Gl& gl) {
    gl.Enable(GL_STENCIL_TEST);
    gl.StencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    for (int half = 0; half < 2; ++half) {
        gl.ColorMask(half == 0, half == 1, GL_FALSE, GL_FALSE);
        for (int v = 1; v < 16; ++v) {
            gl.StencilFunc(GL_EQUAL, v << (4 * half), 0x0Fu << (4 * half));
            const float level = static_cast<float>(16 * v) / 255.0f;
            gl.Color3f(half == 0 ? level : 0.0f, half == 1 ? level : 0.0f, 0.0f);
            Quad(gl, 0, 0, kWidth, kHeight, 0);
        }
    }
    gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    gl.Disable(GL_STENCIL_TEST);
}

// Window coordinates with the stencil buffer cleared too.
void Start(const Gl& gl) {
    Pixels(gl);
    gl.ClearStencil(0);
    gl.Clear(GL_STENCIL_BUFFER_BIT);
}

// A smooth-shaded backdrop for copies and reads: colours that change along
// both axes, a depth ramp (drawn with the depth test at GL_ALWAYS) and a
// stencil pattern of nested rectangles.
void Backdrop(const Gl& gl) {
    gl.Enable(GL_DEPTH_TEST);
    gl.DepthFunc(GL_ALWAYS);
    gl.ShadeModel(GL_SMOOTH);
    // Colour and depth are affine over the quad, so that either diagonal
    // gives the same picture; the channels' sum stays below 1.
    gl.Begin(GL_QUADS);
    gl.Color3f(0.05f, 0.05f, 0.3f), gl.Vertex3f(0, 0, 0.9f);
    gl.Color3f(0.45f, 0.05f, 0.05f), gl.Vertex3f(kWidth, 0, 0.3f);
    gl.Color3f(0.45f, 0.4f, 0.05f), gl.Vertex3f(kWidth, kHeight, -0.9f);
    gl.Color3f(0.05f, 0.4f, 0.3f), gl.Vertex3f(0, kHeight, -0.3f);
    gl.End();
    gl.Disable(GL_DEPTH_TEST);
    gl.DepthFunc(GL_LESS);
    gl.Enable(GL_STENCIL_TEST);
    gl.StencilFunc(GL_ALWAYS, 0, 0xFF);
    gl.StencilOp(GL_KEEP, GL_KEEP, GL_INCR);
    gl.ColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    for (int k = 0; k < 6; ++k) Quad(gl, 10.0f + 13 * k, 8.0f + 9 * k, 200.0f - 7 * k, 180.0f - 11 * k, 0);
    gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    gl.Disable(GL_STENCIL_TEST);
    gl.StencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
}

// --- glDrawPixels --------------------------------------------------------------------------------

struct DrawRow {
    const char* name;
    GLenum format, type;
    int width = 24, height = 16;
    Store store{};
    Transfer transfer = kPlain;
    float zoomX = 1.0f, zoomY = 1.0f;
    int tolerance = 2;
    const char* fault = nullptr;
};

// The image at raster position (40, 40) (from the top when the y zoom is
// negative, from the right when the x zoom is), a second copy at (150, 120)
// at half its size, and for depth and stencil images what they left in
// those buffers. Depth images are drawn under the depth test at GL_ALWAYS
// (so that they are written) in the raster colour.
void Draw(const Gl& gl, const DrawRow& r) {
    Start(gl);
    SetStore(gl, r.store, false);
    SetTransfer(gl, r.transfer);
    gl.PixelZoom(r.zoomX, r.zoomY);
    const std::vector<std::uint8_t> image = Source(r.format, r.type, r.width, r.height, r.store);
    if (r.format == GL_DEPTH_COMPONENT) {
        gl.Enable(GL_DEPTH_TEST);
        gl.DepthFunc(GL_ALWAYS);
    }
    gl.Color4f(0.8f, 0.6f, 0.2f, 1.0f);
    auto draw = [&] {
        if (r.format == GL_COLOR_INDEX && (r.transfer == kIndexShift || r.transfer == kIndexShiftDown) &&
            gl.DrawPixels != System().DrawPixels) {
            // OSMesa draws colour indices without INDEX_SHIFT and
            // INDEX_OFFSET: the reference is given GL's shifted and offset
            // indices, drawn through the maps without them.
            const int shift = r.transfer == kIndexShift ? 2 : -2, offset = r.transfer == kIndexShift ? 3 : 5;
            const Layout l = LayoutOf(r.store, r.format, r.type, r.width, r.height);
            std::vector<GLint> shifted(static_cast<std::size_t>(r.width) * r.height);
            for (int j = 0; j < r.height; ++j)
                for (int i = 0; i < r.width; ++i) {
                    const std::uint8_t* p = &image[l.start + j * l.stride + static_cast<std::size_t>(i) * TypeBytes(r.type)];
                    const auto v = static_cast<GLint>(IndexOf(p, r.type));
                    shifted[static_cast<std::size_t>(j) * r.width + i] = (shift > 0 ? v << shift : v >> -shift) + offset;
                }
            gl.PixelTransferi(GL_INDEX_SHIFT, 0), gl.PixelTransferi(GL_INDEX_OFFSET, 0);
            SetStore(gl, Store{}, false);
            gl.DrawPixels(r.width, r.height, r.format, GL_INT, shifted.data());
            SetStore(gl, r.store, false);
            SetTransfer(gl, r.transfer);
            return;
        }
        if (r.format == GL_STENCIL_INDEX && r.transfer == kMapStencil && r.type == GL_UNSIGNED_BYTE &&
            gl.DrawPixels != System().DrawPixels) {
            // OSMesa draws stencil indices under MAP_STENCIL as they come:
            // the reference is given GL's results, each index shifted left
            // by 1, offset by 1 and looked up in the 16-entry map, drawn
            // without the transfer.
            const Layout l = LayoutOf(r.store, r.format, r.type, r.width, r.height);
            std::vector<std::uint8_t> mapped(static_cast<std::size_t>(r.width) * r.height);
            for (int j = 0; j < r.height; ++j)
                for (int i = 0; i < r.width; ++i)
                    mapped[static_cast<std::size_t>(j) * r.width + i] = static_cast<std::uint8_t>(
                        StencilMapEntry(((image[l.start + j * l.stride + i] << 1) + 1) & 15));
            gl.PixelTransferi(GL_MAP_STENCIL, GL_FALSE);
            gl.PixelTransferi(GL_INDEX_SHIFT, 0), gl.PixelTransferi(GL_INDEX_OFFSET, 0);
            SetStore(gl, Store{.alignment = 1}, false);
            gl.DrawPixels(r.width, r.height, r.format, GL_UNSIGNED_BYTE, mapped.data());
            SetStore(gl, r.store, false);
            SetTransfer(gl, r.transfer);
            return;
        }
        // OSMesa does not unpack stencil bitmaps, and unpacks colour-index
        // bitmaps without the unpack alignment: the reference is given the
        // indices they stand for.
        if (r.type == GL_BITMAP && gl.DrawPixels != System().DrawPixels) {
            const std::vector<std::uint8_t> indices = BitmapIndices(image, r.format, r.width, r.height, r.store);
            SetStore(gl, Store{.alignment = 1}, false);
            gl.DrawPixels(r.width, r.height, r.format, GL_UNSIGNED_BYTE, indices.data());
            SetStore(gl, r.store, false);
            return;
        }
        gl.DrawPixels(r.width, r.height, r.format, r.type, image.data());
    };
    gl.RasterPos2i(r.zoomX < 0 ? 200 : 40, r.zoomY < 0 ? 150 : 40);
    draw();
    // The second copy at two thirds of the zoom. Fractional zooms are thirds:
    // no window pixel's centre then lies on the edge of a zoomed pixel,
    // where GL leaves open which pixel it takes.
    gl.PixelZoom(r.zoomX * (2.0f / 3), r.zoomY * (2.0f / 3));
    gl.RasterPos2i(r.zoomX < 0 ? 240 : 150, r.zoomY < 0 ? 180 : 120);
    draw();
    gl.PixelZoom(1, 1);
    if (r.format == GL_DEPTH_COMPONENT) {
        gl.Disable(GL_DEPTH_TEST);
        gl.DepthFunc(GL_LESS);
        ShowDepth(gl);
    }
    if (r.format == GL_STENCIL_INDEX) ShowStencil(gl);
}

constexpr Store kRowLength{.rowLength = 37};
constexpr Store kSkips{.rowLength = 40, .skipRows = 3, .skipPixels = 5};
constexpr Store kAlign1{.alignment = 1};
constexpr Store kAlign8{.alignment = 8};
constexpr Store kSwap{.swapBytes = true};
constexpr Store kLsb{.lsbFirst = true};
constexpr Store kBitmapSkips{.rowLength = 45, .skipRows = 2, .skipPixels = 3, .alignment = 2};

// Faults these tables show, outside what was mended with them.
constexpr const char* kMapColourFault =
    "reference fault: OSMesa's drawn and copied colours under MAP_COLOR leave the B_TO_B map out (blue comes "
    "out the same whatever the map holds)";
constexpr const char* kReferenceIntAlpha = "reference fault: OSMesa packs 1.0 as INT/UNSIGNED_INT luminance-alpha as -1";

// Every format with every type (BITMAP with the index formats), then the
// unpack modes, the transfer and the zoom.
const DrawRow kDraws[] = {
    // Colour formats, every type.
#define TYPES(fmt, name)                                                 \
    {name "_UnsignedByte", fmt, GL_UNSIGNED_BYTE}, {name "_Byte", fmt, GL_BYTE}, \
    {name "_UnsignedShort", fmt, GL_UNSIGNED_SHORT}, {name "_Short", fmt, GL_SHORT}, \
    {name "_UnsignedInt", fmt, GL_UNSIGNED_INT}, {name "_Int", fmt, GL_INT}, {name "_Float", fmt, GL_FLOAT}
    TYPES(GL_RED, "Red"),
    TYPES(GL_GREEN, "Green"),
    TYPES(GL_BLUE, "Blue"),
    TYPES(GL_ALPHA, "Alpha"),
    TYPES(GL_RGB, "Rgb"),
    TYPES(GL_RGBA, "Rgba"),
    TYPES(GL_LUMINANCE, "Luminance"),
    TYPES(GL_LUMINANCE_ALPHA, "LuminanceAlpha"),
    // Depth and stencil images, every type.
    TYPES(GL_DEPTH_COMPONENT, "Depth"),
    TYPES(GL_STENCIL_INDEX, "Stencil"),
#undef TYPES
    {"Stencil_Bitmap", GL_STENCIL_INDEX, GL_BITMAP},
    // Colour indices in RGBA mode go through the index-to-colour maps.
#define TYPES(name)                                                                      \
    {name "_UnsignedByte", GL_COLOR_INDEX, GL_UNSIGNED_BYTE, 24, 16, {}, kIndexMaps},           \
    {name "_Byte", GL_COLOR_INDEX, GL_BYTE, 24, 16, {}, kIndexMaps},                            \
    {name "_UnsignedShort", GL_COLOR_INDEX, GL_UNSIGNED_SHORT, 24, 16, {}, kIndexMaps},         \
    {name "_Short", GL_COLOR_INDEX, GL_SHORT, 24, 16, {}, kIndexMaps},                          \
    {name "_UnsignedInt", GL_COLOR_INDEX, GL_UNSIGNED_INT, 24, 16, {}, kIndexMaps},             \
    {name "_Int", GL_COLOR_INDEX, GL_INT, 24, 16, {}, kIndexMaps},                              \
    {name "_Float", GL_COLOR_INDEX, GL_FLOAT, 24, 16, {}, kIndexMaps},                          \
    {name "_Bitmap", GL_COLOR_INDEX, GL_BITMAP, 24, 16, {}, kIndexMaps}
    TYPES("Index"),
#undef TYPES
    // Colour indices without maps: the initial maps give black.
    {"IndexInitialMaps", GL_COLOR_INDEX, GL_UNSIGNED_BYTE},
    // Unpack modes.
    {"RowLength_Rgb", GL_RGB, GL_UNSIGNED_BYTE, 24, 16, kRowLength},
    {"Skips_Luminance", GL_LUMINANCE, GL_UNSIGNED_BYTE, 24, 16, kSkips},
    {"Skips_RgbaFloat", GL_RGBA, GL_FLOAT, 24, 16, kSkips},
    {"Skips_Depth", GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT, 24, 16, kSkips},
    {"Skips_Stencil", GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, 24, 16, kSkips},
    {"Align1_Rgb", GL_RGB, GL_UNSIGNED_BYTE, 23, 15, kAlign1},
    {"Align4_Rgb", GL_RGB, GL_UNSIGNED_BYTE, 23, 15},
    {"Align8_LuminanceAlphaShort", GL_LUMINANCE_ALPHA, GL_SHORT, 23, 15, kAlign8},
    {"Align8_Red", GL_RED, GL_UNSIGNED_BYTE, 21, 15, kAlign8},
    {"Swap_RgbUnsignedShort", GL_RGB, GL_UNSIGNED_SHORT, 24, 16, kSwap},
    {"Swap_LuminanceInt", GL_LUMINANCE, GL_INT, 24, 16, kSwap},
    {"Swap_RgbaFloat", GL_RGBA, GL_FLOAT, 24, 16, kSwap},
    {"Swap_DepthUnsignedInt", GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, 24, 16, kSwap},
    {"Swap_StencilShort", GL_STENCIL_INDEX, GL_SHORT, 24, 16, kSwap},
    {"Swap_RgbUnsignedByte", GL_RGB, GL_UNSIGNED_BYTE, 24, 16, kSwap},
    {"Lsb_StencilBitmap", GL_STENCIL_INDEX, GL_BITMAP, 27, 16, kLsb},
    {"Lsb_IndexBitmap", GL_COLOR_INDEX, GL_BITMAP, 27, 16, kLsb, kIndexMaps},
    {"Skips_IndexBitmap", GL_COLOR_INDEX, GL_BITMAP, 27, 16, kBitmapSkips, kIndexMaps},
    {"Skips_StencilBitmap", GL_STENCIL_INDEX, GL_BITMAP, 27, 16, kBitmapSkips},
    // Pixel transfer.
    {"ScaleBias_Rgba", GL_RGBA, GL_UNSIGNED_BYTE, 24, 16, {}, kScaleBias},
    {"ScaleBias_Luminance", GL_LUMINANCE, GL_FLOAT, 24, 16, {}, kScaleBias},
    {"ScaleBias_Green", GL_GREEN, GL_SHORT, 24, 16, {}, kScaleBias},
    {"MapColour_Rgb", GL_RGB, GL_UNSIGNED_BYTE, 24, 16, {}, kMapColour, 1, 1, 2, kMapColourFault},
    {"MapColour_LuminanceAlpha", GL_LUMINANCE_ALPHA, GL_UNSIGNED_SHORT, 24, 16, {}, kMapColour, 1, 1, 2, kMapColourFault},
    {"IndexShift_UnsignedByte", GL_COLOR_INDEX, GL_UNSIGNED_BYTE, 24, 16, {}, kIndexShift},
    {"IndexShiftDown_Short", GL_COLOR_INDEX, GL_SHORT, 24, 16, {}, kIndexShiftDown},
    {"StencilShift", GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, 24, 16, {}, kStencilShift},
    {"MapStencil", GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, 24, 16, {}, kMapStencil},
    {"DepthScaleBias", GL_DEPTH_COMPONENT, GL_FLOAT, 24, 16, {}, kDepthScaleBias},
    // Zoom.
    {"Zoom2_Rgb", GL_RGB, GL_UNSIGNED_BYTE, 24, 16, {}, kPlain, 2, 2},
    {"Zoom3_Rgba", GL_RGBA, GL_UNSIGNED_BYTE, 24, 16, {}, kPlain, 3, 3},
    {"Zoom3x1_Luminance", GL_LUMINANCE, GL_UNSIGNED_BYTE, 24, 16, {}, kPlain, 3, 1},
    {"Zoom1x3_Rgb", GL_RGB, GL_FLOAT, 24, 16, {}, kPlain, 1, 3},
    {"ZoomFraction_Rgb", GL_RGB, GL_UNSIGNED_BYTE, 24, 16, {}, kPlain, 4 / 3.0f, 7 / 3.0f},
    {"ZoomShrink_Luminance", GL_LUMINANCE, GL_UNSIGNED_BYTE, 24, 16, {}, kPlain, 2 / 3.0f, 1 / 3.0f},
    {"ZoomShrink_Rgb", GL_RGB, GL_UNSIGNED_BYTE, 24, 16, {}, kPlain, 1 / 3.0f, 2 / 3.0f},
    {"ZoomNegativeY_Rgb", GL_RGB, GL_UNSIGNED_BYTE, 24, 16, {}, kPlain, 1, -1},
    {"ZoomNegativeY2_Luminance", GL_LUMINANCE, GL_UNSIGNED_BYTE, 24, 16, {}, kPlain, 2, -2},
    {"ZoomNegativeX_Rgba", GL_RGBA, GL_UNSIGNED_BYTE, 24, 16, {}, kPlain, -2, 5 / 3.0f},
    {"ZoomNegativeFraction_Rgb", GL_RGB, GL_UNSIGNED_BYTE, 24, 16, {}, kPlain, -4 / 3.0f, -2 / 3.0f},
    {"Zoom2_Depth", GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT, 24, 16, {}, kPlain, 2, 2},
    {"ZoomNegativeY_Stencil", GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, 24, 16, {}, kPlain, 5 / 3.0f, -4 / 3.0f},
    {"Zoom3_Index", GL_COLOR_INDEX, GL_UNSIGNED_BYTE, 24, 16, {}, kIndexMaps, 3, 3},
};

// The table's rows as scenes: one drawing function a row.
template <std::size_t... I>
std::vector<Scene> DrawScenes(std::index_sequence<I...>) {
    return {Scene{kDraws[I].name, [](const Gl& gl) { Draw(gl, kDraws[I]); }, kDraws[I].tolerance, 0,
                  "glDrawPixels as OSMesa draws it", kDraws[I].fault}...};
}
const std::vector<Scene> kDrawScenes = DrawScenes(std::make_index_sequence<std::size(kDraws)>());

// The rows that only change the client's data type of a format (its bytes,
// shorts, ints as GL scales them) against the format's unsigned bytes and
// floats: the unpacking runs on the host whatever the board, so they draw
// on one board of each depth (where the conversion to the format and the
// dithering of byte data differ); every other row on every machine.
bool OnlyTheType(const Scene& s) {
    const std::string name = s.name;
    for (const char* type : {"_Byte", "_UnsignedShort", "_Short", "_UnsignedInt", "_Int"})
        if (name.size() > std::strlen(type) && name.compare(name.size() - std::strlen(type), std::string::npos, type) == 0)
            return true;
    return false;
}
std::vector<Scene> Rows(bool onlyTheType) {
    std::vector<Scene> rows;
    for (const Scene& s : kDrawScenes)
        if (OnlyTheType(s) == onlyTheType) rows.push_back(s);
    return rows;
}
const Machine kOneBoardEachDepth[] = {glmachines::kSolo32, glmachines::kSolo16, glmachines::kSolo8};

}  // namespace

VNX_APP_SCENES(DrawPixels, Rows(false));
VNX_APP_SCENES_ON(DrawPixelsTypes, Rows(true), kOneBoardEachDepth);

namespace {

// --- glCopyPixels --------------------------------------------------------------------------------

struct CopyRow {
    const char* name;
    GLenum what;           // GL_COLOR, GL_DEPTH or GL_STENCIL
    int x, y, width, height;  // the source rectangle
    int toX, toY;          // the raster position
    float zoomX = 1.0f, zoomY = 1.0f;
    Transfer transfer = kPlain;
    bool depthTested = false;  // the colour copy under the depth test at GL_ALWAYS
    int tolerance = 2;
    const char* fault = nullptr;
};

// The backdrop, then the copy; depth and stencil copies are shown by what
// they left in their buffers. Depth copies run under the depth test at
// GL_ALWAYS, so that they are written.
void Copy(const Gl& gl, const CopyRow& r) {
    Start(gl);
    Backdrop(gl);
    SetTransfer(gl, r.transfer);
    gl.PixelZoom(r.zoomX, r.zoomY);
    if (r.what == GL_DEPTH || r.depthTested) {
        gl.Enable(GL_DEPTH_TEST);
        gl.DepthFunc(GL_ALWAYS);
    }
    gl.Color3f(0.2f, 0.9f, 0.4f);
    gl.RasterPos2i(r.toX, r.toY);
    if (r.what != GL_COLOR && r.transfer != kPlain && gl.CopyPixels != System().CopyPixels) {
        // OSMesa copies depth and stencil data without their pixel transfer:
        // the reference reads the source, which applies it, and draws what
        // it read with the transfer back at GL's initial values.
        const GLenum format = r.what == GL_DEPTH ? GL_DEPTH_COMPONENT : GL_STENCIL_INDEX;
        const GLenum type = r.what == GL_DEPTH ? GL_FLOAT : GL_UNSIGNED_INT;
        std::vector<GLuint> image(static_cast<std::size_t>(r.width) * r.height);
        gl.ReadPixels(r.x, r.y, r.width, r.height, format, type, image.data());
        gl.PixelTransferf(GL_DEPTH_SCALE, 1.0f), gl.PixelTransferf(GL_DEPTH_BIAS, 0.0f);
        gl.PixelTransferi(GL_INDEX_SHIFT, 0), gl.PixelTransferi(GL_INDEX_OFFSET, 0);
        gl.PixelTransferi(GL_MAP_STENCIL, GL_FALSE);
        gl.DrawPixels(r.width, r.height, format, type, image.data());
    } else {
        gl.CopyPixels(r.x, r.y, r.width, r.height, r.what);
    }
    gl.PixelZoom(1, 1);
    if (r.depthTested) gl.Disable(GL_DEPTH_TEST);
    if (r.what == GL_DEPTH) {
        gl.Disable(GL_DEPTH_TEST);
        gl.DepthFunc(GL_LESS);
        gl.ClearColor(0, 0, 0, 0);
        gl.Clear(GL_COLOR_BUFFER_BIT);
        ShowDepth(gl);
    }
    if (r.what == GL_STENCIL) {
        gl.ClearColor(0, 0, 0, 0);
        gl.Clear(GL_COLOR_BUFFER_BIT);
        ShowStencil(gl);
    }
}

const CopyRow kCopies[] = {
    {"Colour", GL_COLOR, 10, 20, 40, 30, 120, 100},
    {"ColourZoom2", GL_COLOR, 10, 20, 30, 20, 120, 100, 2, 2},
    {"ColourZoom1x2", GL_COLOR, 10, 20, 30, 20, 120, 100, 1, 2},
    {"ColourZoom3", GL_COLOR, 10, 20, 30, 20, 120, 80, 3, 3},
    {"ColourZoom4", GL_COLOR, 10, 20, 25, 20, 120, 60, 4, 4},
    {"ColourZoom3Large", GL_COLOR, 5, 5, 80, 60, 8, 6, 3, 3},
    {"ColourZoom3Beyond", GL_COLOR, 10, 20, 60, 50, 150, 100, 3, 3},
    {"ColourZoom3DepthTested", GL_COLOR, 10, 20, 30, 20, 120, 80, 3, 3, kPlain, true},
    {"ColourZoom2DepthTested", GL_COLOR, 10, 20, 30, 20, 120, 80, 2, 2, kPlain, true},
    {"ColourDepthTested", GL_COLOR, 10, 20, 40, 30, 120, 100, 1, 1, kPlain, true},
    {"ColourZoom3x1", GL_COLOR, 10, 20, 30, 20, 120, 100, 3, 1},
    {"ColourZoomFraction", GL_COLOR, 10, 20, 40, 30, 120, 100, 4 / 3.0f, 7 / 3.0f},
    {"ColourZoomShrink", GL_COLOR, 10, 20, 60, 50, 120, 100, 2 / 3.0f, 1 / 3.0f},
    {"ColourZoomNegative", GL_COLOR, 10, 20, 40, 30, 200, 150, -1, -1},
    {"ColourZoomNegative2", GL_COLOR, 10, 20, 30, 20, 200, 150, -2, -3},
    {"ColourOverlapUp", GL_COLOR, 30, 30, 80, 60, 40, 45},
    {"ColourOverlapDown", GL_COLOR, 40, 45, 80, 60, 30, 30},
    {"ColourOverlapZoom2", GL_COLOR, 30, 30, 60, 50, 35, 40, 2, 2},
    {"ColourOverlapNegative", GL_COLOR, 30, 30, 60, 50, 100, 90, -1, -1},
    {"ColourPartlyOutside", GL_COLOR, 20, 20, 60, 50, 220, 160},
    {"ColourScaleBias", GL_COLOR, 10, 20, 40, 30, 120, 100, 1, 1, kScaleBias},
    {"ColourMapColour", GL_COLOR, 10, 20, 40, 30, 120, 100, 1, 1, kMapColour, false, 2, kMapColourFault},
    {"Depth", GL_DEPTH, 10, 20, 60, 40, 120, 100},
    {"DepthZoom3", GL_DEPTH, 10, 20, 30, 20, 120, 80, 3, 3},
    {"DepthOverlap", GL_DEPTH, 30, 30, 80, 60, 45, 40},
    {"DepthScaleBias", GL_DEPTH, 10, 20, 60, 40, 120, 100, 1, 1, kDepthScaleBias},
    {"Stencil", GL_STENCIL, 10, 20, 80, 60, 120, 100},
    {"StencilZoom3", GL_STENCIL, 5, 5, 40, 30, 110, 70, 3, 3},
    {"StencilZoomNegative", GL_STENCIL, 5, 5, 60, 50, 200, 150, -5 / 3.0f, -4 / 3.0f},
    {"StencilOverlap", GL_STENCIL, 20, 20, 100, 80, 35, 30},
    {"StencilShift", GL_STENCIL, 10, 20, 80, 60, 120, 100, 1, 1, kStencilShift},
    {"StencilMap", GL_STENCIL, 10, 20, 80, 60, 120, 100, 1, 1, kMapStencil},
};

template <std::size_t... I>
std::vector<Scene> CopyScenes(std::index_sequence<I...>) {
    return {Scene{kCopies[I].name, [](const Gl& gl) { Copy(gl, kCopies[I]); }, kCopies[I].tolerance, 0,
                  "glCopyPixels as OSMesa copies", kCopies[I].fault}...};
}
const std::vector<Scene> kCopyScenes = CopyScenes(std::make_index_sequence<std::size(kCopies)>());

}  // namespace

VNX_APP_SCENES(CopyPixels, kCopyScenes);

namespace {

// --- glCopyPixels of a window with an alpha buffer -------------------------------------------------

// A copy carries the alpha channel with the colour: over a backdrop whose
// alpha runs from 0 on the left to 1 on the right, a rectangle of the right
// half (alpha 0.6 to 1) is copied over the left half (alpha 0 to 0.4), as the
// direct copy takes it or the pixel path (a depth test that passes
// everything, a zoom, an alpha scale); then the alpha buffer is shown as
// grey levels over the whole window (white blended by the destination
// alpha).
struct AlphaCopyRow {
    const char* name;
    float zoom = 1;
    bool depthTested = false;
    float alphaScale = 1;
    bool alphaMasked = false;
    const char* fault = nullptr;
};
void CopyAlpha(const Gl& gl, const AlphaCopyRow& r) {
    Pixels(gl);
    gl.ShadeModel(GL_SMOOTH);
    gl.Begin(GL_QUADS);
    gl.Color4f(0.9f, 0.1f, 0.2f, 0.0f), gl.Vertex2f(0, 0);
    gl.Color4f(0.1f, 0.8f, 0.3f, 1.0f), gl.Vertex2f(256, 0);
    gl.Color4f(0.2f, 0.3f, 0.9f, 1.0f), gl.Vertex2f(256, 192);
    gl.Color4f(0.8f, 0.8f, 0.1f, 0.0f), gl.Vertex2f(0, 192);
    gl.End();
    if (r.depthTested) {
        gl.Enable(GL_DEPTH_TEST);
        gl.DepthFunc(GL_ALWAYS);
    }
    gl.PixelTransferf(GL_ALPHA_SCALE, r.alphaScale);
    if (r.alphaMasked) gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
    gl.PixelZoom(r.zoom, r.zoom);
    gl.RasterPos2i(10, 30);
    gl.CopyPixels(160, 20, 90 / static_cast<int>(r.zoom), 120 / static_cast<int>(r.zoom), GL_COLOR);
    gl.PixelZoom(1, 1);
    gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    gl.PixelTransferf(GL_ALPHA_SCALE, 1);
    gl.Disable(GL_DEPTH_TEST);
    gl.DepthFunc(GL_LESS);
    gl.Enable(GL_BLEND);
    gl.BlendFunc(GL_DST_ALPHA, GL_ZERO);
    gl.Color3f(1, 1, 1);
    gl.Rectf(0, 0, 256, 192);
    gl.Disable(GL_BLEND);
}

const AlphaCopyRow kAlphaCopies[] = {
    {"Direct"},
    {"DirectZoom2", 2},
    {"DirectAlphaMasked", 1, false, 1, true,
     "reference fault: OSMesa's glCopyPixels writes the alpha buffer through a colour mask that keeps alpha off (the "
     "copied alpha a0a0a0 where GL keeps the backdrop's 0a0a0a)"},
    {"DepthTested", 1, true},
    {"DepthTestedZoom3", 3, true},
    {"AlphaScale", 1, false, 0.5f},
};

template <std::size_t... I>
std::vector<Scene> AlphaCopyScenes(std::index_sequence<I...>) {
    return {Scene{.name = kAlphaCopies[I].name,
                  .draw = [](const Gl& gl) { CopyAlpha(gl, kAlphaCopies[I]); },
                  .tolerance = 2,
                  .outliers = 0,
                  .why = "the backdrop's alpha interpolated along spans, stored and read back once more",
                  .fault = kAlphaCopies[I].fault,
                  .buffers = kAlphaBuffer}...};
}
const std::vector<Scene> kAlphaCopyScenes = AlphaCopyScenes(std::make_index_sequence<std::size(kAlphaCopies)>());

}  // namespace

VNX_APP_SCENES(CopyAlpha, kAlphaCopyScenes);

namespace {

// --- glReadPixels --------------------------------------------------------------------------------

struct ReadRow {
    const char* name;
    GLenum format, type;
    int x = 20, y = 30, width = 40, height = 24;
    Store store{};
    Transfer transfer = kPlain;
    double tolerance = 1.5 / 255;  // of a component, in [0, 1] units (index data: whole)
    const char* fault = nullptr;
};
void PrintTo(const ReadRow& r, std::ostream* os) { *os << r.name; }

// The value of a component of the packed image, in [0, 1] for colour and
// depth data, as an integer for index data.
double ValueAt(const std::uint8_t* p, GLenum format, GLenum type, bool swap) {
    std::uint8_t b[4];
    const int size = TypeBytes(type);
    for (int i = 0; i < size; ++i) b[i] = p[swap ? size - 1 - i : i];
    const bool index = IsIndex(format);
    switch (type) {
        case GL_UNSIGNED_BYTE: return index ? b[0] : b[0] / 255.0;
        case GL_BYTE: return index ? static_cast<std::int8_t>(b[0]) : static_cast<std::int8_t>(b[0]) / 127.0;
        case GL_UNSIGNED_SHORT: { std::uint16_t v; std::memcpy(&v, b, 2); return index ? v : v / 65535.0; }
        case GL_SHORT: { std::int16_t v; std::memcpy(&v, b, 2); return index ? v : v / 32767.0; }
        case GL_UNSIGNED_INT: { std::uint32_t v; std::memcpy(&v, b, 4); return index ? v : v / 4294967295.0; }
        case GL_INT: { std::int32_t v; std::memcpy(&v, b, 4); return index ? v : v / 2147483647.0; }
        default: { float v; std::memcpy(&v, b, 4); return v; }
    }
}

// The backdrop read back by the row's modes into a buffer of 0xA5 bytes.
std::vector<std::uint8_t> Read(const Gl& gl, const ReadRow& r) {
    Start(gl);
    Backdrop(gl);
    SetStore(gl, r.store, true);
    SetTransfer(gl, r.transfer);
    const Layout l = LayoutOf(r.store, r.format, r.type, r.width, r.height);
    std::vector<std::uint8_t> out(l.bytes, 0xA5);
    if (r.type == GL_BITMAP && gl.ReadPixels != System().ReadPixels) {
        // OSMesa does not pack stencil bitmaps: the reference reads bytes
        // and packs each index's low bit where GL puts it.
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(r.width) * r.height);
        SetStore(gl, Store{.alignment = 1}, true);
        gl.ReadPixels(r.x, r.y, r.width, r.height, r.format, GL_UNSIGNED_BYTE, bytes.data());
        for (int j = 0; j < r.height; ++j)
            for (int i = 0; i < r.width; ++i) {
                const std::size_t bit = l.firstBit + static_cast<std::size_t>(i);
                const int shift = r.store.lsbFirst ? static_cast<int>(bit % 8) : 7 - static_cast<int>(bit % 8);
                std::uint8_t& b = out[l.start + j * l.stride + bit / 8];
                b = static_cast<std::uint8_t>((b & ~(1 << shift)) | ((bytes[static_cast<std::size_t>(j) * r.width + i] & 1) << shift));
            }
        return out;
    }
    gl.ReadPixels(r.x, r.y, r.width, r.height, r.format, r.type, out.data());
    return out;
}

class AppReadPixels : public AppTest, public ::testing::WithParamInterface<ReadRow> {};

// Both images the same where GL defines them: each component of a pixel
// inside the window within the tolerance, every byte outside the image
// (skipped, padding) untouched; components of pixels outside the window
// are not compared.
TEST_P(AppReadPixels, MatchReference) {
    const ReadRow& r = GetParam();
    if (r.fault != nullptr) GTEST_SKIP() << r.name << ": known fault: " << r.fault;
    std::vector<std::uint8_t> reference;
    GLenum referenceError;
    {
        Reference mesa;
        ASSERT_TRUE(mesa.ok()) << mesa.error();
        reference = Read(mesa.gl(), r);
        referenceError = mesa.gl().GetError();
    }
    vnx::debug::clear();
    const std::vector<std::uint8_t> got = Read(gl_, r);
    EXPECT_EQ(gl_.GetError(), referenceError);
    gl_.Finish();
    EXPECT_EQ(BoardErrors(), "");
    ASSERT_EQ(got.size(), reference.size());
    const Layout l = LayoutOf(r.store, r.format, r.type, r.width, r.height);
    const int n = Components(r.format), size = TypeBytes(r.type);
    // One step of the type besides: the signed types halve the resolution,
    // and a depth within the tolerance may lie on the other side of a byte's
    // level.
    const double step = IsIndex(r.format) || r.type == GL_FLOAT                   ? 0.0
                        : r.type == GL_BYTE                                      ? 1.0 / 127
                        : r.type == GL_SHORT                                     ? 1.0 / 32767
                        : r.type == GL_UNSIGNED_BYTE && r.format == GL_DEPTH_COMPONENT ? 1.0 / 255
                                                                                 : 0.0;
    std::vector<char> inImage(got.size(), 0);
    std::ostringstream diffs;
    int cDiffs = 0;
    for (int j = 0; j < r.height; ++j)
        for (int i = 0; i < r.width; ++i) {
            const bool inside = r.x + i >= 0 && r.x + i < kWidth && r.y + j >= 0 && r.y + j < kHeight;
            for (int k = 0; k < n; ++k) {
                if (r.type == GL_BITMAP) {
                    const std::size_t bit = l.firstBit + static_cast<std::size_t>(i) * n + k;
                    const std::size_t at = l.start + j * l.stride + bit / 8;
                    const int shift = r.store.lsbFirst ? bit % 8 : 7 - bit % 8;
                    inImage[at] = 1;
                    const int a = (reference[at] >> shift) & 1, b = (got[at] >> shift) & 1;
                    if (inside && a != b && ++cDiffs <= 10)
                        diffs << "pixel (" << i << ", " << j << "): " << b << " for " << a << "\n";
                    continue;
                }
                const std::size_t at = l.start + j * l.stride + (static_cast<std::size_t>(i) * n + k) * size;
                std::fill_n(inImage.begin() + static_cast<std::ptrdiff_t>(at), size, 1);
                if (!inside) continue;
                const double a = ValueAt(&reference[at], r.format, r.type, r.store.swapBytes);
                const double b = ValueAt(&got[at], r.format, r.type, r.store.swapBytes);
                if (!(std::fabs(a - b) <= r.tolerance + step) && ++cDiffs <= 10)
                    diffs << "pixel (" << i << ", " << j << ") component " << k << ": " << b << " for " << a << "\n";
            }
        }
    for (std::size_t at = 0; at < got.size(); ++at)
        if (!inImage[at] && got[at] != 0xA5 && ++cDiffs <= 10)
            diffs << "byte " << at << " outside the image written: " << int{got[at]} << "\n";
    EXPECT_EQ(cDiffs, 0) << diffs.str();
}

// The board's 16-bit depth keeps window z in steps of 2^-15 below 15/16
// and takes each value down to its step, at the vertices and again at the
// pixel: a read-back depth lies up to two steps below GL's.
constexpr double kDepthTolerance = 4.0 / 65535 + 1e-6;
// Luminance sums three channels, each of which may be a level apart.
constexpr double kLuminanceTolerance = 3.5 / 255;

const ReadRow kReads[] = {
#define TYPES(fmt, name, ...)                                                                      \
    {name "_UnsignedByte", fmt, GL_UNSIGNED_BYTE __VA_ARGS__}, {name "_Byte", fmt, GL_BYTE __VA_ARGS__},   \
    {name "_UnsignedShort", fmt, GL_UNSIGNED_SHORT __VA_ARGS__}, {name "_Short", fmt, GL_SHORT __VA_ARGS__}, \
    {name "_UnsignedInt", fmt, GL_UNSIGNED_INT __VA_ARGS__}, {name "_Int", fmt, GL_INT __VA_ARGS__},       \
    {name "_Float", fmt, GL_FLOAT __VA_ARGS__}
    TYPES(GL_RED, "Red"),
    TYPES(GL_GREEN, "Green"),
    TYPES(GL_BLUE, "Blue"),
    TYPES(GL_ALPHA, "Alpha"),
    TYPES(GL_RGB, "Rgb"),
    TYPES(GL_RGBA, "Rgba"),
    TYPES(GL_LUMINANCE, "Luminance", , 20, 30, 40, 24, {}, kPlain, kLuminanceTolerance),
    {"LuminanceAlpha_UnsignedByte", GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE, 20, 30, 40, 24, {}, kPlain, kLuminanceTolerance},
    {"LuminanceAlpha_Byte", GL_LUMINANCE_ALPHA, GL_BYTE, 20, 30, 40, 24, {}, kPlain, kLuminanceTolerance},
    {"LuminanceAlpha_UnsignedShort", GL_LUMINANCE_ALPHA, GL_UNSIGNED_SHORT, 20, 30, 40, 24, {}, kPlain, kLuminanceTolerance},
    {"LuminanceAlpha_Short", GL_LUMINANCE_ALPHA, GL_SHORT, 20, 30, 40, 24, {}, kPlain, kLuminanceTolerance},
    {"LuminanceAlpha_UnsignedInt", GL_LUMINANCE_ALPHA, GL_UNSIGNED_INT, 20, 30, 40, 24, {}, kPlain, kLuminanceTolerance,
     kReferenceIntAlpha},
    {"LuminanceAlpha_Int", GL_LUMINANCE_ALPHA, GL_INT, 20, 30, 40, 24, {}, kPlain, kLuminanceTolerance, kReferenceIntAlpha},
    {"LuminanceAlpha_Float", GL_LUMINANCE_ALPHA, GL_FLOAT, 20, 30, 40, 24, {}, kPlain, kLuminanceTolerance},
    TYPES(GL_STENCIL_INDEX, "Stencil"),
    TYPES(GL_DEPTH_COMPONENT, "Depth", , 20, 30, 40, 24, {}, kPlain, kDepthTolerance),
#undef TYPES
    {"Stencil_Bitmap", GL_STENCIL_INDEX, GL_BITMAP},
    // Colour indices cannot be read in RGBA mode.
    {"Index_UnsignedByte", GL_COLOR_INDEX, GL_UNSIGNED_BYTE},
    // Pack modes.
    {"RowLength_Rgb", GL_RGB, GL_UNSIGNED_BYTE, 20, 30, 40, 24, {.rowLength = 47}},
    {"Skips_Rgba", GL_RGBA, GL_UNSIGNED_BYTE, 20, 30, 40, 24, {.rowLength = 50, .skipRows = 3, .skipPixels = 7}},
    {"Skips_LuminanceFloat", GL_LUMINANCE, GL_FLOAT, 20, 30, 40, 24, {.rowLength = 45, .skipRows = 2, .skipPixels = 1}, kPlain,
     kLuminanceTolerance},
    {"Align1_Rgb", GL_RGB, GL_UNSIGNED_BYTE, 20, 30, 37, 24, {.alignment = 1}},
    {"Align2_Red", GL_RED, GL_UNSIGNED_BYTE, 20, 30, 37, 24, {.alignment = 2}},
    {"Align8_Rgb", GL_RGB, GL_UNSIGNED_BYTE, 20, 30, 37, 24, {.alignment = 8}},
    {"Align8_LuminanceAlphaShort", GL_LUMINANCE_ALPHA, GL_SHORT, 20, 30, 37, 24, {.alignment = 8}, kPlain,
     kLuminanceTolerance},
    {"Swap_RgbUnsignedShort", GL_RGB, GL_UNSIGNED_SHORT, 20, 30, 40, 24, {.swapBytes = true}},
    {"Swap_RgbaFloat", GL_RGBA, GL_FLOAT, 20, 30, 40, 24, {.swapBytes = true}},
    {"Swap_DepthUnsignedInt", GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, 20, 30, 40, 24, {.swapBytes = true}, kPlain,
     kDepthTolerance},
    {"Swap_StencilShort", GL_STENCIL_INDEX, GL_SHORT, 20, 30, 40, 24, {.swapBytes = true}},
    {"Lsb_StencilBitmap", GL_STENCIL_INDEX, GL_BITMAP, 20, 30, 37, 24, {.lsbFirst = true}},
    {"Skips_StencilBitmap", GL_STENCIL_INDEX, GL_BITMAP, 20, 30, 37, 24,
     {.rowLength = 45, .skipRows = 2, .skipPixels = 3, .alignment = 2}},
    // Transfer on the way out.
    {"ScaleBias_Rgba", GL_RGBA, GL_UNSIGNED_BYTE, 20, 30, 40, 24, {}, kScaleBias},
    {"MapColour_Rgb", GL_RGB, GL_FLOAT, 20, 30, 40, 24, {}, kMapColour, 1.5 / 255},
    {"DepthScaleBias", GL_DEPTH_COMPONENT, GL_FLOAT, 20, 30, 40, 24, {}, kDepthScaleBias, kDepthTolerance},
    {"StencilShift", GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, 20, 30, 40, 24, {}, kStencilShift},
    {"MapStencil", GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, 20, 30, 40, 24, {}, kMapStencil},
    // Partly outside the window (those pixels are not compared).
    {"OutsideLeftBottom_Rgb", GL_RGB, GL_UNSIGNED_BYTE, -10, -6, 40, 24},
    {"OutsideRightTop_Rgba", GL_RGBA, GL_FLOAT, 230, 180, 40, 24},
    {"OutsideDepth", GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT, 240, -5, 40, 24, {}, kPlain, kDepthTolerance},
    {"OutsideStencil", GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, -7, 170, 40, 24},
    {"Whole_Rgba", GL_RGBA, GL_UNSIGNED_BYTE, 0, 0, kWidth, kHeight},
};

INSTANTIATE_TEST_SUITE_P(ReadPixels, AppReadPixels, ::testing::ValuesIn(kReads),
                         [](const ::testing::TestParamInfo<ReadRow>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace glapp_tests
