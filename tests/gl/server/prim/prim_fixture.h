// A client with a current context over a real lgi context, a primitive ring
// in the test's own memory, and writers of X_GLrop_PrimitiveZYD commands.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <memory>
#include <vector>

#include "dispatch/dispatch.h"
#include "lgi_double.h"
#include "platform/debug.h"
#include "platform/faults.h"
#include "prim/prim.h"

namespace prim_test {

inline ULONG F(float f) { return std::bit_cast<ULONG>(f); }

// A vertex as the client stores it.
struct V {
    ULONG flags;
    float pos[4];
    float color[4] = {0, 0, 0, 0};
    float index = 0;
    float normal[3] = {0, 0, 0};
    float tex[4] = {0, 0, 0, 0};
    ULONG edge = 0;
};

class PrimTest : public ::testing::Test {
  protected:
    void SetUp() override {
        N_Init(nullptr, nullptr, 0, 0);
        nc_ = N_CreateContext(0);
        ASSERT_NE(nc_, nullptr);
        N_MakeCurrent(nc_);
        gc_.pnc = nc_;
        client_.gc = &gc_;
        ring_.reset(new PrimSegment{});
        auto* ps = static_cast<__GLXprimSegment*>(LocalAlloc(LPTR, sizeof(__GLXprimSegment)));
        ps->pView = ring_.get();
        gc_.pPrimSegment = ps;
        prim_double::Clear();
        vnx::debug::clear();
    }
    void TearDown() override {
        // The ring is the test's own memory, not a view.
        if (auto* ps = static_cast<__GLXprimSegment*>(gc_.pPrimSegment)) ps->pView = nullptr;
        __glFreePrimState(&gc_);
        N_DestroyContext(nc_);
        vnx::debug::clear();
    }
    // Stores vertices into ring slots from `first` on.
    void Store(ULONG first, const std::vector<V>& vs) {
        for (std::size_t k = 0; k < vs.size(); ++k) {
            const ULONG i = first + static_cast<ULONG>(k);
            const V& v = vs[k];
            ring_->vertexFlags[i] = v.flags;
            std::memcpy(ring_->position[i], v.pos, 16);
            std::memcpy(ring_->color[i], v.color, 16);
            ring_->colorIndex[i] = v.index;
            std::memcpy(ring_->normal[i], v.normal, 12);
            std::memcpy(ring_->texCoord[i], v.tex, 16);
            ring_->edgeFlag[i] = v.edge;
        }
    }
    static std::vector<BYTE> Header(ULONG inSegment, ULONG first, ULONG count, ULONG mode, ULONG orMask,
                                    ULONG andMask, ULONG numStrips) {
        PrimitiveZYDHeader h{20, 1025, inSegment, static_cast<USHORT>(first), static_cast<USHORT>(count),
                             static_cast<USHORT>(mode), static_cast<USHORT>(orMask),
                             static_cast<USHORT>(andMask), static_cast<USHORT>(numStrips)};
        std::vector<BYTE> b(sizeof h);
        std::memcpy(b.data(), &h, sizeof h);
        return b;
    }
    // A batch of the ring.
    ULONG Ring(ULONG first, ULONG count, ULONG mode, ULONG orMask, ULONG andMask, ULONG numStrips = 0) {
        std::vector<BYTE> cmd = Header(1, first, count, mode, orMask, andMask, numStrips);
        return glExecPrimitiveZYD(&client_, cmd.data());
    }
    // A batch with its arrays inline, as the client lays them out.
    static std::vector<BYTE> Inline(ULONG mode, const std::vector<V>& vs, const std::vector<ULONG>& strips = {}) {
        ULONG orMask = 0, andMask = ~0u;
        for (const V& v : vs) orMask |= v.flags, andMask &= v.flags;
        if (vs.empty()) andMask = 0;
        std::vector<BYTE> b = Header(0, 0, static_cast<ULONG>(vs.size()), mode, orMask, andMask,
                                     static_cast<ULONG>(strips.size()));
        auto put = [&b](const void* p, std::size_t cb) {
            const auto* pj = static_cast<const BYTE*>(p);
            b.insert(b.end(), pj, pj + cb);
        };
        for (ULONG s : strips) put(&s, 4);
        if (orMask != andMask)
            for (const V& v : vs) put(&v.flags, 4);
        for (const V& v : vs) put(v.pos, 16);
        if (orMask & (VTX_RGB | VTX_RGBA))
            for (const V& v : vs) put(v.color, 16);
        if (orMask & VTX_INDEX)
            for (const V& v : vs) put(&v.index, 4);
        if (orMask & VTX_NORMAL)
            for (const V& v : vs) put(v.normal, 12);
        if (orMask & VTX_TEXCOORD)
            for (const V& v : vs) put(v.tex, 16);
        if (orMask & VTX_EDGEFLAG)
            for (const V& v : vs) put(&v.edge, 4);
        const auto cj = static_cast<USHORT>(b.size());
        std::memcpy(b.data(), &cj, 2);
        return b;
    }

    N_Context* nc_ = nullptr;
    GLContext gc_{};
    GLClient client_{};
    std::unique_ptr<PrimSegment> ring_;
    vnx::faults::Scope faults_;
};

enum : ULONG { kPoints, kLines, kLineLoop, kLineStrip, kTriangles, kTriStrip, kTriFan, kQuads, kQuadStrip, kPolygon };

// The server's primitive buffer driven as the request tables drive it: the
// vertex-packet table, Begin, End and the hand-over of what is pending.
class PrimBufferFixture : public PrimTest {
  protected:
    void SetUp() override {
        PrimTest::SetUp();
        table_.assign(GLX_RENDER_ENTRIES, __glXVtx_Invalid);
        __glXFillVertexTable(table_.data());
        gc_.pVertexTable = table_.data();
    }
    ULONG Begin(ULONG mode) {
        std::vector<BYTE> req(8);
        const USHORT hdr[2] = {8, X_GLrop_Begin};
        std::memcpy(req.data(), hdr, 4);
        std::memcpy(req.data() + 4, &mode, 4);
        return __glXDisp_Begin(&client_, req.data());
    }
    // End as the Begin/End table runs it.
    ULONG End(bool bEveryPrim = false) {
        const ULONG ul = __glClosePrimitive(&client_);
        if (ul != 0 || bEveryPrim) __glSendPrimitive(&client_);
        gc_.bInBegin = 0;
        return ul;
    }
    // Everything pending goes to the lgi layer.
    void HandOver() {
        __glXFlushPending(&client_);
        __glXWaitPending(&client_);
    }

    std::vector<__GLXvertexFn> table_;
};

}  // namespace prim_test
