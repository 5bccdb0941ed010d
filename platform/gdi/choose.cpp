// ChoosePixelFormat: the display's pixel format that best matches what an
// application asks for, from the descriptions its driver gives.
//
// A format is a candidate when it has every drawing and support bit the
// request sets (draw to a window or bitmap, GDI, OpenGL) and the request's
// pixel type. Among candidates the first of these decides, in order:
//  1. double buffering as asked (unless PFD_DOUBLEBUFFER_DONTCARE), then
//     stereo as asked (unless PFD_STEREO_DONTCARE);
//  2. colour bits: a format with at least the bits asked for is better than
//     one with fewer, and among those the nearer count;
//  3. depth bits (unless PFD_DEPTH_DONTCARE), then stencil, alpha and
//     accumulation bits: when some are asked for, as for colour; when none
//     are, the fewer the better (no memory spent on a buffer not used);
//  4. the lower format number.
#include <array>

#include "platform/gdi.h"
#include "platform/kernel.h"

namespace {

// How well `have` serves a request for `want` bits: lower is better.
int BitsCost(int want, int have) {
    if (want == 0) return have;
    return have >= want ? have - want : 1000 + (want - have);
}

// The preference order of the rules above, as one key compared in order.
std::array<int, 8> Key(const PIXELFORMATDESCRIPTOR& want, const PIXELFORMATDESCRIPTOR& have, int iFormat) {
    auto mismatch = [&](DWORD bit, DWORD dontCare) {
        return (want.dwFlags & dontCare) != 0 || (want.dwFlags & bit) == (have.dwFlags & bit) ? 0 : 1;
    };
    return {mismatch(PFD_DOUBLEBUFFER, PFD_DOUBLEBUFFER_DONTCARE),
            mismatch(PFD_STEREO, PFD_STEREO_DONTCARE),
            BitsCost(want.cColorBits, have.cColorBits),
            (want.dwFlags & PFD_DEPTH_DONTCARE) != 0 ? 0 : BitsCost(want.cDepthBits, have.cDepthBits),
            BitsCost(want.cStencilBits, have.cStencilBits),
            BitsCost(want.cAlphaBits, have.cAlphaBits),
            BitsCost(want.cAccumBits, have.cAccumBits),
            iFormat};
}

}  // namespace

extern "C" INT ChoosePixelFormat(HDC hdc, const PIXELFORMATDESCRIPTOR* ppfd) {
    if (ppfd == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const PIXELFORMATDESCRIPTOR want = *ppfd;
    constexpr DWORD kRequired = PFD_DRAW_TO_WINDOW | PFD_DRAW_TO_BITMAP | PFD_SUPPORT_GDI | PFD_SUPPORT_OPENGL;
    const INT cFormats = DescribePixelFormat(hdc, 1, 0, nullptr);
    INT iBest = 0;
    std::array<int, 8> best{};
    for (INT i = 1; i <= cFormats; ++i) {
        PIXELFORMATDESCRIPTOR have{};
        if (DescribePixelFormat(hdc, i, sizeof have, &have) == 0) continue;
        if ((have.dwFlags & want.dwFlags & kRequired) != (want.dwFlags & kRequired) ||
            have.iPixelType != want.iPixelType)
            continue;
        const auto key = Key(want, have, i);
        if (iBest == 0 || key < best) {
            iBest = i;
            best = key;
        }
    }
    return iBest;
}
