// Records of the immediate-mode 3D escape ESC_HEIDI (-16): the command
// record a client sends, the header of the section it shares with the
// driver, and the vertices it writes there.
#pragma once

#include <cstddef>
#include <cstdint>

// Codes (word 0 of the command record).
#define HEIDI_INIT 90u          // bind a window, map the section; answers the window handle
#define HEIDI_LOAD_TEXTURE 91u  // answers the slot, or HEIDI_NO_SLOT
#define HEIDI_FREE_TEXTURE 92u
#define HEIDI_NOP 100u
#define HEIDI_SET_BUFFER 101u
#define HEIDI_CLEAR 102u
#define HEIDI_POINTS 103u
#define HEIDI_LINES_FIRST 104u  // 104, 105, 106: line strips
#define HEIDI_LINES_LAST 106u
#define HEIDI_TRIS_FIRST 107u   // 107, 108, 109: triangle strips (109 dithered)
#define HEIDI_TRIS_DITHER 109u
#define HEIDI_TRIS_FIXED 110u   // triangle strips through the fixed renderer
#define HEIDI_RECTS 111u
#define HEIDI_NOP_112 112u
#define HEIDI_NOP_113 113u
#define HEIDI_WRITE_COLOUR 114u  // view -> destination colour buffer (variant 1: ROP 0x66)
#define HEIDI_READ_COLOUR 115u   // destination colour buffer -> view
#define HEIDI_WRITE_DEPTH 116u   // view -> depth buffer
#define HEIDI_READ_DEPTH 117u    // depth buffer -> view

// set_buffer sub-commands (word 3 of code 101).
#define HEIDI_BUF_FRONT 0u
#define HEIDI_BUF_BACK 1u
#define HEIDI_BUF_SWAP 2u        // copy back to front over the window's clip rectangles
#define HEIDI_BUF_DEPTH_OFF 3u
#define HEIDI_BUF_DEPTH_ON 4u
#define HEIDI_BUF_DITHER_OFF 5u
#define HEIDI_BUF_DITHER_ON 6u
#define HEIDI_BUF_NOTHING 7u

#define HEIDI_TEXTURES 100u   // slots of a device's texture table
#define HEIDI_ANY_SLOT 255u   // load into the first free slot
#define HEIDI_NO_SLOT 255u    // load_texture's failure answer
#define HEIDI_MAX_CLIP 64u    // clip rectangles a window keeps

// Bits of the command's set-up byte (byte 4): before drawing, take the
// requested mode bytes of the view into the active ones.
#define HEIDI_SETUP_DEPTH 0x01u   // byte 3 -> byte 0
#define HEIDI_SETUP_COLOUR 0x04u  // byte 4 -> byte 1, with the four fill colours
#define HEIDI_SETUP_THIRD 0x08u   // byte 5 -> byte 2

// The command record: the escape's input. Word 2 is the window handle that
// init answered (init itself: the window's handle). Word 3 and word 4 carry
// what each code needs: init the section handle and size, clear the clear
// value, set_buffer the sub-command, drawing codes the constant colour of
// variant 0 (word 4) and the vertex count (word 5); textures and transfers
// read the 16-bit fields.
typedef struct HEIDICMD {
    std::uint32_t ulCode;      // 0
    std::uint8_t jSetup;       // 4: HEIDI_SETUP_... (drawing codes)
    std::uint8_t jReserved5;   // 5
    std::uint8_t jSelect;      // 6: texture slot, variant, clear target (1: depth)
    std::uint8_t jReserved7;   // 7
    std::uint32_t hWindow;     // 8
    std::uint16_t cx;          // 12 (as a word: section handle, clear value, sub-command)
    std::uint16_t cy;          // 14
    std::uint16_t x;           // 16 (as a word: section size, variant 0's colour)
    std::uint16_t y;           // 18: transfers y; textures the first row bound
    std::uint32_t cVertices;   // 20: drawing codes
    std::uint8_t ajReserved24[14];
    std::uint16_t usRowBound;  // 38: textures the second row bound
    std::uint8_t ajReserved40[16];
    std::uint32_t cjRow;       // 56: bytes of one image row in the view
} HEIDICMD;
static_assert(sizeof(HEIDICMD) == 60, "the command record is 60 bytes");
static_assert(offsetof(HEIDICMD, jSelect) == 6 && offsetof(HEIDICMD, hWindow) == 8 &&
                  offsetof(HEIDICMD, cx) == 12 && offsetof(HEIDICMD, cy) == 14 &&
                  offsetof(HEIDICMD, x) == 16 && offsetof(HEIDICMD, y) == 18 &&
                  offsetof(HEIDICMD, cVertices) == 20 && offsetof(HEIDICMD, usRowBound) == 38 &&
                  offsetof(HEIDICMD, cjRow) == 56,
              "command record offsets");

// The least input of each kind of code.
#define HEIDI_CJ_HANDLE 12u   // codes that name only the window
#define HEIDI_CJ_WORD3 16u    // set_buffer, clear
#define HEIDI_CJ_INIT 20u
#define HEIDI_CJ_DRAW 24u
#define HEIDI_CJ_FULL 60u     // textures and transfers

// The header of the shared view (40 bytes); data follows from byte 40.
typedef struct HEIDIVIEW {
    std::uint8_t ajMode[6];     // 0-2 active depth, colour and third mode; 3-5 requested
    std::uint8_t ajReserved6[10];
    std::uint8_t ajFill[8];     // 16, 18, 20, 22: the four fill colours (odd bytes unused)
    std::uint32_t ulFormat;     // 24: the device's bitmap format (3, 4 or 6)
    std::uint32_t ulPixelKind;  // 28: 0 for 8 bpp, 1 for 16, 2 for 32
    std::uint32_t ulDepthBits;  // 32: the depth buffer's bits (16, 24, 32)
    std::uint32_t ulRoomLimit;  // 36: (size - 40) / 4 - 10 words
} HEIDIVIEW;
static_assert(sizeof(HEIDIVIEW) == 40, "the view header is 40 bytes");
static_assert(offsetof(HEIDIVIEW, ajFill) == 16 && offsetof(HEIDIVIEW, ulFormat) == 24 &&
                  offsetof(HEIDIVIEW, ulRoomLimit) == 36,
              "view header offsets");
#define HEIDI_VIEW_DATA 40u

// A vertex in the view (from byte 40).
typedef struct HEIDIVERTEX {
    std::uint32_t ulPos;     // (y << 16) | x, 28.4, window coordinates, y up
    std::uint32_t ulDepth;   // bit 31: the last segment or triangle of a strip
    std::uint32_t ulColour;
    std::uint32_t ulUnused;
    std::uint32_t ulLink;    // the driver's
} HEIDIVERTEX;
static_assert(sizeof(HEIDIVERTEX) == 20, "a vertex is 20 bytes");
#define HEIDI_STRIP_END 0x80000000u
