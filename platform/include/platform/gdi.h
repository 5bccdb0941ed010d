// The graphics device interface as applications call it: display and window
// device contexts, escapes to the display driver, pixel formats and buffer
// swaps.
//
// A device context belongs to the logical process that made it; another
// process's handle, a deleted one or a made-up one is refused (the call
// answers its failure value with ERROR_INVALID_HANDLE). Ending a process
// deletes the device contexts it still holds. Handles are never reused.
//
// Every call that reaches the display driver runs there on behalf of the
// calling process: the thread acts for the server process for the length of
// the driver call, and EngGetProcessHandle (platform/engine.h) answers the
// caller. The driver sees copies of the caller's buffers, exactly as large as
// the caller said, and what it writes into its output copy is copied back.
#pragma once

#include <cstddef>

#include "platform/ddi.h"
#include "platform/export.h"

typedef struct HDC__* HDC;
struct DEVMODEA;

extern "C" {

// A device context for the display ("DISPLAY", any case, as the driver name;
// the device name is not read and pdm must be null): the first enabled
// display device. Null when there is none or the name is another.
VNX_PLATFORM_API HDC CreateDCA(LPCSTR pszDriver, LPCSTR pszDevice, LPCSTR pszPort,
                               const DEVMODEA* pdm);
VNX_PLATFORM_API BOOL DeleteDC(HDC hdc);
// A device context for a live window of the calling process, on the display
// (null otherwise; "GetDC" fault point). Released with ReleaseDC (1, or 0
// for a device context that is not this window's of the calling process) or
// DeleteDC, or when the process ends; it outlives its window, whose calls
// then find no window object.
VNX_PLATFORM_API HDC GetDC(HWND hwnd);
VNX_PLATFORM_API INT ReleaseDC(HWND hwnd, HDC hdc);

// Hands an escape to the display driver's DrvEscape and answers its result
// (the driver's 32-bit answer, read as signed). -1 for a bad device context
// or bad sizes (negative, or data missing for a non-zero size); 0 when the
// driver has no DrvEscape or the display has no surface enabled.
//
// For OPENGL_CMD (4352) the engine writes the header's pwo and pxo words
// (bytes 8 and 12 of the input) itself: the 32-bit engine handles of the
// call's window and translation objects, or 0. pwo names the window object
// the driver made for the device context's window (EngCreateWnd, when its
// pixel format was set) when the flag word (bytes 4) asks for it
// (OGLCMD_NEEDWNDOBJ, 1). pxo names a translation object (trivial: device
// contexts carry no palette) when the flags ask for one (OGLCMD_NEEDXLATEOBJ,
// 2). A display device context has no window: both are 0 there. The
// handles are good for that call only (vnx::engine::call_window_object and
// call_xlate_object, platform/engine.h).
VNX_PLATFORM_API INT ExtEscape(HDC hdc, INT iEscape, INT cjInput, LPCSTR lpInData, INT cjOutput,
                               LPSTR lpOutData);

// DrvDescribePixelFormat of the display's driver: the number of pixel
// formats, with the description of iPixelFormat in the nBytes at ppfd (a
// PIXELFORMATDESCRIPTOR; null asks for the count alone). The driver is
// handed at most the descriptor's 40 bytes. 0 on failure.
VNX_PLATFORM_API INT DescribePixelFormat(HDC hdc, INT iPixelFormat, UINT nBytes,
                                         PIXELFORMATDESCRIPTOR* ppfd);
// The pixel format of the device context's display that best matches the
// request (gdi/choose.cpp has the rules); 0 when none offers what the
// request requires or the request is null (ERROR_INVALID_PARAMETER).
VNX_PLATFORM_API INT ChoosePixelFormat(HDC hdc, const PIXELFORMATDESCRIPTOR* ppfd);
// DrvSetPixelFormat with the device context's window (none for a display
// device context); on success the device context keeps the format.
VNX_PLATFORM_API BOOL SetPixelFormat(HDC hdc, INT iPixelFormat, const PIXELFORMATDESCRIPTOR* ppfd);
// The format SetPixelFormat gave the device context, 0 when none.
VNX_PLATFORM_API INT GetPixelFormat(HDC hdc);
// DrvSwapBuffers with the window object the driver made for the device
// context's window, for the calling process: the driver's answer; FALSE
// (ERROR_INVALID_HANDLE) for a display device context or a window without
// a window object on the display.
VNX_PLATFORM_API BOOL SwapBuffers(HDC hdc);

}  // extern "C"

namespace vnx::gdi {

// Device contexts not yet deleted, of every process.
VNX_PLATFORM_API size_t live_dcs();

// What SwapBuffers runs, on the calling thread, before the swap reaches the
// driver (null: nothing). The system OpenGL library sets it while loaded to
// flush the thread's current context, so the commands of the frame the swap
// presents are carried out before it.
using SwapHook = void (*)(HDC hdc);
VNX_PLATFORM_API void set_swap_hook(SwapHook hook);

}  // namespace vnx::gdi
