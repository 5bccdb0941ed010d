// The lgi layer as the GL layer sees it: the rendering layer beneath the GL
// state. Every GL context owns one lgi context (N_Context); exactly one lgi
// context is current in the process, and every entry point but N_Init,
// N_CreateContext and N_DestroyContext works on that one. The GL layer
// changes rendering state only through the attribute setters below; they
// store the value and mark the state groups that must be validated again
// before the next primitive. Nothing here takes a lock: all lgi work runs
// under the display driver's csEscape.
//
// This header is the whole contract: the GL layer includes no other header
// of the lgi layer.
#pragma once

#include <cstddef>

#include "platform/kernel.h"

struct N_Context;    // an lgi rendering context
struct GLBuffer;     // a colour, depth, stencil or accumulation buffer of the GL layer
struct GLSRVDEVICE;  // the GL server's device record

// --- memory ------------------------------------------------------------------------
// The layer's allocation hooks, process-wide. The defaults are LocalAlloc
// (fixed, zero-filled) and LocalFree.
typedef void* (*N_AllocFunc)(std::size_t cb);
typedef void (*N_FreeFunc)(void* pv);

// Installs the hooks; a null argument selects that hook's default.
void _NSetAllocFuncs(N_AllocFunc pfnAlloc, N_FreeFunc pfnFree);
// Allocates through the hook; on failure prints "_Nalloc: failed!" and
// answers null.
void* _Nalloc(std::size_t cb);
// Frees through the hook; a null pointer prints "_Nfree: NULL ptr!" and
// frees nothing.
void _Nfree(void* pv);

// --- start-up and shut-down -----------------------------------------------------------
// Starts the layer (DriverInit, with nulls and zeros): takes the work arena,
// installs the hooks, reads __qrnGLSpeedOverMemory and builds the stage
// table. When the arena cannot be had the layer stays down. A second call
// while the layer stands changes nothing.
void N_Init(N_AllocFunc pfnAlloc, N_FreeFunc pfnFree, ULONG ulUnused0, ULONG ulUnused1);
// Gives the work arena back (the server's unload hook); prints "_NFreeData".
void _NFreeData(void);

// --- contexts ---------------------------------------------------------------------------
// A new context for a visual with the given stereo flag, or null.
N_Context* N_CreateContext(ULONG ulStereo);
// Frees the context and everything it owns. The GL layer makes another
// context current before any further call on the current context.
void N_DestroyContext(N_Context* pctx);
// Two hooks the GL layer runs before N_DestroyContext; they do nothing.
void N_DeleteHookA(void);
void N_DeleteHookB(void);
// Makes the context current (its batch counter restarts when it was not);
// reloads the board's dither matrix when the context dithers.
void N_MakeCurrent(N_Context* pctx);

// --- attributes -------------------------------------------------------------------------
// Attribute ids (N_AttrId): 0-23 operations on the four small matrix stacks
// (id = 6 x stack + operation: 0 load entry 0 and reset the depth, 1 push,
// 2 pop, 3 load the top, 4 multiply the top, 5 push a value), 24 load the
// further matrix (attribute 34), 25-29 unused, 30-168 state-block
// attributes.
// The stacks' roles: 0 the modelview M, 1 the projection, 2 the viewport
// matrix (P = top of 2 x top of 1), 3 the texture matrix; on a stereo board
// the further matrix is the second eye's projection, which takes stack 1's
// place (second eye = top of 2 x further matrix x M).
enum : ULONG {
    N_ATTR_STACK_FIRST = 0,
    N_ATTR_STACK_LAST = 23,
    N_ATTR_EXTRA_MATRIX_OP = 24,
    N_ATTR_FIRST = 30,
    N_ATTR_LAST = 168,
    N_ATTR_COUNT = 169,
};

// Stores an attribute of the current context from pvValue (16 floats for the
// matrix operations that take one; nothing is read for push and pop). A value
// equal to the stored one marks nothing dirty. Answers the words stored (16
// or 0 for matrix operations, the attribute's word count otherwise), or 0 for
// an id outside the numbering ("N_SetStateBlockAttr: unknown opcode").
LONG N_SetStateBlockAttr(ULONG id, const void* pvValue);
// The same for a one-word attribute given by value; an attribute of more
// words is refused like an unknown id.
LONG N_SetStateBlockAttrWord(ULONG id, ULONG ulWord);
// Copies attribute id (30-168) of the current context to pvDest; other ids
// copy nothing. Answers -1.
LONG N_GetStateBlockAttr(ULONG id, void* pvDest);

// --- window clip list ---------------------------------------------------------------------
// Binds the window's clip rectangles: two words a rectangle, (ymin << 16) |
// xmin then (ymax << 16) | xmax, unsigned 16-bit halves, screen
// coordinates. No list or a count below 1 binds one all-zero rectangle.
// Answers the number of rectangles unpacked.
LONG N_BindClipList(LONG cRects, const ULONG* pulRects);
// Forgets the clip list: the built-in rectangle with a count of 0.
void N_ResetClipList(void);

// --- command stream -------------------------------------------------------------------------
// Runs cWords words of lgi commands (opcode word, then its argument words)
// against the current context. Commands that carry an address (16, 17, 22,
// 24) take it as two words, low half first. A command whose arguments the
// attribute table does not vouch for, or that runs past cWords, is refused
// and ends the stream. Answers 0, the completion token of the buffer.
ULONG N_DispatchPackets(const ULONG* pulWords, LONG cWords);
// Whether the work of a token is finished, and waiting for all work: both
// answer 1 (work is finished when the call that produced it returns).
ULONG N_PacketsDone(ULONG ulToken);
ULONG N_Sync(void);

// Opcodes of the command stream that the GL layer writes.
enum : ULONG {
    N_PKT_NOP = 14,
    N_PKT_SAVE_STATE = 16,      // address (2 words): the 430 state words are copied there
    N_PKT_GET_ATTR = 17,        // id, address (2 words)
    N_PKT_RESTORE_STATE = 22,   // address (2 words): 430 words copied in, all state dirty
    N_PKT_SET_ATTR = 23,        // id, table word, dirty bits, the attribute's words
    N_PKT_SET_ATTR_INDIRECT = 24,  // id, address (2 words); marks nothing dirty
    N_PKT_SET_STACK_ATTR = 25,  // id 0-24, unused word, dirty bits, 16 or 0 words
    N_PKT_RASTER_POS = 62,      // x, y, z, w
    N_PKT_DRAW_FIRST = 63,      // 63-71: format mask, vertex count, vertex data
    N_PKT_DRAW_LAST = 71,
    N_PKT_ACCUM = 78,           // operation, value
    N_PKT_CLEAR_ACCUM = 79,     // value
    N_PKT_OPCODES = 85,
};

// --- bound buffers and pixel operations -------------------------------------------------------
// Binds up to cBuffers descriptors of a null-terminated list to their slots
// by kind (colour, alpha, further planes, depth, stencil, accumulation);
// other kinds are ignored.
void N_BindBuffers(ULONG cBuffers, GLBuffer* const* ppBuffers);
// Empties the slots that each set bit (0-23) of the mask names.
void N_InvalidateBuffers(ULONG flMask);
// Clears the rectangle of every bound buffer the mask names (0x1, 0x2, 0x4,
// 0x8 colour, 0x100 depth, 0x200 stencil, 0x400 accumulation, 0x800 depth
// with stencil, 0x10000-0x80000 further planes). With bUseContext the value
// comes from the context's clear attributes, else ulValue.
void N_Clear(ULONG flMask, LONG x, LONG y, LONG cx, LONG cy, ULONG bUseContext, ULONG ulValue);
// Draws a width x height image at the current raster position.
void N_DrawPixels(LONG cx, LONG cy, ULONG ulFormat, ULONG ulType, const void* pvPixels);
// Reads what the direct paths serve into pvDest; answers -1 (the GL layer
// reads the rest).
LONG N_ReadPixels(LONG x, LONG y, LONG cx, LONG cy, ULONG ulFormat, ULONG ulType, void* pvDest);
// Copies a rectangle (source 0 colour, 1 stencil, 2 depth) to the raster
// position.
void N_CopyPixels(LONG x, LONG y, LONG cx, LONG cy, ULONG ulSource);

// --- lights, user clip planes and pixel maps ---------------------------------------------------
// A light record: the layout of the context's lights and of the values the
// GL layer passes in (25 words). Spot direction and position are kept in
// eye coordinates.
struct N_Light {
    ULONG control;          // 0x1
    float ambient[4];       // 0x2
    float diffuse[4];       // 0x4
    float spotDirection[3]; // 0x10
    float position[4];      // 0x20
    float spotExponent;     // 0x40
    float spotCutoff;       // 0x80
    float constantAttenuation;   // 0x100
    float linearAttenuation;     // 0x200
    float quadraticAttenuation;  // 0x400
    float specular[4];      // 0x8
};
static_assert(sizeof(N_Light) == 100, "a light record is 25 words");

// Field bits of N_SetLight and N_GetLight.
enum : ULONG {
    N_LIGHT_CONTROL = 0x1,
    N_LIGHT_AMBIENT = 0x2,
    N_LIGHT_DIFFUSE = 0x4,
    N_LIGHT_SPECULAR = 0x8,
    N_LIGHT_SPOT_DIRECTION = 0x10,
    N_LIGHT_POSITION = 0x20,
    N_LIGHT_SPOT_EXPONENT = 0x40,
    N_LIGHT_SPOT_CUTOFF = 0x80,
    N_LIGHT_CONSTANT_ATTENUATION = 0x100,
    N_LIGHT_LINEAR_ATTENUATION = 0x200,
    N_LIGHT_QUADRATIC_ATTENUATION = 0x400,
};

// Copies cLights records (as given, no transform) and makes that the light
// count; the arrays grow when the count exceeds their capacity.
void N_SetLights(ULONG cLights, const N_Light* pLights);
// Updates the fields of light iLight (below the light count; other indexes
// are ignored) that flMask names. The spot direction and a position with
// w = 0 are carried to eye space by the upper 3x3 of the current modelview,
// a position with w != 0 by the whole modelview.
void N_SetLight(ULONG flMask, ULONG iLight, const N_Light* pValues);
// Copies the eye-space spot direction (0x10) and position (0x20) of light
// iLight into the same fields of *pOut; nothing else is written.
void N_GetLight(ULONG flMask, ULONG iLight, N_Light* pOut);
// The lights' enable words; a count of 0 or no words drops the array.
void N_SetLightEnables(ULONG cEnables, const ULONG* pulEnables);
// Stores cPlanes planes (four floats each), carried to eye space by the
// transpose of the inverse modelview.
void N_SetClipPlanes(ULONG cPlanes, const float* pfPlanes);
// Replaces plane iPlane (below the plane count) the same way.
void N_SetClipPlane(ULONG iPlane, const float* pfPlane);
// The planes' enable words (1 = enabled).
void N_SetClipPlaneEnables(ULONG cEnables, const ULONG* pulEnables);
// A pixel map as the GL layer hands it: map number 0-9, value count (at most
// N_PIXEL_MAP_VALUES), the values.
struct N_PixelMapDesc {
    ULONG map;
    ULONG cValues;
    const ULONG* pulValues;
};
constexpr ULONG N_PIXEL_MAP_VALUES = 32;
// Stores cMaps pixel maps; a map number above 9 or a count above 32 is
// refused (that map only).
void N_SetPixelMaps(ULONG cMaps, const N_PixelMapDesc* pMaps);

// --- texture images -----------------------------------------------------------------------
// The GL layer's record of one level of the 1D or 2D texture image, kept in
// its per-context level lists and read here when the level is loaded.
struct __GLXtexLevel {
    void* pvImage;          // 0 the unpacked image: width x height texels, rows back to back
    ULONG ulReserved;       // 1
    ULONG target;           // 2 0 one-dimensional, 1 two-dimensional
    ULONG width;            // 3 with the border
    ULONG height;           // 4 with the border (1 for 1D)
    ULONG type;             // 5 type code (0 UNSIGNED_BYTE .. 7 FLOAT)
    ULONG format;           // 6 format code (0 COLOR_INDEX, 3 RED .. 10 LUMINANCE_ALPHA)
    ULONG level;            // 7
    ULONG border;           // 8 0 or 1
    ULONG components;       // 9 1 to 4
    ULONG ulLoader;         // 10 the board loader's word
    __GLXtexLevel* pNext;   // 11 the next level of the list
};
// Loads a level into the board and the software texture cache of the
// current context: 0 when it was loaded, found or ignored, -1 when its
// sizes are refused.
LONG N_BindAttrMap(const __GLXtexLevel* pLevel);

// --- what the lgi layer uses of the GL layer ---------------------------------------------------
// The server's device record that new contexts' hardware records name.
GLSRVDEVICE* __glDeviceRecord(void);
