// The graphics engine: the services a display driver calls back (surfaces,
// palettes) and the engine device that loads a display driver and drives it
// in the engine's order.
//
// Every service that can fail on the original platform asks
// vnx::faults::should_fail with its own name first ("EngCreatePalette",
// "EngCreateBitmap", "EngCreateDeviceSurface", "EngCreateDeviceBitmap",
// "EngAssociateSurface", "EngLockSurface", "PALOBJ_cGetColors", "EngBitBlt",
// "EngCopyBits", "EngStretchBlt", "BRUSHOBJ_pvAllocRbrush",
// "XLATEOBJ_piVector", "EngTextOut") and then answers its failure value. Handles are
// checked on every use; a stale or foreign handle gets the failure value.
//
// The software drawing services (EngBitBlt, EngCopyBits, EngStretchBlt) are
// the fallbacks a driver hands back what it does not draw itself. They draw
// host bitmaps directly; the pixels of a device surface (STYPE_DEVICE,
// STYPE_DEVBITMAP) they reach through its driver's DrvCopyBits: the area
// they need is copied into a temporary host bitmap, drawn there and copied
// back. A driver that calls them back with a device surface from inside
// such a DrvCopyBits gets FALSE instead of an endless recursion.
//
// Booting a device and enabling a driver on it:
//
//     vnx::miniport::MachineConfig cfg;          // the simulated machine
//     vnx::engine::Device device(cfg);
//     device.load_driver("vornix.dll");          // DrvEnableDriver
//     device.enable_pdev(request);               // DrvEnablePDEV, DrvCompletePDEV
//     ...
//     device.unload_driver();                    // disables what is enabled, in order
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ddi.h"
#include "platform/export.h"
#include "platform/miniport.h"

extern "C" {

// --- surfaces --------------------------------------------------------------

// A host bitmap of sizl pixels. lWidth: bytes of one row (0: the engine
// rounds rows to 32 bits). fl: BMF_TOPDOWN for row 0 first in memory. pvBits:
// the caller's bits, which must outlive the surface, or null for bits the
// engine allocates zero-filled.
VNX_PLATFORM_API HSURF EngCreateBitmap(SIZEL sizl, LONG lWidth, ULONG iFormat, FLONG fl,
                                       PVOID pvBits);
// A device's primary surface; dhsurf is the driver's record of it.
VNX_PLATFORM_API HSURF EngCreateDeviceSurface(DHSURF dhsurf, SIZEL sizl, ULONG iFormatCompat);
// A bitmap the driver keeps in its own memory; dhsurf is the driver's record.
VNX_PLATFORM_API HSURF EngCreateDeviceBitmap(DHSURF dhsurf, SIZEL sizl, ULONG iFormatCompat);
// Ties a surface to an engine device (its SURFOBJ then carries the device's
// dhpdev) and records which drawing calls the driver hooks (HOOK_...).
VNX_PLATFORM_API BOOL EngAssociateSurface(HSURF hsurf, HDEV hdev, FLONG flHooks);
// The surface's SURFOBJ, valid until EngUnlockSurface; null on failure.
VNX_PLATFORM_API SURFOBJ* EngLockSurface(HSURF hsurf);
VNX_PLATFORM_API void EngUnlockSurface(SURFOBJ* pso);
VNX_PLATFORM_API BOOL EngDeleteSurface(HSURF hsurf);

// --- palettes --------------------------------------------------------------

// PAL_INDEXED: cColors (1..256) entries from pulColors (0x00BBGGRR each).
// PAL_BITFIELDS: the three masks. PAL_RGB, PAL_BGR: no arguments.
VNX_PLATFORM_API HPALETTE EngCreatePalette(ULONG iMode, ULONG cColors, ULONG* pulColors,
                                           FLONG flRed, FLONG flGreen, FLONG flBlue);
VNX_PLATFORM_API BOOL EngDeletePalette(HPALETTE hpal);
// Copies up to cColors entries from iStart into pulColors and answers how many
// it copied: fewer when the palette ends first, 0 for a palette that is not
// indexed.
VNX_PLATFORM_API ULONG PALOBJ_cGetColors(PALOBJ* ppalo, ULONG iStart, ULONG cColors,
                                         ULONG* pulColors);

// --- client processes --------------------------------------------------------

// The process on whose behalf the driver runs the current call (an escape,
// a pixel-format call, a buffer swap reaching it from a device context): a
// handle of the server process's, good for OpenProcess-style use
// (ReadProcessMemory, WriteProcessMemory, DuplicateHandle from that
// process). The engine owns it; it stays the same for that process and is
// closed when the process ends. Null outside such a call.
VNX_PLATFORM_API HANDLE EngGetProcessHandle(void);

// --- driver objects ----------------------------------------------------------
//
// A driver object belongs to the process on whose behalf the call that made
// it runs (EngGetProcessHandle's process; the current logical process
// outside such a call). Only that process's calls reach it: another
// process's handle, like a deleted or made-up one, is refused. The server
// process's own calls (outside any client's call: a device being disabled)
// reach every object. When the process ends the engine deletes its
// objects, running each clean-up.
//
// A lock is held by one thread (it nests on that thread; other threads wait
// for it). Deleting an object another thread holds locked waits until that
// thread unlocks it, so a process-end clean-up never frees what a running
// call still uses. Every service asks vnx::faults::should_fail with its own
// name first ("EngCreateDriverObj", "EngLockDriverObj").

// A handle for pvObj with its clean-up, or 0 (no clean-up, no device, or
// the calling process gone).
VNX_PLATFORM_API HDRVOBJ EngCreateDriverObj(PVOID pvObj, FREEOBJPROC pFreeObjProc, HDEV hdev);
// The object, locked for the calling thread; null when the handle names no
// object of the calling process, or the object is being deleted.
VNX_PLATFORM_API DRIVEROBJ* EngLockDriverObj(HDRVOBJ hdo);
// Undoes one EngLockDriverObj of the calling thread (also after the owner
// ended: its clean-up is waiting for this).
VNX_PLATFORM_API BOOL EngUnlockDriverObj(HDRVOBJ hdo);
// Deletes the object, first running its clean-up when bCallBack is set
// (FALSE, and the object stays, when the clean-up answers FALSE). bLocked:
// the caller holds the object locked; otherwise it must not, and a lock
// another thread holds is waited for. FALSE for a handle of no object of the
// calling process.
VNX_PLATFORM_API BOOL EngDeleteDriverObj(HDRVOBJ hdo, BOOL bCallBack, BOOL bLocked);

// --- window objects ----------------------------------------------------------
//
// A window object follows one window (platform/windows.h) on one device's
// surface. Its client region is the window's visible part (client rectangle
// less the windows above it, cut to the surface); rclClient is the client
// rectangle. Every change of the window calls the callback, outside every
// lock of the engine, one call at a time: WOC_RGN_CLIENT_DELTA (when asked
// for) with the region enumerating the part newly visible, then
// WOC_RGN_CLIENT with the whole new region; WOC_DELETE when the window is
// destroyed (also when its process ends) or the window object deleted,
// after which the window object is gone.

// A window object for hwnd on pso's device, describing the window as it is
// now. Null when hwnd is not a live window of the calling process, pso is
// not a device surface, pfn is null or fl asks for nothing known;
// (WNDOBJ*)-1 when the window already has a window object on that device
// (window_object finds it). "EngCreateWnd" fault point.
VNX_PLATFORM_API WNDOBJ* EngCreateWnd(SURFOBJ* pso, HWND hwnd, WNDOBJCHANGEPROC pfn, FLONG fl,
                                      int iPixelFormat);
// Deletes a window object for the driver that made it; its callback is not
// called (the driver knows).
VNX_PLATFORM_API void EngDeleteWnd(WNDOBJ* pwo);
VNX_PLATFORM_API void WNDOBJ_vSetConsumer(WNDOBJ* pwo, PVOID pvConsumer);
// Starts an enumeration of the client region (inside a WOC_RGN_CLIENT_DELTA
// call: of the newly visible part) in the order iDirection; answers the
// number of rectangles, or 0xFFFFFFFF when there are more than cLimit (0: no
// limit). iType must be CT_RECTANGLES.
VNX_PLATFORM_API ULONG WNDOBJ_cEnumStart(WNDOBJ* pwo, ULONG iType, ULONG iDirection,
                                         ULONG cLimit);
// As CLIPOBJ_bEnum, for the enumeration WNDOBJ_cEnumStart started.
VNX_PLATFORM_API BOOL WNDOBJ_bEnum(WNDOBJ* pwo, ULONG cj, ULONG* pul);

// --- software drawing ------------------------------------------------------

// Draws prclTrg (right and bottom exclusive, well ordered) of psoTrg under
// the clip with the raster operation rop4: its low byte is the ROP3 where
// the mask bit is 1, its high byte the ROP3 where it is 0 (equal bytes: no
// mask is read). Bit i of a ROP3 is the result for pattern, source and
// destination bits (P << 2 | S << 1 | D) = i. Operands, read only when the
// ROP needs them: the source at pptlSrc (its values through pxlo), the
// brush pbo (solid colour, or its pattern tiled from pptlBrush, default
// (0, 0)), the 1-bpp psoMask at pptlMask (without it, the brush's mask).
// Source and target may overlap. The source may be run-length encoded
// (BMF_4RLE, BMF_8RLE). Pixels whose source or mask lies outside its
// surface, or that no run of the source covers, are not drawn. FALSE when an
// operand the ROP reads is missing or unreadable.
VNX_PLATFORM_API BOOL EngBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                                XLATEOBJ* pxlo, RECTL* prclTrg, POINTL* pptlSrc,
                                POINTL* pptlMask, BRUSHOBJ* pbo, POINTL* pptlBrush, ROP4 rop4);
// Copies prclDst from psoSrc at pptlSrc, each value through pxlo, under the
// clip. Formats 1 to 32 bpp on either side; BMF_4RLE and BMF_8RLE sources
// write only the pixels their runs cover. The same surface and rectangle on
// both sides translates in place.
VNX_PLATFORM_API BOOL EngCopyBits(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                                  RECTL* prclDst, POINTL* pptlSrc);
// Stretches prclSrc of psoSrc onto prclDst of psoDst, each destination
// pixel taking the source pixel nearest its centre (every iMode; halftone
// approximated the same way), through pxlo, under the clip. A prclDst with
// left > right or top > bottom mirrors. With psoMask, only pixels whose
// mask bit (pptlMask matching prclSrc's top left) is 1 are written; a
// run-length source writes only the pixels its runs cover. pca and
// pptlHTOrg are not used.
VNX_PLATFORM_API BOOL EngStretchBlt(SURFOBJ* psoDst, SURFOBJ* psoSrc, SURFOBJ* psoMask,
                                    CLIPOBJ* pco, XLATEOBJ* pxlo, COLORADJUSTMENT* pca,
                                    POINTL* pptlHTOrg, RECTL* prclDst, RECTL* prclSrc,
                                    POINTL* pptlMask, ULONG iMode);

// --- paths and lines ----------------------------------------------------------

// Starts the enumeration of a path's points.
VNX_PLATFORM_API void PATHOBJ_vEnumStart(PATHOBJ* ppo);
// The next batch of points: a subpath whole, or in pieces of the path's
// batch size; PD_BEGINSUBPATH on a subpath's first batch (with
// PD_RESETSTYLE when its style starts again), PD_ENDSUBPATH on its last
// (with PD_CLOSEFIGURE for a closed figure). TRUE while more batches
// follow; past the end a batch of count 0 and FALSE. The points stay valid
// until the next call.
VNX_PLATFORM_API BOOL PATHOBJ_bEnum(PATHOBJ* ppo, PATHDATA* ppd);
// The smallest rectangle holding every point (28.4, edges included); all
// zero for an empty or unknown path.
VNX_PLATFORM_API void PATHOBJ_vGetBounds(PATHOBJ* ppo, RECTFX* prectfx);
// Clips every cosmetic line of the path against the clip's region (and the
// surface) by the cosmetic-line rule, for PATHOBJ_bEnumClipLines. The
// style state of each line follows from pla's elStyleState and the pixels
// of the lines before it (PD_RESETSTYLE starts it again).
VNX_PLATFORM_API void PATHOBJ_vEnumStartClipLines(PATHOBJ* ppo, CLIPOBJ* pco, SURFOBJ* pso,
                                                  LINEATTRS* pla);
// The next clipped line with pixels inside the region, in a CLIPLINE of cb
// bytes: its end points, its style state at its first pixel (thirds of a
// style unit: units in the high word, thirds in the low one) and as many of
// its runs as fit (pixel indices from the first pixel, both ends included,
// in increasing order); a line with more runs comes again with the rest.
// TRUE while more follow; c = 0 and FALSE when nothing is left.
VNX_PLATFORM_API BOOL PATHOBJ_bEnumClipLines(PATHOBJ* ppo, ULONG cb, CLIPLINE* pcl);

// Strokes a path with cosmetic lines (one pixel wide, by the cosmetic-line
// rule; solid, alternate or user-styled) under the clip with the mix's
// foreground code (mix & 0xFF, R2_BLACK 1 .. R2_WHITE 16) and the brush (a
// solid colour, or its pattern from pptlBrushOrg). A styled stroke writes
// the style state after its last pixel back to elStyleState. FALSE for a
// wide line, an unknown path or brush, or a surface it cannot reach.
VNX_PLATFORM_API BOOL EngStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo,
                                    BRUSHOBJ* pbo, POINTL* pptlBrushOrg, LINEATTRS* plineattrs,
                                    MIX mix);
// Fills the inside of a path's subpaths (each closed) with the brush under
// the mix (foreground code in bits 0-7, background in bits 8-15) and the
// clip: a pixel is inside when its centre is, a centre on a left or top
// edge inside, on a right or bottom one outside; flOptions FP_ALTERNATEMODE
// or FP_WINDINGMODE.
VNX_PLATFORM_API BOOL EngFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo,
                                  POINTL* pptlBrushOrg, MIX mix, FLONG flOptions);
// Fills the clip region with the brush under the mix: the blit of the
// clip's bounds with the ROP4 of the mix's two codes.
VNX_PLATFORM_API BOOL EngPaint(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg,
                               MIX mix);

// --- clip, brush and translation objects -----------------------------------

// Starts an enumeration of the clip region's rectangles (iType
// CT_RECTANGLES) in the order iDirection (CD_...; other values as CD_ANY).
// Answers the number of rectangles, or 0xFFFFFFFF when there are more than
// cLimit. bAll makes no difference: a clip object holds just its region.
// DC_RECT and DC_TRIVIAL objects enumerate rclBounds.
VNX_PLATFORM_API ULONG CLIPOBJ_cEnumStart(CLIPOBJ* pco, BOOL bAll, ULONG iType, ULONG iDirection,
                                          ULONG cLimit);
// Fills an ENUMRECTS of cj bytes with the next rectangles (as many as fit)
// and answers TRUE while more follow. A buffer without room for one
// rectangle, or a clip object the engine did not make, gets a count of 0
// and FALSE.
VNX_PLATFORM_API BOOL CLIPOBJ_bEnum(CLIPOBJ* pco, ULONG cj, ULONG* pul);

// cj zero-filled bytes owned by the brush (freed with it) for the driver's
// realization, from inside DrvRealizeBrush; null on failure.
VNX_PLATFORM_API PVOID BRUSHOBJ_pvAllocRbrush(BRUSHOBJ* pbo, ULONG cj);
// The driver's realization of the brush: pvRbrush when made, else calls the
// target device's DrvRealizeBrush and, when it succeeds with a block from
// BRUSHOBJ_pvAllocRbrush, stores that block in pvRbrush and answers it.
// Null when the brush is solid, unknown, or not realized.
VNX_PLATFORM_API PVOID BRUSHOBJ_pvGetRbrush(BRUSHOBJ* pbo);

// The translation vector of an XO_TABLE object (cEntries values; made on
// first call and kept in pulXlate); null without one (no object, trivial, or
// a source that is not indexed).
VNX_PLATFORM_API ULONG* XLATEOBJ_piVector(XLATEOBJ* pxlo);

// --- text ------------------------------------------------------------------

// Starts handing out the string's glyphs again from the first.
VNX_PLATFORM_API void STROBJ_vEnumStart(STROBJ* pstro);
// The next batch of the string's glyphs: *pc of them at *ppgpos. Answers
// TRUE while more batches follow. A string the engine did not make gets a
// count of 0 and FALSE.
VNX_PLATFORM_API BOOL STROBJ_bEnum(STROBJ* pstro, ULONG* pc, GLYPHPOS** ppgpos);
// Draws a string in software: prclOpaque (when given) filled with
// pboOpaque's colour, then every glyph image's set bits with pboFore (solid
// or pattern, the pattern tiled from (0, 0)), all under the clip. prclExtra,
// pptlOrg and mix are not used (the mix is always opaque foreground). FALSE
// when the surface or a brush cannot be read.
VNX_PLATFORM_API BOOL EngTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco,
                                 RECTL* prclExtra, RECTL* prclOpaque, BRUSHOBJ* pboFore,
                                 BRUSHOBJ* pboOpaque, POINTL* pptlOrg, MIX mix);

}  // extern "C"

namespace vnx::engine {

// --- looking at engine objects (tests and tools) ---------------------------

struct SurfaceInfo {
    SURFOBJ so;
    FLONG flHooks;
    int cLocks;
};

struct PaletteInfo {
    ULONG iMode;
    std::vector<ULONG> colors;
    FLONG flRed, flGreen, flBlue;
};

VNX_PLATFORM_API size_t live_surfaces();
VNX_PLATFORM_API size_t live_palettes();
VNX_PLATFORM_API bool query_surface(HSURF hsurf, SurfaceInfo* info);
VNX_PLATFORM_API bool query_palette(HPALETTE hpal, PaletteInfo* info);
// The PALOBJ the engine hands the driver for a palette; null when unknown.
VNX_PLATFORM_API PALOBJ* palette_object(HPALETTE hpal);
// Writes entries of an indexed palette, as the engine does when an
// application realizes its colours; answers how many it wrote.
VNX_PLATFORM_API ULONG set_palette_colors(HPALETTE hpal, ULONG iStart, ULONG cColors,
                                          const ULONG* pulColors);

// --- driver and window objects (tests and tools) ---------------------------

// Driver objects not yet deleted, of every process.
VNX_PLATFORM_API size_t live_driver_objects();
// The window object the driver made on pso's device for the window whose
// 32-bit handle is hwnd: the engine's checked name of a window object in a
// client's record. Null when there is none, or the window is not a live
// window of the calling process.
VNX_PLATFORM_API WNDOBJ* window_object(SURFOBJ* pso, ULONG hwnd);
VNX_PLATFORM_API size_t live_window_objects();
// The window and translation objects of the driver call running on the
// calling thread, by the 32-bit handles the engine wrote into its input
// (OPENGL_CMD's pwo and pxo, platform/gdi.h). Null for 0, for a handle of
// another call or thread, and once the call has returned. A window object's
// coClient is a clip object of the engine: CLIPOBJ_cEnumStart and
// CLIPOBJ_bEnum enumerate its client region.
VNX_PLATFORM_API WNDOBJ* call_window_object(ULONG hwo);
VNX_PLATFORM_API XLATEOBJ* call_xlate_object(ULONG hxo);

// --- drawing objects ---------------------------------------------------------
//
// The engine makes clip, brush and translation objects for each drawing
// call; these make them for tests and for the engine's own callers. Each
// delete_ takes what its create_ answered (null is ignored).

// A clip to the union of c rectangles: DC_RECT for one rectangle (or none:
// an empty rclBounds that draws nothing), DC_COMPLEX for a region.
VNX_PLATFORM_API CLIPOBJ* create_clip(const RECTL* prcl, ULONG c);
// No clipping (DC_TRIVIAL); rclBounds is rcl.
VNX_PLATFORM_API CLIPOBJ* create_trivial_clip(const RECTL& rcl);
VNX_PLATFORM_API void delete_clip(CLIPOBJ* pco);

// A translation between two palettes: XO_TRIVIAL when both describe the same
// colours, XO_TABLE from an indexed source (vector made on request), else a
// conversion through RGB. Indexed destinations take the nearest entry (the
// first of equals). Null for a bad handle.
VNX_PLATFORM_API XLATEOBJ* create_xlate(HPALETTE hpalSrc, HPALETTE hpalDst);
// An XO_TABLE translation with the given vector (copied; pulXlate set).
// Source values past the vector translate to 0.
VNX_PLATFORM_API XLATEOBJ* create_xlate_vector(const ULONG* pulXlate, ULONG cEntries);
VNX_PLATFORM_API void delete_xlate(XLATEOBJ* pxlo);

// What a brush is made of.
struct BrushDesc {
    // Device colour of a solid brush; 0xFFFFFFFF for a pattern, hatch or
    // dithered brush.
    ULONG iSolidColor = 0xFFFFFFFF;
    // The surface the brush draws on; its device's DrvRealizeBrush realizes it.
    SURFOBJ* psoTarget = nullptr;
    // The pattern, a host bitmap (1 to 32 bpp) in the target's format or
    // translated by pxlo; the engine draws with a copy of it. A dithered
    // brush gives here the pattern the engine itself draws with.
    SURFOBJ* psoPattern = nullptr;
    // An optional 1-bpp mask of the pattern's size: the mask of a ROP4 drawn
    // without a mask surface. Without it a 1-bpp pattern's own bits serve.
    SURFOBJ* psoMask = nullptr;
    // Pattern values to target values (copied).
    XLATEOBJ* pxlo = nullptr;
    // Handed to DrvRealizeBrush: a hatch index, or RB_DITHERCOLOR | rgb.
    ULONG iHatch = 0;
};
// Null when the pattern, mask or translation cannot be read.
VNX_PLATFORM_API BRUSHOBJ* create_brush(const BrushDesc& desc);
VNX_PLATFORM_API void delete_brush(BRUSHOBJ* pbo);

// A run-length encoded source bitmap (BMF_4RLE or BMF_8RLE) of sizl pixels
// from cjBits bytes of runs (copied), first run at the bottom row.
VNX_PLATFORM_API HSURF create_rle_bitmap(SIZEL sizl, ULONG iFormat, const void* pvBits,
                                         ULONG cjBits);

// A path of subpaths (28.4 points), for tests and the engine's own callers.
// cMaxBatch: points a PATHOBJ_bEnum batch holds at most (0: a subpath a
// batch).
struct SubPath {
    std::vector<POINTFIX> points;
    bool bCloseFigure = false;
    bool bResetStyle = false;
};
VNX_PLATFORM_API PATHOBJ* create_path(const std::vector<SubPath>& subpaths, ULONG cMaxBatch = 0);
VNX_PLATFORM_API void delete_path(PATHOBJ* ppo);
VNX_PLATFORM_API size_t live_paths();

VNX_PLATFORM_API size_t live_clips();
VNX_PLATFORM_API size_t live_brushes();
VNX_PLATFORM_API size_t live_xlates();

// --- fonts and strings ------------------------------------------------------
//
// Glyph images come from real fonts: the engine rasterises them with
// FreeType from the DejaVu font files of the system's font folder, one bit a
// pixel, hinted for the size asked for.

enum class FontFace {
    Sans,      // DejaVu Sans: proportional
    SansMono,  // DejaVu Sans Mono: fixed pitch
};
// The font file a face is read from.
VNX_PLATFORM_API const char* font_file(FontFace face);

struct FontDesc {
    FontFace face = FontFace::Sans;
    ULONG cyPixels = 12;  // the em height in pixels (1 to 1000)
    // Glyph images as whole character cells (as wide as the advance, as tall
    // as ascent plus descent, the glyph inside): strings of such a font carry
    // SO_ZERO_BEARINGS | SO_CHAR_INC_EQUAL_BM_BASE | SO_MAXEXT_EQUAL_BM_SIDE.
    // Otherwise each image is the glyph's own inked box.
    bool bCells = false;
};
// Opens a font; null, with the reason in *pError when given, when the font
// file cannot be read or the size is out of range.
VNX_PLATFORM_API FONTOBJ* create_font(const FontDesc& desc, std::string* pError = nullptr);
VNX_PLATFORM_API void delete_font(FONTOBJ* pfo);

struct StringDesc {
    FONTOBJ* pfo = nullptr;
    std::string text;          // one glyph per byte (Latin-1)
    POINTL ptlOrigin{0, 0};    // the first character's origin on its baseline
    // Glyphs per STROBJ_bEnum batch; 0: every glyph at once, also in pgp.
    ULONG cBatch = 0;
};
// A string laid out with the font's advances: ulCharInc the advance of a
// fixed-pitch font, rclBkGround from the first origin to the last advance
// between ascent and descent, widened to hold every glyph image. Null for a
// font the engine did not make.
VNX_PLATFORM_API STROBJ* create_string(const StringDesc& desc);
VNX_PLATFORM_API void delete_string(STROBJ* pstro);
// The width of a string in pixels (the sum of its advances), and the
// font's ascent and descent; 0 for an unknown font.
VNX_PLATFORM_API LONG string_width(FONTOBJ* pfo, const std::string& text);
VNX_PLATFORM_API LONG font_ascent(FONTOBJ* pfo);
VNX_PLATFORM_API LONG font_descent(FONTOBJ* pfo);

VNX_PLATFORM_API size_t live_fonts();
VNX_PLATFORM_API size_t live_strings();

// --- the engine device -----------------------------------------------------

// A display mode request of a size and a depth, at 96 dots an inch (the
// logical resolution every caller here asks for).
inline DEVMODEW DisplayMode(ULONG cx, ULONG cy, ULONG bpp) {
    DEVMODEW dm{};
    dm.dmSize = sizeof dm;
    dm.dmPelsWidth = cx;
    dm.dmPelsHeight = cy;
    dm.dmBitsPerPel = bpp;
    dm.dmLogPixels = 96;
    return dm;
}

// A display device as the engine keeps it: the simulated machine it drives,
// the driver loaded for it and what the driver handed back. The life cycle
// follows the engine's order:
//
//   load_driver      LoadLibraryA, DrvEnableDriver (the function table)
//   enable_pdev      DrvEnablePDEV, then DrvCompletePDEV
//   enable_surface   DrvEnableSurface
//   disable_surface  DrvDisableSurface
//   disable_pdev     DrvDisableSurface when needed, then DrvDisablePDEV
//   unload_driver    disable_pdev when needed, DrvDisableDriver, FreeLibrary
//
// Each step answers false (and leaves the device as it was) when the step
// before it has not been taken or the driver refuses. The destructor unloads.
class VNX_PLATFORM_API Device {
public:
    explicit Device(const vnx::miniport::MachineConfig& config = vnx::miniport::MachineConfig());
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    bool load_driver(const char* name = "vornix.dll");
    // request: the mode asked for (all zero: the driver's first mode);
    // cPatterns: hatch brushes asked for.
    bool enable_pdev(const DEVMODEW& request, ULONG cPatterns = HS_DDI_MAX);
    bool enable_pdev();  // an all-zero request with 96 logical pixels per inch
    bool enable_surface();
    void disable_surface();
    void disable_pdev();
    void unload_driver();

    bool driver_loaded() const;
    bool pdev_enabled() const;
    bool surface_enabled() const;

    // The machine and its miniport handle (hDriver).
    vnx::miniport::Machine& machine();
    HANDLE hDriver() const;
    HDEV hdev() const;

    // What the driver answered.
    const DRVENABLEDATA& enable_data() const;
    // The driver's function for a table index, null when it gave none.
    PFN function(ULONG iFunc) const;
    DHPDEV dhpdev() const;
    HSURF hsurf() const;
    const GDIINFO& gdiinfo() const;
    const DEVINFO& devinfo() const;
    // The hatch-brush handles DrvEnablePDEV filled (as many as asked for).
    const std::vector<HSURF>& patterns() const;

    // --- engine operations that reach the driver ---------------------------

    // DrvGetModes on this device's miniport; 0 without the entry.
    ULONG get_modes(ULONG cjSize, DEVMODEW* pdm);
    // Writes colours into the device palette (the driver's default palette)
    // as far as it holds them, then calls DrvSetPalette(iStart, cColors)
    // with the device palette's PALOBJ. FALSE without an enabled device.
    BOOL set_palette(ULONG iStart, ULONG cColors, const ULONG* pulColors);

    // --- the pointer (pointer.cpp) ------------------------------------------

    // A new pointer shape with its hot spot at (x, y) (x = -1: hidden): a
    // 1-bpp mask of the AND plane over the XOR plane, and for a colour
    // pointer a host bitmap with its translation to the screen. The engine
    // hands it to the driver's DrvSetPointerShape and answers what that
    // answered (SPS_DECLINE without the entry or an enabled surface). When
    // the driver declines, the engine draws the pointer itself on the
    // primary surface (through the driver's DrvCopyBits), keeping the pixels
    // it covers and putting them back when the pointer moves, changes or
    // hides; a shape it cannot read it does not draw.
    ULONG set_pointer_shape(SURFOBJ* psoMask, SURFOBJ* psoColor, XLATEOBJ* pxlo, LONG xHot,
                            LONG yHot, LONG x, LONG y, FLONG fl = 0);
    // Moves the pointer's hot spot to (x, y); x = -1 hides it. The driver's
    // DrvMovePointer when the driver took the shape, else the engine's own.
    void move_pointer(LONG x, LONG y);
    // Whether the engine shows a pointer of its own on the screen now.
    bool software_pointer() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace vnx::engine
