// vnxsim's demonstration desktop, painted through the display driver's fill
// paths (solid, colour pattern and two-colour fills, plain and clipped) on
// the primary surface, and the picture of the screen read back from board
// memory.
//
// The fills are the driver's own functions (the tool links the driver's
// objects) called with the device record of the driver the engine loaded,
// under the device lock, as the blit entry points will call them; once
// DrvBitBlt and DrvPaint exist the desktop can go through the engine.
#include "desktop.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "brush.h"
#include "fill.h"
#include "pdev.h"
#include "platform/board.h"
#include "rop.h"

namespace {

// The device colour nearest to an RGB colour: a palette index at 8 bits a
// pixel, 5-5-5 at 16, 0x00RRGGBB at 32.
ULONG device_colour(const PDEV* ppdev, ULONG rgb) {
    const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    switch (ppdev->iBitmapFormat) {
    case BMF_8BPP: {
        ULONG best = 0;
        int bestDistance = 1 << 30;
        for (ULONG i = 0; i < PALETTE_ENTRIES; ++i) {
            const PALETTEENTRY& e = ppdev->pPal[i];
            const int d = (e.peRed - r) * (e.peRed - r) + (e.peGreen - g) * (e.peGreen - g) +
                          (e.peBlue - b) * (e.peBlue - b);
            if (d < bestDistance) {
                bestDistance = d;
                best = i;
            }
        }
        return best;
    }
    case BMF_16BPP:
        return static_cast<ULONG>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
    default:
        return rgb & 0xFFFFFF;
    }
}

// A realized brush with room for a pattern at 32 bits a pixel.
struct Brush {
    std::vector<ULONG> words = std::vector<ULONG>(4 + 64, 0);
    REALBRUSH* get() { return reinterpret_cast<REALBRUSH*>(words.data()); }
};

class Painter {
public:
    Painter(PDEV* ppdev, SURFOBJ* pso) : ppdev_(ppdev), pso_(pso) {}

    ULONG colour(ULONG rgb) const { return device_colour(ppdev_, rgb); }

    void solid(RECTL r, ULONG rop3, ULONG rgb) {
        vFillSolid(pso_, rop3 | rop3 << 8, ulRop3Info(rop3), colour(rgb), &r, 1);
        ++fills_;
    }
    void solid_clipped(RECTL r, CLIPOBJ* pco, ULONG rop3, ULONG rgb) {
        vFillSolidClipped(pso_, pco, rop3 | rop3 << 8, ulRop3Info(rop3), colour(rgb), &r);
        ++fills_;
    }
    // A frame of width w inside r.
    void frame(const RECTL& r, LONG w, ULONG rop3, ULONG rgb) {
        solid({r.left, r.top, r.right, r.top + w}, rop3, rgb);
        solid({r.left, r.bottom - w, r.right, r.bottom}, rop3, rgb);
        solid({r.left, r.top + w, r.left + w, r.bottom - w}, rop3, rgb);
        solid({r.right - w, r.top + w, r.right, r.bottom - w}, rop3, rgb);
    }
    // A colour pattern: pixel (x, y) of the 8x8 pattern from fn(x, y).
    template <typename Fn>
    void pattern(RECTL r, ULONG iUniq, Fn fn) {
        Brush brush;
        REALBRUSH* prb = brush.get();
        prb->fl = REALBRUSH_PIXELS;
        prb->iUniq = iUniq;
        const ULONG cb = 1u << ppdev_->iPixelClass;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const ULONG c = colour(fn(x, y));
                std::memcpy(prb->ajPattern + (y * 8 + x) * cb, &c, cb);
            }
        POINTL org = {0, 0};
        vFillPattern(pso_, &r, 1, prb, &org, ulRop3Info(0xF0), 0xF0);
        ++fills_;
    }
    // A two-colour hatch: foreground where the row bit is set, the
    // background left as it is.
    void hatch(RECTL r, CLIPOBJ* pco, const BYTE (&rows)[8], ULONG rgb) {
        Brush brush;
        REALBRUSH* prb = brush.get();
        prb->fl = REALBRUSH_MONO;
        prb->ulForeColor = colour(rgb);
        prb->ulBackColor = colour(0);
        for (int i = 0; i < 8; ++i) prb->ajPattern[2 * i] = prb->ajPattern[2 * i + 1] = rows[i];
        POINTL org = {0, 0};
        vFillTwoColourClipped(pso_, pco, &r, prb, &org, ulRop3Info(0xF0), 0xAAF0);
        ++fills_;
    }
    int fills() const { return fills_; }

private:
    PDEV* ppdev_;
    SURFOBJ* pso_;
    int fills_ = 0;
};

// The parts of r that b does not cover (at most four rectangles).
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

// A window: frame, title bar and client area.
struct Window {
    RECTL outer;
    RECTL title() const { return {outer.left + 3, outer.top + 3, outer.right - 3, outer.top + 23}; }
    RECTL client() const { return {outer.left + 3, outer.top + 24, outer.right - 3, outer.bottom - 3}; }
};

}  // namespace

int draw_desktop(vnx::engine::Device& device) {
    PDEV* ppdev = reinterpret_cast<PDEV*>(device.dhpdev());
    SURFOBJ* pso = EngLockSurface(device.hsurf());
    if (ppdev == nullptr || pso == nullptr) return 0;
    // The whole drawing area: both screens of a split board.
    const LONG cx = ppdev->cxSurface, cy = ppdev->cySurface;
    Painter paint(ppdev, pso);
    EnterCriticalSection(&ppdev->csEscape);

    // The background: a woven teal pattern; the taskbar below it.
    const LONG taskbar = cy - 30;
    paint.pattern({0, 0, cx, taskbar}, 0x1001, [](int x, int y) -> ULONG {
        return ((x + y) & 7) < 2 || ((x - y) & 7) < 2 ? 0x2E8B8B : 0x1F5F6F;
    });
    paint.solid({0, taskbar, cx, cy}, 0xF0, 0xC0C0C0);
    paint.solid({0, taskbar, cx, taskbar + 2}, 0xF0, 0xFFFFFF);
    paint.solid({4, taskbar + 5, 84, cy - 4}, 0xF0, 0x808080);
    paint.solid({4, taskbar + 5, 82, cy - 6}, 0xF0, 0xE0E0E0);
    paint.solid({12, taskbar + 10, 28, cy - 10}, 0xF0, 0x008000);

    // Desktop icons, and a dragged outline drawn with XOR.
    for (int i = 0; i < 4; ++i) {
        const LONG y = 20 + i * 70;
        paint.solid({20, y, 52, y + 32}, 0xF0, i % 2 ? 0xFFFF80 : 0xFFFFFF);
        paint.solid({24, y + 4, 48, y + 28}, 0xF0, i % 2 ? 0x0000C0 : 0xC00000);
        paint.solid({16, y + 38, 56, y + 44}, 0xF0, 0xFFFFFF);
    }
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
                 front.title().bottom - 3}, 0xF0, 0xC0C0C0);
    paint.solid(front.client(), 0xF0, 0xFFFFFF);
    for (int i = 0; i < 10; ++i) {
        const LONG y = front.client().top + 14 + i * 18;
        if (y + 8 > front.client().bottom - 40) break;
        paint.solid({front.client().left + 14, y, front.client().right - 30 - (i % 4) * 40, y + 8},
                    0xF0, 0x202020);
    }
    const LONG ySel = front.client().top + 14 + 2 * 18 - 4;
    paint.solid({front.client().left + 10, ySel, front.client().right - 60, ySel + 34}, 0x55, 0);
    // A colour bar of XOR-ed (0x5A) and ORed (0xFA) colours.
    const RECTL bar = {front.client().left + 14, front.client().bottom - 34, front.client().right - 14,
                       front.client().bottom - 12};
    const LONG step = (bar.right - bar.left) / 6;
    const ULONG hues[6] = {0xFF0000, 0xFFFF00, 0x00FF00, 0x00FFFF, 0x0000FF, 0xFF00FF};
    for (int i = 0; i < 6; ++i)
        paint.solid({bar.left + i * step, bar.top, bar.left + (i + 1) * step, bar.bottom}, 0x5A, hues[i]);
    paint.solid({bar.left, bar.top + 8, bar.right, bar.top + 14}, 0xFA, 0x0000C0);

    // The back window, which the front one partly covers, painted after it
    // (as when it is uncovered): each part is filled clipped to what stays
    // visible.
    std::vector<RECTL> visible = subtract(back.outer, front.outer);
    CLIPOBJ* pco = vnx::engine::create_clip(visible.data(), static_cast<ULONG>(visible.size()));
    paint.solid_clipped(back.outer, pco, 0xF0, 0xC0C0C0);
    paint.solid_clipped(back.title(), pco, 0xF0, 0x808080);
    paint.solid_clipped(back.client(), pco, 0xF0, 0xFFFFE0);
    const BYTE cross[8] = {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81};
    const RECTL hatched = {back.client().left + 10, back.client().top + 10, back.client().right - 10,
                           back.client().top + 90};
    paint.hatch(hatched, pco, cross, 0x4040C0);
    for (int i = 0; i < 6; ++i) {
        const LONG y = back.client().top + 110 + i * 16;
        paint.solid_clipped({back.client().left + 12, y, back.client().right - 40 - (i % 3) * 30, y + 8},
                            pco, 0xF0, 0x404040);
    }
    vnx::engine::delete_clip(pco);

    LeaveCriticalSection(&ppdev->csEscape);
    EngUnlockSurface(pso);
    return paint.fills();
}

bool write_screen_png(vnx::engine::Device& device, const std::string& path) {
    const PDEV* ppdev = reinterpret_cast<const PDEV*>(device.dhpdev());
    const DFB* pdfb = ppdev->pdsurfScreen != nullptr ? ppdev->pdsurfScreen->pdfb : nullptr;
    if (pdfb == nullptr) {
        std::fprintf(stderr, "vnxsim: there is no screen to write\n");
        return false;
    }
    vnx::board::Board& board = device.machine().board();
    const LONG cx = ppdev->cxScreen, cy = ppdev->cyScreen;
    const int screens = board.boards();
    // Each board shows its own screen from the primary in its memory, held by
    // the tile owners of that board.
    std::vector<std::uint32_t> image(static_cast<size_t>(cx) * screens * cy);
    for (int s = 0; s < screens; ++s) {
        const auto part = board.read_rgb(s, static_cast<std::uint16_t>(pdfb->pid), pdfb->x, pdfb->y,
                                         cx, cy);
        for (LONG y = 0; y < cy; ++y)
            std::copy_n(part.begin() + y * cx, cx, image.begin() + (y * screens + s) * cx);
    }

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
