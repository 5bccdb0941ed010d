// The calls of a device context that reach the display driver: escapes,
// pixel formats and buffer swaps. Each runs in the driver on behalf of the calling process,
// with copies of the caller's buffers.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "../engine/clients.h"
#include "../engine/wndobj_call.h"
#include "dc.h"
#include "platform/process.h"

namespace {

std::atomic<vnx::gdi::SwapHook> gSwapHook{nullptr};

// The OpenGL command escape and the words of its header the engine fills.
constexpr INT kOpenGLCmd = 4352;
constexpr size_t kOffsetFlags = 4;
constexpr std::uint32_t kNeedWindowObject = 0x1;  // OGLCMD_NEEDWNDOBJ
constexpr std::uint32_t kNeedXlateObject = 0x2;   // OGLCMD_NEEDXLATEOBJ
constexpr size_t kOffsetWindowObject = 8;
constexpr size_t kOffsetXlateObject = 12;
constexpr size_t kOpenGLCmdHeader = 16;
// Bytes of a PIXELFORMATDESCRIPTOR.
constexpr size_t kPixelFormatDescriptorBytes = 40;

// A driver entry reached through a device context.
struct Call {
    vnx::gdi::DCView dc;
    DHPDEV dhpdev = nullptr;
    SURFOBJ* pso = nullptr;
    PFN pfn = nullptr;
};

// False when the device context is not the caller's, or its device is gone.
bool bTarget(HDC hdc, ULONG iFunc, Call* pc) {
    if (!vnx::gdi::find_dc(hdc, &pc->dc)) return false;
    return vnx::engine::call_target(pc->dc.hdev, iFunc, &pc->dhpdev, &pc->pso, &pc->pfn);
}

// The caller's bytes, copied for the driver; empty for a null buffer.
std::vector<BYTE> copy_in(const void* pv, size_t cj) {
    if (pv == nullptr || cj == 0) return {};
    const BYTE* pj = static_cast<const BYTE*>(pv);
    return std::vector<BYTE>(pj, pj + cj);
}

BYTE* data_or_null(std::vector<BYTE>& v) { return v.empty() ? nullptr : v.data(); }

}  // namespace

extern "C" INT ExtEscape(HDC hdc, INT iEscape, INT cjInput, LPCSTR lpInData, INT cjOutput,
                         LPSTR lpOutData) {
    if (cjInput < 0 || cjOutput < 0 || (cjInput > 0 && lpInData == nullptr) ||
        (cjOutput > 0 && lpOutData == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    Call c;
    if (!bTarget(hdc, INDEX_DrvEscape, &c)) return -1;
    if (c.pfn == nullptr || c.pso == nullptr) return 0;

    std::vector<BYTE> in = copy_in(lpInData, static_cast<size_t>(cjInput));
    std::vector<BYTE> out = copy_in(lpOutData, static_cast<size_t>(cjOutput));
    // The objects an OpenGL command on a window's device context asks for
    // (its flag word): the window object the driver made for the window, a
    // translation object; a display device context names neither.
    const bool bOpenGL = iEscape == kOpenGLCmd && in.size() >= kOpenGLCmdHeader;
    std::uint32_t fl = 0;
    if (bOpenGL) std::memcpy(&fl, in.data() + kOffsetFlags, sizeof fl);
    const bool bWindow = bOpenGL && c.dc.hwnd != nullptr;
    // From the window object's look-up to the driver's return: a window
    // deleted meanwhile would leave the driver a window object whose
    // consumer it has freed.
    vnx::engine::WindowChangesHeld held;
    vnx::engine::CallObjects objects(c.dc.hdev, c.dc.hwnd, bWindow && (fl & kNeedWindowObject),
                                     bWindow && (fl & kNeedXlateObject));
    if (bOpenGL) {
        // The engine's own words: a client's values never reach the driver.
        const std::uint32_t hwo = objects.window_handle(), hxo = objects.xlate_handle();
        std::memcpy(in.data() + kOffsetWindowObject, &hwo, sizeof hwo);
        std::memcpy(in.data() + kOffsetXlateObject, &hxo, sizeof hxo);
    }

    ULONG ulResult;
    {
        vnx::engine::ClientCall call(vnx::process::current());
        ulResult = reinterpret_cast<PFN_DrvEscape>(c.pfn)(
            c.pso, static_cast<ULONG>(iEscape), static_cast<ULONG>(in.size()), data_or_null(in),
            static_cast<ULONG>(out.size()), data_or_null(out));
    }
    if (!out.empty()) std::memcpy(lpOutData, out.data(), out.size());
    return static_cast<INT>(ulResult);
}

extern "C" INT DescribePixelFormat(HDC hdc, INT iPixelFormat, UINT nBytes,
                                   PIXELFORMATDESCRIPTOR* ppfd) {
    Call c;
    if (!bTarget(hdc, INDEX_DrvDescribePixelFormat, &c) || c.pfn == nullptr) return 0;
    // The driver sees at most the descriptor's own bytes.
    std::vector<BYTE> pfd = copy_in(ppfd, std::min<size_t>(nBytes, kPixelFormatDescriptorBytes));
    LONG lResult;
    {
        vnx::engine::WindowChangesHeld held;
        vnx::engine::ClientCall call(vnx::process::current());
        lResult = reinterpret_cast<PFN_DrvDescribePixelFormat>(c.pfn)(
            c.dhpdev, iPixelFormat, static_cast<ULONG>(pfd.size()),
            reinterpret_cast<PIXELFORMATDESCRIPTOR*>(data_or_null(pfd)));
    }
    if (!pfd.empty()) std::memcpy(ppfd, pfd.data(), pfd.size());
    return lResult;
}

extern "C" BOOL SetPixelFormat(HDC hdc, INT iPixelFormat, const PIXELFORMATDESCRIPTOR*) {
    Call c;
    if (!bTarget(hdc, INDEX_DrvSetPixelFormat, &c) || c.pfn == nullptr || c.pso == nullptr)
        return FALSE;
    BOOL bResult;
    {
        vnx::engine::WindowChangesHeld held;
        vnx::engine::ClientCall call(vnx::process::current());
        bResult = reinterpret_cast<PFN_DrvSetPixelFormat>(c.pfn)(c.pso, iPixelFormat, c.dc.hwnd);
    }
    if (bResult) vnx::gdi::set_dc_pixel_format(hdc, iPixelFormat);
    return bResult;
}

extern "C" BOOL SwapBuffers(HDC hdc) {
    Call c;
    if (!bTarget(hdc, INDEX_DrvSwapBuffers, &c)) return FALSE;
    // The thread's pending OpenGL commands go first (the flush reaches the
    // driver through escapes of its own, so no window change is held yet).
    if (const vnx::gdi::SwapHook hook = gSwapHook.load()) hook(hdc);
    // The window object the driver made for the window when its pixel
    // format was set, held while the driver uses it, with no window change
    // from its look-up on.
    vnx::engine::WindowChangesHeld held;
    auto window = vnx::engine::window_object_of(c.dc.hdev, c.dc.hwnd);
    if (window == nullptr || c.pfn == nullptr || c.pso == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    vnx::engine::ClientCall call(vnx::process::current());
    return reinterpret_cast<PFN_DrvSwapBuffers>(c.pfn)(c.pso, vnx::engine::wndobj_of(window));
}

namespace vnx::gdi {

void set_swap_hook(SwapHook hook) { gSwapHook.store(hook); }

}  // namespace vnx::gdi
