// Display lists through the tables the server runs requests through: list
// names (ranges, GenLists, IsList, DeleteLists), compiling with and without
// execution (compile and execute does what immediate execution does),
// nested calls to the depth limit, CallLists with every type of name, lists
// shared by two contexts and deleted by one, large requests, compiled
// images, and the primitive batches a list keeps, pinned through the
// miniport and released with their list only.
#include <algorithm>
#include <bit>
#include <cstring>

#include "list/list.h"
#include "mapped_segment.h"
#include "platform/faults.h"
#include "platform/miniport.h"
#include "request_fixture.h"
#include "glpdev.h"
#include "glhookslots.h"
#include "state/glstate.h"
#include "state/queries.h"

namespace glsrv_double {
namespace {

using glx::RenderRequest;
using glx::Words;

ULONG Fw(float f) { return std::bit_cast<ULONG>(f); }
constexpr ULONG kCompile = 0x1300, kCompileAndExecute = 0x1301;

std::vector<std::uint8_t> Single(std::uint8_t op, std::initializer_list<ULONG> params) {
    std::vector<std::uint8_t> v = {0x80, op, static_cast<std::uint8_t>(2 + params.size()), 0, 0, 0, 0, 0};
    const auto w = Words(params);
    v.insert(v.end(), w.begin(), w.end());
    return v;
}
std::vector<std::uint8_t> Render(std::uint16_t op, const std::vector<std::uint8_t>& body) {
    return RenderRequest(op, static_cast<std::uint32_t>((body.size() + 3) & ~3u), body);
}
std::vector<std::uint8_t> LineWidth(float f) { return Render(95, Words({Fw(f)})); }
std::vector<std::uint8_t> CallList(ULONG name) { return Render(1, Words({name})); }

class ListTest : public RequestTest {
  protected:
    void SetUp() override {
        RequestTest::SetUp();
        ASSERT_EQ(__glXCreateGLState(&gc_, TRUE), 0u);
        vis_.bRGBA = 1;
        gc_.pvis = &vis_;
        gc_.pdraw = &draw_;  // single requests run only on a context with a drawable
        gc_.renderMode = GL_RENDER;
        header_ = MapRequestSegment(pgc_);
        gRecord.calls.clear();
    }
    void TearDown() override {
        pgc_->gc = &gc_;
        __glXFreeContextLists(&gc_);
        vnx::faults::clear();
        RequestTest::TearDown();
    }
    // A single request; its reply's +8 word (when it wrote one) in *pRetval.
    ULONG Sgl(std::uint8_t op, std::initializer_list<ULONG> params, ULONG* pRetval = nullptr) {
        std::memset(header_->reply, 0, sizeof header_->reply);
        const auto req = Single(op, params);
        const ULONG x = __glXSingleTable[op](pgc_, req.data());
        if (pRetval != nullptr) std::memcpy(pRetval, header_->reply + 8, 4);
        return x;
    }
    // A render request through the context's current table.
    ULONG Send(const std::vector<std::uint8_t>& req) { return Run(pgc_->gc->pRenderTable, req); }
    // The line widths the lgi layer received, in order (the marker of the tests).
    std::vector<float> Widths() const {
        std::vector<float> v;
        for (const Call& c : gRecord.calls)
            if (c.name == "N_SetStateBlockAttr" && c.args[0] == N_ATTR_LINE_WIDTH) v.push_back(std::bit_cast<float>(c.words[0]));
        return v;
    }
    // Every call's name and arguments that reach the lgi layer, for
    // comparing two runs (addresses of values left out).
    std::vector<std::pair<std::string, std::vector<ULONG>>> LgiCalls() const {
        std::vector<std::pair<std::string, std::vector<ULONG>>> v;
        for (const Call& c : gRecord.calls) {
            if (c.name == "N_SetStateBlockAttr") v.push_back({c.name + std::to_string(c.args[0]), c.words});
            else if (c.name == "N_SetStateBlockAttrWord") v.push_back({c.name, {static_cast<ULONG>(c.args[0]), static_cast<ULONG>(c.args[1])}});
            else if (c.name.rfind("N_", 0) == 0) v.push_back({c.name, {}});
        }
        return v;
    }
    void Compile(ULONG name, ULONG mode, std::initializer_list<std::vector<std::uint8_t>> requests) {
        ASSERT_EQ(Sgl(101, {name, mode}), 0u);
        for (const auto& r : requests) Send(r);
        ASSERT_EQ(Sgl(102, {}), 0u);
    }

    GLVisual vis_{};
    SMSegmentHeader* header_ = nullptr;
};

TEST_F(ListTest, Names) {
    ULONG r = 0;
    ASSERT_EQ(Sgl(104, {3}, &r), 0u);
    EXPECT_EQ(r, 1u);
    ASSERT_EQ(Sgl(104, {2}, &r), 0u);
    EXPECT_EQ(r, 4u);
    ASSERT_EQ(Sgl(104, {0}, &r), 0u);
    EXPECT_EQ(r, 6u) << "GenLists(0) reserves a name";
    ASSERT_EQ(Sgl(104, {0xFFFFFFFF}, &r), 0u);
    EXPECT_EQ(r, 0u) << "a negative count answers 0";
    for (ULONG n : {1u, 5u, 6u}) {
        ASSERT_EQ(Sgl(141, {n}, &r), 0u);
        EXPECT_EQ(r, 1u) << n << " reserved, no list yet";
    }
    for (ULONG n : {0u, 7u}) {
        ASSERT_EQ(Sgl(141, {n}, &r), 0u);
        EXPECT_EQ(r, 0u) << n;
    }
    // Deleting splits, trims and removes ranges.
    ASSERT_EQ(Sgl(103, {2, 1}), 0u);
    const __GLXnameRange* pr = gc_.pListTable->pRanges;
    ASSERT_NE(pr, nullptr);
    EXPECT_EQ(pr->first, 1u);
    EXPECT_EQ(pr->last, 1u);
    ASSERT_NE(pr->pNext, nullptr);
    EXPECT_EQ(pr->pNext->first, 3u);
    EXPECT_EQ(pr->pNext->last, 6u);
    EXPECT_EQ(pr->pNext->pNext, nullptr);
    ASSERT_EQ(Sgl(104, {1}, &r), 0u);
    EXPECT_EQ(r, 2u) << "the gap is found and the ranges joined";
    EXPECT_EQ(gc_.pListTable->pRanges->last, 6u);
    EXPECT_EQ(gc_.pListTable->pRanges->pNext, nullptr);
    ASSERT_EQ(Sgl(103, {5, 0xFFFFFFFF}), 0u);
    ASSERT_EQ(Sgl(141, {5}, &r), 0u);
    EXPECT_EQ(r, 1u) << "a count below 1 deletes nothing";
    ASSERT_EQ(Sgl(103, {0xFFFFFFF0, 0x7FFFFFFF}), 0u);  // far past every name: nothing, no wrap
    ASSERT_EQ(Sgl(103, {4, 0x7FFFFFFF}), 0u);
    ASSERT_EQ(Sgl(141, {3}, &r), 0u);
    EXPECT_EQ(r, 1u);
    ASSERT_EQ(Sgl(141, {4}, &r), 0u);
    EXPECT_EQ(r, 0u);
    // NewList marks its name; a name next to two ranges joins them.
    ASSERT_EQ(Sgl(101, {5, kCompile}), 0u);
    ASSERT_EQ(Sgl(102, {}), 0u);
    ASSERT_EQ(Sgl(101, {4, kCompile}), 0u);
    ASSERT_EQ(Sgl(102, {}), 0u);
    EXPECT_EQ(gc_.pListTable->pRanges->last, 5u);
    EXPECT_EQ(gc_.pListTable->pRanges->pNext, nullptr);
}

TEST_F(ListTest, NewListAndEndListErrors) {
    EXPECT_EQ(Sgl(102, {}), 10u);
    EXPECT_EQ(gc_.error, GL_INVALID_OPERATION);
    gc_.error = 0;
    EXPECT_EQ(Sgl(101, {0, kCompile}), 2u);
    EXPECT_EQ(gc_.error, GL_INVALID_VALUE);
    gc_.error = 0;
    EXPECT_EQ(Sgl(101, {1, 0x1302}), 2u);
    EXPECT_EQ(gc_.error, GL_INVALID_ENUM);
    gc_.error = 0;
    ASSERT_EQ(Sgl(101, {1, kCompile}), 0u);
    EXPECT_EQ(Sgl(101, {2, kCompile}), 10u) << "while compiling";
    EXPECT_EQ(gc_.error, GL_INVALID_OPERATION);
    ULONG r = 0;
    const void* pv = nullptr;
    ULONG cj = 0;
    ASSERT_EQ(__glXGetState(pgc_, 0x0B30, GLX_TYPE_INT, &pv, &cj), GL_NO_ERROR);
    EXPECT_EQ(*static_cast<const ULONG*>(pv), kCompile) << "LIST_MODE";
    ASSERT_EQ(__glXGetState(pgc_, 0x0B33, GLX_TYPE_INT, &pv, &cj), GL_NO_ERROR);
    EXPECT_EQ(*static_cast<const ULONG*>(pv), 1u) << "LIST_INDEX";
    ASSERT_EQ(Sgl(102, {}), 0u);
    ASSERT_EQ(__glXGetState(pgc_, 0x0B30, GLX_TYPE_INT, &pv, &cj), GL_NO_ERROR);
    EXPECT_EQ(*static_cast<const ULONG*>(pv), 0u);
    ASSERT_EQ(Sgl(141, {1}, &r), 0u);
    EXPECT_EQ(r, 1u);
    gc_.bInBegin = 1;
    EXPECT_EQ(Sgl(101, {3, kCompile}), 10u) << "inside Begin/End";
    gc_.bInBegin = 0;
    // No memory for the head: nothing compiles.
    gc_.error = 0;
    vnx::faults::arm("LocalAlloc");
    EXPECT_EQ(Sgl(101, {3, kCompile}), 11u);
    vnx::faults::clear();
    EXPECT_EQ(gc_.error, GL_OUT_OF_MEMORY);
    EXPECT_EQ(gc_.pRenderTable, __glXRenderTable);
}

// Compile only: nothing reaches the lgi layer until the list is called;
// the call does what the requests did sent one by one, and so does compile
// and execute, at once and when called.
TEST_F(ListTest, CompiledRequestsRunAsImmediate) {
    const std::vector<std::vector<std::uint8_t>> requests = {
        LineWidth(2.0f), Render(104, Words({0x1D00})), Render(139, Words({0x0B71})),
        Render(130, Words({Fw(.25f), Fw(.5f), Fw(.75f), Fw(1)})), Render(79, Words({0x405})),
        Render(95, Words({Fw(-1.0f)})),  // an error, recorded when run
    };
    for (const auto& r : requests) Send(r);
    const auto immediate = LgiCalls();
    EXPECT_EQ(gc_.error, GL_INVALID_VALUE);
    ASSERT_FALSE(immediate.empty());

    gc_.error = 0;
    gRecord.calls.clear();
    ASSERT_EQ(Sgl(101, {7, kCompile}), 0u);
    for (const auto& r : requests) EXPECT_EQ(Send(r), 0u);
    ASSERT_EQ(Sgl(102, {}), 0u);
    EXPECT_TRUE(LgiCalls().empty()) << "compile only";
    EXPECT_EQ(gc_.error, 0u);
    EXPECT_EQ(Send(CallList(7)), 0u);
    EXPECT_EQ(LgiCalls(), immediate);
    EXPECT_EQ(gc_.error, GL_INVALID_VALUE);

    gc_.error = 0;
    gRecord.calls.clear();
    ASSERT_EQ(Sgl(101, {8, kCompileAndExecute}), 0u);
    for (const auto& r : requests) Send(r);
    EXPECT_EQ(gc_.pRenderTable, __glXRenderListTable);
    ASSERT_EQ(Sgl(102, {}), 0u);
    EXPECT_EQ(LgiCalls(), immediate) << "executed at once";
    EXPECT_EQ(gc_.error, GL_INVALID_VALUE);
    gRecord.calls.clear();
    Send(CallList(8));
    EXPECT_EQ(LgiCalls(), immediate) << "and kept";
    EXPECT_EQ(gc_.pRenderTable, __glXRenderTable);

    // A list called while another compiles with execution runs, and only
    // the call is kept.
    gRecord.calls.clear();
    Compile(9, kCompileAndExecute, {LineWidth(9.0f), CallList(8)});
    const auto run = Widths();
    gRecord.calls.clear();
    Send(CallList(9));
    EXPECT_EQ(Widths(), run);
    EXPECT_EQ(Widths(), (std::vector<float>{9.0f, 2.0f}));
}

// Compiling over a name replaces the list, and a list called from a list
// runs where the call stands.
TEST_F(ListTest, ReplacedAndNested) {
    Compile(1, kCompile, {LineWidth(1.0f)});
    Compile(2, kCompile, {LineWidth(2.0f), CallList(1), LineWidth(3.0f)});
    Compile(1, kCompile, {LineWidth(4.0f)});
    Send(CallList(2));
    EXPECT_EQ(Widths(), (std::vector<float>{2.0f, 4.0f, 3.0f}));
    Send(CallList(77));  // no such list: nothing
    EXPECT_EQ(gc_.error, 0u);
}

// Lists 1..65 each mark themselves and call the next: 64 run, the 65th call
// is refused with GL_INVALID_OPERATION, and the depth comes back to 0.
TEST_F(ListTest, NestingStopsAt64) {
    for (ULONG n = 1; n <= 65; ++n) Compile(n, kCompile, {LineWidth(static_cast<float>(n)), CallList(n + 1)});
    gRecord.calls.clear();
    EXPECT_EQ(Send(CallList(1)), 0u);
    EXPECT_EQ(Widths().size(), 64u);
    EXPECT_EQ(Widths().back(), 64.0f);
    EXPECT_EQ(gc_.error, GL_INVALID_OPERATION);
    EXPECT_EQ(gc_.callDepth, 0u);
    // A list that calls itself stops the same way.
    Compile(100, kCompile, {LineWidth(1.0f), CallList(100)});
    gRecord.calls.clear();
    gc_.error = 0;
    Send(CallList(100));
    EXPECT_EQ(Widths().size(), 64u);
    EXPECT_EQ(gc_.error, GL_INVALID_OPERATION);
}

// A list that calls itself twice would run 2^64 times within the depth, and
// the budget is the request's, not the outermost call's: many outer calls
// in one request (a half full of them) share GLX_LIST_MAX_WORK. Each run of
// list 101 is three units (the list, its LineWidth, its first CallList; the
// second CallList is a fourth on the way back up).
TEST_F(ListTest, ListWorkIsBoundedPerRequest) {
    for (ULONG n = 2; n <= 65; ++n) Compile(n, kCompile, {LineWidth(static_cast<float>(n)), CallList(n + 1)});
    Compile(101, kCompile, {LineWidth(1.0f), CallList(101), CallList(101)});
    __glXStartRequest(pgc_);
    gRecord.calls.clear();
    Send(CallList(101));
    const size_t cFirst = Widths().size();
    EXPECT_GT(cFirst, 1000u);
    EXPECT_LT(cFirst, GLX_LIST_MAX_WORK);
    EXPECT_EQ(gc_.error, GL_INVALID_OPERATION);
    EXPECT_EQ(gc_.callDepth, 0u);
    // Later outer calls of the same request run nothing.
    gRecord.calls.clear();
    gc_.error = 0;
    for (int i = 0; i < 4; ++i) Send(CallList(101));
    Send(CallList(2));
    EXPECT_EQ(Widths().size(), 0u);
    EXPECT_EQ(gc_.error, GL_INVALID_OPERATION);
    // The next request starts with the whole budget: lists 2 to 65.
    __glXStartRequest(pgc_);
    gRecord.calls.clear();
    gc_.error = 0;
    Send(CallList(2));
    EXPECT_EQ(Widths().size(), 64u);
}

struct TypeCase {
    ULONG type;
    std::vector<std::uint8_t> names;
    std::vector<float> widths;  // the lists that ran (list k sets width k)
};

TEST_F(ListTest, CallListsEveryType) {
    for (ULONG n : {9u, 10u, 11u, 12u, 13u, 266u, 65546u, 0x0102030Eu}) Compile(n, kCompile, {LineWidth(static_cast<float>(n))});
    ASSERT_EQ(Send(Render(3, Words({10}))), 0u);  // ListBase 10
    const float f27 = 2.7f, fNeg = -1.5f;
    std::vector<std::uint8_t> floats(8);
    std::memcpy(floats.data(), &f27, 4);
    std::memcpy(floats.data() + 4, &fNeg, 4);
    const float k4Bytes = static_cast<float>(0x0102030Eu);
    const TypeCase cases[] = {
        {0x1400, {0xFF, 0x01, 0x03}, {9, 11, 13}},            // BYTE: -1 is base - 1
        {0x1401, {0xFF, 0x02}, {12}},                          // UNSIGNED_BYTE: 265 is none
        {0x1402, {0xFF, 0xFF, 0x00, 0x01}, {9, 266}},          // SHORT: -1, 256
        {0x1403, {0xFF, 0xFF, 0x01, 0x00}, {11}},              // UNSIGNED_SHORT: 65545 is none
        {0x1404, {0xFE, 0xFF, 0xFF, 0xFF}, {}},                // INT: -2 gives 8, none
        {0x1405, {0x03, 0, 0, 0, 0, 0, 1, 0}, {13, 65546}},    // UNSIGNED_INT
        {0x1406, floats, {12}},                                // FLOAT: trunc(12.7); trunc(8.5) none
        {0x1407, {0x01, 0x00, 0x00, 0x03}, {266, 13}},         // 2_BYTES, big-endian
        {0x1408, {0x00, 0x00, 0x01}, {11}},                    // 3_BYTES
        {0x1409, {0x01, 0x02, 0x03, 0x04}, {k4Bytes}},         // 4_BYTES
    };
    for (const TypeCase& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.type);
        const ULONG cjName = c.type <= 0x1401 ? 1 : c.type <= 0x1403 || c.type == 0x1407 ? 2 : c.type == 0x1408 ? 3 : 4;
        std::vector<std::uint8_t> body = Words({static_cast<ULONG>(c.names.size() / cjName), c.type});
        body.insert(body.end(), c.names.begin(), c.names.end());
        gRecord.calls.clear();
        gc_.error = 0;
        EXPECT_EQ(Send(Render(2, body)), 0u);
        EXPECT_EQ(gc_.error, 0u);
        EXPECT_EQ(Widths(), c.widths);
    }
    // Errors: a type that is none, a negative count, names past the request.
    gc_.error = 0;
    EXPECT_EQ(Send(Render(2, Words({1, 0x140A, 0}))), 2u);
    EXPECT_EQ(gc_.error, GL_INVALID_ENUM);
    gc_.error = 0;
    EXPECT_EQ(Send(Render(2, Words({0xFFFFFFFF, 0x1400}))), 2u);
    EXPECT_EQ(gc_.error, GL_INVALID_VALUE);
    gc_.error = 0;
    gRecord.calls.clear();
    EXPECT_EQ(Send(Render(2, Words({3, 0x1404, 10, 11}))), GLX_BAD_LENGTH);
    EXPECT_EQ(Send(Render(2, Words({0x40000001, 0x1404, 10}))), GLX_BAD_LENGTH) << "n x 4 wraps";
    EXPECT_TRUE(Widths().empty());
    EXPECT_EQ(gc_.error, 0u);
}

// A TexImage2D sent while compiling with execution runs but is not stored.
TEST_F(ListTest, TexImage2DIsNotCompiled) {
    const auto body2D = Words({0, 0, 0, 0, 4, 0x0DE1, 0, 1, 1, 1, 0, 0x1909, 0x1401, 0});
    const auto body1D = Words({0, 0, 0, 0, 4, 0x0DE0, 0, 1, 1, 1, 0, 0x1909, 0x1401, 0});
    ASSERT_EQ(Sgl(101, {3, kCompileAndExecute}), 0u);
    EXPECT_EQ(Send(Render(110, body2D)), 0u);
    EXPECT_EQ(Send(Render(109, body1D)), 0u);
    ASSERT_EQ(Sgl(102, {}), 0u);
    const __GLXtexLevel* p1D = __glXFindLevel(&gc_, 0x0DE0, 0);
    EXPECT_NE(p1D, nullptr) << "the 1D image ran";
    const __GLXtexLevel* p2D = __glXFindLevel(&gc_, 0x0DE1, 0);
    EXPECT_NE(p2D, nullptr) << "the 2D image ran too";
    Send(CallList(3));
    EXPECT_NE(__glXFindLevel(&gc_, 0x0DE0, 0), p1D) << "the 1D image ran again";
    EXPECT_EQ(__glXFindLevel(&gc_, 0x0DE1, 0), p2D) << "and only it was kept";
}

// Two contexts share the table: a list one compiles the other calls; one
// deletes it and the other finds nothing; the table lives until the last
// context lets go.
TEST_F(ListTest, SharedTable) {
    GLContext other{};
    ASSERT_EQ(__glXCreateGLState(&other, TRUE), 0u);
    other.pRenderTable = __glXRenderTable;
    other.pVertexTable = __glXVertexTable;
    other.pvis = &vis_;
    other.pdraw = &draw_;
    gc_.pListTable = __glXNewListTable();
    other.pListTable = gc_.pListTable;
    ++gc_.pListTable->cRef;

    Compile(5, kCompile, {LineWidth(5.0f)});
    pgc_->gc = &other;
    gRecord.calls.clear();
    Run(__glXRenderTable, CallList(5));
    EXPECT_EQ(Widths(), std::vector<float>{5.0f});
    ASSERT_EQ(Sgl(103, {5, 1}), 0u);
    pgc_->gc = &gc_;
    gRecord.calls.clear();
    Send(CallList(5));
    EXPECT_TRUE(Widths().empty());
    ULONG r = 1;
    ASSERT_EQ(Sgl(141, {5}, &r), 0u);
    EXPECT_EQ(r, 0u);

    // The other context compiles and goes; its list stays for this one.
    pgc_->gc = &other;
    Compile(6, kCompile, {LineWidth(6.0f)});
    ASSERT_EQ(Sgl(101, {7, kCompile}), 0u);  // left compiling
    Run(__glXRenderListTable, LineWidth(7.0f));
    __glXFreeContextLists(&other);
    __glXFreeGLState(other.pState, other.pState->flPresent);
    pgc_->gc = &gc_;
    EXPECT_EQ(gc_.pListTable->cRef, 1u);
    gRecord.calls.clear();
    Send(CallList(6));
    Send(CallList(7));
    EXPECT_EQ(Widths(), std::vector<float>{6.0f});
}

// A large request kept in a list runs from its body as the large path
// runs it; a compiled image is drawn after the visual's checks.
TEST_F(ListTest, LargeChunksAndCompiledImages) {
    ASSERT_EQ(Sgl(101, {4, kCompile}), 0u);
    // A large CallLists of 3 INT names: {u32 length, u32 opcode, n, type, names}.
    const ULONG aw[] = {28, 2, 3, 0x1404, 1, 2, 1};
    auto* plc = static_cast<GLLargeCommand*>(LocalAlloc(LPTR, sizeof(GLLargeCommand)));
    auto* pj = static_cast<BYTE*>(LocalAlloc(LPTR, sizeof aw));
    std::memcpy(pj, aw, sizeof aw);
    *plc = GLLargeCommand{28, 28, 1, 0, 0, pj, 0};
    gc_.pLarge = plc;
    ASSERT_EQ(__glXAppendLargeChunk(pgc_), 0u);
    EXPECT_EQ(gc_.pLarge, nullptr);
    // A DrawPixels of 2 x 1 RGB bytes: kept as its compiled record.
    std::vector<std::uint8_t> draw = Words({0, 0, 0, 0, 1, 2, 1, 0x1907, 0x1401});
    draw.insert(draw.end(), {1, 2, 3, 4, 5, 6, 0, 0});
    EXPECT_EQ(Send(Render(173, draw)), 0u);
    EXPECT_EQ(Send(LineWidth(8.0f)), 0u);
    ASSERT_EQ(Sgl(102, {}), 0u);
    Compile(1, kCompile, {LineWidth(1.0f)});
    Compile(2, kCompile, {LineWidth(2.0f)});

    gRecord.calls.clear();
    Send(CallList(4));
    EXPECT_EQ(Widths(), (std::vector<float>{1.0f, 2.0f, 1.0f, 8.0f}));
    const auto drawn = Calls("N_DrawPixels");
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0]->args[0], 2u);
    EXPECT_EQ(drawn[0]->args[1], 1u);
    EXPECT_EQ(drawn[0]->args[2], 7u) << "lgi RGB";
    EXPECT_EQ(drawn[0]->args[3], 0u) << "lgi UNSIGNED_BYTE";
    EXPECT_EQ(std::memcmp(reinterpret_cast<const BYTE*>(drawn[0]->args[4]), "\x01\x02\x03\x04\x05\x06", 6), 0);

    // A colour image on a colour-index visual stops the list there.
    vis_.bRGBA = 0;
    gRecord.calls.clear();
    Send(CallList(4));
    EXPECT_EQ(Widths(), (std::vector<float>{1.0f, 2.0f, 1.0f}));
    EXPECT_TRUE(Calls("N_DrawPixels").empty());

    // A bad DrawPixels is refused when compiled and not kept.
    gc_.error = 0;
    ASSERT_EQ(Sgl(101, {5, kCompile}), 0u);
    std::vector<std::uint8_t> bad = Words({0, 0, 0, 0, 1, 2, 1, 0x1907, 0x1410});
    EXPECT_EQ(Send(Render(173, bad)), 2u);
    EXPECT_EQ(gc_.error, GL_INVALID_ENUM);
    ASSERT_EQ(Sgl(102, {}), 0u);
}

// No memory for a chunk: GL_OUT_OF_MEMORY, and the list keeps what it had.
TEST_F(ListTest, NoMemoryKeepsTheList) {
    ASSERT_EQ(Sgl(101, {1, kCompile}), 0u);
    Send(LineWidth(1.0f));
    // Fill the first chunk (1024 bytes) so the next request needs a new one.
    std::vector<std::uint8_t> big(1004, 0);
    Send(Render(102, big));  // a polygon stipple of 1008 bytes, kept as it came
    vnx::faults::arm("LocalAlloc");
    gc_.error = 0;
    EXPECT_EQ(Send(LineWidth(2.0f)), 11u);
    vnx::faults::clear();
    EXPECT_EQ(gc_.error, GL_OUT_OF_MEMORY);
    Send(LineWidth(3.0f));
    ASSERT_EQ(Sgl(102, {}), 0u);
    gRecord.calls.clear();
    gc_.error = 0;
    Send(CallList(1));
    EXPECT_EQ(Widths(), (std::vector<float>{1.0f, 3.0f}));
}

// Begin/End while compiling: the vertices go into a batch the list owns,
// moved into the list by the next request (or EndList) and dispatched when
// the list runs; with compile and execute also at once.
TEST_F(ListTest, PrimitiveBatches) {
    ASSERT_EQ(Sgl(101, {1, kCompileAndExecute}), 0u);
    ASSERT_EQ(Send(Render(4, Words({4}))), 0u);  // Begin(TRIANGLES)
    const auto opened = Calls("__glOpenPrimitive");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0]->args[1], GLX_PACKETS_LIST);
    EXPECT_EQ(opened[0]->args[2], 4u);
    EXPECT_EQ(gc_.pRenderTable, __glXRenderBeginEndTable);
    EXPECT_EQ(gc_.bInBegin, 1u);
    ASSERT_EQ(Send(Render(23, {})), 0u);  // End
    EXPECT_EQ(gc_.pRenderTable, __glXRenderListTable);
    EXPECT_EQ(gc_.bInBegin, 0u);
    ASSERT_NE(gc_.pPending, nullptr);
    gRecord.calls.clear();
    Send(LineWidth(1.0f));
    EXPECT_EQ(gc_.pPending, nullptr) << "moved into the list";
    EXPECT_EQ(Calls("N_DispatchPackets").size(), 1u) << "executed at once";
    // A Begin with a mode that is none is kept as it is.
    gRecord.calls.clear();
    Send(Render(4, Words({10})));
    EXPECT_TRUE(Calls("__glOpenPrimitive").empty());
    EXPECT_EQ(gc_.listMode & GLX_LIST_PLAIN_BEGIN, GLX_LIST_PLAIN_BEGIN);
    Send(Render(23, {}));
    EXPECT_EQ(gc_.listMode & GLX_LIST_PLAIN_BEGIN, 0u);
    ASSERT_EQ(Sgl(102, {}), 0u);
    gRecord.calls.clear();
    Send(CallList(1));
    const auto dispatched = Calls("N_DispatchPackets");
    ASSERT_EQ(dispatched.size(), 1u);
    EXPECT_EQ(dispatched[0]->args[1], 4u) << "the batch's packet words";
    // No memory for the primitive: GL_OUT_OF_MEMORY, still outside Begin.
    ASSERT_EQ(Sgl(101, {2, kCompile}), 0u);
    gAnswers.ulOpen = GL_OUT_OF_MEMORY;
    gc_.error = 0;
    EXPECT_EQ(Send(Render(4, Words({4}))), 11u);
    EXPECT_EQ(gc_.bInBegin, 0u);
    gAnswers.ulOpen = 0;
    ASSERT_EQ(Sgl(102, {}), 0u);
}

// A request a batch cannot carry between a compiled Begin and End: the
// vertices so far come back as plain requests, and the rest of the
// primitive is kept plain.
TEST_F(ListTest, SpillInsideBegin) {
    Compile(2, kCompile, {LineWidth(2.0f)});
    ASSERT_EQ(Sgl(101, {1, kCompile}), 0u);
    Send(Render(4, Words({4})));
    // What the primitive gives back: Begin with its mode, then its vertex.
    gAnswers.takenBack = Render(4, Words({4}));
    const auto vertex = Render(70, Words({0, 0, 0}));  // Vertex3fv
    gAnswers.takenBack.insert(gAnswers.takenBack.end(), vertex.begin(), vertex.end());
    EXPECT_EQ(Send(CallList(2)), 0u);
    EXPECT_EQ(gc_.pRenderTable, __glXRenderListTable);
    EXPECT_EQ(gc_.listMode & GLX_LIST_PLAIN_BEGIN, GLX_LIST_PLAIN_BEGIN);
    Send(Render(23, {}));
    ASSERT_EQ(Sgl(102, {}), 0u);
    // The list's requests, as opcodes.
    auto opcodes = [this](ULONG name) {
        std::vector<USHORT> v;
        const __GLXlistHead* pHead = gc_.pListTable->apBuckets[name];
        const __GLXlistChunk* pc = pHead != nullptr ? pHead->pFirst : nullptr;
        for (ULONG off = 0; pc != nullptr && off + 4 <= pc->cjUsed;) {
            USHORT aus[2];
            std::memcpy(aus, pc->pjData + off, 4);
            v.push_back(aus[1]);
            off += aus[0];
        }
        return v;
    };
    // The batch, Begin and the vertex, the call, End.
    EXPECT_EQ(opcodes(1), (std::vector<USHORT>{1024, 4, 70, 1, 23}));

    // An evaluator point spills the same way. When the vertices cannot be
    // had back it records GL_OUT_OF_MEMORY, is not kept, and the primitive
    // goes on in its batch.
    ASSERT_EQ(Sgl(101, {3, kCompile}), 0u);
    Send(Render(4, Words({0})));  // Begin(POINTS)
    gAnswers.takenBack.clear();
    gAnswers.ul = 0;
    gc_.error = 0;
    EXPECT_EQ(Send(Render(152, Words({glx::F(0.5f)}))), 11u);  // EvalCoord1fv
    gAnswers.ul = 1;
    EXPECT_EQ(gc_.error, GL_OUT_OF_MEMORY);
    EXPECT_EQ(gc_.pRenderTable, __glXRenderBeginEndTable);
    EXPECT_EQ(gc_.listMode & GLX_LIST_PLAIN_BEGIN, 0u);
    gAnswers.takenBack = Render(4, Words({0}));  // no vertex yet: Begin alone
    EXPECT_EQ(Send(Render(152, Words({glx::F(0.5f)}))), 0u);
    EXPECT_EQ(gc_.listMode & GLX_LIST_PLAIN_BEGIN, GLX_LIST_PLAIN_BEGIN);
    Send(Render(23, {}));
    ASSERT_EQ(Sgl(102, {}), 0u);
    EXPECT_EQ(opcodes(3), (std::vector<USHORT>{1024, 4, 152, 23}));

    // Compiled and run: the primitive given back begins again at once
    // through the immediate Begin, and goes on inside Begin/End.
    Compile(5, kCompile, {vertex});
    ASSERT_EQ(Sgl(101, {4, kCompileAndExecute}), 0u);
    Send(Render(4, Words({4})));
    gAnswers.takenBack = Render(4, Words({4}));
    gRecord.calls.clear();
    gc_.error = 0;
    EXPECT_EQ(Send(CallList(5)), 0u);
    EXPECT_EQ(gc_.error, 0u);
    auto ran = [](const char* name) {
        return std::count_if(gRecord.calls.begin(), gRecord.calls.end(),
                             [name](const Call& c) { return c.name == name; });
    };
    EXPECT_EQ(ran("__glXDisp_Begin"), 1);
    EXPECT_EQ(ran("__glXVtx"), 1);  // the called list's vertex, inside Begin/End
    EXPECT_EQ(gc_.bInBegin, 1u);
    Send(Render(23, {}));
    EXPECT_EQ(gc_.bInBegin, 0u);
    ASSERT_EQ(Sgl(102, {}), 0u);
    EXPECT_EQ(opcodes(4), (std::vector<USHORT>{1024, 4, 1, 23}));
    gAnswers.takenBack.clear();
}

std::vector<const Call*> Calls(const char* name) {
    std::vector<const Call*> v;
    for (const Call& c : gRecord.calls)
        if (c.name == name) v.push_back(&c);
    return v;
}

// Batches are pinned through the device's miniport as they go into a list
// and released, last first, only when their own list goes.
class PinTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gRecord = Record{};
        gAnswers = Answers{};
        ASSERT_TRUE(InitGLSrvDll(nullptr, GLSRV_PROCESS_ATTACH, nullptr));
        const ULONG cj = std::max<ULONG>(gGLPdevFields.cjHookSlots + sizeof(GLHOOKSLOTS), gGLPdevFields.cjDriver + sizeof(HANDLE));
        device_.assign(cj, 0);
        ppdev_ = reinterpret_cast<PDEV*>(device_.data());
        const HANDLE h = machine_.handle();
        std::memcpy(device_.data() + gGLPdevFields.cjDriver, &h, sizeof h);
        ASSERT_EQ(DrvEnableEscape(0x10002, ppdev_), 1u);
        pgc_ = pgcCurrent();
        ASSERT_NE(pgc_, nullptr);
        ASSERT_EQ(__glXCreateGLState(&gc_, TRUE), 0u);
        gc_.pRenderTable = __glXRenderTable;
        gc_.pVertexTable = __glXVertexTable;
        gc_.pdraw = &draw_;
        pgc_->gc = &gc_;
        MapRequestSegment(pgc_);
    }
    void TearDown() override {
        __glXFreeContextLists(&gc_);
        __glXFreeGLState(gc_.pState, gc_.pState->flPresent);
        pgc_->gc = nullptr;
        pGLHookSlots(ppdev_)->pfnGLServerUnload(ppdev_);
        vnx::faults::clear();
    }
    ULONG Sgl(std::uint8_t op, std::initializer_list<ULONG> params) {
        const auto req = Single(op, params);
        return __glXSingleTable[op](pgc_, req.data());
    }
    // A list of n primitives.
    void CompileBatches(ULONG name, int n) {
        ASSERT_EQ(Sgl(101, {name, kCompile}), 0u);
        for (int i = 0; i < n; ++i) {
            gc_.pRenderTable[4](pgc_, Render(4, Words({4})).data());
            gc_.pRenderTable[23](pgc_, Render(23, {}).data());
            gc_.pRenderTable[95](pgc_, LineWidth(1.0f).data());
        }
        ASSERT_EQ(Sgl(102, {}), 0u);
    }

    vnx::miniport::Machine machine_;
    std::vector<BYTE> device_;
    PDEV* ppdev_ = nullptr;
    GLClient* pgc_ = nullptr;
    GLContext gc_{};
    GLDrawable draw_{};
};

TEST_F(PinTest, PinnedWithTheirListOnly) {
    CompileBatches(1, 2);
    CompileBatches(2, 3);
    EXPECT_EQ(machine_.state().pinnedBatches, 5u);
    EXPECT_EQ(__glXPinnedCount(), 5u);
    const __GLXlistHead* pHead = gc_.pListTable->apBuckets[1];
    ASSERT_NE(pHead, nullptr);
    ASSERT_EQ(pHead->cBatches, 2u);
    EXPECT_EQ(pHead->pBatches[0].bPinned, 1u);
    VNX_DL_PIN_ITEM item;
    std::memcpy(&item, pHead->pBatches[0].aulItem, sizeof item);
    EXPECT_EQ(item.cjBatch, pHead->pBatches[0].pBatch->cjUsed);

    // Compiling another list releases nothing; replacing list 1 releases
    // its two batches only.
    CompileBatches(3, 0);
    EXPECT_EQ(machine_.state().batchReleases, 0u);
    CompileBatches(1, 1);
    EXPECT_EQ(machine_.state().batchReleases, 2u);
    EXPECT_EQ(machine_.state().pinnedBatches, 4u);
    // A miniport that refuses leaves the batch unpinned; the list works.
    vnx::faults::arm("IOCTL_VNX_PIN_DL_BATCH");
    CompileBatches(4, 1);
    vnx::faults::clear();
    EXPECT_EQ(gc_.pListTable->apBuckets[4]->pBatches[0].bPinned, 0u);
    gRecord.calls.clear();
    gc_.pRenderTable[1](pgc_, CallList(4).data());
    EXPECT_EQ(Calls("N_DispatchPackets").size(), 1u);
    ASSERT_EQ(Sgl(103, {1, 10}), 0u);
    EXPECT_EQ(machine_.state().pinnedBatches, 0u);
    EXPECT_EQ(__glXPinnedCount(), 0u);
}

}  // namespace
}  // namespace glsrv_double
