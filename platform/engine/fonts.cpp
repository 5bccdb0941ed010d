// Fonts and strings: glyph images rasterised with FreeType from the DejaVu
// font files, one bit a pixel, and strings laid out with the font's
// advances, handed to drivers as STROBJs with their enumeration.
//
// A font rasterises its 256 Latin-1 glyphs when it is made and keeps them;
// FreeType is not used afterwards. Glyph images are GLYPHBITS records:
// rows of (cx + 7) / 8 bytes, the leftmost pixel in the top bit.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/engine.h"
#include "text.h"

namespace vnx::engine {

namespace {

constexpr ULONG kGlyphs = 256;

struct Glyph {
    std::vector<std::uint64_t> storage;  // the GLYPHBITS record, 8-byte aligned
    GLYPHDEF def{};
    LONG advance = 0;
};

struct Font {
    FONTOBJ fo{};  // what the driver is handed; first, so it maps back
    std::array<Glyph, kGlyphs> glyphs;
    LONG ascent = 0;
    LONG descent = 0;
    bool bCells = false;
    LONG cxFixed = 0;  // the advance of every printable glyph of a fixed-pitch font, else 0
};

struct String {
    STROBJ so{};  // first, so it maps back
    const Font* font = nullptr;
    std::vector<GLYPHPOS> glyphs;
    std::vector<WCHAR> text;
    ULONG cBatch = 0;
    size_t next = 0;  // first glyph of the next STROBJ_bEnum batch
};

std::mutex& text_lock() {
    static auto* m = new std::mutex;
    return *m;
}
std::map<const FONTOBJ*, std::unique_ptr<Font>>& fonts() {
    static auto* m = new std::map<const FONTOBJ*, std::unique_ptr<Font>>;
    return *m;
}
std::map<const STROBJ*, std::unique_ptr<String>>& strings() {
    static auto* m = new std::map<const STROBJ*, std::unique_ptr<String>>;
    return *m;
}
std::atomic<ULONG> gNextFontUniq{1};

Font* find_font_locked(const FONTOBJ* pfo) {
    auto it = fonts().find(pfo);
    return it == fonts().end() ? nullptr : it->second.get();
}
String* find_string_locked(const STROBJ* pstro) {
    auto it = strings().find(pstro);
    return it == strings().end() ? nullptr : it->second.get();
}

// An empty glyph image of cx x cy pixels at origin (x, y).
GLYPHBITS* make_image(Glyph& g, LONG x, LONG y, LONG cx, LONG cy) {
    const size_t cj = offsetof(GLYPHBITS, aj) + static_cast<size_t>((cx + 7) / 8) * cy + 1;
    g.storage.assign((cj + 7) / 8, 0);
    auto* pgb = reinterpret_cast<GLYPHBITS*>(g.storage.data());
    pgb->ptlOrigin = POINTL{x, y};
    pgb->sizlBitmap = SIZEL{cx, cy};
    g.def.pgb = pgb;
    return pgb;
}

// Copies FreeType's 1-bit rendering into the image, the rendering's top
// left at image pixel (dx, dy); pixels outside the image are dropped.
void copy_bits(const FT_Bitmap& bm, GLYPHBITS* pgb, LONG dx, LONG dy) {
    const LONG stride = (pgb->sizlBitmap.cx + 7) / 8;
    // The columns of the rendering that land inside the image.
    const LONG x0 = std::max<LONG>(0, -dx);
    const LONG x1 = std::min<LONG>(static_cast<LONG>(bm.width), pgb->sizlBitmap.cx - dx);
    for (LONG y = 0; y < static_cast<LONG>(bm.rows) && x0 < x1; ++y) {
        const LONG ty = y + dy;
        if (ty < 0 || ty >= pgb->sizlBitmap.cy) continue;
        or_bits(bm.buffer + y * bm.pitch, x0, pgb->aj + ty * stride, x0 + dx, x1 - x0);
    }
}

bool rasterise(FT_Face face, Font& font, std::string* pError) {
    const FT_Size_Metrics& m = face->size->metrics;
    font.ascent = static_cast<LONG>((m.ascender + 63) >> 6);
    font.descent = static_cast<LONG>((-m.descender + 63) >> 6);
    for (ULONG c = 0; c < kGlyphs; ++c) {
        if (FT_Load_Char(face, c, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) != 0 ||
            face->glyph->bitmap.pixel_mode != FT_PIXEL_MODE_MONO) {
            if (pError) *pError = "FreeType cannot render character " + std::to_string(c);
            return false;
        }
        const FT_GlyphSlot slot = face->glyph;
        Glyph& g = font.glyphs[c];
        g.advance = static_cast<LONG>((slot->advance.x + 32) >> 6);
        if (font.bCells) {
            GLYPHBITS* pgb = make_image(g, 0, -font.ascent, g.advance, font.ascent + font.descent);
            copy_bits(slot->bitmap, pgb, slot->bitmap_left, font.ascent - slot->bitmap_top);
        } else {
            GLYPHBITS* pgb = make_image(g, slot->bitmap_left, -slot->bitmap_top,
                                        static_cast<LONG>(slot->bitmap.width),
                                        static_cast<LONG>(slot->bitmap.rows));
            copy_bits(slot->bitmap, pgb, 0, 0);
        }
        font.fo.cxMax = std::max<ULONG>(font.fo.cxMax, static_cast<ULONG>(g.def.pgb->sizlBitmap.cx));
    }
    // Fixed pitch: every printable ASCII character advances alike.
    font.cxFixed = font.glyphs[' '].advance;
    for (ULONG c = 33; c < 127; ++c) {
        if (font.glyphs[c].advance != font.cxFixed) font.cxFixed = 0;
    }
    return true;
}

FT_Library library() {
    static FT_Library lib = [] {
        FT_Library l = nullptr;
        return FT_Init_FreeType(&l) == 0 ? l : nullptr;
    }();
    return lib;
}

}  // namespace

const char* font_file(FontFace face) {
    return face == FontFace::SansMono ? "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf"
                                      : "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
}

FONTOBJ* create_font(const FontDesc& desc, std::string* pError) {
    if (desc.cyPixels == 0 || desc.cyPixels > 1000) {
        if (pError) *pError = "font size out of range";
        return nullptr;
    }
    auto font = std::make_unique<Font>();
    font->bCells = desc.bCells;
    {
        std::lock_guard<std::mutex> g(text_lock());  // FreeType's library is not shared safely
        FT_Library lib = library();
        if (lib == nullptr) {
            if (pError) *pError = "FreeType cannot be started";
            return nullptr;
        }
        FT_Face face = nullptr;
        const char* path = font_file(desc.face);
        if (FT_New_Face(lib, path, 0, &face) != 0) {
            if (pError) *pError = std::string("cannot read the font file ") + path +
                                  " (the set-up script installs fonts-dejavu-core)";
            return nullptr;
        }
        bool ok = FT_Set_Pixel_Sizes(face, 0, desc.cyPixels) == 0;
        if (!ok && pError) *pError = "the font has no size " + std::to_string(desc.cyPixels);
        ok = ok && rasterise(face, *font, pError);
        FT_Done_Face(face);
        if (!ok) return nullptr;
        font->fo.iUniq = gNextFontUniq++;
        font->fo.iFace = static_cast<ULONG>(desc.face);
        FONTOBJ* pfo = &font->fo;
        fonts()[pfo] = std::move(font);
        return pfo;
    }
}

void delete_font(FONTOBJ* pfo) {
    std::lock_guard<std::mutex> g(text_lock());
    fonts().erase(pfo);
}

STROBJ* create_string(const StringDesc& desc) {
    std::lock_guard<std::mutex> g(text_lock());
    const Font* font = find_font_locked(desc.pfo);
    if (font == nullptr) return nullptr;
    auto s = std::make_unique<String>();
    s->font = font;
    s->cBatch = desc.cBatch;
    const LONG y = desc.ptlOrigin.y;
    LONG x = desc.ptlOrigin.x;
    RECTL bk = {x, y - font->ascent, x, y + font->descent};
    for (unsigned char c : desc.text) {
        const Glyph& gl = font->glyphs[c];
        s->glyphs.push_back(GLYPHPOS{c, const_cast<GLYPHDEF*>(&gl.def), POINTL{x, y}});
        s->text.push_back(c);
        const GLYPHBITS* pgb = gl.def.pgb;
        if (pgb->sizlBitmap.cx > 0 && pgb->sizlBitmap.cy > 0) {
            const RECTL box = {x + pgb->ptlOrigin.x, y + pgb->ptlOrigin.y,
                               x + pgb->ptlOrigin.x + pgb->sizlBitmap.cx,
                               y + pgb->ptlOrigin.y + pgb->sizlBitmap.cy};
            bk = {std::min(bk.left, box.left), std::min(bk.top, box.top),
                  std::max(bk.right, box.right), std::max(bk.bottom, box.bottom)};
        }
        x += gl.advance;
        bk.right = std::max(bk.right, x);
    }
    s->text.push_back(0);
    STROBJ& so = s->so;
    so.cGlyphs = static_cast<ULONG>(s->glyphs.size());
    so.flAccel = SO_FLAG_DEFAULT_PLACEMENT | SO_HORIZONTAL |
                 (font->bCells ? SO_ZERO_BEARINGS | SO_CHAR_INC_EQUAL_BM_BASE |
                                     SO_MAXEXT_EQUAL_BM_SIDE
                               : 0u);
    so.ulCharInc = static_cast<ULONG>(font->cxFixed);
    so.rclBkGround = bk;
    so.pgp = desc.cBatch == 0 && !s->glyphs.empty() ? s->glyphs.data() : nullptr;
    so.pwszOrg = s->text.data();
    STROBJ* pstro = &s->so;
    strings()[pstro] = std::move(s);
    return pstro;
}

void delete_string(STROBJ* pstro) {
    std::lock_guard<std::mutex> g(text_lock());
    strings().erase(pstro);
}

LONG string_width(FONTOBJ* pfo, const std::string& text) {
    std::lock_guard<std::mutex> g(text_lock());
    const Font* font = find_font_locked(pfo);
    if (font == nullptr) return 0;
    LONG cx = 0;
    for (unsigned char c : text) cx += font->glyphs[c].advance;
    return cx;
}

LONG font_ascent(FONTOBJ* pfo) {
    std::lock_guard<std::mutex> g(text_lock());
    const Font* font = find_font_locked(pfo);
    return font != nullptr ? font->ascent : 0;
}

LONG font_descent(FONTOBJ* pfo) {
    std::lock_guard<std::mutex> g(text_lock());
    const Font* font = find_font_locked(pfo);
    return font != nullptr ? font->descent : 0;
}

size_t live_fonts() {
    std::lock_guard<std::mutex> g(text_lock());
    return fonts().size();
}

size_t live_strings() {
    std::lock_guard<std::mutex> g(text_lock());
    return strings().size();
}

bool string_glyphs(const STROBJ* pstro, std::vector<GLYPHPOS>* glyphs) {
    std::lock_guard<std::mutex> g(text_lock());
    const String* s = find_string_locked(pstro);
    if (s == nullptr) return false;
    *glyphs = s->glyphs;
    return true;
}

}  // namespace vnx::engine

extern "C" void STROBJ_vEnumStart(STROBJ* pstro) {
    std::lock_guard<std::mutex> g(vnx::engine::text_lock());
    vnx::engine::String* s = vnx::engine::find_string_locked(pstro);
    if (s != nullptr) s->next = 0;
}

extern "C" BOOL STROBJ_bEnum(STROBJ* pstro, ULONG* pc, GLYPHPOS** ppgpos) {
    std::lock_guard<std::mutex> g(vnx::engine::text_lock());
    vnx::engine::String* s = vnx::engine::find_string_locked(pstro);
    if (pc != nullptr) *pc = 0;
    if (s == nullptr || pc == nullptr || ppgpos == nullptr) return FALSE;
    const size_t left = s->glyphs.size() - s->next;
    const size_t c = s->cBatch == 0 ? left : std::min<size_t>(s->cBatch, left);
    *pc = static_cast<ULONG>(c);
    *ppgpos = c != 0 ? s->glyphs.data() + s->next : nullptr;
    s->next += c;
    return s->next < s->glyphs.size();
}
