// Device contexts, shared by the gdi files.
#pragma once

#include "platform/gdi.h"

namespace vnx::gdi {

// What a call through a device context needs of it.
struct DCView {
    HDEV hdev = nullptr;  // the engine device it draws on
    HWND hwnd = nullptr;  // its window; null for a display device context
};

// The device context `hdc` of the calling process; false (last error
// ERROR_INVALID_HANDLE) when the process holds no such device context.
bool find_dc(HDC hdc, DCView* pdc);
// Records the pixel format of a device context the calling process holds.
void set_dc_pixel_format(HDC hdc, INT iPixelFormat);

}  // namespace vnx::gdi
