// Raster operations: the descriptors and words the ROP3 table yields, the
// mix mapping, the plane-mask and masked-copy words, and every ROP3 and mix
// compiled by the driver and carried out by the board model on random
// pixels, against the truth table of the code.
#include <cstdio>

#include "display/fill/fill_fixture.h"

namespace vnx::test {
namespace {

TEST(Rop3Info, DescriptorsOfTheTable) {
    const struct {
        ULONG rop3, info;
    } rows[] = {
        {0xCC, 0x2001}, {0xF0, 0x0801}, {0x5A, 0x8801}, {0x66, 0xA001}, {0x01, 0xAA02},
        {0xB8, 0xBB03}, {0x16, 0xFB04}, {0xAA, 0x8001}, {0x00, 0x0041}, {0xFF, 0x0081},
    };
    for (const auto& row : rows) EXPECT_EQ(ulRop3Info(row.rop3), row.info) << std::hex << row.rop3;
    EXPECT_EQ(ulRop3Info(0x1CC), 0x2001u);  // only the low byte counts
}

// For every code the descriptor's count is the number of words made, and
// bits 6 and 7 are set exactly when the program reads register 29 or 30.
TEST(Rop3Info, DescriptorsMatchTheirPrograms) {
    for (ULONG rop3 = 0; rop3 < 256; ++rop3) {
        SCOPED_TRACE(rop3);
        ULONG w[4];
        const ULONG n = cRop3Instructions(w, rop3, REG_PIXMAP, REG_NONE, REG_COLOUR, ROP_LAST_FILL);
        const ULONG info = ulRop3Info(rop3);
        bool b29 = false, b30 = false;
        for (ULONG i = 0; i < n; ++i) {
            const ULONG a = (w[i] >> INSTR_A_SHIFT) & 31, b = (w[i] >> INSTR_B_SHIFT) & 31;
            b29 |= a == REG_CONST0 || b == REG_CONST0;
            b30 |= a == REG_CONST1 || b == REG_CONST1;
            EXPECT_EQ(w[i] & INSTR_CLIP, INSTR_CLIP);
        }
        EXPECT_EQ(n, rop3 == 0xAA ? 0u : info & ROPINFO_COUNT_MASK);
        EXPECT_EQ((info & ROPINFO_NEEDS_ZERO) != 0, b29);
        EXPECT_EQ((info & ROPINFO_NEEDS_ALL_ONES) != 0, b30);
        if (n != 0) {
            EXPECT_EQ((w[n - 1] >> INSTR_DST_SHIFT) & 31, ULONG{REG_PIXMAP});
        }
    }
}

TEST(Rop3Instructions, WordsOfSimpleCodes) {
    ULONG w[4] = {};
    const ULONG last = ROP_LAST_COPY;
    ASSERT_EQ(cRop3Instructions(w, 0xCC, 14, 13, 12, last), 1u);
    EXPECT_EQ(w[0], last | 13u << 17 | 8);
    ASSERT_EQ(cRop3Instructions(w, 0x33, 14, 13, 12, last), 1u);
    EXPECT_EQ(w[0], last | 13u << 17 | 7);
    ASSERT_EQ(cRop3Instructions(w, 0xF0, 14, 13, 12, last), 1u);
    EXPECT_EQ(w[0], last | 12u << 17 | 8);
    ASSERT_EQ(cRop3Instructions(w, 0x00, 13, 0, 27, ROP_LAST_FILL), 1u);
    EXPECT_EQ(w[0], 0x103A0348u);
    ASSERT_EQ(cRop3Instructions(w, 0xFF, 13, 0, 27, ROP_LAST_FILL), 1u);
    EXPECT_EQ(w[0], 0x103C0348u);
    EXPECT_EQ(cRop3Instructions(w, 0xAA, 13, 0, 27, ROP_LAST_FILL), 0u);
    // 0x18: P XOR S into 11, D XOR S into 10, 11 AND NOT 10 into the caller's.
    ASSERT_EQ(cRop3Instructions(w, 0x18, 14, 13, 12, last), 3u);
    EXPECT_EQ(w[0], 0x10000000u | 11u << 6 | 12u << 11 | 13u << 17 | OP_XOR);
    EXPECT_EQ(w[1], 0x10000000u | 10u << 6 | 14u << 11 | 13u << 17 | OP_XOR);
    EXPECT_EQ(w[2], last | 10u << 11 | 11u << 17 | OP_ANDNOT);
}

TEST(Rop2, MixesMapToTheirRop3) {
    const struct {
        ULONG mix, rop3;
    } rows[] = {{13, 0xF0}, {1, 0x00}, {16, 0xFF}, {11, 0xAA}, {7, 0x5A}, {6, 0x55}, {4, 0x0F}};
    for (const auto& row : rows) {
        EXPECT_EQ(ulRop2ToRop3(row.mix), row.rop3) << row.mix;
        EXPECT_EQ(ulRop2Info(row.mix), ulRop3Info(row.rop3)) << row.mix;
    }
}

TEST(PlaneMask, MaskedWordsAndCopyPrograms) {
    ULONG w[4] = {};
    ULONG n = cRop3Instructions(w, 0x5A, REG_PIXMAP, REG_NONE, REG_COLOUR, ROP_LAST_STAGED);
    w[n++] = ROP_PLANE_FILL;
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(w[0], 0x10000240u | 27u << 17 | 13u << 11 | OP_XOR);
    EXPECT_EQ(w[1], 0x1012F340u);

    EXPECT_EQ(cMaskedCopyInstructions(w, 0xFFFFFF), 1u);
    EXPECT_EQ(w[0], 0x101A0388u);
    ASSERT_EQ(cMaskedCopyInstructions(w, 0x00FF00), 3u);
    EXPECT_EQ(w[0], 0x101AEA40u);
    EXPECT_EQ(w[1], 0x101CF200u);
    EXPECT_EQ(w[2], 0x10104B81u);

    PDEV pdev{};
    pdev.iBitmapFormat = BMF_16BPP;
    pdev.cGLOverlayContexts = 1;
    EXPECT_EQ(ulPlaneMask(&pdev, 0x8003), 0x7FFFFFu);
    EXPECT_EQ(ulPlaneMask(&pdev, 0x6003), 0xFFFFFFu);  // indexed 16-bit format
    pdev.cGLOverlayContexts = 0;
    EXPECT_EQ(ulPlaneMask(&pdev, 0x8003), 0xFFFFFFu);
    pdev.cGLOverlayContexts = 1;
    pdev.iBitmapFormat = BMF_32BPP;
    EXPECT_EQ(ulPlaneMask(&pdev, 0x8003), 0xFFFFFFu);
}

// --- every code on the board ----------------------------------------------------------

struct Depth {
    const char* name;
    ULONG bpp;
    ULONG compare;   // the pixel bits the truth table decides
    ULONG patternP;  // the bits of a pattern pixel that reach the register
};
void PrintTo(const Depth& d, std::ostream* os) { *os << d.name; }

class RopOnBoard : public FillTest, public ::testing::WithParamInterface<Depth> {
  protected:
    static constexpr LONG kCx = 64, kCy = 16;

    void SetUp() override {
        FillTest::SetUp();
        Boot(Machine(1), Request(1024, 768, GetParam().bpp));
        // D and S lie at the same board position in two spaces, so that a
        // copy program reads S where it writes D.
        POINTL at{256, 0};
        dst = Target(kCx, kCy, &at);
        src = Target(kCx, kCy, &at, DFB_FL_CLASS80);
        ASSERT_NE(PID_SLOT(Dfb(dst)->pid), PID_SLOT(Dfb(src)->pid));
        d = Random(kCx * kCy, 1);
        s = Random(kCx * kCy, 2);
        Write(src, s);
        // A random pattern at board origin (0, 0) in the pattern register.
        std::vector<ULONG> bits = Random(64, 3);
        pattern = bits;
        std::vector<BYTE> pj(64 * BytesPerPixel());
        for (int i = 0; i < 64; ++i)
            std::memcpy(&pj[i * BytesPerPixel()], &bits[i], BytesPerPixel());
        vLoadPattern(ppdev->psoPattern, pj.data(), ppdev->iPixelClass,
                     ppdev->ulColourModel == COLOUR_MODEL_INDEXED, 0, 0);
        ppdev->iPatternUniq = 0;
    }

    // One packet: the program over the whole of dst, registers 29 = 0 and
    // 30 = all ones; then waits until the board has drawn it.
    void Run(ULONG pidWord, const ULONG* pw, ULONG n) {
        const DFB* pdfb = Dfb(dst);
        ULONG* p = kz2NewPacketQueue(qm, nullptr, 1);
        *p++ = pidWord;
        for (ULONG i = 0; i < n; ++i) *p++ = pw[i];
        *p++ = ulClipWord(pdfb->x, pdfb->y);
        *p++ = ulClipWord(pdfb->x + kCx, pdfb->y + kCy);
        *p++ = 0;
        *p++ = PLANE_MASK_ALL;
        p = pRouteRect(qm, p, pdfb->x, pdfb->y, pdfb->x + kCx, pdfb->y + kCy);
        vSetCommand(qm,
                    n << CMD2D_INSTR_SHIFT | CMD2D_CONST0 | CMD2D_CONST1 | CMD2D_CLIP | 0x2000006);
        kz2UpdatePacketPtr(qm, nullptr, p, 0);
        Flush();
    }
    // P at a pixel of dst, as the pattern register holds it.
    ULONG P(LONG x, LONG y) {
        const DFB* pdfb = Dfb(dst);
        return pattern[((pdfb->y + y) & 7) * 8 + ((pdfb->x + x) & 7)] & GetParam().patternP;
    }

    SURFOBJ* dst = nullptr;
    SURFOBJ* src = nullptr;
    std::vector<ULONG> d, s, pattern;
};

TEST_P(RopOnBoard, EveryRop3MatchesItsTruthTable) {
    const ULONG pidWord = Dfb(dst)->pid << 16 | Dfb(src)->pid;
    const ULONG mask = GetParam().compare;
    int failures = 0;
    for (ULONG rop3 = 0; rop3 < 256 && failures < 5; ++rop3) {
        ULONG w[4];
        const ULONG n =
            cRop3Instructions(w, rop3, REG_PIXMAP_HI, REG_PIXMAP, REG_PATTERN, ROP_LAST_COPY);
        if (n == 0) continue;  // 0xAA
        Write(dst, d);
        Run(pidWord, w, n);
        const std::vector<ULONG> out = ReadAll(dst);
        for (LONG i = 0; i < kCx * kCy; ++i) {
            const ULONG want = Rop3Ref(rop3, P(i % kCx, i / kCx), s[i], d[i]) & mask;
            if ((out[i] & mask) != want) {
                ADD_FAILURE() << "ROP3 0x" << std::hex << rop3 << " pixel " << std::dec << i
                              << ": 0x" << std::hex << (out[i] & mask) << " instead of 0x" << want;
                ++failures;
                break;
            }
        }
    }
}

TEST_P(RopOnBoard, EveryMixMatchesItsTruthTable) {
    const ULONG mask = GetParam().compare;
    for (ULONG mix = 1; mix <= 16; ++mix) {
        SCOPED_TRACE(mix);
        ULONG w[4];
        const ULONG n = cRop2Instructions(w, mix, REG_PIXMAP, REG_NONE, REG_PATTERN, ROP_LAST_FILL);
        if (mix == 11) {  // R2_NOP
            EXPECT_EQ(n, 0u);
            continue;
        }
        Write(dst, d);
        Run(Dfb(dst)->pid, w, n);
        const std::vector<ULONG> out = ReadAll(dst);
        for (LONG i = 0; i < kCx * kCy; ++i) {
            const ULONG p = P(i % kCx, i / kCx);
            ULONG want = 0;
            for (int bit = 0; bit < 32; ++bit) {
                const ULONG index = ((p >> bit) & 1) << 1 | ((d[i] >> bit) & 1);
                want |= (((mix - 1) >> index) & 1u) << bit;
            }
            ASSERT_EQ(out[i] & mask, want & mask) << "pixel " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, RopOnBoard,
                         ::testing::Values(Depth{"Bpp32", 32, 0xFFFFFF, 0xFFFFFFFF},
                                           Depth{"Bpp16", 16, 0xFFFF, 0x7FFF},
                                           Depth{"Bpp8", 8, 0xFF, 0xFF}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vnx::test
