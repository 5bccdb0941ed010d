// The pointer on vnxsim's desktop, and the cursor in the picture of the
// screen.
//
// The engine hands each pointer shape to the driver, which loads it into
// the RAMDAC's hardware cursor (or declines, and the engine draws it). The
// board has one cursor a screen and shows the pointer only on the screen
// under it, so the picture shows the last pointer placed: the arrow is
// placed and moved first, then the colour pointer (on the second screen of
// a split board).
#include <cstring>
#include <vector>

#include "desktop.h"
#include "platform/board.h"

namespace {

// The arrow: X black, o white, blanks transparent; hot spot at its tip.
const char* const kArrow[] = {
    "X",         "XX",        "XoX",        "XooX",        "XoooX",     "XooooX",   "XoooooX",
    "XooooooX",  "XoooooooX", "XooooooooX", "XoooooXXXXX", "XooXooX",   "XoX XooX", "XX  XooX",
    "X    XooX", "     XooX", "      XooX", "      XooX",  "       XX",
};

// A host bitmap of cx x cy pixels, or null; the caller deletes it.
SURFOBJ* make_bitmap(LONG cx, LONG cy, ULONG iFormat) {
    HSURF h = EngCreateBitmap(SIZEL{cx, cy}, 0, iFormat, BMF_TOPDOWN, nullptr);
    SURFOBJ* pso = h != nullptr ? EngLockSurface(h) : nullptr;
    if (pso == nullptr && h != nullptr) EngDeleteSurface(h);
    return pso;
}

void delete_bitmap(SURFOBJ* pso) {
    if (pso == nullptr) return;
    HSURF h = pso->hsurf;
    EngUnlockSurface(pso);
    EngDeleteSurface(h);
}

void set_bit(SURFOBJ* pso, LONG x, LONG y, bool on) {
    BYTE& j = static_cast<BYTE*>(pso->pvScan0)[y * pso->lDelta + x / 8];
    const BYTE bit = static_cast<BYTE>(0x80u >> (x % 8));
    j = static_cast<BYTE>(on ? j | bit : j & ~bit);
}

// The 32 x 32 arrow's mask: AND plane over XOR plane.
SURFOBJ* arrow_mask() {
    SURFOBJ* pso = make_bitmap(32, 64, BMF_1BPP);
    if (pso == nullptr) return nullptr;
    for (LONG y = 0; y < 32; ++y)
        for (LONG x = 0; x < 32; ++x) {
            const bool inArt = y < static_cast<LONG>(std::size(kArrow)) &&
                               x < static_cast<LONG>(std::strlen(kArrow[y]));
            const char c = inArt ? kArrow[y][x] : ' ';
            set_bit(pso, x, y, c == ' ');       // AND: transparent
            set_bit(pso, x, 32 + y, c == 'o');  // XOR: white
        }
    return pso;
}

// The colour pointer: a 32 x 32 target of a dark blue ring, a red ring and
// a yellow middle with an inverting dot; transparent around it. Colours in
// the screen's format (no translation, so the cursor can serve it).
bool colour_pointer(const ScreenFormat& format, SURFOBJ** ppsoMask, SURFOBJ** ppsoColor) {
    *ppsoMask = make_bitmap(32, 64, BMF_1BPP);
    *ppsoColor = make_bitmap(32, 32, format.iBitmapFormat);
    if (*ppsoMask == nullptr || *ppsoColor == nullptr) return false;
    const ULONG cb = format.cjPixel;
    for (LONG y = 0; y < 32; ++y)
        for (LONG x = 0; x < 32; ++x) {
            const LONG d2 = (2 * x - 31) * (2 * x - 31) + (2 * y - 31) * (2 * y - 31);
            ULONG rgb = 0;
            bool transparent = false;
            if (d2 >= 31 * 31) transparent = true;
            else if (d2 >= 24 * 24) rgb = 0x102080;
            else if (d2 >= 14 * 14) rgb = 0xE02020;
            else if (d2 >= 4 * 4) rgb = 0xF0E040;
            else rgb = 0xFFFFFF, transparent = true;  // inverting: AND-masked white
            set_bit(*ppsoMask, x, y, transparent);
            set_bit(*ppsoMask, x, 32 + y, false);
            const ULONG c = device_colour(format, rgb);
            std::memcpy(
                static_cast<BYTE*>((*ppsoColor)->pvScan0) + y * (*ppsoColor)->lDelta + x * cb, &c,
                cb);
        }
    return true;
}

}  // namespace

int place_pointers(vnx::engine::Device& device, SURFOBJ* pso) {
    ScreenFormat format;
    if (pso == nullptr || !query_format(device, &format)) return 0;
    int placed = 0;
    // The arrow, moved over the first screen, hidden and shown again.
    if (SURFOBJ* psoMask = arrow_mask()) {
        if (device.set_pointer_shape(psoMask, nullptr, nullptr, 0, 0, 200, 200) != SPS_DECLINE)
            ++placed;
        device.move_pointer(260, 240);
        device.move_pointer(-1, 0);
        device.move_pointer(300, 260);
        delete_bitmap(psoMask);
    }
    // The colour pointer, hot spot in its middle, on the last screen.
    SURFOBJ *psoMask = nullptr, *psoColor = nullptr;
    if (colour_pointer(format, &psoMask, &psoColor)) {
        const LONG x = format.cx - format.cxScreen / 2, y = format.cyScreen / 3;
        if (device.set_pointer_shape(psoMask, psoColor, nullptr, 16, 16, x - 40, y) != SPS_DECLINE)
            ++placed;
        device.move_pointer(x, y);
    }
    delete_bitmap(psoMask);
    delete_bitmap(psoColor);
    return placed;
}

void overlay_cursors(vnx::engine::Device& device, std::vector<std::uint32_t>& image, LONG cx,
                     LONG cy) {
    vnx::board::Board& board = device.machine().board();
    const int screens = board.boards();
    if (image.size() < static_cast<size_t>(cx) * screens * cy) return;
    for (int s = 0; s < screens; ++s)
        board.cursor(s).overlay(image.data() + static_cast<size_t>(s) * cx, cx, cy,
                                static_cast<size_t>(cx) * screens);
}
