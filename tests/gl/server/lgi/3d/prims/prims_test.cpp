// Primitives through N_ExecPrimitive to the render function: window
// coordinates, converted colours and face runs as the render stage receives
// them, clipping against the view volume with attributes interpolated, the
// batch guard, NaN vertices, and the values a batch leaves current.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <sys/mman.h>

#include "3d/queue/renderfcn.h"
#include "3d/pipes/vstage.h"
#include "lgi/seams.h"
#include "gl/server/lgi/lgi_fixture.h"

namespace {

using lgi_test::F;

struct Piece {
    std::vector<LONG> window;
    std::vector<ULONG> colours;  // word 0 of each hardware record
    std::vector<ULONG> runs;
};
std::vector<Piece> gPieces;

void RecordRender(N_Context*, N_Pipe* pipe) {
    const CommonPipeData& c = *pipe->pCommonPipeData;
    Piece p;
    p.window.assign(c.pWindow, c.pWindow + 3 * c.stripVertexCount);
    ULONG cRecords = 0;
    for (ULONG i = 0; c.pFaceRuns[i] != 0; ++i) {
        p.runs.push_back(c.pFaceRuns[i]);
        cRecords += _NRunVertices(c, c.pFaceRuns[i] >> 16);
    }
    for (ULONG i = 0; i < cRecords; ++i) p.colours.push_back(c.pHwVertices[5 * i]);
    gPieces.push_back(p);
}

class PrimsTest : public lgi_test::LgiTest {
  protected:
    void SetUp() override {
        LgiTest::SetUp();
        gPieces.clear();
        const ULONG rect[2] = {0, (479u << 16) | 639u};
        N_BindClipList(1, rect);
        N_SetStateBlockAttrWord(79, 0);
        N_SetStateBlockAttrWord(81, 2);  // smooth shading
        WindowSpace();
    }
    // Validates what is dirty, then makes object coordinates window
    // coordinates with 24-bit colour.
    void WindowSpace() {
        if (ctx_->dirty != 0) _NValidate(ctx_, ctx_->dirty);
        lgi_test::WindowSpace640(ctx_);
        N_ColourConversion& cv = ctx_->val.colour;
        cv.channelMask[0] = 0xFF0000u;
        cv.channelMask[1] = 0xFF00u;
        cv.channelMask[2] = 0xFFu;
        cv.channelShift[2] = 0;
        for (N_PrimDispatch& pd : ctx_->prim) {
            pd.pfnSelector = lgi_test::HardwareSelectorTo<RecordRender>;
            pd.pfnVertexStage = _NLightingStageFn(N_LIGHT_STAGE_UNLIT_RGBA);
            pd.dirtyMask = 0;
        }
        ctx_->val.cullFront = ctx_->val.cullBack = 0;
        ctx_->dirty = 0;
        ctx_->setupStale = 1;
    }
    // Positions of four floats a vertex, of which the pipe reads three, or
    // all four (w too) with N_VTX_POS4.
    void Draw(ULONG kind, const std::vector<float>& pos, const std::vector<float>& rgba, ULONG position = N_VTX_POS3) {
        N_PrimDesc d{};
        d.kind = kind;
        d.count = static_cast<ULONG>(pos.size() / 4);
        d.format = position | N_VTX_RGBA;
        d.pPosition = pos.data();
        d.positionStride = 16;
        d.pColor = rgba.data();
        d.colorStride = 16;
        N_ExecPrimitive(&d);
    }
    void DrawsWithTheFacingOfItsPieces(const char* name, ULONG kind, const std::vector<float>& pos);

  public:
    static ULONG Pack(float r, float g, float b) {
        auto ch = [](float f) { return static_cast<ULONG>(std::nearbyint(f * 255.0f)); };
        return ch(r) << 16 | ch(g) << 8 | ch(b);
    }
};

TEST_F(PrimsTest, StripInsideReachesTheRenderStageWhole) {
    const std::vector<float> pos = {10, 10, 5, 1, 20, 10, 5, 1, 10, 20, 5, 1, 20, 20, 5, 1, 10.75f, 30.5f, 5, 1};
    std::vector<float> rgba;
    for (int i = 0; i < 5; ++i) rgba.insert(rgba.end(), {0.5f, 0.25f * i, 1.0f, 1.0f});
    Draw(N_PRIM_TRI_STRIP, pos, rgba);
    ASSERT_EQ(gPieces.size(), 1u);
    const Piece& p = gPieces[0];
    ASSERT_EQ(p.window.size(), 15u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(p.window[3 * i], static_cast<LONG>(pos[4 * i])) << i;  // truncated
        EXPECT_EQ(p.window[3 * i + 1], static_cast<LONG>(pos[4 * i + 1])) << i;
    }
    // Faces of one facing throughout (the strip alternates, the test turns it back).
    ASSERT_EQ(p.runs.size(), 1u);
    EXPECT_EQ(p.runs[0] >> 16, 3u);
    ASSERT_EQ(p.colours.size(), 5u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(p.colours[i], Pack(0.5f, 0.25f * i, 1.0f)) << i;
}

TEST_F(PrimsTest, CurrentValuesAfterABatch) {
    Draw(N_PRIM_POINTS, {1, 1, 0, 1, 2, 2, 0, 1}, {0.1f, 0.2f, 0.3f, 0.4f, 0.6f, 0.7f, 0.8f, 0.9f});
    const float* c = reinterpret_cast<const float*>(pulAttr(ctx_, 52));
    EXPECT_EQ(c[0], 0.6f);
    EXPECT_EQ(c[3], 0.9f);
    ASSERT_EQ(gPieces.size(), 1u);
    EXPECT_EQ(gPieces[0].colours.size(), 2u);
}

TEST_F(PrimsTest, TriangleCrossingXMaxIsClippedWithColoursInterpolated) {
    Draw(N_PRIM_TRIANGLES, {600, 100, 5, 1, 700, 100, 5, 1, 600, 200, 5, 1},
         {1, 0, 0, 1, 0, 1, 0, 1, 1, 0, 0, 1});
    ASSERT_EQ(gPieces.size(), 1u);
    const Piece& p = gPieces[0];
    ASSERT_EQ(p.window.size(), 3u * 6);  // four vertices as two triangles
    bool bOnBound = false;
    for (size_t i = 0; i < p.window.size(); i += 3) {
        EXPECT_LE(p.window[i], 639);
        bOnBound |= p.window[i] == 639;
    }
    EXPECT_TRUE(bOnBound);
    // The crossing on the edge (600,100)-(700,100): t = 0.39.
    bool bFound = false;
    for (size_t i = 0; i < p.window.size() / 3; ++i)
        if (p.window[3 * i] == 639 && p.window[3 * i + 1] == 100) {
            EXPECT_EQ(p.colours[i], Pack(0.61f, 0.39f, 0)) << std::hex << p.colours[i];
            bFound = true;
        }
    EXPECT_TRUE(bFound);
}

// A quad with one corner inside the window and three beyond x max is cut to
// the corner's piece, wherever the corner comes in the quad's order: quads
// and quad strips alike (a strip's quad is v0 v1 v3 v2).
TEST_F(PrimsTest, QuadWithOneCornerInsideIsClippedNotDropped) {
    const float corners[4][2] = {{620, 100}, {700, 100}, {700, 180}, {660, 180}};  // only the first inside
    for (ULONG kind : {N_PRIM_QUADS, N_PRIM_QUAD_STRIP})
        for (int r = 0; r < 4; ++r) {
            int order[4];
            for (int k = 0; k < 4; ++k) order[k] = (k + r) % 4;
            if (kind == N_PRIM_QUAD_STRIP) std::swap(order[2], order[3]);
            std::vector<float> pos;
            for (int k : order) pos.insert(pos.end(), {corners[k][0], corners[k][1], 5, 1});
            gPieces.clear();
            Draw(kind, pos, std::vector<float>(16, 1.0f));
            bool bCorner = false, bCrossing = false;
            for (const Piece& p : gPieces)
                for (size_t i = 0; i < p.window.size(); i += 3) {
                    EXPECT_GE(p.window[i], 620) << "kind " << kind << " turn " << r;
                    EXPECT_LE(p.window[i], 639) << "kind " << kind << " turn " << r;
                    bCorner |= p.window[i] == 620 && p.window[i + 1] == 100;
                    bCrossing |= p.window[i] == 639 && p.window[i + 1] == 100;
                }
            EXPECT_TRUE(bCorner && bCrossing) << "kind " << kind << " turn " << r << ": " << gPieces.size() << " pieces";
        }
    // Wholly beyond x max: nothing.
    gPieces.clear();
    Draw(N_PRIM_QUADS, {660, 100, 5, 1, 700, 100, 5, 1, 700, 180, 5, 1, 660, 180, 5, 1}, std::vector<float>(16, 1.0f));
    EXPECT_TRUE(gPieces.empty());
}

// Twice the signed window area of the pieces drawn: each recorded piece
// holds faces of the kind (triangles, quads, or a quad strip's quads
// v0 v1 v3 v2).
double DrawnArea(ULONG kind) {
    double a = 0;
    auto polygon = [&a](const Piece& p, std::initializer_list<size_t> idx) {
        std::vector<size_t> v(idx);
        for (size_t k = 0; k < v.size(); ++k) {
            const LONG* p0 = &p.window[3 * v[k]];
            const LONG* p1 = &p.window[3 * v[(k + 1) % v.size()]];
            a += double(p0[0]) * p1[1] - double(p1[0]) * p0[1];
        }
    };
    for (const Piece& p : gPieces) {
        const size_t n = p.window.size() / 3;
        if (kind == N_PRIM_QUADS)
            for (size_t i = 0; i + 3 < n; i += 4) polygon(p, {i, i + 1, i + 2, i + 3});
        else if (kind == N_PRIM_QUAD_STRIP)
            for (size_t i = 0; i + 3 < n; i += 2) polygon(p, {i, i + 1, i + 3, i + 2});
        else if (kind == N_PRIM_TRI_STRIP && n >= 3)
            polygon(p, {0, 1, 2});  // a piece's first face keeps the winding of the whole
        else
            for (size_t i = 0; i + 2 < n; i += 3) polygon(p, {i, i + 1, i + 2});
    }
    return a;
}

// Draws one face of the kind (positions of four floats, all four read)
// without culling, and checks that it is drawn with the facing of the
// pieces drawn (counter-clockwise: front), then that culling that facing
// drops it and culling the other keeps it.
void PrimsTest::DrawsWithTheFacingOfItsPieces(const char* name, ULONG kind, const std::vector<float>& pos) {
    const std::vector<float> rgba(pos.size(), 1.0f);
    // The faces the render stage is given to draw (runs not skipped).
    auto drawn = [] {
        ULONG faces = 0;
        for (const Piece& p : gPieces)
            for (ULONG r : p.runs)
                if ((r & 0xFFFFu) != N_RUN_SKIP) faces += r >> 16;
        return faces;
    };
    ctx_->val.cullFront = ctx_->val.cullBack = 0;
    gPieces.clear();
    Draw(kind, pos, rgba, N_VTX_POS4);
    ASSERT_NE(drawn(), 0u) << name;
    const double area = DrawnArea(kind);
    ASSERT_NE(area, 0.0) << name;
    const ULONG want = area > 0 ? N_RUN_FIRST : N_RUN_SECOND;
    for (const Piece& p : gPieces) {
        ASSERT_EQ(p.runs.size(), 1u) << name;
        EXPECT_EQ(p.runs[0] & 0xFFFFu, want) << name;
    }
    ctx_->val.cullFront = want == N_RUN_FIRST;
    ctx_->val.cullBack = want == N_RUN_SECOND;
    gPieces.clear();
    Draw(kind, pos, rgba, N_VTX_POS4);
    EXPECT_EQ(drawn(), 0u) << name;
    std::swap(ctx_->val.cullFront, ctx_->val.cullBack);
    gPieces.clear();
    Draw(kind, pos, rgba, N_VTX_POS4);
    EXPECT_NE(drawn(), 0u) << name;
    ctx_->val.cullFront = ctx_->val.cullBack = 0;
}

// A face with vertices behind the eye (w < 0) is drawn only where w > 0:
// its facing is that of the piece drawn, as GL takes it from the window
// area of the clipped polygon.
TEST_F(PrimsTest, FacingOfTrianglesPartlyBehindTheEyeIsThatOfThePieceDrawn) {
    struct Case {
        const char* name;
        float v[3][4];
    } cases[] = {
        {"one behind", {{100, 100, 5, 1}, {300, 100, 5, 1}, {-200, -300, -5, -1}}},
        {"one behind, reversed", {{100, 100, 5, 1}, {-200, -300, -5, -1}, {300, 100, 5, 1}}},
        {"one behind, first", {{-200, -300, -5, -1}, {100, 100, 5, 1}, {300, 100, 5, 1}}},
        {"two behind", {{200, 150, 5, 1}, {-100, -50, -5, -1}, {-400, -60, -5, -1}}},
        {"two behind, reversed", {{200, 150, 5, 1}, {-400, -60, -5, -1}, {-100, -50, -5, -1}}},
        {"in front, crossing x max", {{600, 100, 5, 1}, {900, 150, 5, 1}, {620, 300, 5, 1}}},
    };
    for (const Case& k : cases) {
        std::vector<float> pos;
        for (const auto& v : k.v) pos.insert(pos.end(), v, v + 4);
        DrawsWithTheFacingOfItsPieces(k.name, N_PRIM_TRIANGLES, pos);
    }
}

// A strip's odd face cut by the window's edge is drawn as a piece wound as
// the strip: its facing, the piece's area and culling agree.
TEST_F(PrimsTest, AClippedOddFaceOfAStripKeepsTheStripsWinding) {
    // Face 0 inside, face 1 (odd) across x max.
    const std::vector<float> strip = {560, 100, 5, 1, 600, 100, 5, 1, 560, 200, 5, 1, 700, 200, 5, 1};
    std::vector<float> odd(strip.begin() + 4, strip.end());  // the odd face alone, as drawn: v1 v2 v3
    ctx_->stripParity = 0;
    gPieces.clear();
    Draw(N_PRIM_TRI_STRIP, strip, std::vector<float>(16, 1.0f), N_VTX_POS4);
    // Two pieces: the inside face whole, then the cut odd face.
    ASSERT_EQ(gPieces.size(), 2u);
    const Piece cut = gPieces[1];
    ASSERT_EQ(cut.runs.size(), 1u);
    gPieces.assign(1, cut);
    const double area = DrawnArea(N_PRIM_TRI_STRIP);
    ASSERT_NE(area, 0.0);
    EXPECT_EQ(cut.runs[0] & 0xFFFFu, area > 0 ? N_RUN_FIRST : N_RUN_SECOND);
    EXPECT_EQ(cut.runs[0] & 0xFFFFu, N_RUN_FIRST) << "the strip winds counter-clockwise";
}

// A quad is a polygon: it is drawn when any part of it is inside, with the
// facing of its whole area, whatever its first three vertices do. Quads and
// quad strips (whose quad is v0 v1 v3 v2), in both windings.
TEST_F(PrimsTest, QuadsAreJudgedByTheirWholeArea) {
    struct Case {
        const char* name;
        float v[4][2];
    } cases[] = {
        {"first three left of the window", {{-50, 200}, {-60, 100}, {-10, 100}, {100, 150}}},
        {"first three on one line", {{100, 100}, {150, 100}, {200, 100}, {150, 300}}},
        {"first three on one line, clipped", {{-100, 100}, {0, 100}, {100, 100}, {0, 300}}},
        {"last three on one line", {{150, 300}, {100, 100}, {150, 100}, {200, 100}}},
        {"inside", {{300, 300}, {400, 300}, {400, 400}, {300, 400}}},
    };
    for (const Case& k : cases)
        for (bool bReversed : {false, true})
            for (ULONG kind : {N_PRIM_QUADS, N_PRIM_QUAD_STRIP}) {
                int order[4] = {0, 1, 2, 3};
                if (bReversed) std::reverse(order, order + 4);
                if (kind == N_PRIM_QUAD_STRIP) std::swap(order[2], order[3]);
                std::vector<float> pos;
                for (int i : order) pos.insert(pos.end(), {k.v[i][0], k.v[i][1], 5, 1});
                const std::string name = std::string(k.name) + (bReversed ? ", reversed" : "") +
                                         (kind == N_PRIM_QUADS ? ", quads" : ", quad strip");
                DrawsWithTheFacingOfItsPieces(name.c_str(), kind, pos);
            }
}

TEST_F(PrimsTest, LinesCrossingEachPlaneEndOnTheBound) {
    struct Case {
        float a[2], b[2];
        LONG x, y;
    } cases[] = {{{100, 100}, {-50, 100}, 0, 100},
                 {{100, 100}, {700, 100}, 639, 100},
                 {{100, 100}, {100, -60}, 100, 0},
                 {{100, 100}, {100, 600}, 100, 479}};
    for (const Case& c : cases) {
        gPieces.clear();
        Draw(N_PRIM_LINES, {c.a[0], c.a[1], 5, 1, c.b[0], c.b[1], 5, 1}, {1, 1, 1, 1, 0, 0, 0, 1});
        ASSERT_EQ(gPieces.size(), 1u);
        ASSERT_EQ(gPieces[0].window.size(), 6u);
        EXPECT_EQ(gPieces[0].window[3], c.x);
        EXPECT_EQ(gPieces[0].window[4], c.y);
    }
    // Wholly outside: nothing drawn.
    gPieces.clear();
    Draw(N_PRIM_LINES, {700, 10, 5, 1, 800, 10, 5, 1}, {1, 1, 1, 1, 1, 1, 1, 1});
    EXPECT_TRUE(gPieces.empty());
    // Ends anywhere beyond x max and y min: the cut end lies on the bound
    // exactly, whatever the rounding of the crossing.
    for (int k = 0; k < 40; ++k) {
        const float ax = 100.3f + 3.7f * k, ay = 50.1f + 1.9f * k, bx = 700.9f + 13.3f * k, by = 300.7f - 17.1f * k;
        const float wa = 0.7f + 0.037f * k, wb = 1.9f - 0.029f * k;  // in perspective
        gPieces.clear();
        Draw(N_PRIM_LINES, {ax * wa, ay * wa, 5 * wa, wa, bx * wb, by * wb, 5 * wb, wb}, {1, 1, 1, 1, 1, 1, 1, 1},
             N_VTX_POS4);
        ASSERT_EQ(gPieces.size(), 1u) << k;
        const LONG x = gPieces[0].window[3], y = gPieces[0].window[4];
        EXPECT_TRUE(x == 639 || y == 0) << k << ": " << x << ", " << y;
    }
}

TEST_F(PrimsTest, NaNVerticesAndOversizedBatchesAreNeverDrawn) {
    const float nan = std::nanf("");
    Draw(N_PRIM_TRIANGLES, {10, 10, 5, 1, nan, 10, 5, 1, 10, 20, 5, 1}, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1});
    for (const Piece& p : gPieces)
        for (LONG w : p.window) EXPECT_NE(w, static_cast<LONG>(0x80000000u));
    gPieces.clear();
    std::vector<float> pos(4 * 1021, 1.0f), rgba(4 * 1021, 1.0f);
    vnx::debug::clear();
    Draw(N_PRIM_POINTS, pos, rgba);
    EXPECT_TRUE(gPieces.empty());
    EXPECT_NE(vnx::debug::take().find("refused"), std::string::npos);
    // Exactly a batch: drawn whole (1,020 points, 1,008 vertices of triangles).
    for (ULONG kind : {N_PRIM_POINTS, N_PRIM_TRIANGLES}) {
        const ULONG n = _NBatchSize(kind);
        std::vector<float> p;
        for (ULONG i = 0; i < n; ++i) p.insert(p.end(), {10.0f + static_cast<float>(i % 3) * 20 + (i / 3) % 500, 10.0f + (i % 3 == 2 ? 30.0f : 0.0f), 5, 1});
        gPieces.clear();
        Draw(kind, p, std::vector<float>(4 * n, 1.0f));
        ASSERT_EQ(gPieces.size(), 1u) << kind;
        EXPECT_EQ(gPieces[0].window.size(), 3u * n) << kind;
    }
}

// A vertex with a NaN or infinite coordinate is never drawn, in any kind:
// no window coordinate with the indefinite value reaches the render stage,
// and the faces and segments that do not use the vertex are still drawn.
TEST_F(PrimsTest, NoIndefiniteWindowCoordinateReachesTheRenderStage) {
    const float nan = std::nanf(""), inf = INFINITY;
    const float good[8][2] = {{100, 100}, {200, 100}, {200, 200}, {100, 200},
                              {300, 100}, {400, 100}, {400, 200}, {300, 200}};
    struct Bad {
        const char* name;
        float v[4];
    } bads[] = {{"NaN x", {nan, 150, 5, 1}}, {"NaN y", {150, nan, 5, 1}}, {"NaN w", {150, 150, 5, nan}},
                {"infinite x", {inf, 150, 5, 1}}, {"-infinite y", {150, -inf, 5, 1}}, {"NaN z", {150, 150, nan, 1}}};
    for (ULONG kind : {N_PRIM_POINTS, N_PRIM_LINE_STRIP, N_PRIM_LINES, N_PRIM_POLYGON, N_PRIM_TRIANGLES, N_PRIM_QUADS,
                       N_PRIM_FAN, N_PRIM_TRI_STRIP, N_PRIM_QUAD_STRIP})
        for (const Bad& bad : bads)
            for (int at = 0; at < 4; ++at) {
                std::vector<float> pos;
                for (int i = 0; i < 8; ++i) {
                    if (i == at) pos.insert(pos.end(), bad.v, bad.v + 4);
                    else pos.insert(pos.end(), {good[i][0], good[i][1], 5, 1});
                }
                gPieces.clear();
                Draw(kind, pos, std::vector<float>(pos.size(), 1.0f), N_VTX_POS4);
                for (const Piece& p : gPieces)
                    for (LONG w : p.window)
                        EXPECT_NE(w, static_cast<LONG>(0x80000000u)) << bad.name << " at " << at << " kind " << kind;
                // The second half of the batch (the second quad, the later
                // triangles, points and segments) is drawn.
                if (kind != N_PRIM_POLYGON && kind != N_PRIM_FAN) EXPECT_FALSE(gPieces.empty()) << kind;
            }
}

// A vertex whose w is negative lies outside the clip volume even when its
// x/w, y/w and z/w fall inside the window: the combined transform -I gives
// every vertex w = -1 and window coordinates equal to its own. Nothing is
// drawn, alone in its batch or beside vertices outside.
TEST_F(PrimsTest, VerticesWithNegativeWAreOutsideWhateverTheirBatch) {
    for (int i = 0; i < 16; ++i) ctx_->xf.combined[i] = (i % 5 == 0) ? -1.0f : 0.0f;
    struct Case {
        const char* name;
        ULONG kind;
        std::vector<float> pos;
    } cases[] = {
        {"a point alone", N_PRIM_POINTS, {100, 100, 5, 1}},
        {"points, one far outside", N_PRIM_POINTS, {100, 100, 5, 1, -5000, 100, 5, 1}},
        {"a line", N_PRIM_LINES, {100, 100, 5, 1, 200, 150, 5, 1}},
        {"a triangle", N_PRIM_TRIANGLES, {100, 100, 5, 1, 200, 100, 5, 1, 150, 200, 5, 1}},
        {"a triangle and one far outside", N_PRIM_TRIANGLES,
         {100, 100, 5, 1, 200, 100, 5, 1, 150, 200, 5, 1, -5000, 0, 5, 1, -4000, 0, 5, 1, -4500, 90, 5, 1}},
    };
    for (const Case& k : cases) {
        gPieces.clear();
        Draw(k.kind, k.pos, std::vector<float>(k.pos.size(), 1.0f));
        ULONG drawn = 0;
        for (const Piece& p : gPieces)
            for (ULONG r : p.runs)
                if ((r & 0xFFFFu) != N_RUN_SKIP) drawn += r >> 16;
        EXPECT_EQ(drawn, 0u) << k.name;
    }
}

// Faces of no area in the window are skipped (nothing to draw).
TEST_F(PrimsTest, FacesOfNoAreaAreSkipped) {
    for (ULONG kind : {N_PRIM_TRIANGLES, N_PRIM_QUADS}) {
        gPieces.clear();
        Draw(kind, {10, 10, 5, 1, 20, 20, 5, 1, 30, 30, 5, 1, 40, 40, 5, 1}, std::vector<float>(16, 1.0f));
        for (const Piece& p : gPieces)
            for (ULONG r : p.runs) EXPECT_EQ(r & 0xFFFFu, N_RUN_SKIP) << kind;
    }
}

// The colour stages walk the runs with the vertices: a culled face between
// drawn ones is passed over, and the strips of a batch each start at their
// own vertices' colours.
TEST_F(PrimsTest, ColoursFollowTheirVerticesPastSkippedFacesAndStrips) {
    std::vector<float> rgba;
    for (int i = 0; i < 9; ++i) rgba.insert(rgba.end(), {i / 8.0f, 1.0f - i / 8.0f, 0.25f, 1.0f});
    // Triangles: the middle one clockwise, culled.
    ctx_->val.cullBack = 1;
    Draw(N_PRIM_TRIANGLES, {10, 10, 5, 1, 60, 10, 5, 1, 10, 60, 5, 1, 100, 10, 5, 1, 100, 60, 5, 1, 150, 10, 5, 1,
                            200, 10, 5, 1, 250, 10, 5, 1, 200, 60, 5, 1},
         rgba);
    ctx_->val.cullBack = 0;
    ASSERT_EQ(gPieces.size(), 1u);
    ASSERT_EQ(gPieces[0].runs.size(), 3u);
    EXPECT_EQ(gPieces[0].runs[1] & 0xFFFFu, N_RUN_SKIP);
    ASSERT_EQ(gPieces[0].colours.size(), 9u);
    for (int i : {0, 1, 2, 6, 7, 8})
        EXPECT_EQ(gPieces[0].colours[i], Pack(rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2])) << i;
    // Two strips of one batch.
    gPieces.clear();
    N_PrimDesc d{};
    const std::vector<float> pos = {10, 10, 5, 1, 60, 10, 5, 1, 10, 60, 5, 1, 100, 10, 5, 1, 150, 10, 5, 1, 100, 60, 5, 1};
    const ULONG lengths[2] = {3, 3};
    d.kind = N_PRIM_TRI_STRIP;
    d.count = 6;
    d.cStrips = 2;
    d.pStripLengths = lengths;
    d.format = N_VTX_POS3 | N_VTX_RGBA;
    d.pPosition = pos.data();
    d.positionStride = 16;
    d.pColor = rgba.data();
    d.colorStride = 16;
    N_ExecPrimitive(&d);
    ASSERT_EQ(gPieces.size(), 2u);
    for (int s = 0; s < 2; ++s) {
        ASSERT_EQ(gPieces[s].colours.size(), 3u);
        for (int k = 0; k < 3; ++k) {
            const int i = 3 * s + k;
            EXPECT_EQ(gPieces[s].colours[k], Pack(rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2])) << i;
        }
    }
}

// A fan longer than a batch, with per-vertex colours: every call reads
// only its own vertices. When no state changed since a call, the next call
// of the same kind and format draws on that call's set-up; the earlier
// call's buffer is gone (unmapped) by then.
TEST_F(PrimsTest, LongFansReadOnlyTheirOwnCallsVertices) {
    const ULONG n = 1500;
    auto fan = [n](ULONG* pul) {
        for (ULONG i = 0; i < n; ++i) {
            const float a = 6.0f * static_cast<float>(i) / static_cast<float>(n);
            const float x = i == 0 ? 320.0f : 320.0f + 200.0f * std::cos(a);
            const float y = i == 0 ? 240.0f : 240.0f + 200.0f * std::sin(a);
            for (float f : {x, y, 5.0f, 1.0f, 0.5f, 1.0f, 0.25f, 1.0f}) *pul++ = F(f);
        }
    };
    std::vector<ULONG> data(std::size_t{n} * 8);
    fan(data.data());
    _NExecInlinePrim(ctx_, N_PRIM_FAN, N_VTX_POS4 | N_VTX_RGBA, n, data.data());
    const std::size_t cb = data.size() * 4;
    void* pv = mmap(nullptr, cb, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(pv, MAP_FAILED);
    fan(static_cast<ULONG*>(pv));
    _NExecInlinePrim(ctx_, N_PRIM_FAN, N_VTX_POS4 | N_VTX_RGBA, n, static_cast<ULONG*>(pv));
    munmap(pv, cb);
    ctx_->prim[N_PRIM_FAN - N_PRIM_FIRST_DISPATCH].dirtyMask = 0;  // nothing changed since
    gPieces.clear();
    _NExecInlinePrim(ctx_, N_PRIM_FAN, N_VTX_POS4 | N_VTX_RGBA, n, data.data());
    EXPECT_EQ(gPieces.size(), 2u);
}

// A flat-shaded fan cut by the window's edge: each face's piece takes the
// colour of that face's last vertex.
TEST_F(PrimsTest, ClippedFlatFanPiecesTakeTheirFacesProvokingColour) {
    N_SetStateBlockAttrWord(81, 1);  // flat shading
    WindowSpace();
    const std::vector<float> fan = {600, 100, 5, 1, 700, 100, 5, 1, 700, 200, 5, 1, 600, 200, 5, 1};
    const std::vector<float> rgba = {1, 0, 0, 1, 0, 1, 0, 1, 0, 0, 1, 1, 1, 1, 0, 1};
    Draw(N_PRIM_FAN, fan, rgba);
    ASSERT_EQ(gPieces.size(), 2u);
    for (ULONG f = 0; f < 2; ++f) {
        const float* c = &rgba[4 * (f + 2)];
        for (ULONG col : gPieces[f].colours) EXPECT_EQ(col, Pack(c[0], c[1], c[2])) << "face " << f;
    }
}

// Stage 29 writes the float colours of the drawn vertices; textured faces
// that replace their colour with the texel's (environment word 1, a
// texture format other than 8) get zeros instead.
TEST_F(PrimsTest, FloatColourStageZeroesColoursTheTextureReplaces) {
    N_Pipe* pipe = &ctx_->blocks[N_PRIM_POINTS & 15].front;
    CommonPipeData& c = *pipe->pCommonPipeData;
    pipe->next[N_STAGE_FLOAT_COLOUR] = lgi_test::NoRender;
    c.code = N_PRIM_POINTS;
    c.stripVertexCount = 2;
    c.pFaceRuns[0] = N_FACE_RUN(N_RUN_SECOND, 2);
    c.pFaceRuns[1] = 0;
    const float colours[8] = {0.5f, 0.25f, 1.0f, 0.75f, 1.0f, 0.0f, 0.5f, 1.0f};
    std::memcpy(c.pColours, colours, sizeof colours);
    const ULONG savedEnable = ctx_->enableWord;
    for (ULONG format : {3u, 8u}) {
        ctx_->enableWord = savedEnable | 0x400;
        ctx_->texEnv = 1;
        ctx_->texFormat = format;
        std::memset(c.pHwVertices, 0xFF, 2 * 5 * 4);
        _NStageFloatColour(ctx_, pipe);
        const auto* out = reinterpret_cast<const float*>(c.pHwVertices);
        for (ULONG v = 0; v < 2; ++v) {
            if (format != 8) {
                for (ULONG k = 0; k < 4; ++k) EXPECT_EQ(out[5 * v + k], 0.0f) << v << " " << k;
            } else {
                EXPECT_EQ(out[5 * v + 3], colours[4 * v + 3]) << v;  // alpha as it is
                EXPECT_NE(out[5 * v + 0], 0.0f) << v;
            }
        }
    }
    ctx_->enableWord = savedEnable;
    ctx_->texEnv = 0;
}

// --- user clip planes ---------------------------------------------------------------------------
// A reference vertex: position and colour.
struct RV {
    float x, y, r, g, b;
};

RV Lerp(const RV& a, const RV& b, float t) {
    return {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.r + t * (b.r - a.r), a.g + t * (b.g - a.g),
            a.b + t * (b.b - a.b)};
}

float PlaneValue(const float* p, const RV& v) { return p[0] * v.x + p[1] * v.y + p[2] * 5.0f + p[3]; }

// GL's clipping of a polygon against one plane (inside where the value is >= 0).
std::vector<RV> RefClipPolygon(const std::vector<RV>& in, const float* plane) {
    std::vector<RV> out;
    for (size_t i = 0; i < in.size(); ++i) {
        const RV& a = in[i];
        const RV& b = in[(i + 1) % in.size()];
        const float da = PlaneValue(plane, a), db = PlaneValue(plane, b);
        if (da >= 0) out.push_back(a);
        if ((da >= 0) != (db >= 0)) out.push_back(Lerp(a, b, da / (da - db)));
    }
    return out;
}

using Key = std::tuple<LONG, LONG, ULONG>;

std::set<Key> Keys(const std::vector<RV>& vs) {
    std::set<Key> k;
    for (const RV& v : vs)
        k.insert({static_cast<LONG>(v.x), static_cast<LONG>(v.y), PrimsTest::Pack(v.r, v.g, v.b)});
    return k;
}

std::set<Key> Recorded() {
    std::set<Key> k;
    for (const Piece& p : gPieces)
        for (size_t i = 0; i < p.colours.size(); ++i) k.insert({p.window[3 * i], p.window[3 * i + 1], p.colours[i]});
    return k;
}

class UserPlaneTest : public PrimsTest {
  protected:
    // Plane k of `planes` alone enabled (plane 0 alone takes the rotated form).
    void EnableOnly(const float (*planes)[4], ULONG k) {
        N_SetClipPlanes(6, planes[0]);
        ULONG on[6] = {};
        on[k] = 1;
        N_SetClipPlaneEnables(6, on);
        ctx_->setupStale = 1;
        WindowSpace();
        ASSERT_EQ(ctx_->altVertexPath, 1u);
    }
};

TEST_F(UserPlaneTest, TrianglesAndLinesCrossingEachPlaneAreClippedWithColoursInterpolated) {
    const float planes[6][4] = {{1, 0, 0, -100}, {-1, 0, 0, 100}, {0, 1, 0, -60},
                                {0, -1, 0, 60},  {1, 1, 0, -110}, {-1, -1, 0, 110}};
    const std::vector<RV> tri = {{50, 10, 1, 0, 0}, {150, 10, 0, 1, 0}, {50, 110, 0, 0, 1}};
    const std::vector<RV> line = {{50, 10, 1, 0, 0}, {150, 110, 0, 1, 0}};
    N_SetStateBlockAttrWord(89, 2);  // smooth lines: colours interpolated along the segment
    for (ULONG k = 0; k < 6; ++k) {
        EnableOnly(planes, k);
        for (ULONG kind : {N_PRIM_TRIANGLES, N_PRIM_POLYGON, N_PRIM_TRI_STRIP, N_PRIM_FAN}) {
            gPieces.clear();
            std::vector<float> pos, rgba;
            for (const RV& v : tri) pos.insert(pos.end(), {v.x, v.y, 5, 1}), rgba.insert(rgba.end(), {v.r, v.g, v.b, 1});
            Draw(kind, pos, rgba);
            EXPECT_EQ(Recorded(), Keys(RefClipPolygon(tri, planes[k]))) << "plane " << k << " kind " << kind;
        }
        // The segment: the reference clips it as a two-vertex polygon.
        for (ULONG kind : {N_PRIM_LINES, N_PRIM_LINE_STRIP}) {
            gPieces.clear();
            Draw(kind, {50, 10, 5, 1, 150, 110, 5, 1}, {1, 0, 0, 1, 0, 1, 0, 1});
            EXPECT_EQ(Recorded(), Keys(RefClipPolygon(line, planes[k]))) << "plane " << k << " kind " << kind;
        }
    }
}

TEST_F(UserPlaneTest, QuadsAndPointsOutsideAPlaneAreDropped) {
    const float planes[6][4] = {{0, 0, 0, 1}, {0, 0, 0, 1}, {1, 0, 0, -100}, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}};
    EnableOnly(planes, 2);
    // Points: those left of x = 100 go.
    Draw(N_PRIM_POINTS, {50, 10, 5, 1, 150, 20, 5, 1, 99, 30, 5, 1, 100, 40, 5, 1}, std::vector<float>(16, 1.0f));
    EXPECT_EQ(Recorded(), (std::set<Key>{{150, 20, 0xFFFFFFu}, {100, 40, 0xFFFFFFu}}));
    // A quad wholly outside draws nothing; one across the plane is cut at x = 100.
    gPieces.clear();
    Draw(N_PRIM_QUADS, {10, 10, 5, 1, 60, 10, 5, 1, 60, 60, 5, 1, 10, 60, 5, 1}, std::vector<float>(16, 1.0f));
    EXPECT_TRUE(gPieces.empty());
    const std::vector<RV> quad = {{50, 10, 1, 0, 0}, {250, 10, 0, 1, 0}, {250, 60, 0, 0, 1}, {50, 60, 1, 1, 1}};
    std::vector<float> pos, rgba;
    for (const RV& v : quad) pos.insert(pos.end(), {v.x, v.y, 5, 1}), rgba.insert(rgba.end(), {v.r, v.g, v.b, 1});
    Draw(N_PRIM_QUADS, pos, rgba);
    EXPECT_EQ(Recorded(), Keys(RefClipPolygon(quad, planes[2])));
    // A polygon is clipped triangle by triangle of its fan: the same outline,
    // and a vertex where the cut crosses the fan's inner edge.
    gPieces.clear();
    Draw(N_PRIM_POLYGON, pos, rgba);
    const std::set<Key> got = Recorded();
    for (const Key& k : Keys(RefClipPolygon(quad, planes[2]))) EXPECT_TRUE(got.count(k)) << std::get<0>(k);
    for (const Key& k : got) EXPECT_GE(std::get<0>(k), 100);
    // Planes off again: the ordinary path, nothing clipped.
    N_SetClipPlaneEnables(0, nullptr);
    ctx_->setupStale = 1;
    WindowSpace();
    EXPECT_EQ(ctx_->altVertexPath, 0u);
    gPieces.clear();
    Draw(N_PRIM_POINTS, {50, 10, 5, 1}, std::vector<float>(4, 1.0f));
    EXPECT_EQ(gPieces.size(), 1u);
}

// --- lighting --------------------------------------------------------------------------------
struct Mat {
    float emission[4], ambient[4], diffuse[4], specular[4], shininess;
};

// GL's lighting equation for one vertex (eye space = object space here,
// the viewer at infinity on +z).
std::array<float, 3> RefLight(const std::vector<N_Light>& lights, const Mat& m, const float* modelAmbient,
                              const float* v, const float* n) {
    std::array<double, 3> c{};
    for (int k = 0; k < 3; ++k) c[k] = m.emission[k] + modelAmbient[k] * m.ambient[k];
    for (const N_Light& l : lights) {
        double L[3], att = 1, spot = 1;
        if (l.position[3] == 0) {
            for (int k = 0; k < 3; ++k) L[k] = l.position[k];
        } else {
            for (int k = 0; k < 3; ++k) L[k] = l.position[k] - v[k];
            const double d = std::sqrt(L[0] * L[0] + L[1] * L[1] + L[2] * L[2]);
            att = 1.0 / (l.constantAttenuation + l.linearAttenuation * d + l.quadraticAttenuation * d * d);
        }
        const double ll = std::sqrt(L[0] * L[0] + L[1] * L[1] + L[2] * L[2]);
        for (double& f : L) f /= ll;
        if (l.spotCutoff != 180.0f) {
            const double sl = std::sqrt(double{l.spotDirection[0]} * l.spotDirection[0] +
                                        double{l.spotDirection[1]} * l.spotDirection[1] +
                                        double{l.spotDirection[2]} * l.spotDirection[2]);
            const double cosine = -(L[0] * l.spotDirection[0] + L[1] * l.spotDirection[1] + L[2] * l.spotDirection[2]) / sl;
            spot = cosine < std::cos(l.spotCutoff * 3.14159265358979 / 180.0) ? 0.0 : std::pow(cosine, l.spotExponent);
        }
        const double nl = n[0] * L[0] + n[1] * L[1] + n[2] * L[2];
        double h[3] = {L[0], L[1], L[2] + 1};
        const double lh = std::sqrt(h[0] * h[0] + h[1] * h[1] + h[2] * h[2]);
        const double nh = (n[0] * h[0] + n[1] * h[1] + n[2] * h[2]) / lh;
        const double diff = std::max(nl, 0.0), spec = nl > 0 && nh > 0 ? std::pow(nh, m.shininess) : 0.0;
        for (int k = 0; k < 3; ++k)
            c[k] += att * spot *
                    (l.ambient[k] * m.ambient[k] + diff * l.diffuse[k] * m.diffuse[k] + spec * l.specular[k] * m.specular[k]);
    }
    std::array<float, 3> out;
    for (int k = 0; k < 3; ++k) out[k] = static_cast<float>(std::clamp(c[k], 0.0, 1.0));
    return out;
}

N_Light Light(std::array<float, 4> pos, std::array<float, 3> diffuse, std::array<float, 3> spotDir, float cutoff,
              float exponent, std::array<float, 3> attenuation) {
    N_Light l{};
    for (int k = 0; k < 3; ++k) l.ambient[k] = 0.05f, l.diffuse[k] = diffuse[k], l.specular[k] = 0.7f;
    l.ambient[3] = l.diffuse[3] = l.specular[3] = 1;
    std::memcpy(l.position, pos.data(), 16);
    std::memcpy(l.spotDirection, spotDir.data(), 12);
    l.spotCutoff = cutoff;
    l.spotExponent = exponent;
    l.constantAttenuation = attenuation[0];
    l.linearAttenuation = attenuation[1];
    l.quadraticAttenuation = attenuation[2];
    return l;
}

class LightingTest : public PrimsTest {
  protected:
    void Lit(const std::vector<N_Light>& lights, const Mat& front, const Mat& back, bool bTwoSided) {
        N_SetStateBlockAttrWord(79, 1);
        N_SetStateBlockAttrWord(46, bTwoSided ? 1 : 0);
        N_SetStateBlockAttr(75, kModelAmbient);
        const float normal[3] = {0, 0, 1};
        N_SetStateBlockAttr(55, normal);
        for (int face = 0; face < 2; ++face) {
            const Mat& m = face == 0 ? front : back;
            const ULONG base = face == 0 ? 58 : 67;
            N_SetStateBlockAttr(base, m.emission);
            N_SetStateBlockAttr(base + 1, m.ambient);
            N_SetStateBlockAttr(base + 2, m.diffuse);
            N_SetStateBlockAttr(base + 3, m.specular);
            N_SetStateBlockAttr(base + 4, &m.shininess);
        }
        N_SetLights(static_cast<ULONG>(lights.size()), lights.data());
        const std::vector<ULONG> on(lights.size(), 1);
        N_SetLightEnables(static_cast<ULONG>(on.size()), on.data());
        ctx_->setupStale = 1;
        WindowSpace();
        for (N_PrimDispatch& pd : ctx_->prim) pd.pfnVertexStage = _NLightingStageFn(N_LIGHT_STAGE_GENERAL_VERTEX);
    }
    // Draws one triangle and checks each vertex's colour against the
    // reference of material m and normal n.
    void Check(const std::vector<float>& pos, const std::vector<N_Light>& lights, const Mat& m, const float* n) {
        gPieces.clear();
        Draw(N_PRIM_TRIANGLES, pos, std::vector<float>(12, 1.0f));
        ASSERT_EQ(gPieces.size(), 1u);
        ASSERT_EQ(gPieces[0].colours.size(), 3u);
        for (int i = 0; i < 3; ++i) {
            const auto ref = RefLight(lights, m, kModelAmbient, &pos[4 * i], n);
            const ULONG got = gPieces[0].colours[i];
            const ULONG want = Pack(ref[0], ref[1], ref[2]);
            for (int sh : {16, 8, 0})
                EXPECT_NEAR(static_cast<int>((got >> sh) & 255), static_cast<int>((want >> sh) & 255), 1)
                    << "vertex " << i << " shift " << sh << std::hex << " got " << got << " want " << want;
        }
    }
    const float kModelAmbient[4] = {0.2f, 0.2f, 0.2f, 1};
    const Mat kFront = {{0.05f, 0, 0, 1}, {0.2f, 0.2f, 0.2f, 1}, {0.8f, 0.6f, 0.4f, 1}, {0.5f, 0.5f, 0.5f, 1}, 10};
    const Mat kBack = {{0, 0, 0.1f, 1}, {0.9f, 0.1f, 0.1f, 1}, {0.1f, 0.9f, 0.1f, 1}, {0.3f, 0.3f, 0.3f, 1}, 4};
};

TEST_F(LightingTest, OneAndEightLightsFollowGLsEquation) {
    const std::vector<float> tri = {10, 10, 5, 1, 60, 10, 5, 1, 10, 60, 5, 1};
    const float up[3] = {0, 0, 1};
    // One positional spot light with attenuation.
    const std::vector<N_Light> one = {Light({30, 30, 40, 1}, {1, 0.5f, 0.25f}, {0, 0, -1}, 45, 2, {1, 0.01f, 0.0005f})};
    Lit(one, kFront, kBack, false);
    Check(tri, one, kFront, up);
    // Eight: directional and positional, spots with cut-offs some vertices
    // fall outside, attenuation of each kind.
    const std::vector<N_Light> eight = {
        Light({0, 0, 1, 0}, {0.2f, 0.2f, 0.2f}, {0, 0, -1}, 180, 0, {1, 0, 0}),
        Light({1, 1, 1, 0}, {0.1f, 0.3f, 0.1f}, {0, 0, -1}, 180, 0, {1, 0, 0}),
        Light({10, 10, 30, 1}, {0.3f, 0.1f, 0.1f}, {0, 0, -1}, 20, 1, {1, 0, 0}),
        Light({60, 10, 20, 1}, {0.1f, 0.1f, 0.4f}, {-1, 0, -1}, 60, 8, {0.5f, 0.02f, 0}),
        Light({-20, 40, 10, 1}, {0.2f, 0.2f, 0}, {0, 0, -1}, 180, 0, {1, 0, 0.001f}),
        Light({20, 20, 100, 1}, {0.1f, 0.1f, 0.1f}, {0, 0, -1}, 180, 0, {0, 0.02f, 0}),
        Light({0, -1, 2, 0}, {0.05f, 0.1f, 0.2f}, {0, 0, -1}, 180, 0, {1, 0, 0}),
        Light({40, 40, 15, 1}, {0.2f, 0, 0.2f}, {0, 0, -1}, 30, 0, {2, 0, 0})};
    Lit(eight, kFront, kBack, false);
    Check(tri, eight, kFront, up);
}

// With clip plane 0 alone enabled the pipe works in a space rotated onto
// the plane (the alternative vertex path); lighting comes out as without it.
TEST_F(LightingTest, ClipPlaneZeroAloneLeavesLightingAsIs) {
    const std::vector<float> tri = {10, 10, 5, 1, 60, 10, 5, 1, 10, 60, 5, 1};
    const float up[3] = {0, 0, 1};
    const std::vector<N_Light> lights = {Light({30, 30, 40, 1}, {1, 0.5f, 0.25f}, {0, 0, -1}, 45, 2, {1, 0.01f, 0.0005f})};
    const float plane[4] = {0.6f, 0.8f, 0, 1000};  // every vertex inside
    N_SetClipPlanes(1, plane);
    const ULONG on = 1;
    N_SetClipPlaneEnables(1, &on);
    Lit(lights, kFront, kBack, false);
    ASSERT_EQ(ctx_->clipPlane0Only, 1u);
    ASSERT_EQ(ctx_->altVertexPath, 1u);
    Check(tri, lights, kFront, up);
}

TEST_F(LightingTest, BackFacesOfTwoSidedLightingTakeTheBackMaterialAndReversedNormal) {
    const std::vector<N_Light> lights = {Light({30, 30, 40, 1}, {1, 0.5f, 0.25f}, {0, 0, -1}, 180, 0, {1, 0, 0}),
                                         Light({0, 0, -1, 0}, {0.2f, 0.7f, 0.3f}, {0, 0, -1}, 180, 0, {1, 0, 0})};
    const float up[3] = {0, 0, 1}, down[3] = {0, 0, -1};
    const std::vector<float> front = {10, 10, 5, 1, 60, 10, 5, 1, 10, 60, 5, 1};
    const std::vector<float> back = {10, 10, 5, 1, 10, 60, 5, 1, 60, 10, 5, 1};
    Lit(lights, kFront, kBack, true);
    Check(front, lights, kFront, up);
    Check(back, lights, kBack, down);
    // Fogged half way (linear fog over window z 0-10, z = 5): the back
    // colours are fogged too.
    const float fogColour[4] = {0, 0, 1, 1}, start = 0, end = 10;
    N_SetStateBlockAttrWord(105, 1);
    N_SetStateBlockAttrWord(106, 2);
    N_SetStateBlockAttr(108, &start);
    N_SetStateBlockAttr(109, &end);
    N_SetStateBlockAttr(110, fogColour);
    Lit(lights, kFront, kBack, true);
    const float I[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::memcpy(ctx_->xf.fogInverse, I, sizeof I);
    gPieces.clear();
    Draw(N_PRIM_TRIANGLES, back, std::vector<float>(12, 1.0f));
    ASSERT_EQ(gPieces.size(), 1u);
    ASSERT_EQ(gPieces[0].colours.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const auto ref = RefLight(lights, kBack, kModelAmbient, &back[4 * i], down);
        const ULONG want = Pack(0.5f * ref[0], 0.5f * ref[1], 0.5f * ref[2] + 0.5f), got = gPieces[0].colours[i];
        for (int sh : {16, 8, 0})
            EXPECT_NEAR(static_cast<int>((got >> sh) & 255), static_cast<int>((want >> sh) & 255), 1) << i;
    }
    N_SetStateBlockAttrWord(105, 0);
    // A back face cut by a user plane: the new vertices interpolate the
    // back colours.
    const float planes[2][4] = {{0, 0, 0, 1}, {1, 0, 0, -35}};  // plane 1: x >= 35
    N_SetClipPlanes(2, planes[0]);
    const ULONG on[2] = {0, 1};
    N_SetClipPlaneEnables(2, on);
    Lit(lights, kFront, kBack, true);
    std::vector<RV> ref;
    for (int i = 0; i < 3; ++i) {
        const auto c = RefLight(lights, kBack, kModelAmbient, &back[4 * i], down);
        ref.push_back({back[4 * i], back[4 * i + 1], c[0], c[1], c[2]});
    }
    gPieces.clear();
    Draw(N_PRIM_TRIANGLES, back, std::vector<float>(12, 1.0f));
    const std::set<Key> got = Recorded(), want = Keys(RefClipPolygon(ref, planes[1]));
    ASSERT_EQ(got.size(), want.size());
    for (auto g = got.begin(), w = want.begin(); g != got.end(); ++g, ++w) {
        EXPECT_EQ(std::get<0>(*g), std::get<0>(*w));
        EXPECT_EQ(std::get<1>(*g), std::get<1>(*w));
        for (int sh : {16, 8, 0})
            EXPECT_NEAR(static_cast<int>((std::get<2>(*g) >> sh) & 255), static_cast<int>((std::get<2>(*w) >> sh) & 255), 1);
    }
    N_SetClipPlaneEnables(0, nullptr);
    // One-sided: the back face is lit as the front.
    Lit(lights, kFront, kBack, false);
    Check(back, lights, kFront, up);
}

// --- batches ---------------------------------------------------------------------------------
// A strip or fan longer than a batch goes as batches that repeat the
// vertices the next one needs (the strip's last two, the fan's centre and
// last): together they draw every face of the whole primitive, each with
// the whole primitive's facing.
TEST_F(PrimsTest, StripsAndFansThatWrapABatchDrawEveryFaceOnce) {
    std::vector<float> strip, fan;
    for (int i = 0; i < 12; ++i) strip.insert(strip.end(), {10.0f + 20 * (i / 2), i % 2 ? 10.0f : 40.0f, 5, 1});
    fan.insert(fan.end(), {200, 200, 5, 1});
    for (int i = 0; i < 9; ++i) {
        const float a = 0.3f * static_cast<float>(i);
        fan.insert(fan.end(), {200 + 100 * std::cos(a), 200 + 100 * std::sin(a), 5, 1});
    }
    auto sub = [](const std::vector<float>& v, std::initializer_list<int> idx) {
        std::vector<float> out;
        for (int i : idx) out.insert(out.end(), v.begin() + 4 * i, v.begin() + 4 * i + 4);
        return out;
    };
    struct Case {
        ULONG kind;
        std::vector<float> first, second;
        ULONG faces;
    } cases[] = {{N_PRIM_TRI_STRIP, sub(strip, {0, 1, 2, 3, 4, 5, 6, 7}), sub(strip, {6, 7, 8, 9, 10, 11}), 10},
                 {N_PRIM_FAN, sub(fan, {0, 1, 2, 3, 4, 5, 6}), sub(fan, {0, 6, 7, 8, 9}), 8}};
    for (const Case& k : cases) {
        gPieces.clear();
        for (const auto* batch : {&k.first, &k.second}) Draw(k.kind, *batch, std::vector<float>(batch->size(), 1.0f));
        ASSERT_EQ(gPieces.size(), 2u) << k.kind;
        ULONG faces = 0, code = 0;
        for (const Piece& p : gPieces) {
            ASSERT_EQ(p.runs.size(), 1u) << k.kind << ": one facing throughout";
            if (code == 0) code = p.runs[0] & 0xFFFFu;
            EXPECT_EQ(p.runs[0] & 0xFFFFu, code) << k.kind;
            faces += p.runs[0] >> 16;
        }
        EXPECT_EQ(code, N_RUN_FIRST) << k.kind << ": counter-clockwise faces are front faces";
        EXPECT_EQ(faces, k.faces) << k.kind;
        // The second batch starts on the vertices it repeats.
        EXPECT_EQ(gPieces[1].window[0], static_cast<LONG>(k.second[0])) << k.kind;
        EXPECT_EQ(gPieces[1].window[3], static_cast<LONG>(k.second[4])) << k.kind;
    }
}

// An inline draw command longer than a batch is split into batches that
// repeat the vertices the next one needs: every point, segment and face of
// the whole primitive reaches the render stage once, a batch of exactly the
// batch size goes whole.
TEST_F(PrimsTest, InlineDrawsLongerThanABatchAreSplit) {
    struct Case {
        ULONG kind, n;
        ULONG units;   // points, segments or faces of the whole primitive
        ULONG pieces;  // batches
    } cases[] = {{N_PRIM_POINTS, 1100, 1100, 2},     {N_PRIM_POINTS, 1020, 1020, 1},
                 {N_PRIM_POINTS, 2041, 2041, 3},     {N_PRIM_LINES, 1500, 750, 2},
                 {N_PRIM_LINE_STRIP, 1500, 1499, 2}, {N_PRIM_TRI_STRIP, 2100, 2098, 3},
                 {N_PRIM_FAN, 1500, 1498, 2},        {N_PRIM_TRIANGLES, 1200, 400, 2},
                 {N_PRIM_QUADS, 1200, 300, 2},       {N_PRIM_POLYGON, 1300, 1298, 2}};
    for (const Case& k : cases) {
        // Vertices in the window, x from the index, y alternating (strips
        // wind consistently); a fan's and a polygon's on a circle.
        std::vector<ULONG> data;
        for (ULONG i = 0; i < k.n; ++i) {
            float x = 10.0f + static_cast<float>(i % 600), y = (i & 1) ? 300.0f : 100.0f;
            if (k.kind == N_PRIM_FAN || k.kind == N_PRIM_POLYGON) {
                const float a = 6.0f * static_cast<float>(i) / static_cast<float>(k.n);
                x = i == 0 && k.kind == N_PRIM_FAN ? 320.0f : 320.0f + 200.0f * std::cos(a);
                y = i == 0 && k.kind == N_PRIM_FAN ? 240.0f : 240.0f + 200.0f * std::sin(a);
            } else if (k.kind == N_PRIM_TRIANGLES || k.kind == N_PRIM_QUADS) {
                const ULONG corner = i % (k.kind == N_PRIM_QUADS ? 4 : 3);
                x = 10.0f + static_cast<float>((i / 4) % 500) + (corner == 1 || corner == 2 ? 50.0f : 0.0f);
                y = corner >= 2 ? 300.0f : 100.0f;
            }
            for (float f : {x, y, 5.0f, 1.0f}) data.push_back(F(f));
        }
        gPieces.clear();
        vnx::debug::clear();
        _NExecInlinePrim(ctx_, k.kind, N_VTX_POS4, k.n, data.data());
        EXPECT_EQ(vnx::debug::take().find("refused"), std::string::npos) << k.kind;
        ULONG units = 0;
        for (const Piece& p : gPieces) {
            const ULONG nv = static_cast<ULONG>(p.window.size() / 3);
            EXPECT_LE(nv, _NBatchSize(k.kind)) << k.kind;
            // The run list covers the batch's own vertices.
            if (k.kind < N_PRIM_POLYGON) EXPECT_EQ(p.runs, std::vector<ULONG>{N_FACE_RUN(N_RUN_SECOND, nv)}) << k.kind;
            if (k.kind == N_PRIM_POINTS) units += nv;
            else if (k.kind == N_PRIM_LINES) units += nv / 2;
            else if (k.kind == N_PRIM_LINE_STRIP) units += nv - 1;
            else
                for (ULONG r : p.runs) units += r >> 16;  // faces, drawn or skipped (a fan's may be thin)
        }
        EXPECT_EQ(units, k.units) << "kind " << k.kind << " n " << k.n;
        EXPECT_EQ(gPieces.size(), k.pieces) << "kind " << k.kind << " n " << k.n;
        // Later batches of a fan start at its centre.
        if (k.kind == N_PRIM_FAN)
            for (const Piece& p : gPieces) EXPECT_EQ(p.window[0], 320);
        // A strip's next batch starts on the vertices the last one ended with.
        if (k.kind == N_PRIM_LINE_STRIP || k.kind == N_PRIM_TRI_STRIP)
            for (size_t i = 1; i < gPieces.size(); ++i) {
                const size_t carried = k.kind == N_PRIM_LINE_STRIP ? 1 : 2;
                const std::vector<LONG>& a = gPieces[i - 1].window;
                const std::vector<LONG>& b = gPieces[i].window;
                EXPECT_TRUE(std::equal(a.end() - 3 * carried, a.end(), b.begin())) << k.kind;
            }
    }
}

// --- raster position ---------------------------------------------------------------------------
// The raster position's vertex runs the kind-62 pipe to its render
// function with its window coordinates; one outside the view volume or a
// user plane never reaches it and leaves the position invalid.
TEST_F(PrimsTest, RasterPositionRunsItsPipeAndIsInvalidWhenClipped) {
    struct Case {
        float v[4];
        bool bDrawn;
    } cases[] = {{{100, 50, 5, 1}, true}, {{200, 60, 10, 2}, true}, {{700, 50, 5, 1}, false}, {{10, 10, 5, 0}, false}};
    for (const Case& k : cases) {
        gPieces.clear();
        *pulAttr(ctx_, N_ATTR_RASTER_POS_VALID) = 1;
        N_RasterPos(k.v);
        ASSERT_EQ(gPieces.size(), k.bDrawn ? 1u : 0u) << k.v[0];
        if (k.bDrawn) {
            ASSERT_EQ(gPieces[0].window.size(), 3u);
            EXPECT_EQ(gPieces[0].window[0], static_cast<LONG>(k.v[0] / k.v[3]));
            EXPECT_EQ(gPieces[0].window[1], static_cast<LONG>(k.v[1] / k.v[3]));
        } else {
            EXPECT_EQ(*pulAttr(ctx_, N_ATTR_RASTER_POS_VALID), 0u) << k.v[0];
        }
    }
    // A user plane that the position lies outside of.
    const float plane[4] = {-1, 0, 0, 50};  // x <= 50
    N_SetClipPlanes(1, plane);
    const ULONG on = 1;
    N_SetClipPlaneEnables(1, &on);
    ctx_->setupStale = 1;
    WindowSpace();
    gPieces.clear();
    const float v[4] = {100, 50, 5, 1};
    N_RasterPos(v);
    EXPECT_TRUE(gPieces.empty());
    EXPECT_EQ(*pulAttr(ctx_, N_ATTR_RASTER_POS_VALID), 0u);
}

// A window that shows nothing is bound as one all-zero rectangle (or as a
// list of empty ones): its pipes get no vertex stages and nothing reaches a
// render function; the raster position is still computed (it does not
// depend on what of the window shows).
TEST_F(PrimsTest, AWindowThatShowsNothingRunsNoVertexStages) {
    const ULONG empties[4] = {(10u << 16) | 10u, (10u << 16) | 10u, (20u << 16) | 30u, (90u << 16) | 30u};
    const std::vector<float> tri = {10, 10, 5, 1, 60, 10, 5, 1, 10, 60, 5, 1};
    for (int list = 0; list < 2; ++list) {
        if (list == 0) N_BindClipList(0, nullptr);
        else N_BindClipList(2, empties);
        WindowSpace();
        gPieces.clear();
        for (ULONG kind : {N_PRIM_POINTS, N_PRIM_LINES, N_PRIM_TRIANGLES, N_PRIM_QUADS}) {
            // No vertex stage ran: the position stage left the window
            // coordinates of the block alone.
            LONG* win = ctx_->blocks[kind & 15].common.pWindow;
            win[0] = win[1] = -7;
            Draw(kind, tri, std::vector<float>(tri.size(), 0.5f));
            EXPECT_EQ(win[0], -7) << "list " << list << " kind " << kind;
            EXPECT_EQ(win[1], -7) << "list " << list << " kind " << kind;
        }
        EXPECT_TRUE(gPieces.empty()) << "list " << list;
        const float v[4] = {100, 50, 5, 1};
        N_RasterPos(v);
        ASSERT_EQ(gPieces.size(), 1u) << "list " << list;
        EXPECT_EQ(gPieces[0].window[0], 100);
        EXPECT_EQ(gPieces[0].window[1], 50);
    }
    // A list with one rectangle that shows pixels draws again.
    const ULONG rect[2] = {0, (479u << 16) | 639u};
    N_BindClipList(1, rect);
    WindowSpace();
    gPieces.clear();
    Draw(N_PRIM_TRIANGLES, tri, std::vector<float>(tri.size(), 0.5f));
    EXPECT_EQ(gPieces.size(), 1u);
}

// --- fog -------------------------------------------------------------------------------------
TEST_F(PrimsTest, FogLinearExpAndExp2BlendEachVertexByItsDistance) {
    const float fog[4] = {0.2f, 0.4f, 1.0f, 1.0f};
    struct Case {
        ULONG mode;
        float density, start, end;
    } cases[] = {{2, 0, 4, 44}, {0, 0.05f, 0, 0}, {1, 0.03f, 0, 0}, {2, 0, 10, 10}};  // start = end: no fog
    // Window z is the eye distance here: the fog row of (W x P)^-1 is z's.
    const std::vector<float> pos = {10, 10, 4, 1, 60, 10, 20, 1, 10, 60, 50, 1};
    const std::vector<float> rgba = {1, 0, 0, 1, 0, 1, 0, 1, 0.5f, 0.5f, 0.5f, 1};
    for (const Case& k : cases) {
        N_SetStateBlockAttrWord(105, 1);
        N_SetStateBlockAttrWord(106, k.mode);
        N_SetStateBlockAttr(107, &k.density);
        N_SetStateBlockAttr(108, &k.start);
        N_SetStateBlockAttr(109, &k.end);
        N_SetStateBlockAttr(110, fog);
        ctx_->setupStale = 1;
        WindowSpace();
        const float I[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        std::memcpy(ctx_->xf.fogInverse, I, sizeof I);
        gPieces.clear();
        Draw(N_PRIM_TRIANGLES, pos, rgba);
        ASSERT_EQ(gPieces.size(), 1u) << k.mode;
        ASSERT_EQ(gPieces[0].colours.size(), 3u);
        for (int i = 0; i < 3; ++i) {
            const double z = pos[4 * i + 2];
            double f = k.mode == 2 ? (k.end == k.start ? 1.0 : (k.end - z) / (k.end - k.start))
                       : k.mode == 0 ? std::exp(-k.density * z)
                                     : std::exp(-(k.density * z) * (k.density * z));
            f = std::clamp(f, 0.0, 1.0);
            float c[3];
            for (int ch = 0; ch < 3; ++ch) c[ch] = static_cast<float>(f * rgba[4 * i + ch] + (1 - f) * fog[ch]);
            const ULONG want = Pack(c[0], c[1], c[2]), got = gPieces[0].colours[i];
            for (int sh : {16, 8, 0})
                EXPECT_NEAR(static_cast<int>((got >> sh) & 255), static_cast<int>((want >> sh) & 255), 1)
                    << "mode " << k.mode << " vertex " << i << std::hex << " got " << got << " want " << want;
        }
    }
}

TEST(LgiNumeric, PowersAndInverseRoots) {
    EXPECT_EQ(_NPowInt(2.0f, 0), 1.0f);
    EXPECT_EQ(_NPowInt(2.0f, 5), 32.0f);
    EXPECT_EQ(_NInvSqrt(4.0f), 0.5f);
}

}  // namespace
