// The raster position, rectangle and accumulation requests: what reaches
// the lgi layer and the primitive buffer for each form of the request.
#include <cstring>

#include "request_fixture.h"
#include "state/glstate.h"

namespace glsrv_double {
namespace {

using glx::RenderRequest;

// A request body of components of one kind (d, f, i, s) from values.
glx::Bytes Components(char kind, std::initializer_list<double> values) {
    glx::Bytes b;
    for (double v : values) {
        switch (kind) {
            case 'd': {
                std::uint64_t u;
                std::memcpy(&u, &v, 8);
                glx::Put32(b, static_cast<std::uint32_t>(u));
                glx::Put32(b, static_cast<std::uint32_t>(u >> 32));
                break;
            }
            case 'f': glx::Put32(b, glx::F(static_cast<float>(v))); break;
            case 'i': glx::Put32(b, static_cast<std::uint32_t>(static_cast<std::int32_t>(v))); break;
            default: glx::Put16(b, static_cast<std::uint16_t>(static_cast<std::int16_t>(v))); break;
        }
    }
    while (b.size() % 4 != 0) b.push_back(0);
    return b;
}

std::vector<float> Floats(const Call& c) {
    std::vector<float> v;
    for (std::uintptr_t a : c.args) {
        const auto u = static_cast<ULONG>(a);
        float f;
        std::memcpy(&f, &u, 4);
        v.push_back(f);
    }
    return v;
}

// The corners the Vertex2fv packet saw.
std::vector<std::vector<float>> gCorners;
ULONG Corner(__GLXprimBuffer*, const void* pv) {
    float af[2];
    std::memcpy(af, pv, sizeof af);
    gCorners.push_back({af[0], af[1]});
    return 0;
}

class RasterTest : public RequestTest {
  protected:
    void SetUp() override {
        RequestTest::SetUp();
        ASSERT_EQ(__glXCreateGLState(&gc_, TRUE), 0u);
        for (ULONG i = 0; i < GLX_RENDER_ENTRIES; ++i) table_[i] = __glXVtx_Invalid;
        table_[66] = Corner;
        gc_.pVertexTable = table_.data();
        gAnswers.ul = 0;  // the primitive buffer may stay open
        gCorners.clear();
        gRecord.calls.clear();
    }
    ULONG Send(std::uint16_t op, const glx::Bytes& body, std::uint32_t cjLess = 0) {
        return Run(__glXRenderTable, RenderRequest(op, static_cast<std::uint32_t>(body.size()) - cjLess, body));
    }
    std::array<__GLXvertexFn, GLX_RENDER_ENTRIES> table_{};
};

TEST_F(RasterTest, RasterPosEveryForm) {
    const struct {
        std::uint16_t op;
        char kind;
        std::vector<double> in;
        std::vector<float> want;
    } cases[] = {
        {33, 'd', {1.5, -2}, {1.5f, -2, 0, 1}},      {34, 'f', {3, 4}, {3, 4, 0, 1}},
        {35, 'i', {-7, 8}, {-7, 8, 0, 1}},            {36, 's', {9, -10}, {9, -10, 0, 1}},
        {37, 'd', {1, 2, 3}, {1, 2, 3, 1}},           {38, 'f', {.5, .25, -1}, {.5f, .25f, -1, 1}},
        {39, 'i', {1, 2, 3}, {1, 2, 3, 1}},           {40, 's', {-1, -2, -3}, {-1, -2, -3, 1}},
        {41, 'd', {1, 2, 3, 4}, {1, 2, 3, 4}},        {42, 'f', {1, 2, 3, .5}, {1, 2, 3, .5f}},
        {43, 'i', {100000, 2, 3, 4}, {100000, 2, 3, 4}}, {44, 's', {1, 2, 3, 4}, {1, 2, 3, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "opcode " << c.op);
        gRecord.calls.clear();
        glx::Bytes body;
        for (double v : c.in) {
            const glx::Bytes one = Components(c.kind, {v});
            body.insert(body.end(), one.begin(), c.kind == 's' ? one.begin() + 2 : one.end());
        }
        while (body.size() % 4 != 0) body.push_back(0);
        // The published body: the components padded to a whole word.
        const std::uint32_t cjBody =
            (static_cast<std::uint32_t>(c.in.size()) * (c.kind == 'd' ? 8 : c.kind == 's' ? 2 : 4) + 3) & ~3u;
        ASSERT_EQ(Run(__glXRenderTable, RenderRequest(c.op, cjBody, body)), GLX_SUCCESS);
        ASSERT_EQ(Calls("N_RasterPos").size(), 1u);
        EXPECT_EQ(Floats(*Calls("N_RasterPos")[0]), c.want);
        // One byte short: refused, nothing set.
        gRecord.calls.clear();
        EXPECT_EQ(Run(__glXRenderTable, RenderRequest(c.op, cjBody - 1, body)), GLX_BAD_LENGTH);
        EXPECT_TRUE(Calls("N_RasterPos").empty());
    }
    // Between Begin and End it is not taken.
    EXPECT_EQ(Run(__glXRenderBeginEndTable, RenderRequest(34, 8, Components('f', {1, 2}))), 10u);
    EXPECT_EQ(gc_.error, GL_INVALID_OPERATION);
}

TEST_F(RasterTest, RectIsAPolygonOfFourCorners) {
    const struct {
        std::uint16_t op;
        char kind;
    } forms[] = {{45, 'd'}, {46, 'f'}, {47, 'i'}, {48, 's'}};
    for (const auto& f : forms) {
        SCOPED_TRACE(testing::Message() << "opcode " << f.op);
        gRecord.calls.clear();
        gCorners.clear();
        const glx::Bytes body = Components(f.kind, {1, 2, 5, -7});
        ASSERT_EQ(Send(f.op, body), GLX_SUCCESS);
        ASSERT_EQ(Calls("__glOpenPrimitive").size(), 1u);
        EXPECT_EQ(Calls("__glOpenPrimitive")[0]->args[2], 9u);  // POLYGON
        EXPECT_EQ(Calls("__glOpenPrimitive")[0]->args[1], static_cast<std::uintptr_t>(GLX_PACKETS_IMMEDIATE));
        const std::vector<std::vector<float>> want = {{1, 2}, {5, 2}, {5, -7}, {1, -7}};
        EXPECT_EQ(gCorners, want);
        EXPECT_EQ(Calls("__glClosePrimitive").size(), 1u);
        EXPECT_TRUE(Calls("__glSendPrimitive").empty());
        // Short by a byte: nothing opened.
        gRecord.calls.clear();
        EXPECT_EQ(Send(f.op, body, 1), GLX_BAD_LENGTH);
        EXPECT_TRUE(Calls("__glOpenPrimitive").empty());
    }
    // A buffer left nearly full goes at once.
    gRecord.calls.clear();
    gAnswers.ul = 0x505;
    ASSERT_EQ(Send(46, Components('f', {0, 0, 1, 1})), GLX_SUCCESS);
    EXPECT_EQ(Calls("__glSendPrimitive").size(), 1u);
    // No buffer to be had: out of memory, no corners.
    gAnswers.ul = 0;
    gAnswers.ulOpen = GL_OUT_OF_MEMORY;
    gCorners.clear();
    EXPECT_EQ(Send(46, Components('f', {0, 0, 1, 1})), static_cast<ULONG>(GLX_BAD_ALLOC));
    EXPECT_EQ(gc_.error, GL_OUT_OF_MEMORY);
    EXPECT_TRUE(gCorners.empty());
}

TEST_F(RasterTest, AccumOperations) {
    gc_.flBufferMask = 0x400;  // accumulation bound
    for (ULONG op = 0; op < 5; ++op) {
        gRecord.calls.clear();
        gc_.dirty = 0;
        glx::Bytes body;
        glx::Put32(body, 0x0100 + op);
        glx::Put32(body, glx::F(0.5f));
        ASSERT_EQ(Send(137, body), GLX_SUCCESS);
        ASSERT_EQ(Calls("N_Accum").size(), 1u);
        EXPECT_EQ(Calls("N_Accum")[0]->args[0], op);
        EXPECT_EQ(Calls("N_Accum")[0]->args[1], glx::F(0.5f));
    }
    // Another operation: an enum error, nothing done.
    gRecord.calls.clear();
    glx::Bytes bad;
    glx::Put32(bad, 0x0105);
    glx::Put32(bad, 0);
    EXPECT_EQ(Send(137, bad), 2u);
    EXPECT_EQ(gc_.error, GL_INVALID_ENUM);
    EXPECT_TRUE(Calls("N_Accum").empty());
    // Without an accumulation buffer bound, validation is asked to bind one.
    gc_.flBufferMask = 0;
    gc_.dirty = 0;
    gRecord.calls.clear();
    glx::Bytes load;
    glx::Put32(load, 0x0101);
    glx::Put32(load, glx::F(1.0f));
    ASSERT_EQ(Send(137, load), GLX_SUCCESS);
    EXPECT_EQ(Calls("N_Accum").size(), 1u);
    EXPECT_FALSE(Calls("_DBindBuffers").empty());
}

}  // namespace
}  // namespace glsrv_double
