// The command stream: every opcode of the table (valid, no-op, invalid) and
// the commands that would run past their buffer or that the attribute table
// does not vouch for.
#include <cstdint>
#include <cstring>
#include <vector>

#include "gl/server/lgi/lgi_fixture.h"

namespace lgi_test {
namespace {

using Words = std::vector<ULONG>;

void Address(Words& w, const void* pv) {
    const auto u = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(pv));
    w.push_back(static_cast<ULONG>(u));
    w.push_back(static_cast<ULONG>(u >> 32));
}

ULONG Dispatch(const Words& w) { return N_DispatchPackets(w.data(), static_cast<LONG>(w.size())); }

ULONG Desc(ULONG id) { return ulAttrDescriptor(id); }
ULONG Dirty(ULONG id) { return gaNAttrTable[id].flDirty; }

enum class Kind { Invalid, Nop };

// Every opcode without arguments, by what it is.
Kind KindOf(ULONG op) {
    static const ULONG kNops[] = {14, 15, 19, 27, 30, 31, 36, 37, 38, 39, 42, 43, 44,
                                  45, 48, 49, 50, 52, 54, 55, 56, 57, 58, 59, 60};
    for (ULONG n : kNops)
        if (n == op) return Kind::Nop;
    return Kind::Invalid;
}

bool bTakesArguments(ULONG op) {
    return op == 16 || op == 17 || op == 18 || op == 22 || op == 23 || op == 24 || op == 25 ||
           (op >= 61 && op <= 71) || op == 78 || op == 79;
}

// Each opcode without arguments, followed by a colour set: no-ops pass, and
// invalid opcodes report, use no word, and the stream goes on.
TEST_F(LgiTest, ArgumentlessOpcodesNopOrAbort) {
    for (ULONG op = 0; op < 90; ++op) {
        if (bTakesArguments(op)) continue;
        SCOPED_TRACE(op);
        vnx::debug::clear();
        *pulAttr(ctx_, 53) = 0;
        const Words w = {op, 23, 53, Desc(53), Dirty(53), F(2.0f)};
        EXPECT_EQ(Dispatch(w), 0u);
        EXPECT_EQ(*pulAttr(ctx_, 53), F(2.0f));
        const std::string out = vnx::debug::take();
        if (op < N_PKT_OPCODES && KindOf(op) == Kind::Nop) {
            EXPECT_EQ(out, "");
        } else {
            EXPECT_EQ(out.find("_NPacketAbort: INVALID opcode: " + std::to_string(op) + "\n"), 0u) << out;
            EXPECT_NE(out.find("                       pBuf  : "), std::string::npos);
            EXPECT_NE(out.find("debug 17: aborting processing due to PROGRAMMER ERROR\n"), std::string::npos);
        }
    }
}

TEST_F(LgiTest, EmptyStreamsReturnAtOnce) {
    ctx_->fromExecPrimitive = 1;
    const ULONG ul = 0;
    EXPECT_EQ(N_DispatchPackets(&ul, 0), 0u);
    EXPECT_EQ(N_DispatchPackets(&ul, -5), 0u);
    EXPECT_EQ(ctx_->fromExecPrimitive, 0u);
    EXPECT_EQ(vnx::debug::take(), "");
}

TEST_F(LgiTest, SetAttributeInlineComparesBeforeStoring) {
    ctx_->dirty = 0;
    Words w = {23, 52, Desc(52), Dirty(52), F(1), F(1), F(1), F(1)};  // the value it has
    Dispatch(w);
    EXPECT_EQ(ctx_->dirty, 0u);
    w[4] = F(0.5f);
    Dispatch(w);
    EXPECT_EQ(ctx_->dirty, N_DIRTY_CURRENT_COLOUR);
    EXPECT_EQ(*pulAttr(ctx_, 52), F(0.5f));
}

// Save, get, set from memory and restore, through server addresses.
TEST_F(LgiTest, StateSaveRestoreAndAttributeCopies) {
    N_StateBlock saved{};
    Words w = {16};
    Address(w, saved.w);
    Dispatch(w);
    EXPECT_EQ(std::memcmp(&saved, &ctx_->sb, sizeof saved), 0);

    const ULONG aulColour[4] = {F(0.1f), F(0.2f), F(0.3f), F(0.4f)};
    ctx_->dirty = 0;
    w = {24, 52};
    Address(w, aulColour);
    Dispatch(w);
    EXPECT_EQ(std::memcmp(pulAttr(ctx_, 52), aulColour, sizeof aulColour), 0);
    EXPECT_EQ(ctx_->dirty, 0u) << "set from memory marks nothing";

    ULONG aulOut[4] = {};
    w = {17, 52};
    Address(w, aulOut);
    Dispatch(w);
    EXPECT_EQ(std::memcmp(aulOut, aulColour, sizeof aulOut), 0);

    w = {22};
    Address(w, saved.w);
    Dispatch(w);
    EXPECT_EQ(std::memcmp(&saved, &ctx_->sb, sizeof saved), 0);
    EXPECT_EQ(ctx_->dirty, 0xffffffffu);
}

TEST_F(LgiTest, StackOperationsInline) {
    Words w = {25, 1, 0, 0x1, 25, 2, 0, 0x1};  // push, pop: no value words
    Dispatch(w);
    EXPECT_EQ(vnx::debug::take(), "");
    w = {25, 3, 0, 0x1};  // load the top of stack 0
    for (int i = 0; i < 16; ++i) w.push_back(F(i % 5 == 0 ? 4.0f : 0.0f));
    w.push_back(14);
    Dispatch(w);
    EXPECT_EQ(pulAttr(ctx_, 30)[0], F(4.0f));
    EXPECT_EQ(vnx::debug::take(), "");
}

TEST_F(LgiTest, CommandsWithFixedArgumentsReachTheirTargets) {
    struct Case {
        Words w;
        const char* expected;
    };
    const Case cases[] = {
        {{18, 1, 2}, "debug 17: aborting processing due to PROGRAMMER ERROR\n"},
        {{61, 1}, "debug 17: aborting processing due to PROGRAMMER ERROR\n"},
        // The raster position runs its pipe (tested with the primitives);
        // here only that the command takes its four words.
        {{62, F(1), F(2), F(3), F(1)}, ""},
        // Accumulation without an accumulation buffer: nothing happens.
        {{78, 1, F(0.5f)}, ""},
        {{79, 0}, ""},
        {{67, 0x10, 1, F(1), F(2), F(3), F(1)}, ""},  // one vertex: no triangle, nothing said
    };
    for (const Case& c : cases) {
        vnx::debug::clear();
        Words w = c.w;
        w.push_back(0);  // an invalid opcode right after: found where it should be
        Dispatch(w);
        const std::string said = vnx::debug::take();
        EXPECT_EQ(said.find(c.expected), 0u) << c.w[0] << ": " << said;
    }
}

// Words of an inline draw command: vertices and per-primitive words.
TEST_F(LgiTest, DrawCommandLength) {
    struct Case {
        ULONG kind, format, n;
        std::uint64_t words;
    };
    const Case cases[] = {
        {67, 0x10, 3, 2 + 12},                 // position only
        {67, 0x10 | 0x40 | 0x100, 3, 2 + 33},  // position, RGBA, normal
        {67, 0x10 | 0x1, 3, 2 + 12 + 3},       // per-primitive words once
        {68, 0x10 | 0x1, 4, 2 + 16 + 12},      // per-primitive words per vertex
        {63, 0x10 | 0x18000000, 2, 2 + 10},    // edge-flag bits share a word
    };
    for (const Case& c : cases) EXPECT_EQ(_NPacketDrawWords(c.kind, c.format, c.n), c.words) << c.format;
    // Large counts are worked out without overflow.
    EXPECT_GT(_NPacketDrawWords(70, 0xffffffff, 0xffffffff), std::uint64_t{0xffffffff});
}

// Commands that run past their buffer or carry what the table does not
// vouch for are refused before any of their words is used; the stream ends.
TEST_F(LgiTest, MalformedCommandsAreRefused) {
    const Words cases[] = {
        {23, 52, Desc(52), Dirty(52), F(0.5f)},             // values past the end
        {23, 52},                                           // header past the end
        {23, 25, Desc(52), Dirty(52), 0, 0, 0, 0},          // id outside the attributes
        {23, 169, 0, 0, 0},                                 // id past the table
        {23, 52, Desc(53), Dirty(52), 0, 0, 0, 0},          // table word of another id
        {23, 52, Desc(52), 0x1, 0, 0, 0, 0},                // dirty bits not the attribute's
        {25, 3, 0, 0x1, 0, 0},                              // matrix past the end
        {25, 26, 0, 0x1},                                   // no such stack operation
        {25, 1, 0, 0x80},                                   // dirty bits not the stack's
        {17, 29, 0, 0},                                     // get of no attribute
        {24, 200, 0, 0},                                    // set from memory of no attribute
        {16, 0},                                            // address past the end
        {62, 0, 0},                                         // raster position past the end
        {67, 0x10, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},     // one word short
        {67, 0x10, 0x40000000},                             // a count far past the end
        {66, 0xffffffff, 0xffffffff},                       // the largest count
        {67, 0x40, 0xffffffff},                             // colours without positions
        {67, 0, 0xffffffff},                                // vertices of no words
        {78, 1},                                            // accumulation value past the end
        {79},                                               // clear value past the end
        {18, 1},                                            // stub arguments past the end
    };
    for (const Words& c : cases) {
        SCOPED_TRACE(c[0]);
        Words w = c;
        w.insert(w.begin(), {23, 81, Desc(81), Dirty(81), 2});  // a valid command first
        const N_StateBlock before = [&] {
            N_StateBlock sb = ctx_->sb;
            sb.w[gaNAttrTable[81].iWord] = 2;
            return sb;
        }();
        vnx::debug::clear();
        Dispatch(w);
        EXPECT_NE(vnx::debug::take().find("N_DispatchPackets: opcode " + std::to_string(c[0]) + " refused\n"),
                  std::string::npos);
        EXPECT_EQ(std::memcmp(&before, &ctx_->sb, sizeof before), 0);
        *pulAttr(ctx_, 81) = 1;
    }
}

// A refused command ends the stream: what follows it is not run.
TEST_F(LgiTest, RefusalEndsTheStream) {
    const Words w = {23, 53, Desc(53), 0, F(5), 23, 81, Desc(81), Dirty(81), 2};
    Dispatch(w);
    EXPECT_EQ(*pulAttr(ctx_, 53), F(1));
    EXPECT_EQ(*pulAttr(ctx_, 81), 1u);
}

}  // namespace
}  // namespace lgi_test
