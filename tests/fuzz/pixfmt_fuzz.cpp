// Fuzz target of pixel formats and layer palettes as applications reach
// them: DescribePixelFormat and SetPixelFormat through device contexts, and
// the layer-plane and layer-palette sub-codes of OPENGL_CMD on a window, on
// a real device with the GL server started on it (glserver_fuzz.h). An
// input is a run of calls of 13 bytes each: the call (byte 0) and three
// argument words a, b, c; the entries of GLCMD_SETLAYERPALETTEENTRIES are
// the input's bytes that follow, zero-filled.
#include "glserver_fuzz.h"

namespace {

enum Call {
    kDescribe,        // DescribePixelFormat(a, b % 64 bytes) on the window's DC
    kSetFormat,       // SetPixelFormat(a) on a window of its own
    kDescribeLayer,   // GLCMD_DESCRIBELAYERPLANE(a, b, c)
    kGetPalette,      // GLCMD_GETLAYERPALETTEENTRIES(a, b, c)
    kSetPalette,      // GLCMD_SETLAYERPALETTEENTRIES(a, b, c, entries)
    kRealize,         // GLCMD_REALIZELAYERPALETTE(a, b)
    kLayerContext,    // GLCMD_CREATELAYERCONTEXT(a, b), made current on the window
    kSwapLayers,      // GLCMD_SWAPLAYERBUFFERS(a)
    kCalls
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace glserver_fuzz;
    Client client;
    const glapp::App& app = client.app;
    constexpr ULONG kWindow = OGLCMD_NEEDWNDOBJ | OGLCMD_NEEDXLATEOBJ;
    int cWindows = 0;
    for (std::size_t off = 0; off + 13 <= size; off += 13) {
        const ULONG a = Word(data, size, off + 1), b = Word(data, size, off + 5), c = Word(data, size, off + 9);
        std::vector<BYTE> out(1044);
        switch (data[off] % kCalls) {
            case kDescribe: {
                vnx::process::Scope as(app.pid());
                std::vector<BYTE> pfd(64);
                HDC hdc = GetDC(app.hwnd());
                DescribePixelFormat(hdc, static_cast<INT>(a), b % 64, reinterpret_cast<PIXELFORMATDESCRIPTOR*>(pfd.data()));
                ReleaseDC(app.hwnd(), hdc);
                break;
            }
            case kSetFormat: {
                if (++cWindows > 4) break;
                vnx::process::Scope as(app.pid());
                HWND hwnd = vnx::windows::create(RECTL{static_cast<LONG>(a % 500), static_cast<LONG>(b % 400),
                                                        static_cast<LONG>(a % 500 + 1 + c % 200),
                                                        static_cast<LONG>(b % 400 + 1 + c % 150)});
                HDC hdc = hwnd != nullptr ? GetDC(hwnd) : nullptr;
                if (hdc != nullptr) SetPixelFormat(hdc, static_cast<INT>(a >> 16), nullptr);
                if (hdc != nullptr) ReleaseDC(hwnd, hdc);
                break;
            }
            case kDescribeLayer: app.Cmd(GLCMD_DESCRIBELAYERPLANE, {a, b, c}, 0, &out); break;
            case kGetPalette: app.Cmd(GLCMD_GETLAYERPALETTEENTRIES, {a, b, c}, kWindow, &out); break;
            case kSetPalette: {
                std::vector<BYTE> in = glapp::Request(GLCMD_SETLAYERPALETTEENTRIES, {a, b, c}, kWindow);
                in.insert(in.end(), data + off + 13, data + size);
                in.resize(1056, 0);
                app.Escape(OPENGL_CMD, in, &out);
                break;
            }
            case kRealize: app.Cmd(GLCMD_REALIZELAYERPALETTE, {a, b}, kWindow, &out); break;
            case kLayerContext: {
                std::vector<BYTE> dhrc(4);
                if (app.Cmd(GLCMD_CREATELAYERCONTEXT, {0, a, b}, 0, &dhrc) == 1) {
                    ULONG h;
                    std::memcpy(&h, dhrc.data(), 4);
                    app.Cmd(GLCMD_SETCONTEXT, {0, h}, kWindow);
                }
                break;
            }
            default: app.Cmd(GLCMD_SWAPLAYERBUFFERS, {a}, kWindow, &out); break;
        }
    }
    return 0;
}
