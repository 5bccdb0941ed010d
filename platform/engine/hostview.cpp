// Host views: the pixels of an area as a host bitmap the drawing code can
// read and write. A device surface's pixels live with its driver, so the
// engine copies the area into a temporary host bitmap through the driver's
// DrvCopyBits (no clip, no translation) and back when the drawing is done.
#include "drawing.h"
#include "objects.h"
#include "platform/engine.h"

namespace vnx::engine {

namespace {

// DrvCopyBits calls the engine makes on this thread and has not seen return.
thread_local int tlsTransfers = 0;

// One transfer between a device surface and a host bitmap.
bool driver_copy(SURFOBJ* psoDevice, SURFOBJ* psoDst, SURFOBJ* psoSrc, RECTL rclDst,
                 POINTL ptlSrc) {
    auto pfn = reinterpret_cast<PFN_DrvCopyBits>(device_function(psoDevice->hdev, INDEX_DrvCopyBits));
    if (pfn == nullptr) return false;
    ++tlsTransfers;
    const BOOL b = pfn(psoDst, psoSrc, nullptr, nullptr, &rclDst, &ptlSrc);
    --tlsTransfers;
    return b != FALSE;
}

}  // namespace

bool in_driver_transfer() { return tlsTransfers > 0; }

HostView::~HostView() {
    if (hsurfTemp_ != nullptr) EngDeleteSurface(hsurfTemp_);
}

bool HostView::make_temporary(ULONG iFormat, const RECTL& rcl) {
    hsurfTemp_ = create_bitmap(SIZEL{rcl.right - rcl.left, rcl.bottom - rcl.top}, 0, iFormat,
                               BMF_TOPDOWN, nullptr);
    psoView_ = hsurfTemp_ != nullptr ? surface_object(hsurfTemp_) : nullptr;
    origin_ = POINTL{rcl.left, rcl.top};
    return psoView_ != nullptr;
}

bool HostView::open(SURFOBJ* pso, const RECTL& rcl, bool bRead) {
    psoSurface_ = pso;
    rcl_ = rcl;
    if (!is_device(pso)) {
        psoView_ = pso;
        origin_ = POINTL{0, 0};
        return host_pixels(pso);
    }
    // A driver drawing inside one of the engine's transfers would send the
    // engine back into the driver for ever.
    if (in_driver_transfer() || pixel_format(pso->iBitmapFormat) == nullptr || rect_empty(rcl))
        return false;
    bDevice_ = true;
    if (!make_temporary(pso->iBitmapFormat, rcl)) return false;
    if (!bRead) return true;
    return driver_copy(pso, psoView_, pso, RECTL{0, 0, rcl.right - rcl.left, rcl.bottom - rcl.top},
                       POINTL{rcl.left, rcl.top});
}

bool HostView::open_copy(SURFOBJ* pso, const RECTL& rcl) {
    psoSurface_ = pso;
    rcl_ = rcl;
    if (!host_pixels(pso) || rect_empty(rcl) || !make_temporary(pso->iBitmapFormat, rcl))
        return false;
    const PixelFormat* f = pixel_format(pso->iBitmapFormat);
    const LONG cx = rcl.right - rcl.left;
    std::vector<ULONG> line(static_cast<size_t>(cx));
    for (LONG y = rcl.top; y < rcl.bottom; ++y) {
        f->fetch(row_address(pso, y), rcl.left, cx, line.data());
        f->store(row(y), 0, cx, line.data());
    }
    return true;
}

bool HostView::commit() {
    if (!bDevice_) return true;
    return driver_copy(psoSurface_, psoSurface_, psoView_, rcl_, POINTL{0, 0});
}

}  // namespace vnx::engine
