// The calls of a device context that reach the display driver: escapes and
// pixel formats. Each runs in the driver on behalf of the calling process,
// with copies of the caller's buffers.
#include <algorithm>
#include <cstring>
#include <vector>

#include "../engine/clients.h"
#include "dc.h"
#include "platform/process.h"

namespace {

// The OpenGL command escape and the words of its header the engine fills.
constexpr INT kOpenGLCmd = 4352;
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
    if (iEscape == kOpenGLCmd && in.size() >= kOpenGLCmdHeader) {
        // The engine's own words: no window or translation object comes with
        // a display device context. A client's values never reach the driver.
        const std::uint32_t zero = 0;
        std::memcpy(in.data() + kOffsetWindowObject, &zero, sizeof zero);
        std::memcpy(in.data() + kOffsetXlateObject, &zero, sizeof zero);
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
        vnx::engine::ClientCall call(vnx::process::current());
        bResult = reinterpret_cast<PFN_DrvSetPixelFormat>(c.pfn)(c.pso, iPixelFormat, c.dc.hwnd);
    }
    if (bResult) vnx::gdi::set_dc_pixel_format(hdc, iPixelFormat);
    return bResult;
}
