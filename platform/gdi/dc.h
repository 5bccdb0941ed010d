// Device contexts, shared by the gdi files.
#pragma once

#include "platform/gdi.h"

namespace vnx::gdi {

// What a call through a device context needs of it.
struct DCView {
    HDEV hdev = nullptr;  // the engine device it draws on
    HWND hwnd = nullptr;  // its window; null for a display device context
    void* selected = nullptr;  // a memory device context's bitmap
};

// The device context `hdc` of the calling process; false (last error
// ERROR_INVALID_HANDLE) when the process holds no such device context.
bool find_dc(HDC hdc, DCView* pdc);
// A memory device context of the calling process on the display (null on
// failure, "CreateCompatibleDC" fault point); DeleteDC deletes it.
HDC make_memory_dc();
// Puts an object into a memory device context and answers the one it held;
// false when hdc is not a memory device context of the calling process.
bool select_into(HDC hdc, void* object, void** previous);
// Records the pixel format of a device context the calling process holds.
void set_dc_pixel_format(HDC hdc, INT iPixelFormat);

}  // namespace vnx::gdi
