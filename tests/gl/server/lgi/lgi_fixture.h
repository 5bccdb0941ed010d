// A small fixture for the lgi layer's tests: the layer started once in the
// program, a fresh context made current for each test, the debug sink and
// the allocation hooks reset around it.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <string>

#include "3d/arena.h"
#include "platform/debug.h"
#include "platform/faults.h"

namespace lgi_test {

inline ULONG F(float f) { return std::bit_cast<ULONG>(f); }

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
