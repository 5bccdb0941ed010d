// The six pixel-format tables. Each row below is one format; the records are
// laid out from the rows when the library loads. Formats 1 to the offered
// count are the plain ones; the stereo forms follow them, so that doubling
// the count on a stereo board offers them too.
#include "pixfmt/pixfmt.h"

namespace {

// Channel layouts of the main plane. The three channel masks are in the
// colour word the lgi layer and the board's colour registers work in at
// every depth (red in bits 16-23, green 8-15, blue 0-7, each up to the full
// value the colour conversion gives at the depth: 191, 255, 127 at 8 bits,
// 127 a channel at 16 bits), not in the stored pixel's layout: ColorMask
// ORs them into the write mask that the write-mask test compares with the
// depth's full mask and that masked writes AND with the colour word.
enum Layout { RGB332, RGB555, RGB888, INDEX8, INDEX1, INDEX4 };

struct LayoutRow {
    BYTE iPixelType, cColorBits, cRed, cRedShift, cGreen, cGreenShift, cBlue, cBlueShift;
    ULONG ulRedMask, ulGreenMask, ulBlueMask;
};

constexpr LayoutRow kLayouts[] = {
    /* RGB332 */ {PFD_TYPE_RGBA, 8, 3, 5, 3, 2, 2, 0, 0xFF0000, 0xFF00, 0x7F},
    /* RGB555 */ {PFD_TYPE_RGBA, 16, 5, 10, 5, 5, 5, 0, 0x7F0000, 0x7F00, 0x7F},
    /* RGB888 */ {PFD_TYPE_RGBA, 24, 8, 16, 8, 8, 8, 0, 0xFF0000, 0xFF00, 0xFF},
    /* INDEX8 */ {PFD_TYPE_COLORINDEX, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    /* INDEX1 */ {PFD_TYPE_COLORINDEX, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    /* INDEX4 */ {PFD_TYPE_COLORINDEX, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

// One format: its flags, layout, alpha, accumulation, depth and stencil
// bits; the two private counts.
struct FormatRow {
    ULONG dwFlags;
    Layout layout;
    BYTE cAlpha, cAccum, cDepth, cStencil;
    ULONG ulCount0 = 16, ulCount1 = 8;
};

constexpr ULONG kLayerFlags = 0x15E0;
constexpr BYTE kAccum = 64;

constexpr GLPixelFormat Record(const FormatRow& r, bool bOverlay, BYTE cOverlays) {
    const LayoutRow& l = kLayouts[r.layout];
    GLPixelFormat f{};
    f.pfd.nSize = bOverlay ? sizeof(LAYERPLANEDESCRIPTOR) : sizeof(PIXELFORMATDESCRIPTOR);
    f.pfd.nVersion = 1;
    f.pfd.dwFlags = r.dwFlags;
    f.pfd.iPixelType = l.iPixelType;
    f.pfd.cColorBits = l.cColorBits;
    f.pfd.cRedBits = l.cRed;
    f.pfd.cRedShift = l.cRedShift;
    f.pfd.cGreenBits = l.cGreen;
    f.pfd.cGreenShift = l.cGreenShift;
    f.pfd.cBlueBits = l.cBlue;
    f.pfd.cBlueShift = l.cBlueShift;
    f.pfd.cAlphaBits = r.cAlpha;
    f.pfd.cAlphaShift = r.cAlpha != 0 && l.iPixelType == PFD_TYPE_RGBA ? l.cColorBits : 0;
    if (r.cAccum != 0) {
        f.pfd.cAccumBits = r.cAccum;
        f.pfd.cAccumRedBits = f.pfd.cAccumGreenBits = f.pfd.cAccumBlueBits = 16;
        f.pfd.cAccumAlphaBits = 16;
    }
    f.pfd.cDepthBits = r.cDepth;
    f.pfd.cStencilBits = r.cStencil;
    // Main plane: layer type 0 and the overlay count; overlay: layer plane 1
    // in the byte the main plane's layer type sits in.
    f.pfd.iLayerType = bOverlay ? 1 : 0;
    f.pfd.bReserved = bOverlay ? 0 : cOverlays;
    f.ulRedMask = l.ulRedMask;
    f.ulGreenMask = l.ulGreenMask;
    f.ulBlueMask = l.ulBlueMask;
    f.ulCount0 = r.ulCount0;
    f.ulCount1 = r.ulCount1;
    return f;
}

template <size_t NMain, size_t NOverlay>
struct Table {
    GLPixelFormat a[NMain + NOverlay];
    constexpr Table(const FormatRow (&main)[NMain], const FormatRow (&overlay)[NOverlay]) : a{} {
        for (size_t i = 0; i < NMain; ++i) a[i] = Record(main[i], false, NOverlay != 0 ? 1 : 0);
        for (size_t i = 0; i < NOverlay; ++i) a[NMain + i] = Record(overlay[i], true, 0);
    }
};


// Table 1: double buffering, 8-bit display.
constexpr FormatRow kMain1[] = {
    {0x1A5, RGB332, 0, kAccum, 16, 2}, {0x1B4, RGB332, 0, kAccum, 16, 2},
    {0x1A5, RGB332, 6, kAccum, 16, 2}, {0x1B4, RGB332, 6, kAccum, 16, 2},
    {0x1A7, RGB332, 0, kAccum, 16, 2}, {0x1B6, RGB332, 0, kAccum, 16, 2},
    {0x1A7, RGB332, 6, kAccum, 16, 2}, {0x1B6, RGB332, 6, kAccum, 16, 2},
    {0x1A5, INDEX8, 0, 0, 16, 2},      {0x1B4, INDEX8, 0, 0, 16, 2},
    {0x1A7, INDEX8, 0, 0, 16, 2},      {0x1B6, INDEX8, 0, 0, 16, 2},
};
// Table 2: double buffering, 16-bit display, with a 1-bit overlay.
constexpr FormatRow kMain2[] = {
    {0x35, RGB555, 0, kAccum, 16, 2}, {0x34, RGB555, 0, kAccum, 16, 2},
    {0x35, RGB555, 6, kAccum, 16, 2}, {0x34, RGB555, 6, kAccum, 16, 2},
    {0x37, RGB555, 0, kAccum, 16, 2}, {0x36, RGB555, 0, kAccum, 16, 2},
    {0x37, RGB555, 6, kAccum, 16, 2}, {0x36, RGB555, 6, kAccum, 16, 2},
    {0x35, INDEX8, 0, 0, 16, 2},      {0x34, INDEX8, 0, 0, 16, 2},
    {0x37, INDEX8, 0, 0, 16, 2},      {0x36, INDEX8, 0, 0, 16, 2},
};
constexpr FormatRow kOverlay2[] = {
    {kLayerFlags | 0x1, INDEX1, 0, 0, 0, 0}, {kLayerFlags, INDEX1, 0, 0, 0, 0},
    {kLayerFlags | 0x1, INDEX1, 8, 0, 0, 0}, {kLayerFlags, INDEX1, 8, 0, 0, 0},
    {kLayerFlags | 0x3, INDEX1, 0, 0, 0, 0}, {kLayerFlags | 0x2, INDEX1, 0, 0, 0, 0},
    {kLayerFlags | 0x3, INDEX1, 8, 0, 0, 0}, {kLayerFlags | 0x2, INDEX1, 8, 0, 0, 0},
    {kLayerFlags | 0x1, INDEX1, 0, 0, 0, 0}, {kLayerFlags, INDEX1, 0, 0, 0, 0},
    {kLayerFlags | 0x3, INDEX1, 0, 0, 0, 0}, {kLayerFlags | 0x2, INDEX1, 0, 0, 0, 0},
};
// Table 3: double buffering, 32-bit display, with a 4-bit overlay.
constexpr FormatRow kMain3[] = {
    {0x25, RGB888, 0, kAccum, 16, 4}, {0x34, RGB888, 0, kAccum, 16, 4},
    {0x25, RGB888, 8, kAccum, 16, 4}, {0x34, RGB888, 8, kAccum, 16, 4},
    {0x27, RGB888, 0, kAccum, 16, 4}, {0x36, RGB888, 0, kAccum, 16, 4},
    {0x27, RGB888, 8, kAccum, 16, 4}, {0x36, RGB888, 8, kAccum, 16, 4},
};
constexpr FormatRow kOverlay3[] = {
    {kLayerFlags | 0x1, INDEX4, 0, 0, 0, 0}, {kLayerFlags, INDEX4, 0, 0, 0, 0},
    {kLayerFlags | 0x1, INDEX4, 8, 0, 0, 0}, {kLayerFlags, INDEX4, 8, 0, 0, 0},
    {kLayerFlags | 0x3, INDEX4, 0, 0, 0, 0}, {kLayerFlags | 0x2, INDEX4, 0, 0, 0, 0},
    {kLayerFlags | 0x3, INDEX4, 8, 0, 0, 0}, {kLayerFlags | 0x2, INDEX4, 8, 0, 0, 0},
};
// Table 4: single buffering, 8-bit display.
constexpr FormatRow kMain4[] = {
    {0x1B4, RGB332, 0, kAccum, 16, 2, 5, 2}, {0x1B4, RGB332, 6, kAccum, 16, 2, 5, 2},
    {0x1B6, RGB332, 0, kAccum, 16, 2, 5, 2}, {0x1B6, RGB332, 6, kAccum, 16, 2, 5, 2},
    {0x1B4, INDEX8, 0, 0, 16, 2, 5, 2},      {0x1B6, INDEX8, 0, 0, 16, 2, 5, 2},
};
// Table 5: single buffering, 16-bit display, with a 1-bit overlay.
constexpr FormatRow kMain5[] = {
    {0x34, RGB555, 0, kAccum, 16, 2}, {0x34, RGB555, 6, kAccum, 16, 2},
    {0x36, RGB555, 0, kAccum, 16, 2}, {0x36, RGB555, 6, kAccum, 16, 2},
    {0x34, INDEX8, 0, 0, 16, 2},      {0x36, INDEX8, 0, 0, 16, 2},
};
constexpr FormatRow kOverlay5[] = {
    {kLayerFlags, INDEX1, 0, 0, 0, 0},       {kLayerFlags, INDEX1, 8, 0, 0, 0},
    {kLayerFlags | 0x2, INDEX1, 0, 0, 0, 0}, {kLayerFlags | 0x2, INDEX1, 8, 0, 0, 0},
    {kLayerFlags, INDEX1, 0, 0, 0, 0},       {kLayerFlags | 0x2, INDEX1, 0, 0, 0, 0},
};
// Table 6: single buffering, 32-bit display, with a 4-bit overlay.
constexpr FormatRow kMain6[] = {
    {0x34, RGB888, 0, kAccum, 16, 4}, {0x34, RGB888, 8, kAccum, 16, 4},
    {0x36, RGB888, 0, kAccum, 16, 4}, {0x36, RGB888, 8, kAccum, 16, 4},
};
constexpr FormatRow kOverlay6[] = {
    {kLayerFlags, INDEX4, 0, 0, 0, 0},       {kLayerFlags, INDEX4, 8, 0, 0, 0},
    {kLayerFlags | 0x2, INDEX4, 0, 0, 0, 0}, {kLayerFlags | 0x2, INDEX4, 8, 0, 0, 0},
};

template <size_t N>
struct MainOnly {
    GLPixelFormat a[N];
    constexpr MainOnly(const FormatRow (&main)[N]) : a{} {
        for (size_t i = 0; i < N; ++i) a[i] = Record(main[i], false, 0);
    }
};

constexpr MainOnly<12> kRecords1(kMain1);
constexpr Table<12, 12> kRecords2(kMain2, kOverlay2);
constexpr Table<8, 8> kRecords3(kMain3, kOverlay3);
constexpr MainOnly<6> kRecords4(kMain4);
constexpr Table<6, 6> kRecords5(kMain5, kOverlay5);
constexpr Table<4, 4> kRecords6(kMain6, kOverlay6);

}  // namespace

const GLFormatTable gaFormatTables[6] = {
    {0, 1, 12, 4, kRecords1.a, nullptr}, {0, 2, 12, 4, kRecords2.a, nullptr},
    {0, 2, 8, 4, kRecords3.a, nullptr},  {0, 1, 6, 2, kRecords4.a, nullptr},
    {0, 2, 6, 2, kRecords5.a, nullptr},  {0, 2, 4, 2, kRecords6.a, nullptr},
};
