// The batch interpreter's framing and commands: table-driven batches against
// their results (sizes, records that must end the batch, refused codes,
// queries at their least output size and one byte short), the header's
// checks, and span transfers at the edges of the section's view.
#include <gtest/gtest.h>

#include "display/batch/batch_fixture.h"

namespace {

using vnx::test::BatchTest;
using vnx::test::Words;

struct Row {
    const char* name;
    Words words;
    ULONG result;
};

// Batches run against a window and its context.
TEST_F(BatchTest, CommandSizesEndsAndRefusals) {
    Target();
    Words state2(34, 0);
    state2[0] = BATCH_STATE;
    state2[1] = 2;
    Words state2Short(state2.begin(), state2.end() - 1);
    const Row rows[] = {
        {"no operation", {7}, 1},
        {"three no operations", {7, 7, 7}, 1},
        {"empty batch", {}, 1},
        {"refused command 0 first", {0, 7}, 0},
        {"refused later", {7, 1}, 0},
        {"command 18", {18}, 0},
        {"command 0xFFFFFFFF", {0xFFFFFFFF}, 0},
        {"refused 2", {2, 0, 0}, 0},
        {"refused 9", {9}, 0},
        {"refused 10 in a batch", {10, 1, 0, 0, 0, 0, 0, 0}, 0},
        {"refused 11", {11}, 0},
        {"refused 12", {12}, 0},
        {"refused 16", {16}, 0},
        {"flags allowed", {5, 0x101}, 1},
        {"flags not allowed", {5, 0x102}, 0},
        {"flags not ending the batch", {5, 1, 7}, 0},
        {"no operation then flags", {7, 5, 0}, 1},
        {"context operation 1", {4, 1, 0, 0, 0, 0}, 1},
        {"context operation 7", {4, 7, 0, 0, 0, 0}, 1},
        {"context operation 3 refuses", {4, 3, 0, 0, 0, 0}, 0},
        {"context operation 6 refuses", {4, 6, 0, 0, 0, 0}, 0},
        {"context operation 8", {4, 8, 0, 0, 0, 0}, 0},
        {"context operation 0", {4, 0, 0, 0, 0, 0}, 0},
        {"context operation short", {4, 1, 0, 0, 0}, 0},
        {"buffer walk front", {6, 1, 5, 5, 0, 10}, 1},
        {"buffer walk back, none made", {6, 2, 5, 5, 0, 10}, 0},
        {"buffer walk kind 4", {6, 4, 5, 5, 0, 10}, 0},
        {"state 1", {14, 1, 0}, 1},
        {"state 39", {14, 39, 0}, 1},
        {"state 0", {14, 0, 0}, 0},
        {"state 40", {14, 40, 0}, 0},
        {"state 2 with its 124 bytes", state2, 1},
        {"state 2 one word short", state2Short, 0},
        {"state 24 with its word", {14, 24, 0, 0}, 1},
        {"state 24 short", {14, 24, 0}, 0},
        {"state 26 with its word", {14, 26, 0, 0, 7}, 1},
        {"state 5 (hook)", {14, 5, 0}, 1},
        {"state short", {14, 1}, 0},
        {"depth without a depth buffer", {15, 0}, 0},
        {"delete another context", {3, hrc_ + 1}, 0},
        {"delete not ending the batch", {3, hrc_, 7}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Run(row.words), row.result);
    }
    // A tail shorter than a command word is left alone.
    std::memcpy(view_ + 0x100, Words{7}.data(), 4);
    BATCHHDR hdr{0, hrc_, hShMem_, kClientBase + 0x100, 6, {}, pwo_, 0, 0};
    EXPECT_EQ(Send(Input(hdr)), 1u);
}

// Without a window (or without a context) a batch must open with 1, 3, 8,
// 12 or 16; of those only a query does anything.
TEST_F(BatchTest, WithoutAContextOnlyQueriesAndDeletesOpen) {
    hShMem_ = MapSection();
    ASSERT_NE(hShMem_, 0u);
    BYTE out[212] = {};
    EXPECT_EQ(Run({7}), 0u);
    EXPECT_EQ(Run({14, 1, 0}), 0u);
    EXPECT_EQ(Run({8, 1, 0, 0, 0, 0, 0}, sizeof out, out), 1u);
    EXPECT_EQ(Run({3, 5}), 0u) << "no window to delete a context of";
    EXPECT_EQ(Run({1}), 0u);
    EXPECT_EQ(Run({}), 0u) << "no first word";
    Target();
    pwo_ = 0;  // a context but no window
    EXPECT_EQ(Run({7}), 0u);
    pwo_ = 0x7777;  // a window handle that names nothing
    EXPECT_EQ(Run({7}), 0u);
    pwo_ = Handle(hwnd_);
    hrc_ = 0;
    EXPECT_EQ(Run({7}), 0u);
}

// Queries: each at its least output size writes its reply; one byte short,
// or a query that has none, fails. Nothing outside the reply is written.
TEST_F(BatchTest, QueriesAtTheirLeastSizeAndOneByteShort) {
    hShMem_ = MapSection();
    ASSERT_NE(hShMem_, 0u);
    struct Query {
        ULONG iQuery, cjMin;
        std::vector<std::pair<ULONG, ULONG>> reply;  // byte offset, value
    };
    const Query queries[] = {
        {1, 212, {{0, 1}, {4, 0}, {8, 1}}},
        {2, 76, {{0, 2}, {4, 4}, {8, 8}, {12, 8}, {16, 8}, {20, 0}, {24, 16}, {28, 8}, {32, 0},
                 {36, 0}, {40, 0xABABABAB}, {44, 24}, {48, 4}, {52, 0}, {56, 0xABABABAB}}},
        {4, 68, {{0, 12}, {4, 2}, {8, 255}, {20, 0}, {24, 1}, {44, 0}, {48, 0xABABABAB}, {60, 2}, {64, 0}}},
        {5, 68, {{0, 12}, {8, 255}, {24, 1}, {60, 2}}},
        {7, 68, {{0, 0}, {4, 2}, {8, 0}, {44, 0}, {48, 0xABABABAB}, {64, 0}}},
        {3, 68, {}},
        {6, 68, {}},
        {9, 0, {}},
        {0, 0, {}},
    };
    for (const Query& q : queries) {
        SCOPED_TRACE(q.iQuery);
        std::vector<BYTE> out(256, 0xAB);
        const Words words = {BATCH_QUERY, q.iQuery, 0, 0, 0, 0, 0};
        if (q.cjMin != 0) EXPECT_EQ(Run(words, q.cjMin - 1, out.data()), 0u) << "one byte short";
        EXPECT_EQ(out, std::vector<BYTE>(256, 0xAB));
        const ULONG cjOut = q.cjMin != 0 ? q.cjMin : 256;
        EXPECT_EQ(Run(words, cjOut, out.data()), q.reply.empty() ? 0u : 1u);
        for (auto [off, value] : q.reply) {
            ULONG ul;
            std::memcpy(&ul, out.data() + off, 4);
            EXPECT_EQ(ul, value) << "at " << off;
        }
        for (ULONG off = cjOut; off < out.size(); ++off) ASSERT_EQ(out[off], 0xAB);
    }
    EXPECT_EQ(Run({BATCH_QUERY, 1, 0, 0, 0, 0, 0, 7}, 212, std::vector<BYTE>(212).data()), 0u)
        << "a query must end the batch";
    EXPECT_EQ(Run({BATCH_QUERY, 1, 0, 0, 0, 0}, 212, std::vector<BYTE>(212).data()), 0u) << "short";
}

// The header and where its batch lies: a short header, an inline batch
// outside the input, inline commands without their flag or not ending the
// batch, and a section batch one byte outside the view.
TEST_F(BatchTest, HeaderAndBatchPlacementAreChecked) {
    hShMem_ = MapSection();
    ASSERT_NE(hShMem_, 0u);
    BATCHHDR hdr{};
    hdr.hShMem = hShMem_;
    hdr.pBatch = kClientBase;
    hdr.length = 28;
    std::memcpy(view_, Words{BATCH_QUERY, 1, 0, 0, 0, 0, 0}.data(), 28);
    std::vector<BYTE> out(212);
    std::vector<BYTE> in = Input(hdr);
    EXPECT_EQ(Send(in, 212, out.data()), 1u);
    in.pop_back();
    EXPECT_EQ(Send(in, 212, out.data()), 0u) << "a header of 43 bytes";

    hdr.pBatch = kClientBase - 4;  // starts before the view
    hdr.length = 32;
    EXPECT_EQ(Send(Input(hdr), 212, out.data()), 0u);
    std::memcpy(view_ + kSectionSize - 28, Words{BATCH_QUERY, 1, 0, 0, 0, 0, 0}.data(), 28);
    hdr.pBatch = kClientBase + kSectionSize - 28;
    hdr.length = 28;
    EXPECT_EQ(Send(Input(hdr), 212, out.data()), 1u) << "ends at the view's end";
    hdr.pBatch += 1;
    EXPECT_EQ(Send(Input(hdr), 212, out.data()), 0u) << "one byte past it";
    hdr.pBatch = 0xFFFFFFF0;
    hdr.length = 0x20;
    EXPECT_EQ(Send(Input(hdr), 212, out.data()), 0u) << "wrapping";
    hdr.hShMem = hShMem_ + 1000;
    hdr.pBatch = kClientBase;
    EXPECT_EQ(Send(Input(hdr), 212, out.data()), 0u) << "no such section";

    HWND hwnd = Window(app_, {0, 0, 10, 10});
    const Words create = {BATCH_CREATE_CONTEXT, Handle(hwnd), 1};
    BATCHHDR inl{};
    inl.flags = BATCH_FL_CREATE_CONTEXT;
    inl.pInline = sizeof inl;
    inl.cjInline = 12;
    in = Input(inl, create);
    inl.pInline = 1000;  // outside the input
    EXPECT_EQ(Send(Input(inl, create)), 0u);
    inl.pInline = sizeof inl;
    inl.cjInline = 16;  // past the input's end
    EXPECT_EQ(Send(Input(inl, create)), 0u);
    inl.cjInline = 2;
    EXPECT_EQ(Send(Input(inl, create)), 0u) << "less than a word";
    inl.pInline = 0;
    inl.cjInline = 12;
    EXPECT_EQ(Send(Input(inl, create)), 0u) << "no inline batch";
    EXPECT_EQ(Inline(0, create), 0u) << "without its flag";
    EXPECT_EQ(Inline(BATCH_FL_SETUP, create), 0u) << "the other flag";
    EXPECT_EQ(Inline(BATCH_FL_CREATE_CONTEXT, {BATCH_CREATE_CONTEXT, Handle(hwnd), 1, 7}), 0u)
        << "not ending the batch";
    EXPECT_EQ(Inline(BATCH_FL_CREATE_CONTEXT | BATCH_FL_SETUP, {7}), 0u) << "other inline commands";
    EXPECT_NE(Send(in), 0u) << "the same, well formed";
}

// Span transfers: the data area (rows of the stride, backwards for a
// negative one) must lie wholly in the section's view; one byte outside
// fails. The buffers are the front one, and back or depth only when made.
TEST_F(BatchTest, SpanTransfersStayInsideTheView) {
    Target();
    // 4 rows of 16 bytes.
    const auto span = [&](ULONG cmd, ULONG addr, ULONG stride, ULONG kind = BATCH_BUFFER_FRONT,
                          ULONG hSection = 0) {
        return Words{cmd, 5, 5, 0, 0, 8, 4, kind, hSection ? hSection : hShMem_, addr, stride};
    };
    const ULONG end = kClientBase + kSectionSize;
    const ULONG minus16 = static_cast<ULONG>(-16);
    const Row rows[] = {
        {"at the start", span(13, kClientBase, 16), 1},
        {"ending at the view's end", span(13, end - 64, 16), 1},
        {"ending one byte past it", span(13, end - 63, 16), 0},
        {"starting before the view", span(13, kClientBase - 1, 16), 0},
        {"backwards inside", span(13, kClientBase + 48, minus16), 1},
        {"backwards one byte below the view", span(13, kClientBase + 47, minus16), 0},
        {"backwards past its end", span(13, end - 15, minus16), 0},
        {"stride clamped to 32767", span(13, kClientBase, 0x7FFFFFFF), 0},
        {"stride clamped, fitting", span(13, kClientBase, 0x4000), 1},
        {"address wrapping", span(13, 0xFFFFFFF0, 16), 0},
        {"back buffer, none made", span(13, kClientBase, 16, BATCH_BUFFER_BACK), 0},
        {"depth buffer, none made", span(13, kClientBase, 16, BATCH_BUFFER_DEPTH), 0},
        {"kind 0", span(13, kClientBase, 16, 0), 0},
        {"not a section", span(13, kClientBase, 16, BATCH_BUFFER_FRONT, hrc_), 0},
        {"short record", Words(10, 13), 0},
        {"clipped, inside", span(17, end - 64, 16), 1},
        {"clipped, one byte past", span(17, end - 63, 16), 0},
        {"clipped, depth", span(17, kClientBase, 16, BATCH_BUFFER_DEPTH), 0},
        {"two spans", [&] { Words w = span(13, kClientBase, 16), v = span(17, kClientBase, 16);
                            w.insert(w.end(), v.begin(), v.end()); return w; }(), 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Run(row.words, 0, nullptr, 0x1000), row.result);
    }
}

}  // namespace
