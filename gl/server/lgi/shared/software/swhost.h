// Host-memory buffers (a stencil, alpha or further plane made where board
// memory has no room, a host depth buffer) hold the window's pixels only:
// rows of the window's width (the binding's pitch) from the window's
// top-left corner. The software stages work in screen pixels; every read
// and write of such a buffer goes through here, which takes the screen
// position to the buffer by the buffer's own origin and refuses whatever
// lies outside its width and height.
#pragma once

#include <cstddef>
#include <cstdint>

#include "3d/context/context.h"

// The pixel of a host buffer at screen position (x, y): its address, or null
// for a board buffer, a binding without memory or pixel size, and any
// position outside the buffer's cx x cy pixels (or its pitch).
inline BYTE* _NHostPixel(const N_BoundBuffer& b, std::int64_t x, std::int64_t y) {
    const GLBuffer* pb = b.pBuffer;
    if (pb == nullptr || pb->memoryKind != GLBUFFER_MEMORY_HOST || b.pjBase == nullptr || b.bytesPerPixel == 0)
        return nullptr;
    const std::int64_t bx = x - pb->x, by = y - pb->y;
    if (bx < 0 || by < 0 || bx >= pb->cx || by >= pb->cy) return nullptr;
    const std::uint64_t cb = b.bytesPerPixel, offset = static_cast<std::uint64_t>(bx) * cb;
    if (offset + cb > b.pitch) return nullptr;
    return b.pjBase + static_cast<std::size_t>(by) * b.pitch + static_cast<std::size_t>(offset);
}

// The value of the host buffer's pixel at screen position (x, y) (its
// bytesPerPixel low bytes, at most 4), or 0 outside the buffer.
inline ULONG _NHostRead(const N_BoundBuffer& b, std::int64_t x, std::int64_t y) {
    const BYTE* pj = _NHostPixel(b, x, y);
    if (pj == nullptr || b.bytesPerPixel > 4) return 0;
    ULONG v = 0;
    for (ULONG i = 0; i < b.bytesPerPixel; ++i) v |= ULONG{pj[i]} << (8 * i);
    return v;
}
