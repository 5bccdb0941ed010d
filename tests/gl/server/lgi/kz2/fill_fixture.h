// The filled-polygon render functions over a simulated board: a triangle
// program of a layout code built into a program slot (its image made by
// the program serialiser), a hand-made batch as the vertex part and the
// face-culling stage leave it, and the triangles each rasterizer received.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <set>
#include <vector>

#include "gl/server/lgi/board_fixture.h"
#include "kz2/kzfill.h"
#include "kzprimwords.h"
#include "shared/hwframe.h"

namespace fill_test {

using namespace lgi_test;

// A whole-pixel window position packed as the board's position words hold it.
inline ULONG Pos(LONG x, LONG y) { return (static_cast<ULONG>(y) << 20) | ((static_cast<ULONG>(x) << 4) & 0xFFFF); }

inline ULONG gcNext = 0;
inline void CountNext(N_Context*, N_Pipe*) { ++gcNext; }

// Header load kinds of polygon programs as the micro-code generator writes
// them: one word a packet, a face, a vertex.
constexpr ULONG kLoadPerPacket = 1, kLoadPerFace = 2, kLoadPerVertex = 3;

// The data-register loads of a triangle program of the layout, in the
// generator's registers: the colour in rgb0, the depth in z0, the alpha in
// z1; the per-packet words take the first of rgb0, z1 and z2 left free.
inline ULONG LoadsOf(ULONG d) {
    const kzPrimWordsRow* row = kzPrimWordsOf(5, d);
    ULONG loads = 0;
    for (const kzPrimWordGroup& g : row->groups) {
        const ULONG reg = g.kind == KZ_PW_COLOUR ? KZU_rgb0 : g.kind == KZ_PW_DEPTH ? KZU_z0 : KZU_z1;
        if (g.count == 0 || g.kind == KZ_PW_POSITION) continue;
        loads |= kzuHdrLoadKind(reg, g.count == 3 ? kLoadPerVertex : kLoadPerFace);
    }
    N_TriLayout l;
    _NTriLayoutOf(d, &l);
    ULONG i = 0;
    for (const ULONG reg : {ULONG{KZU_rgb0}, ULONG{KZU_z1}, ULONG{KZU_z2}}) {
        if (i == l.packetWords || (loads & kzuHdrLoadKind(reg, 3)) != 0) continue;
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
        const kzPrimWordsRow& row = *kzPrimWordsOf(5, d);
        Prim t;
        for (const kzPrimWordGroup& g : row.groups) {
            for (ULONG j = 0; j < g.count; ++j) {
                const ULONG r = g.count == 1 ? provoking : rec[j];
                const auto& v = b.v[vtx[j]];
                switch (g.kind) {
                case KZ_PW_COLOUR: t.push_back(ColourOf(r)); break;
                case KZ_PW_ALPHA: t.push_back(AlphaWordOf(r)); break;
                case KZ_PW_DEPTH: t.push_back(static_cast<ULONG>(v[2])); break;
                default:
                    t.push_back(((static_cast<ULONG>(v[1]) + yAdd) << 20) | ((static_cast<ULONG>(v[0]) << 4) & 0xFFFF));
                    break;
                }
            }
        }
        return t;
    }

    std::vector<ULONG> strips_, runs_, colours_;
    std::vector<LONG> window_;
};

}  // namespace fill_test
