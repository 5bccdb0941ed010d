// The pixel formats the GL server offers on the device, as an application
// sees them: a client process asks the display device context through
// DescribePixelFormat (the first call loads the GL server).
#include <cstdio>

#include "desktop.h"
#include "escapes.h"
#include "platform/gdi.h"
#include "platform/process.h"

namespace {

const char* buffering(DWORD dwFlags) {
    return (dwFlags & PFD_DOUBLEBUFFER) != 0 ? "double-buffered" : "single-buffered";
}

}  // namespace

void print_gl_formats(vnx::engine::Device&) {
    const DWORD pid = vnx::process::create("glformats");
    {
        vnx::process::Scope as(pid);
        HDC hdc = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
        const int n = hdc != nullptr ? DescribePixelFormat(hdc, 1, 0, nullptr) : 0;
        if (n <= 0) std::printf("OpenGL: no pixel formats offered\n");
        else std::printf("OpenGL: %d pixel formats offered\n", n);
        for (int i = 1; i <= n; ++i) {
            PIXELFORMATDESCRIPTOR pfd{};
            DescribePixelFormat(hdc, i, sizeof pfd, &pfd);
            if (pfd.iPixelType == PFD_TYPE_RGBA)
                std::printf("  format %d: RGBA %u-%u-%u, alpha %u", i, pfd.cRedBits,
                            pfd.cGreenBits, pfd.cBlueBits, pfd.cAlphaBits);
            else std::printf("  format %d: colour index %u", i, pfd.cColorBits);
            std::printf(", %s%s, depth %u, stencil %u, accumulation %u, overlays %u\n",
                        buffering(pfd.dwFlags), (pfd.dwFlags & PFD_STEREO) != 0 ? ", stereo" : "",
                        pfd.cDepthBits, pfd.cStencilBits, pfd.cAccumBits, pfd.bReserved & 0xF);
        }
        // The server goes again, so the rest of the run sees the driver as
        // before.
        if (hdc != nullptr) {
            ExtEscape(hdc, ESC_UNLOADGLSERVER, 0, nullptr, 0, nullptr);
            DeleteDC(hdc);
        }
    }
    vnx::process::terminate(pid);
}
