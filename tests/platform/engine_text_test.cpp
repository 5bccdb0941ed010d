// Fonts, strings and EngTextOut: glyph images rasterised from the DejaVu
// fonts, string layout and enumeration, and the software text compared with
// a reference drawn pixel by pixel from the glyph images.
#include <algorithm>

#include "engine_reference.h"

namespace {

using vnx::engine::FontFace;
using vnx::engine::StringDesc;

struct FontDeleter {
    void operator()(FONTOBJ* p) const { vnx::engine::delete_font(p); }
};
struct StringDeleter {
    void operator()(STROBJ* p) const { vnx::engine::delete_string(p); }
};
using Font = std::unique_ptr<FONTOBJ, FontDeleter>;
using String = std::unique_ptr<STROBJ, StringDeleter>;

class EngineText : public ref::EngineTest {
protected:
    void TearDown() override {
        EXPECT_EQ(vnx::engine::live_strings(), 0u);
        EXPECT_EQ(vnx::engine::live_fonts(), 0u);
        ref::EngineTest::TearDown();
    }
    // Fails the test with the engine's reason when the font cannot be had:
    // the set-up script installs the fonts, so a missing one is an error.
    static Font Open(FontFace face, ULONG cy, bool bCells = false) {
        std::string error;
        Font f(vnx::engine::create_font({face, cy, bCells}, &error));
        EXPECT_NE(f, nullptr) << vnx::engine::font_file(face) << ": " << error;
        return f;
    }
    static String Make(FONTOBJ* pfo, const std::string& text, POINTL at, ULONG cBatch = 0) {
        StringDesc d;
        d.pfo = pfo;
        d.text = text;
        d.ptlOrigin = at;
        d.cBatch = cBatch;
        return String(vnx::engine::create_string(d));
    }
    static const GLYPHBITS* Bits(const GLYPHPOS& gp) { return gp.pgdf->pgb; }
    static bool Bit(const GLYPHBITS* pgb, LONG x, LONG y) {
        const LONG stride = (pgb->sizlBitmap.cx + 7) / 8;
        return (pgb->aj[y * stride + x / 8] >> (7 - x % 8)) & 1;
    }
    // Whether a glyph of the string sets surface pixel (x, y).
    static bool Inked(const STROBJ* pstro, LONG x, LONG y) {
        for (ULONG i = 0; i < pstro->cGlyphs; ++i) {
            const GLYPHPOS& gp = pstro->pgp[i];
            const GLYPHBITS* pgb = Bits(gp);
            const LONG gx = x - gp.ptl.x - pgb->ptlOrigin.x, gy = y - gp.ptl.y - pgb->ptlOrigin.y;
            if (gx >= 0 && gy >= 0 && gx < pgb->sizlBitmap.cx && gy < pgb->sizlBitmap.cy &&
                Bit(pgb, gx, gy))
                return true;
        }
        return false;
    }
};

TEST_F(EngineText, FontsRasteriseRealGlyphs) {
    Font sans = Open(FontFace::Sans, 12), mono = Open(FontFace::SansMono, 12);
    ASSERT_TRUE(sans && mono);
    String s = Make(sans.get(), "AW.i", {10, 20});
    String m = Make(mono.get(), "AW.i", {10, 20});
    ASSERT_TRUE(s && m);
    // Proportional: advances differ and there is no fixed pitch; the mono
    // face steps every glyph by its one advance.
    EXPECT_EQ(s->ulCharInc, 0u);
    EXPECT_GT(m->ulCharInc, 0u);
    for (ULONG i = 0; i < 4; ++i) EXPECT_EQ(m->pgp[i].ptl.x, 10 + LONG(i * m->ulCharInc));
    EXPECT_GT(s->pgp[2].ptl.x - s->pgp[1].ptl.x, s->pgp[3].ptl.x - s->pgp[2].ptl.x);  // W > .
    // An 'A' at 12 pixels is inked, about as tall as the ascent, and stands
    // on the baseline; '.' is a small dot on it.
    const GLYPHBITS* a = Bits(s->pgp[0]);
    EXPECT_GE(a->sizlBitmap.cy, 7);
    EXPECT_LE(a->sizlBitmap.cy, vnx::engine::font_ascent(sans.get()));
    EXPECT_EQ(a->ptlOrigin.y + a->sizlBitmap.cy, 0);
    int inked = 0;
    for (LONG y = 0; y < a->sizlBitmap.cy; ++y)
        for (LONG x = 0; x < a->sizlBitmap.cx; ++x) inked += Bit(a, x, y);
    EXPECT_GT(inked, 10);
    const GLYPHBITS* dot = Bits(s->pgp[2]);
    EXPECT_LE(dot->sizlBitmap.cx * dot->sizlBitmap.cy, 4);
    // The widest glyph bounds every image; the background box holds them.
    EXPECT_GE(sans->cxMax, ULONG(Bits(s->pgp[1])->sizlBitmap.cx));
    EXPECT_LE(sans->cxMax, 16u);
    for (ULONG i = 0; i < s->cGlyphs; ++i) {
        const GLYPHPOS& gp = s->pgp[i];
        EXPECT_GE(gp.ptl.x + Bits(gp)->ptlOrigin.x, s->rclBkGround.left);
        EXPECT_LE(gp.ptl.x + Bits(gp)->ptlOrigin.x + Bits(gp)->sizlBitmap.cx, s->rclBkGround.right);
        EXPECT_GE(gp.ptl.y + Bits(gp)->ptlOrigin.y, s->rclBkGround.top);
        EXPECT_LE(gp.ptl.y + Bits(gp)->ptlOrigin.y + Bits(gp)->sizlBitmap.cy, s->rclBkGround.bottom);
    }
    EXPECT_EQ(s->rclBkGround.right, 10 + vnx::engine::string_width(sans.get(), "AW.i"));
    EXPECT_EQ(s->flAccel, SO_FLAG_DEFAULT_PLACEMENT | SO_HORIZONTAL);
    // Larger sizes give larger glyphs.
    Font big = Open(FontFace::Sans, 40);
    String b = Make(big.get(), "A", {0, 50});
    EXPECT_GT(Bits(b->pgp[0])->sizlBitmap.cy, 25);
    EXPECT_GT(big->cxMax, 16u);
}

TEST_F(EngineText, CellFontsTileTheBackgroundBox) {
    Font f = Open(FontFace::Sans, 12, true);
    ASSERT_TRUE(f);
    String s = Make(f.get(), "Tiles", {3, 15});
    ASSERT_TRUE(s);
    EXPECT_EQ(s->flAccel, 0x73u);
    LONG x = 3;
    for (ULONG i = 0; i < s->cGlyphs; ++i) {
        const GLYPHBITS* pgb = Bits(s->pgp[i]);
        EXPECT_EQ(s->pgp[i].ptl.x + pgb->ptlOrigin.x, x);
        EXPECT_EQ(s->pgp[i].ptl.y + pgb->ptlOrigin.y, s->rclBkGround.top);
        EXPECT_EQ(pgb->sizlBitmap.cy, s->rclBkGround.bottom - s->rclBkGround.top);
        x += pgb->sizlBitmap.cx;
    }
    EXPECT_EQ(x, s->rclBkGround.right);
}

TEST_F(EngineText, EnumerationInBatchesAndAgain) {
    Font f = Open(FontFace::Sans, 12);
    ASSERT_TRUE(f);
    String s = Make(f.get(), "seven!!", {0, 12}, 3);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->pgp, nullptr);
    for (int round = 0; round < 2; ++round) {
        STROBJ_vEnumStart(s.get());
        std::vector<ULONG> counts;
        std::string seen;
        BOOL more;
        do {
            ULONG c = 99;
            GLYPHPOS* pgp = nullptr;
            more = STROBJ_bEnum(s.get(), &c, &pgp);
            counts.push_back(c);
            for (ULONG i = 0; i < c; ++i) seen += char(pgp[i].hg);
        } while (more);
        EXPECT_EQ(counts, (std::vector<ULONG>{3, 3, 1}));
        EXPECT_EQ(seen, "seven!!");
    }
    // All at once: pgp holds them and one batch hands them out.
    String all = Make(f.get(), "ab", {0, 12});
    ULONG c = 0;
    GLYPHPOS* pgp = nullptr;
    EXPECT_FALSE(STROBJ_bEnum(all.get(), &c, &pgp));
    EXPECT_EQ(c, 2u);
    EXPECT_EQ(pgp, all->pgp);
    // Objects the engine did not make, and fonts it cannot make.
    STROBJ forged{};
    c = 5;
    EXPECT_FALSE(STROBJ_bEnum(&forged, &c, &pgp));
    EXPECT_EQ(c, 0u);
    StringDesc d;
    FONTOBJ fake{};
    d.pfo = &fake;
    EXPECT_EQ(vnx::engine::create_string(d), nullptr);
    std::string error;
    vnx::engine::FontDesc none;
    none.cyPixels = 0;
    EXPECT_EQ(vnx::engine::create_font(none, &error), nullptr);
    EXPECT_FALSE(error.empty());
}

// EngTextOut against a reference made from the glyph images: opaque and
// transparent, solid and pattern foregrounds, clipped, in several formats.
TEST_F(EngineText, SoftwareTextMatchesTheGlyphImages) {
    Font f = Open(FontFace::Sans, 13);
    ASSERT_TRUE(f);
    const std::vector<RECTL> region = {{0, 0, 40, 9}, {50, 5, 90, 30}};
    for (ULONG iFormat : {BMF_8BPP, BMF_16BPP, BMF_32BPP}) {
        for (int kind = 0; kind < 4; ++kind) {
            const bool bOpaque = kind & 1, bClip = kind & 2;
            ref::Bitmap target(96, 32, iFormat);
            target.randomize(kind + iFormat);
            const std::vector<ULONG> before = target.pixels();
            String s = Make(f.get(), "Quick jig", {4, 20});
            ASSERT_TRUE(s);
            ref::Bitmap pattern(8, 8, iFormat);
            pattern.randomize(77);
            vnx::engine::BrushDesc pd;
            pd.psoPattern = pattern.pso;
            pd.psoTarget = target.pso;
            ref::Brush fore(vnx::engine::create_brush(pd));
            vnx::engine::BrushDesc od;
            od.iSolidColor = 0x15 & ref::mask_of(iFormat);
            ref::Brush back(vnx::engine::create_brush(od));
            ref::Clip clip(bClip ? vnx::engine::create_clip(region.data(), 2) : nullptr);
            RECTL opaque = {2, 3, 80, 26};
            ASSERT_TRUE(EngTextOut(target.pso, s.get(), f.get(), clip.get(), nullptr,
                                   bOpaque ? &opaque : nullptr, fore.get(), back.get(), nullptr,
                                   0x0D0D));
            std::vector<ULONG> want = before;
            for (LONG y = 0; y < 32; ++y)
                for (LONG x = 0; x < 96; ++x) {
                    if (bClip && !ref::inside_any(region, x, y)) continue;
                    ULONG& p = want[y * 96 + x];
                    if (bOpaque && ref::inside(opaque, x, y)) p = od.iSolidColor;
                    if (Inked(s.get(), x, y)) p = pattern.get(x & 7, y & 7);
                }
            EXPECT_TRUE(ref::same_pixels(want, target)) << iFormat << " kind " << kind;
        }
    }
    vnx::faults::arm("EngTextOut");
    ref::Bitmap target(8, 8, BMF_8BPP);
    String s = Make(f.get(), "x", {0, 8});
    EXPECT_FALSE(EngTextOut(target.pso, s.get(), f.get(), nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr, 0x0D0D));
}

}  // namespace
