// State validation: which state changes mark which dirty bits, which steps
// a validation then runs (the context records them), what the dispatch
// records learn, and the derived state of the buffer, enable-flag, mask,
// culling, clip-rectangle, colour, texture-generation, fog, stipple and
// per-primitive steps.
#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <vector>

#include "lgi/seams.h"
#include "gl/server/lgi/lgi_fixture.h"
#include "gl/server/lgi/matrix_ref.h"

namespace lgi_test {
namespace {

// The attribute's first word; any further words 0.
void Set(ULONG id, ULONG word) {
    ULONG aul[32] = {word};
    N_SetStateBlockAttr(id, aul);
}
void SetF(ULONG id, std::initializer_list<float> f) {
    std::vector<float> v(f);
    N_SetStateBlockAttr(id, v.data());
}

// The mask of steps (numbered from 1 in validation order) a validation runs.
ULONG Steps(std::initializer_list<int> steps) {
    ULONG fl = 0;
    for (int s : steps) fl |= 1u << (s - 1);
    return fl;
}

GLBuffer Buffer(ULONG bits, ULONG memoryKind = GLBUFFER_MEMORY_DEVICE) {
    GLBuffer b{};
    b.bitsPerPixel = bits;
    b.memoryKind = memoryKind;
    b.cx = 100;
    b.cy = 50;
    return b;
}

class ValidateTest : public LgiTest {
  protected:
    void SetUp() override {
        LgiTest::SetUp();
        Set(87, 0xFFFFFFFFu);  // no line stipple, as the GL layer starts
        Validate();
    }
    void Validate() { _NValidate(ctx_, ctx_->dirty); }
    void Put(ULONG slot, GLBuffer* pb) { ctx_->buffers[slot].pBuffer = pb; }
};

// Each state group: the change that marks it, its dirty bit alone, and the
// steps it runs: 1 draw buffer, 2 enable flags, 3 matrices and viewport, 4
// transform set-up, 5 read buffer, 6 clip rectangles, 7 write masks, 8
// colour conversion, 9 texture generation, 10 texture sampling, 11
// culling, 12 stencil slots, 13 dither, 14 linear fog, 15 lighting.
TEST_F(ValidateTest, EachChangeMarksItsBitsAndRunsTheirSteps) {
    static const float kMatrix[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1};
    static GLBuffer colour = Buffer(32);
    static const N_Light kLight{};
    static const float kPlane[4] = {1, 0, 0, 0};
    static const ULONG kRect[2] = {0, (10u << 16) | 10u};
    static const LONG kBox[4] = {0, 0, 99, 99};
    struct Case {
        const char* what;
        std::function<void()> change;
        ULONG dirty;
        std::initializer_list<int> steps;
    };
    const Case cases[] = {
        {"modelview", [] { N_SetStateBlockAttr(3, kMatrix); }, 0x1, {3, 4, 14}},
        {"render mode", [] { Set(35, 2); }, 0x2, {2}},
        {"viewer", [] { Set(80, 1); }, 0x4, {2, 4}},
        {"texture generation", [] { Set(37, 1); }, 0x8, {2, 3, 4, 9, 10, 14}},
        {"two-sided lighting", [] { Set(46, 1); }, 0x10, {4, 11}},
        {"clip box", [] { N_SetStateBlockAttr(50, kBox); }, 0x20, {3, 6, 14}},
        {"edge flag", [] { Set(57, 1); }, 0x40, {}},
        {"front emission", [] { SetF(58, {0.5f, 0, 0, 1}); }, 0x80, {2, 4, 8, 15}},
        {"colour material", [] { Set(77, 1); }, 0x100, {4, 15}},
        {"feedback buffer", [] { Set(36, 4); }, 0x200, {}},
        {"colour-index mode", [] { Set(83, 1); }, 0x400, {2, 8, 10, 13}},
        {"point size", [] { SetF(85, {2.0f}); }, 0x800, {}},
        {"normalize", [] { Set(N_ATTR_NORMALIZE, 0); }, 0x1000, {4}},
        {"line width", [] { SetF(86, {2.0f}); }, 0x2000, {2, 4}},
        {"polygon mode", [] { Set(91, 1); }, 0x4000, {2, 11}},
        {"point smooth", [] { Set(94, 1); }, 0x8000, {2}},
        {"raster position valid", [] { Set(102, 0); }, 0x10000, {}},
        {"colour format", [] { Set(104, 2); }, 0x20000, {8, 10}},
        {"fog", [] { Set(105, 1); }, 0x40000, {2, 3, 4, 10, 14}},
        {"stencil test", [] { Set(113, 1); }, 0x80000, {2, 8, 10, 12, 13}},
        {"colour mask", [] { Set(127, 0xFF); }, 0x100000, {2, 7}},
        {"pixel map colour", [] { Set(131, 1); }, 0x200000, {}},
        {"texture enable", [] { Set(147, 1); }, 0x400000, {2, 3, 6, 8, 9, 10, 13, 14}},
        {"draw buffer", [] { Set(163, 4); }, 0x800000, {1, 2, 3, 5, 6, 7, 14}},
        {"lights", [] { N_SetLights(1, &kLight); }, 0x1000000, {4, 15}},
        {"clip planes", [] { N_SetClipPlanes(1, kPlane); }, 0x2000000, {3, 14}},
        {"buffers", [] {
             GLBuffer* ap[2] = {&colour, nullptr};
             colour.kind = GLBUFFER_BACK_LEFT;
             N_BindBuffers(1, ap);
         }, 0x8000000, {1, 2, 3, 5, 6, 7, 14}},
        {"current colour", [] { SetF(52, {0.5f, 0.5f, 0.5f, 1}); }, 0x20000000, {8, 15}},
        {"clip list", [] { N_BindClipList(1, kRect); }, 0x40000000, {6}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(ctx_->dirty, 0u);
        c.change();
        EXPECT_EQ(ctx_->dirty, c.dirty);
        Validate();
        EXPECT_EQ(ctx_->val.stepsRun, Steps(c.steps));
        EXPECT_EQ(ctx_->dirty, 0u);
        // The same attribute value again is no change.
        if ((c.dirty >= N_DIRTY_LIGHTS && c.dirty != N_DIRTY_CURRENT_COLOUR) || c.dirty == N_DIRTY_MATRIX) {
            // Setters that always mark: matrix operations, lights, planes,
            // buffers, the clip list.
            Validate();
            continue;
        }
        c.change();
        EXPECT_EQ(ctx_->dirty, 0u);
    }
    // A loaded texture image has no setter here: its bit alone.
    _NValidate(ctx_, 0x4000000);
    EXPECT_EQ(ctx_->val.stepsRun, Steps({2, 3, 9, 10, 13, 14}));
}

// Attributes 80-82 set and set back before validation run no step; a real
// change does.
TEST_F(ValidateTest, ShadeWordsBackAtTheirValuesRunNothing) {
    for (N_PrimDispatch& pd : ctx_->prim) pd.dirtyMask = 0;
    Set(81, 2);
    Set(81, 1);
    EXPECT_EQ(ctx_->dirty, 0x4u);
    Validate();
    EXPECT_EQ(ctx_->val.stepsRun, 0u);
    // The dispatch records still learn the dirty word as it was passed.
    EXPECT_EQ(ctx_->prim[64 - 61].dirtyMask, 0x4u) << "lines depend on the shade words";
    EXPECT_EQ(ctx_->prim[62 - 61].dirtyMask, 0u) << "the raster position does not";
    Set(82, 2);
    Validate();
    EXPECT_EQ(ctx_->val.stepsRun, Steps({2, 4}));
}

// Validating part of the dirty word leaves the rest for later.
TEST_F(ValidateTest, OnlyTheValidatedBitsAreCleared) {
    Set(35, 2);
    Set(113, 1);
    _NValidate(ctx_, 0x2);
    EXPECT_EQ(ctx_->dirty, 0x80000u);
}

// Each kind's dispatch record takes the dirty bits it depends on; a change
// of transform mode marks every record whole.
TEST_F(ValidateTest, DispatchRecordsLearnWhatTheyDependOn) {
    for (N_PrimDispatch& pd : ctx_->prim) pd.dirtyMask = 0;
    _NValidate(ctx_, 0x1 | 0x2 | 0x40 | 0x4000);
    const ULONG want[11] = {0, 0x3, 0x4003, 0x2, 0x2, 0x4002, 0x4002, 0x4002, 0x4002, 0x4002, 0x4002};
    for (ULONG i = 0; i < 11; ++i) EXPECT_EQ(ctx_->prim[i].dirtyMask, want[i]) << "kind " << 61 + i;

    // Identity (rotation, uniform scale: model-space lighting) to a
    // non-uniform scale (eye space).
    ASSERT_EQ(ctx_->val.transformMode, 1u);
    for (N_PrimDispatch& pd : ctx_->prim) pd.dirtyMask = 0;
    const auto m = mref::RowMajorF(mref::Scale(1, 2, 1));
    N_SetStateBlockAttr(3, m.data());
    const ULONG generation = ctx_->xf.generation;
    Validate();
    EXPECT_EQ(ctx_->val.transformMode, 0u);
    EXPECT_NE(ctx_->xf.generation, generation);
    for (ULONG i = 0; i < 11; ++i) EXPECT_EQ(ctx_->prim[i].dirtyMask, N_DIRTY_ALL) << "kind " << 61 + i;
}

TEST_F(ValidateTest, TransformModeAndStages) {
    struct Case {
        mref::M4 m;
        ULONG normalize;
        ULONG mode, eye, normal;
    } cases[] = {
        {mref::Mul(mref::Rotate(30, 0, 0.6, 0.8), mref::Scale(3, 3, 3)), 0, 1, N_EYE_STAGE_NONE, N_NORMAL_STAGE_NONE},
        {mref::Mul(mref::Translate(1, 2, 3), mref::Rotate(70, 1, 0, 0)), 1, 1, N_EYE_STAGE_NONE, N_NORMAL_STAGE_RESCALE},
        {mref::Scale(1, 1, 1.1), 0, 0, N_EYE_STAGE_AFFINE, N_NORMAL_STAGE_PLAIN},
        {mref::Scale(1, 1, 1.001), 1, 1, N_EYE_STAGE_NONE, N_NORMAL_STAGE_RESCALE},  // within 1%
        {mref::Frustum(-1, 1, -1, 1, 1, 10), 1, 0, N_EYE_STAGE_GENERAL, N_NORMAL_STAGE_NORMALISE},
        {mref::Scale(0, 0, 0), 0, 0, N_EYE_STAGE_AFFINE, N_NORMAL_STAGE_PLAIN},  // no inverse
    };
    for (const Case& c : cases) {
        const auto a = mref::RowMajorF(c.m);
        N_SetStateBlockAttr(3, a.data());
        Set(45, c.normalize);
        Validate();
        EXPECT_EQ(ctx_->val.transformMode, c.mode);
        EXPECT_EQ(ctx_->val.eyeStage, c.eye);
        EXPECT_EQ(ctx_->val.normalStage, c.normal);
    }
    // Arrays with normalize in model space rescale too (every route carries
    // normals as given); sphere mapping needs eye coordinates.
    N_SetStateBlockAttr(3, mref::RowMajorF(mref::Identity()).data());
    Set(45, 1);
    ctx_->fromExecPrimitive = 1;
    _NPrimTransformSetup(ctx_);
    EXPECT_EQ(ctx_->val.normalStage, N_NORMAL_STAGE_RESCALE);
    const ULONG sphere[5] = {2, 0, 0, 0, 0};
    Set(37, 1);
    N_SetStateBlockAttr(41, sphere);
    _NPrimTransformSetup(ctx_);
    EXPECT_EQ(ctx_->val.eyeStage, N_EYE_STAGE_AFFINE);
}

TEST_F(ValidateTest, DrawAndReadBuffers) {
    GLBuffer b[21];
    struct Case {
        ULONG code;
        std::initializer_list<ULONG> present;
        std::vector<LONG> draw, alpha;  // the lists up to the count (or the first entries when 0)
        ULONG count;
    } cases[] = {
        {3, {0}, {0}, {-1}, 1},
        {3, {8, 2, 14}, {8}, {14}, 1},  // slot 0's alpha buffer is replaced by slot 8's
        {255, {0, 1, 8, 9, 2, 3, 14, 15}, {0, 8, 1, 9}, {2, 14, 3, 15}, 4},
        {12, {9, 15}, {9}, {15}, 1},
        {5, {0, 1, 3}, {0, 1}, {-1, 3}, 2},
        {2, {8}, {8}, {-1}, 1},
        {7, {1, 3}, {1}, {3}, 0},   // no code: the back-left buffer stands first
        {4, {0}, {-1}, {-1}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "code " << c.code);
        for (ULONG s = 0; s < N_BUFFER_SLOTS; ++s) Put(s, nullptr);
        for (ULONG s : c.present) Put(s, &b[s]);
        Set(163, c.code);
        _NValidate(ctx_, N_DIRTY_BUFFERS);
        EXPECT_EQ(ctx_->val.cDrawBuffers, c.count);
        for (std::size_t i = 0; i < c.draw.size(); ++i) {
            EXPECT_EQ(ctx_->val.drawSlots[i], c.draw[i]) << i;
            EXPECT_EQ(ctx_->val.alphaSlots[i], c.alpha[i]) << i;
        }
    }
    for (ULONG s : {0u, 1u, 8u, 9u}) Put(s, &b[s]);
    const std::pair<ULONG, LONG> reads[] = {{1, 0}, {3, 0}, {5, 0}, {4, 1}, {12, 1}, {2, 8},
                                            {10, 8}, {8, 9},  {0, 0}, {77, 0}};
    for (auto [code, slot] : reads) {
        Set(162, code);
        _NValidate(ctx_, N_DIRTY_BUFFERS);
        EXPECT_EQ(ctx_->val.readSlot, slot) << "code " << code;
    }
    Put(9, nullptr);
    Set(162, 8);
    _NValidate(ctx_, N_DIRTY_BUFFERS);
    EXPECT_EQ(ctx_->val.readSlot, -1) << "a missing buffer reads nothing";
}

// The enable-flag words over a table of states: a back-left device buffer
// of 32 bits drawn, everything else as a new context has it but for the
// case's changes.
TEST_F(ValidateTest, EnableFlagWords) {
    struct Case {
        const char* what;
        std::function<void(std::vector<GLBuffer>&)> setup;
        ULONG front, back;
    };
    const Case cases[] = {
        {"plain", [](std::vector<GLBuffer>&) {}, 0x1, 0x1},
        {"host buffer with fog", [this](std::vector<GLBuffer>& b) {
             b[1].memoryKind = GLBUFFER_MEMORY_HOST;
             Set(105, 1);
         }, 0x7, 0x7},
        {"depth test, depth mask off", [this](std::vector<GLBuffer>& b) {
             Put(4, &b[4]);
             Set(118, 2);
             Set(129, 0);
         }, 0x1 | 0x10 | 0x800000, 0x1 | 0x10 | 0x800000},
        {"host depth, no test", [this](std::vector<GLBuffer>& b) {
             b[4].memoryKind = GLBUFFER_MEMORY_HOST;
             Put(4, &b[4]);
             Set(129, 0);
         }, 0x1 | 0x40, 0x1 | 0x40},
        {"blend", [](std::vector<GLBuffer>&) { Set(120, 1); }, 0x1 | 0x80 | 0x2000, 0x1 | 0x80 | 0x2000},
        {"blend in colour-index mode", [](std::vector<GLBuffer>&) {
             Set(120, 1);
             Set(83, 1);
             Set(161, 0xFF);
         }, 0x1 | 0x80 | 0x400000, 0x1 | 0x80 | 0x400000},
        {"full index mask", [](std::vector<GLBuffer>&) {
             Set(83, 1);
             Set(161, 0xFFFFFF);
         }, 0x1, 0x1},
        {"partial colour mask", [](std::vector<GLBuffer>&) { Set(127, 0xFFFF00); }, 0x400001, 0x400001},
        {"16-bit full mask", [](std::vector<GLBuffer>& b) {
             b[1].bitsPerPixel = 16;
             Set(127, 0x7F7F7F);
         }, 0x1, 0x1},
        {"polygon modes", [](std::vector<GLBuffer>&) {
             Set(91, 0);
             Set(92, 1);
         }, 0x1 | 0x10000, 0x1 | 0x100000},
        {"stippled and point-smoothed", [](std::vector<GLBuffer>&) {
             Set(91, 3);
             Set(92, 5);
             Set(94, 1);
         }, 0x1 | 0x20000 | 0x8000000, 0x1 | 0x8000 | 0x8000000},
        {"smoothing on a 4-bit buffer", [this](std::vector<GLBuffer>& b) {
             b[1].bitsPerPixel = 4;
             Set(94, 1);
             Set(95, 1);
             ctx_->aaLines = 1;
         }, 0x1, 0x1},
        {"board's forced line antialiasing", [this](std::vector<GLBuffer>&) { ctx_->aaLines = 1; },
         0x10000001, 0x10000001},
        {"logic op", [](std::vector<GLBuffer>&) {
             Set(123, 1);
             Set(124, 5);
         }, 0x40000001, 0x40000001},
        {"logic op copy", [](std::vector<GLBuffer>&) { Set(123, 1); }, 0x1, 0x1},
        {"feedback with blend and alpha test", [](std::vector<GLBuffer>&) {
             Set(35, 2);
             Set(120, 1);
             Set(116, 1);
         }, 0x2000 | 0x4000, 0x2000 | 0x4000},
        {"host stencil, test on, mask off", [this](std::vector<GLBuffer>& b) {
             b[5].memoryKind = GLBUFFER_MEMORY_HOST;
             Put(5, &b[5]);
             Set(113, 1);
             Set(130, 0);
         }, 0x1 | 0x800 | 0x1000 | 0x2000000, 0x1 | 0x800 | 0x1000 | 0x2000000},
        // A host alpha buffer carries alpha (0x80) for the software write.
        {"host alpha buffer, mask off", [this](std::vector<GLBuffer>& b) {
             b[3].memoryKind = GLBUFFER_MEMORY_HOST;
             Put(3, &b[3]);
             Set(128, 0);
         }, 0x1 | 0x8 | 0x80 | 0x200 | 0x1000000, 0x1 | 0x8 | 0x80 | 0x200 | 0x1000000},
        {"line stipple", [](std::vector<GLBuffer>&) { Set(87, 0xF0F0); }, 0x4000001, 0x4000001},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<GLBuffer> b(N_BUFFER_SLOTS, Buffer(32));
        LgiTest::TearDown();
        LgiTest::SetUp();
        Set(87, 0xFFFFFFFFu);
        Set(163, 4);
        Put(1, &b[1]);
        c.setup(b);
        Validate();
        EXPECT_EQ(ctx_->enableWord, c.front);
        EXPECT_EQ(ctx_->val.enableBack, c.back);
    }
}

TEST_F(ValidateTest, WriteMasksCullingAndStencilSlots) {
    GLBuffer d = Buffer(16);
    Put(1, &d);
    Set(163, 4);
    Set(127, 0x12345);
    Set(128, 0x1F0);
    Set(129, 0);
    Set(130, 0x3C);
    Validate();
    // A 16-bit buffer's colour word holds 7 bits a channel (0x7F7F7F), red
    // included: the masks are cut to that, not to the pixel's 16 bits.
    EXPECT_EQ(ctx_->val.colourMask, 0x12345u & 0x7F7F7Fu);
    EXPECT_EQ(ctx_->val.colourMaskNot, ~0x12345u & 0x7F7F7Fu);
    EXPECT_EQ(ctx_->val.alphaMask, 0x1F0u);
    EXPECT_EQ(ctx_->val.alphaMaskNot, 0x0Fu);
    EXPECT_EQ(ctx_->val.depthMaskNot, 0xFFFFFFFFu);
    EXPECT_EQ(ctx_->val.stencilMaskNot, 0xC3u);

    // Cull mode 1 is GL_BACK (the second facing goes), 2 GL_FRONT (the first).
    struct Cull {
        ULONG twoSide, frontFace, cull, mode, polyBack;
        ULONG twoSided, first, second, winding;
    } culls[] = {
        {0, 1, 0, 3, 2, 0, 0, 0, 0}, {1, 1, 1, 1, 2, 1, 0, 1, 0}, {0, 0, 1, 2, 2, 0, 1, 0, 1},
        {0, 1, 1, 3, 1, 1, 1, 1, 0},
    };
    for (const Cull& c : culls) {
        Set(46, c.twoSide);
        Set(47, c.frontFace);
        Set(48, c.cull);
        Set(49, c.mode);
        Set(92, c.polyBack);
        Validate();
        EXPECT_EQ(ctx_->val.twoSided, c.twoSided);
        EXPECT_EQ(ctx_->val.cullFront, c.first);
        EXPECT_EQ(ctx_->val.cullBack, c.second);
        EXPECT_EQ(ctx_->val.windingCw, c.winding);
    }
    // Culling attributes set back to what was validated mark nothing.
    Set(48, 0);
    Set(48, 1);
    EXPECT_EQ(ctx_->dirty, 0u);

    GLBuffer s = Buffer(8);
    Put(5, &s);
    const ULONG ops[3] = {1, 2, 3};  // fail, depth-pass, depth-fail as the GL layer stores them
    N_SetStateBlockAttr(115, ops);
    Set(113, 1);
    Validate();
    EXPECT_EQ(ctx_->val.stencilSlots[0], 1u);
    EXPECT_EQ(ctx_->val.stencilSlots[1], N_STENCIL_SLOT_ERROR);
    EXPECT_EQ(ctx_->val.stencilSlots[2], 2u) << "depth pass";
    EXPECT_EQ(ctx_->val.stencilSlots[3], 3u) << "depth fail";
    const ULONG unknown[3] = {9, 0, 1};
    N_SetStateBlockAttr(115, unknown);
    Validate();
    EXPECT_EQ(ctx_->val.stencilSlots[0], N_STENCIL_SLOT_ERROR) << "an operation the table lacks";
}

// Texture sampling for the board's textured polygons: the filters in force
// (the polygon selector chooses its programs by them) and where the
// renderers place a coordinate s, at (s + shift) x size + offset + 1
// sixteenths of a texel: the size is the whole texture, the offset takes
// the 1 back (nearest texels at s x width) or starts half a texel lower,
// one repeat up (the neighbour filters).
TEST_F(ValidateTest, TextureSamplingPlacesCoordinatesAtTheTexels) {
    ctx_->texBound = 1;
    ctx_->boundTex.target = 1;
    ctx_->boundTex.width = 16;
    ctx_->boundTex.height = 8;
    ctx_->boundTex.components = 3;
    struct Case {
        ULONG minF, magF;
        LONG limits[4];
    };
    const Case cases[] = {
        {0, 0, {256, 128, -1, -1}},
        {1, 1, {256, 128, 256 - 9, 128 - 9}},
        {0, 1, {256, 128, 256 - 9, 128 - 9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.minF * 10 + c.magF);
        Set(N_ATTR_MIN_FILTER1, c.minF);
        Set(N_ATTR_MAG_FILTER1, c.magF);
        _NValTexture(ctx_);
        EXPECT_EQ(ctx_->texFilters[0], c.minF);
        EXPECT_EQ(ctx_->texFilters[1], c.magF);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(ctx_->val.tex.limits[k], c.limits[k]) << k;
    }
}

TEST_F(ValidateTest, ClipRectanglesCutToTheBox) {
    GLBuffer d = Buffer(32);
    Put(1, &d);
    Set(163, 4);
    const LONG box[4] = {10, 20, 99, 79};
    N_SetStateBlockAttr(50, box);
    const ULONG rects[4] = {(0u << 16) | 0u, (200u << 16) | 300u, (30u << 16) | 40u, (50u << 16) | 60u};
    N_BindClipList(2, rects);
    Validate();
    EXPECT_EQ(ctx_->pulPackedClip[0], (20u << 16) | 10u);
    EXPECT_EQ(ctx_->pulPackedClip[1], (80u << 16) | 100u) << "far corner = box maximum + 1";
    EXPECT_EQ(ctx_->pulPackedClip[2], (30u << 16) | 40u);
    EXPECT_EQ(ctx_->pulPackedClip[3], (50u << 16) | 60u);
    EXPECT_EQ(ctx_->multiRect, 1u) << "the back-left buffer alone, in the surface of every window's back buffer";
    GLBuffer host = Buffer(32, GLBUFFER_MEMORY_HOST);
    Put(1, &host);
    N_BindClipList(2, rects);
    Validate();
    EXPECT_EQ(ctx_->multiRect, 0u) << "the back-left buffer alone, in memory of its own";
    Put(1, &d);
    N_BindClipList(2, rects);
    Set(163, 5);
    Put(0, &d);
    Validate();
    EXPECT_EQ(ctx_->multiRect, 1u) << "two draw buffers";
    N_BindClipList(1, rects);
    Validate();
    EXPECT_EQ(ctx_->multiRect, 0u) << "one rectangle";
    N_InvalidateClipRects();
    EXPECT_EQ(ctx_->dirty, N_DIRTY_CLIP_LIST);
}

// The channel shifts come from the colour format's channel places (words
// 4-6, 2^shift each), not from its channel maxima (words 1-3): blue lands
// at its own place in the packed word.
TEST_F(ValidateTest, ColourShiftsComeFromTheChannelPlaces) {
    struct Case {
        const char* name;
        ULONG bits[3], shift[3];
    } const cases[] = {
        {"8-8-8 RGB", {8, 8, 8}, {16, 8, 0}},
        {"8-8-8 BGR", {8, 8, 8}, {0, 8, 16}},
        {"5-6-5", {5, 6, 5}, {11, 5, 0}},
        {"3-3-2", {3, 3, 2}, {5, 2, 0}},
        {"blue at 10", {5, 5, 5}, {0, 5, 10}},
    };
    GLBuffer d = Buffer(32);
    Put(0, &d);
    const float one = 1.0f;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ULONG aul[11] = {1, (1u << c.bits[0]) - 1, (1u << c.bits[1]) - 1, (1u << c.bits[2]) - 1,
                         1u << c.shift[0], 1u << c.shift[1], 1u << c.shift[2], 0, 0, 0, 0};
        for (ULONG i = 7; i < 10; ++i) std::memcpy(&aul[i], &one, 4);
        N_SetStateBlockAttr(N_ATTR_PIXEL_FORMAT, aul);
        Validate();
        for (ULONG i = 0; i < 3; ++i) EXPECT_EQ(ctx_->val.colour.channelShift[i], c.shift[i]) << i;
        const float blue[4] = {0.0f, 0.0f, 1.0f, 1.0f};
        EXPECT_EQ(_NColourToHardware(ctx_, N_CONVERT_RGBA, blue), 0xFFu << c.shift[2]);
    }
}

TEST_F(ValidateTest, ColourScalesAndEightBitBlending) {
    struct Case {
        ULONG bits, dither;
        float r, g, b, rr;
    } cases[] = {
        {8, 1, 160, 224, 96, 1 / 160.0f}, {8, 0, 191, 255, 127, 1 / 160.0f},
        {16, 1, 124, 124, 124, 1 / 248.0f}, {16, 0, 127, 127, 127, 1 / 248.0f},
        {32, 1, 255, 255, 255, 1 / 255.0f},
    };
    GLBuffer d = Buffer(8);
    Put(0, &d);
    for (const Case& c : cases) {
        d.bitsPerPixel = c.bits;
        Set(122, c.dither);
        _NValidate(ctx_, N_DIRTY_FRAGMENT);
        EXPECT_EQ(ctx_->val.colour.scale[0], c.r * 65536.0f) << c.bits;
        EXPECT_EQ(ctx_->val.colour.scale[1], c.g * 256.0f) << c.bits;
        EXPECT_EQ(ctx_->val.colour.scale[2], c.b) << c.bits;
        EXPECT_EQ(ctx_->val.colour.reciprocal[0], c.rr) << c.bits;
        EXPECT_EQ(ctx_->val.colour.converter, N_CONVERT_RGBA);
    }
    d.bitsPerPixel = 12;
    vnx::debug::clear();
    _NValidate(ctx_, N_DIRTY_FRAGMENT);
    EXPECT_TRUE(Printed("_NValColorMap: unsupported depth: 12\n"));

    d.bitsPerPixel = 8;
    Set(120, 1);
    const std::pair<std::array<ULONG, 2>, ULONG> blends[] = {
        {{0, 9}, 1}, {{0, 1}, 0}, {{1, 10}, 1}, {{2, 7}, 1}, {{3, 6}, 1}, {{3, 2}, 0}, {{4, 10}, 0}, {{5, 10}, 1},
    };
    for (const auto& [f, want] : blends) {
        N_SetStateBlockAttr(121, f.data());
        Validate();
        EXPECT_EQ(ctx_->val.colour.blend8, want) << f[0] << " " << f[1];
    }
    // Colour-index mode: the converters of the buffer's depth.
    Set(83, 1);
    for (auto [bits, conv] : {std::pair{8u, N_CONVERT_INDEX8}, {4u, N_CONVERT_INDEX4}, {1u, N_CONVERT_INDEX1}}) {
        d.bitsPerPixel = bits;
        _NValidate(ctx_, N_DIRTY_COLOUR_MODE);
        EXPECT_EQ(ctx_->val.colour.converter, conv);
        EXPECT_EQ(ctx_->val.colour.scale[0], 1.0f);
    }
}

// At 8 bits a pixel the driver's palette shows red 0 to 255 at the 3-bit
// red steps 1 to 6 (steps 0 and 7 are black beside the system colours), and
// the board adds up to 31 of dither before it keeps a channel's top bits:
// every red, dithered or not, lands within one palette step of GL's red, 0
// and 1 exactly on steps 1 and 6; green and blue, and other depths, take no
// offset.
TEST_F(ValidateTest, EightBitRedLandsOnThePalettesRedSteps) {
    static const int kPaletteRed[8] = {0, 0, 51, 102, 153, 204, 255, 0};
    GLBuffer d = Buffer(8);
    Put(0, &d);
    for (ULONG dither : {0u, 1u}) {
        Set(122, dither);
        _NValidate(ctx_, N_DIRTY_FRAGMENT);
        for (float red : {0.0f, 0.2f, 0.5f, 0.8f, 1.0f}) {
            const float colour[4] = {red, 0.0f, 0.0f, 1.0f};
            const ULONG hw = _NColourToHardware(ctx_, N_CONVERT_RGBA, colour);
            EXPECT_EQ(hw & 0xFFFFu, 0u) << red;
            for (ULONG added : {0u, dither != 0 ? 31u : 0u}) {
                const ULONG step = std::min<ULONG>(((hw >> 16) & 0xFFu) + added, 255u) >> 5;
                EXPECT_GE(step, 1u) << red << " dither " << added;
                EXPECT_LE(step, 6u) << red << " dither " << added;
                EXPECT_LE(std::abs(kPaletteRed[step] - static_cast<int>(red * 255.0f)), 51) << red;
            }
        }
        const float black[4] = {0, 0, 0, 1}, white[4] = {1, 1, 1, 1};
        EXPECT_EQ(_NColourToHardware(ctx_, N_CONVERT_RGBA, black) >> 21, 1u);
        EXPECT_EQ((_NColourToHardware(ctx_, N_CONVERT_RGBA, white) + (dither != 0 ? 0x1F0000u : 0)) >> 21, 6u);
    }
    for (ULONG bits : {16u, 32u}) {
        d.bitsPerPixel = bits;
        _NValidate(ctx_, N_DIRTY_FRAGMENT);
        const float black[4] = {0, 0, 0, 1};
        EXPECT_EQ(_NColourToHardware(ctx_, N_CONVERT_RGBA, black), 0u) << bits;
    }
}

// A clear at 8 bits a pixel while dithering: the board fills the packed
// clear colour without the dither matrix and keeps each channel's top bits
// (3-3-2), so the clear colour lands on the stored level whose palette
// colour lies nearest it, not on the level below (blue 0.6 on the level
// that shows 170, not 85).
TEST_F(ValidateTest, EightBitDitheredClearKeepsTheNearestLevel) {
    GLBuffer d = Buffer(8);
    Put(0, &d);
    *pulAttr(ctx_, N_ATTR_DITHER) = 1;
    // The palette's colour of each stored level: red (levels 0 and 1 both
    // black, 6 and 7 both full), green, blue.
    auto red = [](ULONG k) { return k <= 1 ? 0 : k >= 6 ? 255 : 51 * static_cast<int>(k - 1); };
    auto green = [](ULONG k) { return static_cast<int>((255 * k + 6) / 7); };
    auto blue = [](ULONG k) { return 85 * static_cast<int>(k); };
    for (int i = 0; i <= 20; ++i) {
        const float c = static_cast<float>(i) / 20.0f;
        const float colour[4] = {c, c, c, 1.0f};
        std::memcpy(pulAttr(ctx_, N_ATTR_CLEAR_COLOUR), colour, sizeof colour);
        const ULONG ul = _NPackedClearColour(ctx_, &d);
        const int want = static_cast<int>(std::lround(c * 255.0f));
        auto nearest = [want](auto shown, ULONG levels) {
            int best = 255;
            for (ULONG k = 0; k < levels; ++k) best = std::min(best, std::abs(shown(k) - want));
            return best;
        };
        EXPECT_LE(std::abs(red((ul >> 21) & 7u) - want), nearest(red, 8)) << "red " << c;
        EXPECT_LE(std::abs(green((ul >> 13) & 7u) - want), nearest(green, 8)) << "green " << c;
        EXPECT_LE(std::abs(blue((ul >> 5) & 3u) - want), nearest(blue, 4)) << "blue " << c;
        EXPECT_EQ(ul & ~0xFFFFFFu, 0u) << "no channel reaches past its byte";
    }
}

TEST_F(ValidateTest, DitherTables) {
    GLBuffer d = Buffer(8);
    Put(1, &d);
    Set(163, 4);
    struct Case {
        ULONG bits, index, dither, texture, table;
        bool loads;
    } cases[] = {
        {8, 0, 1, 0, N_DITHER_RGB8, true},     {16, 0, 1, 0, N_DITHER_RGB16, true},
        {8, 1, 1, 0, N_DITHER_INDEX8, true},   {32, 0, 1, 0, N_DITHER_NEUTRAL, false},
        {8, 0, 0, 0, N_DITHER_NEUTRAL, false}, {8, 0, 1, 1, N_DITHER_NEUTRAL, false},
    };
    for (const Case& c : cases) {
        d.bitsPerPixel = c.bits;
        Set(83, c.index);
        Set(122, c.dither);
        Set(147, c.texture);
        vnx::debug::clear();
        _NValidate(ctx_, N_DIRTY_FRAGMENT | N_DIRTY_BUFFERS);
        EXPECT_EQ(ctx_->val.ditherTable, c.table) << c.bits;
        // (Whether the matrix reaches the board: boardside_test.cpp.)
        (void)c.loads;
    }
    Set(147, 0);
    d.bitsPerPixel = 8;
    _NValidate(ctx_, N_DIRTY_FRAGMENT);
    d.bitsPerPixel = 12;
    vnx::debug::clear();
    _NValidate(ctx_, N_DIRTY_FRAGMENT);
    EXPECT_TRUE(Printed("_NValDither: unsupported depth\n"));
    EXPECT_EQ(ctx_->val.ditherTable, N_DITHER_RGB8) << "the previous table stays";
}

// The dither tile's rectangle for each rasterizer's copy of the tile.
TEST_F(ValidateTest, DitherLoadWords) {
    ULONG w[N_DITHER_LOAD_WORDS];
    auto packed = [](LONG x, LONG y) { return ((static_cast<ULONG>(y) << 16) | (static_cast<ULONG>(x) & 0xFFF)) << 4; };
    ASSERT_EQ(_NDitherLoadWords(0x77, 16, 32, 1, w), 6u);
    EXPECT_EQ(w[0], 0x77u);
    EXPECT_EQ(w[1], 0x001A0308u);
    EXPECT_EQ(w[2], packed(16, 32));
    EXPECT_EQ(w[3], packed(24, 32));
    EXPECT_EQ(w[4], packed(24, 40));
    EXPECT_EQ(w[5], packed(16, 40));
    ASSERT_EQ(_NDitherLoadWords(0x77, 16, 32, 2, w), 10u);
    EXPECT_EQ(w[6], packed(144, 32));
    ASSERT_EQ(_NDitherLoadWords(0x77, 16, 32, 4, w), 18u);
    EXPECT_EQ(w[10], packed(16, 160));
    EXPECT_EQ(w[14], packed(144, 160));
    EXPECT_EQ(w[16], packed(152, 168));
}

// Generated planes in eye space: the plane times the modelview's inverse.
// Object planes and eye planes are kept as they arrive (an eye plane is in
// eye space already): the modelview in force at validation moves neither,
// with or without an inverse.
TEST_F(ValidateTest, TextureGenerationPlanes) {
    const mref::M4 m = mref::Mul(mref::Translate(1, -2, 3), mref::Rotate(40, 0, 1, 0));
    N_SetStateBlockAttr(3, mref::RowMajorF(m).data());
    const ULONG objectPlane[5] = {0, F(1), F(2), F(3), F(4)};
    const ULONG eyePlane[5] = {1, F(0.5f), F(-1), F(2), F(1)};
    N_SetStateBlockAttr(41, objectPlane);
    N_SetStateBlockAttr(42, eyePlane);
    Set(38, 1);
    Validate();
    EXPECT_EQ(ctx_->val.texGen.none, 0u);
    EXPECT_EQ(ctx_->val.texGen.mode[0], 0u);
    EXPECT_EQ(ctx_->val.texGen.mode[1], 1u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(ctx_->val.texGen.plane[0][i], __glXWordFloat(objectPlane[1 + i])) << i;
        EXPECT_EQ(ctx_->val.texGen.plane[1][i], __glXWordFloat(eyePlane[1 + i])) << i;
    }
    // Another modelview, one without an inverse, and a plane of another
    // coordinate given meanwhile: the planes stay.
    N_SetStateBlockAttr(3, mref::RowMajorF(mref::Scale(0, 0, 0)).data());
    Validate();
    const ULONG eyePlane2[5] = {1, F(0.25f), F(0), F(0), F(3)};
    N_SetStateBlockAttr(43, eyePlane2);
    Validate();
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(ctx_->val.texGen.plane[1][i], __glXWordFloat(eyePlane[1 + i])) << i;
        EXPECT_EQ(ctx_->val.texGen.plane[2][i], __glXWordFloat(eyePlane2[1 + i])) << i;
    }
    Set(38, 0);
    Validate();
    EXPECT_EQ(ctx_->val.texGen.none, 1u);
}

// Each state toggled alone reaches every step that reads it: the derived
// state after the toggle's own validation is the one a validation of
// everything gives, whatever was set before. At 16 bits with a luminance
// texture under the modulate environment: fog (the fogged environment),
// dithering (the environment colour's scale: 0x7f7f7f undithered),
// texturing (no dithering while it is on), normalising (the normal stage),
// sphere mapping (eye positions).
TEST_F(ValidateTest, EachToggleAloneReachesTheStepsThatReadIt) {
    GLBuffer d = Buffer(16);
    Put(0, &d);
    Set(N_ATTR_DRAW_BUFFER, 1);
    ctx_->texBound = 1;
    ctx_->boundTex.target = 1;
    ctx_->boundTex.width = 8;
    ctx_->boundTex.height = 8;
    ctx_->boundTex.components = 1;
    Set(N_ATTR_ENV_MODE1, 0);
    SetF(N_ATTR_ENV_COLOUR1, {1.0f, 1.0f, 1.0f, 1.0f});
    Set(N_ATTR_DITHER, 1);
    _NValidate(ctx_, N_DIRTY_ALL);
    struct Derived {
        N_TexSampling tex;
        ULONG normalStage, eyeStage, eyePositions, ditherTable;
    };
    auto now = [&] {
        return Derived{ctx_->val.tex, ctx_->val.normalStage, ctx_->val.eyeStage, ctx_->eyePositions,
                       ctx_->val.ditherTable};
    };
    const ULONG sphere[5] = {2, 0, 0, 0, 0}, eye[5] = {1, F(1), 0, 0, 0};
    struct Toggle {
        const char* what;
        std::function<void()> set;
    } const toggles[] = {
        {"texture on", [] { Set(N_ATTR_TEXTURE, 1); }},
        {"fog on", [] { Set(N_ATTR_FOG, 1); }},
        {"dither off", [] { Set(N_ATTR_DITHER, 0); }},
        {"fog off", [] { Set(N_ATTR_FOG, 0); }},
        {"dither on", [] { Set(N_ATTR_DITHER, 1); }},
        {"texture off", [] { Set(N_ATTR_TEXTURE, 0); }},
        {"normalize off", [] { Set(N_ATTR_NORMALIZE, 0); }},
        {"normalize on", [] { Set(N_ATTR_NORMALIZE, 1); }},
        {"sphere map", [&] { N_SetStateBlockAttr(N_ATTR_TEXGEN_PLANE_S, sphere); Set(N_ATTR_TEXGEN_S, 1); }},
        {"eye linear", [&] { N_SetStateBlockAttr(N_ATTR_TEXGEN_PLANE_S, eye); }},
    };
    for (const Toggle& t : toggles) {
        SCOPED_TRACE(t.what);
        t.set();
        Validate();
        const Derived got = now();
        _NValidate(ctx_, N_DIRTY_ALL);
        const Derived want = now();
        EXPECT_EQ(got.tex.envFunction, want.tex.envFunction);
        EXPECT_EQ(got.tex.envHwColour, want.tex.envHwColour);
        EXPECT_EQ(std::memcmp(&got.tex, &want.tex, sizeof got.tex), 0);
        EXPECT_EQ(got.normalStage, want.normalStage);
        EXPECT_EQ(got.eyeStage, want.eyeStage);
        EXPECT_EQ(got.eyePositions, want.eyePositions);
        EXPECT_EQ(got.ditherTable, want.ditherTable);
    }
    // The white environment colour at 16 bits, undithered: each channel's
    // full 127.
    Set(N_ATTR_TEXTURE, 1);
    Set(N_ATTR_DITHER, 0);
    Validate();
    EXPECT_EQ(ctx_->val.tex.envHwColour & 0xFFFFFFu, 0x7F7F7Fu) << std::hex << ctx_->val.tex.envHwColour;
}

// Linear fog start and end in the fog factor's depth measure, the window
// depth: the window depth of points at those eye distances. With an
// orthographic projection the factor (e' - depth) / (e' - s') is GL's
// (e - d) / (e - s).
TEST_F(ValidateTest, LinearFogCoefficients) {
    GLBuffer d = Buffer(32);
    Put(1, &d);
    Set(163, 4);
    SetF(51, {0.0f, 1.0f});
    Set(105, 1);
    Set(106, 2);
    SetF(108, {5.0f});
    SetF(109, {30.0f});
    for (bool bOrtho : {true, false}) {
        SCOPED_TRACE(bOrtho ? "orthographic" : "perspective");  // single precision throughout
        const mref::M4 P = bOrtho ? mref::Ortho(-1, 1, -1, 1, 1, 50) : mref::Frustum(-1, 1, -1, 1, 1, 50);
        N_SetStateBlockAttr(9, mref::RowMajorF(P).data());  // stack 1: the projection
        Validate();
        const float* W = ctx_->xf.window;
        auto depth = [&](double dist) {
            const mref::V4 c = mref::Apply(P, {0, 0, -dist, 1});
            return W[10] * (c[2] / c[3]) + W[11];
        };
        const float s = ctx_->val.fogStart, e = ctx_->val.fogEnd;
        EXPECT_NEAR(s, depth(5), 1e-5 * std::fabs(depth(5)));
        EXPECT_NEAR(e, depth(30), 1e-5 * std::fabs(depth(30)));
        if (!bOrtho) continue;
        for (double dist : {2.0, 5.0, 12.0, 30.0, 45.0})
            EXPECT_NEAR((e - depth(dist)) / (e - s), (30.0 - dist) / (30.0 - 5.0), 1e-4) << dist;
    }
}

TEST_F(ValidateTest, ColourMaterialAndCurrentColourStores) {
    Set(77, 1);
    Set(78, 0x1 | 0x4 | 0x40);
    SetF(52, {0.25f, 0.5f, 0.75f, 1.0f});
    for (ULONG id : {58u, 60u, 69u}) EXPECT_EQ(__glXWordFloat(pulAttr(ctx_, id)[1]), 0.5f) << id;
    for (ULONG id : {59u, 61u, 67u, 68u, 70u}) EXPECT_NE(__glXWordFloat(pulAttr(ctx_, id)[1]), 0.5f) << id;
    // A new colour-material mode takes the current colour at once.
    Set(78, 0x2);
    EXPECT_EQ(__glXWordFloat(pulAttr(ctx_, 59)[1]), 0.5f);
    // Colour-index mode copies nothing.
    Set(83, 1);
    SetF(52, {0.1f, 0.2f, 0.3f, 1.0f});
    EXPECT_EQ(__glXWordFloat(pulAttr(ctx_, 58)[1]), 0.5f);
    Set(83, 0);
    Validate();

    // With a converter in force the current colour is converted at once.
    GLBuffer d = Buffer(32);
    Put(0, &d);
    _NValidate(ctx_, N_DIRTY_CURRENT_COLOUR);
    ASSERT_EQ(ctx_->val.colour.converter, N_CONVERT_RGBA);
    ctx_->pHw->batchCount = 3;
    vnx::debug::clear();
    SetF(52, {1, 0, 0, 1});
    EXPECT_EQ(ctx_->val.colour.hwColour, 0xFF0000u);
    EXPECT_EQ(ctx_->pHw->batchCount, N_BATCH_PRIMS);
    EXPECT_EQ(ctx_->dirty, N_DIRTY_CURRENT_COLOUR);
    // An alpha leaving 1.0 changes the lighting form: validated, not
    // converted at once.
    Validate();
    vnx::debug::clear();
    SetF(52, {1, 0, 0, 0.5f});
    EXPECT_FALSE(Printed("_NColourToHardware"));
    EXPECT_EQ(ctx_->dirty, N_DIRTY_CURRENT_COLOUR);
    // Depth range: the window transform now, nothing dirty.
    Validate();
    SetF(51, {0.25f, 0.75f});
    EXPECT_EQ(ctx_->dirty, 0u);
    EXPECT_FLOAT_EQ(ctx_->xf.window[11], 0.75f * 16777215.0f);
}

TEST_F(ValidateTest, PerPrimitiveSetup) {
    N_Pipe* pipe = &ctx_->blocks[0].front;
    CommonPipeData& c = ctx_->blocks[0].common;
    ASSERT_EQ(pipe->pCommonPipeData, &c);
    auto setup = [&](ULONG kind, ULONG format = N_VTX_POS3) {
        c.code = kind;
        c.format = format;
        _NValPrimCB(ctx_, pipe);
    };
    struct Case {
        ULONG kind, step, offset;
    } cases[] = {{66, 1, 0}, {67, 3, 3}, {68, 4, 4}, {69, 1, 0}, {70, 1, 1}, {71, 2, 2}};
    Set(79, 0);
    for (const Case& k : cases) {
        ctx_->prim[k.kind - 61].dirtyMask = 0x123;
        setup(k.kind);
        EXPECT_EQ(ctx_->prim[k.kind - 61].dirtyMask, 0u);
        EXPECT_EQ(ctx_->val.vertexStep, k.step) << k.kind;
        EXPECT_EQ(c.nextVertex, k.step) << k.kind;
        EXPECT_EQ(ctx_->val.firstVertexOffset, k.offset) << k.kind;
        EXPECT_EQ(ctx_->val.lightStage[k.kind - 61], N_LIGHT_STAGE_UNLIT_RGBA) << "lighting is off";
    }
    ctx_->val.lineState[0] = 7;
    setup(64);
    EXPECT_EQ(ctx_->val.lineState[0], 1u);
    EXPECT_EQ(ctx_->val.lineState[1], 0u);
    EXPECT_EQ(ctx_->val.lineState[2], 1u);
    // Four-component positions rule model-space lighting out.
    ASSERT_EQ(ctx_->val.transformMode, 1u);
    const ULONG generation = ctx_->xf.generation;
    setup(68, N_VTX_POS4);
    EXPECT_EQ(ctx_->val.transformMode, 0u);
    EXPECT_EQ(ctx_->xf.combinedAffine, 0u);
    EXPECT_NE(ctx_->xf.generation, generation);
    vnx::debug::clear();
    setup(61);
    EXPECT_TRUE(Printed("_NValPrimCB: unsupported primitives 61\n"));
}

// The stipple as the board takes it: rows last first, every byte's bits
// reversed; a pass's words two rows each, aligned to the window.
TEST_F(ValidateTest, PolygonStipplePattern) {
    ULONG rows[32], out[32];
    for (ULONG r = 0; r < 32; ++r) rows[r] = 0x01020380u + r;
    _NPrepareStipple(rows, out);
    auto rev = [](ULONG b) {
        ULONG r = 0;
        for (int i = 0; i < 8; ++i)
            if (b & (1u << i)) r |= 0x80u >> i;
        return r;
    };
    for (ULONG r = 0; r < 32; ++r) {
        const ULONG src = rows[31 - r];
        ULONG want = 0;
        for (int k = 0; k < 4; ++k) want |= rev((src >> (8 * k)) & 0xFF) << (8 * k);
        EXPECT_EQ(out[r], want) << r;
    }
    ULONG pattern[32];
    for (ULONG r = 0; r < 32; ++r) pattern[r] = 0x80000001u | (r << 8);
    ULONG w[8];
    _NStipplePassWords(pattern, 16, 0, 0, w);
    EXPECT_EQ(w[0], ((pattern[17] & 0xFFFF) << 16) | (pattern[16] & 0xFFFF));
    _NStipplePassWords(pattern, 0, 1, 3, w);
    // Rows from (0 - 3) & 31 = 29, each rotated left by one.
    EXPECT_EQ(w[0] & 0xFFFF, ((pattern[29] << 1) | 1) & 0xFFFF);
    EXPECT_EQ(w[1] >> 16, ((pattern[0] << 1) | 1) & 0xFFFF);
}

// The stipple's pixmap is asked for when the stipple is set, not when a
// validation loads it; without one (here: no board behind the context) the
// stipple is not ready.
TEST_F(ValidateTest, StipplePixmapMadeWhenSet) {
    GLBuffer d = Buffer(32);
    Put(1, &d);
    Set(163, 4);
    vnx::debug::clear();
    const std::vector<ULONG> pattern(32, 0xAAAA5555u);
    N_SetStateBlockAttr(90, pattern.data());
    EXPECT_FALSE(Printed("not available yet"));
    EXPECT_EQ(ctx_->apScratchPixmap[0], nullptr);
    Set(91, 3);
    vnx::debug::clear();
    ctx_->val.stippleReady = 1;
    Validate();
    EXPECT_FALSE(Printed("_NCreateScratchPixmap"));
    EXPECT_EQ(ctx_->val.stippleReady, 0u);
}

}  // namespace
}  // namespace lgi_test
