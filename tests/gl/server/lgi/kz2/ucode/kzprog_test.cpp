// The render program record and its packet image: pid packing, the header's
// counts, the image words and their counts (64, 65), the unit flags, the
// limits, and the trace's dump of a finished program.
#include "gl/server/lgi/kz2/kz2_fixture.h"

#include <regex>

using namespace kz2_test;

namespace {

class KzProgTest : public Kz2Test {};

TEST_F(KzProgTest, StartPresetsConstantsAndCounts) {
    prog_.instrCount = 5;
    kzStartProgram(&prog_, 0xC005u, 12);
    EXPECT_EQ(prog_.header, 0xC005u);
    EXPECT_EQ(prog_.dataAttr, 12u);
    EXPECT_EQ(prog_.instrCount, 0u);
    EXPECT_EQ(prog_.valid, 0u);
    for (ULONG c : prog_.constants) EXPECT_EQ(c, 0xDEEEEEEDu);
    for (ULONG c : prog_.spare) EXPECT_EQ(c, 0xDEEEEEEDu);
}

// One pid, one instruction, the clip pair, no constants: the accumulation
// program's shape, header 0x02102020.
TEST_F(KzProgTest, SmallProgramImage) {
    kzStartProgram(&prog_, 0x20u | kzuHdrLoadKind(KZU_rgb0, 2), 2);
    kzPlacePid(&prog_, 0x4041u, 0x41u);
    _kzuEmit(&prog_, 0x00360348u, "test", 1);
    prog_.clipCount = 2;
    prog_.clipMin = 0x00100020u;
    prog_.clipMax = 0x01DF027Fu;
    ASSERT_EQ(kzSerialiseProgram(&prog_, 1, 0), 1u);
    EXPECT_EQ(prog_.header, 0x02102020u);
    EXPECT_EQ(prog_.pidCount, 1u) << "pid words once finished";
    const std::vector<ULONG> head(prog_.image.w, prog_.image.w + 6);
    EXPECT_EQ(head, (std::vector<ULONG>{0x02102020u, 0, 0x4041u, 0x00360348u, 0x00100020u, 0x01DF027Fu}));
    EXPECT_EQ(prog_.image.w[KZ_IMG_WORDS], 6u);
    EXPECT_EQ(prog_.image.w[KZ_IMG_PRIM_WORDS], 6u);
    EXPECT_EQ(prog_.image.w[KZ_IMG_UNIT28], 1u);
    EXPECT_EQ(prog_.image.w[KZ_IMG_UNIT27], 0u);
}

TEST_F(KzProgTest, PidsPackTwoAWordAndAnOddCountLeavesAZeroHalf) {
    prog_.pids[1] = 0xFFFFFFFFu;  // stale words from an earlier build
    for (ULONG pid : {0x1111u, 0x2222u, 0x3333u}) kzPlacePid(&prog_, pid, 0x41u);
    EXPECT_EQ(prog_.pids[0], 0x22221111u);
    EXPECT_EQ(prog_.pids[1], 0x00003333u);
    EXPECT_EQ(kzPidAt(&prog_, 2), 0x3333u);
    ASSERT_EQ(kzSerialiseProgram(&prog_, 1, 1), 1u);
    EXPECT_EQ(prog_.pidCount, 2u);
    EXPECT_EQ(kzuHdrPidWords(prog_.header), 2u);
    EXPECT_EQ(prog_.image.w[3], 0x00003333u);
    // The pids still read by position once the program is finished.
    EXPECT_EQ(kzPidAt(&prog_, 0), 0x1111u);
    EXPECT_EQ(kzPidAt(&prog_, 2), 0x3333u);
    EXPECT_EQ(kzPidAt(&prog_, 4), 0xFFFFu);
}

TEST_F(KzProgTest, BogusPidIsReplacedByTheDefault) {
    const int line = __LINE__ + 1;
    EXPECT_EQ(kzPlacePid(&prog_, 0xFFFFu, 0x0041u), 0u);
    EXPECT_EQ(kzPidAt(&prog_, 0), 0x0041u);
    EXPECT_EQ(vnx::debug::take(), "fixing up bogus pid ffffh, line " + std::to_string(line) + "!?!\n");
}

// Constants format by format: the words that travel, and the room left
// before the render function's words (word 65), with trailing words and the
// colour placeholders of layout codes 8 and 9.
struct ImageCase {
    ULONG fmt;
    ULONG dataAttr;
    ULONG cTrailing;
    ULONG cConstantsInImage;
    ULONG cPlaceholders;
    ULONG w64;  // 2 + 1 pid word + 2 instructions + trailing + constants
    ULONG w65;  // 2 + 1 + 2 + room
};
class KzImageTest : public KzProgTest, public ::testing::WithParamInterface<ImageCase> {};

TEST_P(KzImageTest, BodyAndCounts) {
    const ImageCase& c = GetParam();
    kzStartProgram(&prog_, c.fmt, c.dataAttr);
    kzPlacePid(&prog_, 0x0123u, 0x41u);
    _kzuEmit(&prog_, 0x11u, "test", 1);
    _kzuEmit(&prog_, 0x22u, "test", 2);
    for (ULONG i = 0; i < 8; ++i) prog_.constants[i] = 0xC0u + i;
    prog_.trailingCount = c.cTrailing;
    for (ULONG i = 0; i < c.cTrailing; ++i) prog_.trailing[i] = 0x70u + i;
    ASSERT_EQ(kzSerialiseProgram(&prog_, 1, 1), 1u);
    std::vector<ULONG> expected{prog_.header, 0, 0x0123u, 0x11u, 0x22u};
    for (ULONG i = 0; i < c.cConstantsInImage; ++i) expected.push_back(0xC0u + i);
    for (ULONG i = 0; i < c.cPlaceholders; ++i) expected.push_back(0);
    for (ULONG i = 0; i < c.cTrailing; ++i) expected.push_back(0x70u + i);
    expected.push_back(0);  // nothing after the body
    EXPECT_EQ(std::vector<ULONG>(prog_.image.w, prog_.image.w + expected.size()), expected);
    EXPECT_EQ(prog_.image.w[KZ_IMG_WORDS], c.w64);
    EXPECT_EQ(prog_.image.w[KZ_IMG_PRIM_WORDS], c.w65);
}

INSTANTIATE_TEST_SUITE_P(Formats, KzImageTest,
                         ::testing::Values(ImageCase{0x000, 2, 0, 0, 0, 5, 5},
                                           ImageCase{0x000, 2, 3, 0, 0, 8, 5},  // w65 = w64 - trailing
                                           ImageCase{0x400, 2, 0, 8, 0, 13, 13},
                                           ImageCase{0x400, 2, 2, 8, 0, 15, 13},
                                           ImageCase{0xC00, 12, 0, 4, 0, 9, 9},
                                           ImageCase{0x800, 12, 0, 0, 0, 5, 13},
                                           ImageCase{0x400, 8, 1, 8, 1, 14, 13},
                                           ImageCase{0x400, 18, 0, 8, 1, 13, 13},
                                           ImageCase{0x000, 9, 2, 0, 2, 7, 5},
                                           ImageCase{0x000, 19, 0, 0, 2, 5, 5}));

TEST_F(KzProgTest, LimitsOfACompleteProgram) {
    auto build = [&](ULONG cInstr, ULONG cPids) {
        Restart();
        for (ULONG i = 0; i < cInstr; ++i) _kzuEmit(&prog_, i, "test", 1);
        for (ULONG i = 0; i < cPids; ++i) kzPlacePid(&prog_, i, 0x41u);
        prog_.valid = 1;
        return kzSerialiseProgram(&prog_, 1, 1);
    };
    EXPECT_EQ(build(31, 14), 1u);
    EXPECT_EQ(prog_.header, (31u << 20) | (7u << 25));
    EXPECT_EQ(prog_.image.w[KZ_IMG_WORDS], 31u + 7 + 2);
    EXPECT_EQ(build(32, 14), 0u);
    EXPECT_EQ(prog_.valid, 0u);
    EXPECT_EQ(build(31, 15), 0u);
    EXPECT_EQ(prog_.valid, 0u);
}

// Runaway emitters never write outside their words: the counts go on so
// the program is refused, the neighbouring words stay.
TEST_F(KzProgTest, OverflowingListsStayInTheirWords) {
    for (ULONG i = 0; i < 70; ++i) _kzuEmit(&prog_, 0xABCD0000u + i, "test", 1);
    for (ULONG i = 0; i < 70; ++i) kzPlacePid(&prog_, 0x100u + i, 0x41u);
    EXPECT_EQ(prog_.instrCount, 70u);
    EXPECT_EQ(prog_.pidCount, 70u);
    EXPECT_EQ(prog_.clipCount, 0u);
    EXPECT_EQ(prog_.instr[63], 0xABCD0000u + 63);
    EXPECT_EQ(prog_.pids[31], ((0x100u + 63) << 16) | (0x100u + 62));
    EXPECT_EQ(kzSerialiseProgram(&prog_, 1, 1), 0u);
}

// A body that would reach the count words is refused rather than written
// over them (trailing words and the extra word are never set by the
// emitters, but the record allows them).
TEST_F(KzProgTest, ImageThatWouldReachItsCountWordsIsRefused) {
    kzStartProgram(&prog_, 0x400, 9);
    for (ULONG i = 0; i < 31; ++i) _kzuEmit(&prog_, i, "test", 1);
    for (ULONG i = 0; i < 14; ++i) kzPlacePid(&prog_, i, 0x41u);
    prog_.clipCount = 2;
    prog_.extraFlag = 1;
    prog_.extraWord = 0xE0E0E0E0u;
    prog_.trailingCount = 12;  // 2 + 7 + 31 + 2 + 8 + 1 + 2 + 12 = 65 words
    EXPECT_EQ(kzSerialiseProgram(&prog_, 1, 1), 0u);
    EXPECT_EQ(vnx::debug::take(), "kzSerialiseProgram: image of 65 words does not fit\n");
    prog_.trailingCount = 11;  // 64: ends just before word 64
    EXPECT_EQ(kzSerialiseProgram(&prog_, 1, 1), 1u);
    EXPECT_EQ(prog_.image.w[KZ_IMG_WORDS], 2u + 31 + 2 + 7 + 11 + 8);
    EXPECT_EQ(prog_.image.w[50], prog_.extraWord) << "the extra word follows the constants";
}

TEST_F(KzProgTest, ConflictRefusesTheProgram) {
    for (int i = 0; i < 8; ++i) kzAllocRegisterResource(nullptr, &prog_, KZ_RES_DATA | KZ_RES_CONSTANT, KZ_BLEND);
    EXPECT_EQ(kzSerialiseProgram(&prog_, 1, 1), 1u);
    kzAllocRegisterResource(nullptr, &prog_, KZ_RES_DATA | KZ_RES_CONSTANT, KZ_BLEND);
    vnx::debug::clear();
    EXPECT_EQ(kzSerialiseProgram(&prog_, 1, 1), 0u);
    EXPECT_EQ(vnx::debug::take(), "kzSerialiseProgram: registers shared by live values, no hardware program\n");
}

TEST_F(KzProgTest, ConstantsArePlacedByRegister) {
    kzPlaceConstant(&prog_, KZU_constant_3, 0x7F7F7Fu);
    EXPECT_EQ(prog_.constants[3], 0x7F7F7Fu);
    EXPECT_EQ(prog_.constantCount, 1u);
    kzPlaceConstant(&prog_, KZU_rgb0, 1);
    EXPECT_EQ(prog_.constantCount, 1u);
    EXPECT_NE(vnx::debug::take().find("kzPlaceConstant: register 27 is no constant\n"), std::string::npos);
}

// The trace: every placed word with its emitter and line while the switch
// is on, nothing while it is off, and the finished program's dump.
TEST_F(KzProgTest, TraceOfPlacedWords) {
    _kzuAlphaTest(&prog_, KZ_LESS, 29, 32, 8, 0x30000000u, &kzuCCDescs[0], 32);
    EXPECT_EQ(vnx::debug::take(), "");
    gkzTrace = 1;
    _kzuAlphaTest(&prog_, KZ_LESS, 29, 32, 8, 0x30000000u, &kzuCCDescs[0], 32);
    _kzuStencilUpdate(&prog_, KZ_STENCIL_INVERT, 33, 15, 34, 0x10000000u, 32);
    const std::string text = vnx::debug::take();
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m,
                                 std::regex("adding instruction 303b0221 at kzuAlphaTest ([0-9]+)\n"
                                            "adding instruction 101e03c7 at kzuStencil ([0-9]+)\n")))
        << text;
    EXPECT_GT(std::stoi(m[1]), 0);
    EXPECT_GT(std::stoi(m[2]), 0);
}

TEST_F(KzProgTest, TraceDumpOfAFinishedProgram) {
    kzStartProgram(&prog_, 0x420u | kzuHdrLoadKind(KZU_rgb0, 3), 12);
    kzPlacePid(&prog_, 0x2003u, 0x41u);
    kzPlacePid(&prog_, 0xC001u, 0x41u);
    kzPlacePid(&prog_, 0x0041u, 0x41u);
    _kzuEmit(&prog_, 0x303B0221u, "test", 1);
    _kzuEmit(&prog_, 0x10360388u, "test", 2);
    prog_.clipCount = 2;
    prog_.clipMin = 0;
    prog_.clipMax = 0x01DF027Fu;
    kzPlaceConstant(&prog_, KZU_constant_0, 0);
    ASSERT_EQ(kzSerialiseProgram(&prog_, 1, 1), 1u);
    vnx::debug::clear();
    kzTraceProgram(&prog_);
    EXPECT_EQ(vnx::debug::take(),
              "dataAttr == c\n"
              "Supplying some kz2 constants ... 8 per pkt\n"
              "header 04203420\n"
              "pids 2003 c001 0041 0000 \n"
              "303b0221  lt.cc0 pr8, z1, c0 clip if cc0\n"
              "10360388  copy px1, rgb0 clip\n"
              "clip 00000000 01df027f\n"
              "constants 00000000 deeeeeed deeeeeed deeeeeed deeeeeed deeeeeed deeeeeed deeeeeed\n");
}

}  // namespace
