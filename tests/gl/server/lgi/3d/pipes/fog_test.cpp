// The RGBA fog stage: each vertex's colour blended towards the fog colour
// by GL 1.0's fog factors of its eye distance, alpha included, for the
// stages after it, with the batch's colours put back afterwards.
#include <cmath>
#include <vector>

#include "3d/queue/renderfcn.h"
#include "gl/server/lgi/lgi_fixture.h"

namespace {

using lgi_test::F;
using FogTest = lgi_test::LgiTest;

std::vector<float> gSeen;
ULONG gcSeen = 0;
void Capture(N_Context*, N_Pipe* pipe) {
    const CommonPipeData& c = *pipe->pCommonPipeData;
    gSeen.assign(c.pColours, c.pColours + 4 * c.stripVertexCount);
    ++gcSeen;
}

TEST_F(FogTest, RgbaFogBlendsTowardsTheFogColour) {
    N_PipeBlock& b = ctx_->blocks[N_PRIM_LINES & 15];
    N_Pipe* pipe = &b.front;
    CommonPipeData& c = b.common;
    pipe->pCommonPipeData = &c;
    pipe->next[N_STAGE_FOG] = Capture;
    // The eye distance is the window z times the clip w here.
    float* inv = ctx_->xf.fogInverse;
    for (int i = 0; i < 16; ++i) inv[i] = 0;
    inv[10] = 1.0f;
    std::vector<LONG> window = {0, 0, 2, 5, 5, 12, 9, 9, 0, 1, 1, -5};
    std::vector<float> clip = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::vector<float> colours = {1, 1, 1, 1, 1, 0, 0, 1, 0, 1, 0, 0.5f, 0.2f, 0.4f, 0.6f, 0.8f};
    c.pWindow = window.data();
    c.pClipPos = clip.data();
    c.pColours = colours.data();
    c.stripVertexCount = 4;
    const float fog[4] = {0, 0, 1, 0};
    N_SetStateBlockAttr(110, fog);

    struct Case {
        ULONG mode;
        float density, start, end;
        float f[4];  // expected factors of the distances 2, 12, 0, 5
    };
    const float e1 = std::exp(-1.0f);
    const Case cases[] = {
        {2, 1, 0, 10, {0.8f, -0.2f, 1.0f, 0.5f}},
        {2, 1, 4, 4, {1, 1, 1, 1}},  // start = end: no fog
        {0, 0.5f, 0, 1, {e1, std::exp(-6.0f), 1.0f, std::exp(-2.5f)}},
        {1, 0.5f, 0, 1, {e1, std::exp(-36.0f), 1.0f, std::exp(-6.25f)}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.mode);
        N_SetStateBlockAttrWord(106, k.mode);
        N_SetStateBlockAttrWord(107, F(k.density));
        N_SetStateBlockAttrWord(108, F(k.start));
        N_SetStateBlockAttrWord(109, F(k.end));
        gcSeen = 0;
        _NRenderFcn(N_SPAN_FOG_RGBA)(ctx_, pipe);
        ASSERT_EQ(gcSeen, 1u);
        ASSERT_EQ(gSeen.size(), 16u);
        for (ULONG v = 0; v < 4; ++v) {
            const float f = k.f[v];
            for (ULONG ch = 0; ch < 4; ++ch) {
                const float in = colours[4 * v + ch];
                const float want = f <= 0 ? fog[ch] : f >= 1 ? in : in * f + fog[ch] * (1 - f);
                EXPECT_NEAR(gSeen[4 * v + ch], want, 1e-6f) << v << " " << ch;
            }
        }
        EXPECT_EQ(c.pColours, colours.data()) << "the batch's colours are put back";
        EXPECT_EQ(colours[2], 1.0f) << "and left as they were";
    }
}

}  // namespace
