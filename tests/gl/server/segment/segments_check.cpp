// The request segment's decoders with the dispatch tables built and
// stand-ins for the parts not built yet (seams_double.cpp): the render
// stream of a half with its inline fast path, the bounds of a half, large
// render commands, single requests and their replies, feedback and
// selection. Requests are written with the GLX test encoder.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dispatch/dispatch.h"
#include "gl/glx/glx_encoder.h"
#include "glcmd.h"
#include "mapped_segment.h"
#include "platform/debug.h"
#include "platform/faults.h"
#include "seams_double.h"

namespace {

using namespace glsrv_double;
using glx::F;

std::uintptr_t U(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

// The lgi context of the test's context, and the calls binding it makes.
N_Context* const kLgiContext = reinterpret_cast<N_Context*>(0x6200);
const std::vector<std::string> kBind = {"N_MakeCurrent", "_DBindBuffers"};
std::vector<std::string> Bind(std::initializer_list<std::string> after) {
    std::vector<std::string> v = kBind;
    v.insert(v.end(), after);
    return v;
}

// What the stand-in render handlers saw: the opcode of each command and the
// first bytes of what they were given.
struct Ran {
    ULONG opcode;
    std::vector<BYTE> bytes;
    ULONG cjLarge;  // the client's cjLarge during the call
};
std::vector<Ran> gRan;
size_t gcjSeen = 8;  // bytes of each request the handlers keep

ULONG RenderHandler(GLClient* pgc, const void* pRequest) {
    const auto* pj = static_cast<const BYTE*>(pRequest);
    USHORT opcode;
    std::memcpy(&opcode, pj + 2, sizeof opcode);
    gRan.push_back(Ran{opcode, std::vector<BYTE>(pj, pj + gcjSeen), pgc->cjLarge});
    return 0;
}

// Memory of the client from VirtualAlloc, as the client driver's memory:
// below 4 GB, so its address fits a 32-bit field.
struct ClientMemory {
    explicit ClientMemory(size_t cj) : cj(cj) {
        p = static_cast<BYTE*>(VirtualAlloc(nullptr, cj, MEM_COMMIT, PAGE_READWRITE));
    }
    ~ClientMemory() { VirtualFree(p, 0, MEM_RELEASE); }
    ULONG address() const { return static_cast<ULONG>(U(p)); }
    BYTE* p;
    size_t cj;
};

class SegmentsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gRecord = Record{};
        gAnswers = Answers{};
        gRan.clear();
        gcjSeen = 8;
        vnx::debug::clear();
        ASSERT_TRUE(InitGLSrvDll(nullptr, GLSRV_PROCESS_ATTACH, nullptr));
        ASSERT_TRUE(glInitDispatchVectors());
        pgc_ = pgcCurrent();
        ASSERT_NE(pgc_, nullptr);
        MapRequestSegment(pgc_);
        // A context with a drawable, current, its render tables (outside
        // and inside Begin/End) the stand-in's; single requests go through
        // the server's single table.
        table_.assign(GLX_RENDER_ENTRIES, RenderHandler);
        beginEnd_.assign(GLX_RENDER_ENTRIES, RenderHandler);
        gc_ = GLContext{};
        gc_.pdraw = reinterpret_cast<GLDrawable*>(0x4000);
        gc_.pnc = kLgiContext;
        gc_.renderMode = GL_RENDER;
        gc_.pRenderTable = table_.data();
        dhrc_ = ulRegisterContext(&gc_);
        pgc_->gc = &gc_;
        savedSingle_ = __glXSingleTable;
        savedBeginEnd_ = __glXRenderBeginEndTable;
        __glXRenderBeginEndTable = beginEnd_.data();
    }
    void TearDown() override {
        __glXSingleTable = savedSingle_;
        __glXRenderBeginEndTable = savedBeginEnd_;
        glFreeDispatchVectors();
        __glXFreePending(pgc_, gc_.pPending);
        pgc_->gc = nullptr;
        vUnregisterContext(&gc_);
        LocalFree(gc_.pSelectBuffer);
        LocalFree(gc_.pFeedbackBuffer);
        InitGLSrvDll(nullptr, GLSRV_PROCESS_DETACH, nullptr);
        vnx::faults::clear();
        vnx::debug::clear();
    }

    SMSegmentHeader* Header() { return reinterpret_cast<SMSegmentHeader*>(pgc_->pHeader); }
    BYTE* At(ULONG off) { return pgc_->pHeader + off; }

    // The stream written at the read offset, with a zero word behind it.
    void Write(const glx::Bytes& stream, ULONG off = SM_FIRST_COMMAND) {
        if (!stream.empty()) std::memcpy(At(off), stream.data(), stream.size());
        std::memset(At(off + static_cast<ULONG>(stream.size())), 0, 4);
        Header()->readOffset = off;
        Header()->writeOffset = off + static_cast<ULONG>(stream.size());
    }
    // The decoder over a stream of the current half.
    ULONG Decode(const glx::Bytes& stream) {
        Write(stream);
        xGLXRenderReq req{0, X_GLXRender, static_cast<USHORT>(stream.size()), dhrc_};
        return __glXRenderStream(pgc_, &req, At(SM_FIRST_COMMAND),
                                 static_cast<ULONG>(stream.size()));
    }
    std::vector<ULONG> RanOpcodes() const {
        std::vector<ULONG> v;
        for (const Ran& r : gRan) v.push_back(r.opcode);
        return v;
    }
    // A single request through GLCMD_SINGLE's path; its reply.
    glx::Reply Single(const glx::Bytes& request) {
        Write(request);
        EXPECT_TRUE(__glSingleRequest(pgc_));
        return glx::ReadReply(Header()->reply);
    }
    // An immediate batch of two packet words, as the primitive buffer hands
    // it over.
    static __GLXpacketBuffer* PendingBatch() {
        auto* p = static_cast<__GLXpacketBuffer*>(LocalAlloc(LPTR, GLX_PACKET_HEADER + 8));
        p->cjUsed = GLX_PACKET_HEADER + 8;
        p->target = GLX_PACKETS_IMMEDIATE;
        return p;
    }
    std::vector<ULONG> InlineWords(ULONG c) {
        std::vector<ULONG> v(c);
        std::memcpy(v.data(), At(Header()->readOffset), c * 4);
        return v;
    }

    GLClient* pgc_ = nullptr;
    GLContext gc_{};
    ULONG dhrc_ = 0;
    std::vector<__GLXdispatchFn> table_, beginEnd_;
    __GLXdispatchFn* savedSingle_ = nullptr;
    __GLXdispatchFn* savedBeginEnd_ = nullptr;
};

// The render-stream decoder: what runs and what it answers, with the error
// detail of a stream error.
TEST_F(SegmentsTest, StreamDecoder) {
    const glx::Bytes shade = glx::Render("ShadeModel", {0x1D01});
    const glx::Bytes view = glx::Render("Viewport", {0, 0, 64, 64});
    const glx::Bytes zero = glx::RawRender(0, 0);
    struct Row {
        const char* what;
        glx::Bytes stream;
        ULONG result;
        std::vector<ULONG> ran;
        ULONG detail;  // error detail afterwards (starts as 0xEEEE)
    };
    const Row rows[] = {
        {"empty half", {}, 0, {}, 0xEEEE},
        {"commands filling the stream", glx::Stream({shade, view}), 0, {104, 191}, 0xEEEE},
        {"zero length after the last byte", glx::Stream({shade}), 0, {104}, 0xEEEE},
        {"zero length in the middle", glx::Stream({shade, zero, view}), GLX_BAD_LENGTH, {104}, 32},
        {"last command overrunning the stream",
         glx::Stream({shade, glx::RawRender(20, 191, {1})}),
         GLX_BAD_LENGTH,
         {104},
         16},
        {"opcode 4117 after two good ones",
         glx::Stream({shade, view, glx::RawRender(4, 4117)}),
         GLXBadRenderRequest,
         {104, 191},
         4117},
        {"opcode 4116 runs", glx::RawRender(4, 4116), 0, {4116}, 0xEEEE},
        {"length below a header", glx::Stream({glx::RawRender(2, 104), shade}), GLX_BAD_LENGTH, {}, 12},
        {"length not a multiple of 4",
         glx::Stream({glx::RawRender(6, 104, {0}), shade}),
         GLX_BAD_LENGTH,
         {},
         16},
        {"a partial header at the end",
         glx::Stream({shade, glx::Bytes{8, 0}}),
         GLX_BAD_LENGTH,
         {104},
         10},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        gRan.clear();
        gRecord.calls.clear();
        pgc_->errorDetail = 0xEEEE;
        EXPECT_EQ(Decode(row.stream), row.result);
        EXPECT_EQ(RanOpcodes(), row.ran);
        EXPECT_EQ(pgc_->errorDetail, row.detail);
        EXPECT_EQ(CallNames().front(), "N_MakeCurrent") << "the context was bound first";
        EXPECT_EQ(pgc_->gc, &gc_);
    }
    // Stream errors are printed only while the debug trace is on.
    EXPECT_EQ(vnx::debug::take(), "");
    __glXDebugFlag = 1;
    Decode(glx::RawRender(4, 5000));
    Decode(glx::Stream({shade, zero, view}));
    __glXDebugFlag = 0;
    EXPECT_EQ(vnx::debug::take(),
              "GL error: X_GLXRender : GLXBadRenderRequest\nGL error: X_GLXRender : GLX_BAD_LENGTH\n");
}

// A context without a drawable, or a tag that names no context, refuses the
// whole stream.
TEST_F(SegmentsTest, ContextCheckRefusesTheStream) {
    gc_.pdraw = nullptr;
    EXPECT_EQ(Decode(glx::Render("ShadeModel", {1})), static_cast<ULONG>(-1));
    gc_.pdraw = reinterpret_cast<GLDrawable*>(0x4000);
    xGLXRenderReq req{0, X_GLXRender, 8, dhrc_ + 100};
    EXPECT_EQ(__glXRenderStream(pgc_, &req, At(SM_FIRST_COMMAND), 8), static_cast<ULONG>(-1));
    EXPECT_TRUE(gRan.empty());
    EXPECT_TRUE(gRecord.calls.empty());
}

// Inside Begin/End the eleven vertex commands call the vertex setters
// directly, with texture coordinates completed and each position followed
// by the primitive buffer's step; other commands go to the table; a fast
// command too short for its arguments stops the stream unrun.
TEST_F(SegmentsTest, FastPathInsideBeginEnd) {
    gc_.pRenderTable = beginEnd_.data();
    gAnswers.ulFull = 1;
    const std::uintptr_t rec = U(kVertexRecord);
    EXPECT_EQ(Decode(glx::Stream({
                  glx::Render("Color3fv", {F(0.25f), F(0.5f), F(1.0f)}),
                  glx::Render("Color4fv", {F(1), F(2), F(3), F(4)}),
                  glx::Render("Indexfv", {F(7)}),
                  glx::Render("Normal3fv", {F(0), F(0), F(1)}),
                  glx::Render("TexCoord1fv", {F(0.5f)}),
                  glx::Render("TexCoord2fv", {F(1), F(2)}),
                  glx::Render("TexCoord3fv", {F(1), F(2), F(3)}),
                  glx::Render("TexCoord4fv", {F(1), F(2), F(3), F(4)}),
                  glx::Render("Vertex2fv", {F(1), F(2)}),
                  glx::Render("Vertex3fv", {F(1), F(2), F(3)}),
                  glx::Render("Vertex4fv", {F(1), F(2), F(3), F(4)}),
                  glx::Render("Vertex3dv", {0, 0, 0, 0, 0, 0}),
              })),
              0u);
    const std::uintptr_t full = 1;
    const std::vector<std::pair<std::string, std::vector<std::uintptr_t>>> expected = {
        {"N_MakeCurrent", {U(kLgiContext)}},
        {"_DBindBuffers", {U(&gc_), 0}},
        {"N_SetVertexColor3", {rec, F(0.25f), F(0.5f), F(1.0f)}},
        {"N_SetVertexColor4", {rec, F(1), F(2), F(3), F(4)}},
        {"N_SetVertexIndex", {rec, F(7)}},
        {"N_SetVertexNormal", {rec, F(0), F(0), F(1)}},
        {"N_SetVertexTexCoord", {rec, F(0.5f), F(0), F(0), F(1)}},
        {"N_SetVertexTexCoord", {rec, F(1), F(2), F(0), F(1)}},
        {"N_SetVertexTexCoord", {rec, F(1), F(2), F(3), F(1)}},
        {"N_SetVertexTexCoord", {rec, F(1), F(2), F(3), F(4)}},
        {"N_SetVertexPos2", {rec, F(1), F(2)}},
        {"__glXAfterVertex", {U(pgc_), full}},
        {"N_SetVertexPos3", {rec, F(1), F(2), F(3)}},
        {"__glXAfterVertex", {U(pgc_), full}},
        {"N_SetVertexPos4", {rec, F(1), F(2), F(3), F(4)}},
        {"__glXAfterVertex", {U(pgc_), full}},
    };
    ASSERT_EQ(gRecord.calls.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(gRecord.calls[i].name, expected[i].first) << i;
        EXPECT_EQ(gRecord.calls[i].args, expected[i].second) << i;
    }
    EXPECT_EQ(RanOpcodes(), std::vector<ULONG>{69}) << "Vertex3dv goes through the table";

    // Vertex3fv of 8 bytes: its z would be the next command's header.
    gRecord.calls.clear();
    EXPECT_EQ(
        Decode(glx::Stream({glx::RawRender(8, 70, {F(1)}), glx::Render("Vertex2fv", {0, 0})})),
        GLX_BAD_LENGTH);
    EXPECT_EQ(CallNames(), kBind);
    // Outside Begin/End the same commands go to the table.
    gc_.pRenderTable = table_.data();
    gRan.clear();
    EXPECT_EQ(Decode(glx::Render("Vertex3fv", {0, 0, 0})), 0u);
    EXPECT_EQ(RanOpcodes(), std::vector<ULONG>{70});
}

// A half runs only a stream that starts behind the header, 4-aligned, and
// ends at least 64 KB before the end of the half, in either half; a view
// that is not 4-aligned is no half at all.
TEST_F(SegmentsTest, HalfBoundsTheStream) {
    const glx::Bytes cmd = glx::Render("ShadeModel", {1});
    const ULONG cjHalf1 = SM_HALF_DATA;  // the second half ends with the section
    struct Row {
        const char* what;
        ULONG half;  // 0 or SM_HALF_OFFSET
        ULONG read;
        ULONG write;  // 0: read + the command
        bool bRuns;
    };
    const Row rows[] = {
        {"at the first command", 0, 64, 0, true},
        {"over the header", 0, 60, 0, false},
        {"unaligned", 0, 66, 0, false},
        {"write before read", 0, 64, 60, false},
        {"the last allowed end", 0, SM_HALF_OFFSET - 0x10000 - 8, 0, true},
        {"too close to the end", 0, SM_HALF_OFFSET - 0x10000 - 4, 0, false},
        {"far beyond", 0, 64, 0xFFFFFFF0, false},
        {"second half, last allowed end", SM_HALF_OFFSET, cjHalf1 - 0x10000 - 8, 0, true},
        {"second half, too close", SM_HALF_OFFSET, cjHalf1 - 0x10000 - 4, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        pgc_->pHeader = pgc_->pMapping->pjView + row.half;
        std::memcpy(At(row.read < cjHalf1 ? row.read : 64), cmd.data(), cmd.size());
        Header()->readOffset = row.read;
        Header()->writeOffset =
            row.write != 0 ? row.write : row.read + static_cast<ULONG>(cmd.size());
        gRan.clear();
        EXPECT_TRUE(__glRunHalf(pgc_));
        EXPECT_EQ(gRan.size(), row.bRuns ? 1u : 0u);
        gRecord.calls.clear();
    }
    EXPECT_EQ(vnx::debug::take(), "");
    // A view moved to an unaligned offset has no half: nothing reads it.
    pgc_->pHeader = pgc_->pMapping->pjView + 2;
    EXPECT_FALSE(__glRunHalf(pgc_));
    EXPECT_FALSE(__glRenderLarge(pgc_));
    EXPECT_FALSE(__glSingleRequest(pgc_));
    EXPECT_TRUE(gRecord.calls.empty());
}

// Replies: data of up to limit - 32 bytes go inline at the read offset,
// longer data to the client's memory; a reply longer than 32 bytes, inline
// data that would leave the half and a failed write to the client are
// status 87.
TEST_F(SegmentsTest, ReplyWriter) {
    ClientMemory client(64 * 1024);
    ASSERT_NE(client.p, nullptr);
    Header()->clientData = client.address();
    xGLXSingleReply r{};
    r.type = X_Reply;
    r.retval = 0x1234;
    std::vector<BYTE> data(63961);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(i * 7 + 1);

    EXPECT_EQ(__glXSendReply(&r, sizeof r, data.data(), 63960), 1u);
    EXPECT_EQ(Header()->replyInClientMemory, 0u);
    EXPECT_EQ(std::memcmp(At(SM_FIRST_COMMAND), data.data(), 63960), 0);
    EXPECT_EQ(glx::ReadReply(Header()->reply).retval, 0x1234u);
    EXPECT_EQ(client.p[0], 0);

    EXPECT_EQ(__glXSendReply(&r, sizeof r, data.data(), 63961), 1u);
    EXPECT_EQ(Header()->replyInClientMemory, 1u);
    EXPECT_EQ(std::memcmp(client.p, data.data(), 63961), 0);
    EXPECT_EQ(Header()->status, 0u);

    struct Row {
        const char* what;
        ULONG cjReply;
        ULONG cjData;
        ULONG read;
        ULONG clientData;
    };
    const Row rows[] = {
        {"reply of 33 bytes", 33, 0, 64, client.address()},
        {"inline over the header", 32, 8, 32, client.address()},
        {"inline past the half", 32, 8, SM_HALF_OFFSET - 4, client.address()},
        {"client memory that is not there", 32, 63961, 64, 0x1000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Header()->status = 0;
        Header()->readOffset = row.read;
        Header()->clientData = row.clientData;
        std::vector<BYTE> big(40, 0xAB);
        EXPECT_EQ(__glXSendReply(big.data(), row.cjReply, data.data(), row.cjData), 1u);
        EXPECT_EQ(Header()->status, SM_STATUS_INVALID);
    }
    EXPECT_EQ(Header()->limit, SM_LIMIT) << "nothing written over the header";
}

// A single request runs through the single table with its context tag
// replaced by the current context's handle; a request too short for its
// header, or without a table, is answered with an error.
TEST_F(SegmentsTest, SingleRequestPath) {
    const std::pair<ULONG, __GLXdispatchFn> handlers[] = {
        {105, __glXDisp_FeedbackBuffer}, {106, __glXDisp_SelectBuffer}, {107, __glXDisp_RenderMode},
        {108, __glXDisp_Finish},         {142, __glXDisp_Flush},
    };
    for (const auto& [opcode, fn] : handlers) EXPECT_EQ(__glXSingleTable[opcode], fn) << opcode;
    glx::Reply rep = Single(glx::Single("Finish", {}, 0xDEAD));
    EXPECT_EQ(rep.type, X_Reply);
    EXPECT_EQ(rep.length, 0u);
    ULONG tag;
    std::memcpy(&tag, At(SM_FIRST_COMMAND + 4), 4);
    EXPECT_EQ(tag, dhrc_);
    EXPECT_EQ(CallNames(), Bind({"N_Finish"}));
    // Flush: no reply; the pending batch is handed to the lgi layer and done
    // before the queues are kicked. Inside Begin/End refused with
    // GL_INVALID_OPERATION.
    gc_.pPending = PendingBatch();
    gRecord.calls.clear();
    EXPECT_EQ(__glXDisp_Flush(pgc_, glx::Single("Flush").data()), 0u);
    const std::vector<std::string> calls = CallNames();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 2), kBind);
    EXPECT_EQ(calls[2], "N_DispatchPackets");
    EXPECT_EQ(calls.back(), "N_Flush");
    EXPECT_EQ(gc_.pPending, nullptr);
    EXPECT_EQ(gc_.pRetiring, nullptr) << "every batch handed over is done";
    gc_.bInBegin = 1;
    EXPECT_EQ(__glXDisp_Flush(pgc_, glx::Single("Flush").data()), GLX_BAD_ACCESS);
    EXPECT_EQ(__glXDisp_Finish(pgc_, glx::Single("Finish").data()), GLX_BAD_ACCESS);
    EXPECT_EQ(gc_.error, GL_INVALID_OPERATION);
    gc_.bInBegin = 0;

    glx::Bytes shortReq = glx::Single("Finish");
    shortReq[2] = 1;  // 4 bytes: no room for its context tag
    rep = Single(shortReq);
    EXPECT_EQ(rep.type, X_Error);
    EXPECT_EQ(rep.errorCode, GLX_BAD_LENGTH);
    EXPECT_EQ(Header()->status, SM_STATUS_INVALID);
    Header()->readOffset = SM_HALF_OFFSET - 0x40000 + 4;  // too close to the half's end
    EXPECT_TRUE(__glSingleRequest(pgc_));
    EXPECT_EQ(glx::ReadReply(Header()->reply).errorCode, GLX_BAD_LENGTH);

    __glXSingleTable = nullptr;
    rep = Single(glx::Single("Finish"));
    EXPECT_EQ(rep.type, X_Error);
    EXPECT_EQ(rep.errorCode, GLX_BAD_IMPLEMENTATION);
}

// FeedbackBuffer's checks in order, and a buffer too large to allocate; the
// end of feedback with an overflow sends the buffer's values.
TEST_F(SegmentsTest, FeedbackBuffer) {
    struct Row {
        const char* what;
        LONG size;
        ULONG type;
        ULONG mode;
        ULONG bInBegin;
        ULONG x;
        ULONG gl;
    };
    const Row rows[] = {
        {"inside Begin/End", 4, 0x600, GL_RENDER, 1, GLX_BAD_ACCESS, GL_INVALID_OPERATION},
        {"type below GL_2D", 4, 0x5FF, GL_RENDER, 0, GLX_BAD_VALUE, GL_INVALID_ENUM},
        {"type above GL_4D_COLOR_TEXTURE", 4, 0x605, GL_RENDER, 0, GLX_BAD_VALUE, GL_INVALID_ENUM},
        {"negative size", -1, 0x600, GL_RENDER, 0, GLX_BAD_VALUE, GL_INVALID_VALUE},
        {"in feedback mode", 4, 0x600, GL_FEEDBACK, 0, GLX_BAD_ACCESS, GL_INVALID_OPERATION},
        {"too large to allocate", 0x7FFFFFFF, 0x601, GL_RENDER, 0, GLX_BAD_ALLOC, GL_OUT_OF_MEMORY},
        {"fine", 6, 0x604, GL_RENDER, 0, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        gc_.error = 0;
        gc_.renderMode = row.mode;
        gc_.bInBegin = row.bInBegin;
        const glx::Bytes req =
            glx::Single("FeedbackBuffer", {static_cast<ULONG>(row.size), row.type});
        EXPECT_EQ(__glXDisp_FeedbackBuffer(pgc_, req.data()), row.x);
        EXPECT_EQ(gc_.error, row.gl);
    }
    EXPECT_EQ(gc_.cFeedbackBuffer, 6u);
    EXPECT_NE(gc_.pFeedbackBuffer, nullptr);
    EXPECT_EQ(gc_.iFeedbackType, 4u);
    // A request too short for its type is a length error and changes nothing.
    glx::Bytes shortReq = glx::Single("FeedbackBuffer", {1, 0x600});
    shortReq[2] = 3;
    EXPECT_EQ(__glXDisp_FeedbackBuffer(pgc_, shortReq.data()), GLX_BAD_LENGTH);
    EXPECT_EQ(gc_.cFeedbackBuffer, 6u);

    // Into feedback and out again, with an overflow.
    gc_.renderMode = GL_RENDER;
    gRecord.calls.clear();
    glx::Reply rep = Single(glx::Single("RenderMode", {GL_FEEDBACK}));
    EXPECT_EQ(rep.word16, GL_FEEDBACK);
    EXPECT_EQ(gRecord.calls.back().name, "N_BeginFeedback");
    EXPECT_EQ(gRecord.calls.back().args,
              (std::vector<std::uintptr_t>{U(gc_.pFeedbackBuffer), 6, 4}));
    // The overflow answers -1, and the values that fit (the whole buffer)
    // go back: the reply never counts more than the buffer holds.
    for (ULONG k = 0; k < 6; ++k) gc_.pFeedbackBuffer[k] = 0x100 + k;
    gAnswers.lFeedback = -1;
    rep = Single(glx::Single("RenderMode", {GL_RENDER}));
    EXPECT_EQ(rep.retval, 0xFFFFFFFFu);
    EXPECT_EQ(rep.size, 6u);
    EXPECT_EQ(rep.length, 6u);
    EXPECT_EQ(Header()->replyInClientMemory, 0u);
    EXPECT_EQ(InlineWords(6), (std::vector<ULONG>{0x100, 0x101, 0x102, 0x103, 0x104, 0x105}));
    // A count the lgi layer gives beyond the buffer sends only the buffer.
    Single(glx::Single("RenderMode", {GL_FEEDBACK}));
    const float f25 = 2.5f;
    std::memcpy(&gc_.pFeedbackBuffer[5], &f25, 4);
    gAnswers.lFeedback = 9;
    rep = Single(glx::Single("RenderMode", {GL_RENDER}));
    EXPECT_EQ(rep.retval, 9u);
    EXPECT_EQ(rep.length, 6u);
    float f;
    std::memcpy(&f, At(SM_FIRST_COMMAND + 20), 4);
    EXPECT_EQ(f, 2.5f);
}

// Selection: a buffer of 5 words and one hit of 3 names overflow; the
// buffer holds the count, the depth range and 2 names, and RenderMode
// answers -1 hits.
TEST_F(SegmentsTest, SelectionOverflows) {
    EXPECT_EQ(__glXDisp_SelectBuffer(pgc_, glx::Single("SelectBuffer", {5}).data()), 0u);
    gRecord.calls.clear();
    glx::Reply rep = Single(glx::Single("RenderMode", {GL_SELECT}));
    EXPECT_EQ(rep.type, X_Reply);
    EXPECT_EQ(rep.word16, GL_SELECT);
    EXPECT_EQ(rep.retval, 0u);
    EXPECT_EQ(gc_.renderMode, GL_SELECT);
    const std::vector<std::string> started =
        Bind({"N_InitNames", "N_SetStateBlockAttrWord", "N_SetSelectCallback"});
    ASSERT_EQ(CallNames(), started);
    EXPECT_EQ(gRecord.calls[3].args, (std::vector<std::uintptr_t>{35, 1}));
    auto* pfn = reinterpret_cast<N_SelectCallback>(gRecord.calls[4].args[0]);
    ASSERT_EQ(pfn, __glXSelectHit);
    EXPECT_EQ(gRecord.calls[4].args[1], U(&gc_));

    const ULONG names[] = {7, 8, 9};
    pfn(&gc_, names, 3, 1.9f, 1000.7f);
    rep = Single(glx::Single("RenderMode", {GL_RENDER}));
    EXPECT_EQ(rep.word16, GL_RENDER);
    EXPECT_EQ(rep.retval, static_cast<ULONG>(-1));
    EXPECT_EQ(rep.size, 5u);
    EXPECT_EQ(rep.length, 5u);
    EXPECT_EQ(InlineWords(5), (std::vector<ULONG>{3, 1, 1000, 7, 8}));
    EXPECT_EQ(gc_.renderMode, GL_RENDER);
    EXPECT_EQ(gRecord.calls.back().name, "N_SetStateBlockAttrWord");
    EXPECT_EQ(gRecord.calls.back().args, (std::vector<std::uintptr_t>{35, 0}));

    // Two hits, the second past the end: still -1 hits, never minus the count.
    Single(glx::Single("RenderMode", {GL_SELECT}));
    pfn(&gc_, names, 1, 1.0f, 2.0f);
    pfn(&gc_, names, 2, 3.0f, 4.0f);
    rep = Single(glx::Single("RenderMode", {GL_RENDER}));
    EXPECT_EQ(rep.retval, static_cast<ULONG>(-1));
    EXPECT_EQ(rep.size, 5u);
    EXPECT_EQ(InlineWords(5), (std::vector<ULONG>{1, 1, 2, 7, 2}));

    // Selection without a buffer, and a mode that does not exist, keep the mode.
    LocalFree(gc_.pSelectBuffer);
    gc_.pSelectBuffer = nullptr;
    gc_.error = 0;
    rep = Single(glx::Single("RenderMode", {GL_SELECT}));
    EXPECT_EQ(rep.word16, GL_RENDER);
    EXPECT_EQ(gc_.error, GL_INVALID_OPERATION);
    rep = Single(glx::Single("RenderMode", {0x1234}));
    EXPECT_EQ(rep.word16, GL_RENDER);
    EXPECT_EQ(gc_.error, GL_INVALID_OPERATION) << "the first error stays";
    EXPECT_EQ(gc_.renderMode, GL_RENDER);
}

// Hit records fill the buffer as far as they fit; the index never passes
// the size, and depths outside the integer range are held at its ends.
TEST_F(SegmentsTest, HitRecords) {
    struct Row {
        ULONG size;
        ULONG index;  // before the hit
        ULONG cNames;
        std::vector<ULONG> words;  // from the index on
        ULONG overflow;
    };
    const Row rows[] = {
        {8, 0, 3, {3, 0, 0xFFFFFFFF, 7, 8, 9, 0, 0}, 0},
        {5, 0, 3, {3, 0, 0xFFFFFFFF, 7, 8}, 1},
        {5, 3, 3, {3, 0}, 1},
        {5, 5, 1, {}, 1},
        {5, 9, 1, {}, 1},  // an index past the size stays at the size
        {0, 0, 0, {}, 1},
    };
    const ULONG names[] = {7, 8, 9};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.size) + " " + std::to_string(row.index));
        std::vector<ULONG> buffer(row.size + 1, 0);
        gc_.pSelectBuffer = buffer.data();
        gc_.cSelectBuffer = row.size;
        gc_.iSelectWrite = row.index;
        gc_.bSelectOverflow = 0;
        gc_.cHits = 0;
        __glXSelectHit(&gc_, names, row.cNames, 0, 0xFFFFFFFFu);
        const ULONG start = row.index < row.size ? row.index : row.size;
        EXPECT_EQ(std::vector<ULONG>(buffer.begin() + start, buffer.begin() + row.size), row.words);
        EXPECT_EQ(buffer[row.size], 0u) << "nothing past the buffer";
        EXPECT_EQ(gc_.bSelectOverflow, row.overflow);
        EXPECT_EQ(gc_.cHits, 1u);
        EXPECT_EQ(gc_.iSelectWrite, row.overflow ? row.size : start + row.cNames + 3);
    }
    gc_.pSelectBuffer = nullptr;
}

// Large render commands: run at once with the out-of-line data behind the
// inline part, or handed to the display list while one is compiled; each
// failure leaves its status and nothing run or kept.
TEST_F(SegmentsTest, LargeCommands) {
    ClientMemory client(4096);
    ASSERT_NE(client.p, nullptr);
    for (int i = 0; i < 16; ++i) client.p[i] = static_cast<BYTE>(0xA0 + i);
    const glx::Bytes cmd = glx::RenderLarge(110, {0x11, 0x22});
    auto setUp = [&](const glx::Bytes& c, ULONG address, ULONG cjData) {
        Write(c);
        Header()->clientData = address;
        Header()->clientDataSize = cjData;
        Header()->status = 0;
        gRan.clear();
        gRecord.calls.clear();
    };

    // Run at once: the handler sees a render header of length 0 with the
    // opcode, the arguments at +4 and the data behind them, and the whole
    // length in the client's cjLarge (here a TexImage2D whose fixed
    // arguments run on into the out-of-line data).
    gcjSeen = 60;
    setUp(cmd, client.address(), 48);
    EXPECT_TRUE(__glRenderLarge(pgc_));
    ASSERT_EQ(gRan.size(), 1u);
    EXPECT_EQ(gRan[0].cjLarge, 60u);
    EXPECT_EQ(pgc_->cjLarge, 0u);
    std::vector<BYTE> expected = {0, 0, 110, 0, 0x11, 0, 0, 0, 0x22, 0, 0, 0};
    expected.insert(expected.end(), client.p, client.p + 48);
    EXPECT_EQ(gRan[0].bytes, expected);
    EXPECT_EQ(Header()->status, 0u);

    struct Row {
        const char* what;
        glx::Bytes command;
        ULONG address;
        ULONG cjData;
        const char* fault;
        ULONG status;
    };
    const Row rows[] = {
        {"no memory", cmd, client.address(), 16, "LocalAlloc", SM_STATUS_NOMEMORY},
        {"client memory that is not there", cmd, 0x1000, 16, nullptr, SM_STATUS_INVALID},
        {"opcode 4117", glx::RenderLarge(4117, {1}), client.address(), 16, nullptr,
         SM_STATUS_INVALID},
        {"inline part below its header", glx::RenderLarge(110, {}, 4), client.address(), 0, nullptr,
         SM_STATUS_INVALID},
        {"inline part past the half", glx::RenderLarge(110, {1}, SM_HALF_OFFSET), client.address(),
         0, nullptr, SM_STATUS_INVALID},
        {"out-of-line data beyond any request", cmd, client.address(), 0xFFFFFFF8, nullptr,
         SM_STATUS_INVALID},
    };
    for (ULONG compile : {0u, 1u}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.what) + (compile ? " (compiling)" : ""));
            gc_.bCompiling = compile;
            setUp(row.command, row.address, row.cjData);
            if (row.fault) vnx::faults::arm(row.fault);
            EXPECT_TRUE(__glRenderLarge(pgc_));
            vnx::faults::clear();
            EXPECT_EQ(Header()->status, row.status);
            EXPECT_TRUE(gRan.empty());
            EXPECT_EQ(gc_.pLarge, nullptr);
            for (const Call& c : gRecord.calls) EXPECT_NE(c.name, "__glXAppendLargeChunk");
        }
    }

    // Compiling: the record {total, total, 1, 0, 0, buffer, 0} over the whole
    // command and the data goes to the list as a chunk of its own, its second
    // word made the render header {0, opcode}.
    __GLXlistHead head{};
    head.name = 7;
    head.ppLink = &head.pFirst;
    gc_.bCompiling = 1;
    gc_.listMode = GLX_LIST_COMPILING;
    gc_.pListCompiled = &head;
    setUp(cmd, client.address(), 16);
    EXPECT_TRUE(__glRenderLarge(pgc_));
    EXPECT_EQ(head.pFirst, nullptr) << "a TexImage2D is never kept in a list";
    EXPECT_EQ(gc_.pLarge, nullptr);
    const glx::Bytes cmdKept = glx::RenderLarge(2, {0x11, 0x22});  // CallLists
    setUp(cmdKept, client.address(), 16);
    EXPECT_TRUE(__glRenderLarge(pgc_));
    EXPECT_EQ(gc_.pLarge, nullptr) << "the list took the record";
    ASSERT_NE(head.pFirst, nullptr);
    const __GLXlistChunk* pc = head.pFirst;
    EXPECT_EQ(pc->cjCapacity, 32u);
    EXPECT_EQ(pc->cjUsed, 32u);
    EXPECT_EQ(pc->bLarge, 1u);
    std::vector<BYTE> whole(cmdKept);
    whole.insert(whole.end(), client.p, client.p + 16);
    const USHORT ausHeader[2] = {0, static_cast<USHORT>(whole[4] | whole[5] << 8)};
    std::memcpy(whole.data() + 4, ausHeader, 4);
    EXPECT_EQ(std::vector<BYTE>(pc->pjData, pc->pjData + 32), whole);
    EXPECT_TRUE(gRan.empty());
    LocalFree(pc->pjData);
    LocalFree(head.pFirst);
    gc_.pListCompiled = nullptr;
    gc_.listMode = 0;
    // No list open: nothing is kept.
    setUp(cmd, client.address(), 16);
    EXPECT_TRUE(__glRenderLarge(pgc_));
    EXPECT_EQ(gc_.pLarge, nullptr);

    // A context that refuses leaves the refusal.
    gc_.pdraw = nullptr;
    setUp(cmd, client.address(), 16);
    EXPECT_TRUE(__glRenderLarge(pgc_));
    EXPECT_EQ(Header()->status, 0xFFFFFFFFu);
    EXPECT_TRUE(gRan.empty());
}

}  // namespace
