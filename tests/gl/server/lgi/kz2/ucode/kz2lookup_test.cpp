// The texel lookup: its words for each mode, with and without the scratch
// pixmaps and the wrap masks.
#include "gl/server/lgi/kz2/kz2_fixture.h"

using namespace kz2_test;

namespace {

using WordList = std::vector<ULONG>;

class KzLookupTest : public Kz2Test {
  protected:
    kzLookupRegs r_{/*maskU*/ 36, /*maskV*/ 37, /*one*/ 32, /*step*/ 33, /*weightA*/ 34, /*weightB*/ 35,
                    /*U*/ 28,     /*V*/ 29,     /*tex0*/ 13, /*tex1*/ 14, /*dst*/ 10,     /*t0*/ 8,
                    /*t1*/ 9,     /*scratchIn*/ 15, /*scratchOut*/ 16, /*viaScratch*/ 0, /*unwrapped*/ 1};
    static constexpr ULONG bits = clip, pred = ifcc0;
};

TEST_F(KzLookupTest, OneWordForASmallTextureOnA24BitSurface) {
    kz2Lookup(2, &prog_, bits, pred, r_);
    EXPECT_EQ(Words(), (WordList{W(0x33, 10, 13, 0) | bits | pred}));
    Restart();
    kz2Lookup(1, &prog_, bits, pred, r_);
    EXPECT_EQ(Words(), (WordList{W(0x32, 10, 13, 0) | bits | pred}));
    for (ULONG mode : {0u, 5u}) {
        Restart();
        kz2Lookup(mode, &prog_, bits, pred, r_);
        EXPECT_EQ(prog_.instrCount, 0u) << "mode " << mode;
    }
}

// Mode 2 through the scratch pixmaps with the masks: every fetch is two
// words and the last word alone carries the predicate.
TEST_F(KzLookupTest, FilterThroughScratchAndMasks) {
    r_.viaScratch = 1;
    r_.unwrapped = 0;
    kz2Lookup(2, &prog_, bits, pred, r_);
    const ULONG u = 27, v = 28;
    auto fetch = [](ULONG R) { return WordList{W(0x32, 15, 13, 0), W(0x08, R, 16, 0)}; };
    WordList want = {W(0x00, u, 28, 36), W(0x1F, 0, 29, 33), W(0x00, v, 0, 37), 0x134 | 28u << 17, 0x208A | 32u << 17};
    for (ULONG w : fetch(0)) want.push_back(w);
    for (ULONG w : {0x10DDu, W(0x1F, 0, 28, 33), W(0x00, u, 0, 36)}) want.push_back(w);
    for (ULONG w : fetch(0)) want.push_back(w);
    for (ULONG w : {0x215Du, 0xA1809u, 0x74u | 29u << 17, 0x8DDu, 0x94Au | 32u << 17, W(0x00, v, 29, 37)})
        want.push_back(w);
    for (ULONG w : fetch(0)) want.push_back(w);
    for (ULONG w : {0x219Du, W(0x00, u, 28, 36)}) want.push_back(w);
    for (ULONG w : fetch(0)) want.push_back(w);
    for (ULONG w : {0x105Du, 0x23009u, 0x285Du}) want.push_back(w);
    for (ULONG& w : want) w |= bits;
    want.push_back(W(0x09, 10, 1, 3) | bits | pred);
    EXPECT_EQ(Words(), want);
}

TEST_F(KzLookupTest, LevelMixes) {
    kz2Lookup(3, &prog_, bits, pred, r_);
    WordList want = {0x6C8 | 28u << 17, 0x708 | 29u << 17, W(0x32, 0, 14, 0), 0x6DF | 28u << 17 | 28u << 11,
                     0x71F | 29u << 17 | 29u << 11, 0x72 | 13u << 17, 0x9D | 34u << 17, 0x8DD | 35u << 17,
                     W(0x09, 10, 2, 3)};
    for (ULONG& w : want) w |= bits | pred;
    EXPECT_EQ(Words(), want);

    Restart();
    kz2Lookup(4, &prog_, bits, pred, r_);
    const WordList got = Words();
    ASSERT_EQ(got.size(), 28u);
    EXPECT_EQ(got[0], 0x1F3u | 14u << 17 | bits);
    EXPECT_EQ(got[24], 0x21809u | bits | pred) << "the filtered finer level";
    EXPECT_EQ(got[25], 0x385Du | 34u << 17 | bits);
    EXPECT_EQ(got[26], 0x9Du | 35u << 17 | bits);
    EXPECT_EQ(got[27], W(0x09, 10, 1, 2) | bits | pred);
}

}  // namespace
