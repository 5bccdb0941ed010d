// Every render handler refuses a request one word shorter than the
// published encoding of its request, before it reads anything: the
// request sits at the very end of its buffer, so a read past it is caught.
// A request of the right length gets past the check.
#include "request_fixture.h"

namespace {

using namespace glsrv_double;
using glx::BodyBytes;
using glx::RenderRequest;
using glx::Words;

class LengthsTest : public RequestTest {};

TEST_F(LengthsTest, EveryHandlerRefusesABodyOneWordShort) {
    const __GLXdispatchFn* tables[] = {__glXRenderTable, __glXRenderBeginEndTable,
                                       __glXRenderListTable};
    __glXDebugFlag = 1;
    for (int t = 0; t < 3; ++t) {
        for (const auto& l : glx::kRenderLayouts) {
            const std::uint32_t cjBody = BodyBytes(l.args);
            if (cjBody == 0) continue;
            SCOPED_TRACE(testing::Message() << "table " << t << " " << l.name);
            gc_.error = 0;
            gRecord.calls.clear();
            vnx::debug::clear();
            EXPECT_EQ(Run(tables[t], RenderRequest(l.opcode, cjBody - 4)), GLX_BAD_LENGTH);
            EXPECT_EQ(gc_.error, 0u);
            EXPECT_EQ(vnx::debug::take(), std::string("GL error: ") + l.name + " : GLX_BAD_LENGTH\n");
            EXPECT_TRUE(gRecord.calls.empty());

            vnx::debug::clear();
            EXPECT_NE(Run(tables[t], RenderRequest(l.opcode, cjBody)), GLX_BAD_LENGTH);
        }
    }
}

// A material between Begin and End carries as many values as its
// parameter takes.
TEST_F(LengthsTest, MaterialCarriesItsValues) {
    const struct {
        std::uint16_t opcode;
        ULONG pname;
        std::uint32_t cjValues;
    } cases[] = {
        {97, 0x1200, 16}, {97, 0x1602, 16}, {97, 0x1601, 4}, {97, 0x1603, 12},
        {99, 0x1201, 16}, {99, 0x1600, 16}, {99, 0x1601, 4}, {99, 0x1603, 12},
    };
    std::vector<__GLXvertexFn> table(GLX_RENDER_ENTRIES,
                                     [](__GLXprimBuffer*, const void*) -> ULONG { return 0; });
    gc_.pVertexTable = table.data();
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.opcode << " " << std::hex << c.pname);
        const auto body = Words({0x408, c.pname});
        EXPECT_EQ(Run(__glXRenderBeginEndTable, RenderRequest(c.opcode, 8 + c.cjValues - 4, body)),
                  GLX_BAD_LENGTH);
        EXPECT_EQ(Run(__glXRenderBeginEndTable, RenderRequest(c.opcode, 8 + c.cjValues, body)), 0u);
    }
    // An unknown parameter reaches the handler, which refuses it unread.
    EXPECT_EQ(Run(__glXRenderBeginEndTable, RenderRequest(97, 8, Words({0x408, 0x1234}))), 0u);
}

// A large render command has no room for its length in the header: the
// header's length is 0 and the client record holds it while it runs.
TEST_F(LengthsTest, LargeCommandLengthFromTheClient) {
    auto request = RenderRequest(191, 16);
    request[0] = request[1] = 0;
    pgc_->cjLarge = 16;
    EXPECT_EQ(Run(__glXRenderBeginEndTable, request), GLX_BAD_LENGTH);
    pgc_->cjLarge = 20;
    EXPECT_EQ(Run(__glXRenderBeginEndTable, request), GLX_BAD_ACCESS);
    pgc_->cjLarge = 0;
}

}  // namespace
