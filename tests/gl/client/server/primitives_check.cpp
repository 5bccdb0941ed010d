// An application draws through the client driver and the real GL server:
// every primitive mode with every vertex form and attribute form, long
// primitives across full batches, the ring's wrap and display lists called
// inside an open batch. What the lgi layer's primitive entries receive,
// taken apart into the points, line segments and triangles they draw, must
// be what GL 1.0 makes of the application's calls: the same vertices with
// the colour, normal and texture coordinates current at each, in order.
// Each runs with the shared vertex ring, with a private ring (the arrays in
// the commands) and without a ring (the server's own Begin/End).
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "client_server.h"
#include "gl10.h"

namespace {

using clt_srv::Gl;
using prim_record::Entry;
using prim_record::Vertex;

// A point, line segment or triangle as drawn: its vertices in order, a
// triangle turned so that its least vertex comes first (its winding kept).
struct Item {
    int n = 0;
    std::array<Vertex, 3> v{};
    bool operator==(const Item&) const = default;
};

Item Point(const Vertex& a) { return {1, {a, {}, {}}}; }
Item Line(const Vertex& a, const Vertex& b) { return {2, {a, b, {}}}; }
// A triangle; none when two of its corners coincide (a quad completed by
// its first vertex, a strip's joint).
void AddTriangle(std::vector<Item>* out, const Vertex& a, const Vertex& b, const Vertex& c) {
    if (a.position == b.position || b.position == c.position || a.position == c.position) return;
    std::array<Vertex, 3> t{a, b, c};
    while (!(t[0] <= t[1] && t[0] <= t[2])) t = {t[1], t[2], t[0]};
    out->push_back({3, t});
}

constexpr ULONG kTriangleStripKind = 70, kQuadStripKind = 71;

// The items of one strip of vertices drawn as a primitive of the lgi kind.
void AddKind(std::vector<Item>* out, ULONG kind, const std::vector<Vertex>& v) {
    const size_t n = v.size();
    switch (kind) {
        case 63:
            for (const Vertex& a : v) out->push_back(Point(a));
            break;
        case 64:
            for (size_t k = 0; k + 1 < n; ++k) out->push_back(Line(v[k], v[k + 1]));
            break;
        case 65:
            for (size_t k = 0; k + 1 < n; k += 2) out->push_back(Line(v[k], v[k + 1]));
            break;
        case 66:
        case 69:
            for (size_t k = 1; k + 1 < n; ++k) AddTriangle(out, v[0], v[k], v[k + 1]);
            break;
        case 67:
            for (size_t k = 0; k + 2 < n; k += 3) AddTriangle(out, v[k], v[k + 1], v[k + 2]);
            break;
        case 68:
            for (size_t k = 0; k + 3 < n; k += 4) {
                AddTriangle(out, v[k], v[k + 1], v[k + 2]);
                AddTriangle(out, v[k], v[k + 2], v[k + 3]);
            }
            break;
        case kQuadStripKind:  // the triangles of a triangle strip over its whole quads
        case kTriangleStripKind:
            for (size_t k = 0; k + 2 < (kind == kQuadStripKind ? n & ~size_t{1} : n); ++k) {
                if (k & 1u) AddTriangle(out, v[k + 1], v[k], v[k + 2]);
                else AddTriangle(out, v[k], v[k + 1], v[k + 2]);
            }
            break;
        default: ADD_FAILURE() << "kind " << kind;
    }
}

// What the primitive entries received, as items.
std::vector<Item> Received() {
    std::vector<Item> out;
    for (const Entry& e : prim_record::gEntries) {
        if (e.strips.empty()) {
            AddKind(&out, e.kind, e.v);
            continue;
        }
        size_t at = 0;
        for (ULONG len : e.strips) {
            if (at + len > e.v.size()) {
                ADD_FAILURE() << "strips past the batch";
                break;
            }
            AddKind(&out, e.kind, std::vector<Vertex>(e.v.begin() + at, e.v.begin() + at + len));
            at += len;
        }
    }
    return out;
}

// GL 1.0's current values and the items its primitives make: the
// application's calls are told to it beside the client's.
struct Model {
    Vertex current{{}, {1, 1, 1, 1}, {0, 0, 1}, {0, 0, 0, 1}};
    ULONG mode = 0;
    std::vector<Vertex> prim;
    std::vector<Item> items;

    void Begin(ULONG m) {
        mode = m;
        prim.clear();
    }
    void At(std::array<float, 4> position) {
        Vertex v = current;
        v.position = position;
        prim.push_back(v);
    }
    void End() {
        std::vector<Vertex> v = prim;
        switch (mode) {
            case GL_POINTS: AddKind(&items, 63, v); break;
            case GL_LINES: AddKind(&items, 65, v); break;
            case GL_LINE_LOOP:
                if (v.size() > 1) v.push_back(v[0]);
                AddKind(&items, 64, v);
                break;
            case GL_LINE_STRIP: AddKind(&items, 64, v); break;
            case GL_TRIANGLES: AddKind(&items, 67, v); break;
            case GL_TRIANGLE_STRIP: AddKind(&items, kTriangleStripKind, v); break;
            case GL_TRIANGLE_FAN:
            case GL_POLYGON: AddKind(&items, 69, v); break;
            case GL_QUADS: AddKind(&items, 68, v); break;
            case GL_QUAD_STRIP:
                // quads of vertex pairs; an unpaired last vertex draws nothing
                if (v.size() & 1u) v.pop_back();
                AddKind(&items, kTriangleStripKind, v);
                break;
            default: break;
        }
        prim.clear();
    }
};

std::string Describe(const Item& it) {
    std::ostringstream s;
    s << "{";
    for (int j = 0; j < it.n; ++j) {
        const Vertex& v = it.v[j];
        s << " (" << v.position[0] << "," << v.position[1] << "," << v.position[2] << "," << v.position[3]
          << " c" << v.color[0] << "," << v.color[1] << "," << v.color[2] << "," << v.color[3] << " n"
          << v.normal[0] << "," << v.normal[1] << "," << v.normal[2] << " t" << v.texCoord[0] << ","
          << v.texCoord[1] << "," << v.texCoord[2] << "," << v.texCoord[3] << ")";
    }
    return s.str() + " }";
}

// The same item; with bUnitNormals the normals are compared as directions
// (the server's own Begin/End hands the layer unit normals, while batches
// from the ring keep the application's).
bool Same(const Item& a, const Item& b, bool bUnitNormals) {
    if (!bUnitNormals) return a == b;
    if (a.n != b.n) return false;
    for (int j = 0; j < a.n; ++j) {
        const Vertex &x = a.v[j], &y = b.v[j];
        if (x.position != y.position || x.color != y.color || x.texCoord != y.texCoord) return false;
        auto unit = [](const std::array<float, 3>& n) {
            const double l = std::sqrt(double(n[0]) * n[0] + double(n[1]) * n[1] + double(n[2]) * n[2]);
            return std::array<double, 3>{n[0] / l, n[1] / l, n[2] / l};
        };
        const auto u = unit(x.normal), w = unit(y.normal);
        for (int i = 0; i < 3; ++i)
            if (std::fabs(u[i] - w[i]) > 1e-6) return false;
    }
    return true;
}

::testing::AssertionResult SameItems(const std::vector<Item>& got, const std::vector<Item>& want,
                                     bool bUnitNormals = false) {
    for (size_t k = 0; k < std::min(got.size(), want.size()); ++k)
        if (!Same(got[k], want[k], bUnitNormals))
            return ::testing::AssertionFailure() << "item " << k << " of " << want.size() << "\n  got  "
                                                 << Describe(got[k]) << "\n  want " << Describe(want[k]);
    if (got.size() != want.size())
        return ::testing::AssertionFailure() << got.size() << " items, want " << want.size();
    return ::testing::AssertionSuccess();
}

// --- the application's calls, each told to the model -----------------------------------------
struct Form {
    const char* name;
    std::function<void(Model&, int)> call;
};

// Vertex k at (k, 10 + k) in every form of glVertex.
std::array<float, 4> Pos(int k, int size) {
    return {float(k), float(10 + k), size > 2 ? 3.0f : 0.0f, size > 3 ? 2.0f : 1.0f};
}
#define VTX_FORM(name, size, ...) \
    {#name, [](Model& m, int k) { const float x = float(k), y = float(10 + k); (void)x; (void)y; __VA_ARGS__; m.At(Pos(k, size)); }}
const std::vector<Form> kVertexForms = {
    VTX_FORM(Vertex2d, 2, Gl().Vertex2d(x, y)),
    VTX_FORM(Vertex2dv, 2, const GLdouble v[] = {x, y}; Gl().Vertex2dv(v)),
    VTX_FORM(Vertex2f, 2, Gl().Vertex2f(x, y)),
    VTX_FORM(Vertex2fv, 2, const GLfloat v[] = {x, y}; Gl().Vertex2fv(v)),
    VTX_FORM(Vertex2i, 2, Gl().Vertex2i(k, 10 + k)),
    VTX_FORM(Vertex2iv, 2, const GLint v[] = {k, 10 + k}; Gl().Vertex2iv(v)),
    VTX_FORM(Vertex2s, 2, Gl().Vertex2s(GLshort(k), GLshort(10 + k))),
    VTX_FORM(Vertex2sv, 2, const GLshort v[] = {GLshort(k), GLshort(10 + k)}; Gl().Vertex2sv(v)),
    VTX_FORM(Vertex3d, 3, Gl().Vertex3d(x, y, 3)),
    VTX_FORM(Vertex3dv, 3, const GLdouble v[] = {x, y, 3}; Gl().Vertex3dv(v)),
    VTX_FORM(Vertex3f, 3, Gl().Vertex3f(x, y, 3)),
    VTX_FORM(Vertex3fv, 3, const GLfloat v[] = {x, y, 3}; Gl().Vertex3fv(v)),
    VTX_FORM(Vertex3i, 3, Gl().Vertex3i(k, 10 + k, 3)),
    VTX_FORM(Vertex3iv, 3, const GLint v[] = {k, 10 + k, 3}; Gl().Vertex3iv(v)),
    VTX_FORM(Vertex3s, 3, Gl().Vertex3s(GLshort(k), GLshort(10 + k), 3)),
    VTX_FORM(Vertex3sv, 3, const GLshort v[] = {GLshort(k), GLshort(10 + k), 3}; Gl().Vertex3sv(v)),
    VTX_FORM(Vertex4d, 4, Gl().Vertex4d(x, y, 3, 2)),
    VTX_FORM(Vertex4dv, 4, const GLdouble v[] = {x, y, 3, 2}; Gl().Vertex4dv(v)),
    VTX_FORM(Vertex4f, 4, Gl().Vertex4f(x, y, 3, 2)),
    VTX_FORM(Vertex4fv, 4, const GLfloat v[] = {x, y, 3, 2}; Gl().Vertex4fv(v)),
    VTX_FORM(Vertex4i, 4, Gl().Vertex4i(k, 10 + k, 3, 2)),
    VTX_FORM(Vertex4iv, 4, const GLint v[] = {k, 10 + k, 3, 2}; Gl().Vertex4iv(v)),
    VTX_FORM(Vertex4s, 4, Gl().Vertex4s(GLshort(k), GLshort(10 + k), 3, 2)),
    VTX_FORM(Vertex4sv, 4, const GLshort v[] = {GLshort(k), GLshort(10 + k), 3, 2}; Gl().Vertex4sv(v)),
};
#undef VTX_FORM

// Attribute forms with the value each leaves current (integer components
// at the ends of their range map to exactly -1 or 1).
const std::vector<Form> kColorForms = {
    {"Color3f", [](Model& m, int k) { Gl().Color3f(k / 8.0f, 0.5f, 1); m.current.color = {k / 8.0f, 0.5f, 1, 1}; }},
    {"Color4d", [](Model& m, int k) { Gl().Color4d(k / 8.0, 0.25, 0.5, 0.75); m.current.color = {k / 8.0f, 0.25f, 0.5f, 0.75f}; }},
    {"Color3ub", [](Model& m, int) { Gl().Color3ub(255, 0, 255); m.current.color = {1, 0, 1, 1}; }},
    {"Color4usv", [](Model& m, int) { const GLushort c[] = {65535, 0, 65535, 0}; Gl().Color4usv(c); m.current.color = {1, 0, 1, 0}; }},
    {"Color3b", [](Model& m, int) { Gl().Color3b(127, -128, 127); m.current.color = {1, -1, 1, 1}; }},
    {"Color4i", [](Model& m, int) { Gl().Color4i(INT_MAX, INT_MIN, INT_MAX, INT_MAX); m.current.color = {1, -1, 1, 1}; }},
    {"Color3fv", [](Model& m, int k) { const GLfloat c[] = {0.25f, k / 16.0f, 0}; Gl().Color3fv(c); m.current.color = {0.25f, k / 16.0f, 0, 1}; }},
    {"Color4ubv", [](Model& m, int) { const GLubyte c[] = {0, 255, 0, 255}; Gl().Color4ubv(c); m.current.color = {0, 1, 0, 1}; }},
};
const std::vector<Form> kNormalForms = {
    {"Normal3f", [](Model& m, int k) { Gl().Normal3f(0, k / 4.0f, 1); m.current.normal = {0, k / 4.0f, 1}; }},
    {"Normal3d", [](Model& m, int k) { Gl().Normal3d(k / 4.0, 0, -1); m.current.normal = {k / 4.0f, 0, -1}; }},
    {"Normal3b", [](Model& m, int) { Gl().Normal3b(127, -128, 127); m.current.normal = {1, -1, 1}; }},
    {"Normal3sv", [](Model& m, int) { const GLshort n[] = {32767, -32768, 32767}; Gl().Normal3sv(n); m.current.normal = {1, -1, 1}; }},
    {"Normal3i", [](Model& m, int) { Gl().Normal3i(INT_MIN, INT_MAX, INT_MIN); m.current.normal = {-1, 1, -1}; }},
    {"Normal3fv", [](Model& m, int k) { const GLfloat n[] = {1, 0, k / 2.0f}; Gl().Normal3fv(n); m.current.normal = {1, 0, k / 2.0f}; }},
};
const std::vector<Form> kTexCoordForms = {
    {"TexCoord1f", [](Model& m, int k) { Gl().TexCoord1f(k / 2.0f); m.current.texCoord = {k / 2.0f, 0, 0, 1}; }},
    {"TexCoord2d", [](Model& m, int k) { Gl().TexCoord2d(k / 2.0, 2); m.current.texCoord = {k / 2.0f, 2, 0, 1}; }},
    {"TexCoord3i", [](Model& m, int k) { Gl().TexCoord3i(k, 3, 4); m.current.texCoord = {float(k), 3, 4, 1}; }},
    {"TexCoord4sv", [](Model& m, int k) { const GLshort t[] = {GLshort(k), 1, 2, 5}; Gl().TexCoord4sv(t); m.current.texCoord = {float(k), 1, 2, 5}; }},
    {"TexCoord2fv", [](Model& m, int k) { const GLfloat t[] = {1, k / 8.0f}; Gl().TexCoord2fv(t); m.current.texCoord = {1, k / 8.0f, 0, 1}; }},
};

enum class Ring { SHARED, PRIVATE, NONE };

class ClientToServer : public clt_srv::ClientServerTest, public ::testing::WithParamInterface<Ring> {
  protected:
    void SetUp() override {
        ClientServerTest::SetUp();
        if (HasFatalFailure()) return;
        if (GetParam() == Ring::PRIVATE) SetEnvironmentVariableA("NOGLSHAREDMEMORY", "1");
        if (GetParam() == Ring::NONE) SetEnvironmentVariableA("NOGLPRIMITIVE", "1");
        cc_ = MakeCurrent();
        ASSERT_NE(cc_, nullptr);
        // Start from the model's current values.
        Gl().Color4f(1, 1, 1, 1);
        Gl().Normal3f(0, 0, 1);
        Gl().TexCoord4f(0, 0, 0, 1);
    }
    void Begin(ULONG mode) {
        Gl().Begin(mode);
        m_.Begin(mode);
    }
    void End() {
        Gl().End();
        m_.End();
    }
    // Everything drawn: what reached the primitive entries against the model.
    ::testing::AssertionResult Drawn() {
        Gl().Finish();
        const ::testing::AssertionResult r = SameItems(Received(), m_.items, true);
        prim_record::Clear();
        m_.items.clear();
        return r;
    }
    // The ring the context batches into (after the first glBegin).
    void ExpectRing() {
        if (GetParam() == Ring::NONE) EXPECT_EQ(cc_->primSegment, nullptr);
        else EXPECT_EQ(cc_->primShared, GetParam() == Ring::SHARED ? 1u : 0u);
    }

    ClientContext* cc_ = nullptr;
    Model m_;
};

const char* const kModes[] = {"points", "lines", "line loop", "line strip", "triangles", "triangle strip",
                              "triangle fan", "quads", "quad strip", "polygon"};

// Every mode with every vertex form, each vertex with a colour, a normal and
// texture coordinates of forms that change from vertex to vertex; the
// primitives of one mode follow one another (a batch kept open across them).
TEST_P(ClientToServer, EveryModeWithEveryVertexForm) {
    for (ULONG mode = GL_POINTS; mode <= GL_POLYGON; ++mode) {
        SCOPED_TRACE(kModes[mode]);
        const int count = 7;  // a quad strip's unpaired last vertex draws nothing
        int f = 0;
        for (const Form& vf : kVertexForms) {
            Begin(mode);
            for (int k = 0; k < count; ++k) {
                kColorForms[(f + k) % kColorForms.size()].call(m_, k);
                kNormalForms[(f + k) % kNormalForms.size()].call(m_, k);
                kTexCoordForms[(f + k) % kTexCoordForms.size()].call(m_, k);
                vf.call(m_, count * f + k);
            }
            End();
            ++f;
        }
        EXPECT_TRUE(Drawn());
    }
    ExpectRing();
}

// Primitives longer than a batch, at and around the batch's 168 vertices
// and across several batches, each after a short primitive of the same mode
// in the same batch; attributes come every few vertices, so that values
// carried into a continued batch show. Strips continue across batches with
// their winding, polygons and fans keep every triangle however the cut
// falls. Without a ring the same primitives fill and wrap the server's own
// buffers: a line loop closes on its first vertex with that vertex's
// values, and the values given last are current after glEnd.
TEST_P(ClientToServer, LongPrimitivesAcrossBatches) {
    for (ULONG mode = GL_POINTS; mode <= GL_POLYGON; ++mode) {
        for (int n : {5, 166, 167, 168, 169, 170, 171, 200, 335, 336, 337, 341}) {
            SCOPED_TRACE(std::string(kModes[mode]) + " of " + std::to_string(n));
            Begin(mode);
            for (int k = 0; k < 4; ++k) {
                kColorForms[0].call(m_, k);
                kVertexForms[10].call(m_, 1000 + k);
            }
            End();
            Begin(mode);
            for (int k = 0; k < n; ++k) {
                if (k % 3 == 0) kColorForms[(k / 3) % kColorForms.size()].call(m_, k);
                if (k % 5 == 1) kNormalForms[(k / 5) % kNormalForms.size()].call(m_, k);
                if (k % 7 == 2) kTexCoordForms[(k / 7) % kTexCoordForms.size()].call(m_, k);
                kVertexForms[(n + k / 50) % kVertexForms.size()].call(m_, k);
            }
            // values given after the last vertex stay current
            if (n % 2) kNormalForms[n % kNormalForms.size()].call(m_, n);
            if (n % 3) kColorForms[n % kColorForms.size()].call(m_, n);
            End();
            EXPECT_TRUE(Drawn());
        }
    }
}

// More vertices than the shared ring holds, drawn without waiting: the ring
// wraps to its start (waiting for the server where it must) and every
// triangle arrives in order (without a ring, through many of the server's
// buffers).
TEST_P(ClientToServer, RingWrapsWithoutLosingVertices) {
    std::vector<ULONG> firsts;
    for (int s = 0; s < 70; ++s) {
        Begin(GL_TRIANGLE_STRIP);
        for (int k = 0; k < 150; ++k) {
            kColorForms[(s + k) % kColorForms.size()].call(m_, k);
            kVertexForms[(s + k) % kVertexForms.size()].call(m_, 200 * s + k);
        }
        End();
        if (cc_->primSegment != nullptr) firsts.push_back(cc_->batchFirst);
    }
    EXPECT_TRUE(Drawn());
    if (GetParam() == Ring::SHARED) {
        // the batches went round the ring at least once
        EXPECT_NE(std::adjacent_find(firsts.begin(), firsts.end(), std::greater<ULONG>()), firsts.end());
    }
}

// The copies of a line loop's, fan's or polygon's first vertex that the
// ring holds (the loop's closing vertex, the fan's and polygon's shared
// corner) carry that vertex's values, also where it had none of its own and
// a later vertex brings one: primitives after the first in a batch take
// them from the vertices before them. The values current at glEnd stay
// current. (The first primitive's first vertex brings all; one that takes
// the server's current values is drawn below.)
TEST_P(ClientToServer, CopiesOfTheFirstVertexKeepItsValues) {
    for (ULONG mode : {GL_LINE_LOOP, GL_TRIANGLE_FAN, GL_POLYGON}) {
        SCOPED_TRACE(kModes[mode]);
        for (int p = 0; p < 4; ++p) {
            Begin(mode);
            if (p == 0) {
                kColorForms[1].call(m_, 3);
                kNormalForms[1].call(m_, 3);
                kTexCoordForms[0].call(m_, 3);
            }
            kVertexForms[3].call(m_, 10 * p);
            kNormalForms[0].call(m_, p + 1);
            kTexCoordForms[1].call(m_, p + 1);
            kVertexForms[3].call(m_, 10 * p + 1);
            kColorForms[0].call(m_, p + 2);
            kVertexForms[3].call(m_, 10 * p + 2);
            kNormalForms[5].call(m_, p + 3);
            kVertexForms[3].call(m_, 10 * p + 3);
            End();
        }
        Begin(GL_POINTS);
        kVertexForms[3].call(m_, 100);
        End();
        EXPECT_TRUE(Drawn());
    }
}

// A line loop's, fan's or polygon's first vertex without an attribute of
// its own takes the value current before the primitive, which a display
// list may have set where the client does not see it. When a later vertex
// brings that attribute, every copy of the first vertex in the ring (the
// loop's closing vertex, the fan's and polygon's shared corner, also in the
// batches that continue a long primitive) still has the first vertex's
// value, and the value given last is current after glEnd. The primitive
// opens a batch, or follows one of the same mode in it whose vertices have
// none of the attribute; the attribute comes first on the second vertex or
// only after the batch is full. A list called inside the primitive (its
// vertex joins it) leaves the first vertex its own values for the vertices
// after the list.
TEST_P(ClientToServer, FirstVertexCopiesKeepValuesSetBeforeThePrimitive) {
    struct Attribute {
        const char* name;
        const std::vector<Form>* forms;
    };
    const Attribute kAttributes[] = {{"colour", &kColorForms}, {"normal", &kNormalForms},
                                     {"texture coordinates", &kTexCoordForms}};
    struct Case {
        int count;      // vertices of the primitive
        int firstWith;  // the first vertex that brings the attribute
        bool bAfterOther;
        int listAt = -1;  // a list of one vertex is called before this vertex
    };
    const Case kCases[] = {{4, 1, false}, {5, 2, true}, {200, 1, false}, {200, 170, false},
                           {340, 180, true},
                           // the list inside: the vertices after it still
                           // join the first vertex with its own values;
                           // also right after a batch cut (the fan's cut
                           // before vertex 58, the polygon's before 83
                           // after another)
                           {6, 2, false, 4}, {7, 1, true, 5}, {6, 2, true, 2}, {9, 3, false, 6},
                           {100, 1, false, 58}, {100, 1, true, 83}, {200, 1, false, 169},
                           {200, 170, false, 190}, {340, 100, true, 171}, {340, 180, true, 300}};
    Gl().NewList(3, 0x1300);  // GL_COMPILE
    Gl().Vertex2f(700, 710);
    Gl().EndList();
    for (ULONG mode : {GL_LINE_LOOP, GL_TRIANGLE_FAN, GL_POLYGON}) {
        for (const Attribute& at : kAttributes) {
            for (const Case& c : kCases) {
                // the list cases are a fan's and a polygon's
                if (c.listAt >= 0 && mode == GL_LINE_LOOP) continue;
                SCOPED_TRACE(std::string(kModes[mode]) + ", " + at.name + " from vertex " + std::to_string(c.firstWith) +
                             " of " + std::to_string(c.count) + (c.bAfterOther ? " after another" : "") +
                             (c.listAt >= 0 ? ", list before vertex " + std::to_string(c.listAt) : ""));
                // The value current before the primitive comes from a list.
                Gl().NewList(2, 0x1300);  // GL_COMPILE
                Model listModel = m_;
                (*at.forms)[0].call(listModel, 5);
                Gl().EndList();
                Gl().CallList(2);
                m_.current = listModel.current;
                Begin(GL_POINTS);
                kVertexForms[2].call(m_, 900);
                End();
                if (c.bAfterOther) {
                    Begin(mode);
                    for (int k = 0; k < 4; ++k) kVertexForms[2].call(m_, 800 + k);
                    End();
                }
                Begin(mode);
                for (int k = 0; k < c.count; ++k) {
                    if (k == c.listAt) {
                        Gl().CallList(3);
                        m_.At(Pos(700, 2));
                    }
                    if (k >= c.firstWith && (k - c.firstWith) % 4 == 0)
                        (*at.forms)[(k / 4) % at.forms->size()].call(m_, k);
                    kVertexForms[(k / 3) % kVertexForms.size()].call(m_, k);
                }
                End();
                // the value given last is current after the primitive
                Begin(GL_POINTS);
                kVertexForms[2].call(m_, 901);
                End();
                EXPECT_TRUE(Drawn());
            }
        }
    }
}

// A display list of a colour and a vertex called inside an open batch runs
// where the application called it: after the vertices before it, before
// the ones after it (glCallList and glCallLists, in independent and in
// converted primitives).
TEST_P(ClientToServer, ListsCalledInsideABatchRunInPlace) {
    Gl().NewList(1, 0x1300);  // GL_COMPILE
    Gl().Color3f(0, 0, 1);
    Gl().Vertex2f(50, 60);
    Gl().EndList();
    auto list = [&] {
        m_.current.color = {0, 0, 1, 1};
        m_.At({50, 60, 0, 1});
    };
    const GLubyte names[] = {1};
    for (ULONG mode : {GL_LINES, GL_TRIANGLES, GL_TRIANGLE_STRIP, GL_TRIANGLE_FAN, GL_POLYGON, GL_QUADS}) {
        for (int before : {1, 2, 3, 4, 5}) {
            for (bool bLists : {false, true}) {
                SCOPED_TRACE(std::string(kModes[mode]) + ", " + std::to_string(before) + " vertices before " +
                             (bLists ? "glCallLists" : "glCallList"));
                Begin(mode);
                for (int k = 0; k < before; ++k) {
                    kColorForms[k % kColorForms.size()].call(m_, k);
                    kVertexForms[2].call(m_, k);
                }
                if (bLists) Gl().CallLists(1, 0x1401, names);
                else Gl().CallList(1);
                list();
                for (int k = before; k < 7; ++k) kVertexForms[2].call(m_, k);
                End();
                EXPECT_TRUE(Drawn());
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rings, ClientToServer, ::testing::Values(Ring::SHARED, Ring::PRIVATE, Ring::NONE),
                         [](const ::testing::TestParamInfo<Ring>& i) {
                             return i.param == Ring::SHARED ? "Shared" : i.param == Ring::PRIVATE ? "Private" : "None";
                         });

}  // namespace
