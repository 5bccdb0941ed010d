// The display-driver interface: the records and constants that pass between
// the graphics engine and a display driver, and the driver-function table
// through which the engine reaches the driver.
//
// Records that cross to applications or the miniport (DEVMODEW, GDIINFO) keep
// the byte layout of the original 32-bit interface; records that live in one
// process and hold pointers (SURFOBJ, DEVINFO, DRVENABLEDATA) keep their field
// names and order and may be wider.
#pragma once

#include <cstddef>

#include "platform/kernel.h"

// ---------------------------------------------------------------------------
// Basic types.
typedef ULONG FLONG;
typedef ULONG MIX;
typedef ULONG ROP4;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;

// Engine handles (opaque to the driver) and driver handles (opaque to the
// engine: the driver's own records, cast).
typedef struct HSURF__* HSURF;
typedef struct HDEV__* HDEV;
typedef struct HPALETTE__* HPALETTE;
typedef struct DHPDEV__* DHPDEV;
typedef struct DHSURF__* DHSURF;
typedef struct HWND__* HWND;

typedef struct POINTL {
    LONG x;
    LONG y;
} POINTL;

typedef struct SIZEL {
    LONG cx;
    LONG cy;
} SIZEL;

// Right and bottom are exclusive.
typedef struct RECTL {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECTL;

// Objects the engine hands to drawing entry points. Their contents come with
// the services that use them (CLIPOBJ, BRUSHOBJ and XLATEOBJ below).
struct PATHOBJ;
struct STROBJ;
struct FONTOBJ;
struct XFORMOBJ;
struct LINEATTRS;
struct COLORADJUSTMENT;
struct WNDOBJ;
struct PIXELFORMATDESCRIPTOR;

// ---------------------------------------------------------------------------
// Bitmap formats and surfaces.
#define BMF_1BPP 1u
#define BMF_4BPP 2u
#define BMF_8BPP 3u
#define BMF_16BPP 4u
#define BMF_24BPP 5u
#define BMF_32BPP 6u
#define BMF_4RLE 7u  // run-length encoded 4-bpp source (see EngCopyBits)
#define BMF_8RLE 8u  // run-length encoded 8-bpp source

// SURFOBJ.fjBitmap and EngCreateBitmap flags.
#define BMF_TOPDOWN 0x0001u

// SURFOBJ.iType.
#define STYPE_BITMAP 0     // host bitmap
#define STYPE_DEVICE 1     // the device's primary surface
#define STYPE_DEVBITMAP 3  // a bitmap the driver keeps in its own memory

// Drawing calls the engine sends to the driver for an associated surface
// (EngAssociateSurface).
#define HOOK_BITBLT 0x00000001u
#define HOOK_STRETCHBLT 0x00000002u
#define HOOK_PLGBLT 0x00000004u
#define HOOK_TEXTOUT 0x00000008u
#define HOOK_PAINT 0x00000010u
#define HOOK_STROKEPATH 0x00000020u
#define HOOK_FILLPATH 0x00000040u
#define HOOK_STROKEANDFILLPATH 0x00000080u
#define HOOK_LINETO 0x00000100u
#define HOOK_COPYBITS 0x00000400u

// The engine's view of a surface. `dhpdev` sits directly after `dhsurf`, at
// byte 8, where a driver's device-surface record keeps its owning device as
// well, so code handed either kind of record finds the device at one place.
typedef struct SURFOBJ {
    DHSURF dhsurf;        // driver's surface record (device surfaces), else 0
    DHPDEV dhpdev;        // owning device once associated, else 0
    HSURF hsurf;          // the surface's handle
    HDEV hdev;            // engine device it is associated with, else 0
    SIZEL sizlBitmap;     // size in pixels
    ULONG cjBits;         // bytes of the bits (host bitmaps)
    PVOID pvBits;         // first byte of the bits (host bitmaps)
    PVOID pvScan0;        // first byte of row 0
    LONG lDelta;          // bytes from one row to the next (negative: bottom-up)
    ULONG iUniq;          // changes whenever the surface is drawn on by the engine
    ULONG iBitmapFormat;  // BMF_...
    USHORT iType;         // STYPE_...
    USHORT fjBitmap;      // BMF_TOPDOWN
} SURFOBJ;
static_assert(offsetof(SURFOBJ, dhpdev) == 8, "the device pointer sits at byte 8");

// ---------------------------------------------------------------------------
// Clipping: the part of the destination a drawing call may touch.

// CLIPOBJ.iDComplexity.
#define DC_TRIVIAL 0  // nothing is clipped: draw the whole destination
#define DC_RECT 1     // clipped to rclBounds alone
#define DC_COMPLEX 3  // clipped to a region: enumerate its rectangles
// CLIPOBJ.iFComplexity: the shape of the region.
#define FC_RECT 1     // one rectangle
#define FC_RECT4 2    // two to four rectangles
#define FC_COMPLEX 3  // more
// CLIPOBJ.iMode.
#define TC_RECTANGLES 4

// CLIPOBJ_cEnumStart: what to enumerate (iType) and in which order
// (iDirection). The rectangles of a region lie in bands of equal top and
// bottom; "RIGHT" walks each band left to right, "LEFT" right to left,
// "DOWN" takes the bands top to bottom, "UP" bottom to top. A copy inside
// one surface enumerates so that no rectangle reads pixels an earlier one
// wrote: CD_RIGHTDOWN + (source x < destination x ? 1 : 0) + (source y <
// destination y ? 2 : 0).
#define CT_RECTANGLES 0
#define CD_RIGHTDOWN 0
#define CD_LEFTDOWN 1
#define CD_RIGHTUP 2
#define CD_LEFTUP 3
#define CD_ANY 4

typedef struct CLIPOBJ {
    ULONG iUniq;         // identifies the region; 0 for a clip object made for one call
    RECTL rclBounds;     // bounds of the region (DC_RECT: the clip rectangle itself)
    BYTE iDComplexity;   // DC_...
    BYTE iFComplexity;   // FC_...
    BYTE iMode;          // TC_RECTANGLES
    BYTE fjOptions;
} CLIPOBJ;

// A batch of CLIPOBJ_bEnum: the count, then that many rectangles. Callers
// size the buffer for their batch (4 + 16 bytes a rectangle).
typedef struct ENUMRECTS {
    ULONG c;
    RECTL arcl[1];
} ENUMRECTS;
static_assert(sizeof(RECTL) == 16 && offsetof(ENUMRECTS, arcl) == 4, "ENUMRECTS layout");

// ---------------------------------------------------------------------------
// Brushes and colour translation.

// DrvRealizeBrush's iHatch: set for a solid colour the driver dithers; the
// low 24 bits then hold the colour (0x00BBGGRR). Otherwise iHatch is the
// hatch index (below HS_DDI_MAX) of a hatch brush.
#define RB_DITHERCOLOR 0x80000000u

typedef struct BRUSHOBJ {
    ULONG iSolidColor;  // device colour of a solid brush; 0xFFFFFFFF for any other
    PVOID pvRbrush;     // the driver's realization once made (BRUSHOBJ_pvGetRbrush), else 0
} BRUSHOBJ;

// XLATEOBJ.flXlate.
#define XO_TRIVIAL 0x00000001u  // source values are destination values
#define XO_TABLE 0x00000002u    // source values index a vector (XLATEOBJ_piVector)

// How source pixel values become destination pixel values.
typedef struct XLATEOBJ {
    ULONG iUniq;
    FLONG flXlate;    // XO_...
    USHORT iSrcType;  // PAL_... of the source palette
    USHORT iDstType;  // PAL_... of the destination palette
    ULONG cEntries;   // entries of the vector (XO_TABLE)
    ULONG* pulXlate;  // the vector, or 0 until XLATEOBJ_piVector made it
} XLATEOBJ;

// EngStretchBlt's iMode: how shrinking combines pixels.
#define BLACKONWHITE 1
#define WHITEONBLACK 2
#define COLORONCOLOR 3
#define HALFTONE 4

// ---------------------------------------------------------------------------
// Text: a string of glyphs at their positions, and the font they come from.

typedef ULONG HGLYPH;

// A glyph's 1-bit image: sizlBitmap.cy rows of (sizlBitmap.cx + 7) / 8
// bytes, tightly packed, the leftmost pixel in the most significant bit of
// the first byte of a row. ptlOrigin is the image's top left relative to the
// character origin (the baseline point GLYPHPOS.ptl names).
typedef struct GLYPHBITS {
    POINTL ptlOrigin;
    SIZEL sizlBitmap;
    BYTE aj[1];
} GLYPHBITS;
static_assert(offsetof(GLYPHBITS, aj) == 16, "GLYPHBITS layout");

typedef union GLYPHDEF {
    GLYPHBITS* pgb;
    PATHOBJ* ppo;
} GLYPHDEF;

// One glyph of a string: its handle, its image, and its character origin on
// the surface.
typedef struct GLYPHPOS {
    HGLYPH hg;
    GLYPHDEF* pgdf;
    POINTL ptl;
} GLYPHPOS;

// STROBJ.flAccel.
#define SO_FLAG_DEFAULT_PLACEMENT 0x00000001u  // positions from the font's own advances
#define SO_HORIZONTAL 0x00000002u              // left to right on one baseline
#define SO_VERTICAL 0x00000004u
#define SO_REVERSED 0x00000008u
#define SO_ZERO_BEARINGS 0x00000010u           // no glyph reaches outside its cell
#define SO_CHAR_INC_EQUAL_BM_BASE 0x00000020u  // each image is as wide as its advance
#define SO_MAXEXT_EQUAL_BM_SIDE 0x00000040u    // each image is as tall as the font

// A string as the engine hands it to DrvTextOut. pgp holds every glyph when
// the engine has them all at once; else it is null and STROBJ_bEnum hands
// them out in batches.
typedef struct STROBJ {
    ULONG cGlyphs;      // glyphs of the string
    FLONG flAccel;      // SO_...
    ULONG ulCharInc;    // the fixed advance of a fixed-pitch string, else 0
    RECTL rclBkGround;  // the string's background box; it holds every glyph image
    GLYPHPOS* pgp;      // all glyphs, or null
    LPWSTR pwszOrg;     // the characters (null when not kept)
} STROBJ;

// The font of a string, as far as a display driver reads it.
typedef struct FONTOBJ {
    ULONG iUniq;  // identifies the font realization
    ULONG iFace;  // the face's number
    ULONG cxMax;  // width of the font's widest glyph image
} FONTOBJ;

// ---------------------------------------------------------------------------
// Paths and cosmetic lines: what the engine hands DrvStrokePath and its
// relatives. Coordinates are 28.4 fixed point (pixels x 16, FIX); a pixel's
// centre lies at a whole coordinate.
typedef LONG FIX;

typedef struct POINTFIX {
    FIX x;
    FIX y;
} POINTFIX;

// Bounds of a path, 28.4; right and bottom included.
typedef struct RECTFX {
    FIX xLeft;
    FIX yTop;
    FIX xRight;
    FIX yBottom;
} RECTFX;

// A path the engine keeps; read through PATHOBJ_bEnum.
typedef struct PATHOBJ {
    FLONG fl;
    ULONG cCurves;  // lines of the path
} PATHOBJ;

// PATHDATA.flags.
#define PD_BEGINSUBPATH 0x0001u  // the batch starts a subpath at its first point
#define PD_ENDSUBPATH 0x0002u    // the batch ends its subpath
#define PD_RESETSTYLE 0x0004u    // the style starts again at this subpath
#define PD_CLOSEFIGURE 0x0008u   // a line joins the subpath's last point to its first

// One batch of a path's points.
typedef struct PATHDATA {
    FLONG flags;
    ULONG count;
    POINTFIX* pptfx;
} PATHDATA;

typedef union FLOAT_LONG {
    FLOAT e;
    LONG l;
} FLOAT_LONG;

// LINEATTRS.fl.
#define LA_GEOMETRIC 0x0001u  // a wide line (not cosmetic)
#define LA_ALTERNATE 0x0002u  // every other pixel
#define LA_STARTGAP 0x0004u   // the style array starts with a gap

// How a line is drawn. Cosmetic lines use fl, cstyle, pstyle (LONG
// entries in style units) and elStyleState: the style position at the
// start, whole style units in the high word and the remainder in the low
// word.
typedef struct LINEATTRS {
    FLONG fl;
    ULONG iJoin;
    ULONG iEndCap;
    FLOAT_LONG elWidth;
    FLOAT eMiterLimit;
    ULONG cstyle;
    FLOAT_LONG* pstyle;
    FLOAT_LONG elStyleState;
} LINEATTRS;

// Pixels iStart..iStop (both included) of a clipped line, counted from
// the line's first pixel at ptfxA.
typedef struct RUN {
    LONG iStart;
    LONG iStop;
} RUN;

// One cosmetic line of a path clipped against a region
// (PATHOBJ_bEnumClipLines): its two end points, the style state at its
// first pixel, and c runs of the pixels inside the region.
typedef struct CLIPLINE {
    POINTFIX ptfxA;
    POINTFIX ptfxB;
    LONG lStyleState;
    ULONG c;
    RUN arun[1];
} CLIPLINE;
static_assert(offsetof(CLIPLINE, arun) == 24 && sizeof(RUN) == 8, "CLIPLINE layout");

// DrvFillPath's flOptions.
#define FP_ALTERNATEMODE 1u
#define FP_WINDINGMODE 2u

// ---------------------------------------------------------------------------
// Palettes.
#define PAL_INDEXED 0x00000001u
#define PAL_BITFIELDS 0x00000002u
#define PAL_RGB 0x00000004u
#define PAL_BGR 0x00000008u

// The driver's handle on an engine palette (DrvSetPalette); read through
// PALOBJ_cGetColors.
typedef struct PALOBJ {
    ULONG ulReserved;
} PALOBJ;

// A palette entry as the engine stores it: red, green, blue, flags.
typedef struct PALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
} PALETTEENTRY;
static_assert(sizeof(PALETTEENTRY) == 4, "palette entries are one 32-bit word");

// ---------------------------------------------------------------------------
// Device capabilities the driver reports at DrvEnablePDEV.

// GDIINFO.ulTechnology.
#define DT_RASDISPLAY 1u
// GDIINFO.flTextCaps.
#define TC_RA_ABLE 0x00002000u
// GDIINFO.ulHTOutputFormat.
#define HT_FORMAT_8BPP 4u
#define HT_FORMAT_16BPP 5u
#define HT_FORMAT_32BPP 7u
// GDIINFO.ulHTPatternSize.
#define HT_PATSIZE_4x4_M 3u
// GDIINFO.flHTFlags.
#define HT_FLAG_ADDITIVE_PRIMS 0x00000004u
// GDIINFO.ulPrimaryOrder.
#define PRIMARY_ORDER_CBA 4u

// One chromaticity: x and y in units of 1/10000, luminance Y.
typedef struct CIECHROMA {
    LONG x;
    LONG y;
    LONG Y;
} CIECHROMA;

// The device's colour description used by the engine's halftoning.
typedef struct COLORINFO {
    CIECHROMA Red;
    CIECHROMA Green;
    CIECHROMA Blue;
    CIECHROMA Cyan;
    CIECHROMA Magenta;
    CIECHROMA Yellow;
    CIECHROMA AlignmentWhite;
    LONG RedGamma;  // gamma x 10000
    LONG GreenGamma;
    LONG BlueGamma;
    LONG MagentaInCyanDye;
    LONG YellowInCyanDye;
    LONG CyanInMagentaDye;
    LONG YellowInMagentaDye;
    LONG CyanInYellowDye;
    LONG MagentaInYellowDye;
} COLORINFO;
static_assert(sizeof(COLORINFO) == 120, "COLORINFO layout");

// The device's capabilities, 264 bytes. The driver copies at most the size
// the engine gives.
typedef struct GDIINFO {
    ULONG ulVersion;
    ULONG ulTechnology;    // DT_RASDISPLAY
    ULONG ulHorzSize;      // physical width in millimetres
    ULONG ulVertSize;      // physical height in millimetres
    ULONG ulHorzRes;       // width in pixels
    ULONG ulVertRes;       // height in pixels
    ULONG cBitsPixel;      // bits per pixel
    ULONG cPlanes;         // planes
    ULONG ulNumColors;     // colours of the default palette, -1 for direct colour
    ULONG flRaster;        // reserved
    ULONG ulLogPixelsX;    // logical pixels per inch
    ULONG ulLogPixelsY;
    ULONG flTextCaps;      // TC_...
    ULONG ulDACRed;        // DAC bits per primary
    ULONG ulDACGreen;
    ULONG ulDACBlue;
    ULONG ulAspectX;       // pixel aspect
    ULONG ulAspectY;
    ULONG ulAspectXY;
    LONG xStyleStep;       // styled-line steps
    LONG yStyleStep;
    LONG denStyleStep;
    POINTL ptlPhysOffset;  // printers only
    SIZEL szlPhysSize;     // printers only
    ULONG ulNumPalReg;     // palette registers (palette-managed devices)
    COLORINFO ciDevice;
    ULONG ulDevicePelsDPI;  // device pixels per inch
    ULONG ulPrimaryOrder;   // PRIMARY_ORDER_...
    ULONG ulHTPatternSize;  // HT_PATSIZE_...
    ULONG ulHTOutputFormat; // HT_FORMAT_...
    ULONG flHTFlags;        // HT_FLAG_...
    ULONG ulVRefresh;       // refresh rate in hertz
    ULONG ulBltAlignment;   // preferred x alignment of window moves
    ULONG ulDesktopHorzRes; // size of the whole desktop the device shows
    ULONG ulDesktopVertRes;
} GDIINFO;
static_assert(sizeof(GDIINFO) == 264, "GDIINFO is 264 bytes");
static_assert(offsetof(GDIINFO, ulNumPalReg) == 104, "GDIINFO layout");
static_assert(offsetof(GDIINFO, ulDevicePelsDPI) == 228, "GDIINFO layout");

#define LF_FACESIZE 32

typedef struct LOGFONTW {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    WCHAR lfFaceName[LF_FACESIZE];
} LOGFONTW;
static_assert(sizeof(LOGFONTW) == 92, "LOGFONTW layout");

// DEVINFO.flGraphicsCaps.
#define GCAPS_ALTERNATEFILL 0x00000004u
#define GCAPS_WINDINGFILL 0x00000008u
#define GCAPS_COLOR_DITHER 0x00000020u
#define GCAPS_OPAQUERECT 0x00000100u
#define GCAPS_MONO_DITHER 0x00000400u
#define GCAPS_ASYNCCHANGE 0x00000800u
#define GCAPS_ASYNCMOVE 0x00001000u
#define GCAPS_PALMANAGED 0x00080000u
#define GCAPS_DITHERONREALIZE 0x00200000u

// What the engine needs to know to draw for the device.
typedef struct DEVINFO {
    FLONG flGraphicsCaps;    // GCAPS_...
    LOGFONTW lfDefaultFont;  // the system font
    LOGFONTW lfAnsiVarFont;  // the variable-pitch font
    LOGFONTW lfAnsiFixFont;  // the fixed-pitch font
    ULONG cFonts;            // device fonts (none on a display)
    ULONG iDitherFormat;     // BMF_... of dithered brushes
    USHORT cxDither;         // dither cell size
    USHORT cyDither;
    HPALETTE hpalDefault;    // the device's default palette
} DEVINFO;

// ---------------------------------------------------------------------------
// Display modes: the 188-byte record of the original interface (applications
// read mode lists through an escape, so the layout is kept).
#define CCHDEVICENAME 32
#define CCHFORMNAME 32

// DEVMODEW.dmDisplayFlags.
#define DM_INTERLACED 0x00000002u

typedef struct DEVMODEW {
    WCHAR dmDeviceName[CCHDEVICENAME];
    WORD dmSpecVersion;
    WORD dmDriverVersion;
    WORD dmSize;
    WORD dmDriverExtra;
    DWORD dmFields;
    SHORT dmOrientation;  // printer fields, unused by displays
    SHORT dmPaperSize;
    SHORT dmPaperLength;
    SHORT dmPaperWidth;
    SHORT dmScale;
    SHORT dmCopies;
    SHORT dmDefaultSource;
    SHORT dmPrintQuality;
    SHORT dmColor;
    SHORT dmDuplex;
    SHORT dmYResolution;
    SHORT dmTTOption;
    SHORT dmCollate;
    WCHAR dmFormName[CCHFORMNAME];
    WORD dmLogPixels;
    DWORD dmBitsPerPel;
    DWORD dmPelsWidth;
    DWORD dmPelsHeight;
    DWORD dmDisplayFlags;
    DWORD dmDisplayFrequency;
} DEVMODEW;
static_assert(sizeof(DEVMODEW) == 188, "DEVMODEW is 188 bytes");
static_assert(offsetof(DEVMODEW, dmFields) == 72, "DEVMODEW layout");
static_assert(offsetof(DEVMODEW, dmLogPixels) == 166, "DEVMODEW layout");
static_assert(offsetof(DEVMODEW, dmBitsPerPel) == 168, "DEVMODEW layout");
static_assert(offsetof(DEVMODEW, dmDisplayFrequency) == 184, "DEVMODEW layout");

// ---------------------------------------------------------------------------
// Driver entry: DrvEnableDriver fills a DRVENABLEDATA with the interface
// version it was written for and its table of (index, function) pairs.

// The interface version this engine speaks and passes to DrvEnableDriver.
#define DDI_DRIVER_VERSION 0x00010002u

// Hatch brushes the engine asks for at DrvEnablePDEV.
#define HS_DDI_MAX 6

typedef void (*PFN)(void);

typedef struct DRVFN {
    ULONG iFunc;  // INDEX_Drv...
    PFN pfn;      // the function, cast to PFN
} DRVFN;

typedef struct DRVENABLEDATA {
    ULONG iDriverVersion;
    ULONG c;         // entries of pdrvfn
    DRVFN* pdrvfn;
} DRVENABLEDATA;

// The size of DRVENABLEDATA in the interface's counting: three 32-bit words
// (version, count, table). DrvEnableDriver fills fields by this count, so the
// engine passes it whatever the width of a pointer in this process.
#define CJ_DRVENABLEDATA 12u

// ---------------------------------------------------------------------------
// Driver objects: a driver's record owned by the engine on behalf of the
// logical process whose call made it, with a clean-up the engine runs when
// the object is deleted or that process ends.

// A 32-bit handle, never 0 and never reused.
typedef ULONG HDRVOBJ;

struct DRIVEROBJ;
// Frees what pvObj holds; TRUE when done.
typedef BOOL (*FREEOBJPROC)(DRIVEROBJ* pdo);

typedef struct DRIVEROBJ {
    PVOID pvObj;            // the driver's record
    FREEOBJPROC pFreeProc;  // its clean-up
    HDEV hdev;              // the engine device it was made for
    DHPDEV dhpdev;          // that device's driver device
} DRIVEROBJ;

// ---------------------------------------------------------------------------
// Window objects: what a driver tracks of one window of an application on
// its device. The engine tells the driver of every change through the
// callback given to EngCreateWnd.

// What EngCreateWnd's fl asks to be told (WO_...), and what a callback is
// told (WOC_...).
#define WO_RGN_CLIENT_DELTA 0x0001u   // the part of the client region newly visible
#define WO_RGN_CLIENT 0x0002u         // the client region and rectangle
#define WO_RGN_SURFACE_DELTA 0x0004u  // accepted; this engine has no surface deltas
#define WOC_RGN_CLIENT_DELTA 0x0001u
#define WOC_RGN_CLIENT 0x0002u
#define WOC_DELETE 0x0020u

typedef struct WNDOBJ {
    CLIPOBJ coClient;     // bounds and complexity of the visible part of the client
                          // area on the surface (WNDOBJ_cEnumStart enumerates it)
    PVOID pvConsumer;     // the driver's record (WNDOBJ_vSetConsumer)
    RECTL rclClient;      // the client rectangle in screen coordinates
    SURFOBJ* psoOwner;    // the surface the window object was made for
} WNDOBJ;

// Called with the window object and one WOC_... value.
typedef void (*WNDOBJCHANGEPROC)(WNDOBJ* pwo, FLONG fl);

// ---------------------------------------------------------------------------
// Pixel formats: what a device offers for OpenGL drawing, as the engine
// hands the descriptors to applications byte for byte.

// dwFlags bits.
#define PFD_DOUBLEBUFFER 0x00000001u
#define PFD_STEREO 0x00000002u
#define PFD_DRAW_TO_WINDOW 0x00000004u
#define PFD_DRAW_TO_BITMAP 0x00000008u
#define PFD_SUPPORT_GDI 0x00000010u
#define PFD_SUPPORT_OPENGL 0x00000020u
#define PFD_NEED_PALETTE 0x00000080u
#define PFD_NEED_SYSTEM_PALETTE 0x00000100u
// Requests only (ChoosePixelFormat): either answer will do.
#define PFD_DEPTH_DONTCARE 0x20000000u
#define PFD_DOUBLEBUFFER_DONTCARE 0x40000000u
#define PFD_STEREO_DONTCARE 0x80000000u
// iPixelType.
#define PFD_TYPE_RGBA 0
#define PFD_TYPE_COLORINDEX 1

typedef struct PIXELFORMATDESCRIPTOR {
    WORD nSize;
    WORD nVersion;
    DWORD dwFlags;
    BYTE iPixelType;
    BYTE cColorBits;
    BYTE cRedBits;
    BYTE cRedShift;
    BYTE cGreenBits;
    BYTE cGreenShift;
    BYTE cBlueBits;
    BYTE cBlueShift;
    BYTE cAlphaBits;
    BYTE cAlphaShift;
    BYTE cAccumBits;
    BYTE cAccumRedBits;
    BYTE cAccumGreenBits;
    BYTE cAccumBlueBits;
    BYTE cAccumAlphaBits;
    BYTE cDepthBits;
    BYTE cStencilBits;
    BYTE cAuxBuffers;
    BYTE iLayerType;
    BYTE bReserved;  // low four bits: overlay planes
    DWORD dwLayerMask;
    DWORD dwVisibleMask;
    DWORD dwDamageMask;
} PIXELFORMATDESCRIPTOR;
static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40 &&
                  offsetof(PIXELFORMATDESCRIPTOR, iPixelType) == 8 &&
                  offsetof(PIXELFORMATDESCRIPTOR, cDepthBits) == 23 &&
                  offsetof(PIXELFORMATDESCRIPTOR, dwLayerMask) == 28,
              "PIXELFORMATDESCRIPTOR layout");

// A layer plane of a pixel format (an overlay).
typedef struct LAYERPLANEDESCRIPTOR {
    WORD nSize;
    WORD nVersion;
    DWORD dwFlags;  // PFD_... bits of the layer; 0x1 a double-buffered layer
    BYTE iPixelType;
    BYTE cColorBits;
    BYTE cRedBits;
    BYTE cRedShift;
    BYTE cGreenBits;
    BYTE cGreenShift;
    BYTE cBlueBits;
    BYTE cBlueShift;
    BYTE cAlphaBits;
    BYTE cAlphaShift;
    BYTE cAccumBits;
    BYTE cAccumRedBits;
    BYTE cAccumGreenBits;
    BYTE cAccumBlueBits;
    BYTE cAccumAlphaBits;
    BYTE cDepthBits;
    BYTE cStencilBits;
    BYTE cAuxBuffers;
    BYTE iLayerPlane;
    BYTE bReserved;
    DWORD crTransparent;
} LAYERPLANEDESCRIPTOR;
static_assert(sizeof(LAYERPLANEDESCRIPTOR) == 32 &&
                  offsetof(LAYERPLANEDESCRIPTOR, iLayerPlane) == 26 &&
                  offsetof(LAYERPLANEDESCRIPTOR, crTransparent) == 28,
              "LAYERPLANEDESCRIPTOR layout");

#include "platform/ddi_functions.h"
