// vnxsim's demonstration desktop, drawn the way the graphics engine draws on
// a display: every operation goes to the driver's DrvBitBlt or DrvCopyBits
// (the entries of the function table the engine got from the driver) when
// the primary surface hooks them, else to the engine's own EngBitBlt. The
// brushes, clips and translations are the engine's objects. A few
// operations are ones the driver hands back to the engine (a source ROP from
// a host bitmap, a source-and-pattern ROP with a coloured brush), so the
// picture shows the software fallbacks too. Then the picture of the screen,
// read back from board memory.
#include "desktop.h"
#include "desktop_dither.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "driver_record.h"
#include "platform/board.h"

bool query_format(vnx::engine::Device& device, ScreenFormat* f) {
    vnx::engine::SurfaceInfo info{};
    if (!vnx::engine::query_surface(device.hsurf(), &info)) return false;
    f->iBitmapFormat = info.so.iBitmapFormat;
    f->cjPixel = f->iBitmapFormat == BMF_8BPP ? 1 : f->iBitmapFormat == BMF_16BPP ? 2 : 4;
    f->cx = info.so.sizlBitmap.cx;
    f->cy = info.so.sizlBitmap.cy;
    f->cxScreen = static_cast<LONG>(device.gdiinfo().ulHorzRes);
    f->cyScreen = static_cast<LONG>(device.gdiinfo().ulVertRes);
    vnx::engine::PaletteInfo pal;
    if (f->iBitmapFormat == BMF_8BPP &&
        vnx::engine::query_palette(device.devinfo().hpalDefault, &pal))
        f->palette = pal.colors;
    return true;
}

ULONG device_colour(const ScreenFormat& f, ULONG rgb) {
    const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    switch (f.iBitmapFormat) {
        case BMF_8BPP: {
            ULONG best = 0;
            int bestDistance = 1 << 30;
            for (ULONG i = 0; i < f.palette.size(); ++i) {
                const int er = f.palette[i] & 0xFF, eg = (f.palette[i] >> 8) & 0xFF,
                          eb = (f.palette[i] >> 16) & 0xFF;
                const int d = (er - r) * (er - r) + (eg - g) * (eg - g) + (eb - b) * (eb - b);
                if (d < bestDistance) {
                    bestDistance = d;
                    best = i;
                }
            }
            return best;
        }
        case BMF_16BPP: return static_cast<ULONG>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
        default: return rgb & 0xFFFFFF;
    }
}

namespace {

// Draws on the primary surface as the engine does: through the driver's
// hooked entry points, or the engine's software blit.
class Painter {
  public:
    Painter(vnx::engine::Device& device, SURFOBJ* pso, const ScreenFormat& format)
        : format_(format), pso_(pso) {
        vnx::engine::SurfaceInfo info{};
        const bool known = vnx::engine::query_surface(pso->hsurf, &info);
        if (known && (info.flHooks & HOOK_BITBLT))
            pfnBitBlt_ = reinterpret_cast<PFN_DrvBitBlt>(device.function(INDEX_DrvBitBlt));
        if (known && (info.flHooks & HOOK_COPYBITS))
            pfnCopyBits_ = reinterpret_cast<PFN_DrvCopyBits>(device.function(INDEX_DrvCopyBits));
    }
    ~Painter() {
        for (BRUSHOBJ* pbo : brushes_) vnx::engine::delete_brush(pbo);
        for (XLATEOBJ* pxlo : xlates_) vnx::engine::delete_xlate(pxlo);
        for (SURFOBJ* pso : bitmaps_) {
            HSURF h = pso->hsurf;
            EngUnlockSurface(pso);
            EngDeleteSurface(h);
        }
    }

    ULONG colour(ULONG rgb) const { return device_colour(format_, rgb); }

    // The general blit: target the screen.
    void blt(RECTL r, CLIPOBJ* pco, SURFOBJ* psoSrc, POINTL ptlSrc, BRUSHOBJ* pbo, ROP4 rop4,
             XLATEOBJ* pxlo = nullptr) {
        POINTL org = {0, 0};
        const BOOL ok = pfnBitBlt_ != nullptr ? pfnBitBlt_(pso_, psoSrc, nullptr, pco, pxlo, &r,
                                                           &ptlSrc, nullptr, pbo, &org, rop4)
                                              : EngBitBlt(pso_, psoSrc, nullptr, pco, pxlo, &r,
                                                          &ptlSrc, nullptr, pbo, &org, rop4);
        ++(ok ? drawn_ : failed_);
    }
    void copy(RECTL r, SURFOBJ* psoSrc, POINTL ptlSrc, XLATEOBJ* pxlo = nullptr) {
        const BOOL ok = pfnCopyBits_ != nullptr
                            ? pfnCopyBits_(pso_, psoSrc, nullptr, pxlo, &r, &ptlSrc)
                            : EngCopyBits(pso_, psoSrc, nullptr, pxlo, &r, &ptlSrc);
        ++(ok ? drawn_ : failed_);
    }

    BRUSHOBJ* solid_brush(ULONG rgb) {
        vnx::engine::BrushDesc d;
        d.iSolidColor = colour(rgb);
        d.psoTarget = pso_;
        return keep(vnx::engine::create_brush(d));
    }
    void solid(RECTL r, ULONG rop3, ULONG rgb) {
        blt(r, nullptr, nullptr, {0, 0}, solid_brush(rgb), rop3 | rop3 << 8);
    }
    void solid_clipped(RECTL r, CLIPOBJ* pco, ULONG rop3, ULONG rgb) {
        blt(r, pco, nullptr, {0, 0}, solid_brush(rgb), rop3 | rop3 << 8);
    }
    // A frame of width w inside r.
    void frame(const RECTL& r, LONG w, ULONG rop3, ULONG rgb) {
        solid({r.left, r.top, r.right, r.top + w}, rop3, rgb);
        solid({r.left, r.bottom - w, r.right, r.bottom}, rop3, rgb);
        solid({r.left, r.top + w, r.left + w, r.bottom - w}, rop3, rgb);
        solid({r.right - w, r.top + w, r.right, r.bottom - w}, rop3, rgb);
    }
    // A host bitmap in the screen's format, pixel (x, y) from fn(x, y).
    template <typename Fn>
    SURFOBJ* bitmap(LONG cx, LONG cy, Fn fn) {
        HSURF h = EngCreateBitmap(SIZEL{cx, cy}, 0, format_.iBitmapFormat, BMF_TOPDOWN, nullptr);
        if (h == nullptr) return nullptr;
        SURFOBJ* pso = EngLockSurface(h);
        if (pso == nullptr) {
            EngDeleteSurface(h);
            return nullptr;
        }
        bitmaps_.push_back(pso);
        const ULONG cb = format_.cjPixel;
        for (LONG y = 0; y < cy; ++y)
            for (LONG x = 0; x < cx; ++x) {
                const ULONG c = colour(fn(x, y));
                std::memcpy(static_cast<BYTE*>(pso->pvScan0) + y * pso->lDelta + x * cb, &c, cb);
            }
        return pso;
    }
    // A colour pattern brush: pixel (x, y) of the 8x8 pattern from fn(x, y).
    template <typename Fn>
    BRUSHOBJ* pattern_brush(Fn fn) {
        vnx::engine::BrushDesc d;
        d.psoTarget = pso_;
        d.psoPattern = bitmap(8, 8, fn);
        return d.psoPattern != nullptr ? keep(vnx::engine::create_brush(d)) : nullptr;
    }
    // A two-colour brush of a hatch surface.
    BRUSHOBJ* hatch_brush(HSURF hsurfHatch, ULONG iHatch, ULONG rgbFore, ULONG rgbBack) {
        SURFOBJ* pat = EngLockSurface(hsurfHatch);
        if (pat == nullptr) return nullptr;
        const ULONG vector[2] = {colour(rgbBack), colour(rgbFore)};
        XLATEOBJ* pxlo = vnx::engine::create_xlate_vector(vector, 2);
        xlates_.push_back(pxlo);
        vnx::engine::BrushDesc d;
        d.psoTarget = pso_;
        d.psoPattern = pat;
        d.pxlo = pxlo;
        d.iHatch = iHatch;
        BRUSHOBJ* pbo = keep(vnx::engine::create_brush(d));
        EngUnlockSurface(pat);
        return pbo;
    }
    int drawn() const { return drawn_; }
    int failed() const { return failed_; }

  private:
    BRUSHOBJ* keep(BRUSHOBJ* pbo) {
        if (pbo != nullptr) brushes_.push_back(pbo);
        return pbo;
    }

    const ScreenFormat& format_;
    SURFOBJ* pso_;
    PFN_DrvBitBlt pfnBitBlt_ = nullptr;
    PFN_DrvCopyBits pfnCopyBits_ = nullptr;
    std::vector<BRUSHOBJ*> brushes_;
    std::vector<XLATEOBJ*> xlates_;
    std::vector<SURFOBJ*> bitmaps_;  // locked host bitmaps
    int drawn_ = 0;
    int failed_ = 0;
};

}  // namespace

std::vector<RECTL> subtract(const RECTL& r, const RECTL& b) {
    std::vector<RECTL> out;
    auto add = [&](LONG l, LONG t, LONG rr, LONG bb) {
        if (l < rr && t < bb) out.push_back(RECTL{l, t, rr, bb});
    };
    const LONG top = std::max(r.top, std::min(r.bottom, b.top));
    const LONG bottom = std::min(r.bottom, std::max(r.top, b.bottom));
    add(r.left, r.top, r.right, top);
    add(r.left, bottom, r.right, r.bottom);
    add(r.left, top, std::min(r.right, b.left), bottom);
    add(std::max(r.left, b.right), top, r.right, bottom);
    return out;
}

namespace {

// A window: frame, title bar and client area.
struct Window {
    RECTL outer;
    RECTL title() const { return {outer.left + 3, outer.top + 3, outer.right - 3, outer.top + 23}; }
    RECTL client() const {
        return {outer.left + 3, outer.top + 24, outer.right - 3, outer.bottom - 3};
    }
};

// Moves a window by (dx, dy) as a window manager does: a screen-to-screen
// copy of its pixels (overlapping itself), then the uncovered strips of its
// old place painted with the desktop background.
void move_window(Painter& paint, SURFOBJ* pso, const RECTL& from, LONG dx, LONG dy,
                 BRUSHOBJ* pboBackground) {
    RECTL to = {from.left + dx, from.top + dy, from.right + dx, from.bottom + dy};
    paint.blt(to, nullptr, pso, {from.left, from.top}, nullptr, 0xCCCC);
    // The strips it uncovers show the desktop again (the pattern keeps its
    // screen origin, so it joins the background around it).
    for (RECTL r : subtract(from, to))
        paint.blt(r, nullptr, nullptr, {0, 0}, pboBackground, 0xF0F0);
}

}  // namespace

int draw_desktop(vnx::engine::Device& device) {
    ScreenFormat format;
    if (!query_format(device, &format)) return 0;
    SURFOBJ* pso = EngLockSurface(device.hsurf());
    if (pso == nullptr) return 0;
    // The whole drawing area: both screens of a split board.
    const LONG cx = format.cx, cy = format.cy;
    int drawn = 0;
    {
        Painter paint(device, pso, format);

        // The background: a woven teal pattern; the taskbar below it.
        const LONG taskbar = cy - 30;
        BRUSHOBJ* pboBackground = paint.pattern_brush([](int x, int y) -> ULONG {
            return ((x + y) & 7) < 2 || ((x - y) & 7) < 2 ? 0x2E8B8B : 0x1F5F6F;
        });
        paint.blt({0, 0, cx, taskbar}, nullptr, nullptr, {0, 0}, pboBackground, 0xF0F0);
        paint.solid({0, taskbar, cx, cy}, 0xF0, 0xC0C0C0);
        paint.solid({0, taskbar, cx, taskbar + 2}, 0xF0, 0xFFFFFF);
        paint.solid({4, taskbar + 5, 84, cy - 4}, 0xF0, 0x808080);
        paint.solid({4, taskbar + 5, 82, cy - 6}, 0xF0, 0xE0E0E0);
        paint.solid({12, taskbar + 10, 28, cy - 10}, 0xF0, 0x008000);

        // Desktop icons: the first drawn on the screen, the others copied from
        // it on the board; their labels white (0xFFFF whatever the brush). A
        // host bitmap XOR-ed onto the screen (a source ROP from host memory,
        // which the engine draws), and a dragged outline drawn with XOR.
        paint.solid({20, 20, 52, 52}, 0xF0, 0xFFFFFF);
        paint.solid({24, 24, 48, 48}, 0xF0, 0xC00000);
        for (int i = 1; i < 4; ++i) paint.copy({20, 20 + i * 70, 52, 52 + i * 70}, pso, {20, 20});
        for (int i = 0; i < 4; ++i)
            paint.blt({16, 58 + i * 70, 56, 64 + i * 70}, nullptr, nullptr, {0, 0}, nullptr,
                      0xFFFF);
        SURFOBJ* sprite = paint.bitmap(24, 24, [](int x, int y) -> ULONG {
            return (x - 12) * (x - 12) + (y - 12) * (y - 12) < 100 ? 0x00C0C0 : 0;
        });
        if (sprite != nullptr)
            paint.blt({24, 94, 48, 118}, nullptr, sprite, {0, 0}, nullptr, 0x6666);
        paint.frame({90, 300, 170, 360}, 2, 0x5A, 0xFFFFFF);

        // Two windows.
        const Window back{{cx / 8 + 100, cy / 10, cx / 2 + 180, cy / 2 + 40}};
        const Window front{{cx / 3 + 60, cy / 4 + 40, cx - cx / 8, taskbar - 40}};
        const RECTL shadow = {front.outer.left + 8, front.outer.top + 8, front.outer.right + 8,
                              front.outer.bottom + 8};
        // The front window: a shadow that darkens what lies below (P AND D),
        // frame, title bar, client, text lines, and a selection inverted with
        // NOT D.
        paint.solid(shadow, 0xA0, 0x606060);
        paint.solid(front.outer, 0xF0, 0xC0C0C0);
        paint.frame(front.outer, 1, 0xF0, 0x404040);
        paint.solid(front.title(), 0xF0, 0x000080);
        paint.solid({front.title().right - 18, front.title().top + 3, front.title().right - 4,
                     front.title().bottom - 3},
                    0xF0, 0xC0C0C0);
        paint.solid(front.client(), 0xF0, 0xFFFFFF);
        for (int i = 0; i < 10; ++i) {
            const LONG y = front.client().top + 14 + i * 18;
            if (y + 8 > front.client().bottom - 40) break;
            paint.solid(
                {front.client().left + 14, y, front.client().right - 30 - (i % 4) * 40, y + 8},
                0xF0, 0x202020);
        }
        const LONG ySel = front.client().top + 14 + 2 * 18 - 4;
        paint.solid({front.client().left + 10, ySel, front.client().right - 60, ySel + 34}, 0x55,
                    0);
        // A colour bar of XOR-ed (0x5A) and ORed (0xFA) colours.
        const RECTL bar = {front.client().left + 14, front.client().bottom - 34,
                           front.client().right - 14, front.client().bottom - 12};
        const LONG step = (bar.right - bar.left) / 6;
        const ULONG hues[6] = {0xFF0000, 0xFFFF00, 0x00FF00, 0x00FFFF, 0x0000FF, 0xFF00FF};
        for (int i = 0; i < 6; ++i)
            paint.solid({bar.left + i * step, bar.top, bar.left + (i + 1) * step, bar.bottom}, 0x5A,
                        hues[i]);
        paint.solid({bar.left, bar.top + 8, bar.right, bar.top + 14}, 0xFA, 0x0000C0);

        // The back window, which the front one partly covers, painted after it
        // (as when it is uncovered): each part is filled clipped to what stays
        // visible.
        std::vector<RECTL> visible = subtract(back.outer, front.outer);
        // A picture uploaded from host memory, and a band of it blended in
        // with a coloured brush (source and pattern: the engine draws it).
        SURFOBJ* picture = paint.bitmap(64, 48, [](int x, int y) -> ULONG {
            return static_cast<ULONG>(x * 4) << 16 | static_cast<ULONG>(y * 5) << 8 | 0x80;
        });
        CLIPOBJ* pco = vnx::engine::create_clip(visible.data(), static_cast<ULONG>(visible.size()));
        paint.solid_clipped(back.outer, pco, 0xF0, 0xC0C0C0);
        paint.solid_clipped(back.title(), pco, 0xF0, 0x808080);
        paint.solid_clipped(back.client(), pco, 0xF0, 0xFFFFE0);
        const RECTL hatched = {back.client().left + 10, back.client().top + 10,
                               back.client().right - 10, back.client().top + 90};
        // A diagonal-cross hatch, the background left as it is (ROP4 0xAAF0).
        if (device.patterns().size() > 5)
            paint.blt(hatched, pco, nullptr, {0, 0},
                      paint.hatch_brush(device.patterns()[5], 5, 0x4040C0, 0), 0xAAF0);
        if (picture != nullptr) {
            const RECTL pic = {back.client().right - 80, back.client().top + 100,
                               back.client().right - 16, back.client().top + 148};
            paint.blt(pic, pco, picture, {0, 0}, nullptr, 0xCCCC);
            paint.blt({pic.left, pic.top + 36, pic.right, pic.bottom}, pco, picture, {0, 36},
                      paint.solid_brush(0xFF8000), 0xB8B8);
        }
        for (int i = 0; i < 6; ++i) {
            const LONG y = back.client().top + 110 + i * 16;
            paint.solid_clipped(
                {back.client().left + 12, y, back.client().right - 40 - (i % 3) * 30, y + 8}, pco,
                0xF0, 0x404040);
        }
        vnx::engine::delete_clip(pco);
        // The front window is dragged up and left.
        move_window(paint, pso, {front.outer.left, front.outer.top, shadow.right, shadow.bottom},
                    -48, -28, pboBackground);
        drawn = paint.drawn() + draw_desktop_text(device, pso);
        drawn += draw_desktop_lines(device, pso);
        drawn += draw_dither_ramps(device, pso);
        place_pointers(device, pso);
        if (paint.failed() != 0)
            std::fprintf(stderr, "vnxsim: %d desktop operations failed\n", paint.failed());
    }
    EngUnlockSurface(pso);
    return drawn;
}

bool write_screen_png(vnx::engine::Device& device, const std::string& path) {
    ScreenPlace place;
    if (!screen_place(device, &place)) {
        std::fprintf(stderr, "vnxsim: there is no screen to write\n");
        return false;
    }
    vnx::board::Board& board = device.machine().board();
    const LONG cx = place.cxScreen, cy = place.cyScreen;
    const int screens = board.boards();
    // Each board shows its own screen from the primary in its memory, held by
    // the tile owners of that board.
    std::vector<std::uint32_t> image(static_cast<size_t>(cx) * screens * cy);
    for (int s = 0; s < screens; ++s) {
        const auto part = board.read_rgb(s, place.pid, place.x, place.y, cx, cy);
        for (LONG y = 0; y < cy; ++y)
            std::copy_n(part.begin() + y * cx, cx, image.begin() + (y * screens + s) * cx);
    }
    overlay_cursors(device, image, cx, cy);

    const png_uint_32 width = static_cast<png_uint_32>(cx * screens);
    std::vector<png_byte> row(3 * width);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::fprintf(stderr, "vnxsim: cannot write '%s'\n", path.c_str());
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        std::fprintf(stderr, "vnxsim: writing '%s' failed\n", path.c_str());
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, width, static_cast<png_uint_32>(cy), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (LONG y = 0; y < cy; ++y) {
        for (png_uint_32 x = 0; x < width; ++x) {
            const std::uint32_t p = image[y * width + x];
            row[3 * x] = static_cast<png_byte>(p >> 16);
            row[3 * x + 1] = static_cast<png_byte>(p >> 8);
            row[3 * x + 2] = static_cast<png_byte>(p);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    const bool ok = std::fclose(f) == 0;
    if (!ok) std::fprintf(stderr, "vnxsim: writing '%s' failed\n", path.c_str());
    return ok;
}
