// The request description (include/glrequests.def) against the tests' own
// GLX encoder, written from the published protocol: every render request
// the encoder knows has the same opcode, name, fixed size and variable part
// in the description, and the description has no render request the
// encoder lacks (beside the server's own list and packet records); every
// single request the tests send has its opcode. The tables built from the
// description send each request where its row says.
#include <set>
#include <string>

#include "list/list.h"
#include "request_fixture.h"

namespace {

using namespace glsrv_double;
using glx::RenderRequest;

TEST(RequestDescription, MatchesThePublishedEncoding) {
    std::set<unsigned> encoded;
    for (const auto& l : glx::kRenderLayouts) {
        SCOPED_TRACE(l.name);
        encoded.insert(l.opcode);
        const GLXRenderRow* pRow = GLXRenderRowOf(l.opcode);
        ASSERT_NE(pRow, nullptr);
        EXPECT_EQ(std::string(pRow->name), l.name);
        EXPECT_EQ(pRow->cjFixed, glx::BodyBytes(l.args));
        EXPECT_EQ(__glXRenderFixedBody(l.opcode), glx::BodyBytes(l.args));
        EXPECT_EQ(pRow->variable != GLXVariable::NONE, l.variable);
    }
    for (const GLXRenderRow& r : kGLXRenderRows) {
        SCOPED_TRACE(r.name);
        const bool bOwnRecord = r.opcode == X_GLrop_PacketAddrZYD || r.opcode == X_GLrop_DispatchPacketsZYD;
        EXPECT_EQ(encoded.count(r.opcode) == 1, !bOwnRecord);
    }
    for (const auto& s : glx::kSingle) {
        SCOPED_TRACE(s.name);
        bool bFound = false;
        for (const GLXRequestRow& r : kGLXSingleRows)
            if (std::string(r.name) == std::string("X_GLsop_") + s.name) bFound = r.opcode == s.opcode;
        EXPECT_TRUE(bFound);
    }
    // Opcodes without a request have no size.
    for (unsigned op : {0u, 140u, 192u, 1023u, 1026u, 1040u, 4116u}) EXPECT_EQ(__glXRenderFixedBody(op), ~0u) << op;
}

class RequestTablesTest : public RequestTest {};

// Each row's behaviour between Begin and End and while a list is compiled:
// refused requests answer GL_INVALID_OPERATION there, the others reach a
// handler that is not the refusal.
TEST_F(RequestTablesTest, RowsChooseTheHandlers) {
    for (const GLXRenderRow& r : kGLXRenderRows) {
        SCOPED_TRACE(r.name);
        const bool bRefusedInside = r.beginEnd == GLXBeginEnd::REFUSED;
        EXPECT_EQ(__glXRenderBeginEndTable[r.opcode] == __glXDisp_BadRender, bRefusedInside);
        const bool bRefusedOutside = r.outside == GLXOutside::REFUSED ||
                                     (r.outside == GLXOutside::PRIVATE && r.opcode != X_GLrop_PrimitiveZYD);
        EXPECT_EQ(__glXRenderTable[r.opcode] == __glXDisp_BadRender, bRefusedOutside);
        if (r.beginEnd == GLXBeginEnd::CALL) EXPECT_EQ(__glXRenderBeginEndTable[r.opcode], __glXRenderTable[r.opcode]);
        if (r.outside == GLXOutside::IGNORE) EXPECT_EQ(__glXRenderTable[r.opcode], __glXDisp_Ignore);
        const bool bListOwn = r.list == GLXInList::BEGIN || r.list == GLXInList::END;
        EXPECT_EQ(__glXRenderListTable[r.opcode] != __glXListStore, bListOwn);
    }
    for (const GLXRequestRow& r : kGLXSingleRows) EXPECT_NE(__glXSingleTable[r.opcode], __glXDisp_UnknownSingle) << r.name;
}

// The one length check: a request one byte short of its fixed arguments
// reaches no handler in any table, and a request of no known opcode is
// checked for its header only.
TEST_F(RequestTablesTest, LengthCheckedBeforeAnyHandler) {
    __glXDebugFlag = 1;
    for (const __GLXdispatchFn* pTable : {__glXRenderTable, __glXRenderBeginEndTable, __glXRenderListTable}) {
        for (const GLXRenderRow& r : kGLXRenderRows) {
            if (r.cjFixed == 0) continue;
            SCOPED_TRACE(r.name);
            vnx::debug::clear();
            gRecord.calls.clear();
            EXPECT_EQ(Run(pTable, RenderRequest(r.opcode, r.cjFixed - 1)), GLX_BAD_LENGTH);
            EXPECT_EQ(vnx::debug::take(), std::string("GL error: ") + r.name + " : GLX_BAD_LENGTH\n");
            EXPECT_TRUE(gRecord.calls.empty());
        }
    }
    gc_.error = 0;
    EXPECT_EQ(Run(__glXRenderTable, RenderRequest(140, 0)), GLX_BAD_ACCESS);
    EXPECT_EQ(gc_.error, GL_INVALID_OPERATION);
}

}  // namespace
