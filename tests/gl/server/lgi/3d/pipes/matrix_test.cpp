// The matrix validator and the window transform: derived matrices against
// an independent reference, affine flags, inverses of singular matrices,
// window matrices for a table of viewports, depth ranges and precisions,
// and the stereo and clip-plane forms.
#include <cmath>
#include <cstring>

#include "boardconfig.h"
#include "gl/server/lgi/lgi_fixture.h"
#include "gl/server/lgi/matrix_ref.h"

namespace lgi_test {
namespace {

using mref::M4;

constexpr ULONG kLoadTop0 = 3, kLoadTop1 = 9, kLoadTop2 = 15;

void SetMatrix(ULONG op, const M4& m) {
    const auto a = mref::RowMajorF(m);
    ASSERT_EQ(N_SetStateBlockAttr(op, a.data()), 16);
}

void ExpectNear(const float* pf, const M4& m, double tol, const char* what) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(pf[i], m[i], tol) << what << " element " << i;
}

// The matrix that takes GL's normalised coordinates -1..1 onto 0..1, z
// reversed: what the GL layer keeps on stack 2.
M4 DefaultViewportMatrix() {
    M4 m{};
    m[0] = 0.5;
    m[3] = 0.5;
    m[5] = 0.5;
    m[7] = 0.5;
    m[10] = -0.5;
    m[11] = 0.5;
    m[15] = 1;
    return m;
}

class LgiMatrixTest : public LgiTest {
  protected:
    void SetUp() override {
        LgiTest::SetUp();
        for (N_PrimDispatch& pd : ctx_->prim) pd.dirtyMask = 0;
    }
    bool AllReselect() const {
        for (const N_PrimDispatch& pd : ctx_->prim)
            if (pd.dirtyMask != N_DIRTY_ALL) return false;
        return true;
    }
};

TEST_F(LgiMatrixTest, ValidatorDerivesModelviewProjectionAndCombined) {
    const M4 mv = mref::Mul(mref::Translate(1, -2, 3), mref::Rotate(30, 0, 0.6, 0.8));
    const M4 proj = mref::Frustum(-1, 1, -0.75, 0.75, 1, 100);
    const M4 vpm = DefaultViewportMatrix();
    SetMatrix(kLoadTop0, mv);
    SetMatrix(kLoadTop1, proj);
    SetMatrix(kLoadTop2, vpm);
    EXPECT_EQ(ctx_->xf.modelViewChanged, 1u);
    EXPECT_EQ(ctx_->xf.projectionChanged, 1u);
    _NValMatrices(ctx_);

    const N_Transform& xf = ctx_->xf;
    ExpectNear(xf.modelView, mv, 1e-6, "M");
    ExpectNear(xf.projection, mref::Mul(vpm, proj), 1e-5, "P");
    ExpectNear(xf.combined, mref::Mul(mref::Mul(vpm, proj), mv), 1e-4, "K");
    ASSERT_NE(xf.pModelViewInverse, nullptr);
    float prod[16];
    _NMatMul4(xf.modelView, xf.pModelViewInverse, prod);
    ExpectNear(prod, mref::Identity(), 1e-5, "M x inverse");
    EXPECT_EQ(xf.modelViewAffine, 1u);
    EXPECT_EQ(xf.projectionAffine, 0u);
    EXPECT_EQ(xf.combinedAffine, 0u);
    EXPECT_EQ(xf.modelViewChanged, 0u);
    EXPECT_EQ(xf.projectionChanged, 0u);

    // The cofactors of K's bottom row give its determinant.
    double det = 0;
    for (int j = 0; j < 4; ++j) det += xf.combined[12 + j] * xf.cofactors[j];
    EXPECT_NEAR(det, 0.5 * 0.5 * -0.5 * (1.0 / 0.75) * (-2.0 * 100 / 99) * 1.0, 1e-4);
}

TEST_F(LgiMatrixTest, AffineFlagAndReselection) {
    // -0.0 in words 12-14 counts as zero.
    float m[16];
    _NMatIdentity(m);
    m[12] = m[13] = m[14] = -0.0f;
    EXPECT_EQ(_NMatAffine(m), 1u);
    m[15] = 2.0f;
    EXPECT_EQ(_NMatAffine(m), 0u);

    _NValMatrices(ctx_);  // all identity: affine, a change from the zeroed flag
    EXPECT_EQ(ctx_->xf.combinedAffine, 1u);
    for (N_PrimDispatch& pd : ctx_->prim) pd.dirtyMask = 0;
    SetMatrix(kLoadTop0, mref::Translate(4, 5, 6));
    _NValMatrices(ctx_);
    EXPECT_FALSE(AllReselect()) << "still affine: nothing re-selected";
    SetMatrix(kLoadTop1, mref::Frustum(-1, 1, -1, 1, 1, 10));
    _NValMatrices(ctx_);
    EXPECT_TRUE(AllReselect());
}

// A modelview without an inverse leaves the inverse pointer empty and the
// stored inverse the identity: nothing derived from it turns NaN.
TEST_F(LgiMatrixTest, SingularOrNonFiniteModelviewHasNoInverse) {
    const float nan = std::nanf("");
    struct Case {
        const char* name;
        M4 m;
    } cases[] = {
        {"zero scale", mref::Scale(1, 0, 1)},
        {"zero matrix", M4{}},
        {"NaN", [&] { M4 m = mref::Identity(); m[5] = nan; return m; }()},
        {"infinity", [] { M4 m = mref::Identity(); m[3] = INFINITY; return m; }()},
    };
    for (const Case& c : cases) {
        SetMatrix(kLoadTop0, c.m);
        _NValMatrices(ctx_);
        EXPECT_EQ(ctx_->xf.pModelViewInverse, nullptr) << c.name;
        ExpectNear(ctx_->xf.modelViewInverseM, mref::Identity(), 0, c.name);
    }
    float out[16];
    const float zeroColumn[16] = {0, 2, 3, 4, 0, 5, 6, 7, 0, 8, 9, 1, 0, 0, 0, 1};
    EXPECT_EQ(_NMatInvert4(zeroColumn, out), 0u);
}

struct WindowCase {
    const char* name;
    LONG vp[4];          // attribute 50: x0, y0, x1, y1
    float depth[2];      // near, far
    ULONG precision;     // modelImprecision
    LONG origin[2];      // draw buffer's screen position, or none when cx is 0
    ULONG drawCode;      // attribute 163
    ULONG bufferKind;
    ULONG stereoPages;
    double x0, y0;       // expected window origin in pixels (before units)
};

// GL's viewport transform of normalised device coordinates, in the board's
// units: x right from the viewport's left, y down from its top edge in
// board rows, z from near to far in 24-bit units.
void ExpectWindow(const N_Transform& xf, const WindowCase& c) {
    const double s = c.precision ? 16.0 : 1.0;
    const double w = c.vp[2] - c.vp[0] + 1, h = c.vp[3] - c.vp[1] + 1;
    const double xo = c.x0 * s - (s == 16 ? 8 : 0);
    // Half a pixel off both in 28.4 units, none in whole pixels.
    const double yo = (c.y0 + h) * s - (s == 16 ? 8 : 0);
    const double n = c.depth[0], f = c.depth[1];
    M4 K{};
    for (int i = 0; i < 16; ++i) K[i] = xf.combined[i];
    for (double xd : {-1.0, 0.0, 1.0})
        for (double yd : {-1.0, 0.5, 1.0})
            for (double zd : {-1.0, 0.0, 1.0}) {
                const mref::V4 v = mref::Apply(K, {xd, yd, zd, 1});
                const double ex = xo + (xd + 1) / 2 * w * s;
                const double ey = yo - (yd + 1) / 2 * h * s;
                const double ez = (n + (zd + 1) / 2 * (f - n)) * 16777215.0;
                EXPECT_NEAR(v[0] / v[3], ex, 1e-3 * s) << c.name;
                EXPECT_NEAR(v[1] / v[3], ey, 1e-3 * s) << c.name;
                EXPECT_NEAR(v[2] / v[3], ez, 8.0) << c.name;
            }
    EXPECT_FLOAT_EQ(xf.boundsF[0], static_cast<float>(xo)) << c.name;
    EXPECT_FLOAT_EQ(xf.boundsF[3], static_cast<float>(xo + w * s)) << c.name;
    EXPECT_FLOAT_EQ(xf.boundsF[1], static_cast<float>(yo - h * s)) << c.name;
    EXPECT_FLOAT_EQ(xf.boundsF[4], static_cast<float>(yo)) << c.name;
    EXPECT_NEAR(xf.boundsF[2], std::min(n, f) * 16777215.0, 2.0) << c.name;
    EXPECT_NEAR(xf.boundsF[5], std::max(n, f) * 16777215.0, 2.0) << c.name;
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(xf.boundsI[i], static_cast<LONG>(std::trunc(xf.boundsF[i]))) << c.name << " bound " << i;
}

TEST_F(LgiMatrixTest, WindowTransformForViewportsDepthRangesAndPrecisions) {
    const WindowCase cases[] = {
        {"640x480 28.4", {0, 0, 639, 479}, {0, 1}, 1, {0, 0}, 0xff, 0, 0, 0, 0},
        {"640x480 whole pixels", {0, 0, 639, 479}, {0, 1}, 0, {0, 0}, 0xff, 0, 0, 0, 0},
        {"offset viewport, depth 0.25-0.75", {10, 20, 109, 219}, {0.25f, 0.75f}, 0, {0, 0}, 0xff, 0, 0, 10, 20},
        {"reversed depth range", {0, 0, 99, 99}, {1, 0}, 1, {0, 0}, 0xff, 0, 0, 0, 0},
        {"draw buffer at (30, 40)", {5, 6, 104, 55}, {0, 1}, 1, {30, 40}, 4, GLBUFFER_BACK_LEFT, 0, 35, 46},
        {"right eye of a stereo board", {0, 0, 63, 63}, {0, 1}, 0, {0, 0}, 2, GLBUFFER_FRONT_RIGHT, 1, 0, 768},
        {"right eye, mono pages", {0, 0, 63, 63}, {0, 1}, 0, {0, 0}, 2, GLBUFFER_FRONT_RIGHT, 0, 0, 0},
    };
    for (const WindowCase& c : cases) {
        N_Context* p = Another();
        ASSERT_NE(p, nullptr);
        N_MakeCurrent(p);
        SetMatrix(kLoadTop2, DefaultViewportMatrix());
        N_SetStateBlockAttr(50, c.vp);
        N_SetStateBlockAttr(163, &c.drawCode);
        GLBuffer buffer{};
        buffer.kind = c.bufferKind;
        buffer.x = c.origin[0];
        buffer.y = c.origin[1];
        GLBuffer* list[] = {&buffer, nullptr};
        if (c.bufferKind != 0) N_BindBuffers(1, list);
        // The depth range is set straight into the block: storing it would
        // run the transform with the device's own board facts.
        std::memcpy(pulAttr(p, N_ATTR_DEPTH_RANGE), c.depth, sizeof c.depth);
        N_BoardFacts board{};
        board.modelImprecision = c.precision;
        board.stereoPages = c.stereoPages;
        board.cyRightEye = 768;
        _NWindowTransform(p, board);
        ExpectWindow(p->xf, c);
        N_MakeCurrent(ctx_);
    }
}

// Storing the depth range runs the window transform at once and marks
// nothing dirty; storing the same range again does nothing.
TEST_F(LgiMatrixTest, DepthRangeStoreRunsWindowTransform) {
    ctx_->dirty = 0;
    const float range[2] = {0.25f, 0.75f};
    EXPECT_EQ(N_SetStateBlockAttr(N_ATTR_DEPTH_RANGE, range), 2);
    EXPECT_EQ(ctx_->dirty, 0u);
    EXPECT_FLOAT_EQ(ctx_->xf.window[10], (0.25f - 0.75f) * 16777215.0f);
    EXPECT_FLOAT_EQ(ctx_->xf.window[11], 0.75f * 16777215.0f);
    ctx_->xf.window[11] = 0;
    N_SetStateBlockAttr(N_ATTR_DEPTH_RANGE, range);
    EXPECT_EQ(ctx_->xf.window[11], 0.0f) << "an unchanged range runs nothing";
}

// With the board in stereo the second eye's projection (attribute 34, in
// place of stack 1's top) times M, behind the viewport matrix and moved
// into the right eye's window, is kept beside K.
TEST_F(LgiMatrixTest, StereoKeepsSecondEyeCombined) {
    const M4 mv = mref::Translate(0, 0, -5);
    const M4 eye2 = mref::Frustum(-1.1, 0.9, -1, 1, 1, 10);
    SetMatrix(kLoadTop0, mv);
    SetMatrix(kLoadTop1, mref::Frustum(-0.9, 1.1, -1, 1, 1, 10));  // the first eye: not used here
    SetMatrix(kLoadTop2, DefaultViewportMatrix());
    SetMatrix(N_ATTR_EXTRA_MATRIX_OP, eye2);
    const LONG vp[4] = {0, 0, 99, 99};
    N_SetStateBlockAttr(50, vp);
    N_BoardFacts board{};
    board.flags = BCF_STEREO;
    board.cyRightEye = 600;
    _NWindowTransform(ctx_, board);
    M4 W{};
    for (int i = 0; i < 16; ++i) W[i] = ctx_->xf.window[i];
    W[7] += 600;
    const M4 want = mref::Mul(mref::Mul(mref::Mul(W, DefaultViewportMatrix()), eye2), mv);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(ctx_->xf.extraCombined[i], want[i], 1e-6 * std::fabs(want[i]) + 1e-3) << i;
}

// Plane 0 alone: P and the pipeline's modelview take the rotation pair,
// K does not change; the rotated modelview puts the plane at x = 0.
TEST_F(LgiMatrixTest, PlaneZeroAloneRotatesPipelineModelview) {
    const M4 mv = mref::Mul(mref::Translate(1, 2, -3), mref::Rotate(40, 1, 0, 0));
    SetMatrix(kLoadTop0, mv);
    SetMatrix(kLoadTop1, mref::Frustum(-1, 1, -1, 1, 1, 20));
    const LONG vp[4] = {0, 0, 199, 99};
    N_SetStateBlockAttr(50, vp);
    _NWindowTransform(ctx_, N_BoardFacts{});
    float before[16];
    std::memcpy(before, ctx_->xf.combined, sizeof before);
    ExpectNear(ctx_->xf.pipeModelView, mv, 1e-6, "no planes: M");

    const float plane[4] = {1, 2, 2, -3};
    N_SetClipPlanes(1, plane);
    const ULONG on[1] = {1};
    N_SetClipPlaneEnables(1, on);
    ctx_->xf.projectionChanged = 1;
    _NWindowTransform(ctx_, N_BoardFacts{});
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(ctx_->xf.combined[i], before[i], 1e-2 * (1 + std::fabs(before[i])));
    EXPECT_EQ(ctx_->xf.projectionChanged, 1u) << "P is formed from the stacks again next time";

    // An object point on the plane lands at rotated-eye x = 0; one a unit
    // from it (the plane's normal has length 3) at x = 1.
    const float* F = ctx_->xf.pipeModelView;
    auto x = [&](double px, double py, double pz) { return F[0] * px + F[1] * py + F[2] * pz + F[3]; };
    // Points in object space on the object-space plane x + 2y + 2z = 3.
    EXPECT_NEAR(x(3, 0, 0), 0.0, 1e-4);
    EXPECT_NEAR(x(1, 1, 0), 0.0, 1e-4);
    EXPECT_NEAR(x(3 + 1.0 / 3, 2.0 / 3, 2.0 / 3), 1.0, 1e-4);
}

// Stack operations: load, multiply by the identity, push and pop; an
// invalid operation consumes one word in the command stream and changes
// nothing.
TEST_F(LgiMatrixTest, StackOperationsSetTheirChangedFlag) {
    ctx_->xf.modelViewChanged = ctx_->xf.projectionChanged = 0;
    N_SetStateBlockAttr(1, nullptr);  // push on stack 0
    EXPECT_EQ(ctx_->xf.modelViewChanged, 1u);
    EXPECT_EQ(ctx_->xf.projectionChanged, 0u);
    N_SetStateBlockAttr(2, nullptr);
    N_SetStateBlockAttr(19, nullptr);  // push on stack 3, the texture matrix
    EXPECT_EQ(ctx_->xf.projectionChanged, 1u);
}

}  // namespace
}  // namespace lgi_test
