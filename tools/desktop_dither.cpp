// The desktop's band of colour ramps. At 8 bits a pixel a colour is drawn
// as the engine draws a colour the palette cannot show on a device that
// dithers on realization: a brush of RB_DITHERCOLOR | the colour, which the
// driver's DrvRealizeBrush turns into a pattern of palette indices; the
// engine's own copy of the pattern (for when it draws the brush itself)
// comes from the driver's DrvDitherColor. At 16 and 32 bits the colours
// are solid brushes.
#include "desktop_dither.h"
#include "desktop.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int kSteps = 32;  // cells of a ramp
constexpr LONG kRampHeight = 8;
constexpr LONG kTaskbar = 30;  // the taskbar's height at the foot of the screen
constexpr LONG kGap = 6;       // between the band and the taskbar
constexpr LONG kLeft = 100;    // clear of the desktop icons
constexpr LONG kRight = 16;

// 0xRRGGBB of step i (0..kSteps-1) of each ramp.
using Ramp = ULONG (*)(int i);
ULONG Level(int i) { return static_cast<ULONG>(i * 255 / (kSteps - 1)); }
ULONG Hue(int i) {
    // Red, yellow, green, cyan, blue, magenta and back, at full saturation.
    const int h = i * 6 * 256 / kSteps, sector = h >> 8, f = h & 0xFF;
    const ULONG up = static_cast<ULONG>(f), down = 255 - up;
    const ULONG rgb[6][3] = {{255, up, 0},   {down, 255, 0}, {0, 255, up},
                             {0, down, 255}, {up, 0, 255},   {255, 0, down}};
    const ULONG* c = rgb[sector];
    return c[0] << 16 | c[1] << 8 | c[2];
}
const Ramp kRamps[] = {
    [](int i) { return Level(i) * 0x010101u; },
    [](int i) { return Level(i) << 16; },
    [](int i) { return Level(i) << 8; },
    [](int i) { return Level(i); },
    Hue,
    [](int i) { return Level(i) << 16 | (Level(i) * 5 / 8) << 8 | Level(i) / 4; },
};

// The engine's pattern of a dithered colour (0x00BBGGRR): the 64 palette
// indices of DrvDitherColor's colour mode as an 8x8 host bitmap. Null when
// it cannot be made.
HSURF dither_pattern(vnx::engine::Device& device, PFN_DrvDitherColor pfnDither, ULONG bgr) {
    ULONG aulIndices[16];
    if (!pfnDither(device.dhpdev(), 0, bgr, aulIndices)) return nullptr;
    HSURF h = EngCreateBitmap(SIZEL{8, 8}, 0, BMF_8BPP, BMF_TOPDOWN, nullptr);
    SURFOBJ* pso = h != nullptr ? EngLockSurface(h) : nullptr;
    if (pso == nullptr) {
        if (h != nullptr) EngDeleteSurface(h);
        return nullptr;
    }
    for (LONG y = 0; y < 8; ++y)
        std::memcpy(static_cast<BYTE*>(pso->pvScan0) + y * pso->lDelta,
                    reinterpret_cast<const BYTE*>(aulIndices) + 8 * y, 8);
    EngUnlockSurface(pso);
    return h;
}

}  // namespace

int draw_dither_ramps(vnx::engine::Device& device, SURFOBJ* pso) {
    ScreenFormat format;
    if (pso == nullptr || !query_format(device, &format)) return 0;
    vnx::engine::SurfaceInfo info{};
    const bool hooked =
        vnx::engine::query_surface(pso->hsurf, &info) && (info.flHooks & HOOK_BITBLT) != 0;
    auto pfnBitBlt =
        hooked ? reinterpret_cast<PFN_DrvBitBlt>(device.function(INDEX_DrvBitBlt)) : nullptr;
    auto pfnDither = reinterpret_cast<PFN_DrvDitherColor>(device.function(INDEX_DrvDitherColor));
    const bool bDither = pso->iBitmapFormat == BMF_8BPP && pfnDither != nullptr;

    const LONG cx = pso->sizlBitmap.cx, cy = pso->sizlBitmap.cy;
    const LONG cRamps = static_cast<LONG>(sizeof kRamps / sizeof kRamps[0]);
    const LONG yTop = cy - kTaskbar - kGap - cRamps * kRampHeight;
    const LONG cxCell = (cx - kLeft - kRight) / kSteps;
    if (yTop < 0 || cxCell <= 0) return 0;

    int drawn = 0, failed = 0;
    for (LONG r = 0; r < cRamps; ++r) {
        for (int i = 0; i < kSteps; ++i) {
            const ULONG rgb = kRamps[r](i);
            // The engine's colours are 0x00BBGGRR.
            const ULONG bgr = (rgb & 0xFF) << 16 | (rgb & 0xFF00) | rgb >> 16;
            vnx::engine::BrushDesc d;
            d.psoTarget = pso;
            HSURF hsurfPattern = nullptr;
            if (bDither) {
                hsurfPattern = dither_pattern(device, pfnDither, bgr);
                SURFOBJ* psoPattern =
                    hsurfPattern != nullptr ? EngLockSurface(hsurfPattern) : nullptr;
                d.psoPattern = psoPattern;
                d.iHatch = RB_DITHERCOLOR | bgr;
            } else {
                d.iSolidColor = device_colour(format, rgb);  // 5-5-5 at 16 bits, 0x00RRGGBB at 32
            }
            // The engine keeps its own copy of the pattern.
            BRUSHOBJ* pbo =
                bDither && d.psoPattern == nullptr ? nullptr : vnx::engine::create_brush(d);
            if (d.psoPattern != nullptr) EngUnlockSurface(d.psoPattern);
            if (hsurfPattern != nullptr) EngDeleteSurface(hsurfPattern);
            if (pbo == nullptr) {
                ++failed;
                continue;
            }
            RECTL rcl = {kLeft + i * cxCell, yTop + r * kRampHeight, kLeft + (i + 1) * cxCell,
                         yTop + (r + 1) * kRampHeight};
            POINTL ptlBrush = {0, 0};
            const BOOL ok = pfnBitBlt != nullptr
                                ? pfnBitBlt(pso, nullptr, nullptr, nullptr, nullptr, &rcl, nullptr,
                                            nullptr, pbo, &ptlBrush, 0xF0F0)
                                : EngBitBlt(pso, nullptr, nullptr, nullptr, nullptr, &rcl, nullptr,
                                            nullptr, pbo, &ptlBrush, 0xF0F0);
            ++(ok ? drawn : failed);
            vnx::engine::delete_brush(pbo);
        }
    }
    if (failed != 0) std::fprintf(stderr, "vnxsim: %d colour-ramp fills failed\n", failed);
    return drawn;
}
