// The GL reference renderer of the tests: one scene of GL 1.0 triangles
// under a fragment state per pass, drawn by Mesa's off-screen software
// renderer (OSMesa, loaded at run time so its GL entry points never meet
// another library's), and the comparison of two pictures with a stated
// tolerance that writes both pictures and their difference as PNGs when it
// fails.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vnx::glref {

// GL 1.0 tokens the scenes use (the published values).
enum : unsigned {
    kNever = 0x0200, kLess, kEqual, kLequal, kGreater, kNotequal, kGequal, kAlways,
    kZero = 0, kOne = 1, kSrcColor = 0x0300, kOneMinusSrcColor, kSrcAlpha, kOneMinusSrcAlpha,
    kDstAlpha, kOneMinusDstAlpha, kDstColor, kOneMinusDstColor, kSrcAlphaSaturate,
    kKeep = 0x1E00, kReplace, kIncr, kDecr, kInvert = 0x150A,
    kClear = 0x1500, kAnd, kAndReverse, kCopy, kAndInverted, kNoop, kXor, kOr, kNor, kEquiv,
    kLogicInvert, kOrReverse, kCopyInverted, kOrInverted, kNand, kSet,
};

// A vertex in window pixels, y growing downwards from the picture's top
// edge; z the depth in [0, 1].
struct Vertex {
    float x, y, z;
    std::uint8_t r, g, b;
};
struct Triangle {
    Vertex v[3];
    Vertex flat{};  // whose colour the triangle takes flat-shaded (triangles_of)
};

// The fragment state of one pass.
struct State {
    bool smooth = true;  // GL_SMOOTH, else GL_FLAT (the third vertex's colour)
    float alpha = 1.0f;  // the current colour's alpha
    bool depthTest = false;
    unsigned depthFunc = kLess;
    bool depthWrites = true;
    bool blend = false;
    unsigned srcFactor = kOne, dstFactor = kZero;
    bool logicOp = false;
    unsigned logic = kCopy;
    bool alphaTest = false;
    unsigned alphaFunc = kAlways;
    float alphaRef = 0.0f;
    bool stencilTest = false;
    unsigned stencilFunc = kAlways;
    int stencilRef = 0;
    unsigned stencilMask = 0xFF;
    unsigned stencilFail = kKeep, stencilZfail = kKeep, stencilZpass = kKeep;
    bool scissor = false;
    int scissorX0 = 0, scissorY0 = 0, scissorX1 = 0, scissorY1 = 0;  // inclusive, y from the top
};

// States the scenes share: a depth test, and a stencil test with its
// operations, each over a given state.
inline State depth_state(unsigned func, bool writes = true, State s = {}) {
    s.depthTest = true;
    s.depthFunc = func;
    s.depthWrites = writes;
    return s;
}
struct StencilOps {
    unsigned fail = kKeep, zfail = kKeep, zpass = kKeep;
};
inline State stencil_state(unsigned func, int ref, StencilOps ops = {}, unsigned mask = 0xFF, State s = {}) {
    s.stencilTest = true;
    s.stencilFunc = func;
    s.stencilRef = ref;
    s.stencilMask = mask;
    s.stencilFail = ops.fail;
    s.stencilZfail = ops.zfail;
    s.stencilZpass = ops.zpass;
    return s;
}

// GL 1.0's polygon primitives (the published token values).
enum : unsigned { kTriangles = 4, kTriangleStrip, kTriangleFan, kQuads, kQuadStrip, kPolygon };

// One pass: independent triangles, or the vertices of one primitive of
// another mode.
struct Pass {
    State state;
    std::vector<Triangle> triangles;
    unsigned mode = kTriangles;
    std::vector<Vertex> vertices;
};

// The pass as triangles the way GL decomposes its primitives: strips and
// fans from their shared vertices, quads and quad strips along the diagonal
// from their first vertex, a polygon as a fan from its first vertex. The
// vertex whose colour a flat-shaded primitive takes (the last of a triangle
// or quad, the first of a polygon) is each triangle's `flat` vertex.
std::vector<Triangle> triangles_of(const Pass& pass);

struct Scene {
    int width = 0, height = 0;
    std::uint8_t clear[3] = {0, 0, 0};
    float clearDepth = 1.0f;
    int clearStencil = 0;
    std::vector<Pass> passes;
};

// The scene through OSMesa: width x height pixels 0x00RRGGBB, rows top to
// bottom. Empty (with *error set) when OSMesa cannot be loaded or fails.
std::vector<std::uint32_t> render(const Scene& scene, std::string* error);

// The two pictures agree when at most `outliers` pixels differ in some
// channel by more than `tolerance` (edge pixels where the two coverage
// rules round differently). On failure the pictures and their difference
// (the per-channel distance, x 4) are written as <name>-reference.png,
// <name>-board.png and <name>-difference.png in the folder of
// VNX_TEST_PICTURES (default: the working folder).
::testing::AssertionResult same_picture(const std::string& name, const std::vector<std::uint32_t>& reference,
                                        const std::vector<std::uint32_t>& board, int width, int height,
                                        int tolerance, int outliers);

// The same with a tolerance of each channel (red, green, blue); with shift
// 1 a board pixel also agrees when it lies within the tolerance of the
// reference's colour at one of its eight neighbours (edges that may lie a
// pixel apart).
struct Tolerance {
    int red, green, blue;
    int shift = 0;
};
::testing::AssertionResult same_picture(const std::string& name, const std::vector<std::uint32_t>& reference,
                                        const std::vector<std::uint32_t>& board, int width, int height,
                                        const Tolerance& tolerance, int outliers);

// Writes a picture (0x00RRGGBB, rows top to bottom) as an RGB PNG.
bool write_png(const std::string& path, const std::vector<std::uint32_t>& rgb, int width, int height);

// OSMesa opened (it stays open for the process's life) and its entry points
// looked up by name, for the reference renderers here and of the picture
// tests. A library that cannot be opened or a name it lacks sets *error and
// makes ok() false.
class OsMesaLoader {
public:
    explicit OsMesaLoader(std::string* error);
    bool ok() const { return ok_; }
    void* handle() const { return handle_; }
    template <class Fn>
    void get(Fn& fn, const char* name) {
        fn = reinterpret_cast<Fn>(symbol(name));
    }

private:
    void* symbol(const char* name);
    std::string* error_;
    void* handle_ = nullptr;
    bool ok_ = true;
};

// An OSMesa RGBA colour buffer as pixels 0x00RRGGBB.
std::vector<std::uint32_t> rgb_of_rgba(const std::vector<std::uint8_t>& rgba);

}  // namespace vnx::glref
