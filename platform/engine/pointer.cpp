// The pointer: the engine hands each new shape to the display driver's
// DrvSetPointerShape and each move to its DrvMovePointer. When the driver
// declines a shape (or has no pointer entries), the engine draws the
// pointer itself on the primary surface: before drawing it keeps the pixels
// it covers, and puts them back before the pointer moves, changes or hides.
//
// Drawing on the screen goes through the driver's DrvCopyBits (host views),
// as all the engine's drawing on device surfaces does. Drawing by others
// over a pointer the engine shows is not kept out of its area: whoever
// draws there hides the pointer first (move_pointer(-1, 0)).
#include <map>
#include <mutex>

#include "drawing.h"
#include "objects.h"
#include "platform/engine.h"

namespace vnx::engine {

namespace {

// A shape the engine draws: per pixel the AND and XOR bits of a monochrome
// pointer, or the AND bit and the screen value of a colour one.
struct Shape {
    LONG cx = 0, cy = 0;
    LONG xHot = 0, yHot = 0;
    bool bColour = false;
    std::vector<BYTE> andBits;   // cx * cy, 0 or 1
    std::vector<ULONG> values;   // cx * cy: XOR bits (monochrome) or screen values (colour)
};

struct PointerState {
    bool bDriver = false;      // the driver shows the pointer
    bool bShape = false;       // the engine has a shape to draw
    Shape shape;
    bool bShown = false;       // the engine's pointer is on the screen
    RECTL rclShown{};          // where, clipped to the screen
    std::vector<ULONG> saved;  // the screen's pixels there, row by row
};

std::mutex gLock;
std::map<HDEV, PointerState> gPointers;

// The shape of a mask (AND plane over XOR plane) and an optional colour
// bitmap; false when they cannot be read.
bool read_shape(SURFOBJ* psoMask, SURFOBJ* psoColor, XLATEOBJ* pxlo, ULONG iScreenFormat,
                Shape* s) {
    if (psoMask == nullptr || psoMask->iBitmapFormat != BMF_1BPP || !host_pixels(psoMask))
        return false;
    s->cx = psoMask->sizlBitmap.cx;
    s->cy = psoMask->sizlBitmap.cy / 2;
    if (s->cx <= 0 || s->cy <= 0) return false;
    const size_t n = static_cast<size_t>(s->cx) * static_cast<size_t>(s->cy);
    s->andBits.resize(n);
    s->values.resize(n);
    const PixelFormat* mono = pixel_format(BMF_1BPP);
    std::vector<ULONG> line(static_cast<size_t>(s->cx));
    for (LONG y = 0; y < s->cy; ++y) {
        mono->fetch(row_address(psoMask, y), 0, s->cx, line.data());
        for (LONG x = 0; x < s->cx; ++x)
            s->andBits[static_cast<size_t>(y) * s->cx + x] = static_cast<BYTE>(line[x] & 1);
    }
    s->bColour = psoColor != nullptr;
    if (!s->bColour) {
        for (LONG y = 0; y < s->cy; ++y)
            mono->fetch(row_address(psoMask, s->cy + y), 0, s->cx,
                        s->values.data() + static_cast<size_t>(y) * s->cx);
        return true;
    }
    const PixelFormat* f = pixel_format(psoColor->iBitmapFormat);
    Translator xlate;
    if (f == nullptr || !host_pixels(psoColor) || psoColor->sizlBitmap.cx < s->cx ||
        psoColor->sizlBitmap.cy < s->cy || !xlate.open(pxlo))
        return false;
    const ULONG ulOnes = all_ones(pixel_format(iScreenFormat)->cBits);
    for (LONG y = 0; y < s->cy; ++y) {
        ULONG* pul = s->values.data() + static_cast<size_t>(y) * s->cx;
        f->fetch(row_address(psoColor, y), 0, s->cx, pul);
        xlate.row(pul, s->cx);
        for (LONG x = 0; x < s->cx; ++x) pul[x] &= ulOnes;
    }
    return true;
}

// Puts back the pixels under the engine's pointer.
void hide(SURFOBJ* pso, PointerState& p) {
    if (!p.bShown) return;
    p.bShown = false;
    HostView view;
    if (!view.open(pso, p.rclShown, false)) return;
    const PixelFormat* f = pixel_format(pso->iBitmapFormat);
    const LONG cx = p.rclShown.right - p.rclShown.left;
    for (LONG y = p.rclShown.top; y < p.rclShown.bottom; ++y)
        f->store(view.row(y), view.x(p.rclShown.left), cx,
                 p.saved.data() + static_cast<size_t>(y - p.rclShown.top) * cx);
    view.commit();
}

// Draws the engine's pointer with its hot spot at (x, y), keeping what it covers.
void show(SURFOBJ* pso, PointerState& p, LONG x, LONG y) {
    const Shape& s = p.shape;
    const LONG left = saturate(std::int64_t{x} - s.xHot), top = saturate(std::int64_t{y} - s.yHot);
    const RECTL rclShape{left, top, saturate(std::int64_t{left} + s.cx),
                         saturate(std::int64_t{top} + s.cy)};
    const RECTL rcl = rect_intersect(rclShape, surface_rect(pso));
    const PixelFormat* f = pixel_format(pso->iBitmapFormat);
    if (rect_empty(rcl) || f == nullptr) return;
    HostView view;
    if (!view.open(pso, rcl, true)) return;
    const LONG cx = rcl.right - rcl.left;
    const ULONG ulOnes = all_ones(f->cBits);
    p.saved.assign(static_cast<size_t>(cx) * static_cast<size_t>(rcl.bottom - rcl.top), 0);
    std::vector<ULONG> line(static_cast<size_t>(cx));
    for (LONG y0 = rcl.top; y0 < rcl.bottom; ++y0) {
        f->fetch(view.row(y0), view.x(rcl.left), cx, line.data());
        std::copy(line.begin(), line.end(),
                  p.saved.begin() + static_cast<std::ptrdiff_t>(y0 - rcl.top) * cx);
        for (LONG i = 0; i < cx; ++i) {
            const size_t k = static_cast<size_t>(y0 - top) * s.cx + (rcl.left + i - left);
            const bool bAnd = s.andBits[k] != 0;
            if (s.bColour)
                line[i] = bAnd ? line[i] ^ s.values[k] : s.values[k];
            else
                line[i] = ((bAnd ? line[i] : 0) ^ (s.values[k] ? ulOnes : 0)) & ulOnes;
        }
        f->store(view.row(y0), view.x(rcl.left), cx, line.data());
    }
    if (!view.commit()) return;
    p.bShown = true;
    p.rclShown = rcl;
}

}  // namespace

void forget_pointer(HDEV hdev) {
    std::lock_guard<std::mutex> g(gLock);
    gPointers.erase(hdev);
}

ULONG Device::set_pointer_shape(SURFOBJ* psoMask, SURFOBJ* psoColor, XLATEOBJ* pxlo, LONG xHot,
                                LONG yHot, LONG x, LONG y, FLONG fl) {
    if (!surface_enabled()) return SPS_DECLINE;
    SURFOBJ* pso = EngLockSurface(hsurf());
    if (pso == nullptr) return SPS_DECLINE;
    std::lock_guard<std::mutex> g(gLock);
    PointerState& p = gPointers[hdev()];
    hide(pso, p);
    p.bShape = false;
    auto pfn = reinterpret_cast<PFN_DrvSetPointerShape>(function(INDEX_DrvSetPointerShape));
    const ULONG ulResult = pfn != nullptr
                               ? pfn(pso, psoMask, psoColor, pxlo, xHot, yHot, x, y, nullptr, fl)
                               : SPS_DECLINE;
    p.bDriver = ulResult != SPS_DECLINE && function(INDEX_DrvMovePointer) != nullptr;
    if (!p.bDriver) {
        Shape s;
        s.xHot = xHot;
        s.yHot = yHot;
        p.bShape = read_shape(psoMask, psoColor, pxlo, pso->iBitmapFormat, &s);
        if (p.bShape) p.shape = std::move(s);
        if (p.bShape && x != -1) show(pso, p, x, y);
    }
    EngUnlockSurface(pso);
    return ulResult;
}

void Device::move_pointer(LONG x, LONG y) {
    if (!surface_enabled()) return;
    SURFOBJ* pso = EngLockSurface(hsurf());
    if (pso == nullptr) return;
    std::lock_guard<std::mutex> g(gLock);
    PointerState& p = gPointers[hdev()];
    if (p.bDriver) {
        reinterpret_cast<PFN_DrvMovePointer>(function(INDEX_DrvMovePointer))(pso, x, y, nullptr);
    } else {
        hide(pso, p);
        if (p.bShape && x != -1) show(pso, p, x, y);
    }
    EngUnlockSurface(pso);
}

bool Device::software_pointer() const {
    std::lock_guard<std::mutex> g(gLock);
    auto it = gPointers.find(hdev());
    return it != gPointers.end() && !it->second.bDriver && it->second.bShown;
}

}  // namespace vnx::engine
