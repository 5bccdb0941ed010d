// Requests an application sends through its request segment, answered by
// the server built from its sources over the lgi layer: display lists
// called between Begin and End, replies of single requests (their layout,
// and an answer for every request that has one), client records of
// serving threads, and the context's binding when it changes windows or
// layers.
#include "server_on_device.h"

#include "lgi/3d/context/context.h"
#include "pixfmt/pixfmt.h"

namespace {

using namespace glsrv_device;

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

// One double answered by GetDoublev, GetMapdv or GetTexGendv lies in the
// reply at byte 16, with the count 1 at byte 12 and no data after it, as
// published GLX has it.
TEST_F(RequestTest, OneDoubleLiesInTheReplyAtByte16) {
    struct Case {
        const char* name;
        glx::Bytes request;
        double value;
    } const cases[] = {
        {"GetDoublev(LINE_WIDTH)", glx::Single("GetDoublev", {0x0B21}), 1.0},
        {"GetMapdv(MAP1_VERTEX_3, ORDER)", glx::Single("GetMapdv", {0x0D97, 0x0A01}), 1.0},
        {"GetTexGendv(S, TEXTURE_GEN_MODE)", glx::Single("GetTexGendv", {0x2000, 0x2500}), 0x2400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const glx::Reply r = RunSingle(c.request);
        EXPECT_EQ(r.type, 1u);
        EXPECT_EQ(r.size, 1u);
        EXPECT_EQ(r.length, 0u);
        const std::vector<BYTE> bytes = ReplyBytes();
        double d;
        std::memcpy(&d, bytes.data() + 16, sizeof d);
        EXPECT_EQ(d, c.value);
    }
    EXPECT_EQ(GetError(), 0u);
}

// Every single request that has a reply in published GLX gets one when it
// fails: with a GL error, or sent between Begin and End (the error is
// recorded), the reply carries no values (n 0, no data) or retval 0, so
// the client never reads an earlier reply as this one's.
TEST_F(RequestTest, FailedSinglesAreAnsweredEmpty) {
    struct Case {
        const char* name;
        glx::Bytes request;
        bool bInBegin;
        ULONG glError;
    } const cases[] = {
        {"GetIntegerv(bad name)", glx::Single("GetIntegerv", {0xFFFF}), false, 0x500},
        {"GetDoublev(bad name)", glx::Single("GetDoublev", {0xFFFF}), false, 0x500},
        {"GetMapdv(bad target)", glx::Single("GetMapdv", {0x1234, 0x0A01}), false, 0x500},
        {"IsEnabled(bad capability)", glx::Single("IsEnabled", {0xFFFF}), false, 0x500},
        {"GetString(bad name)", glx::Single("GetString", {0xFFFF}), false, 0x500},
        {"GetIntegerv in Begin", glx::Single("GetIntegerv", {0x0B21}), true, 0x502},
        {"GetFloatv in Begin", glx::Single("GetFloatv", {0x0B21}), true, 0x502},
        {"GenLists in Begin", glx::Single("GenLists", {1}), true, 0x502},
        {"IsList in Begin", glx::Single("IsList", {1}), true, 0x502},
        {"IsEnabled in Begin", glx::Single("IsEnabled", {0x0B50}), true, 0x502},
        {"RenderMode in Begin", glx::Single("RenderMode", {0x1C00}), true, 0x502},
        {"Finish in Begin", glx::Single("Finish"), true, 0x502},
        {"ReadPixels in Begin", glx::Single("ReadPixels", {0, 0, 1, 1, 0x1908, 0x1401, 0}), true, 0x502},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A reply of values first, so a stale one would show.
        ASSERT_EQ(RunSingle(glx::Single("GetIntegerv", {0x0D32 /* MAX_CLIP_PLANES */})).word16, 6u);
        if (c.bInBegin) ASSERT_EQ(RunStream(glx::Render("Begin", {GL_TRIANGLES_MODE})), 1);
        std::vector<BYTE> data;
        const glx::Reply r = RunSingle(c.request, &data);
        EXPECT_EQ(r.type, 1u);
        EXPECT_EQ(r.length, 0u);
        EXPECT_EQ(r.retval, 0u);
        EXPECT_EQ(r.size, 0u);
        if (c.bInBegin) ASSERT_EQ(RunStream(glx::Render("End")), 1);
        EXPECT_EQ(GetError(), c.glError);
    }
}

// A SETCONTEXT or CREATESMSEGMENT that another process sends on the
// serving thread of the application, and that is refused, leaves the
// application's client record as it was: its context current on it, its
// request segment in use.
TEST_F(RequestTest, RefusedAttachLeavesTheThreadsClient) {
    ASSERT_EQ(RunSingle(glx::Single("GetIntegerv", {0x0D32})).word16, 6u);
    GLContext* gc = Context();
    ASSERT_NE(gc, nullptr);
    GLClient* pgc = gc->pgc;
    ASSERT_NE(pgc, nullptr);
    const ULONG hClient = pgc->hClient;
    struct Case {
        const char* name;
        DWORD pid;
        std::vector<BYTE> request;
    } const cases[] = {
        {"SETCONTEXT of the application's context", other_, Request(GLCMD_SETCONTEXT, OGLCMD_NEEDWNDOBJ, {0, dhrc_})},
        {"SETCONTEXT of no context", other_, Request(GLCMD_SETCONTEXT, 0, {0, 0x7777})},
        {"CREATESMSEGMENT of no section", other_, Request(GLCMD_CREATESMSEGMENT, 0, {SM_SEGMENT_SIZE, 0x7777})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_LE(DisplayCmd(c.pid, c.request), 0);
        vnx::debug::clear();
        ASSERT_EQ(gc->pgc, pgc);
        EXPECT_EQ(pgc->gc, gc);
        EXPECT_EQ(pgc->hClient, hClient);
        // The application's requests still run through its segment.
        EXPECT_EQ(RunSingle(glx::Single("GetIntegerv", {0x0D32})).word16, 6u);
        EXPECT_EQ(reinterpret_cast<SMSegmentHeader*>(sm_.pj)->client, hClient);
    }
}

// A TexImage2D sent while a list is compiled is never kept in the list;
// compiled with execution it runs at once, compiled alone it does not.
TEST_F(RequestTest, TexImage2DRunsWhenCompiledWithExecution) {
    // A 2 x 2 RGBA image: the pixel-store header (alignment 1), target,
    // level, components, width, height, border, format, type, the texels.
    const glx::Bytes texImage = glx::RawRender(
        72, 110, {0, 0, 0, 0, 1, 0x0DE1, 0, 4, 2, 2, 0, 0x1908, 0x1401, 0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFFFFFFFF});
    struct Case {
        ULONG mode;
        ULONG width;  // TEXTURE_WIDTH of level 0 afterwards
    } const cases[] = {{GL_COMPILE, 0}, {GL_COMPILE_AND_EXECUTE, 2}};
    ULONG name = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        CompileList(name, c.mode, {texImage});
        EXPECT_EQ(GetError(), 0u);
        const glx::Reply r = RunSingle(glx::Single("GetTexLevelParameteriv", {0x0DE1, 0, 0x1000 /* TEXTURE_WIDTH */}));
        EXPECT_EQ(r.size, 1u);
        EXPECT_EQ(r.word16, c.width);
        // The list holds nothing of it: calling it loads nothing.
        ASSERT_EQ(RunStream(glx::Render("CallList", {name})), 1);
        EXPECT_EQ(RunSingle(glx::Single("GetTexLevelParameteriv", {0x0DE1, 0, 0x1000})).word16, c.width);
        ++name;
    }
}

// Making a context current on a window whose drawable shows another layer
// switches the layers: the lgi context sets its draw buffer again and marks
// its whole state to be validated again.
TEST_F(RequestTest, LayerSwitchMarksTheLgiStateDirty) {
    GLContext* gcMain = Context();
    ASSERT_NE(gcMain, nullptr);
    const ULONG dhrcOverlay = CreateLayerContext(app_, 1, 1);
    ASSERT_NE(dhrcOverlay, 0u);
    ASSERT_EQ(Escape(Request(GLCMD_SETCONTEXT, OGLCMD_NEEDWNDOBJ, {0, dhrcOverlay})), 1);
    ASSERT_EQ(pdraw_->iLayer, 1);
    ULONG ulDrawBuffer = 0;
    Locked([&] {
        N_MakeCurrent(gcMain->pnc);
        return N_GetStateBlockAttr(N_ATTR_DRAW_BUFFER, &ulDrawBuffer);
    });
    gcMain->pnc->dirty = 0;
    ASSERT_EQ(Escape(Request(GLCMD_SETCONTEXT, OGLCMD_NEEDWNDOBJ, {0, dhrc_})), 1);
    EXPECT_EQ(pdraw_->iLayer, 0);
    EXPECT_EQ(gcMain->pnc->dirty, N_DIRTY_ALL);
    ULONG ulAfter = 0;
    Locked([&] { return N_GetStateBlockAttr(N_ATTR_DRAW_BUFFER, &ulAfter); });
    EXPECT_EQ(ulAfter, ulDrawBuffer);
}

// A context bound to a new window starts with no buffers bound for it: the
// buffers the pixel path bound on its last window are not bound on the new
// one's set.
TEST_F(RequestTest, BindingAnotherWindowForgetsTheBoundBuffers) {
    GLContext* gc = Context();
    ASSERT_NE(gc, nullptr);
    ASSERT_NE(gc->pvis->cDepthBits, 0u);
    // DrawPixels(DEPTH_COMPONENT, FLOAT) binds the depth buffer beside the colour buffer.
    const glx::Bytes drawDepth = glx::RawRender(44, 173, {0, 0, 0, 0, 4, 1, 1, 0x1902, 0x1406, glx::F(0.5f)});
    ASSERT_EQ(RunStream(drawDepth), 1);
    EXPECT_EQ(GetError(), 0u);
    ASSERT_NE(pdraw_->pBufferSet->apBuffers[GLBS_DEPTH], nullptr);
    {
        vnx::process::Scope as(app_);
        ReleaseDC(hwnd_, hdc_);
        hdc_ = nullptr;
        ASSERT_TRUE(vnx::windows::destroy(hwnd_));
        hwnd_ = vnx::windows::create(RECTL{20, 20, 220, 180});
        ASSERT_NE(hwnd_, nullptr);
        hdc_ = GetDC(hwnd_);
        ASSERT_TRUE(SetPixelFormat(hdc_, 1, nullptr));
    }
    ASSERT_EQ(Escape(Request(GLCMD_SETCONTEXT, OGLCMD_NEEDWNDOBJ, {0, dhrc_})), 1);
    pdraw_ = gc->pdraw;
    ASSERT_NE(pdraw_, nullptr);
    ASSERT_NE(pdraw_->pBufferSet, nullptr);
    EXPECT_EQ(GetError(), 0u);
    EXPECT_EQ(pdraw_->pBufferSet->apBuffers[GLBS_DEPTH], nullptr);
}

// An overlay write of _DPutImage (an overlay visual, the flagged front
// write) goes to the overlay plane: the window's main-plane colours stay.
TEST_F(ServerTest, OverlayWriteLeavesTheMainPlane) {
    GLBufferSet* pbs = Window(1, 1);
    ASSERT_NE(pbs, nullptr) << vnx::debug::take();
    Locked([&] {
        kz2FlushQueue(kz2GetQueueMgt(pso_->dhsurf, kz2GetBlockEnable(0, 0, 1, 1)), 0xFFFFFFFFu, nullptr, nullptr);
        return 0;
    });
    const RECTL r{kWindow.left, kWindow.top, kWindow.left + 16, kWindow.top + 8};
    ASSERT_NO_FATAL_FAILURE(Paint(pso_, r, 7));
    const std::vector<ULONG> before = Front(r);
    const ULONG pidBefore = reinterpret_cast<const DSURF*>(pso_->dhsurf)->pdfb->pid;
    std::vector<ULONG> image(16 * 8, 0x00123456u);
    ASSERT_EQ(Locked([&] { return _DPutImage(pbs, 0x80000000u | GLBUFFER_FRONT_LEFT, r.left, r.top, 16, 8, image.data()); }),
              1u);
    EXPECT_EQ(reinterpret_cast<const DSURF*>(pso_->dhsurf)->pdfb->pid, pidBefore) << "the format word is put back";
    const std::vector<ULONG> after = Front(r);
    ASSERT_EQ(after.size(), before.size());
    int cChanged = 0;
    for (size_t i = 0; i < after.size(); ++i) cChanged += (after[i] & 0xFFFFFFu) != (before[i] & 0xFFFFFFu);
    EXPECT_EQ(cChanged, 0);
    EXPECT_TRUE(board().take_errors().empty());
}

}  // namespace
