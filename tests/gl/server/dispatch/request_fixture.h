// A client thread with a current context and the dispatch tables built,
// for tests of the request layer against the stand-ins of seams_double.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "dispatch/dispatch.h"
#include "gl/glx/glx_encoder.h"
#include "platform/debug.h"
#include "seams_double.h"

namespace glsrv_double {

class RequestTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gRecord = Record{};
        gAnswers = Answers{};
        vnx::debug::clear();
        ASSERT_TRUE(InitGLSrvDll(nullptr, GLSRV_PROCESS_ATTACH, nullptr));
        ASSERT_TRUE(glInitDispatchVectors());
        pgc_ = pgcCurrent();
        ASSERT_NE(pgc_, nullptr);
        gc_.pRenderTable = __glXRenderTable;
        gc_.pSavedTable = __glXRenderTable;
        gc_.pVertexTable = __glXVertexTable;
        pgc_->gc = &gc_;
    }
    void TearDown() override {
        if (gc_.pState != nullptr) __glXFreeGLState(gc_.pState, gc_.pState->flPresent);
        gc_.pState = nullptr;
        pgc_->gc = nullptr;
        __glXDebugFlag = 0;
        glFreeDispatchVectors();
        InitGLSrvDll(nullptr, GLSRV_PROCESS_DETACH, nullptr);
        vnx::debug::clear();
    }

    // Runs the request through the table slot of its opcode, as the
    // decoder does (its length checked first).
    ULONG Run(const __GLXdispatchFn* pTable, const std::vector<std::uint8_t>& request) {
        return __glXDispatchRender(pgc_, pTable, request.data());
    }

    // The calls to the stand-in of that name, in order.
    std::vector<const Call*> Calls(const char* name) const {
        std::vector<const Call*> v;
        for (const Call& c : gRecord.calls)
            if (c.name == name) v.push_back(&c);
        return v;
    }
    // The words last set to an lgi attribute (empty when none was).
    std::vector<ULONG> Attr(ULONG id) const {
        std::vector<ULONG> w;
        for (const Call& c : gRecord.calls)
            if ((c.name == "N_SetStateBlockAttr" || c.name == "N_SetStateBlockAttrWord") && c.args[0] == id)
                w = c.name == "N_SetStateBlockAttr" ? c.words : std::vector<ULONG>{static_cast<ULONG>(c.args[1])};
        return w;
    }

    // The index of a group's block in GLState.blocks.
    static unsigned Bit(ULONG flGroup) { return static_cast<unsigned>(__builtin_ctz(flGroup)); }

    GLClient* pgc_ = nullptr;
    GLContext gc_{};
    // A drawable for fixtures whose single requests must find one bound
    // (the requests refuse a context without it).
    GLDrawable draw_{};
};

}  // namespace glsrv_double
