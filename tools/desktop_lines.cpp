// The desktop's lines: two small windows whose frames are drawn as lines,
// a fan of lines in several mixes and styles inside the lower one, clipped
// by the window that overlaps it, and a polyline clipped to a grid of
// panes. Every stroke goes to the driver's DrvStrokePath when the screen
// hooks it (else, or when the driver declines, to EngStrokePath), every
// fill to its DrvPaint, as the engine dispatches them.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "desktop.h"

namespace {

// 28.4 fixed point of a pixel coordinate.
constexpr FIX fx(LONG v) { return v * 16; }

class LinePainter {
  public:
    LinePainter(vnx::engine::Device& device, SURFOBJ* pso, const ScreenFormat& format)
        : format_(format), pso_(pso) {
        vnx::engine::SurfaceInfo info{};
        const bool known = vnx::engine::query_surface(pso->hsurf, &info);
        if (known && (info.flHooks & HOOK_STROKEPATH))
            pfnStroke_ = reinterpret_cast<PFN_DrvStrokePath>(device.function(INDEX_DrvStrokePath));
        if (known && (info.flHooks & HOOK_PAINT))
            pfnPaint_ = reinterpret_cast<PFN_DrvPaint>(device.function(INDEX_DrvPaint));
    }
    ~LinePainter() {
        for (BRUSHOBJ* pbo : brushes_) vnx::engine::delete_brush(pbo);
    }

    BRUSHOBJ* pen(ULONG rgb) {
        vnx::engine::BrushDesc d;
        d.iSolidColor = device_colour(format_, rgb);
        d.psoTarget = pso_;
        BRUSHOBJ* pbo = vnx::engine::create_brush(d);
        if (pbo != nullptr) brushes_.push_back(pbo);
        return pbo;
    }
    void stroke(const std::vector<vnx::engine::SubPath>& s, CLIPOBJ* pco, ULONG rgb, MIX mix,
                LINEATTRS* pla = nullptr) {
        PATHOBJ* ppo = vnx::engine::create_path(s);
        BRUSHOBJ* pbo = pen(rgb);
        POINTL org = {0, 0};
        BOOL ok = pfnStroke_ != nullptr && pfnStroke_(pso_, ppo, pco, nullptr, pbo, &org, pla, mix);
        if (!ok) ok = EngStrokePath(pso_, ppo, pco, nullptr, pbo, &org, pla, mix);
        vnx::engine::delete_path(ppo);
        ++(ok ? drawn_ : failed_);
    }
    // A window frame: a closed rectangle of lines just inside r.
    void frame(const RECTL& r, CLIPOBJ* pco, ULONG rgb) {
        stroke({{{{fx(r.left), fx(r.top)}, {fx(r.right - 1), fx(r.top)}, {fx(r.right - 1), fx(r.bottom - 1)},
                  {fx(r.left), fx(r.bottom - 1)}},
                 true, false}},
               pco, rgb, 0x0D0D);
    }
    void paint(const RECTL& r, ULONG rgb) {
        CLIPOBJ* pco = vnx::engine::create_clip(&r, 1);
        BRUSHOBJ* pbo = pen(rgb);
        POINTL org = {0, 0};
        BOOL ok = pfnPaint_ != nullptr && pfnPaint_(pso_, pco, pbo, &org, 0x0D0D);
        if (!ok) ok = EngPaint(pso_, pco, pbo, &org, 0x0D0D);
        vnx::engine::delete_clip(pco);
        ++(ok ? drawn_ : failed_);
    }
    int drawn() const { return drawn_; }
    int failed() const { return failed_; }

  private:
    const ScreenFormat& format_;
    SURFOBJ* pso_;
    PFN_DrvStrokePath pfnStroke_ = nullptr;
    PFN_DrvPaint pfnPaint_ = nullptr;
    std::vector<BRUSHOBJ*> brushes_;
    int drawn_ = 0;
    int failed_ = 0;
};

}  // namespace

int draw_desktop_lines(vnx::engine::Device& device, SURFOBJ* pso) {
    ScreenFormat format;
    if (pso == nullptr || !query_format(device, &format)) return 0;
    LinePainter lines(device, pso, format);
    // The whole drawing area: both screens of a split board.
    const LONG cx = format.cx, cy = format.cy;

    // The lower window and the one overlapping its right part.
    const LONG cxLow = format.cxScreen;  // the lower windows keep to the first screen
    const RECTL low = {cxLow * 8 / 100, cy * 57 / 100, cxLow * 32 / 100, cy * 92 / 100};
    const LONG w = low.right - low.left, h = low.bottom - low.top;
    const RECTL over = {low.left + w * 62 / 100, low.top + h * 45 / 100, low.right + w / 10, low.bottom + h / 12};
    const RECTL client = {low.left + 2, low.top + 20, low.right - 2, low.bottom - 2};
    lines.paint(low, 0xD4D0C8);
    lines.paint({low.left + 2, low.top + 2, low.right - 2, low.top + 18}, 0x0A246A);
    lines.paint(client, 0xFFFFFF);
    lines.frame(low, nullptr, 0x404040);

    // What of the client the overlapping window leaves visible.
    std::vector<RECTL> visible;
    auto add = [&](LONG l, LONG t, LONG r, LONG b) {
        if (l < r && t < b) visible.push_back(RECTL{l, t, r, b});
    };
    add(client.left, client.top, client.right, over.top);
    add(client.left, over.top, over.left, client.bottom);
    CLIPOBJ* pcoVisible = vnx::engine::create_clip(visible.data(), static_cast<ULONG>(visible.size()));

    // The fan: 36 lines from the client's lower left corner, in turns solid
    // copy, XOR, alternate, dashed and dash-dotted.
    FLOAT_LONG dash[2], dashDot[4];
    dash[0].l = 4;
    dash[1].l = 2;
    dashDot[0].l = 5;
    dashDot[1].l = 2;
    dashDot[2].l = 1;
    dashDot[3].l = 2;
    const ULONG hues[6] = {0xC00000, 0x008000, 0x0000C0, 0xC06000, 0x800080, 0x008080};
    const LONG ox = client.left + 6, oy = client.bottom - 6;
    const LONG radius = std::max(w, h) * 11 / 10;
    for (int i = 0; i < 36; ++i) {
        const double a = -1.5707963 * i / 35.0;
        const FIX x1 = fx(ox) + static_cast<FIX>(16.0 * radius * std::cos(a));
        const FIX y1 = fx(oy) + static_cast<FIX>(16.0 * radius * std::sin(a));
        LINEATTRS la{};
        LINEATTRS* pla = nullptr;
        MIX mix = 0x0D0D;
        switch (i % 5) {
            case 1: mix = 0x0707; break;
            case 2: la.fl = LA_ALTERNATE; pla = &la; break;
            case 3: la.cstyle = 2; la.pstyle = dash; pla = &la; break;
            case 4: la.cstyle = 4; la.pstyle = dashDot; pla = &la; break;
            default: break;
        }
        lines.stroke({{{{fx(ox), fx(oy)}, {x1, y1}}, false, false}}, pcoVisible, hues[i % 6], mix, pla);
    }
    vnx::engine::delete_clip(pcoVisible);

    // The overlapping window on top, with a closed zigzag inside it.
    lines.paint(over, 0xD4D0C8);
    lines.paint({over.left + 2, over.top + 2, over.right - 2, over.top + 18}, 0x808080);
    lines.frame(over, nullptr, 0x202020);
    std::vector<POINTFIX> zigzag;
    for (LONG k = 0; k <= 12; ++k)
        zigzag.push_back({fx(over.left + 8 + k * (over.right - over.left - 16) / 12) + 8,
                          fx(k % 2 ? over.top + 28 : over.bottom - 10) + 3});
    lines.stroke({{zigzag, false, false}}, nullptr, 0xB00000, 0x0D0D);

    // A star of long lines over the desktop's top right, clipped to a grid
    // of panes (a region of many rectangles).
    std::vector<RECTL> panes;
    for (LONG y = 20; y < cy / 4; y += 12)
        for (LONG x = cx * 62 / 100 + (y / 12) % 2 * 10; x < cx - 20; x += 20) panes.push_back({x, y, x + 10, y + 12});
    CLIPOBJ* pcoPanes = vnx::engine::create_clip(panes.data(), static_cast<ULONG>(panes.size()));
    const LONG sx = cx * 81 / 100, sy = cy / 8;
    for (int i = 0; i < 12; ++i) {
        const double a = 3.14159265 * i / 12.0;
        const FIX dx = static_cast<FIX>(16.0 * 3000 * std::cos(a)), dy = static_cast<FIX>(16.0 * 3000 * std::sin(a));
        lines.stroke({{{{fx(sx) - dx, fx(sy) - dy}, {fx(sx) + dx, fx(sy) + dy}}, false, false}}, pcoPanes,
                     i % 2 ? 0xFFFF00 : 0xFFFFFF, 0x0D0D);
    }
    vnx::engine::delete_clip(pcoPanes);

    if (lines.failed() != 0) std::fprintf(stderr, "vnxsim: %d line operations failed\n", lines.failed());
    return lines.drawn();
}
