// The board's 3D rasterizer against Mesa's software renderer: GL 1.0 scenes
// drawn by OSMesa and, as polygon packets of layout 12 (a colour and a depth
// word per vertex) under the render programs the micro-code generator emits
// for the same fragment state, by the board model on 1, 2 and 4 rasterizers
// and a split board, at 32 and 16 bits a pixel. The programs are written
// here through the generator's instruction description (kzuinstr.h), word
// for word in the generator's order and registers; the primitives' words
// by the render functions' data-word table (kzprimwords.h). The render
// functions that send triangles from the server are not there yet, so the
// packets are built here.
#include <array>
#include <cmath>
#include <functional>
#include <map>

#include "board_stream_util.h"
#include "gl_programs.h"
#include "gl_reference.h"
#include "kzprimwords.h"
#include "kzuinstr.h"

namespace vnx::board::test {
namespace {

using namespace vnx::glref;
using miniport::MachineConfig;

constexpr int kW = 256, kH = 256;  // the picture: four tiles
constexpr std::uint16_t kDepthPid = 0x0001;    // the depth space, named bare as the generator does
constexpr std::uint16_t kDepthWords = 0xA001;  // ... its 32-bit words, for the clear
constexpr std::uint16_t kStencilPid = 0x6002;  // stencil values in 16-bit words, stored as they are
constexpr std::uint16_t kScratchPid = 0xA003;  // the shared scratch pixmap (no pages)
constexpr std::uint32_t kNoConstant = 0xDEEEEEEDu;

std::uint16_t colour_pid(int bpp) { return bpp == 32 ? 0xA000 : 0x8000; }

// A colour in the render programs' colour form: 8-bit channels at 32 bits a
// pixel, 7-bit channels at 16.
std::uint32_t colour_word(std::uint8_t r, std::uint8_t g, std::uint8_t b, int bpp) {
    const int s = bpp == 32 ? 0 : 1;
    return std::uint32_t{r} >> s << 16 | std::uint32_t{g} >> s << 8 | std::uint32_t{b} >> s;
}
std::uint32_t depth_word(float z) { return static_cast<std::uint32_t>(std::lround(std::clamp(z, 0.0f, 1.0f) * 16777215.0)); }
// The depth word the render functions send for a depth buffer below 24
// bits: the top sixteenth of the range in the 16-bit floating form, the
// rest shifted down by 9.
std::uint32_t shallow_depth_word(float z) {
    std::uint32_t v = depth_word(z);
    if ((v & 0xF00000u) != 0xF00000u) return v >> 9;
    std::uint32_t n = 0;
    while ((v & 0x80000u) != 0 && n < 7) {
        ++n;
        v <<= 1;
    }
    return ((v & 0x7FF80u) >> 7) | ((n | 8u) << 12);
}
bool gShallowDepth = false;  // the scene's depth words in the shallow form
std::uint32_t scene_depth_word(float z) { return gShallowDepth ? shallow_depth_word(z) : depth_word(z); }
// A GL window position as the render functions send it in 28.4: half a
// pixel less on both axes, so that GL's pixel centres fall on the board's
// sample points (held at 0: the scenes' edges at the picture's own edges
// then lie on the first samples, which a top or left edge covers).
std::uint32_t position_word(float x, float y) {
    const auto at = [](float v) { return static_cast<std::uint32_t>(std::max(0L, std::lround(v * 16 - 8))); };
    return at(y) << 16 | (at(x) & 0xFFFF);
}

// --- packets --------------------------------------------------------------------------
constexpr std::uint32_t kLayout12Loads = kzuHdrLoadKind(KZU_rgb0, 3) | kzuHdrLoadKind(KZU_z0, 3);
constexpr std::uint32_t kBatch = 400;  // primitives a packet takes

std::uint32_t clip_word(int x, int y) { return static_cast<std::uint32_t>(y) << 16 | static_cast<std::uint32_t>(x); }

// The packets of one pass: the program's image, then the triangles' words
// by the layout-12 row, 400 a packet; x moved by xShift (the second
// screen's desktop x) with the second screen's bits in the control word.
std::vector<std::uint32_t> pass_words(const Pass& pass, const Program& prog, int bpp, int xShift, bool second) {
    const kzPrimWordsRow& row = *kzPrimWordsOf(5, 12);
    const std::uint32_t pidWords = static_cast<std::uint32_t>((prog.pids.size() + 1) / 2);
    std::uint32_t header = 5 | KZU_HDR_CLIP | kLayout12Loads |
                           static_cast<std::uint32_t>(prog.words.size()) << KZU_HDR_INSTR_SHIFT |
                           pidWords << KZU_HDR_PIDW_SHIFT;
    if (!prog.constants.empty()) header |= KZU_CONSTANTS_8_PER_PKT;
    const State& s = pass.state;
    const std::uint32_t clipMin = s.scissor ? clip_word(s.scissorX0, s.scissorY0) : 0;
    const std::uint32_t clipMax = s.scissor ? clip_word(s.scissorX1, s.scissorY1) : clip_word(kW - 1, kH - 1);
    std::vector<std::uint32_t> out;
    const std::vector<Triangle> tris = triangles_of(pass);
    for (std::size_t first = 0; first < tris.size(); first += kBatch) {
        const std::size_t n = std::min<std::size_t>(kBatch, tris.size() - first);
        out.push_back(header);
        out.push_back(static_cast<std::uint32_t>(n) | (second ? 0x70000u : 0u));
        for (std::uint32_t k = 0; k < pidWords; ++k) {
            const std::uint32_t lo = prog.pids[2 * k];
            const std::uint32_t hi = 2 * k + 1 < prog.pids.size() ? prog.pids[2 * k + 1] : 0;
            out.push_back(hi << 16 | lo);
        }
        out.insert(out.end(), prog.words.begin(), prog.words.end());
        out.push_back(clipMin);
        out.push_back(clipMax);
        if (!prog.constants.empty()) {
            for (std::size_t k = 0; k < KZU_CONSTANTS; ++k) out.push_back(k < prog.constants.size() ? prog.constants[k] : kNoConstant);
        }
        for (std::size_t i = first; i < first + n; ++i) {
            const Triangle& t = tris[i];
            std::uint32_t w[9] = {};
            for (std::uint32_t v = 0; v < 3; ++v) {
                // Flat shading: every vertex carries the primitive's colour.
                const Vertex& c = s.smooth ? t.v[v] : t.flat;
                w[kzPrimWordAt(row, KZ_PW_COLOUR, v)] = colour_word(c.r, c.g, c.b, bpp);
                w[kzPrimWordAt(row, KZ_PW_DEPTH, v)] = scene_depth_word(t.v[v].z);
                w[kzPrimWordAt(row, KZ_PW_POSITION, v)] = position_word(t.v[v].x + static_cast<float>(xShift), t.v[v].y);
            }
            out.insert(out.end(), std::begin(w), std::end(w));
        }
    }
    return out;
}

// A rectangle packet copying one value into every pixel of the picture (the
// clears: 2D rectangles, clip maximum excluded).
std::vector<std::uint32_t> clear_words(std::uint16_t pid, std::uint32_t value, int xShift, bool second) {
    const std::uint32_t x0 = static_cast<std::uint32_t>(xShift), x1 = x0 + kW;
    return {0x02101026, 1u | (second ? 0x70000u : 0u), pid, 0x10360348, 0, clip_word(kW, kH), value,
            vtx(x0, 0), vtx(x1, 0), vtx(x1, kH), vtx(x0, kH)};
}

// --- the board side ---------------------------------------------------------------------
struct Config {
    const char* name;
    int rasterizers;  // per board
    int boards;       // 2: a split board, the scene drawn on both screens
    int bpp;
};
void PrintTo(const Config& c, std::ostream* os) { *os << c.name; }

class Render3dTest : public BoardTest {
protected:
    void boot(const Config& c) {
        MachineConfig cfg;
        cfg.rasterizers = c.rasterizers;
        cfg.boards = c.boards;
        make(cfg);
        for (int r = 0; r < board->rasterizers(); ++r) {
            start(r);
            writers_.push_back(writer(r));
            int slot = 0;
            for (std::uint16_t pid : {colour_pid(c.bpp), kDepthWords, kStencilPid}) {
                ULONG w = 0, h = 0, bpp = 0;
                ASSERT_TRUE(board->page_geometry(pid, &w, &h, &bpp));
                for (ULONG y0 = 0; y0 < kH; y0 += h)
                    for (ULONG x0 = 0; x0 < kW; x0 += w)
                        board->write_register(r, VNX_REG_PAGE_SLOT0 + 4 * slot++,
                                              ((y0 >> 7) & 0x3F) << 11 | ((x0 >> 7) & 0x3F) << 5 | (pid & 0x1F));
            }
        }
    }
    void send(int r, const std::vector<std::uint32_t>& words) {
        writers_[r].put(words);
        expose(r, writers_[r].hand_over());
    }
    // Draws the scene on every board; every rasterizer of a board takes
    // every packet (the board keeps its own tiles).
    void draw(const Scene& scene, int bpp) {
        for (int r = 0; r < board->rasterizers(); ++r) {
            const bool second = board->board_of(r) == 1;
            const int xShift = second ? 1024 : 0;
            std::vector<std::uint32_t> words = clear_words(colour_pid(bpp),
                colour_word(scene.clear[0], scene.clear[1], scene.clear[2], bpp), xShift, second);
            auto more = [&](const std::vector<std::uint32_t>& w) { words.insert(words.end(), w.begin(), w.end()); };
            more(clear_words(kDepthWords, scene_depth_word(scene.clearDepth), xShift, second));
            more(clear_words(kStencilPid, static_cast<std::uint32_t>(scene.clearStencil), xShift, second));
            for (const Pass& pass : scene.passes) more(pass_words(pass, program_for(pass.state, bpp, ProgramPids{colour_pid(bpp), kDepthPid, kStencilPid, kScratchPid}), bpp, xShift, second));
            send(r, words);
        }
    }
    std::vector<std::uint32_t> picture(int b, int bpp) { return board->read_rgb(b, colour_pid(bpp), 0, 0, kW, kH); }
    // No rasterizer wrote a pixel of a tile it does not own.
    void expect_own_tiles_only(int bpp) {
        for (int r = 0; r < board->rasterizers(); ++r) {
            int foreign = 0;
            for (LONG y = 0; y < kH; y += 3)
                for (LONG x = 0; x < kW; x += 3) {
                    if (board->tile_owner(board->board_of(r), x, y) == r) continue;
                    const std::uint8_t* px = board->pixel(r, colour_pid(bpp), x, y);
                    if (px != nullptr && px[0] != 0) ++foreign;
                }
            EXPECT_EQ(foreign, 0) << "rasterizer " << r;
        }
    }
    void TearDown() override {
        if (board) {
            EXPECT_EQ(error_text(), "");
            for (int r = 0; r < board->rasterizers(); ++r) EXPECT_EQ(board->summary(r).unexecuted, 0u) << r;
        }
    }

    std::vector<StreamWriter> writers_;
};

// --- scenes --------------------------------------------------------------------------------
// A small deterministic generator of values.
struct Lcg {
    std::uint32_t s;
    std::uint32_t next() { return s = s * 1664525u + 1013904223u; }
    float unit() { return static_cast<float>(next() >> 8) / 16777216.0f; }
    std::uint8_t byte() { return static_cast<std::uint8_t>(next() >> 24); }
};

// Triangles over the picture, some across the tile edges at 128, at
// sub-pixel positions, each vertex with its own colour and depth.
std::vector<Triangle> triangles(std::uint32_t seed, int count, float zLo, float zHi, float size = 90.0f) {
    Lcg g{seed};
    std::vector<Triangle> out;
    for (int i = 0; i < count; ++i) {
        const float cx = 10 + g.unit() * (kW - 20), cy = 10 + g.unit() * (kH - 20);
        Triangle t{};
        for (Vertex& v : t.v) {
            v.x = std::clamp(cx + (g.unit() - 0.5f) * size, 0.0f, static_cast<float>(kW));
            v.y = std::clamp(cy + (g.unit() - 0.5f) * size, 0.0f, static_cast<float>(kH));
            v.z = zLo + g.unit() * (zHi - zLo);
            v.r = g.byte();
            v.g = g.byte();
            v.b = g.byte();
        }
        out.push_back(t);
    }
    return out;
}

// Vertices at the given positions, each with its own colour.
std::vector<Vertex> vertices(std::uint32_t seed, const std::vector<std::array<float, 2>>& at) {
    Lcg g{seed};
    std::vector<Vertex> out;
    for (const auto& p : at) out.push_back(Vertex{p[0], p[1], 0.5f, g.byte(), g.byte(), g.byte()});
    return out;
}

// Two triangles covering the picture at one depth and colour.
std::vector<Triangle> backdrop(float z, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    const Vertex a{0, 0, z, r, g, b}, c{kW, 0, z, r, g, b}, d{kW, kH, z, r, g, b}, e{0, kH, z, r, g, b};
    return {Triangle{{a, c, d}}, Triangle{{a, d, e}}};
}

Pass pass(State s, std::vector<Triangle> t) {
    Pass p;
    p.state = s;
    p.triangles = std::move(t);
    return p;
}

struct Row {
    std::string name;
    std::function<Scene()> scene;
    bool shallowDepth = false;  // depth words in the form for depth buffers below 24 bits
};

Scene scene_of(std::vector<Pass> passes, std::uint8_t r = 0, std::uint8_t g = 0, std::uint8_t b = 0) {
    Scene s;
    s.width = kW;
    s.height = kH;
    s.clear[0] = r;
    s.clear[1] = g;
    s.clear[2] = b;
    s.passes = std::move(passes);
    return s;
}

std::vector<Row> rows() {
    std::vector<Row> out;
    out.push_back({"clear", [] { return scene_of({}, 40, 80, 160); }});
    out.push_back({"flat triangles", [] {
                       State s;
                       s.smooth = false;
                       return scene_of({pass(s, triangles(1, 12, 0.5f, 0.5f))}, 10, 10, 10);
                   }});
    out.push_back({"smooth triangles", [] { return scene_of({pass(State{}, triangles(2, 12, 0.5f, 0.5f))}); }});
    // The other primitives, smooth and flat: their triangles as GL forms
    // them, with the colour each takes flat-shaded.
    for (bool smooth : {true, false}) {
        const std::string shade = smooth ? " smooth" : " flat";
        auto prim = [smooth](unsigned mode, std::vector<Vertex> v) {
            Pass p;
            p.state.smooth = smooth;
            p.mode = mode;
            p.vertices = std::move(v);
            return scene_of({p}, 5, 5, 5);
        };
        out.push_back({"quads" + shade, [prim] { return prim(kQuads, vertices(20, {{20, 20}, {120, 30}, {110, 110}, {30, 100},
                                                                                     {140, 140}, {240, 130}, {250, 250}, {130, 230},
                                                                                     {130, 20}, {250, 10}, {250, 120}, {140, 120}})); }});
        out.push_back({"quad strip" + shade, [prim] {
                           std::vector<std::array<float, 2>> p;
                           for (int i = 0; i < 6; ++i) {
                               p.push_back({10.0f + 45 * i, 60.0f + 10 * (i % 2)});
                               p.push_back({15.0f + 45 * i, 200.0f - 15 * (i % 3)});
                           }
                           return prim(kQuadStrip, vertices(21, p));
                       }});
        out.push_back({"triangle strip" + shade, [prim] {
                           std::vector<std::array<float, 2>> p;
                           for (int i = 0; i < 12; ++i) p.push_back({8.0f + 21.5f * i, i % 2 ? 230.0f : 30.0f + 3 * i});
                           return prim(kTriangleStrip, vertices(22, p));
                       }});
        out.push_back({"triangle fan" + shade, [prim] {
                           std::vector<std::array<float, 2>> p = {{128.25f, 127.75f}};
                           for (int i = 0; i <= 12; ++i) {
                               const float a = 6.2831853f * static_cast<float>(i) / 12.0f;
                               p.push_back({128.25f + 110 * std::cos(a), 127.75f + 100 * std::sin(a)});
                           }
                           return prim(kTriangleFan, vertices(23, p));
                       }});
        out.push_back({"polygon" + shade, [prim] {
                           std::vector<std::array<float, 2>> p;
                           for (int i = 0; i < 9; ++i) {
                               const float a = 6.2831853f * static_cast<float>(i) / 9.0f;
                               p.push_back({130 + 115 * std::cos(a), 126 + 118 * std::sin(a)});
                           }
                           return prim(kPolygon, vertices(24, p));
                       }});
    }
    out.push_back({"many small triangles", [] { return scene_of({pass(State{}, triangles(3, 600, 0.5f, 0.5f, 12.0f))}); }});
    const std::pair<const char*, unsigned> funcs[] = {{"never", kNever}, {"less", kLess}, {"equal", kEqual},
                                                     {"lequal", kLequal}, {"greater", kGreater},
                                                     {"notequal", kNotequal}, {"gequal", kGequal}, {"always", kAlways}};
    for (const auto& [name, func] : funcs) {
        const unsigned f = func;
        out.push_back({std::string("depth ") + name, [f] {
                           // A backdrop at 0.5, then triangles from 0.2 to 0.8 with
                           // some at exactly 0.5 (the equal cases).
                           std::vector<Triangle> t = triangles(4, 10, 0.2f, 0.8f);
                           for (const Triangle& e : triangles(5, 4, 0.5f, 0.5f)) t.push_back(e);
                           return scene_of({pass(depth_state(kAlways), backdrop(0.5f, 30, 60, 90)),
                                            pass(depth_state(f), t)});
                       }});
    }
    // Layers of one depth each, in the shallow form: near the far end
    // (bits 20-23 set, the floating form) and below it.
    out.push_back({"depth less, shallow depth words", [] {
                       std::vector<Pass> passes = {pass(depth_state(kAlways), backdrop(0.97f, 30, 60, 90))};
                       const float layers[] = {0.99f, 0.95f, 0.96f, 0.30f, 0.985f, 0.2f};
                       for (std::uint32_t i = 0; i < std::size(layers); ++i)
                           passes.push_back(pass(depth_state(kLess), triangles(30 + i, 3, layers[i], layers[i])));
                       return scene_of(std::move(passes));
                   }, true});
    out.push_back({"depth less, writes off", [] {
                       return scene_of({pass(depth_state(kAlways), backdrop(0.5f, 30, 60, 90)),
                                        pass(depth_state(kLess, false), triangles(6, 10, 0.2f, 0.8f)),
                                        pass(depth_state(kLess), triangles(7, 10, 0.3f, 0.7f))});
                   }});
    out.push_back({"scissor", [] {
                       State s;
                       s.scissor = true;
                       s.scissorX0 = 37;
                       s.scissorY0 = 100;
                       s.scissorX1 = 180;
                       s.scissorY1 = 200;
                       return scene_of({pass(s, triangles(8, 10, 0.5f, 0.5f))});
                   }});
    const std::tuple<const char*, unsigned, float> alphas[] = {
        {"alpha test less passes", kLess, 0.7f}, {"alpha test less fails", kLess, 0.3f},
        {"alpha test gequal", kGequal, 0.5f},    {"alpha test notequal", kNotequal, 0.5f},
        {"alpha test never", kNever, 0.5f}};
    for (const auto& [name, func, ref] : alphas) {
        const unsigned f = func;
        const float rf = ref;
        out.push_back({name, [f, rf] {
                           State s;
                           s.alphaTest = true;
                           s.alphaFunc = f;
                           s.alphaRef = rf;
                           s.alpha = 0.5f;
                           return scene_of({pass(s, triangles(9, 8, 0.5f, 0.5f))}, 20, 20, 20);
                       }});
    }
    const std::tuple<const char*, unsigned, unsigned> blends[] = {
        {"blend one one", kOne, kOne},
        {"blend dst colour zero", kDstColor, kZero},
        {"blend zero src colour", kZero, kSrcColor},
        {"blend one, one minus src colour", kOne, kOneMinusSrcColor},
        {"blend zero, one minus src colour", kZero, kOneMinusSrcColor},
        {"blend one minus dst colour, zero", kOneMinusDstColor, kZero},
        {"blend dst colour one", kDstColor, kOne},
        {"blend src alpha, one minus src alpha", kSrcAlpha, kOneMinusSrcAlpha}};
    for (const auto& [name, sf, df] : blends) {
        const unsigned s0 = sf, d0 = df;
        out.push_back({name, [s0, d0] {
                           State s;
                           s.blend = true;
                           s.srcFactor = s0;
                           s.dstFactor = d0;
                           return scene_of({pass(State{}, triangles(10, 6, 0.5f, 0.5f)), pass(s, triangles(11, 8, 0.5f, 0.5f))},
                                           60, 90, 120);
                       }});
    }
    for (unsigned op = kClear; op <= kSet; ++op) {
        out.push_back({"logic op " + std::to_string(op - kClear), [op] {
                           State s;
                           s.logicOp = true;
                           s.logic = op;
                           return scene_of({pass(State{}, triangles(12, 6, 0.5f, 0.5f)), pass(s, triangles(13, 8, 0.5f, 0.5f))},
                                           200, 100, 50);
                       }});
    }
    out.push_back({"stencil replace then equal", [] {
                       return scene_of({pass(stencil_state(kAlways, 1, {.zpass = kReplace}), triangles(14, 5, 0.5f, 0.5f)),
                                        pass(stencil_state(kEqual, 1), backdrop(0.5f, 250, 250, 0))});
                   }});
    out.push_back({"stencil incr, decr and invert with depth", [] {
                       const State count =
                           stencil_state(kAlways, 0, {.zfail = kInvert, .zpass = kIncr}, 0xFF, depth_state(kLess));
                       const State down = stencil_state(kNotequal, 0, {.zpass = kDecr}, 0xFF, depth_state(kAlways));
                       std::vector<Pass> passes = {pass(count, triangles(15, 12, 0.2f, 0.8f)),
                                                   pass(down, triangles(16, 4, 0.5f, 0.5f))};
                       // Show the counts: 1, 2 and the inverted values.
                       for (int k : {1, 2, 254, 255}) {
                           const State show = stencil_state(kEqual, k, {}, 0xFF, depth_state(kAlways, false));
                           const auto v = static_cast<std::uint8_t>(40 * (k & 7) + (k > 2 ? 100 : 0));
                           passes.push_back(pass(show, backdrop(0.0f, v, static_cast<std::uint8_t>(255 - v), 128)));
                       }
                       return scene_of(std::move(passes));
                   }});
    out.push_back({"stencil masked less with fail op", [] {
                       return scene_of({pass(stencil_state(kAlways, 6, {.zpass = kReplace}), triangles(17, 4, 0.5f, 0.5f)),
                                        pass(stencil_state(kLess, 3, {.fail = kZero}, 0x06), triangles(18, 6, 0.5f, 0.5f)),
                                        pass(stencil_state(kEqual, 0), backdrop(0.5f, 0, 200, 200))});
                   }});
    return out;
}

constexpr Config kConfigs[] = {
    {"Solo32", 1, 1, 32}, {"Duo32", 2, 1, 32}, {"Quad32", 4, 1, 32}, {"SplitDuo32", 1, 2, 32},
    {"Solo16", 1, 1, 16}, {"Duo16", 2, 1, 16}, {"Quad16", 4, 1, 16}, {"SplitDuo16", 1, 2, 16},
};

// The reference pictures, once a row.
const std::vector<std::uint32_t>& reference(const std::string& name, const Scene& scene) {
    static std::map<std::string, std::vector<std::uint32_t>> cache;
    auto it = cache.find(name);
    if (it == cache.end()) {
        std::string error;
        it = cache.emplace(name, render(scene, &error)).first;
        EXPECT_FALSE(it->second.empty()) << error;
    }
    return it->second;
}

class Render3dScenes : public Render3dTest, public ::testing::WithParamInterface<Config> {};

// Each row's scene on this board matches OSMesa's picture: at 32 bits a
// pixel within 3 a channel (interpolation rounding), at 16 bits within one
// 5-bit step; at most 1% of the pixels (edges the two coverage rules round
// differently) outside that. Every board of a split machine shows the same
// picture.
TEST_P(Render3dScenes, MatchOsMesa) {
    const Config& c = GetParam();
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.name);
        const Scene scene = row.scene();
        const std::vector<std::uint32_t>& ref = reference(row.name, scene);
        if (ref.empty()) return;
        writers_.clear();
        boot(c);
        gShallowDepth = row.shallowDepth;
        draw(scene, c.bpp);
        gShallowDepth = false;
        for (int b = 0; b < board->boards(); ++b) {
            const std::string name = std::string(c.name) + "-" + row.name + "-board" + std::to_string(b);
            EXPECT_TRUE(same_picture(name, ref, picture(b, c.bpp), kW, kH, c.bpp == 32 ? 3 : 12, kW * kH / 100));
        }
        expect_own_tiles_only(c.bpp);
        EXPECT_EQ(error_text(), "");
        for (int r = 0; r < board->rasterizers(); ++r) EXPECT_EQ(board->summary(r).unexecuted, 0u) << r;
    }
}

// --- the model's own rules ------------------------------------------------------------
class Render3dRules : public Render3dTest {
protected:
    // The depth space is reached with its 32-bit words first (as the
    // server's depth clear reaches it), so the bare depth pid reads them.
    void SetUp() override {
        boot(Config{"Solo32", 1, 1, 32});
        board->pixel(0, kDepthWords, 0, 0);
    }
    // One packet of layout 12: the program words over triangles whose
    // vertices all carry colour `rgb` and depth word `z`; constants 32 on.
    void draw(const std::vector<std::uint32_t>& program, const std::vector<std::array<float, 6>>& tris,
              std::uint32_t rgb, std::uint32_t z, const std::vector<std::uint32_t>& constants = {},
              std::uint32_t clipMax = clip_word(kW - 1, kH - 1), std::uint32_t clipMin = 0) {
        const kzPrimWordsRow& row = *kzPrimWordsOf(5, 12);
        std::uint32_t header = 5 | KZU_HDR_CLIP | kLayout12Loads |
                               static_cast<std::uint32_t>(program.size()) << KZU_HDR_INSTR_SHIFT | 1u << KZU_HDR_PIDW_SHIFT;
        if (!constants.empty()) header |= KZU_CONSTANTS_8_PER_PKT;
        std::vector<std::uint32_t> w = {header, static_cast<std::uint32_t>(tris.size()),
                                        std::uint32_t{kDepthPid} << 16 | colour_pid(32)};
        w.insert(w.end(), program.begin(), program.end());
        w.push_back(clipMin);
        w.push_back(clipMax);
        if (!constants.empty()) {
            for (std::size_t k = 0; k < KZU_CONSTANTS; ++k) w.push_back(k < constants.size() ? constants[k] : kNoConstant);
        }
        for (const auto& t : tris) {
            std::uint32_t words[9];
            for (std::uint32_t v = 0; v < 3; ++v) {
                words[kzPrimWordAt(row, KZ_PW_COLOUR, v)] = rgb;
                words[kzPrimWordAt(row, KZ_PW_DEPTH, v)] = z;
                words[kzPrimWordAt(row, KZ_PW_POSITION, v)] = position(t[2 * v], t[2 * v + 1]);
            }
            w.insert(w.end(), std::begin(words), std::end(words));
        }
        send(0, w);
    }
    // How draw packs a vertex (the scenes' word, held at 0 by default).
    std::uint32_t (*position)(float x, float y) = position_word;
    std::uint32_t at(int x, int y) {
        std::uint32_t v = 0;
        std::memcpy(&v, board->pixel(0, colour_pid(32), x, y), 4);
        return v;
    }
    void set(int x, int y, std::uint32_t v) { std::memcpy(board->pixel(0, colour_pid(32), x, y), &v, 4); }
    std::uint32_t depth(int x, int y) {
        std::uint32_t v = 0;
        std::memcpy(&v, board->pixel(0, kDepthWords, x, y), 4);
        return v;
    }
    int count(std::uint32_t v) {
        int n = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) n += at(x, y) == v ? 1 : 0;
        return n;
    }
};

constexpr std::uint32_t D13 = KZU_pixmap0;  // the colour pixmap (pid position 0)

// Pixel centres on an edge belong to the top and left edges only: a square
// of two triangles, and a fan of eight around a centre, drawn with XOR onto
// zero leave every covered pixel once (a pixel covered twice would XOR back
// to 0) and the square exactly its 10 x 10 pixels, whichever way the
// triangles wind.
TEST_F(Render3dRules, SharedEdgesCoverEachPixelOnce) {
    const std::vector<std::uint32_t> xorWrite = {kzuInstr(KZU_OP_XOR, D13, S, D13) | kClip};
    draw(xorWrite, {{10.5f, 10.5f, 20.5f, 10.5f, 20.5f, 20.5f}, {10.5f, 10.5f, 10.5f, 20.5f, 20.5f, 20.5f}}, 0x123456,
         0);
    EXPECT_EQ(count(0x123456), 100);
    EXPECT_EQ(at(10, 10), 0x123456u);
    EXPECT_EQ(at(19, 19), 0x123456u);
    EXPECT_EQ(at(20, 15), 0u);
    EXPECT_EQ(at(15, 20), 0u);
    // A fan of eight triangles around (100.5, 100.5) with corners on pixel
    // centres and between them.
    const float c = 100.5f;
    const float ring[8][2] = {{c - 20, c - 20}, {c, c - 27.25f}, {c + 20, c - 20}, {c + 23.5f, c},
                              {c + 20, c + 20}, {c, c + 21}, {c - 20, c + 20}, {c - 30.125f, c}};
    std::vector<std::array<float, 6>> fan;
    for (int i = 0; i < 8; ++i) {
        const auto& a = ring[i];
        const auto& b = ring[(i + 1) % 8];
        fan.push_back(i % 2 ? std::array<float, 6>{c, c, a[0], a[1], b[0], b[1]}
                            : std::array<float, 6>{c, c, b[0], b[1], a[0], a[1]});
    }
    draw(xorWrite, fan, 0x00FF00, 0);
    int holes = 0;
    for (int y = 85; y < 116; ++y)
        for (int x = 85; x < 116; ++x) holes += at(x, y) == 0x00FF00u ? 0 : 1;
    EXPECT_EQ(holes, 0);
    // Zero area covers nothing.
    draw(xorWrite, {{30, 30, 40, 40, 50, 50}}, 0xFFFFFF, 0);
    EXPECT_EQ(count(0xFFFFFF), 0);
}

// A window at the screen's top left corner has GL's window edges half a
// pixel before the first column and row: its vertices there, and those
// clipped there, reach the board at -8 (signed 16-bit halves). A square
// over GL's pixels 0..11 by 0..7 with corners on the window's edges covers
// exactly those pixels, and a triangle with every vertex left of the
// first sample column covers none.
TEST_F(Render3dRules, VerticesBeforeTheOriginAreNegative) {
    position = [](float x, float y) {
        const auto at = [](float v) { return static_cast<std::uint32_t>(std::lround(v * 16 - 8)) & 0xFFFFu; };
        return at(y) << 16 | at(x);
    };
    const std::vector<std::uint32_t> write = {kzuInstr(KZU_OP_COPY, D13, S, 0) | kClip};
    draw(write, {{0, 0, 12, 0, 12, 8}, {0, 0, 0, 8, 12, 8}}, 0x0000FF, 0);
    EXPECT_EQ(count(0x0000FF), 12 * 8);
    EXPECT_EQ(at(0, 0), 0x0000FFu);
    EXPECT_EQ(at(11, 7), 0x0000FFu);
    EXPECT_EQ(at(12, 7), 0u);
    draw(write, {{-3, 20, 0.25f, 20, 0.25f, 40}}, 0x00FF00, 0);
    EXPECT_EQ(count(0x00FF00), 0);
}

// The arithmetic of the opcodes and the condition codes, one covered pixel
// each: the colour in rgb0, a second value in z0, the result in the pixel.
TEST_F(Render3dRules, OpcodesWorkPerLaneOrPerWord) {
    const std::uint32_t c0 = KZU_constant_0, c1 = KZU_constant_1;
    struct Case {
        const char* name;
        std::vector<std::uint32_t> program;
        std::uint32_t rgb, z;
        std::vector<std::uint32_t> constants;
        std::uint32_t before, expected;
    };
    const std::uint32_t addc1 = kzuCCDescs[1].w[KZU_CC_ADDC_WORD], gt1 = kzuCCDescs[1].w[KZU_CC_GT_WORD];
    const Case cases[] = {
        {"add saturates each lane", {kzuInstr(KZU_OP_ADD, D13, S, KZU_z0)}, 0x80F010, 0x9020F0, {}, 0, 0xFFFFFF},
        {"subtract stops at 0 per lane", {kzuInstr(KZU_OP_SUB, D13, S, KZU_z0)}, 0x801020, 0x9008F0, {}, 0, 0x000800},
        {"multiply scales by 255", {kzuInstr(KZU_OP_MUL, D13, S, c0)}, 0xFF8040, 0, {0x80FF80}, 0, 0x808020},
        // z0-z2 hold alphas (0..256) to the multiply and the subtract; the
        // constant 0x07000000 is the one.
        {"a colour times an alpha", {kzuInstr(KZU_OP_MUL, D13, S, KZU_z0)}, 0xFF8040, 128, {}, 0, 0x804020},
        {"the one less an alpha is an alpha",
         {kzuInstr(KZU_OP_SUB, 8, c0, KZU_z0), kzuInstr(KZU_OP_MUL, D13, S, 8)}, 0xFF8040, 64, {0x07000000}, 0, 0xBF6030},
        {"the one less a colour", {kzuInstr(KZU_OP_SUB, D13, c0, S)}, 0x102030, 0, {0x07000000}, 0, 0xEFDFCF},
        {"an alpha times an alpha is an alpha",
         {kzuInstr(KZU_OP_MUL, 8, KZU_z0, KZU_z0), kzuInstr(KZU_OP_MUL, D13, S, 8)}, 0xFF8040, 128, {}, 0, 0x402010},
        {"whole-word add wraps", {kzuInstr(KZU_OP_ADDW, D13, S, KZU_z0)}, 0xFFFFFFFF, 0x2, {}, 0, 0x1},
        {"nand and or-not", {kzuInstr(0x04, 8, S, KZU_z0), kzuInstr(0x06, D13, 8, S)}, 0xF0F0F0, 0xFF00FF, {}, 0,
         ~(0xF0F0F0u & 0xFF00FFu) | ~0xF0F0F0u},
        // The generator's saturating add: add with carry, all ones where a
        // lane carried: only that lane.
        {"add with carry marks its lanes", {kzuInstr(addc1, D13, S, KZU_z0), kzuInstr(KZU_OP_NOT, D13, c0, 0) | pred(1)},
         0x80F010, 0x102030, {0}, 0, 0x90FF40},
        // A clamp compare against the maximum colour per lane.
        {"clamp compare per lane", {kzuInstr(KZU_OP_COPY, D13, S, 0), kzuInstr(cmp(1, KZU_CMP_GT), 8, S, c1) | KZU_CLAMP,
                                    kzuInstr(KZU_OP_COPY, D13, c1, 0) | pred(1)},
         0x107F90, 0, {0, 0x7F7F7F}, 0, 0x107F7F},
        // Without the clamp bit a compare is one word: 0x107F90 > 0x7F7F7F is false.
        {"compare as a word", {kzuInstr(KZU_OP_COPY, D13, S, 0), kzuInstr(cmp(1, KZU_CMP_GT), 8, S, c1),
                               kzuInstr(KZU_OP_COPY, D13, c1, 0) | pred(1)},
         0x107F90, 0, {0, 0x7F7F7F}, 0, 0x107F90},
        // Greater than (descriptor word 4) delivers A per lane.
        {"greater delivers its lanes", {kzuInstr(gt1, D13, S, KZU_z0)}, 0x205010, 0x104020, {}, 0x777777, 0x205077},
        // A compare under a predicate that fails clears its code.
        {"predicated compare clears", {kzuInstr(cmp(0, KZU_CMP_LT), 8, S, KZU_z0), kzuInstr(cmp(1, KZU_CMP_EQ), 8, S, S) | pred(0),
                                       kzuInstr(KZU_OP_COPY, D13, S, 0) | pred(1)},
         5, 3, {}, 0xAB, 0xAB},
        // The join bit ANDs into the code: equal (true) joined into a false
        // less-than stays false.
        {"join ands", {kzuInstr(cmp(0, KZU_CMP_LT), 8, S, KZU_z0), kzuInstr(cmp(0, KZU_CMP_EQ), 8, S, S) | KZU_JOIN,
                       kzuInstr(KZU_OP_COPY, D13, S, 0) | pred(0)},
         5, 3, {}, 0xAB, 0xAB},
        {"without join the code is replaced", {kzuInstr(cmp(0, KZU_CMP_LT), 8, S, KZU_z0), kzuInstr(cmp(0, KZU_CMP_EQ), 8, S, S),
                                               kzuInstr(KZU_OP_COPY, D13, S, 0) | pred(0)},
         5, 3, {}, 0xAB, 5},
        // Minimum (descriptor word 0).
        {"minimum per lane", {kzuInstr(kzuCCDescs[2].w[0], D13, S, KZU_z0)}, 0x205010, 0x104020, {}, 0, 0x104010},
        // Work registers start at 0 in every fragment; register 31 reads 0.
        {"work registers start at 0", {kzuInstr(KZU_OP_OR, D13, 3, 31)}, 0, 0, {}, 0x55, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        set(5, 5, c.before);
        draw(c.program, {{5.5f, 5.5f, 6.5f, 5.5f, 5.5f, 6.5f}}, c.rgb, c.z, c.constants);
        EXPECT_EQ(at(5, 5), c.expected);
        EXPECT_EQ(at(6, 5), 0u);
    }
}

// The clip pair holds its maximum; instructions without the clip bit run
// outside it too.
TEST_F(Render3dRules, ClipPairIncludesItsMaximum) {
    const std::vector<std::array<float, 6>> square = {{0, 0, 40, 0, 40, 40}, {0, 0, 0, 40, 40, 40}};
    draw({kzuInstr(KZU_OP_COPY, D13, S, 0) | kClip}, square, 0x0000FF, 0, {}, clip_word(20, 25), clip_word(10, 12));
    EXPECT_EQ(count(0x0000FF), 11 * 14);
    EXPECT_EQ(at(20, 25), 0x0000FFu);
    EXPECT_EQ(at(21, 25), 0u);
    EXPECT_EQ(at(9, 12), 0u);
    draw({kzuInstr(KZU_OP_COPY, D13, S, 0)}, square, 0x00FF00, 0, {}, clip_word(20, 25), clip_word(10, 12));
    EXPECT_EQ(count(0x00FF00), 40 * 40);
}

// Smooth colours and depths interpolate to the vertices' values at their
// pixel centres: a triangle's depth written by an always-passing test.
TEST_F(Render3dRules, DepthInterpolatesAcrossTheTriangle) {
    const kzPrimWordsRow& row = *kzPrimWordsOf(5, 12);
    const std::uint32_t Zpx = KZU_pixmap0 + 1;
    std::vector<std::uint32_t> w = {5 | KZU_HDR_CLIP | kLayout12Loads | 1u << KZU_HDR_INSTR_SHIFT | 1u << KZU_HDR_PIDW_SHIFT, 1,
                                    std::uint32_t{kDepthPid} << 16 | colour_pid(32),
                                    kzuInstr(cmp(0, KZU_CMP_EQ), Zpx, Zr, Zr) | kClip, 0, clip_word(kW - 1, kH - 1)};
    const float xy[3][2] = {{0.5f, 0.5f}, {100.5f, 0.5f}, {0.5f, 100.5f}};
    const std::uint32_t z[3] = {0, 100000, 200000};
    std::uint32_t words[9];
    for (std::uint32_t v = 0; v < 3; ++v) {
        words[kzPrimWordAt(row, KZ_PW_COLOUR, v)] = 0;
        words[kzPrimWordAt(row, KZ_PW_DEPTH, v)] = z[v];
        words[kzPrimWordAt(row, KZ_PW_POSITION, v)] = position_word(xy[v][0], xy[v][1]);
    }
    w.insert(w.end(), std::begin(words), std::end(words));
    send(0, w);
    EXPECT_EQ(depth(0, 0), 0u);
    EXPECT_EQ(depth(50, 0), 50000u);
    EXPECT_EQ(depth(0, 50), 100000u);
    EXPECT_EQ(depth(25, 25), 25000u + 50000u);
}

// A depth buffer 16 bits a pixel takes the 16-bit depth words; between
// vertices of the two forms (and between two floating ones) the depth is
// interpolated as the z the words stand for, and written in that form: over
// a triangle (rounded down) and along a line (its z0 compared with the depth
// pixmap, rounded to nearest).
TEST_F(Render3dRules, ShallowDepthWordsInterpolateAsTheirDepth) {
    constexpr std::uint16_t kDepthWords16 = 0x6001;  // the depth space in 16-bit words
    board->pixel(0, kDepthWords16, 0, 0);
    const kzPrimWordsRow& row = *kzPrimWordsOf(5, 12);
    const std::uint32_t Zpx = KZU_pixmap0 + 1;
    auto stored = [&](int x, int y) {
        std::uint16_t v = 0;
        std::memcpy(&v, board->pixel(0, kDepthWords16, x, y), 2);
        return std::uint32_t{v};
    };
    auto shallow = [](std::uint32_t z) {  // the render functions' form (fewer than seven leading ones)
        if ((z & 0xF00000u) != 0xF00000u) return z >> 9;
        std::uint32_t n = 0;
        while ((z & 0x80000u) != 0) ++n, z <<= 1;
        return ((z & 0x7FF80u) >> 7) | ((n | 8u) << 12);
    };
    static const struct {
        std::uint32_t zLeft, zRight;
    } kCases[] = {{0x0CCC00, 0xF33300}, {0xF00000, 0xFE0000}};  // depths the words hold exactly
    for (const auto& c : kCases) {
        std::vector<std::uint32_t> w = {5 | KZU_HDR_CLIP | kLayout12Loads | 1u << KZU_HDR_INSTR_SHIFT | 1u << KZU_HDR_PIDW_SHIFT,
                                        1, std::uint32_t{kDepthPid} << 16 | colour_pid(32),
                                        kzuInstr(cmp(0, KZU_CMP_EQ), Zpx, Zr, Zr) | kClip, 0, clip_word(kW - 1, kH - 1)};
        const float xy[3][2] = {{0.5f, 0.5f}, {100.5f, 0.5f}, {0.5f, 100.5f}};
        const std::uint32_t z[3] = {c.zLeft, c.zRight, c.zLeft};
        std::uint32_t words[9];
        for (std::uint32_t v = 0; v < 3; ++v) {
            words[kzPrimWordAt(row, KZ_PW_COLOUR, v)] = 0;
            words[kzPrimWordAt(row, KZ_PW_DEPTH, v)] = shallow(z[v]);
            words[kzPrimWordAt(row, KZ_PW_POSITION, v)] = position_word(xy[v][0], xy[v][1]);
        }
        w.insert(w.end(), std::begin(words), std::end(words));
        send(0, w);
        EXPECT_EQ(stored(0, 0), shallow(c.zLeft)) << std::hex << c.zLeft;
        EXPECT_EQ(stored(50, 0), shallow((c.zLeft + c.zRight) / 2)) << std::hex << c.zLeft;
        EXPECT_EQ(stored(0, 50), shallow(c.zLeft)) << std::hex << c.zLeft;

        // A thin line along row 120, z0 a word a vertex.
        send(0, {0x11u | KZU_HDR_CLIP | kzuHdrLoadKind(KZU_z0, 3) | 1u << KZU_HDR_INSTR_SHIFT | 1u << KZU_HDR_PIDW_SHIFT,
                 1, std::uint32_t{kDepthPid} << 16 | colour_pid(32), kzuInstr(cmp(0, KZU_CMP_EQ), Zpx, Zr, Zr) | kClip, 0,
                 clip_word(kW - 1, kH - 1), shallow(c.zLeft), shallow(c.zRight), position_word(0.5f, 120.5f),
                 position_word(100.5f, 120.5f)});
        EXPECT_EQ(stored(0, 120), shallow(c.zLeft)) << std::hex << c.zLeft;
        EXPECT_EQ(stored(50, 120), shallow((c.zLeft + c.zRight) / 2)) << std::hex << c.zLeft;
        EXPECT_EQ(stored(75, 120), shallow(c.zLeft + 3 * (c.zRight - c.zLeft) / 4)) << std::hex << c.zLeft;
    }
}

// The dithered write adds the rasterizer's pattern register, entry
// [y & 7][x & 7], which a program's write to register 12 sets (as the 2D
// loads do): 0 until loaded, then the value left at that pixel.
TEST_F(Render3dRules, DitherAddsThePatternEntryOfThePixel) {
    const std::vector<std::uint32_t> dithered = {kzuInstr(KZU_OP_ADD, D13, S, KZU_pattern) | kClip};
    const std::vector<std::array<float, 6>> square = {{0, 0, 16, 0, 16, 16}, {0, 0, 0, 16, 16, 16}};
    draw(dithered, square, 0x102030, 0);
    EXPECT_EQ(count(0x102030), 256);
    // Entry (x & 7, y & 7) gets 0x010101 x (x & 7).
    for (int x = 0; x < 8; ++x) {
        draw({kzuInstr(KZU_OP_COPY, KZU_pattern, S, 0) | kClip}, {{x + 0.0f, 0, x + 1.0f, 0, x + 1.0f, 8}, {x + 0.0f, 0, x + 0.0f, 8, x + 1.0f, 8}},
             0x010101u * static_cast<std::uint32_t>(x), 0);
    }
    draw(dithered, square, 0x102030, 0);
    for (int y : {0, 5, 13})
        for (int x : {0, 3, 7, 9, 15}) EXPECT_EQ(at(x, y), 0x102030u + 0x010101u * static_cast<std::uint32_t>(x & 7)) << x << "," << y;
}

// A polygon packet whose load kinds name none of the generator's layouts
// is read by the generic rule, in the generator's numbering of load kinds:
// here the colour once a primitive (load kind 2), the depth once a vertex,
// interpolated (load kind 3).
TEST_F(Render3dRules, GenericLoadsFeedTheirRegisters) {
    const std::uint32_t Zpx = KZU_pixmap0 + 1;
    const std::uint32_t header = 5 | kzuHdrLoadKind(KZU_rgb0, 2) | kzuHdrLoadKind(KZU_z0, 3) |
                                 2u << KZU_HDR_INSTR_SHIFT | 1u << KZU_HDR_PIDW_SHIFT;
    send(0, {header, 1, std::uint32_t{kDepthPid} << 16 | colour_pid(32), kzuInstr(KZU_OP_COPY, D13, S, 0),
             kzuInstr(KZU_OP_COPY, Zpx, Zr, 0), 0x00ABCDEF, 0, 100000, 200000, position_word(0.5f, 0.5f),
             position_word(100.5f, 0.5f), position_word(0.5f, 100.5f)});
    EXPECT_EQ(at(0, 0), 0x00ABCDEFu);
    EXPECT_EQ(at(40, 30), 0x00ABCDEFu);
    EXPECT_EQ(depth(50, 0), 50000u);
    EXPECT_EQ(depth(0, 50), 100000u);
    EXPECT_EQ(count(0x00ABCDEF), 5050);  // the centres on or inside the right triangle's legs and top-left edges
}

// The generator's triangle programs, by layout code and the load kinds the
// generator writes for it, are read by the render functions' data-word rows:
// the colour (per vertex, per face or from the packet) reaches rgb0, the
// depth z0 and the alpha z1, the positions the triangle's corners. The
// program copies rgb0, z0 or z1 into the colour pixmap.
TEST_F(Render3dRules, GeneratorLayoutsFeedTheirRegisters) {
    struct Case {
        std::uint32_t layout;
        std::uint32_t loads;  // as the generator writes them
    };
    const std::uint32_t C3 = kzuHdrLoadKind(KZU_rgb0, 3), C2 = kzuHdrLoadKind(KZU_rgb0, 2),
                        C1 = kzuHdrLoadKind(KZU_rgb0, 1), Z = kzuHdrLoadKind(KZU_z0, 3);
    const Case cases[] = {{2, C3},  {5, C2}, {8, C1}, {11, Z}, {12, C3 | Z}, {13, C3 | Z | kzuHdrLoadKind(KZU_z1, 3)},
                          {15, C2 | Z}, {16, C2 | Z | kzuHdrLoadKind(KZU_z1, 2)}, {18, C1 | Z}};
    constexpr std::uint32_t kColour = 0x00ABCDEF, kDepth = 0x00123456, kAlpha = 0x80;
    for (const Case& c : cases) {
        const kzPrimWordsRow& row = *kzPrimWordsOf(5, c.layout);
        const bool packetColour = (c.loads & kzuHdrLoadKind(KZU_rgb0, 3)) == C1;
        for (const std::uint32_t reg : {KZU_rgb0, KZU_z0, KZU_z1}) {
            const std::uint32_t want = reg == KZU_rgb0 ? kColour : reg == KZU_z0 ? kDepth : kAlpha;
            if ((c.loads & kzuHdrLoadKind(reg, 3)) == 0) continue;
            SCOPED_TRACE(testing::Message() << "layout " << c.layout << " register " << reg);
            std::vector<std::uint32_t> w = {5 | KZU_HDR_CLIP | c.loads | 1u << KZU_HDR_INSTR_SHIFT | 1u << KZU_HDR_PIDW_SHIFT,
                                            1, colour_pid(32), kzuInstr(KZU_OP_COPY, D13, reg, 0), 0,
                                            clip_word(kW - 1, kH - 1)};
            if (packetColour) w.push_back(kColour);
            std::vector<std::uint32_t> words(kzPrimWordCount(row), 0);
            const float xy[3][2] = {{0.5f, 0.5f}, {100.5f, 0.5f}, {0.5f, 100.5f}};
            for (std::uint32_t v = 0; v < 3; ++v) {
                for (const auto& [kind, value] : {std::pair{KZ_PW_COLOUR, kColour}, std::pair{KZ_PW_DEPTH, kDepth},
                                                  std::pair{KZ_PW_ALPHA, kAlpha}}) {
                    const std::uint32_t i = kzPrimWordAt(row, kind, v);
                    if (i != ~0u) words[i] = value;
                }
                words[kzPrimWordAt(row, KZ_PW_POSITION, v)] = position_word(xy[v][0], xy[v][1]);
            }
            w.insert(w.end(), words.begin(), words.end());
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x) set(x, y, 0);
            send(0, w);
            EXPECT_EQ(count(want), 5050);
        }
    }
}

// Polygon packets of arbitrary programs and data words (positions kept
// within 64 pixels) are carried out without touching anything outside board
// memory (the sanitizers watch) and without board errors.
TEST_F(Render3dRules, ArbitraryProgramsAndWordsStayInsideTheBoard) {
    Lcg g{99};
    for (int k = 0; k < 300; ++k) {
        const std::uint32_t n = 1 + g.next() % 31;
        // Layout 12, or the generic rule with z1 and z2 loaded per vertex.
        const bool layout12 = (g.next() & 1) != 0;
        const std::uint32_t loads = layout12 ? kLayout12Loads : kzuHdrLoadKind(KZU_z1, 3) | kzuHdrLoadKind(KZU_z2, 3);
        std::vector<std::uint32_t> w = {5 | KZU_HDR_CLIP | loads | n << KZU_HDR_INSTR_SHIFT | 2u << KZU_HDR_PIDW_SHIFT, 2,
                                        g.next(), std::uint32_t{kDepthPid} << 16 | colour_pid(32)};
        // Opcodes the model carries out, any registers and flags.
        static constexpr std::uint32_t kOps[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A,
                                                 0x1D, 0x1F, 0x0B, 0x0F, 0x10, 0x16, 0x1C, 0x21, 0x27, 0x2D, 0x2F};
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::uint32_t r = g.next();
            w.push_back(kzuInstr(kOps[r % std::size(kOps)], g.next() % 32, g.next() % 40, g.next() % 40) |
                        (r & (KZU_JOIN | KZU_CLAMP | KZU_CLIP | KZU_PREDICATE)));
        }
        w.push_back(g.next() & 0x00FF00FFu);
        w.push_back(g.next() & 0x01FF01FFu);
        for (std::uint32_t i = 0; i < 2 * 9; ++i) w.push_back(g.next() & 0x03FF03FFu);
        send(0, w);
    }
    EXPECT_EQ(error_text(), "");
    const StreamSummary sum = board->summary(0);
    EXPECT_EQ(sum.packets, 300u);
    EXPECT_EQ(sum.unexecuted, 0u);

}

// What the model does not carry out leaves memory alone and is counted:
// texel fetches from a register that names no pixmap, and condition-code
// words 1-3.
TEST_F(Render3dRules, TexelFetchesOfNoPixmapAndUnknownCodeWordsAreNotCarriedOut) {
    for (std::uint32_t word : {kzuInstr(KZU_OP_TEXEL, D13, S, 0), kzuInstr(KZU_OP_TEXF, D13, S, 0),
                               kzuInstr(kzuCCDescs[0].w[1], D13, S, S), kzuInstr(kzuCCDescs[0].w[2], D13, S, S),
                               kzuInstr(kzuCCDescs[0].w[3], D13, S, S)}) {
        draw({word, kzuInstr(KZU_OP_COPY, D13, S, 0)}, {{0, 0, 8, 0, 0, 8}}, 0x777777, 0);
    }
    EXPECT_EQ(count(0x777777), 0);
    EXPECT_EQ(board->summary(0).unexecuted, 5u);
    board->take_packets(0);
    // Counted: the teardown's check would see them.
    board = nullptr;
}

INSTANTIATE_TEST_SUITE_P(Boards, Render3dScenes, ::testing::ValuesIn(kConfigs),
                         [](const ::testing::TestParamInfo<Config>& i) { return std::string(i.param.name); });

}  // namespace
}  // namespace vnx::board::test
