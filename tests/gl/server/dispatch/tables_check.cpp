// The five handler tables: every opcode range reaches its handler or the
// table's default with the right X code and GL error; the End handler and
// the vertex-packet forwarder; first-error-wins GL errors; the X code of
// each GL error; the request names; __glXBitMask.
#include <string>
#include <thread>

#include "request_fixture.h"

namespace {

using namespace glsrv_double;
using glx::RenderRequest;
using glx::Words;

enum class Table { Immediate, BeginEnd, List };

const __GLXdispatchFn* Pick(Table t) {
    switch (t) {
        case Table::Immediate: return __glXRenderTable;
        case Table::BeginEnd: return __glXRenderBeginEndTable;
        default: return __glXRenderListTable;
    }
}

struct LookupCase {
    Table table;
    std::uint16_t opcode;
    std::uint32_t cjBody;
    ULONG xError;
    ULONG glError;
    std::string text;  // what the debugger sees
};

class TablesTest : public RequestTest {};

// One row per opcode range of each render table.
TEST_F(TablesTest, RenderOpcodesReachTheirHandlerOrTheDefault) {
    const LookupCase cases[] = {
        // Outside Begin/End: vertices and evaluator points are ignored.
        {Table::Immediate, 65, 16, 0, 0, ""},
        {Table::Immediate, 70, 12, 0, 0, ""},
        {Table::Immediate, 76, 8, 0, 0, ""},
        {Table::Immediate, 151, 8, 0, 0, ""},
        {Table::Immediate, 154, 8, 0, 0, ""},
        {Table::Immediate, 156, 4, 0, 0, ""},
        {Table::Immediate, 158, 8, 0, 0, ""},
        // Display lists, Begin, the ring's batches, evaluator meshes, the
        // name stack and the accumulation operation have theirs.
        {Table::Immediate, 137, 8, 2, GL_INVALID_ENUM, ""},  // Accum of operation 0: its own error
        {Table::Immediate, 1, 4, 0, 0, ""},  // CallList of a list that is not there
        {Table::Immediate, 4, 4, 0, 0, ""},
        {Table::Immediate, 121, 0, 0, 0, ""},
        {Table::Immediate, 1025, 16, 0, 0, ""},
        {Table::Immediate, 155, 12, 2, GL_INVALID_ENUM, ""},  // EvalMesh1 of mode 0: its own error
        // No handler: invalid operation.
        {Table::Immediate, 0, 0, 10, GL_INVALID_OPERATION, ""},
        {Table::Immediate, 140, 0, 10, GL_INVALID_OPERATION, ""},
        {Table::Immediate, 192, 0, 10, GL_INVALID_OPERATION, ""},
        {Table::Immediate, 1039, 16, 10, GL_INVALID_OPERATION, ""},
        {Table::Immediate, 4116, 0, 10, GL_INVALID_OPERATION, ""},
        // Inside Begin/End: what GL forbids there is an invalid operation.
        {Table::BeginEnd, 4, 4, 10, GL_INVALID_OPERATION, ""},
        {Table::BeginEnd, 33, 16, 10, GL_INVALID_OPERATION, ""},
        {Table::BeginEnd, 34, 8, 10, GL_INVALID_OPERATION, ""},
        {Table::BeginEnd, 48, 8, 10, GL_INVALID_OPERATION, ""},
        {Table::BeginEnd, 191, 16, 10, GL_INVALID_OPERATION, ""},
        {Table::BeginEnd, 1025, 16, 10, GL_INVALID_OPERATION, ""},
        {Table::BeginEnd, 4116, 0, 10, GL_INVALID_OPERATION, ""},
        // ... materials, scalar forms too, go into the primitive as GL allows;
        // list calls run as outside, evaluator points evaluate.
        {Table::BeginEnd, 96, 12, 0, 0, ""},
        {Table::BeginEnd, 98, 12, 0, 0, ""},
        {Table::BeginEnd, 1, 4, 0, 0, ""},
        {Table::BeginEnd, 2, 8, 2, GL_INVALID_ENUM, ""},  // CallLists of type 0
        {Table::BeginEnd, 151, 8, 0, 0, ""},
        {Table::BeginEnd, 158, 8, 0, 0, ""},
        // The list-compile table stores while a list is compiled; with no
        // list open it keeps nothing (list_check.cpp compiles).
        {Table::List, 4, 4, 0, 0, ""},
        {Table::List, 23, 0, 0, 0, ""},
        {Table::List, 70, 12, 0, 0, ""},
        {Table::List, 4116, 0, 0, 0, ""},
    };
    for (const LookupCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "table " << static_cast<int>(c.table) << " opcode " << c.opcode);
        gc_.error = 0;
        vnx::debug::clear();
        EXPECT_EQ(Run(Pick(c.table), RenderRequest(c.opcode, c.cjBody)), c.xError);
        EXPECT_EQ(gc_.error, c.glError);
        EXPECT_EQ(vnx::debug::take(), c.text);
    }
}

TEST_F(TablesTest, SingleOpcodes) {
    const struct {
        std::uint8_t opcode;
        std::vector<ULONG> params;
        ULONG xError;
        ULONG glError;
        std::string text;
    } cases[] = {
        {0, {}, 10, GL_INVALID_OPERATION, ""},
        {100, {}, 10, GL_INVALID_OPERATION, ""},
        // Display lists, pixel store and the pixel-map getters have theirs.
        {104, {1}, 0, 0, ""},                      // GenLists
        {101, {1, 0x1300}, 0, 0, ""},              // NewList, COMPILE
        {102, {}, 0, 0, ""},                       // EndList
        {141, {1}, 0, 0, ""},                      // IsList
        {103, {1, 1}, 0, 0, ""},                   // DeleteLists
        {109, {0x0CF5, glx::F(4.0f)}, 0, 0, ""},   // PixelStoref UNPACK_ALIGNMENT
        {125, {0x0C70}, 0, 0, ""},                 // GetPixelMapfv PIXEL_MAP_I_TO_I
        {143, {}, 10, GL_INVALID_OPERATION, ""},
        {255, {}, 10, GL_INVALID_OPERATION, ""},
    };
    // Pixel store keeps its modes in the context's GL state.
    ASSERT_EQ(__glXCreateGLState(&gc_, TRUE), 0u);
    GLDrawable draw{};
    gc_.pdraw = &draw;  // single requests run only on a context with a drawable
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.opcode));
        gc_.error = 0;
        vnx::debug::clear();
        std::vector<std::uint8_t> request = {1, c.opcode, static_cast<std::uint8_t>(2 + c.params.size()), 0, 0, 0, 0, 0};
        for (ULONG w : c.params) {
            request.resize(request.size() + 4);
            std::memcpy(request.data() + request.size() - 4, &w, 4);
        }
        EXPECT_EQ(__glXSingleTable[c.opcode](pgc_, request.data()), c.xError);
        EXPECT_EQ(gc_.error, c.glError);
        EXPECT_EQ(vnx::debug::take(), c.text);
    }
    __glXFreeContextLists(&gc_);
    __glXFreeGLState(gc_.pState, gc_.pState->flPresent);
    gc_.pState = nullptr;
    gc_.pdraw = nullptr;
    EXPECT_EQ(__glXSingleTable[271], __glXDisp_UnknownSingle);
}

// Unknown vertex packets answer 17 and record no GL error; the packets of
// the per-vertex handlers have slots of their own.
TEST_F(TablesTest, VertexPacketTable) {
    for (ULONG opcode : {0u, 5u, 23u, 33u, 48u, 77u, 95u, 100u, 191u, 4116u}) {
        SCOPED_TRACE(opcode);
        EXPECT_EQ(__glXVertexTable[opcode], __glXVtx_Invalid);
    }
    gc_.error = 0;
    EXPECT_EQ(__glXVertexTable[5](nullptr, nullptr), 17u);
    EXPECT_EQ(gc_.error, 0u);
    EXPECT_EQ(vnx::debug::take(), "invalid packet cmd");
    for (ULONG opcode : {6u, 21u, 22u, 24u, 32u, 49u, 64u, 65u, 76u, 96u, 99u}) {
        SCOPED_TRACE(opcode);
        EXPECT_NE(__glXVertexTable[opcode], __glXVtx_Invalid);
    }
}

// The per-vertex requests between Begin and End go to the context's
// vertex-packet table with the primitive buffer and the arguments; a GL
// error it answers is recorded under the request's name and mapped to X.
std::vector<const void*> gVertexArgs;
ULONG gVertexAnswer = 0;
ULONG RecordVertex(__GLXprimBuffer*, const void* pvArgs) {
    gVertexArgs.push_back(pvArgs);
    return gVertexAnswer;
}

TEST_F(TablesTest, ForwarderMapsGLErrors) {
    std::vector<__GLXvertexFn> table(GLX_RENDER_ENTRIES, RecordVertex);
    gc_.pVertexTable = table.data();
    const struct {
        ULONG glError;
        ULONG xError;
    } cases[] = {{0, 0},          {0x500, 2},  {0x501, 2},  {0x502, 10},
                 {0x503, 10},     {0x504, 10}, {0x505, 11}, {0x506, 8}};
    __glXDebugFlag = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.glError);
        gc_.error = 0;
        gVertexArgs.clear();
        gVertexAnswer = c.glError;
        vnx::debug::clear();
        const auto request = RenderRequest(70, 12);
        EXPECT_EQ(Run(__glXRenderBeginEndTable, request), c.xError);
        ASSERT_EQ(gVertexArgs.size(), 1u);
        EXPECT_EQ(gVertexArgs[0], request.data() + 4);
        EXPECT_EQ(gc_.error, c.glError);
        EXPECT_EQ(vnx::debug::take(),
                  c.glError == 0 ? "" : "GL error: X_GLrop_Vertex3fv : errorid\n");
        EXPECT_EQ(__glXErrorToX(c.glError), c.xError);
    }
}

// End closes the primitive, sends the buffer when the close asks for it,
// and goes back to the table of the context's mode.
TEST_F(TablesTest, EndReturnsToTheModesTable) {
    for (const bool bCompiling : {false, true}) {
        for (const ULONG ulClose : {0u, GL_OUT_OF_MEMORY}) {
            SCOPED_TRACE(testing::Message() << bCompiling << " " << ulClose);
            gRecord.calls.clear();
            gAnswers.ul = ulClose;
            gc_.bCompiling = bCompiling;
            gc_.bInBegin = 1;
            gc_.pRenderTable = __glXRenderBeginEndTable;
            EXPECT_EQ(Run(__glXRenderBeginEndTable, RenderRequest(23, 0)), 0u);
            EXPECT_EQ(gc_.pRenderTable, bCompiling ? __glXRenderListTable : __glXRenderTable);
            EXPECT_EQ(gc_.bInBegin, 0u);
            ASSERT_GE(gRecord.calls.size(), 1u);
            EXPECT_EQ(gRecord.calls[0].name, "__glClosePrimitive");
            EXPECT_EQ(gRecord.calls.size(), ulClose != 0 ? 2u : 1u);
        }
    }
}

// The first GL error stays until it is read; a handler's error without a
// current context records nothing and still answers its X code.
TEST_F(TablesTest, FirstErrorSticksUntilRead) {
    EXPECT_EQ(__glXSetError(pgc_, "X_GLrop_Fogf", GL_INVALID_ENUM), 0u);
    EXPECT_EQ(__glXSetError(pgc_, "X_GLrop_Fogf", GL_INVALID_VALUE), 0u);
    EXPECT_EQ(Run(__glXRenderBeginEndTable, RenderRequest(191, 16)), 10u);
    EXPECT_EQ(gc_.error, GL_INVALID_ENUM);
    gc_.error = GL_NO_ERROR;  // read
    EXPECT_EQ(Run(__glXRenderBeginEndTable, RenderRequest(191, 16)), 10u);
    EXPECT_EQ(gc_.error, GL_INVALID_OPERATION);
    EXPECT_EQ(vnx::debug::take(), "") << "silent while the trace flag is clear";

    gc_.error = 0;
    pgc_->gc = nullptr;
    EXPECT_EQ(Run(__glXRenderBeginEndTable, RenderRequest(191, 16)), 10u);
    EXPECT_EQ(__glXSingleTable[0](pgc_, Words({0}).data()), 10u);
    pgc_->gc = &gc_;
    EXPECT_EQ(gc_.error, 0u);
}

TEST_F(TablesTest, TraceNamesTheRequest) {
    __glXDebugFlag = 1;
    Run(__glXRenderBeginEndTable, RenderRequest(191, 16));
    __glXSingleTable[200](pgc_, Words({0, 0}).data());
    EXPECT_EQ(vnx::debug::take(),
              "GL error: X_GLrop_Viewport : errorid\nGL error: Unknown Request : errorid\n");
}

TEST(BitMask, LowBits) {
    const struct {
        LONG n;
        ULONG mask;
    } cases[] = {{-5, 0}, {0, 0}, {1, 1}, {5, 0x1F}, {8, 0xFF}, {24, 0xFFFFFF},
                 {31, 0x7FFFFFFF}, {32, 0xFFFFFFFF}, {40, 0xFFFFFFFF}};
    for (const auto& c : cases) EXPECT_EQ(__glXBitMask(c.n), c.mask) << c.n;
}

// Names are right on the very first lookup, from several threads at once,
// although the tables are written unsorted.
TEST(RequestNames, LookedUpBeforeStartUp) {
    std::vector<std::thread> threads;
    std::vector<std::string> first(4);
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&first, i] { first[i] = __glXRenderRequestName(191); });
    }
    for (auto& t : threads) t.join();
    for (const auto& s : first) EXPECT_EQ(s, "X_GLrop_Viewport");

    const struct {
        ULONG key;
        const char* render;
        const char* single;
    } cases[] = {
        {1, "X_GLrop_CallList", "X_GLXRender"},
        {17, "X_GLrop_Color4iv", "X_GLXVendorPrivateWithReply"},
        {101, "X_GLrop_PolygonMode", "X_GLsop_NewList"},
        {108, "X_GLrop_TexParameteriv", "X_GLsop_Finish"},
        {109, "X_GLrop_TexImage1D", "X_GLsop_PixelStoref"},
        {140, "Key Unknown 140", "X_GLsop_IsEnabled"},
        {142, "X_GLrop_PushAttrib", "X_GLsop_Flush"},
        {191, "X_GLrop_Viewport", "Key Unknown 191"},
        {256, "Key Unknown 256", "X_GLXCreateSMSegmentZYD"},
        {262, "Key Unknown 262", "X_GLXFreePrimSegmentZYD"},
        {1024, "X_GLrop_PacketAddrZYD", "Key Unknown 1024"},
        {1025, "X_GLrop_PrimitiveZYD", "Key Unknown 1025"},
        {1039, "X_GLrop_DispatchPacketsZYD", "Key Unknown 1039"},
        {0, "Key Unknown 0", "Key Unknown 0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(std::string(__glXRenderRequestName(c.key)), c.render);
        EXPECT_EQ(std::string(__glXSingleRequestName(c.key)), c.single);
    }
    // Every render request of the protocol has its own name.
    for (const auto& l : glx::kRenderLayouts) {
        EXPECT_EQ(std::string(__glXRenderRequestName(l.opcode)), l.name);
    }
}

// The debug print cuts long text inside its 100-byte buffer.
TEST(DebugPrint, Bounded) {
    vnx::debug::clear();
    const std::string s(300, 'x');
    __glXDebugPrint("%s", s.c_str());
    EXPECT_EQ(vnx::debug::take(), std::string(99, 'x'));
}

}  // namespace
