// A small fixture for the lgi layer's tests: the layer started once in the
// program, a fresh context made current for each test, the debug sink and
// the allocation hooks reset around it.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>

#include "3d/context/arena.h"
#include "lgi/lgigl.h"
#include "platform/debug.h"
#include "platform/faults.h"

namespace lgi_test {

inline ULONG F(float f) { return std::bit_cast<ULONG>(f); }

// A selector that sends every primitive down the hardware path, to `Render`.
template <N_StageFn Render>
N_StageFn HardwareSelectorTo(N_Context*, N_Pipe* pipe) {
    pipe->pCommonPipeData->pDispatch->status = 2;
    return Render;
}
inline void NoRender(N_Context*, N_Pipe*) {}

// Object coordinates made window coordinates of a 640 x 480 window with
// 16-bit depth, colours converted to 24-bit 0x00RRGGBB (scales only).
inline void WindowSpace640(N_Context* pctx) {
    const float K[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::memcpy(pctx->xf.combined, K, sizeof K);
    std::memcpy(pctx->xf.window, K, sizeof K);
    pctx->xf.combinedAffine = 0;
    const float b[6] = {0, 0, 0, 639, 479, 65535};
    std::memcpy(pctx->xf.boundsF, b, sizeof b);
    for (int i = 0; i < 6; ++i) pctx->xf.boundsI[i] = static_cast<LONG>(b[i]);
    N_ColourConversion& cv = pctx->val.colour;
    cv.scale[0] = 255.0f * 65536.0f;
    cv.scale[1] = 255.0f * 256.0f;
    cv.scale[2] = 255.0f;
    cv.converter = N_CONVERT_RGBA;
}

// Makes `b` a cx x cy host buffer of the kind over the pixels and binds it.
inline void BindHostBuffer(GLBuffer& b, void* pv, ULONG kind, ULONG bits, LONG cx, LONG cy) {
    b = GLBuffer{};
    b.pvPixels = pv;
    b.memoryKind = GLBUFFER_MEMORY_HOST;
    b.kind = kind;
    b.bitsPerPixel = bits;
    b.cx = cx;
    b.cy = cy;
    b.bytesPerPixel = bits / 8;
    b.stride = static_cast<ULONG>(cx) * bits / 8;
    GLBuffer* p = &b;
    N_BindBuffers(1, &p);
}

class LgiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        N_Init(nullptr, nullptr, 0, 0);
        ASSERT_NE(gNArena.pStageTable, nullptr) << "the layer started";
        ctx_ = N_CreateContext(0);
        ASSERT_NE(ctx_, nullptr);
        N_MakeCurrent(ctx_);
        vnx::debug::clear();
    }
    void TearDown() override {
        _NSetAllocFuncs(nullptr, nullptr);
        for (N_Context* p : others_) N_DestroyContext(p);
        if (ctx_ != nullptr) N_DestroyContext(ctx_);
        vnx::debug::clear();
    }
    // The clip rectangle of a 640 x 480 window bound, every primitive sent
    // to `selector`, lighting off, nothing left dirty.
    void HardwareWindow(N_SelectorFn selector) {
        const ULONG rect[2] = {0, (479u << 16) | 639u};
        N_BindClipList(1, rect);
        for (N_PrimDispatch& pd : ctx_->prim) pd.pfnSelector = selector;
        N_SetStateBlockAttrWord(79, 0);  // lighting off
        ctx_->dirty = 0;
    }
    // A further context, freed with the test.
    N_Context* Another() {
        N_Context* p = N_CreateContext(0);
        if (p != nullptr) others_.push_back(p);
        return p;
    }
    // Whether the debug output since the last take holds the text.
    static bool Printed(const std::string& s) { return vnx::debug::peek().find(s) != std::string::npos; }

    vnx::faults::Scope faults_;
    N_Context* ctx_ = nullptr;
    std::vector<N_Context*> others_;
};

}  // namespace lgi_test
