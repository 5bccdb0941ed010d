// The request description (include/glrequests.def) against the tests' own
// GLX encoder, written from the published protocol: every render request
// the encoder knows has the same opcode, name, fixed size and variable part
// in the description, and the description has no render request the
// encoder lacks (beside the server's own list and packet records); every
// single request the tests send has its opcode. The tables built from the
// description send each request where its row says.
#include <cstring>
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
    for (unsigned op : {0u, 140u, 192u, 1023u, 1027u, 1040u, 4116u}) EXPECT_EQ(__glXRenderFixedBody(op), ~0u) << op;
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
                                     (r.outside == GLXOutside::PRIVATE && r.opcode != X_GLrop_PrimitiveZYD &&
                                      r.opcode != X_GLrop_DrawPixelsPieceZYD);
        EXPECT_EQ(__glXRenderTable[r.opcode] == __glXDisp_BadRender, bRefusedOutside);
        if (r.beginEnd == GLXBeginEnd::CALL) EXPECT_EQ(__glXRenderBeginEndTable[r.opcode], __glXRenderTable[r.opcode]);
        if (r.outside == GLXOutside::IGNORE) EXPECT_EQ(__glXRenderTable[r.opcode], __glXDisp_Ignore);
        const bool bListOwn = r.list == GLXInList::BEGIN || r.list == GLXInList::END;
        EXPECT_EQ(__glXRenderListTable[r.opcode] != __glXListStore, bListOwn);
    }
    for (const GLXRequestRow& r : kGLXSingleRows) EXPECT_NE(__glXSingleTable[r.opcode], __glXDisp_UnknownSingle) << r.name;
}

// The variable parts the description's rules call for, against the sizes
// the tests' encoder gives from the published protocol: the values of each
// parameter request's parameters, the names of CallLists, the control
// points of the maps and the values of the pixel maps.
TEST_F(RequestTablesTest, VariablePartsMatchThePublishedEncoding) {
    auto body = [](std::uint16_t opcode, const glx::Bytes& fixed) {
        return RenderRequest(opcode, static_cast<std::uint32_t>(fixed.size()), fixed);
    };
    auto variable = [&](std::uint16_t opcode, const glx::Bytes& fixed) {
        return __glXRenderVariableBody(pgc_, opcode, body(opcode, fixed).data());
    };
    // Every parameter of the parameter requests, and two that none takes.
    const std::uint32_t pnames[] = {0x0B51, 0x0B52, 0x0B53, 0x0B61, 0x0B62, 0x0B63, 0x0B64, 0x0B65, 0x0B66,
                                    0x1004, 0x1200, 0x1201, 0x1202, 0x1203, 0x1204, 0x1205, 0x1206, 0x1207,
                                    0x1208, 0x1209, 0x1600, 0x1601, 0x1602, 0x1603, 0x2200, 0x2201, 0x2500,
                                    0x2501, 0x2502, 0x2800, 0x2801, 0x2802, 0x2803, 0x0000, 0x1234};
    unsigned cParamRequests = 0;
    for (const auto& l : glx::kRenderLayouts) {
        if (GLXRenderRowOf(l.opcode)->variable != GLXVariable::PNAME) continue;
        ++cParamRequests;
        const std::string name(l.name + std::strlen("X_GLrop_"));
        const std::string request = name.substr(0, name.size() - 2);  // without fv, iv or dv
        const std::uint32_t cjValue = name.back() == 'v' && name[name.size() - 2] == 'd' ? 8 : 4;
        const std::uint32_t cWords = glx::BodyBytes(l.args) / 4;
        for (std::uint32_t pname : pnames) {
            SCOPED_TRACE(testing::Message() << name << " " << std::hex << pname);
            glx::Bytes fixed(4 * cWords, 0);
            std::memcpy(fixed.data() + 4 * (cWords - 1), &pname, 4);
            const std::uint64_t cj = variable(l.opcode, fixed);
            // Each request its own names: a texture name of another of the
            // texture requests carries no values.
            EXPECT_EQ(cj, std::uint64_t{glx::ParamValues(request, pname)} * cjValue);
        }
    }
    EXPECT_EQ(cParamRequests, 15u);

    // CallLists {n, type}: n names of the type.
    for (std::uint32_t type = 0x1400; type <= 0x140A; ++type)
        for (std::uint32_t n : {0u, 1u, 7u}) {
            SCOPED_TRACE(testing::Message() << std::hex << type << " " << n);
            EXPECT_EQ(variable(X_GLrop_CallLists, glx::Words({n, type})), std::uint64_t{n} * glx::ListNameBytes(type));
        }

    // The maps: components x uorder x vorder points of floats or doubles,
    // with the fields where the published encoding puts them.
    auto dbl = [](double d) {
        std::uint32_t w[2];
        std::memcpy(w, &d, 8);
        return std::pair{w[0], w[1]};
    };
    const auto [z0, z1] = dbl(0.0);
    const auto [o0, o1] = dbl(1.0);
    for (std::uint32_t i = 0; i < 9; ++i) {
        const std::uint32_t t1 = 0x0D90 + i, t2 = 0x0DB0 + i;
        SCOPED_TRACE(i);
        EXPECT_EQ(variable(X_GLrop_Map1d, glx::Words({z0, z1, o0, o1, t1, 3})), 8u * glx::MapComponents(t1) * 3);
        EXPECT_EQ(variable(X_GLrop_Map1f, glx::Words({t1, glx::F(0), glx::F(1), 3})), 4u * glx::MapComponents(t1) * 3);
        EXPECT_EQ(variable(X_GLrop_Map2d, glx::Words({z0, z1, o0, o1, z0, z1, o0, o1, t2, 3, 2})),
                  8u * glx::MapComponents(t2) * 3 * 2);
        EXPECT_EQ(variable(X_GLrop_Map2f, glx::Words({t2, glx::F(0), glx::F(1), 3, glx::F(0), glx::F(1), 2})),
                  4u * glx::MapComponents(t2) * 3 * 2);
    }

    // The pixel maps {map, mapsize}: mapsize values of 4, 4 and 2 bytes.
    EXPECT_EQ(variable(X_GLrop_PixelMapfv, glx::Words({0x0C72, 8})), 32u);
    EXPECT_EQ(variable(X_GLrop_PixelMapuiv, glx::Words({0x0C72, 8})), 32u);
    EXPECT_EQ(variable(X_GLrop_PixelMapusv, glx::Words({0x0C72, 8})), 16u);
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
