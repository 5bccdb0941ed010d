// A context's GL attribute groups: made in their order with GL 1.0's
// initial values, every allocation failure undone; the buffers the state
// asks for; the scissor box; what validation hands on.
#include <cstring>

#include "state/glstate.h"
#include "state/state_requests.h"
#include "platform/faults.h"
#include "request_fixture.h"

namespace {

using namespace glsrv_double;

float Fl(ULONG u) {
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

std::vector<float> Floats(const ULONG* pw, int n) {
    std::vector<float> v;
    for (int i = 0; i < n; ++i) v.push_back(Fl(pw[i]));
    return v;
}

class GLStateTest : public RequestTest {
  protected:
    const ULONG* Block(ULONG fl) { return gc_.pState->blocks[Bit(fl)]; }
};

// GL 1.0's initial state, as far as the server keeps it.
TEST_F(GLStateTest, DefaultsAreGLsInitialState) {
    ASSERT_EQ(__glXCreateGLState(&gc_, TRUE), 0u);
    GLState* pgs = gc_.pState;
    EXPECT_EQ(pgs->flPresent, 0xFF86Cu);
    EXPECT_EQ(pgs->flPushed, 0u);
    EXPECT_EQ(pgs->iDepth, 0u);
    EXPECT_EQ(pgs->pNext, nullptr);
    EXPECT_NE(pgs->pAuxEval, nullptr);
    for (ULONG fl : {GL_CURRENT_BIT, GL_POINT_BIT, GL_POLYGON_STIPPLE_BIT, GL_FOG_BIT,
                     GL_DEPTH_BUFFER_BIT, GL_ACCUM_BUFFER_BIT, GL_STENCIL_BUFFER_BIT}) {
        EXPECT_EQ(Block(fl), nullptr) << fl;
    }

    // Every capability off but dithering.
    EXPECT_EQ(Block(GL_ENABLE_BIT)[0], GLX_EN_DITHER);
    for (int i = 1; i < 37; ++i) EXPECT_EQ(Block(GL_ENABLE_BIT)[i], 0u) << i;
    // Line: width 1, stipple all ones, repeat 1.
    EXPECT_EQ(Fl(Block(GL_LINE_BIT)[GLX_LINE_WIDTH]), 1.0f);
    EXPECT_EQ(Block(GL_LINE_BIT)[GLX_LINE_PATTERN], 0xFFFFFFFFu);
    EXPECT_EQ(Block(GL_LINE_BIT)[GLX_LINE_REPEAT], 1u);
    // Polygons filled on both sides, back faces culled, counter-clockwise
    // front faces.
    EXPECT_EQ(Block(GL_POLYGON_BIT)[GLX_POLYGON_CULL], 1u);
    EXPECT_EQ(Block(GL_POLYGON_BIT)[GLX_POLYGON_FRONT_MODE], 2u);
    EXPECT_EQ(Block(GL_POLYGON_BIT)[GLX_POLYGON_BACK_MODE], 2u);
    EXPECT_EQ(Block(GL_POLYGON_BIT)[GLX_POLYGON_FRONT_FACE], 0x901u);
    // Lights: ambient black, diffuse and specular white for light 0 only,
    // spot direction (0, 0, -1), cutoff 180.
    for (ULONG i = 0; i < GLX_LIGHTS; ++i) {
        SCOPED_TRACE(i);
        const ULONG* pl = Block(GL_LIGHTING_BIT) + GLX_LIGHT_FIRST + i * GLX_LIGHT_WORDS;
        const float on = i == 0 ? 1.0f : 0.0f;
        EXPECT_EQ(pl[0], 5u);
        EXPECT_EQ(Floats(pl + GLX_LIGHT_AMBIENT, 4), (std::vector<float>{0, 0, 0, 1}));
        EXPECT_EQ(Floats(pl + GLX_LIGHT_DIFFUSE, 4), (std::vector<float>{on, on, on, 1}));
        EXPECT_EQ(Floats(pl + GLX_LIGHT_SPECULAR, 4), (std::vector<float>{on, on, on, 1}));
        EXPECT_EQ(Floats(pl + GLX_LIGHT_SPOT_DIRECTION, 4), (std::vector<float>{0, 0, -1, 0}));
        EXPECT_EQ(Fl(pl[GLX_LIGHT_SPOT_CUTOFF]), 180.0f);
        EXPECT_EQ(Fl(pl[14]), 1.0f);
    }
    // Depth range 0..1, the viewport not set yet: handed to lgi attribute 51
    // and marked for validation.
    const ULONG* pv = Block(GL_VIEWPORT_BIT);
    EXPECT_EQ(Fl(pv[GLX_VIEWPORT_NEAR]), 0.0f);
    EXPECT_EQ(Fl(pv[GLX_VIEWPORT_FAR]), 1.0f);
    EXPECT_EQ(pv[GLX_VIEWPORT_UNSET], 1u);
    // (GL's values of the lgi layer's own state follow the blocks: the
    // lgi attributes that reach a client are read back end to end.)
    ASSERT_GE(gRecord.calls.size(), 2u);
    EXPECT_EQ(gRecord.calls[0].name, "N_SetStateBlockAttrWord") << "separate faces";
    EXPECT_EQ(gRecord.calls[0].args, (std::vector<std::uintptr_t>{76, 1}));
    EXPECT_EQ(gRecord.calls[1].name, "N_SetStateBlockAttr");
    EXPECT_EQ(gRecord.calls[1].args, (std::vector<std::uintptr_t>{51, reinterpret_cast<std::uintptr_t>(pv)}));
    EXPECT_EQ(gc_.dirty, GLX_DIRTY_VIEWPORT);
    // Model-view matrix mode, clip planes zero.
    EXPECT_EQ(Block(GL_TRANSFORM_BIT)[GLX_TRANSFORM_MATRIX_MODE], 0x1700u);
    for (int i = 0; i < 24; ++i) EXPECT_EQ(Block(GL_TRANSFORM_BIT)[GLX_TRANSFORM_PLANES + i], 0u);
    // Drawing and reading the back buffer; every colour written.
    EXPECT_EQ(Block(GL_COLOR_BUFFER_BIT)[GLX_COLOR_DRAW_BITS], GLX_BUFFER_BACK_LEFT);
    EXPECT_EQ(Block(GL_COLOR_BUFFER_BIT)[GLX_COLOR_DRAW_BUFFER], 0x405u);  // GL_BACK
    EXPECT_EQ(Block(GL_PIXEL_MODE_BIT)[GLX_PIXEL_READ_BIT], GLX_BUFFER_BACK_LEFT);
    EXPECT_EQ(Block(GL_PIXEL_MODE_BIT)[GLX_PIXEL_READ_BUFFER], 0x405u);
    BYTE abMask[4];
    std::memcpy(abMask, &Block(GL_COLOR_BUFFER_BIT)[GLX_COLOR_WRITE_MASK], 4);
    EXPECT_EQ(std::vector<BYTE>(abMask, abMask + 4), (std::vector<BYTE>{1, 1, 1, 1}));
    // Hints don't care; list base 0; scissor box never set.
    for (ULONG i = 0; i < GLX_HINTS; ++i) EXPECT_EQ(Block(GL_HINT_BIT)[i], 0x1100u);
    EXPECT_EQ(Block(GL_LIST_BIT)[GLX_LIST_BASE], 0u);
    EXPECT_EQ(Block(GL_SCISSOR_BIT)[GLX_SCISSOR_UNSET], 1u);
    // Texture generation planes: s (1, 0, 0, 0), t (0, 1, 0, 0), r and q 0.
    const std::vector<float> planes[4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}};
    for (ULONG c = 0; c < 4; ++c) {
        const ULONG* pt = Block(GL_TEXTURE_BIT) + c * GLX_TEXGEN_WORDS;
        EXPECT_EQ(Floats(pt + GLX_TEXGEN_OBJECT_PLANE, 4), planes[c]) << c;
        EXPECT_EQ(Floats(pt + GLX_TEXGEN_EYE_PLANE, 4), planes[c]) << c;
    }
    for (ULONG c = 0; c < 4; ++c) EXPECT_EQ(Block(GL_TEXTURE_BIT)[c * GLX_TEXGEN_WORDS], 1u);
    // Evaluator maps: component counts and control points of GL's table,
    // domain 0..1 of order 1; grids 0..1 in one step.
    const ULONG components[9] = {4, 1, 3, 1, 2, 3, 4, 3, 4};
    const std::vector<float> points[9] = {{1, 1, 1, 1}, {1, 0, 0, 0}, {0, 0, 1, 0},
                                          {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0},
                                          {0, 0, 0, 1}, {0, 0, 0, 0}, {0, 0, 0, 1}};
    const ULONG* pe = Block(GL_EVAL_BIT);
    for (ULONG m = 0; m < 9; ++m) {
        SCOPED_TRACE(m);
        const ULONG* p1 = pe + m * GLX_EVAL_MAP1_WORDS;
        EXPECT_EQ(p1[0], components[m]);
        EXPECT_EQ(p1[1], 1u);
        EXPECT_EQ(Floats(p1 + 2, 2), (std::vector<float>{0, 1}));
        EXPECT_EQ(Floats(p1 + 4, 4), points[m]);
        const ULONG* p2 = pe + GLX_EVAL_MAP2_FIRST + m * GLX_EVAL_MAP2_WORDS;
        EXPECT_EQ(p2[0], components[m]);
        EXPECT_EQ(p2[1], 1u);
        EXPECT_EQ(p2[2], 1u);
        EXPECT_EQ(Floats(p2 + 3, 4), (std::vector<float>{0, 1, 0, 1}));
        EXPECT_EQ(Floats(p2 + 7, 4), points[m]);
    }
    for (ULONG g = 0; g < GLX_EVAL_GRIDS; ++g) {
        const ULONG* pg = pe + GLX_EVAL_GRID_FIRST + 3 * g;
        EXPECT_EQ(Floats(pg, 2), (std::vector<float>{0, 1}));
        EXPECT_EQ(pg[2], 1u);
    }
}

// A single-buffered visual draws and reads the front buffer.
TEST_F(GLStateTest, SingleBufferedDrawsTheFront) {
    ASSERT_EQ(__glXCreateGLState(&gc_, FALSE), 0u);
    EXPECT_EQ(Block(GL_COLOR_BUFFER_BIT)[GLX_COLOR_DRAW_BITS], GLX_BUFFER_FRONT_LEFT);
    EXPECT_EQ(Block(GL_COLOR_BUFFER_BIT)[GLX_COLOR_DRAW_BUFFER], 0x404u);  // GL_FRONT
    EXPECT_EQ(Block(GL_PIXEL_MODE_BIT)[GLX_PIXEL_READ_BIT], GLX_BUFFER_FRONT_LEFT);
    EXPECT_EQ(Block(GL_PIXEL_MODE_BIT)[GLX_PIXEL_READ_BUFFER], 0x404u);
}

// Each of the fifteen allocations failing in turn: GLX_BAD_ALLOC, nothing left
// behind (the leak check sees every block).
TEST_F(GLStateTest, EveryAllocationFailureIsUndone) {
    for (int step = 0; step < 15; ++step) {
        SCOPED_TRACE(step);
        vnx::faults::Scope faults;
        vnx::faults::arm("LocalAlloc", step);
        gc_ = GLContext{};
        EXPECT_EQ(__glXCreateGLState(&gc_, TRUE), GLX_BAD_ALLOC);
        EXPECT_EQ(gc_.pState, nullptr);
        EXPECT_EQ(vnx::faults::calls("LocalAlloc"), step + 1);
    }
    vnx::faults::Scope faults;
    ASSERT_EQ(__glXCreateGLState(&gc_, TRUE), 0u);
    EXPECT_EQ(vnx::faults::calls("LocalAlloc"), 15);
}

TEST_F(GLStateTest, BufferMask) {
    ASSERT_EQ(__glXCreateGLState(&gc_, TRUE), 0u);
    ULONG* pwEnable = gc_.pState->blocks[Bit(GL_ENABLE_BIT)];
    ULONG* pwColor = gc_.pState->blocks[Bit(GL_COLOR_BUFFER_BIT)];
    ULONG* pwPixel = gc_.pState->blocks[Bit(GL_PIXEL_MODE_BIT)];
    const struct {
        ULONG enable, draw, read;
        BOOL dbl, stereo;
        ULONG mask;
    } cases[] = {
        {0, 4, 4, TRUE, FALSE, 0x404},
        {0x2000, 4, 4, TRUE, FALSE, 0xD04},     // depth
        {0x80000, 4, 4, TRUE, FALSE, 0x604},    // stencil
        {0x82000, 1, 4, TRUE, FALSE, 0xF05},    // front drawn, back read
        {0, 1, 1, TRUE, FALSE, 0x401},
        {0, 1, 1, FALSE, FALSE, 0x401},
        {0, 4, 4, FALSE, FALSE, 0x401},         // no back buffer: the front
        {0, 0, 0, TRUE, FALSE, 0x404},          // none named: the visual's own
        {0, 1, 1, TRUE, TRUE, 0x30401},         // stereo front: left and right
        {0, 4, 8, TRUE, TRUE, 0xC0404},         // stereo back
        {0, 2, 8, TRUE, TRUE, 0xF0405},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.enable << " " << c.draw << " " << c.read
                                        << " " << c.dbl << c.stereo);
        pwEnable[GLX_ENABLE_BITS] = c.enable;
        pwColor[GLX_COLOR_DRAW_BITS] = c.draw;
        pwPixel[GLX_PIXEL_READ_BIT] = c.read;
        EXPECT_EQ(__glXBufferMask(gc_.pState, c.dbl, c.stereo), c.mask);
    }
}

// The scissor box in window coordinates from the top, clamped to 16 bits:
// nothing wraps round, and a box of no area clips everything.
TEST(ScissorBox, NoWrap) {
    const struct {
        LONG x, y, w, h, windowHeight;
        BOOL nonEmpty;
        __GLXbox box;
    } cases[] = {
        {10, 20, 100, 50, 480, TRUE, {10, 410, 110, 460}},
        {0, 0, 640, 480, 480, TRUE, {0, 0, 640, 480}},
        {-20, -30, 100, 100, 480, TRUE, {-20, 410, 80, 510}},
        {30000, 0, 10000, 10, 480, TRUE, {30000, 470, 32767, 480}},
        {0, 0, 0x7FFFFFFF, 0x7FFFFFFF, 480, TRUE, {0, -32768, 32767, 480}},
        {0, 0x7FFFFFF0, 100, 100, 480, FALSE, {0, 0, 0, 0}},  // far above the window
        {40000, 0, 100, 100, 480, FALSE, {0, 0, 0, 0}},
        {10, 10, -5, 20, 480, FALSE, {0, 0, 0, 0}},
        {10, 10, 20, -5, 480, FALSE, {0, 0, 0, 0}},
        {10, 10, 0, 5, 480, FALSE, {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << " " << c.y << " " << c.w << " " << c.h);
        __GLXbox box{1, 2, 3, 4};
        EXPECT_EQ(__glXScissorBox(c.x, c.y, c.w, c.h, c.windowHeight, &box), c.nonEmpty);
        EXPECT_EQ(box.xLeft, c.box.xLeft);
        EXPECT_EQ(box.yTop, c.box.yTop);
        EXPECT_EQ(box.xRight, c.box.xRight);
        EXPECT_EQ(box.yBottom, c.box.yBottom);
    }
}

// Before drawing: the scissor region (or none), then the buffers, then the
// viewport, each only when its dirty bit asks.
TEST_F(GLStateTest, ValidateDrawFollowsTheDirtyBits) {
    ASSERT_EQ(__glXCreateGLState(&gc_, TRUE), 0u);
    ULONG* pws = gc_.pState->blocks[Bit(GL_SCISSOR_BIT)];
    gc_.pState->blocks[Bit(GL_ENABLE_BIT)][GLX_ENABLE_BITS] = GLX_EN_SCISSOR_TEST;
    pws[GLX_SCISSOR_UNSET] = 0;
    pws[GLX_SCISSOR_X] = 10;
    pws[GLX_SCISSOR_Y] = 20;
    pws[GLX_SCISSOR_WIDTH] = 30;
    pws[GLX_SCISSOR_HEIGHT] = 40;
    gAnswers.ul = 1;
    gRecord.calls.clear();
    gc_.dirty = GLX_DIRTY_CLIP | GLX_DIRTY_VIEWPORT;
    __glXValidateDraw(&gc_);
    EXPECT_EQ(CallNames(), (std::vector<std::string>{"__glDrawableHeight", "_DSetClipRegion",
                                               "__glVisualDoubleBuffered", "__glVisualStereo",
                                               "_DBindBuffers", "__glXValidateViewport"}));
    EXPECT_NE(gRecord.calls[1].args[1], 0u) << "a region of the box";
    EXPECT_EQ(gRecord.calls[4].args[1], 0xC0404u) << "stereo, double-buffered, drawing the back";
    EXPECT_EQ(gc_.flBufferMask, 0xC0404u);
    EXPECT_EQ(gc_.dirty, 0u);

    // Scissor test off: the region goes.
    gc_.pState->blocks[Bit(GL_ENABLE_BIT)][GLX_ENABLE_BITS] = 0;
    gRecord.calls.clear();
    gc_.dirty = GLX_DIRTY_CLIP;
    __glXValidateDraw(&gc_);
    ASSERT_GE(gRecord.calls.size(), 1u);
    EXPECT_EQ(gRecord.calls[0].name, "_DSetClipRegion");
    EXPECT_EQ(gRecord.calls[0].args[1], 0u);
}

// On every bind: the lgi context made current, a changed window marks the
// buffers and the viewport, the buffers bound, and lights, clip planes and
// colour format handed on while marked.
TEST_F(GLStateTest, ValidateOnBind) {
    ASSERT_EQ(__glXCreateGLState(&gc_, TRUE), 0u);
    gRecord.calls.clear();
    gAnswers.ul = 1;
    gc_.bWindowChanged = 1;
    gc_.flBufferMask = 0x404;
    gc_.dirty = GLX_DIRTY_LIGHTS | GLX_DIRTY_CLIP_PLANES | GLX_DIRTY_COLOR_FORMAT;
    __glXValidateOnBind(&gc_);
    EXPECT_EQ(CallNames(), (std::vector<std::string>{"N_MakeCurrent", "_DBindBuffers", "N_SetLights",
                                               "__glXPushClipPlanes", "__glXPushColorFormat"}));
    EXPECT_EQ(gRecord.calls[1].args[1], 0x404u);
    EXPECT_EQ(gc_.bWindowChanged, 0u);
    EXPECT_EQ(gc_.dirty, GLX_DIRTY_BUFFERS | GLX_DIRTY_VIEWPORT);
}

}  // namespace
