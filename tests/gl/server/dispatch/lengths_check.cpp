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

// The variable part is checked where the request's own handler would read
// it: outside Begin/End; between Begin and End a request refused there is
// refused whatever its length; a list being compiled keeps what it is given.
// Arguments that are refused before a value is read call for none.
TEST_F(LengthsTest, VariablePartCheckedWhereItsHandlerReadsIt) {
    const struct {
        const char* what;
        std::uint16_t opcode;
        glx::Bytes fixed;
        std::uint32_t cjVariable;
    } cases[] = {
        {"Lightfv AMBIENT", 87, Words({0x4000, 0x1200}), 16},
        {"Fogiv FOG_COLOR", 83, Words({0x0B66}), 16},
        {"TexGendv EYE_PLANE", 116, Words({0x2000, 0x2502}), 32},
        {"CallLists 3 SHORT", 2, Words({3, 0x1402}), 6},
        {"Map1f VERTEX_3 order 2", 144, Words({0x0D97, glx::F(0), glx::F(1), 2}), 24},
        {"PixelMapusv 3", 170, Words({0x0C72, 3}), 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto cjFixed = static_cast<std::uint32_t>(c.fixed.size());
        const std::uint32_t cjShort = cjFixed + ((c.cjVariable - 1) & ~3u);
        gRecord.calls.clear();
        EXPECT_EQ(Run(__glXRenderTable, RenderRequest(c.opcode, cjShort, c.fixed)), GLX_BAD_LENGTH);
        EXPECT_TRUE(gRecord.calls.empty());
        EXPECT_NE(Run(__glXRenderTable, RenderRequest(c.opcode, cjFixed + ((c.cjVariable + 3) & ~3u), c.fixed)),
                  GLX_BAD_LENGTH);
        // Not in a list being compiled (none here: the store keeps nothing).
        EXPECT_EQ(Run(__glXRenderListTable, RenderRequest(c.opcode, cjShort, c.fixed)), GLX_SUCCESS);
        if (c.opcode != 2) {
            gc_.error = 0;
            EXPECT_NE(Run(__glXRenderBeginEndTable, RenderRequest(c.opcode, cjShort, c.fixed)), GLX_BAD_LENGTH);
            EXPECT_EQ(gc_.error, GL_INVALID_OPERATION);
        }
    }
    // Refused before a value is read: an unknown parameter, a type that is
    // none, a negative count, an order of 0, a pixel map of 33 values.
    const struct {
        const char* what;
        std::uint16_t opcode;
        glx::Bytes fixed;
        ULONG glError;
    } refused[] = {
        {"Lightfv 0x1234", 87, Words({0x4000, 0x1234}), GL_INVALID_ENUM},
        {"Fogfv 0x1234", 81, Words({0x1234}), GL_INVALID_ENUM},
        {"CallLists 0x140A", 2, Words({3, 0x140A}), GL_INVALID_ENUM},
        {"CallLists -1", 2, Words({0xFFFFFFFFu, 0x1402}), GL_INVALID_VALUE},
        {"Map1f order 0", 144, Words({0x0D97, glx::F(0), glx::F(1), 0}), GL_INVALID_VALUE},
        {"PixelMapfv 33", 168, Words({0x0C72, 33}), GL_INVALID_VALUE},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.what);
        gc_.error = 0;
        EXPECT_NE(Run(__glXRenderTable, RenderRequest(c.opcode, static_cast<std::uint32_t>(c.fixed.size()), c.fixed)),
                  GLX_BAD_LENGTH);
        EXPECT_EQ(gc_.error, c.glError);
    }
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
