// The graphics device interface as applications call it: display device
// contexts, escapes to the display driver, and pixel formats.
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

// Hands an escape to the display driver's DrvEscape and answers its result
// (the driver's 32-bit answer, read as signed). -1 for a bad device context
// or bad sizes (negative, or data missing for a non-zero size); 0 when the
// driver has no DrvEscape or the display has no surface enabled.
//
// For OPENGL_CMD (4352) the engine writes the header's pwo and pxo words
// (bytes 8 and 12 of the input) itself: the 32-bit engine handles of the
// call's window and translation objects, or 0. A display device context has
// no window, so both are 0 there.
VNX_PLATFORM_API INT ExtEscape(HDC hdc, INT iEscape, INT cjInput, LPCSTR lpInData, INT cjOutput,
                               LPSTR lpOutData);

// DrvDescribePixelFormat of the display's driver: the number of pixel
// formats, with the description of iPixelFormat in the nBytes at ppfd (a
// PIXELFORMATDESCRIPTOR; null asks for the count alone). The driver is
// handed at most the descriptor's 40 bytes. 0 on failure.
VNX_PLATFORM_API INT DescribePixelFormat(HDC hdc, INT iPixelFormat, UINT nBytes,
                                         PIXELFORMATDESCRIPTOR* ppfd);
// DrvSetPixelFormat with the device context's window (none for a display
// device context); on success the device context keeps the format.
VNX_PLATFORM_API BOOL SetPixelFormat(HDC hdc, INT iPixelFormat, const PIXELFORMATDESCRIPTOR* ppfd);
// The format SetPixelFormat gave the device context, 0 when none.
VNX_PLATFORM_API INT GetPixelFormat(HDC hdc);

}  // extern "C"

namespace vnx::gdi {

// Device contexts not yet deleted, of every process.
VNX_PLATFORM_API size_t live_dcs();

}  // namespace vnx::gdi
