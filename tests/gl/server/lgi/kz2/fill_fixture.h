// The filled-polygon render functions over a simulated board: a triangle
// program of a layout code built into a program slot (its image made by
// the program serialiser), a hand-made batch as the vertex part and the
// face-culling stage leave it, and the triangles each rasterizer received.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstring>
#include <set>
#include <vector>

#include "gl/server/lgi/board_fixture.h"
#include "kz2/render/kzfill.h"
#include "kzprimwords.h"
#include "shared/frame/hwframe.h"

namespace fill_test {

using namespace lgi_test;

// A whole-pixel window position packed as the board's position words hold it.
inline ULONG Pos(LONG x, LONG y) { return (static_cast<ULONG>(y) << 20) | ((static_cast<ULONG>(x) << 4) & 0xFFFF); }

// Window vertices (whole pixels) no render function may draw: a NaN or
// infinite coordinate reaches them as the indefinite value 0x80000000, in
// x, y or z; a coordinate far beyond every view volume would wrap in the
// 28.4 word. Each lies on the board's (0, y) or (x, 0) once packed.
struct Undrawable {
    const char* name;
    std::array<LONG, 3> v;
};
constexpr LONG kIndefinite = static_cast<LONG>(0x80000000u);
inline const Undrawable kUndrawable[] = {{"NaN x", {kIndefinite, 5, 0x100}},
                                         {"infinite y", {5, kIndefinite, 0x100}},
                                         {"NaN z", {5, 5, kIndefinite}},
                                         {"far x", {LONG{1} << 25, 5, 0x100}},
                                         {"far -y", {5, -(LONG{1} << 25), 0x100}}};

inline ULONG gcNext = 0;
inline void CountNext(N_Context*, N_Pipe*) { ++gcNext; }

// Header load kinds of polygon programs as the micro-code generator writes
// them: one word a packet, a face, a vertex.
constexpr ULONG kLoadPerPacket = 1, kLoadPerFace = 2, kLoadPerVertex = 3;

// The words of one triangle by layout code, in sending order: c and a the
// face's colour and alpha word (its provoking vertex's), C, A and Z the
// colour, alpha and depth words of the three vertices, P their positions;
// head: the words once a packet, colour first. The list fills put the
// vertices' depth words before their alphas (13); the strip fill, the only
// one to take 14, the alphas first.
struct TriangleOrder {
    ULONG d;
    const char* words;
    const char* head;
};
inline constexpr TriangleOrder kTriangleOrders[] = {
    {1, "P", ""},      {2, "CP", ""},     {3, "CAP", ""},   {4, "AP", ""},     {5, "cP", ""},
    {6, "caP", ""},    {7, "aP", ""},     {8, "P", "c"},    {9, "P", "ca"},    {10, "P", "a"},
    {11, "ZP", ""},    {12, "CZP", ""},   {13, "CZAP", ""}, {14, "AZP", ""},   {15, "cZP", ""},
    {16, "caZP", ""},  {17, "aZP", ""},   {18, "ZP", "c"},  {19, "ZP", "ca"},  {20, "ZP", "a"},
};
inline const TriangleOrder& TriangleOrderOf(ULONG d) {
    for (const TriangleOrder& o : kTriangleOrders)
        if (o.d == d) return o;
    ADD_FAILURE() << "no triangle order for layout " << d;
    return kTriangleOrders[0];
}

// The data-register loads of a triangle program of the layout, in the
// generator's registers: the colour in rgb0, the depth in z0, the alpha in
// z1; the per-packet words take the first of rgb0, z1 and z2 left free.
inline ULONG LoadsOf(ULONG d) {
    const TriangleOrder& o = TriangleOrderOf(d);
    ULONG loads = 0;
    for (const char* w = o.words; *w != 0; ++w) {
        const char kind = static_cast<char>(std::tolower(*w));
        if (kind == 'p') continue;
        const ULONG reg = kind == 'c' ? KZU_rgb0 : kind == 'z' ? KZU_z0 : KZU_z1;
        loads |= kzuHdrLoadKind(reg, std::isupper(*w) ? kLoadPerVertex : kLoadPerFace);
    }
    const ULONG packetWords = static_cast<ULONG>(std::strlen(o.head));
    ULONG i = 0;
    for (const ULONG reg : {ULONG{KZU_rgb0}, ULONG{KZU_z1}, ULONG{KZU_z2}}) {
        if (i == packetWords || (loads & kzuHdrLoadKind(reg, 3)) != 0) continue;
        loads |= kzuHdrLoadKind(reg, kLoadPerPacket);
        ++i;
    }
    return loads;
}

struct Batch {
    ULONG kind = N_PRIM_TRIANGLES;
    std::vector<ULONG> strips;                   // vertex counts (one strip of all when empty)
    std::vector<std::array<LONG, 3>> v;          // window x, y, z
    std::vector<std::pair<ULONG, ULONG>> runs;   // (code, faces)
    ULONG records = 0;                           // colour records (as many as vertices when 0)
};

// Colour record i: colour gColourBase + i, alpha (i + 1) / 32.
inline ULONG gColourBase = 0xC0000;
inline ULONG ColourOf(ULONG i) { return gColourBase + i; }
inline float AlphaOf(ULONG i) { return static_cast<float>(i + 1) / 32.0f; }
inline ULONG AlphaWordOf(ULONG i) { return static_cast<ULONG>(std::lround(AlphaOf(i) * 256.0f)) & 0x1FF; }

using Prim = std::vector<ULONG>;

class FillTest : public LgiBoardTest {
  protected:
    // Boots the board (again: the last board's stream is checked first).
    void Prepare(const BoardModel& m, ULONG d, ULONG modelImprecision = 0) {
        if (board_ != nullptr) {
            Drain();
            for (const auto& e : board_->take_errors())
                ADD_FAILURE() << "board error on rasterizer " << e.rasterizer << ": " << e.message;
        }
        Boot(m, modelImprecision);
        pGLPageConfig(Pdev())->cDepthBits = 24;
        SetProgram(d);
        gcNext = 0;
        gColourBase = 0xC0000;
    }
    // Builds a triangle program of layout d into the slot: a pid, one
    // instruction and the clip pair.
    void SetProgram(ULONG d, ULONG slot = 0, ULONG pid = 0x1234) {
        BuildProgram(ctx_, slot, 0x25 | LoadsOf(d), d, {pid});
    }
    const kzRenderProg& Program(ULONG slot = 0) { return *pkzProgOf(ctx_->pHw->programs[slot]); }

    // Runs fn over the batch through the front pipe (or the back pipe,
    // which the back program draws).
    void Draw(N_StageFn fn, const Batch& b, bool bBackPipe = false) {
        N_PipeBlock& blk = ctx_->blocks[b.kind & 15];
        N_Pipe* pipe = bBackPipe ? &blk.back : &blk.front;
        pipe->pBack = bBackPipe ? pipe : &blk.back;
        CommonPipeData& c = blk.common;
        pipe->pCommonPipeData = &c;
        pipe->next[N_STAGE_RENDER] = CountNext;
        c.code = b.kind;
        strips_ = b.strips.empty() ? std::vector<ULONG>{ULONG(b.v.size())} : b.strips;
        c.stripCount = static_cast<ULONG>(strips_.size());
        c.pStripCounts = strips_.data();
        c.stripVertexCount = static_cast<ULONG>(b.v.size());
        window_.clear();
        for (const auto& v : b.v) window_.insert(window_.end(), v.begin(), v.end());
        if (window_.empty()) window_.resize(3);
        c.pWindow = window_.data();
        runs_.clear();
        for (const auto& r : b.runs) runs_.push_back(N_FACE_RUN(r.first, r.second));
        runs_.push_back(N_FACE_RUN(1, 0));
        c.pFaceRuns = runs_.data();
        const ULONG records = std::max<ULONG>(b.records != 0 ? b.records : ULONG(b.v.size()), 1);
        colours_.assign(5 * records, 0);
        for (ULONG e = 0; e < records; ++e) {
            colours_[5 * e] = ColourOf(e);
            colours_[5 * e + 1] = std::bit_cast<ULONG>(AlphaOf(e));
        }
        c.pHwVertices = colours_.data();
        fn(ctx_, pipe);
    }

    // Each rasterizer's drawing packets.
    std::vector<std::vector<vnx::board::DecodedPacket>> Packets() { return Drain(); }
    // The primitives of one rasterizer's packets, in order.
    static std::vector<Prim> PrimsIn(const std::vector<vnx::board::DecodedPacket>& packets) {
        std::vector<Prim> out;
        for (const auto& p : packets)
            for (std::size_t i = 0; i < p.primitives; ++i) out.push_back(p.primitive(i));
        return out;
    }
    // The primitives each rasterizer received, packet after packet.
    static std::vector<std::vector<Prim>> PrimsOf(const std::vector<std::vector<vnx::board::DecodedPacket>>& all) {
        std::vector<std::vector<Prim>> out;
        for (const auto& packets : all) out.push_back(PrimsIn(packets));
        return out;
    }
    std::vector<std::vector<Prim>> Received() { return PrimsOf(Packets()); }

    // The words of triangle (a, b, c) of the batch in layout d: vertex
    // indices, their colour records, and the record of a one-colour face.
    static Prim Expect(ULONG d, const Batch& b, std::array<ULONG, 3> vtx, std::array<ULONG, 3> rec, ULONG provoking,
                       ULONG yAdd = 0) {
        Prim t;
        for (const char* w = TriangleOrderOf(d).words; *w != 0; ++w) {
            const ULONG count = std::isupper(*w) ? 3 : 1;
            for (ULONG j = 0; j < count; ++j) {
                const ULONG r = count == 1 ? provoking : rec[j];
                const auto& v = b.v[vtx[j]];
                switch (std::tolower(*w)) {
                case 'c': t.push_back(ColourOf(r)); break;
                case 'a': t.push_back(AlphaWordOf(r)); break;
                case 'z': t.push_back(static_cast<ULONG>(v[2])); break;
                default:
                    t.push_back(((static_cast<ULONG>(v[1]) + yAdd) << 20) | ((static_cast<ULONG>(v[0]) << 4) & 0xFFFF));
                    break;
                }
            }
        }
        return t;
    }

    // The words once a packet of layout d from colour record r.
    static std::vector<ULONG> Head(ULONG d, ULONG r) {
        std::vector<ULONG> head;
        for (const char* w = TriangleOrderOf(d).head; *w != 0; ++w) head.push_back(*w == 'c' ? ColourOf(r) : AlphaWordOf(r));
        return head;
    }

    std::vector<ULONG> strips_, runs_, colours_;
    std::vector<LONG> window_;
};

}  // namespace fill_test
