// The name-stack requests and PassThrough: while selecting, the lgi name
// stack's refusals become the requests' GL errors; outside selection the
// name stack is left alone, and PassThrough outside feedback mode is
// ignored, without an error.
#include "request_fixture.h"

namespace {

using namespace glsrv_double;
using glx::F;
using glx::RenderRequest;
using glx::Words;

class NamesTest : public RequestTest {};

TEST_F(NamesTest, RefusalsAreGLErrors) {
    const struct {
        std::uint16_t opcode;
        std::vector<std::uint32_t> args;
        const char* call;
        ULONG answer;  // what the name stack answers
        ULONG xError, glError;
    } cases[] = {
        {121, {}, "N_InitNames", 1, 0, 0},
        {125, {7}, "N_PushName", 1, 0, 0},
        {125, {7}, "N_PushName", 0, 10, GL_STACK_OVERFLOW},
        {124, {}, "N_PopName", 1, 0, 0},
        {124, {}, "N_PopName", 0, 10, GL_STACK_UNDERFLOW},
        {122, {9}, "N_LoadName", 1, 0, 0},
        {122, {9}, "N_LoadName", 0, 10, GL_INVALID_OPERATION},
    };
    gc_.renderMode = GL_SELECT;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.opcode << " answer " << c.answer);
        gRecord.calls.clear();
        gAnswers.ul = c.answer;
        gc_.error = 0;
        glx::Bytes body;
        for (std::uint32_t w : c.args) glx::Put32(body, w);
        EXPECT_EQ(Run(__glXRenderTable, RenderRequest(c.opcode, static_cast<std::uint32_t>(body.size()), body)),
                  c.xError);
        EXPECT_EQ(gc_.error, c.glError);
        const auto calls = Calls(c.call);
        ASSERT_EQ(calls.size(), 1u);
        if (!c.args.empty()) EXPECT_EQ(calls[0]->args[0], c.args[0]);
    }
}

TEST_F(NamesTest, NameStackLeftAloneOutsideSelection) {
    const struct {
        std::uint16_t opcode;
        std::vector<std::uint32_t> args;
        const char* call;
    } cases[] = {
        {125, {7}, "N_PushName"},
        {124, {}, "N_PopName"},
        {122, {9}, "N_LoadName"},
    };
    for (const ULONG mode : {ULONG{GL_RENDER}, ULONG{GL_FEEDBACK}}) {
        gc_.renderMode = mode;
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << c.opcode << " in mode " << mode);
            gRecord.calls.clear();
            gAnswers.ul = 0;  // the stack would refuse each
            gc_.error = 0;
            glx::Bytes body;
            for (std::uint32_t w : c.args) glx::Put32(body, w);
            EXPECT_EQ(Run(__glXRenderTable, RenderRequest(c.opcode, static_cast<std::uint32_t>(body.size()), body)),
                      0u);
            EXPECT_EQ(gc_.error, 0u);
            EXPECT_TRUE(Calls(c.call).empty());
        }
    }
}

TEST_F(NamesTest, PassThroughOnlyInFeedback) {
    const auto body = Words({F(2.5f)});
    for (const ULONG mode : {ULONG{GL_RENDER}, ULONG{GL_SELECT}}) {
        gc_.renderMode = mode;
        EXPECT_EQ(Run(__glXRenderTable, RenderRequest(123, 4, body)), 0u);
        EXPECT_EQ(gc_.error, 0u);
        EXPECT_TRUE(Calls("N_PassThrough").empty());
    }
    gc_.error = 0;
    gc_.renderMode = GL_FEEDBACK;
    EXPECT_EQ(Run(__glXRenderTable, RenderRequest(123, 4, body)), 0u);
    const auto calls = Calls("N_PassThrough");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0]->args[0], F(2.5f));
    EXPECT_EQ(Run(__glXRenderTable, RenderRequest(123, 0)), GLX_BAD_LENGTH);
}

}  // namespace
