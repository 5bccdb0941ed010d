// The desktop's text, drawn the way the graphics engine draws a string: the
// driver's DrvTextOut when the primary surface hooks text, else the engine's
// EngTextOut; the fonts and strings are the engine's (DejaVu, rasterised
// with FreeType). Window titles, a heading large enough for the glyph pieces,
// a paragraph of proportional text, a fixed-pitch block on its own opaque
// background, and a line in the back window that the front window covers
// partly (drawn under the visible part's clip region).
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "desktop.h"

namespace {

using vnx::engine::FontFace;

class TextPainter {
  public:
    TextPainter(vnx::engine::Device& device, SURFOBJ* pso, const ScreenFormat& format)
        : format_(format), pso_(pso) {
        vnx::engine::SurfaceInfo info{};
        if (vnx::engine::query_surface(pso->hsurf, &info) && (info.flHooks & HOOK_TEXTOUT))
            pfnTextOut_ = reinterpret_cast<PFN_DrvTextOut>(device.function(INDEX_DrvTextOut));
    }
    ~TextPainter() {
        for (BRUSHOBJ* pbo : brushes_) vnx::engine::delete_brush(pbo);
        for (FONTOBJ* pfo : fonts_) vnx::engine::delete_font(pfo);
    }

    FONTOBJ* font(FontFace face, ULONG cy, bool bCells = false) {
        std::string error;
        FONTOBJ* pfo = vnx::engine::create_font({face, cy, bCells}, &error);
        if (pfo == nullptr) {
            std::fprintf(stderr, "vnxsim: no font for the desktop's text: %s\n", error.c_str());
            ++failed_;
            return nullptr;
        }
        fonts_.push_back(pfo);
        return pfo;
    }

    // Draws text with its first character's baseline origin at (x, y), the
    // glyphs in rgb; with rgbOpaque set, the rectangle *prclOpaque (or the
    // string's box) in that colour first.
    void text(FONTOBJ* pfo, const std::string& s, LONG x, LONG y, ULONG rgb, CLIPOBJ* pco = nullptr,
              const ULONG* rgbOpaque = nullptr, const RECTL* prclOpaque = nullptr) {
        if (pfo == nullptr) return;
        vnx::engine::StringDesc d;
        d.pfo = pfo;
        d.text = s;
        d.ptlOrigin = {x, y};
        STROBJ* pstro = vnx::engine::create_string(d);
        if (pstro == nullptr) {
            ++failed_;
            return;
        }
        BRUSHOBJ* fore = brush(rgb);
        BRUSHOBJ* back = rgbOpaque != nullptr ? brush(*rgbOpaque) : nullptr;
        RECTL opaque = prclOpaque != nullptr ? *prclOpaque : pstro->rclBkGround;
        RECTL* po = rgbOpaque != nullptr ? &opaque : nullptr;
        STROBJ_vEnumStart(pstro);
        const BOOL ok =
            pfnTextOut_ != nullptr
                ? pfnTextOut_(pso_, pstro, pfo, pco, nullptr, po, fore, back, nullptr, 0x0D0D)
                : EngTextOut(pso_, pstro, pfo, pco, nullptr, po, fore, back, nullptr, 0x0D0D);
        ++(ok ? drawn_ : failed_);
        vnx::engine::delete_string(pstro);
    }
    int drawn() const { return drawn_; }
    int failed() const { return failed_; }

  private:
    BRUSHOBJ* brush(ULONG rgb) {
        vnx::engine::BrushDesc d;
        d.iSolidColor = device_colour(format_, rgb);
        d.psoTarget = pso_;
        BRUSHOBJ* pbo = vnx::engine::create_brush(d);
        if (pbo != nullptr) brushes_.push_back(pbo);
        return pbo;
    }

    const ScreenFormat& format_;
    SURFOBJ* pso_;
    PFN_DrvTextOut pfnTextOut_ = nullptr;
    std::vector<BRUSHOBJ*> brushes_;
    std::vector<FONTOBJ*> fonts_;
    int drawn_ = 0;
    int failed_ = 0;
};

}  // namespace

int draw_desktop_text(vnx::engine::Device& device, SURFOBJ* pso) {
    ScreenFormat format;
    if (pso == nullptr || !query_format(device, &format)) return 0;
    const LONG cx = format.cx, cy = format.cy, taskbar = cy - 30;
    // The windows as the desktop leaves them (the front one dragged up and
    // left by (48, 28)).
    const RECTL back = {cx / 8 + 100, cy / 10, cx / 2 + 180, cy / 2 + 40};
    const RECTL front = {cx / 3 + 12, cy / 4 + 12, cx - cx / 8 - 48, taskbar - 68};
    const LONG xText = front.left + 17;

    TextPainter paint(device, pso, format);
    FONTOBJ* sans = paint.font(FontFace::Sans, 12);
    FONTOBJ* mono = paint.font(FontFace::SansMono, 12, true);
    FONTOBJ* heading = paint.font(FontFace::Sans, 26);

    // Titles: white on the front window's blue bar, black on the back one's
    // grey bar (under the part the front window leaves), the start button.
    paint.text(sans, "Vornix Notes - glyphs.txt", front.left + 8, front.top + 18, 0xFFFFFF);
    const RECTL shadowed = {front.left, front.top, front.right + 8, front.bottom + 8};
    std::vector<RECTL> visible = subtract(back, shadowed);
    CLIPOBJ* pcoBack = vnx::engine::create_clip(visible.data(), static_cast<ULONG>(visible.size()));
    paint.text(sans, "Board Memory", back.left + 8, back.top + 18, 0x000000, pcoBack);
    paint.text(sans, "Start", 40, taskbar + 20, 0x000000);

    // A line in the back window that runs on under the front window.
    paint.text(sans, "This line runs on under the window in front of it and is cut there.",
               back.left + 14, back.top + 262, 0x800000, pcoBack);
    vnx::engine::delete_clip(pcoBack);

    // The front window: a large heading, a paragraph, a fixed-pitch block.
    LONG y = front.top + 248;
    paint.text(heading, "Glyphs on the Board", xText, y, 0x000080);
    const char* paragraph[] = {
        "Each glyph travels as one primitive that carries its own mask:",
        "sixteen rows of sixteen bits, turned to the glyph's place, between",
        "a left and a right edge. Two narrow neighbours share a primitive;",
        "the rasterizer writes the colour where a bit is set and, for opaque",
        "text, the background where it is clear.",
    };
    y += 26;
    for (const char* line : paragraph) {
        paint.text(sans, line, xText, y, 0x202020);
        y += 16;
    }
    const char* block[] = {
        "pid   0xA000  words 11  pairs <= 16 px",
        "glyph 0x332   band  ((2y + h) * 8, x * 16)",
    };
    y += 8;
    const ULONG rgbBlock = 0xE0E0E0;
    for (const char* line : block) {
        paint.text(mono, line, xText, y, 0x006000, nullptr, &rgbBlock);
        y += 15;
    }

    if (paint.failed() != 0)
        std::fprintf(stderr, "vnxsim: %d text operations failed\n", paint.failed());
    return paint.drawn();
}
