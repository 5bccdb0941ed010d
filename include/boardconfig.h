// The board-configuration record: the 240 bytes that the video miniport keeps
// for the boards and that travel unchanged between the miniport, the display
// driver (escape ESC_BOARDCONFIG) and its callers (the control-panel applet
// and the OpenGL client driver). Offers `BoardConfig`, its operation words,
// the `BCF_...` flag bits and the `TEXMODE_...` texture modes.
#pragma once

#include <cstddef>
#include <cstdint>

// `op`: what the escape does with the record. Any value but 2 reads.
#define BOARDCONFIG_READ 1u
#define BOARDCONFIG_WRITE 2u

// Value of the install-state word when the 3D side is not installed: the
// display driver then places no 3D buffers.
#define BOARDCONFIG_3D_NOT_INSTALLED 2u

// `textureMode`.
#define TEXMODE_PERFORMANCE 0u
#define TEXMODE_MEMORY 1u
#define TEXMODE_NOHARDWARE 2u

// `flags`.
#define BCF_STEREO_VALID 0x01u  // the stereo values are valid
#define BCF_MIPMAP 0x02u        // mip-mapping
#define BCF_DUAL_MONITOR 0x04u  // two boards drive two screens side by side
#define BCF_AA_LINES 0x08u      // anti-aliased lines
#define BCF_HW_OPTION 0x10u     // hardware option present (set by the driver on read)
#define BCF_STEREO 0x40u        // the board runs stereo

#define BOARDCONFIG_VERSION_CHARS 30

typedef struct BoardConfig {
    std::uint32_t op;                 // +0   BOARDCONFIG_READ / BOARDCONFIG_WRITE
    std::uint32_t installState;       // +4   BOARDCONFIG_3D_NOT_INSTALLED: no 3D side
    std::uint32_t currentZDepth;      // +8   depth bits in force: 0, 16 or 24
    std::uint32_t offscreenBitmaps;   // +12  keep 2D bitmaps in board memory
    std::uint32_t alphaBuffer;        // +16  alpha buffer wanted
    std::uint32_t stencilBuffer;      // +20  stencil buffer wanted
    std::uint32_t doubleBuffer;       // +24  a back buffer is placed
    std::uint32_t textureMode;        // +28  TEXMODE_...
    std::uint32_t reserved0[2];       // +32
    std::uint32_t screenWidth;        // +40
    std::uint32_t screenHeight;       // +44
    // Page bytes x 32 x rasterizers of a screen, a page counted with the
    // board's page multipliers (as the driver's 3D sizing and the miniport
    // count it).
    std::uint32_t totalMemoryKB;      // +48
    std::uint32_t usedMemoryKB;       // +52
    std::uint32_t bitsPerPixel;       // +56  8, 16 or 32
    std::uint32_t refreshRate;        // +60  hertz
    std::uint32_t rasterizers;        // +64  rasterizers of one board
    std::uint32_t boardCount;         // +68
    std::uint32_t zDepth;             // +72  requested depth 0, 16 or 24
    std::uint32_t syncSwapToVBlank;   // +76  swaps wait for the vertical retrace
    std::uint32_t modelImprecision;   // +80
    std::uint32_t cadModelerOptimize; // +84
    std::uint32_t stereoMode;         // +88  index into the stereo mode table, 0 = off
    std::uint32_t reserved1[2];       // +92
    std::uint32_t maskedSwap;         // +100 every swap is a plane-masked copy
    std::uint32_t driverVersion[BOARDCONFIG_VERSION_CHARS];  // +104 one character a word
    float stereoAdjust;               // +224
    float stereoOffset;               // +228
    float stereoTranslate;            // +232
    std::uint32_t flags;              // +236 BCF_...
} BoardConfig;

static_assert(sizeof(BoardConfig) == 240, "BoardConfig is 240 bytes");
static_assert(offsetof(BoardConfig, op) == 0);
static_assert(offsetof(BoardConfig, installState) == 4);
static_assert(offsetof(BoardConfig, currentZDepth) == 8);
static_assert(offsetof(BoardConfig, offscreenBitmaps) == 12);
static_assert(offsetof(BoardConfig, alphaBuffer) == 16);
static_assert(offsetof(BoardConfig, stencilBuffer) == 20);
static_assert(offsetof(BoardConfig, doubleBuffer) == 24);
static_assert(offsetof(BoardConfig, textureMode) == 28);
static_assert(offsetof(BoardConfig, screenWidth) == 40);
static_assert(offsetof(BoardConfig, screenHeight) == 44);
static_assert(offsetof(BoardConfig, totalMemoryKB) == 48);
static_assert(offsetof(BoardConfig, usedMemoryKB) == 52);
static_assert(offsetof(BoardConfig, bitsPerPixel) == 56);
static_assert(offsetof(BoardConfig, refreshRate) == 60);
static_assert(offsetof(BoardConfig, rasterizers) == 64);
static_assert(offsetof(BoardConfig, boardCount) == 68);
static_assert(offsetof(BoardConfig, zDepth) == 72);
static_assert(offsetof(BoardConfig, syncSwapToVBlank) == 76);
static_assert(offsetof(BoardConfig, modelImprecision) == 80);
static_assert(offsetof(BoardConfig, cadModelerOptimize) == 84);
static_assert(offsetof(BoardConfig, stereoMode) == 88);
static_assert(offsetof(BoardConfig, maskedSwap) == 100);
static_assert(offsetof(BoardConfig, driverVersion) == 104);
static_assert(offsetof(BoardConfig, stereoAdjust) == 224);
static_assert(offsetof(BoardConfig, stereoOffset) == 228);
static_assert(offsetof(BoardConfig, stereoTranslate) == 232);
static_assert(offsetof(BoardConfig, flags) == 236);
