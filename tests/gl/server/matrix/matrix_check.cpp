// Matrix requests through the render table: each transform against an
// independent 4x4 reference, column-major input, the stacks' limits and
// errors, where each mode's matrix goes, and the stereo projections.
#include <climits>
#include <cmath>
#include <cstring>

#include "boardconfig.h"
#include "state/glstate.h"
#include "gl/server/lgi/matrix_ref.h"
#include "matrix/matrix.h"
#include "request_fixture.h"

namespace glsrv_double {
namespace {

using glx::RenderRequest;
using glx::Words;
using mref::M4;

std::vector<std::uint8_t> Floats(std::initializer_list<float> fs) {
    std::vector<std::uint8_t> v(fs.size() * 4);
    std::size_t i = 0;
    for (float f : fs) std::memcpy(v.data() + 4 * i++, &f, 4);
    return v;
}
std::vector<std::uint8_t> Doubles(std::initializer_list<double> ds) {
    std::vector<std::uint8_t> v(ds.size() * 8);
    std::size_t i = 0;
    for (double d : ds) std::memcpy(v.data() + 8 * i++, &d, 8);
    return v;
}
template <class T>
std::vector<std::uint8_t> Array(const std::array<T, 16>& a) {
    std::vector<std::uint8_t> v(sizeof a);
    std::memcpy(v.data(), a.data(), sizeof a);
    return v;
}
std::array<double, 16> ColumnMajorD(const M4& m) {
    std::array<double, 16> a{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) a[4 * c + r] = m[4 * r + c];
    return a;
}

class MatrixTest : public RequestTest {
  protected:
    void SetUp() override {
        RequestTest::SetUp();
        ASSERT_EQ(__glXCreateGLState(&gc_, TRUE), 0u);
        __glXResetStacks(&gc_);
        gRecord.calls.clear();
    }
    ULONG Req(std::uint16_t op, std::uint32_t cj, const std::vector<std::uint8_t>& body = {}) {
        return Run(__glXRenderTable, RenderRequest(op, cj, body));
    }
    static void ExpectMatrix(const std::vector<ULONG>& w, const M4& m, double tol, const std::string& what) {
        ASSERT_EQ(w.size(), 16u) << what;
        for (int i = 0; i < 16; ++i) {
            float f;
            std::memcpy(&f, &w[i], 4);
            EXPECT_NEAR(f, m[i], tol * (1 + std::fabs(m[i]))) << what << " element " << i;
        }
    }
};

// Each request multiplies the top by its matrix on the right: a chain of
// them gives the product of the reference matrices in the same order.
TEST_F(MatrixTest, TransformsMatchTheReference) {
    const M4 lm = mref::Mul(mref::Translate(1, 2, 3), mref::Rotate(10, 0, 1, 0));
    struct Case {
        const char* name;
        std::uint16_t op;
        std::uint32_t cj;
        std::vector<std::uint8_t> body;
        M4 m;
    } cases[] = {
        {"Rotatef", 186, 16, Floats({30, 1, 2, 2}), mref::Rotate(30, 1 / 3.0, 2 / 3.0, 2 / 3.0)},
        {"Rotated", 185, 32, Doubles({-75, 0, 0, 5}), mref::Rotate(-75, 0, 0, 1)},
        {"Scalef", 188, 12, Floats({2, -3, 0.5f}), mref::Scale(2, -3, 0.5)},
        {"Scaled", 187, 24, Doubles({1, 4, 1}), mref::Scale(1, 4, 1)},
        {"Translatef", 190, 12, Floats({5, -6, 7}), mref::Translate(5, -6, 7)},
        {"Translated", 189, 24, Doubles({0.25, 0, -1}), mref::Translate(0.25, 0, -1)},
        {"Frustum", 175, 48, Doubles({-2, 1, -1, 1.5, 0.5, 50}), mref::Frustum(-2, 1, -1, 1.5, 0.5, 50)},
        {"Ortho", 182, 48, Doubles({0, 640, 0, 480, -1, 1}), mref::Ortho(0, 640, 0, 480, -1, 1)},
        {"MultMatrixf", 180, 64, Array(mref::ColumnMajor(lm)), lm},
        {"MultMatrixd", 181, 128, Array(ColumnMajorD(lm)), lm},
    };
    M4 want = mref::Identity();
    for (const Case& c : cases) {
        gRecord.calls.clear();
        EXPECT_EQ(Req(c.op, c.cj, c.body), GLX_SUCCESS) << c.name;
        want = mref::Mul(want, c.m);
        ExpectMatrix(Attr(GLX_LGI_MODELVIEW), want, 1e-5, c.name);
        // Alone, from the identity.
        EXPECT_EQ(Req(176, 0), GLX_SUCCESS);
        gRecord.calls.clear();
        Req(c.op, c.cj, c.body);
        ExpectMatrix(Attr(GLX_LGI_MODELVIEW), c.m, 1e-6, c.name);
        // Back to the chain.
        EXPECT_EQ(Req(177, 64, Array(mref::ColumnMajor(want))), GLX_SUCCESS);
    }
    EXPECT_EQ(gc_.error, GL_NO_ERROR);
}

TEST_F(MatrixTest, LoadTransposesColumnMajorArrays) {
    std::array<float, 16> a{};
    for (int i = 0; i < 16; ++i) a[i] = static_cast<float>(i);
    EXPECT_EQ(Req(177, 64, Array(a)), GLX_SUCCESS);
    M4 want{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) want[4 * r + c] = 4 * c + r;  // row 0 = {0, 4, 8, 12}
    ExpectMatrix(Attr(GLX_LGI_MODELVIEW), want, 0, "LoadMatrixf");
    std::array<double, 16> d{};
    for (int i = 0; i < 16; ++i) d[i] = i + 0.5;
    EXPECT_EQ(Req(178, 128, Array(d)), GLX_SUCCESS);
    for (int i = 0; i < 16; ++i) want[i] += 0.5;
    ExpectMatrix(Attr(GLX_LGI_MODELVIEW), want, 0, "LoadMatrixd");
}

TEST_F(MatrixTest, RotationAboutNoAxisScalesByCosine) {
    EXPECT_EQ(Req(186, 16, Floats({90, 0, 0, 0})), GLX_SUCCESS);
    const double c = std::cos(90 * 0.017453292);
    ExpectMatrix(Attr(GLX_LGI_MODELVIEW), mref::Scale(c, c, c), 1e-7, "Rotate(90, 0, 0, 0)");
    Req(176, 0);
    EXPECT_EQ(Req(186, 16, Floats({45, NAN, 0, 1})), GLX_SUCCESS);
    const std::vector<ULONG> w = Attr(GLX_LGI_MODELVIEW);
    for (ULONG u : w) EXPECT_FALSE(std::isnan(std::bit_cast<float>(u))) << "a NaN axis counts as none";
}

// 31 pushes succeed, the 32nd overflows; pops go back to depth 0 and the
// next one underflows. Push sends nothing, pop sends the new top.
TEST_F(MatrixTest, StackLimitsAndErrors) {
    for (ULONG mode : {GL_MODELVIEW, GL_PROJECTION, GL_TEXTURE}) {
        SCOPED_TRACE(mode);
        gc_.error = GL_NO_ERROR;
        EXPECT_EQ(Req(179, 4, Words({mode})), GLX_SUCCESS);
        Req(190, 12, Floats({1, 0, 0}));
        for (int i = 0; i < 31; ++i) {
            gRecord.calls.clear();
            ASSERT_EQ(Req(184, 0), GLX_SUCCESS) << i;
            EXPECT_TRUE(gRecord.calls.empty() || Attr(GLX_LGI_MODELVIEW).empty());
            Req(190, 12, Floats({1, 0, 0}));
        }
        EXPECT_EQ(gc_.error, GL_NO_ERROR);
        EXPECT_EQ(Req(184, 0), GLX_BAD_ACCESS);
        EXPECT_EQ(gc_.error, GL_STACK_OVERFLOW);
        for (int i = 31; i > 0; --i) {
            gRecord.calls.clear();
            ASSERT_EQ(Req(183, 0), GLX_SUCCESS);
            const ULONG id = mode == GL_MODELVIEW ? GLX_LGI_MODELVIEW : mode == GL_PROJECTION ? GLX_LGI_PROJECTION : GLX_LGI_TEXTURE;
            ExpectMatrix(Attr(id), mref::Translate(i, 0, 0), 0, "popped top");
        }
        gc_.error = GL_NO_ERROR;
        EXPECT_EQ(Req(183, 0), GLX_BAD_ACCESS);
        EXPECT_EQ(gc_.error, GL_STACK_UNDERFLOW);
    }
}

TEST_F(MatrixTest, ModesAndTheirTargets) {
    EXPECT_EQ(Req(179, 4, Words({0x1703})), GLX_BAD_VALUE);
    EXPECT_EQ(gc_.error, GL_INVALID_ENUM);
    EXPECT_EQ(gc_.pState->blocks[Bit(GL_TRANSFORM_BIT)][GLX_TRANSFORM_MATRIX_MODE], GL_MODELVIEW);

    // A projection on a mono board: device matrix x P as the top of lgi
    // stack 1, nothing for the second eye.
    Req(179, 4, Words({GL_PROJECTION}));
    EXPECT_EQ(gc_.pState->blocks[Bit(GL_TRANSFORM_BIT)][GLX_TRANSFORM_MATRIX_MODE], GL_PROJECTION);
    for (int i = 0; i < 16; ++i) gc_.deviceMatrix[i] = (i % 5 == 0) ? 2.0f : 0.0f;
    gRecord.calls.clear();
    Req(175, 48, Doubles({-1, 1, -1, 1, 1, 10}));
    ExpectMatrix(Attr(GLX_LGI_PROJECTION), mref::Mul(mref::Scale(2, 2, 2), [] {
                     M4 m = mref::Frustum(-1, 1, -1, 1, 1, 10);
                     for (int i = 12; i < 16; ++i) m[i] *= 2;
                     return m;
                 }()), 1e-6, "device x P");
    EXPECT_TRUE(Attr(GLX_LGI_SECOND_EYE).empty());
    EXPECT_TRUE(Attr(GLX_LGI_MODELVIEW).empty());

    Req(179, 4, Words({GL_TEXTURE}));
    gRecord.calls.clear();
    Req(188, 12, Floats({2, 2, 2}));
    ExpectMatrix(Attr(GLX_LGI_TEXTURE), mref::Scale(2, 2, 2), 0, "texture");
}

TEST_F(MatrixTest, FrustumAndOrthoRefuseEmptyVolumes) {
    struct Case {
        std::uint16_t op;
        std::vector<double> v;
        ULONG x;
    } cases[] = {
        {175, {-1, 1, -1, 1, 1, 1}, GLX_BAD_VALUE}, {175, {1, 1, -1, 1, 1, 2}, GLX_BAD_VALUE},
        {175, {-1, 1, 2, 2, 1, 2}, GLX_BAD_VALUE},  {175, {-1, 1, -1, 1, 0, 2}, GLX_SUCCESS},
        {182, {0, 0, 0, 1, 0, 1}, GLX_BAD_VALUE},   {182, {0, 1, 0, 1, 5, 5}, GLX_BAD_VALUE},
        {182, {0, 1, 0, 1, -1, 1}, GLX_SUCCESS},
    };
    for (const Case& c : cases) {
        gc_.error = GL_NO_ERROR;
        gRecord.calls.clear();
        std::vector<std::uint8_t> body(48);
        std::memcpy(body.data(), c.v.data(), 48);
        EXPECT_EQ(Req(c.op, 48, body), c.x);
        EXPECT_EQ(gc_.error, c.x == GLX_SUCCESS ? GL_NO_ERROR : GL_INVALID_VALUE);
        EXPECT_EQ(Attr(GLX_LGI_MODELVIEW).empty(), c.x != GLX_SUCCESS) << "a refused request sends nothing";
    }
    // A request shorter than its arguments is refused before anything.
    gRecord.calls.clear();
    EXPECT_EQ(Req(186, 12, Floats({1, 2, 3})), GLX_BAD_LENGTH);
    EXPECT_TRUE(gRecord.calls.empty());
}

// The eyes' projections against the reference: each eye's frustum is the
// projection's shifted sideways by A, moved by B along x and C along z.
TEST_F(MatrixTest, StereoMatricesFromASymmetricFrustum) {
    const double l = -0.8, r = 0.8, b = -0.6, t = 0.6, n = 1, f = 30;
    const float A = 0.05f, B = 0.3f, C = 0.7f;
    const auto p = mref::RowMajorF(mref::Frustum(l, r, b, t, n, f));
    float d[16];
    for (int i = 0; i < 16; ++i) d[i] = (i % 5 == 0) ? 1.0f : 0.0f;
    d[3] = 0.5f;  // a device matrix that moves x
    float e1[16], e2[16];
    ASSERT_TRUE(__glXStereoMatrices(p.data(), d, A, B, C, e1, e2));
    M4 D = mref::Identity();
    D[3] = 0.5;
    const M4 w1 = mref::Mul(D, mref::Mul(mref::Translate(0, 0, -C), mref::Mul(mref::Translate(B, 0, 0),
                                                                             mref::Frustum(l - A, r - A, b, t, n, f))));
    const M4 w2 = mref::Mul(D, mref::Mul(mref::Translate(0, 0, -C), mref::Mul(mref::Translate(-B, 0, 0),
                                                                             mref::Frustum(l + A, r + A, b, t, n, f))));
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(e1[i], w1[i], 1e-4 * (1 + std::fabs(w1[i]))) << i;
        EXPECT_NEAR(e2[i], w2[i], 1e-4 * (1 + std::fabs(w2[i]))) << i;
    }
    // Projections the eyes cannot be derived from.
    const auto ortho = mref::RowMajorF(mref::Ortho(-1, 1, -1, 1, 1, 10));
    const auto offCentre = mref::RowMajorF(mref::Frustum(-1, 2, -1, 1, 1, 10));
    const auto nearZero = mref::RowMajorF(mref::Frustum(-1, 1, -1, 1, 0, 10));
    for (const auto& q : {ortho, offCentre, nearZero}) EXPECT_FALSE(__glXStereoMatrices(q.data(), d, A, B, C, e1, e2));
}

// On a stereo board a projection goes out as two eyes and the board's
// changed flag is cleared; a second context still derives its own eyes; a
// projection the eyes cannot be derived from reaches both unchanged.
TEST_F(MatrixTest, StereoBoardSendsBothEyes) {
    BoardConfig bc{};
    bc.flags = BCF_STEREO | BCF_STEREO_VALID;
    bc.stereoAdjust = 0.05f;
    bc.stereoOffset = 0.3f;
    bc.stereoTranslate = 0.7f;
    gAnswers.board = &bc;
    Req(179, 4, Words({GL_PROJECTION}));
    gRecord.calls.clear();
    Req(175, 48, Doubles({-0.8, 0.8, -0.6, 0.6, 1, 30}));
    EXPECT_EQ(Attr(GLX_LGI_PROJECTION).size(), 16u);
    EXPECT_EQ(Attr(GLX_LGI_SECOND_EYE).size(), 16u);
    EXPECT_NE(Attr(GLX_LGI_PROJECTION), Attr(GLX_LGI_SECOND_EYE));
    EXPECT_EQ(bc.flags & BCF_STEREO_VALID, 0u);

    // Another context, whose stacks never saw these values: its first
    // modelview send derives its eyes although the board's flag is clear.
    GLContext gc2{};
    ASSERT_EQ(__glXCreateGLState(&gc2, TRUE), 0u);
    ASSERT_NE(__glXMatrixStacks(&gc2), nullptr);
    gRecord.calls.clear();
    const float id[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    __glXSendMatrix(&gc2, GL_MODELVIEW, id);
    EXPECT_EQ(Attr(GLX_LGI_SECOND_EYE).size(), 16u);
    gRecord.calls.clear();
    __glXSendMatrix(&gc2, GL_MODELVIEW, id);
    EXPECT_TRUE(Attr(GLX_LGI_SECOND_EYE).empty()) << "derived once for these values";
    __glXFreeGLState(gc2.pState, gc2.pState->flPresent);

    // An orthographic projection: both eyes get it as it is.
    Req(176, 0);
    gRecord.calls.clear();
    Req(182, 48, Doubles({-1, 1, -1, 1, 1, 10}));
    const auto want = Attr(GLX_LGI_PROJECTION);
    ExpectMatrix(want, mref::Ortho(-1, 1, -1, 1, 1, 10), 1e-6, "orthographic, first eye");
    EXPECT_EQ(Attr(GLX_LGI_SECOND_EYE), want);
    gAnswers.board = nullptr;
}

}  // namespace
}  // namespace glsrv_double
