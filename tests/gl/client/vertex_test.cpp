// The vertex and attribute entry points, glBegin/glEnd and batching against
// the real server: every entry point's render command byte for byte beside
// the tests' own GLX encoder, the values a batch keeps, every primitive mode
// with every vertex form as the ring hands it over, full batches, the
// ring's wrap and primitives continued across batches.
#include <array>
#include <set>
#include <bit>
#include <cmath>
#include <functional>
#include <string>

#include "client_fixture.h"
#include "gl/glx/glx_encoder.h"
#include "primsegment.h"

namespace {

using glclt_test::ClientTest;
using glclt_test::CurrentContextTest;
using glclt_test::Cmd;

const GLDispatchTable& Gl() { return gGLCltProcTable.glDispatchTable; }

// A command of the current half.

// A vertex as the ring hands it over.
struct Vtx {
    ULONG flags;
    std::array<float, 4> pos;
    std::array<float, 4> color;
    bool operator==(const Vtx&) const = default;
};
// A batch as a server reads it: its header and its vertices.
struct Sent {
    PrimitiveZYDHeader h;
    std::vector<Vtx> v;
    std::vector<ULONG> strips;
};

class VertexTest : public CurrentContextTest {
  protected:
    void TearDown() override {
        SetEnvironmentVariableA("NOGLSHAREDMEMORY", nullptr);
        SetEnvironmentVariableA("NOGLPRIMITIVE", nullptr);
        CurrentContextTest::TearDown();
    }
    PrimSegment* Ring() const { return static_cast<PrimSegment*>(cc_->primSegment); }
    // The batches of the current half, read as the server reads them: in
    // place from the ring, or from the command.
    std::vector<Sent> Batches() const {
        std::vector<Sent> out;
        for (const Cmd& c : Commands()) {
            if (c.opcode != X_GLrop_PrimitiveZYD) continue;
            Sent s;
            std::memcpy(&s.h, c.bytes.data(), sizeof s.h);
            const ULONG n = s.h.count;
            if (s.h.inSegment != 0) {
                for (ULONG k = 0; k < n; ++k) {
                    const ULONG i = s.h.first + k;
                    Vtx x{Ring()->vertexFlags[i], {}, {}};
                    std::memcpy(x.pos.data(), Ring()->position[i], 16);
                    if (x.flags & (VTX_RGB | VTX_RGBA)) std::memcpy(x.color.data(), Ring()->color[i], 16);
                    s.v.push_back(x);
                }
                for (ULONG k = 0; k < s.h.numStrips; ++k) s.strips.push_back(Ring()->stripLengths[s.h.first + k]);
            } else {
                const std::uint8_t* p = c.bytes.data() + 20;
                const ULONG mode = s.h.mode & 0xFF;
                if (mode == GL_LINE_STRIP) {
                    s.strips.resize(s.h.numStrips);
                    std::memcpy(s.strips.data(), p, 4 * s.h.numStrips);
                    p += 4 * s.h.numStrips;
                }
                std::vector<ULONG> flags(n, s.h.orMask);
                if (s.h.orMask != s.h.andMask) {
                    std::memcpy(flags.data(), p, 4 * n);
                    p += 4 * n;
                }
                s.v.resize(n);
                for (ULONG k = 0; k < n; ++k) {
                    s.v[k].flags = flags[k];
                    std::memcpy(s.v[k].pos.data(), p + 16 * k, 16);
                }
                p += 16 * n;
                if (s.h.orMask & (VTX_RGB | VTX_RGBA))
                    for (ULONG k = 0; k < n; ++k)
                        if (flags[k] & (VTX_RGB | VTX_RGBA)) std::memcpy(s.v[k].color.data(), p + 16 * k, 16);
            }
            out.push_back(std::move(s));
        }
        return out;
    }

};

// --- every entry point as a render command ---------------------------------------
const double kValues[4] = {-3, 5, 100, -7};

template <class T>
T Value(int k) {
    if constexpr (std::is_same_v<T, GLboolean>) return 1;
    else return static_cast<T>(static_cast<long long>(kValues[k]) == kValues[k] && std::is_integral_v<T>
                                   ? static_cast<T>(static_cast<long long>(kValues[k]))
                                   : static_cast<T>(kValues[k] + 0.25));
}

// Calls an entry point with the test values (scalar arguments, or an array
// for the vector form) and answers the values' bytes in order.
template <class R, class... P>
std::vector<std::uint8_t> CallWithValues(R (*fn)(P...)) {
    std::vector<std::uint8_t> bytes;
    auto put = [&](const auto& v) {
        const auto* pb = reinterpret_cast<const std::uint8_t*>(&v);
        bytes.insert(bytes.end(), pb, pb + sizeof v);
    };
    if constexpr (sizeof...(P) == 1 && (std::is_pointer_v<P> && ...)) {
        using T = std::remove_const_t<std::remove_pointer_t<std::tuple_element_t<0, std::tuple<P...>>>>;
        T v[4] = {Value<T>(0), Value<T>(1), Value<T>(2), Value<T>(3)};
        fn(v);
        for (const T& x : v) put(x);
    } else if constexpr ((std::is_arithmetic_v<P> && ...)) {
        const std::tuple<P...> args = [&]<std::size_t... I>(std::index_sequence<I...>) {
            return std::tuple<P...>{Value<P>(static_cast<int>(I))...};
        }(std::index_sequence_for<P...>{});
        std::apply([&](auto... a) { (put(a), ...); }, args);
        std::apply(fn, args);
    }
    return bytes;  // not an entry point of a vertex or attribute request
}

struct EntryCase {
    const char* name;
    const char* request;
    std::function<std::vector<std::uint8_t>()> call;
};

std::vector<EntryCase> VertexEntries() {
    std::vector<EntryCase> v;
#define GL_ENTRY(name, kind, request, ret, params, args) \
    v.push_back({"gl" #name, #request, [] { return CallWithValues(Gl().name); }});
#include "glentries.def"
    // the vertex and attribute requests, by the published opcodes
    std::erase_if(v, [](const EntryCase& e) {
        const glx::RenderLayout* l = nullptr;
        for (const glx::RenderLayout& r : glx::kRenderLayouts)
            if (std::string(r.name) == std::string("X_GLrop_") + e.request) l = &r;
        if (l == nullptr) return true;
        const unsigned op = l->opcode;
        return !((op >= 6 && op <= 22) || (op >= 24 && op <= 32) || (op >= 49 && op <= 76));
    });
    return v;
}

TEST_F(VertexTest, EveryEntryPointSendsThePublishedRenderCommand) {
    const std::vector<EntryCase> cases = VertexEntries();
    ASSERT_EQ(cases.size(), 108u);
    for (const EntryCase& e : cases) {
        SCOPED_TRACE(e.name);
        Fresh();
        const std::vector<std::uint8_t> values = e.call();
        const glx::RenderLayout& l = glx::RenderRow(e.request);
        // The values packed by the layout's own element sizes.
        std::vector<std::uint8_t> body(values.begin(), values.end());
        const std::uint32_t cjBody = glx::BodyBytes(l.args);
        std::uint32_t cjArgs = 0;
        {
            const char* p = l.args;
            std::uint32_t n = 0;
            while (std::isdigit(static_cast<unsigned char>(*p))) n = n * 10 + static_cast<std::uint32_t>(*p++ - '0');
            n = n == 0 ? 1 : n;
            const std::uint32_t each = *p == 'b' ? 1 : *p == 's' ? 2 : *p == 'd' ? 8 : 4;
            cjArgs = n * each;
        }
        body.resize(cjArgs);  // the vector forms gave four values
        const std::vector<Cmd> cmds = Commands();
        ASSERT_EQ(cmds.size(), 1u);
        EXPECT_EQ(cmds[0].bytes, glx::RenderRequest(l.opcode, cjBody, body));
    }
}

// --- the values a batch keeps ------------------------------------------------------
TEST_F(VertexTest, BatchKeepsConvertedValues) {
    const float k255 = std::bit_cast<float>(0x3B808081u), k32 = std::bit_cast<float>(0x2F800000u);
    Gl().Begin(GL_POINTS);
    ASSERT_EQ(cc_->batching, 1u) << "a ring was set up";
    const ULONG i = cc_->vertexIndex;
    Gl().Color3ub(255, 0, 0);
    EXPECT_EQ(std::vector<float>(Ring()->color[i], Ring()->color[i] + 4), (std::vector<float>{1, 0, 0, 1}));
    Gl().Color3b(-128, 0, 127);
    EXPECT_EQ(std::vector<float>(Ring()->color[i], Ring()->color[i] + 4), (std::vector<float>{-1, k255, 1, 1}));
    EXPECT_EQ(Ring()->vertexFlags[i], VTX_RGB);
    Gl().Color4f(0.5f, 0.25f, 0, 0.75f);
    EXPECT_EQ(Ring()->vertexFlags[i], VTX_RGBA);
    Gl().Normal3i(0, 0, 0);
    EXPECT_EQ(std::vector<float>(Ring()->normal[i], Ring()->normal[i] + 3), (std::vector<float>{k32, k32, k32}));
    Gl().Vertex4f(9, 9, 9, 9);
    Gl().Vertex3f(7, 7, 7);
    Ring()->vertexFlags[i + 2] |= VTX_XYZ | VTX_XYZW;  // whatever the slot held before
    Gl().Vertex2f(1, 2);
    EXPECT_EQ(std::vector<float>(Ring()->position[i + 2], Ring()->position[i + 2] + 4),
              (std::vector<float>{1, 2, 0, 1}));
    EXPECT_EQ(Ring()->vertexFlags[i + 2], VTX_XY);
    EXPECT_EQ(Ring()->vertexFlags[i], VTX_RGBA | VTX_NORMAL | VTX_XYZW);
    Gl().End();
}

TEST_F(VertexTest, AttributesBetweenEndAndBegin) {
    Gl().Begin(GL_TRIANGLES);
    for (int k = 0; k < 3; ++k) Gl().Vertex2f(k, k);
    Gl().End();
    Gl().Color3f(1, 0, 0);  // keeps the batch open
    EXPECT_EQ(cc_->batching, 1u);
    Gl().Begin(GL_TRIANGLES);
    EXPECT_EQ(cc_->batching, 1u);
    for (int k = 0; k < 3; ++k) Gl().Vertex2f(k, k);
    Gl().End();
    Fresh();
    Gl().TexCoord2f(0, 1);  // ends it
    EXPECT_EQ(cc_->batching, 0u);
    const std::vector<Sent> b = Batches();
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0].h.count, 6u);
    EXPECT_EQ(b[0].v[3].flags, VTX_RGB | VTX_XY);
}

// --- every mode with every vertex form ---------------------------------------------
// What the ring holds for a primitive of n vertices 0 .. n-1 of a mode.
std::vector<int> Expected(ULONG mode, int n) {
    std::vector<int> v;
    switch (mode) {
        case GL_LINE_LOOP:
            for (int k = 0; k < n; ++k) v.push_back(k);
            if (n > 1) v.push_back(0);
            break;
        case GL_TRIANGLE_FAN:
            for (int k = 2; k < n; ++k) v.insert(v.end(), {0, k - 1, k});
            break;
        case GL_POLYGON:
            for (int k = 1; k + 1 < n; k += 2) {
                v.insert(v.end(), {0, k, k + 1, k + 2 < n ? k + 2 : 0});
            }
            break;
        case GL_QUAD_STRIP:
            // an unpaired last vertex makes no quad
            for (int k = 0; k < (n & ~1); ++k) v.push_back(k);
            break;
        default:
            for (int k = 0; k < n; ++k) v.push_back(k);
    }
    return v;
}

struct VertexForm {
    const char* name;
    int size;
    std::function<void(float, float)> call;
};
const VertexForm kForms[] = {
    {"Vertex2d", 2, [](float x, float y) { Gl().Vertex2d(x, y); }},
    {"Vertex2dv", 2, [](float x, float y) { const GLdouble v[] = {x, y}; Gl().Vertex2dv(v); }},
    {"Vertex2f", 2, [](float x, float y) { Gl().Vertex2f(x, y); }},
    {"Vertex2fv", 2, [](float x, float y) { const GLfloat v[] = {x, y}; Gl().Vertex2fv(v); }},
    {"Vertex2i", 2, [](float x, float y) { Gl().Vertex2i(GLint(x), GLint(y)); }},
    {"Vertex2iv", 2, [](float x, float y) { const GLint v[] = {GLint(x), GLint(y)}; Gl().Vertex2iv(v); }},
    {"Vertex2s", 2, [](float x, float y) { Gl().Vertex2s(GLshort(x), GLshort(y)); }},
    {"Vertex2sv", 2, [](float x, float y) { const GLshort v[] = {GLshort(x), GLshort(y)}; Gl().Vertex2sv(v); }},
    {"Vertex3d", 3, [](float x, float y) { Gl().Vertex3d(x, y, 3); }},
    {"Vertex3dv", 3, [](float x, float y) { const GLdouble v[] = {x, y, 3}; Gl().Vertex3dv(v); }},
    {"Vertex3f", 3, [](float x, float y) { Gl().Vertex3f(x, y, 3); }},
    {"Vertex3fv", 3, [](float x, float y) { const GLfloat v[] = {x, y, 3}; Gl().Vertex3fv(v); }},
    {"Vertex3i", 3, [](float x, float y) { Gl().Vertex3i(GLint(x), GLint(y), 3); }},
    {"Vertex3iv", 3, [](float x, float y) { const GLint v[] = {GLint(x), GLint(y), 3}; Gl().Vertex3iv(v); }},
    {"Vertex3s", 3, [](float x, float y) { Gl().Vertex3s(GLshort(x), GLshort(y), 3); }},
    {"Vertex3sv", 3, [](float x, float y) { const GLshort v[] = {GLshort(x), GLshort(y), 3}; Gl().Vertex3sv(v); }},
    {"Vertex4d", 4, [](float x, float y) { Gl().Vertex4d(x, y, 3, 2); }},
    {"Vertex4dv", 4, [](float x, float y) { const GLdouble v[] = {x, y, 3, 2}; Gl().Vertex4dv(v); }},
    {"Vertex4f", 4, [](float x, float y) { Gl().Vertex4f(x, y, 3, 2); }},
    {"Vertex4fv", 4, [](float x, float y) { const GLfloat v[] = {x, y, 3, 2}; Gl().Vertex4fv(v); }},
    {"Vertex4i", 4, [](float x, float y) { Gl().Vertex4i(GLint(x), GLint(y), 3, 2); }},
    {"Vertex4iv", 4, [](float x, float y) { const GLint v[] = {GLint(x), GLint(y), 3, 2}; Gl().Vertex4iv(v); }},
    {"Vertex4s", 4, [](float x, float y) { Gl().Vertex4s(GLshort(x), GLshort(y), 3, 2); }},
    {"Vertex4sv", 4, [](float x, float y) { const GLshort v[] = {GLshort(x), GLshort(y), 3, 2}; Gl().Vertex4sv(v); }},
};

Vtx Expect(const VertexForm& f, int k) {
    const ULONG bit = f.size == 2 ? VTX_XY : f.size == 3 ? VTX_XYZ : VTX_XYZW;
    Vtx x{bit | VTX_RGB, {float(k), float(10 + k), f.size > 2 ? 3.0f : 0.0f, f.size > 3 ? 2.0f : 1.0f}, {}};
    x.color = {float(k) / 16, 0, 1, 1};
    return x;
}

void DrawEveryModeAndForm(const std::function<std::vector<Sent>()>& batches, const std::function<void()>& fresh) {
    constexpr int kCount = 7;
    for (ULONG mode = GL_POINTS; mode <= GL_POLYGON; ++mode) {
        for (const VertexForm& f : kForms) {
            SCOPED_TRACE(std::string(f.name) + " mode " + std::to_string(mode));
            fresh();
            Gl().Begin(mode);
            for (int k = 0; k < kCount; ++k) {
                Gl().Color3f(float(k) / 16, 0, 1);
                f.call(float(k), float(10 + k));
            }
            Gl().End();
            Gl().EdgeFlag(1);  // closes a batch kept open
            std::vector<Vtx> got;
            for (const Sent& s : batches()) got.insert(got.end(), s.v.begin(), s.v.end());
            std::vector<Vtx> want;
            // A line loop's, fan's or polygon's first vertex is marked as
            // such, and so is every repeat of it.
            const bool bMarked = mode == GL_LINE_LOOP || mode == GL_TRIANGLE_FAN || mode == GL_POLYGON;
            for (int k : Expected(mode, kCount)) {
                want.push_back(Expect(f, k));
                if (bMarked && k == 0) want.back().flags |= want.size() == 1 ? VTX_PRIM_FIRST : VTX_FIRST_COPY;
            }
            EXPECT_EQ(got, want);
        }
    }
}

TEST_F(VertexTest, EveryModeWithEveryVertexFormSharedRing) {
    DrawEveryModeAndForm([this] { return Batches(); }, [this] { Fresh(); });
    EXPECT_EQ(cc_->primShared, 1u);
}

TEST_F(VertexTest, EveryModeWithEveryVertexFormPrivateRing) {
    SetEnvironmentVariableA("NOGLSHAREDMEMORY", "1");
    DrawEveryModeAndForm([this] { return Batches(); }, [this] { Fresh(); });
    EXPECT_EQ(cc_->primShared, 0u);
    EXPECT_NE(cc_->primSegment, nullptr);
    EXPECT_NE(vnx::debug::peek().find("NOT USING SHARED MEMORY primsend: numStrips == "), std::string::npos);
}

// Without the shared section the arrays travel in the command, the edge
// flags too when a vertex has one (the server reads them whenever orMask
// names them).
TEST_F(VertexTest, PrivateRingCarriesEdgeFlags) {
    SetEnvironmentVariableA("NOGLSHAREDMEMORY", "1");
    Fresh();
    Gl().Begin(GL_TRIANGLES);
    Gl().EdgeFlag(0);
    for (int k = 0; k < 3; ++k) Gl().Vertex2f(k, 0);
    Gl().End();
    Gl().EdgeFlag(1);
    const std::vector<Cmd> cmds = Commands();
    ASSERT_FALSE(cmds.empty());
    ASSERT_EQ(cmds[0].opcode, X_GLrop_PrimitiveZYD);
    PrimitiveZYDHeader h;
    std::memcpy(&h, cmds[0].bytes.data(), sizeof h);
    EXPECT_EQ(h.inSegment, 0u);
    // flag words, positions, edge flags, and the one strip word
    EXPECT_EQ(h.length, 20u + 4 * (3 * (1 + 4 + 1) + h.numStrips));
    ULONG edge[3];
    std::memcpy(edge, cmds[0].bytes.data() + 20 + 4 * 3 + 16 * 3, sizeof edge);
    EXPECT_EQ(edge[0], 0u);
}

TEST_F(VertexTest, WithoutRingPlainCommands) {
    SetEnvironmentVariableA("NOGLPRIMITIVE", "1");
    Fresh();
    Gl().Begin(GL_TRIANGLE_FAN);
    Gl().Vertex2f(1, 2);
    Gl().End();
    std::vector<unsigned> ops;
    for (const Cmd& c : Commands()) ops.push_back(c.opcode);
    EXPECT_EQ(ops, (std::vector<unsigned>{X_GLrop_Begin, X_GLrop_Vertex2fv, X_GLrop_End}));
    EXPECT_EQ(cc_->primSegment, nullptr);
}

// --- batches --------------------------------------------------------------------------
TEST_F(VertexTest, TwentyPrimitivesABatch) {
    Fresh();
    for (int p = 0; p < 21; ++p) {
        Gl().Begin(GL_TRIANGLES);
        for (int k = 0; k < 3; ++k) Gl().Vertex2f(p, k);
        Gl().End();
    }
    Gl().EdgeFlag(1);
    const std::vector<Sent> b = Batches();
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(b[0].h.count, 60u);
    EXPECT_EQ(b[1].h.count, 3u);
    EXPECT_EQ(b[1].v[0].pos[0], 20.0f);
}

TEST_F(VertexTest, IncompleteTrianglesCloseAtOnceAndShortStripsAreDropped) {
    Fresh();
    Gl().Begin(GL_TRIANGLES);
    for (int k = 0; k < 4; ++k) Gl().Vertex2f(k, 0);
    Gl().End();
    EXPECT_EQ(cc_->batching, 0u);
    Gl().Begin(GL_TRIANGLE_STRIP);
    Gl().Vertex2f(0, 0);
    Gl().Vertex2f(1, 0);
    Gl().End();
    Gl().Begin(GL_TRIANGLE_STRIP);
    for (int k = 0; k < 3; ++k) Gl().Vertex2f(5, k);
    Gl().End();
    Gl().EdgeFlag(1);
    const std::vector<Sent> b = Batches();
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(b[0].h.count, 4u);
    ASSERT_EQ(b[1].h.count, 3u);
    EXPECT_EQ(b[1].v[0].pos[0], 5.0f);
    EXPECT_EQ(b[1].strips, (std::vector<ULONG>{3}));  // the short strip left no length
}

// A strip of 200 vertices continues into a second batch: the first carries
// 168 vertices and goes on, the second starts with the strip's last two (a
// line strip's last one). Line strips share a batch, split by their
// lengths; a batch of a triangle strip holds that strip alone (the server
// splits only line strips), so the 3-vertex strip and the next long one
// start batches of their own. Both rings.
void StripAcrossBatches(ULONG mode, const std::function<std::vector<Sent>()>& batches) {
    Gl().Begin(mode);
    for (int k = 0; k < 200; ++k) Gl().Vertex2f(k, 0);
    Gl().End();
    Gl().Begin(mode);
    for (int k = 0; k < 3; ++k) Gl().Vertex2f(1000 + k, 0);
    Gl().End();
    Gl().Begin(mode);
    for (int k = 0; k < 300; ++k) Gl().Vertex2f(2000 + k, 0);
    Gl().End();
    Gl().EdgeFlag(1);
    const std::vector<Sent> b = batches();
    ASSERT_GE(b.size(), 3u);
    EXPECT_EQ(b[0].h.count, 168u);
    EXPECT_EQ(b[0].h.mode, mode | PRIM_TO_NEXT);
    EXPECT_EQ(b[1].h.mode & PRIM_FROM_PREVIOUS, PRIM_FROM_PREVIOUS);
    const ULONG carry = mode == GL_LINE_STRIP ? 1 : 2;
    ASSERT_GE(b[1].v.size(), carry + 1);
    for (ULONG j = 0; j < carry; ++j) EXPECT_EQ(b[1].v[j].pos[0], float(168 - carry + j));
    const ULONG rest = 200 - 168 + carry;
    if (mode != GL_LINE_STRIP) {
        // the rest of the first strip; the short one; the long one from
        // the start of a batch, cut at 168 and continued
        ASSERT_EQ(b.size(), 5u);
        EXPECT_EQ(b[1].h.count, rest);
        EXPECT_EQ(b[1].h.mode, mode | PRIM_FROM_PREVIOUS);
        EXPECT_EQ(b[2].h.count, 3u);
        EXPECT_EQ(b[2].h.mode, mode);
        EXPECT_EQ(b[2].v[0].pos[0], 1000.0f);
        EXPECT_EQ(b[3].h.count, 168u);
        EXPECT_EQ(b[3].v[0].pos[0], 2000.0f);
        EXPECT_EQ(b[4].h.count, 300u - 168u + 2u);
        for (ULONG j = 0; j < 2; ++j) EXPECT_EQ(b[4].v[j].pos[0], float(2000 + 166 + j)) << j;
    } else {
        // the second batch: the rest of the first strip, the short strip, and
        // the long one up to the cut
        EXPECT_EQ(b[1].v[rest].pos[0], 1000.0f);
        EXPECT_EQ(b[1].strips, (std::vector<ULONG>{rest, 3, 168 - rest - 3}));
    }
}

TEST_F(VertexTest, StripsContinueAcrossBatches) {
    for (const char* env : {static_cast<const char*>(nullptr), "1"}) {
        for (ULONG mode : {GL_TRIANGLE_STRIP, GL_LINE_STRIP}) {
            SCOPED_TRACE(std::string(env ? "private " : "shared ") + std::to_string(mode));
            DrvDeleteContext(h_);
            SetEnvironmentVariableA("NOGLSHAREDMEMORY", env);
            h_ = DrvCreateContext(hdc_);
            ASSERT_NE(DrvSetContext(hdc_, h_, nullptr), nullptr);
            cc_ = glclt_test::CC(h_);
            Fresh();
            StripAcrossBatches(mode, [&] { return Batches(); });
        }
    }
}

// The triangles a batch of quads or triangles covers.
std::set<std::array<float, 3>> Triangles(const std::vector<Sent>& batches) {
    std::set<std::array<float, 3>> t;
    for (const Sent& s : batches) {
        const ULONG mode = s.h.mode & 0xFF;
        const size_t per = mode == GL_QUADS ? 4 : 3;
        for (size_t k = 0; k + per <= s.v.size(); k += per) {
            auto x = [&](size_t j) { return s.v[k + j].pos[0]; };
            t.insert({x(0), x(1), x(2)});
            if (per == 4) t.insert({x(0), x(2), x(3)});
        }
    }
    return t;
}

// A polygon and a fan longer than a batch: every triangle of the fan
// reaches the server, the ones at the cut included, and every batch is a
// whole number of quads or triangles. Before it, a polygon of two vertices
// and one of five in the same open batch: the long polygon still pairs its
// vertices from its own first one.
TEST_F(VertexTest, PolygonsAndFansAcrossBatchesKeepEveryTriangle) {
    for (ULONG mode : {GL_POLYGON, GL_TRIANGLE_FAN}) {
        for (int n : {200, 171, 340}) {
            SCOPED_TRACE(std::to_string(mode) + " of " + std::to_string(n));
            Fresh();
            Gl().Begin(mode);
            Gl().Vertex2f(-1, 0);
            Gl().Vertex2f(-2, 0);
            Gl().End();
            Gl().Begin(mode);
            for (int k = 0; k < 5; ++k) Gl().Vertex2f(500 + k, 0);
            Gl().End();
            Gl().Begin(mode);
            for (int k = 0; k < n; ++k) Gl().Vertex2f(k, 0);
            Gl().End();
            Gl().EdgeFlag(1);
            const std::vector<Sent> b = Batches();
            const ULONG per = mode == GL_POLYGON ? 4 : 3;
            for (const Sent& s : b) EXPECT_EQ(s.h.count % per, 0u) << s.h.first;
            const std::set<std::array<float, 3>> t = Triangles(b);
            for (int k = 1; k + 1 < n; ++k) EXPECT_TRUE(t.count({0.0f, float(k), float(k + 1)})) << k;
            for (int k = 1; k + 1 < 5; ++k) EXPECT_TRUE(t.count({500.0f, float(500 + k), float(501 + k)})) << k;
        }
    }
}

// The ring wraps when fewer than 169 slots remain: the first batch to start
// past slot 7831 starts at slot 0 instead; the vertices still reach the
// server as sent.
TEST_F(VertexTest, RingWraps) {
    std::vector<ULONG> firsts;
    for (int p = 0; p < 90; ++p) {
        Fresh();
        Gl().Begin(GL_POINTS);
        for (int k = 0; k < 100; ++k) Gl().Vertex2f(p, k);
        Gl().End();
        Gl().EdgeFlag(1);
        const std::vector<Sent> b = Batches();
        ASSERT_EQ(b.size(), 1u);
        firsts.push_back(b[0].h.first);
        EXPECT_EQ(b[0].v[99].pos, (std::array<float, 4>{float(p), 99, 0, 1}));
    }
    for (size_t p = 1; p < firsts.size(); ++p) {
        const ULONG next = firsts[p - 1] + 100;
        EXPECT_EQ(firsts[p], next + 169 > 8000 ? 0u : next) << p;
    }
    EXPECT_EQ(std::count(firsts.begin() + 1, firsts.end(), 0u), 1);
}

// At the boundary itself: a batch may start at slot 7831 (169 slots left),
// the next one past it starts at slot 0.
TEST_F(VertexTest, RingWrapsExactlyPastSlot7831) {
    // The first of a run of point batches of n vertices each.
    auto batch = [this](int n) {
        Fresh();
        Gl().Begin(GL_POINTS);
        for (int k = 0; k < n; ++k) Gl().Vertex2f(k, 1);
        Gl().End();
        Gl().EdgeFlag(1);
        const std::vector<Sent> b = Batches();
        EXPECT_EQ(b.size(), 1u);
        return b.empty() ? ~0u : static_cast<ULONG>(b[0].h.first);
    };
    // Round the ring to its start.
    int guard = 0;
    while (batch(100) != 0 && ++guard < 100) {
    }
    ASSERT_LT(guard, 100);
    for (int p = 1; p < 78; ++p) ASSERT_EQ(batch(100), 100u * p);
    EXPECT_EQ(batch(31), 7800u);
    EXPECT_EQ(batch(1), 7831u) << "169 slots left: no wrap";
    EXPECT_EQ(batch(5), 0u) << "168 slots left: the ring wraps";
    EXPECT_EQ(batch(5), 5u);
}

// After 2000 vertices in batches the half goes to the server even if it is
// far from full.
TEST_F(VertexTest, HandOverAfter2000Vertices) {
    Fresh();
    const BYTE* half = reinterpret_cast<BYTE*>(ptb_->half);
    for (int p = 0; p < 19; ++p) {
        Gl().Begin(GL_POINTS);
        for (int k = 0; k < 100; ++k) Gl().Vertex2f(p, k);
        Gl().End();
        Gl().EdgeFlag(1);
    }
    EXPECT_EQ(reinterpret_cast<BYTE*>(ptb_->half), half);
    Gl().Begin(GL_POINTS);
    for (int k = 0; k < 100; ++k) Gl().Vertex2f(0, k);
    Gl().End();
    Gl().EdgeFlag(1);
    EXPECT_NE(reinterpret_cast<BYTE*>(ptb_->half), half);
}

// A list called inside an open batch runs after the vertices before it:
// they go out first as plain commands inside the server's own Begin.
TEST_F(VertexTest, CallListInsideBatchRunsAfterItsVertices) {
    Fresh();
    Gl().Begin(GL_TRIANGLES);
    Gl().Color3f(1, 0, 0);
    Gl().Vertex2f(0, 0);
    Gl().Vertex2f(1, 0);
    Gl().CallList(7);
    Gl().Vertex2f(1, 1);
    Gl().End();
    std::vector<unsigned> ops;
    for (const Cmd& c : Commands()) ops.push_back(c.opcode);
    EXPECT_EQ(ops, (std::vector<unsigned>{X_GLrop_Begin, X_GLrop_Color3fv, X_GLrop_Vertex2fv, X_GLrop_Vertex2fv,
                                          X_GLrop_CallList, X_GLrop_Vertex2fv, X_GLrop_End}));
    // a batch kept open after glEnd is sent before the list runs
    Fresh();
    Gl().Begin(GL_POINTS);
    Gl().Vertex2f(0, 0);
    Gl().End();
    Gl().CallList(7);
    ops.clear();
    for (const Cmd& c : Commands()) ops.push_back(c.opcode);
    EXPECT_EQ(ops, (std::vector<unsigned>{X_GLrop_PrimitiveZYD, X_GLrop_CallList}));
}

// Inside a fan or polygon made triangles or quads in the ring, the whole
// ones go as the batch and the primitive begins again as plain commands
// from its first and last vertices: the vertices after the list still
// belong to it.
TEST_F(VertexTest, CallListInsideConvertedFanKeepsTheFan) {
    for (ULONG mode : {GL_TRIANGLE_FAN, GL_POLYGON}) {
        for (int before : {1, 2, 4, 5}) {
            SCOPED_TRACE(std::to_string(mode) + " " + std::to_string(before));
            Fresh();
            Gl().Begin(mode);
            for (int k = 0; k < before; ++k) Gl().Vertex2f(k, 0);
            Gl().Color3f(1, 0, 0);
            Gl().CallList(7);
            for (int k = before; k < 7; ++k) Gl().Vertex2f(k, 0);
            Gl().End();
            // the triangles the server draws: from the batch, and from the
            // plain fan or polygon after it
            std::set<std::array<float, 3>> t = Triangles(Batches());
            std::vector<float> plain;
            bool bAfterBegin = false, bColor = false;
            for (const Cmd& c : Commands()) {
                if (c.opcode == X_GLrop_Begin) bAfterBegin = true;
                if (c.opcode == X_GLrop_Color3fv) bColor = true;
                if (bAfterBegin && c.opcode == X_GLrop_Vertex2fv) {
                    float x;
                    std::memcpy(&x, c.bytes.data() + 4, 4);
                    plain.push_back(x);
                }
            }
            EXPECT_TRUE(bColor);
            for (size_t k = 1; k + 1 < plain.size(); ++k) t.insert({plain[0], plain[k], plain[k + 1]});
            for (int k = 1; k + 1 < 7; ++k) EXPECT_TRUE(t.count({0.0f, float(k), float(k + 1)})) << k;
            EXPECT_EQ(t.size(), 5u);
        }
    }
}

// glCallLists likewise: the open batch's vertices go first. A long list of
// names goes as several commands in order.
TEST_F(VertexTest, CallListsInsideBatchRunsAfterItsVertices) {
    Fresh();
    Gl().Begin(GL_LINES);
    Gl().Vertex2f(0, 0);
    const GLubyte names[] = {1, 2, 3};
    Gl().CallLists(3, 0x1401, names);
    Gl().Vertex2f(1, 1);
    Gl().End();
    std::vector<Cmd> cmds = Commands();
    ASSERT_EQ(cmds.size(), 5u);
    EXPECT_EQ(cmds[0].opcode, X_GLrop_Begin);
    EXPECT_EQ(cmds[1].opcode, X_GLrop_Vertex2fv);
    glx::Bytes body = glx::Words({3, 0x1401});
    body.insert(body.end(), {1, 2, 3});
    EXPECT_EQ(cmds[2].bytes, glx::RenderRequest(glx::RenderRow("CallLists").opcode, 12, body));
    EXPECT_EQ(cmds[3].opcode, X_GLrop_Vertex2fv);
    EXPECT_EQ(cmds[4].opcode, X_GLrop_End);

    Fresh();
    std::vector<GLuint> many(6000);  // two commands, in one half
    for (size_t k = 0; k < many.size(); ++k) many[k] = GLuint(k);
    Gl().CallLists(GLsizei(many.size()), 0x1405, many.data());
    std::vector<GLuint> got;
    for (const Cmd& c : Commands()) {
        ASSERT_EQ(c.opcode, X_GLrop_CallLists);
        ULONG w[2];
        std::memcpy(w, c.bytes.data() + 4, 8);
        EXPECT_EQ(c.bytes.size(), 12 + 4 * w[0]);
        const size_t at = got.size();
        got.resize(at + w[0]);
        std::memcpy(got.data() + at, c.bytes.data() + 12, 4 * w[0]);
    }
    EXPECT_EQ(got, many);
}

// Small polygons under flat shading go through the cache as quads with
// their first vertex last; the fifth vertex gives the cache up and the
// polygon goes out whole.
TEST_F(VertexTest, SmallPolygonCache) {
    cc_->shadeModel = 0x1D00;  // GL_FLAT: no quads in the ring
    Fresh();
    Gl().Begin(GL_POLYGON);
    for (int k = 0; k < 4; ++k) Gl().Vertex2f(k, 0);
    Gl().End();
    Gl().Begin(GL_POLYGON);
    for (int k = 0; k < 3; ++k) Gl().Vertex2f(10 + k, 0);
    Gl().End();
    Gl().EdgeFlag(1);
    std::vector<Sent> b = Batches();
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0].h.mode, GL_QUADS);
    std::vector<float> xs;
    for (const Vtx& v : b[0].v) xs.push_back(v.pos[0]);
    EXPECT_EQ(xs, (std::vector<float>{1, 2, 3, 0, 11, 12, 10, 10}));

    Fresh();
    Gl().Begin(GL_POLYGON);
    for (int k = 0; k < 6; ++k) Gl().Vertex2f(k, 0);
    Gl().End();
    Gl().EdgeFlag(1);
    b = Batches();
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0].h.mode, GL_POLYGON);
    xs.clear();
    for (const Vtx& v : b[0].v) xs.push_back(v.pos[0]);
    EXPECT_EQ(xs, (std::vector<float>{0, 1, 2, 3, 4, 5}));
}

// The cache is given up by a vertex that brings an attribute the one before
// it had not; one with fewer attributes keeps it. Small fans while a list
// is compiled come out as independent triangles in plain commands.
TEST_F(VertexTest, SmallCacheGivesUpAtANewAttributeAndSmallFansWhileCompiling) {
    cc_->shadeModel = 0x1D00;  // GL_FLAT
    Fresh();
    Gl().Begin(GL_POLYGON);
    Gl().Vertex2f(0, 0);
    Gl().Normal3f(0, 0, 1);
    Gl().Vertex2f(1, 0);
    EXPECT_EQ(ptb_->primState->smallCache, 0u);
    Gl().Vertex2f(2, 0);
    Gl().End();
    Gl().EdgeFlag(1);
    std::vector<Sent> b = Batches();
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0].h.mode, GL_POLYGON);
    ASSERT_EQ(b[0].h.count, 3u);
    EXPECT_EQ(b[0].v[1].flags, VTX_NORMAL | VTX_XY);

    Gl().Begin(GL_POLYGON);
    Gl().Normal3f(0, 0, 1);
    Gl().Vertex2f(0, 0);
    Gl().Vertex2f(1, 0);  // fewer attributes: the cache stays
    EXPECT_EQ(ptb_->primState->smallCache, 1u);
    Gl().End();
    Gl().EdgeFlag(1);

    cc_->compiling = 1;
    Fresh();
    Gl().Begin(GL_TRIANGLE_FAN);
    for (int k = 0; k < 4; ++k) Gl().Vertex2f(k, 0);
    Gl().End();
    Gl().EdgeFlag(1);
    std::vector<float> xs;
    std::vector<unsigned> ops;
    for (const Cmd& c : Commands()) {
        ops.push_back(c.opcode);
        if (c.opcode == X_GLrop_Vertex2fv) {
            float x;
            std::memcpy(&x, c.bytes.data() + 4, 4);
            xs.push_back(x);
        }
    }
    cc_->compiling = 0;
    EXPECT_EQ(ops.front(), X_GLrop_Begin);
    EXPECT_EQ(xs, (std::vector<float>{0, 1, 2, 0, 2, 3}));
}

}  // namespace
