// The single requests: each entry point's request byte for byte beside the
// tests' own GLX encoder (read off a display driver that answers nothing,
// so the request stays where the client wrote it), and every query answered
// by the real server or from the client's own state, compared with what was
// set before it.
#include <cmath>
#include <functional>
#include <string>

#include "client_fixture.h"
#include "gl/glx/glx_encoder.h"
#include "boardconfig.h"
#include "fake_driver_fixture.h"

namespace {

using glclt_test::ClientTest;
using glclt_test::CurrentContextTest;

const GLDispatchTable& Gl() { return gGLCltProcTable.glDispatchTable; }

// A render command of 32-bit words into the current half.
void RenderWords(ThreadBlock* ptb, unsigned opcode, std::vector<ULONG> words) {
    const ULONG cj = 4 + 4 * static_cast<ULONG>(words.size());
    BYTE* pj = pjAppendRender(ptb, cj);
    ASSERT_NE(pj, nullptr);
    const std::uint16_t h[2] = {static_cast<std::uint16_t>(cj), static_cast<std::uint16_t>(opcode)};
    std::memcpy(pj, h, 4);
    if (!words.empty()) std::memcpy(pj + 4, words.data(), 4 * words.size());
}
ULONG W(float f) { return glx::F(f); }

using SingleRequestTest = glclt_test::FakeDriverTest;

TEST_F(SingleRequestTest, EachCallWritesItsRequest) {
    GLfloat af[16];
    GLint ai[16];
    GLdouble ad[16];
    GLboolean ab[16];
    GLushort aus[16];
    GLuint aui[16];
    GLubyte aj[128];
    struct Row {
        const char* name;
        std::function<void()> call;
        std::initializer_list<std::uint32_t> words;
    };
    const Row rows[] = {
        {"NewList", [] { Gl().NewList(5, GL_COMPILE); }, {5, GL_COMPILE}},
        {"EndList", [] { Gl().EndList(); }, {}},
        {"DeleteLists", [] { Gl().DeleteLists(7, 3); }, {7, 3}},
        {"GenLists", [] { Gl().GenLists(4); }, {4}},
        {"FeedbackBuffer", [&] { Gl().FeedbackBuffer(16, GL_3D, af); }, {16, GL_3D}},
        {"SelectBuffer", [&] { Gl().SelectBuffer(16, aui); }, {16}},
        {"RenderMode", [] { Gl().RenderMode(GL_SELECT); }, {GL_SELECT}},
        {"Finish", [] { Gl().Finish(); }, {}},
        {"Flush", [] { Gl().Flush(); }, {}},
        {"ReadPixels", [&] { Gl().PixelStorei(GL_PACK_SWAP_BYTES, 1); Gl().PixelStorei(GL_PACK_LSB_FIRST, 1);
                             Gl().ReadPixels(1, 2, 3, 4, GL_RGBA, GL_UNSIGNED_SHORT, aj); },
         {1, 2, 3, 4, GL_RGBA, GL_UNSIGNED_SHORT, 1}},
        {"GetBooleanv", [&] { Gl().GetBooleanv(GL_LINE_WIDTH, ab); }, {GL_LINE_WIDTH}},
        {"GetClipPlane", [&] { Gl().GetClipPlane(GL_CLIP_PLANE0 + 1, ad); }, {GL_CLIP_PLANE0 + 1}},
        {"GetDoublev", [&] { Gl().GetDoublev(GL_LINE_WIDTH, ad); }, {GL_LINE_WIDTH}},
        {"GetError", [] { Gl().GetError(); }, {}},
        {"GetFloatv", [&] { Gl().GetFloatv(GL_LINE_WIDTH, af); }, {GL_LINE_WIDTH}},
        {"GetIntegerv", [&] { Gl().GetIntegerv(GL_LINE_WIDTH, ai); }, {GL_LINE_WIDTH}},
        {"GetLightfv", [&] { Gl().GetLightfv(GL_LIGHT0, GL_DIFFUSE, af); }, {GL_LIGHT0, GL_DIFFUSE}},
        {"GetLightiv", [&] { Gl().GetLightiv(GL_LIGHT0, GL_SPOT_CUTOFF, ai); }, {GL_LIGHT0, GL_SPOT_CUTOFF}},
        {"GetMapdv", [&] { Gl().GetMapdv(GL_MAP1_VERTEX_3, GL_ORDER, ad); }, {GL_MAP1_VERTEX_3, GL_ORDER}},
        {"GetMapfv", [&] { Gl().GetMapfv(GL_MAP1_VERTEX_3, GL_DOMAIN, af); }, {GL_MAP1_VERTEX_3, GL_DOMAIN}},
        {"GetMapiv", [&] { Gl().GetMapiv(GL_MAP1_VERTEX_3, GL_COEFF, ai); }, {GL_MAP1_VERTEX_3, GL_COEFF}},
        {"GetMaterialfv", [&] { Gl().GetMaterialfv(GL_FRONT, GL_AMBIENT, af); }, {GL_FRONT, GL_AMBIENT}},
        {"GetMaterialiv", [&] { Gl().GetMaterialiv(GL_BACK, GL_SHININESS, ai); }, {GL_BACK, GL_SHININESS}},
        {"GetPixelMapfv", [&] { Gl().GetPixelMapfv(GL_PIXEL_MAP_I_TO_R, af); }, {GL_PIXEL_MAP_I_TO_R}},
        {"GetPixelMapuiv", [&] { Gl().GetPixelMapuiv(GL_PIXEL_MAP_I_TO_I, aui); }, {GL_PIXEL_MAP_I_TO_I}},
        {"GetPixelMapusv", [&] { Gl().GetPixelMapusv(GL_PIXEL_MAP_S_TO_S, aus); }, {GL_PIXEL_MAP_S_TO_S}},
        {"GetPolygonStipple", [&] { Gl().GetPolygonStipple(aj); }, {0}},
        {"GetString", [] { Gl().GetString(GL_VERSION); }, {GL_VERSION}},
        {"GetTexEnvfv", [&] { Gl().GetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, af); },
         {GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR}},
        {"GetTexEnviv", [&] { Gl().GetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, ai); },
         {GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE}},
        {"GetTexGendv", [&] { Gl().GetTexGendv(GL_S, GL_OBJECT_PLANE, ad); }, {GL_S, GL_OBJECT_PLANE}},
        {"GetTexGenfv", [&] { Gl().GetTexGenfv(GL_T, GL_EYE_PLANE, af); }, {GL_T, GL_EYE_PLANE}},
        {"GetTexGeniv", [&] { Gl().GetTexGeniv(GL_Q, GL_TEXTURE_GEN_MODE, ai); }, {GL_Q, GL_TEXTURE_GEN_MODE}},
        {"GetTexImage", [&] { Gl().PixelStorei(GL_PACK_SWAP_BYTES, 1);
                              Gl().GetTexImage(GL_TEXTURE_2D, 2, GL_RGB, GL_UNSIGNED_BYTE, aj); },
         {GL_TEXTURE_2D, 2, GL_RGB, GL_UNSIGNED_BYTE, 1}},
        {"GetTexParameterfv", [&] { Gl().GetTexParameterfv(GL_TEXTURE_1D, GL_TEXTURE_BORDER_COLOR, af); },
         {GL_TEXTURE_1D, GL_TEXTURE_BORDER_COLOR}},
        {"GetTexParameteriv", [&] { Gl().GetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, ai); },
         {GL_TEXTURE_2D, GL_TEXTURE_WRAP_S}},
        {"GetTexLevelParameterfv",
         [&] { Gl().GetTexLevelParameterfv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, af); },
         {GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH}},
        {"GetTexLevelParameteriv",
         [&] { Gl().GetTexLevelParameteriv(GL_TEXTURE_1D, 3, GL_TEXTURE_HEIGHT, ai); },
         {GL_TEXTURE_1D, 3, GL_TEXTURE_HEIGHT}},
        {"IsEnabled", [] { Gl().IsEnabled(GL_FOG); }, {GL_FOG}},
        {"IsList", [] { Gl().IsList(9); }, {9}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const ULONG cBefore = SingleEscapes();
        r.call();
        EXPECT_GT(SingleEscapes(), cBefore);
        glx::Bytes want = glx::Single(r.name, r.words);
        glx::Bytes got = Request();
        ASSERT_EQ(got.size(), want.size());
        // The request-type byte and the context tag are not the client's to write.
        got[0] = want[0];
        std::memcpy(got.data() + 4, want.data() + 4, 4);
        EXPECT_EQ(got, want);
        // Every request goes at the start of a half with nothing before it.
        EXPECT_EQ(ptb_->half->writeOffset, ptb_->half->readOffset);
    }
}

// --- answered by the server -------------------------------------------------------------
class SingleTest : public CurrentContextTest {
  protected:
};

TEST_F(SingleTest, GetStringAnswersTheServersStringsOnceEach) {
    const char* vendor = reinterpret_cast<const char*>(Gl().GetString(GL_VENDOR));
    ASSERT_NE(vendor, nullptr);
    EXPECT_STREQ(vendor, "Trelwick Inc.");
    EXPECT_EQ(reinterpret_cast<const char*>(Gl().GetString(GL_VENDOR)), vendor);  // the cached copy
    EXPECT_STREQ(reinterpret_cast<const char*>(Gl().GetString(GL_RENDERER)), "Vornix Solo");
    EXPECT_STREQ(reinterpret_cast<const char*>(Gl().GetString(GL_VERSION)), "1.0 2.94");
    EXPECT_STREQ(reinterpret_cast<const char*>(Gl().GetString(GL_EXTENSIONS)), "");
    EXPECT_EQ(Gl().GetString(GL_VENDOR - 1), nullptr);
    EXPECT_EQ(Gl().GetError(), GL_INVALID_ENUM);
    EXPECT_EQ(Gl().GetError(), GL_NO_ERROR);
}

// The name is checked also when a primitive just closed waits to be sent:
// a bad name answers null and GL_INVALID_ENUM, a good one the string.
TEST_F(SingleTest, GetStringChecksTheNameAfterABatchedPrimitive) {
    const GLenum names[] = {GL_VENDOR - 1, GL_EXTENSIONS + 1, 0x1234, 0};
    for (GLenum name : names) {
        SCOPED_TRACE(name);
        Gl().Begin(GL_TRIANGLES);
        Gl().Vertex2f(0, 0), Gl().Vertex2f(1, 0), Gl().Vertex2f(0, 1);
        Gl().End();
        EXPECT_EQ(Gl().GetString(name), nullptr);
        EXPECT_EQ(Gl().GetError(), GL_INVALID_ENUM);
        EXPECT_EQ(Gl().GetError(), GL_NO_ERROR);
    }
    Gl().Begin(GL_TRIANGLES);
    Gl().Vertex2f(0, 0), Gl().Vertex2f(1, 0), Gl().Vertex2f(0, 1);
    Gl().End();
    EXPECT_STREQ(reinterpret_cast<const char*>(Gl().GetString(GL_RENDERER)), "Vornix Solo");
    EXPECT_EQ(Gl().GetError(), GL_NO_ERROR);
}

TEST_F(SingleTest, QueriesAnswerWhatWasSet) {
    RenderWords(ptb_, X_GLrop_LineWidth, {W(3.0f)});
    RenderWords(ptb_, X_GLrop_Lightfv, {GL_LIGHT1, GL_DIFFUSE, W(0.25f), W(0.5f), W(0.75f), W(1.0f)});
    RenderWords(ptb_, X_GLrop_Lightfv, {GL_LIGHT1, GL_SPOT_CUTOFF, W(45.0f)});
    RenderWords(ptb_, X_GLrop_Materialfv, {GL_FRONT, GL_SHININESS, W(12.0f)});
    RenderWords(ptb_, X_GLrop_TexParameteri, {GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP});
    RenderWords(ptb_, X_GLrop_TexEnvi, {GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL});
    RenderWords(ptb_, X_GLrop_TexGeni, {GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP});
    const double plane[4] = {1.0, -2.0, 0.5, 4.0};
    {
        std::vector<ULONG> w(9);
        std::memcpy(w.data(), plane, 32);
        w[8] = GL_CLIP_PLANE0 + 2;
        RenderWords(ptb_, X_GLrop_ClipPlane, w);
    }
    RenderWords(ptb_, X_GLrop_Enable, {GL_FOG});

    GLfloat f[16] = {};
    GLint i[16] = {};
    GLdouble d[16] = {};
    GLboolean b[16] = {};
    Gl().GetFloatv(GL_LINE_WIDTH, f);
    EXPECT_EQ(f[0], 3.0f);
    Gl().GetIntegerv(GL_LINE_WIDTH, i);
    EXPECT_EQ(i[0], 3);
    Gl().GetDoublev(GL_LINE_WIDTH, d);
    EXPECT_EQ(d[0], 3.0);
    Gl().GetBooleanv(GL_LINE_WIDTH, b);
    EXPECT_EQ(b[0], 1);
    Gl().GetFloatv(GL_MODELVIEW_MATRIX, f);  // sixteen values after the reply
    EXPECT_EQ(std::vector<float>(f, f + 16),
              (std::vector<float>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
    Gl().GetDoublev(GL_MODELVIEW_MATRIX, d);
    EXPECT_EQ(d[15], 1.0);
    EXPECT_EQ(d[1], 0.0);
    Gl().GetLightfv(GL_LIGHT1, GL_DIFFUSE, f);
    EXPECT_EQ(std::vector<float>(f, f + 4), (std::vector<float>{0.25f, 0.5f, 0.75f, 1.0f}));
    Gl().GetLightiv(GL_LIGHT1, GL_SPOT_CUTOFF, i);
    EXPECT_EQ(i[0], 45);
    Gl().GetMaterialfv(GL_FRONT, GL_SHININESS, f);
    EXPECT_EQ(f[0], 12.0f);
    Gl().GetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, i);
    EXPECT_EQ(i[0], static_cast<GLint>(GL_CLAMP));
    Gl().GetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, i);
    EXPECT_EQ(i[0], static_cast<GLint>(GL_DECAL));
    Gl().GetTexGeniv(GL_S, GL_TEXTURE_GEN_MODE, i);
    EXPECT_EQ(i[0], static_cast<GLint>(GL_SPHERE_MAP));
    Gl().GetClipPlane(GL_CLIP_PLANE0 + 2, d);
    EXPECT_EQ(std::vector<double>(d, d + 4), std::vector<double>(plane, plane + 4));
    EXPECT_EQ(Gl().IsEnabled(GL_FOG), 1);
    EXPECT_EQ(Gl().IsEnabled(GL_DITHER), 1);
    EXPECT_EQ(Gl().IsEnabled(GL_CULL_FACE), 0);
    EXPECT_EQ(Gl().GetError(), GL_NO_ERROR);
    // A query the server refuses answers nothing and leaves its error.
    i[0] = 77;
    Gl().GetIntegerv(GL_VENDOR, i);
    EXPECT_EQ(i[0], 77);
    EXPECT_EQ(Gl().GetError(), GL_INVALID_ENUM);
}

TEST_F(SingleTest, ClientStateIsAnsweredWithoutAsking) {
    Gl().PixelStorei(GL_UNPACK_ALIGNMENT, 2);
    Gl().PixelStorei(GL_PACK_ROW_LENGTH, 17);
    Gl().PixelStorei(GL_PACK_LSB_FIRST, 1);
    GLint i[2] = {};
    GLfloat f[2] = {};
    GLboolean b[2] = {};
    Gl().GetIntegerv(GL_UNPACK_ALIGNMENT, i);
    EXPECT_EQ(i[0], 2);
    Gl().GetFloatv(GL_PACK_ROW_LENGTH, f);
    EXPECT_EQ(f[0], 17.0f);
    Gl().GetBooleanv(GL_PACK_LSB_FIRST, b);
    EXPECT_EQ(b[0], 1);
    Gl().GetIntegerv(GL_PACK_ALIGNMENT, i);
    EXPECT_EQ(i[0], 4);
    Gl().GetBooleanv(GL_CURRENT_RASTER_POSITION_VALID, b);
    EXPECT_EQ(b[0], 1);
    Gl().GetIntegerv(GL_POLYGON_MODE, i);
    EXPECT_EQ(i[0], static_cast<GLint>(GL_FILL));
    EXPECT_EQ(i[1], static_cast<GLint>(GL_FILL));
    // The cached enables: valid, then left to the server.
    cc_->cacheValid |= 0x01;
    cc_->cacheEnables |= 0x01;
    EXPECT_EQ(Gl().IsEnabled(GL_LIGHTING), 1);  // the server has it off: the cache answered
    cc_->cacheValid &= ~0x01u;
    EXPECT_EQ(Gl().IsEnabled(GL_LIGHTING), 0);
}

TEST_F(SingleTest, MaxTextureSizeInTheMemorySavingMode) {
    auto setMode = [&](ULONG mode) {
        BoardConfig bc{}, out{};
        bc.op = BOARDCONFIG_READ;
        ASSERT_GT(ExtEscape(hdc_, ESC_BOARDCONFIG, sizeof bc, reinterpret_cast<LPCSTR>(&bc), sizeof out,
                            reinterpret_cast<LPSTR>(&out)), 0);
        out.op = BOARDCONFIG_WRITE;
        out.textureMode = mode;
        ASSERT_GT(ExtEscape(hdc_, ESC_BOARDCONFIG, sizeof out, reinterpret_cast<LPCSTR>(&out), sizeof bc,
                            reinterpret_cast<LPSTR>(&bc)), 0);
    };
    GLint i = 0;
    Gl().GetIntegerv(GL_MAX_TEXTURE_SIZE, &i);
    const GLint fromServer = i;
    EXPECT_NE(fromServer, 512);
    setMode(TEXMODE_MEMORY);
    Gl().GetIntegerv(GL_MAX_TEXTURE_SIZE, &i);
    EXPECT_EQ(i, 512);
    GLfloat f = 0;
    Gl().GetFloatv(GL_MAX_TEXTURE_SIZE, &f);  // asked of the server
    EXPECT_EQ(f, static_cast<float>(fromServer));
    setMode(TEXMODE_PERFORMANCE);
    Gl().GetIntegerv(GL_MAX_TEXTURE_SIZE, &i);
    EXPECT_EQ(i, fromServer);
}

TEST_F(SingleTest, ListsCompiledAndCalled) {
    const GLuint base = Gl().GenLists(3);
    ASSERT_NE(base, 0u);
    EXPECT_EQ(Gl().IsList(base + 3), 0);
    Gl().NewList(base + 1, GL_COMPILE);
    EXPECT_EQ(cc_->compiling, 1u);
    RenderWords(ptb_, X_GLrop_LineWidth, {W(5.0f)});
    Gl().EndList();
    EXPECT_EQ(cc_->compiling, 0u);
    EXPECT_EQ(Gl().IsList(base + 1), 1);
    GLfloat f = 0;
    Gl().GetFloatv(GL_LINE_WIDTH, &f);
    EXPECT_EQ(f, 1.0f);  // compiled, not run
    Gl().CallList(base + 1);
    Gl().GetFloatv(GL_LINE_WIDTH, &f);
    EXPECT_EQ(f, 5.0f);
    // glCallLists with names after a base.
    Gl().NewList(base + 2, GL_COMPILE);
    RenderWords(ptb_, X_GLrop_LineWidth, {W(7.0f)});
    Gl().EndList();
    Gl().ListBase(base);
    const GLubyte names[3] = {1, 2, 0};
    Gl().CallLists(2, GL_UNSIGNED_BYTE, names);
    Gl().GetFloatv(GL_LINE_WIDTH, &f);
    EXPECT_EQ(f, 7.0f);
    Gl().DeleteLists(base, 3);
    EXPECT_EQ(Gl().IsList(base + 1), 0);
    EXPECT_EQ(Gl().GetError(), GL_NO_ERROR);
}

TEST_F(SingleTest, SelectionHitsComeBackIntoTheBuffer) {
    GLuint buffer[64];
    std::memset(buffer, 0xEE, sizeof buffer);
    Gl().SelectBuffer(64, buffer);
    EXPECT_EQ(Gl().RenderMode(GL_SELECT), 0);
    EXPECT_EQ(cc_->renderMode, static_cast<ULONG>(GL_SELECT));
    RenderWords(ptb_, X_GLrop_InitNames, {});
    RenderWords(ptb_, X_GLrop_PushName, {42});
    RenderWords(ptb_, X_GLrop_Rectfv, {W(-0.5f), W(-0.5f), W(0.5f), W(0.5f)});
    EXPECT_EQ(Gl().RenderMode(GL_RENDER), 1);  // one hit
    EXPECT_EQ(cc_->renderMode, static_cast<ULONG>(GL_RENDER));
    EXPECT_EQ(buffer[0], 1u);   // names in the hit
    EXPECT_EQ(buffer[3], 42u);  // the name
    EXPECT_EQ(buffer[4], 0xEEEEEEEEu);
    // A refused mode changes nothing.
    EXPECT_EQ(Gl().RenderMode(0x1234), 0);
    EXPECT_EQ(cc_->renderMode, static_cast<ULONG>(GL_RENDER));
    EXPECT_EQ(Gl().GetError(), GL_INVALID_ENUM);
}

TEST_F(SingleTest, FeedbackLargerThanTheHalfComesBackThroughClientMemory) {
    // More values than fit under the half's limit: the server writes them
    // to client memory.
    constexpr GLsizei kValues = 40000;
    std::vector<GLfloat> buffer(kValues + 16, -1.0f);
    Gl().FeedbackBuffer(kValues, GL_2D, buffer.data());
    Gl().RenderMode(GL_FEEDBACK);
    RenderWords(ptb_, X_GLrop_PassThrough, {W(9.0f)});
    Gl().Begin(GL_POINTS);
    for (int k = 0; k < 6000; ++k) Gl().Vertex2f(0.0f, 0.0f);
    Gl().End();
    const GLint n = Gl().RenderMode(GL_RENDER);
    ASSERT_EQ(n, 2 + 3 * 6000);
    EXPECT_EQ(buffer[0], static_cast<float>(GL_PASS_THROUGH_TOKEN));
    EXPECT_EQ(buffer[1], 9.0f);
    EXPECT_EQ(buffer[n - 3], static_cast<float>(GL_POINT_TOKEN));
    EXPECT_EQ(buffer[kValues], -1.0f);
}

TEST_F(SingleTest, CallsInsideAnOpenBatchRecordAnError) {
    Gl().Begin(GL_TRIANGLES);
    Gl().Vertex2f(0, 0);
    ASSERT_EQ(cc_->batching, 1u);
    GLfloat f = -1;
    Gl().GetFloatv(GL_LINE_WIDTH, &f);
    EXPECT_EQ(f, -1.0f);
    EXPECT_EQ(Gl().GetError(), 0u);  // recorded, not answered inside
    EXPECT_EQ(cc_->error, static_cast<ULONG>(GL_INVALID_OPERATION));
    Gl().Vertex2f(1, 0);
    Gl().Vertex2f(0, 1);
    Gl().End();
    Gl().Finish();
    EXPECT_EQ(Gl().GetError(), GL_INVALID_OPERATION);
    EXPECT_EQ(Gl().GetError(), GL_NO_ERROR);
}

}  // namespace
