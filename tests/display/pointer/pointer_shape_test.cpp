// DrvSetPointerShape: monochrome pointers loaded as they are, colour
// pointers reduced to the cursor's three colours, and the shapes the
// cursor refuses (turned off, the engine drawing the pointer instead).
#include <algorithm>

#include "display/pointer/pointer_fixture.h"

namespace vnx::test {
namespace {

// A 32 x 32 pointer with every kind of pixel; the rest of its rows and
// rows 6 to 31 transparent.
MonoArt Padded(MonoArt art, size_t cy) {
    art.rows.resize(cy);
    return art;
}
const MonoArt kMono32 = Padded({32,
                                {
                                    "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb",
                                    "bwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwb",
                                    "bwiiiiw.......",
                                    "bw....wb",
                                    "bbbbbbbbb.w",
                                    "...............................w",
                                }},
                               32);

unsigned ExpectedCode(const MonoArt& art, LONG x, LONG y) {
    if (y >= static_cast<LONG>(art.rows.size()) || x >= art.cx) return 0;
    const std::string& r = art.rows[y];
    const char c = x < static_cast<LONG>(r.size()) ? r[x] : '.';
    return c == 'i' ? 1 : c == 'b' ? 2 : c == 'w' ? 3 : 0;
}

void ExpectImage(const CursorState& c, const MonoArt& art) {
    for (LONG y = 0; y < 64; ++y)
        for (LONG x = 0; x < 64; ++x)
            ASSERT_EQ(Code(c, x, y), ExpectedCode(art, x, y)) << "pixel " << x << ", " << y;
}

TEST_F(PointerTest, MonochromePointerIsLoadedAsItIs) {
    Boot();
    auto mask = MaskOf(kMono32);
    EXPECT_EQ(SetShape(mask->pso, nullptr, nullptr, 3, 4, 100, 50), SPS_ACCEPT_NOEXCLUDE);

    // Off, the colours grey, black, white, the image, the position, on.
    const std::vector<std::string> expected = {"30=14", "40=80",          "41=80", "42=80", "43=0",
                                               "44=0",  "45=0",           "46=ff", "47=ff", "48=ff",
                                               "image", Position(97, 46), "30=35"};
    EXPECT_EQ(Writes(0), expected);
    const CursorState c = board().cursor(0);
    EXPECT_TRUE(c.on);
    ExpectImage(c, kMono32);
    EXPECT_EQ(ppdev->ptr.fEnabled, 1u);
    EXPECT_EQ(ppdev->ptr.cx, 32);
    EXPECT_EQ(ppdev->ptr.cy, 32);
}

// Widths that are not a multiple of 8 keep their last pixels; the bits of
// the mask right of the pointer (here AND 0, which would be black) stay
// transparent.
TEST_F(PointerTest, LastPartialMaskByteIsKept) {
    Boot();
    for (LONG cx : {1L, 13L, 60L, 63L}) {
        MonoArt art{
            cx,
            {std::string(static_cast<size_t>(cx), 'w'), std::string(static_cast<size_t>(cx), 'b'),
             std::string(static_cast<size_t>(cx), 'i')}};
        auto mask = MaskOf(art, /*andPadding=*/false);
        ASSERT_EQ(SetShape(mask->pso, nullptr, nullptr, 0, 0, 10, 10), SPS_ACCEPT_NOEXCLUDE);
        SCOPED_TRACE(cx);
        ExpectImage(board().cursor(0), art);
    }
}

struct Refusal {
    const char* name;
    ULONG expected;  // what the driver answers
    FLONG fl;
    LONG cxMask, cyPointer;  // mask width, pointer height (mask rows / 2); 0: no mask
    ULONG iColorFormat;      // 0: monochrome
    LONG cxColor, cyColor;
    bool nonTrivialXlate;
};

// Every refusal turns the cursor off first (the engine then draws the
// pointer); a shape without a mask is taken, with the cursor off.
TEST_F(PointerTest, RefusedShapesLeaveTheCursorOff) {
    const Refusal rows[] = {
        {"unknown flag", SPS_DECLINE, 0x10, 32, 32, 0, 0, 0, false},
        {"65 wide", SPS_DECLINE, 0, 65, 32, 0, 0, 0, false},
        {"65 high", SPS_DECLINE, 0, 32, 65, 0, 0, 0, false},
        {"no mask", SPS_ACCEPT_NOEXCLUDE, 0, 0, 0, 0, 0, 0, false},
        {"24 bpp colour", SPS_DECLINE, 0, 32, 32, BMF_24BPP, 32, 32, false},
        {"4 bpp colour", SPS_DECLINE, 0, 32, 32, BMF_4BPP, 32, 32, false},
        {"colour wider than the cursor", SPS_DECLINE, 0, 32, 32, BMF_16BPP, 65, 32, false},
        {"colour smaller than the mask", SPS_DECLINE, 0, 32, 32, BMF_16BPP, 16, 16, false},
        {"colour translated", SPS_DECLINE, 0, 32, 32, BMF_16BPP, 32, 32, true},
    };
    Boot();
    auto good = MaskOf(kMono32);
    for (const Refusal& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(SetShape(good->pso, nullptr, nullptr, 0, 0, 10, 10), SPS_ACCEPT_NOEXCLUDE);
        ASSERT_TRUE(board().cursor(0).on);
        Writes(0);

        std::unique_ptr<TestBitmap> mask, colour;
        if (row.cxMask != 0)
            mask = std::make_unique<TestBitmap>(row.cxMask, 2 * row.cyPointer, BMF_1BPP);
        if (row.iColorFormat != 0)
            colour = std::make_unique<TestBitmap>(row.cxColor, row.cyColor, row.iColorFormat);
        const ULONG vector[1] = {0};
        XLATEOBJ* pxlo =
            row.nonTrivialXlate ? vnx::engine::create_xlate_vector(vector, 1) : nullptr;
        EXPECT_EQ(SetShape(mask ? mask->pso : nullptr, colour ? colour->pso : nullptr, pxlo, 0, 0,
                           20, 20, row.fl),
                  row.expected);
        vnx::engine::delete_xlate(pxlo);
        EXPECT_FALSE(board().cursor(0).on);
        EXPECT_EQ(ppdev->ptr.fEnabled, 0u);
        const auto w = Writes(0);
        ASSERT_FALSE(w.empty());
        EXPECT_EQ(w.back(), "30=14");
    }
}

// A colour pointer: letters name colours, '.' is transparent (AND set,
// black), '~' inverting (AND set, white).
struct ColourCase {
    const char* name;
    ULONG iFormat;
    std::vector<std::string> rows;
    std::vector<std::pair<char, ULONG>> colours;   // letter -> pixel value in iFormat
    ULONG high, low, mid;                          // colours 1, 2, 3 (0x00RRGGBB)
    std::vector<std::pair<char, unsigned>> codes;  // letter -> image code
};

TEST_F(PointerTest, ColourPointersAreReducedToThreeColours) {
    const ColourCase cases[] = {
        // Four colours: the three most frequent are chosen; the fourth goes
        // to the nearest by its whole 24-bit value.
        {"32 bpp, four colours",
         BMF_32BPP,
         {"LLLLMMMHHX", "..LL.M.H.."},
         {{'L', 0x100000}, {'M', 0x500000}, {'H', 0x900000}, {'X', 0x510000}},
         0x900000,
         0x100000,
         0x500000,
         {{'L', 2}, {'M', 3}, {'H', 1}, {'X', 3}, {'.', 0}}},
        // Inverting pixels count as 0x606060 and are drawn as 0x808080;
        // white at 16 bpp is 0xF8F8F8.
        {"16 bpp, inverting pixels",
         BMF_16BPP,
         {"~~~~BBBWW.", ".........."},
         {{'B', 0x001F}, {'W', 0x7FFF}},
         0xF8F8F8,
         0x0000F8,
         0x606060,
         {{'~', 3}, {'B', 2}, {'W', 1}, {'.', 0}}},
        // Equal counts: the colours met later win. Pixels are met right to
        // left, so D (met first) loses and goes to the nearest.
        {"32 bpp, ties",
         BMF_32BPP,
         {"ABCD"},
         {{'A', 0x000040}, {'B', 0x0000C0}, {'C', 0x400000}, {'D', 0x410000}},
         0x400000,
         0x000040,
         0x0000C0,
         {{'A', 2}, {'B', 3}, {'C', 1}, {'D', 1}}},
        // One colour: the list is the grey entry and that colour; nothing
        // lies above the missing third.
        {"16 bpp, one colour",
         BMF_16BPP,
         {"GGGG.", ".GG.."},
         {{'G', 0x0200}},
         0x606060,
         0x008000,
         0x606060,
         {{'G', 2}, {'.', 0}}},
        // Nothing but transparency: the list is the grey entry alone, and
        // every colour register still gets a defined value.
        {"32 bpp, transparent",
         BMF_32BPP,
         {"....", "...."},
         {},
         0x606060,
         0x606060,
         0x606060,
         {{'.', 0}}},
    };
    Boot(1, 32);
    for (const ColourCase& cc : cases) {
        SCOPED_TRACE(cc.name);
        // The screen's depth does not matter to the reduction: the colour
        // bitmap's format does.
        const LONG cx = static_cast<LONG>(cc.rows[0].size()),
                   cy = static_cast<LONG>(cc.rows.size());
        TestBitmap mask(cx, 2 * cy, BMF_1BPP), colour(cx, cy, cc.iFormat);
        const ULONG white = cc.iFormat == BMF_16BPP ? 0x7FFF : 0xFFFFFF;
        for (LONG y = 0; y < cy; ++y)
            for (LONG x = 0; x < cx; ++x) {
                const char ch = cc.rows[y][x];
                ULONG v = ch == '~' ? white : 0;
                for (const auto& [letter, value] : cc.colours)
                    if (letter == ch) v = value;
                mask.bit(x, y, ch == '.' || ch == '~');
                mask.bit(x, cy + y, false);
                colour.pixel(x, y, v);
            }
        ASSERT_EQ(SetShape(mask.pso, colour.pso, nullptr, 0, 0, 40, 40), SPS_ACCEPT_NOEXCLUDE);
        const CursorState c = board().cursor(0);
        EXPECT_TRUE(c.on);
        EXPECT_EQ(c.colour(1), cc.high);
        EXPECT_EQ(c.colour(2), cc.low);
        EXPECT_EQ(c.colour(3), cc.mid);
        for (LONG y = 0; y < 64; ++y)
            for (LONG x = 0; x < 64; ++x) {
                unsigned want = 0;
                if (y < cy && x < cx)
                    for (const auto& [letter, code] : cc.codes)
                        if (letter == cc.rows[y][x]) want = code;
                ASSERT_EQ(Code(c, x, y), want) << "pixel " << x << ", " << y;
            }
    }
}

// At 8 bits a pixel the colours come through the device palette.
TEST_F(PointerTest, EightBitColoursComeThroughThePalette) {
    Boot(1, 8);
    auto rgb = [&](ULONG i) {
        const PALETTEENTRY& e = ppdev->pPal[i];
        return static_cast<ULONG>(e.peRed) << 16 | static_cast<ULONG>(e.peGreen) << 8 | e.peBlue;
    };
    // Three palette entries of different brightness, counted 3, 2, 1.
    const ULONG idx[3] = {4, 9, 250};
    TestBitmap mask(6, 2, BMF_1BPP), colour(6, 1, BMF_8BPP);
    const ULONG row[6] = {idx[0], idx[0], idx[0], idx[1], idx[1], idx[2]};
    for (LONG x = 0; x < 6; ++x) {
        mask.bit(x, 0, false);
        mask.bit(x, 1, false);
        colour.pixel(x, 0, row[x]);
    }
    ASSERT_EQ(SetShape(mask.pso, colour.pso, nullptr, 0, 0, 40, 40), SPS_ACCEPT_NOEXCLUDE);
    ULONG sorted[3] = {rgb(idx[0]), rgb(idx[1]), rgb(idx[2])};
    std::sort(std::begin(sorted), std::end(sorted));
    const CursorState c = board().cursor(0);
    EXPECT_EQ(c.colour(1), sorted[2]);
    EXPECT_EQ(c.colour(2), sorted[0]);
    EXPECT_EQ(c.colour(3), sorted[1]);
    for (LONG x = 0; x < 6; ++x) {
        const ULONG v = rgb(row[x]);
        EXPECT_EQ(c.colour(Code(c, x, 0)), v) << x;
    }
}

}  // namespace
}  // namespace vnx::test
