// Requests an application sends through its request segment, answered by
// the server built from its sources over the lgi layer: display lists
// called between Begin and End, replies of single requests (their layout,
// and an answer for every request that has one), client records of
// serving threads, and the context's binding when it changes windows or
// layers.
#include "server_on_device.h"

#include "lgi/3d/context.h"

namespace {

using namespace glsrv_device;

constexpr ULONG GL_COMPILE = 0x1300, GL_COMPILE_AND_EXECUTE = 0x1301;
constexpr ULONG GL_TRIANGLES_MODE = 4;

class RequestTest : public ServerTest {
  protected:
    void SetUp() override {
        ServerTest::SetUp();
        ASSERT_NE(Window(), nullptr) << vnx::debug::take();
    }
    static glx::Bytes Vertex(float x, float y, float z) {
        return glx::Render("Vertex3fv", {glx::F(x), glx::F(y), glx::F(z)});
    }
    // Compiles a list of `name` holding `body`.
    void CompileList(ULONG name, ULONG mode, const std::vector<glx::Bytes>& body) {
        RunSingle(glx::Single("NewList", {name, mode}));
        for (const glx::Bytes& b : body) ASSERT_EQ(RunStream(b), 1);
        RunSingle(glx::Single("EndList"));
    }
    ULONG GetError() { return RunSingle(glx::Single("GetError")).retval; }
};

// A list called between Begin and End runs inside the open primitive; the
// primitive's packet buffer stays the one its vertices are written into,
// however many more follow (under AddressSanitizer a write into a buffer
// handed on and freed would stop the test).
TEST_F(RequestTest, CallListBetweenBeginAndEndKeepsThePrimitiveBuffer) {
    CompileList(1, GL_COMPILE, {glx::Render("Color3fv", {glx::F(1), glx::F(0), glx::F(0)})});
    for (const char* call : {"CallList", "CallLists"}) {
        SCOPED_TRACE(call);
        glx::Bytes stream = glx::Render("Begin", {GL_TRIANGLES_MODE});
        for (int i = 0; i < 30; ++i) {
            const glx::Bytes v = Vertex(static_cast<float>(i), 0, 0);
            stream.insert(stream.end(), v.begin(), v.end());
        }
        ASSERT_EQ(RunStream(stream), 1);
        if (std::string(call) == "CallList") {
            ASSERT_EQ(RunStream(glx::Render("CallList", {1})), 1);
        } else {
            glx::Bytes b = glx::RawRender(16, 2, {1, 0x1404 /* GL_INT */, 1});
            ASSERT_EQ(RunStream(b), 1);
        }
        for (int k = 0; k < 6; ++k) {
            glx::Bytes more;
            for (int i = 0; i < 100; ++i) {
                const glx::Bytes v = Vertex(static_cast<float>(i), 1, 0);
                more.insert(more.end(), v.begin(), v.end());
            }
            ASSERT_EQ(RunStream(more), 1);
        }
        ASSERT_EQ(RunStream(glx::Render("End")), 1);
        EXPECT_EQ(GetError(), 0u);
        RunSingle(glx::Single("Finish"));
    }
}

// A packet buffer handed over waits on the context's chain of buffers in
// flight; linking it there leaves its packets as the lgi layer took them.
TEST_F(RequestTest, HandedOverPacketBufferKeepsItsFirstPacketWord) {
    glx::Bytes stream = glx::Render("Begin", {GL_TRIANGLES_MODE});
    for (int i = 0; i < 3; ++i) {
        const glx::Bytes v = Vertex(static_cast<float>(i), 0, 0);
        stream.insert(stream.end(), v.begin(), v.end());
    }
    const glx::Bytes end = glx::Render("End");
    stream.insert(stream.end(), end.begin(), end.end());
    ASSERT_EQ(RunStream(stream), 1);
    GLContext* gc = Context();
    ASSERT_NE(gc, nullptr);
    ASSERT_NE(gc->pPending, nullptr);
    const __GLXpacketBuffer* pBuffer = gc->pPending;
    ULONG ulFirst;
    std::memcpy(&ulFirst, reinterpret_cast<const BYTE*>(pBuffer) + GLX_PACKET_HEADER, 4);
    ASSERT_NE(ulFirst, 0u);
    // A state request hands the buffer over.
    ASSERT_EQ(RunStream(glx::Render("ShadeModel", {0x1D00})), 1);
    ASSERT_EQ(gc->pPending, nullptr);
    ASSERT_EQ(gc->pRetiring, pBuffer);
    ULONG ulAfter;
    std::memcpy(&ulAfter, reinterpret_cast<const BYTE*>(pBuffer) + GLX_PACKET_HEADER, 4);
    EXPECT_EQ(ulAfter, ulFirst);
}

}  // namespace
