// Saving and applying attribute groups: each group's lgi attributes go to
// and come from the block words the group's table gives, in its order; the
// enables that belong to the applied groups follow from the ENABLE bits;
// nothing is written past a block.
#include <cstring>
#include <utility>

#include "state/glstate.h"
#include "matrix/matrix.h"
#include "request_fixture.h"

namespace {

using namespace glsrv_double;

std::uintptr_t U(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

// Each group's lgi attributes as (id, block word), in the order applied.
const std::vector<std::pair<ULONG, std::vector<std::pair<ULONG, ULONG>>>> kGroups = {
    {GL_CURRENT_BIT, {{97, 0}, {99, 4}, {100, 8}, {102, 13}, {103, 14}, {52, 15}, {53, 19},
                      {56, 20}, {55, 24}, {57, 27}}},
    {GL_POINT_BIT, {{85, 0}}},
    {GL_LINE_BIT, {{86, 0}, {87, 1}, {88, 2}}},
    {GL_POLYGON_BIT, {{49, 2}}},
    {GL_POLYGON_STIPPLE_BIT, {{90, 0}}},
    {GL_PIXEL_MODE_BIT, {{131, 0}, {132, 1}, {133, 2}, {134, 3}, {135, 4}, {136, 5}, {137, 6},
                         {138, 7}, {139, 8}, {140, 9}, {141, 10}, {142, 11}, {143, 12},
                         {144, 13}, {145, 14}, {146, 15}, {162, 16}}},
    {GL_LIGHTING_BIT, {{78, 0}, {81, 1}, {82, 1}, {75, 2}, {80, 6}, {46, 7}, {59, 8}, {60, 12},
                       {61, 16}, {58, 20}, {62, 24}, {63, 25}, {64, 26}, {65, 27}, {68, 28},
                       {69, 32}, {70, 36}, {67, 40}, {71, 44}, {72, 45}, {73, 46}, {74, 47}}},
    {GL_FOG_BIT, {{106, 0}, {107, 1}, {108, 2}, {109, 3}, {111, 4}, {110, 5}}},
    {GL_DEPTH_BUFFER_BIT, {{119, 0}, {166, 1}, {129, 2}}},
    {GL_ACCUM_BUFFER_BIT, {{168, 0}}},
    {GL_STENCIL_BUFFER_BIT, {{114, 0}, {115, 3}, {167, 6}, {130, 7}}},
    {GL_VIEWPORT_BIT, {{51, 0}}},
    {GL_TRANSFORM_BIT, {}},
    {GL_ENABLE_BIT, {}},
    {GL_COLOR_BUFFER_BIT, {{117, 0}, {121, 2}, {123, 5}, {124, 4}, {164, 6}, {165, 10},
                           {127, 11}, {128, 12}, {161, 14}, {163, 15}}},
    {GL_HINT_BIT, {}},
    {GL_EVAL_BIT, {}},
    {GL_LIST_BIT, {}},
    {GL_TEXTURE_BIT, {{148, 36}, {149, 44}, {150, 45}, {151, 38}, {153, 46}, {152, 39},
                      {154, 47}, {155, 40}, {156, 48}, {157, 52}, {158, 52}, {159, 53},
                      {160, 53}}},  // generation (41-44): texture_check.cpp
    {GL_SCISSOR_BIT, {}},
};

class ApplyTest : public RequestTest {};

// Every group: the saver reads each lgi attribute into its word (a later
// attribute over the same word wins, as applying sets them in order), and
// applying the saved block sets each attribute from that word.
TEST_F(ApplyTest, EachGroupRoundTrips) {
    for (const auto& [flGroup, rows] : kGroups) {
        SCOPED_TRACE(testing::Message() << std::hex << flGroup);
        const unsigned k = Bit(flGroup);
        // Each attribute reads back as 33 words id * 1000 + i: the saver
        // keeps only what fits its place.
        gAnswers.attrs.clear();
        for (const auto& [id, word] : rows) {
            std::vector<ULONG> v(33);
            for (ULONG i = 0; i < 33; ++i) v[i] = id * 1000 + i;
            gAnswers.attrs[id] = v;
        }
        GLState gs{};
        std::vector<ULONG> block(__glXGroupBlockSize[k] / 4, 0xEEEEEEEE);
        ULONG* pw = static_cast<ULONG*>(LocalAlloc(LPTR, __glXGroupBlockSize[k]));
        std::memcpy(pw, block.data(), __glXGroupBlockSize[k]);
        EXPECT_EQ(__glXPushSavers[k](&gc_, pw), 0u);
        EXPECT_EQ(__glXCopySavers[k], __glXPushSavers[k]);
        for (size_t r = 0; r < rows.size(); ++r) {
            const auto [id, word] = rows[r];
            bool bOverwritten = false;
            for (size_t s = r + 1; s < rows.size(); ++s) bOverwritten |= rows[s].second == word;
            // The line stipple's pattern and repeat are the block's own.
            const bool bServer = id == 87 || id == 88;
            if (!bOverwritten) EXPECT_EQ(pw[word], bServer ? 0xEEEEEEEEu : id * 1000) << id;
        }

        gs.blocks[k] = pw;
        gRecord.calls.clear();
        __glXApplyGroups(&gc_, &gs, flGroup, nullptr);
        std::vector<std::pair<ULONG, std::uintptr_t>> set;
        for (const Call& c : gRecord.calls) {
            const bool bTexGen = c.args[0] >= 41 && c.args[0] <= 44;  // sent from the server's records
            if (c.name == "N_SetStateBlockAttr" && !bTexGen) set.push_back({c.args[0], c.args[1]});
        }
        std::vector<std::pair<ULONG, std::uintptr_t>> expected;
        for (const auto& [id, word] : rows) expected.push_back({id, U(pw + word)});
        EXPECT_EQ(set, expected);
        LocalFree(pw);
    }
}

// The enables of the groups applied, from the ENABLE bits.
TEST_F(ApplyTest, EnablesFollowTheGroups) {
    ASSERT_EQ(__glXCreateGLState(&gc_, TRUE), 0u);
    ULONG* pwEnable = gc_.pState->blocks[Bit(GL_ENABLE_BIT)];
    pwEnable[GLX_ENABLE_BITS] = 0x1 | 0x4 | 0x40 | 0x200 | 0x800 | 0x2000 | 0x8000 | 0x20000 | 0x20;
    pwEnable[34] = 1;
    ULONG* pwPolygon = gc_.pState->blocks[Bit(GL_POLYGON_BIT)];
    pwPolygon[GLX_POLYGON_BACK_MODE] = 1;  // back faces drawn as lines
    ULONG* pwLine = gc_.pState->blocks[Bit(GL_LINE_BIT)];
    pwLine[GLX_LINE_PATTERN] = 0xF0F0;
    pwLine[GLX_LINE_REPEAT] = 3;
    gc_.pState->blocks[Bit(GL_TRANSFORM_BIT)][GLX_TRANSFORM_MATRIX_MODE] = 0x1701;

    gRecord.calls.clear();
    gc_.dirty = 0;
    __glXApplyGroups(&gc_, gc_.pState, GL_ENABLE_BIT, nullptr);
    std::vector<std::pair<ULONG, ULONG>> words;
    std::vector<std::string> others;
    for (const Call& c : gRecord.calls) {
        if (c.name == "N_SetStateBlockAttrWord") {
            words.push_back({c.args[0], c.args[1]});
        } else {
            others.push_back(c.name);
        }
    }
    EXPECT_EQ(words, (std::vector<std::pair<ULONG, ULONG>>{
                         {45, 1}, {79, 0}, {77, 1},                      // transform, lighting
                         {116, 1}, {120, 0}, {122, 0}, {123, 1},         // colour buffer
                         {96, 0}, {48, 0}, {91, 3}, {92, 1},             // polygon: fill stippled, lines
                         {118, 2},                                       // depth
                         {95, 0}, {88, 3}, {87, 0xF0F0},                 // line stipple
                         {105, 0}, {94, 1}, {113, 0},                    // fog, point, stencil
                         {37, 0}, {38, 1}, {39, 0}, {40, 0}, {147, 1}})) // texture
        ;
    EXPECT_EQ(others, (std::vector<std::string>{"N_MakeCurrent"})) << "no drawable: texture validation waits";
    ASSERT_NE(__glXMatrixStacks(&gc_), nullptr);
    const __GLXmatrixStacks* pms = __glXMatrixStacks(&gc_);
    EXPECT_EQ(pms->pCurrent, static_cast<const float*>(pms->apStack[1][pms->aDepth[1]])) << "the matrix code took the mode";
    EXPECT_EQ(gc_.dirty, GLX_DIRTY_CLIP_PLANES | GLX_DIRTY_LIGHTS | GLX_DIRTY_BUFFERS | GLX_DIRTY_CLIP);

    // Only the line group: its enables alone; stipple off gives the plain line.
    pwEnable[GLX_ENABLE_BITS] = 0x4000;
    GLState gs{};
    gs.blocks[Bit(GL_LINE_BIT)] = pwLine;
    gs.blocks[Bit(GL_ENABLE_BIT)] = pwEnable;
    gRecord.calls.clear();
    gc_.dirty = 0;
    __glXApplyGroups(&gc_, &gs, GL_LINE_BIT, reinterpret_cast<N_Context*>(0x99));
    words.clear();
    for (const Call& c : gRecord.calls) {
        if (c.name == "N_SetStateBlockAttrWord") words.push_back({c.args[0], c.args[1]});
    }
    EXPECT_EQ(words, (std::vector<std::pair<ULONG, ULONG>>{{95, 1}, {88, 1}, {87, 0xFFFFFFFF}}));
    EXPECT_EQ(gRecord.calls.front().name, "N_MakeCurrent");
    EXPECT_EQ(gRecord.calls.front().args[0], 0x99u) << "the target first";
    EXPECT_EQ(gRecord.calls.back().name, "N_MakeCurrent");
    EXPECT_EQ(gRecord.calls.back().args[0], 0u) << "then the context's own again";
    EXPECT_EQ(gc_.dirty, 0u);
    gs.blocks[Bit(GL_LINE_BIT)] = nullptr;
}

// The POLYGON group: attribute 47 says whether counter-clockwise faces are
// front faces.
TEST_F(ApplyTest, FrontFace) {
    for (const auto& [face, value] : {std::pair<ULONG, ULONG>{0x900, 0}, {0x901, 1}}) {
        GLState gs{};
        ULONG block[4] = {2, 2, 0, face};
        gs.blocks[Bit(GL_POLYGON_BIT)] = block;
        gRecord.calls.clear();
        __glXApplyGroups(&gc_, &gs, GL_POLYGON_BIT, nullptr);
        bool bSeen = false;
        for (const Call& c : gRecord.calls) {
            if (c.name == "N_SetStateBlockAttrWord" && c.args[0] == N_ATTR_FRONT_FACE) {
                EXPECT_EQ(c.args[1], value);
                bSeen = true;
            }
        }
        EXPECT_TRUE(bSeen);
    }
}

}  // namespace
