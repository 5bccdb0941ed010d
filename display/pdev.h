// The device record `PDEV` (one per enabled device; the `dhpdev` the engine
// hands to every entry point) and the board-memory page configurations.
//
// The GL server reads and writes some of these fields directly (screen and
// surface sizes, the queue manager and layout, the page configuration, the
// hook slots, the board configuration, the 3D buffer block, csRamdac,
// iPatternUniq), so fields keep their names and their order.
#pragma once

#include "boardconfig.h"
#include "boardmem/boardmem.h"
#include "glhooks/hooks.h"
#include "kz2queue.h"
#include "miniport_ioctl.h"
#include "platform/ddi.h"
#include "platform/kernel.h"

struct DSURF;         // a device surface (board-memory surfaces)
struct EscapeModule;  // a loaded escape module

// Tag written into every device record; nothing reads it.
#define PDEV_SIGNATURE 0x4458504Bu  // "KPXD"

// flCaps bits.
#define CAPS_OFFSCREEN 0x00000004u  // the mode has off-screen memory

// fFrameKind: the 3D buffer bits derived from BoardConfig at surface enable.
#define FRAME_OFFSCREEN_BITMAPS 0x01u  // offscreenBitmaps: device bitmaps in board memory
#define FRAME_STENCIL 0x02u            // stencilBuffer
#define FRAME_ALPHA 0x04u              // alphaBuffer
#define FRAME_DOUBLE_BUFFER 0x08u      // doubleBuffer

// ulColourModel: selects the pixel format of the primary's pixmap id.
#define COLOUR_MODEL_INDEXED 1u  // 8 bpp
#define COLOUR_MODEL_DIRECT 8u   // 16 and 32 bpp

#define MAX_RASTERIZERS 8
#define MAX_HATCHES 6
#define PALETTE_ENTRIES 256

#include "pageconfig.h"  // PAGECONFIG, also read by the GL server

#define PAGECONFIG_ROWS 9
extern PAGECONFIG gaPageConfig[PAGECONFIG_ROWS];

// The hardware pointer's state (display/pointer/). The vertical-blank wait
// (display/queue/vblank.cpp) uses three of its words under csRamdac: the
// low byte of originY as its alternating toggle, and lastY - yHot (yHot read
// as a signed 16-bit word), the cursor's row, as the value it hands the
// RAMDAC. The position written adds the origin, so the cursor's row follows
// the toggle.
typedef struct POINTERSTATE {
    SHORT originX;  // added to the cursor's position; 0 after the pointer reset
    SHORT originY;  // likewise; its low byte is the vertical-blank toggle
    USHORT cx;  // pointer size
    USHORT cy;
    USHORT xHot;  // hot spot
    USHORT yHot;
    ULONG fEnabled;  // 1 after the last show, 0 after the last hide (atomic stores; read unlocked)
    BYTE* pjRegs;    // register window of the RAMDAC in use (the screen under the pointer)
    LONG lastX;      // last position written, relative to that screen; -1 forces the next write
    LONG lastY;
} POINTERSTATE;

// The stereo image cache of host transfers.
typedef struct STEREOCACHE {
    ULONG fDisabled;
    void* pHead;
} STEREOCACHE;

typedef struct PDEV {
    // --- miniport and mode -------------------------------------------------
    FLONG flCaps;       // CAPS_...
    ULONG f3DEnable;    // second word of the first register window's range
    ULONG ulSignature;  // PDEV_SIGNATURE
    HANDLE hDriver;     // the miniport
    HDEV hdevEng;       // the engine's device, from DrvCompletePDEV
    HSURF hsurfScreen;  // the primary surface
    DSURF* pdsurfScreen;
    LONG cxScreen;  // screen size in pixels
    LONG cyScreen;
    ULONG fIs386;  // the processor is a 386
    BYTE* pjRegs;  // register window of rasterizer 0
    ULONG ulMode;  // the miniport's index of the chosen mode
    POINTERSTATE ptr;
    LONG cFlushNow;       // > 0: queue updates hand work to the board at once
    ULONG iBitmapFormat;  // BMF_8BPP, BMF_16BPP or BMF_32BPP
    ULONG iPixelClass;    // 0, 1, 2: the shift from pixels to bytes

    // --- packet queues -----------------------------------------------------
    QUEUELAYOUT layout;
    KZ2QUEUEMGT pqm;                     // queue manager (record 0 of the queues)
    BYTE* pDmaBuffer;                    // CPU address of the DMA buffer
    ULONG pStaging;                      // bus address of staging buffer 0 (staging of copies)
    BYTE* apRegs[MAX_RASTERIZERS];       // register window of each rasterizer (platform/mmio.h)
    VNX_DMA_DESCRIPTION DmaDescription;  // the miniport's answer to the queue set-up

    ULONG ulColourModel;  // COLOUR_MODEL_...
    PVOID pScratch;       // 8 KB of scratch memory while the surface is enabled

    // --- hatch brushes and the pattern registers ---------------------------
    HSURF ahsurfPat[MAX_HATCHES];
    ULONG cPatterns;
    ULONG iPatternUniq;  // what the pattern registers hold (0 = unknown)
    LONG xPatternOrg;
    LONG yPatternOrg;

    // --- board memory ------------------------------------------------------
    ULONG ulMemoryClass;   // 0, 1, 2 (pages of 64, 128, 256 KB), read at page-table set-up
    LONG cxPageMul;        // page width multiplier: 1, 2 or 4
    LONG cyPageMul;        // page height multiplier
    ULONG ulPageMulCodeX;  // the board's two-bit multiplier codes (3 multiplies by 4 above,
    ULONG ulPageMulCodeY;  // by 8 in the 3D buffer sizing)
    ULONG fPageTable;      // the page table is set up (surface enabled)
    PAGESLOT aaSlot[PAGE_TABLES]
                   [PAGE_SLOTS];  // per screen; set alike, the swap alone makes them differ
    ULONG cFreeSlots;
    PAGEBLOCK aPageBlock[PAGE_BLOCKS];  // the address spaces and their allocation trees
    LONG cxSurface;                     // size of the surface given to the engine
    LONG cySurface;

    // --- locks -------------------------------------------------------------
    CRITICAL_SECTION csEscape;       // escapes, GL hooks, blits, mode changes
    CRITICAL_SECTION csPixelFormat;  // DrvDescribePixelFormat

    PAGECONFIG* pPageConfig;  // the active row of gaPageConfig

    // --- GL server binding -------------------------------------------------
    HMODULE hGLServer;  // 0 while the server is not loaded
    PFN_OPENGLCMD pfnOpenGLCmd;
    PFN_OPENGLGETINFO pfnOpenGLGetInfo;
    LONG lHookResult;  // -1 after each escape hook call
    PFN_SWAPBUFFERS pfnSwapBuffers;
    PFN_SETPIXELFORMAT pfnSetPixelFormat;
    PFN_DESCRIBEPIXELFORMAT pfnDescribePixelFormat;
    EscapeModule* pEscapeModules;  // loaded escape modules, newest first
    PFN_GLSERVERUNLOAD pfnGLServerUnload;
    ULONG ulDriverWord;   // the word of escape -3
    ULONG ulSurfaceWord;  // cleared by DrvEnableSurface

    BoardConfig bc;  // the board configuration, as read from the miniport

    // --- palette -----------------------------------------------------------
    HPALETTE hpalDefault;
    PALETTEENTRY* pPal;  // PALETTE_ENTRIES entries

    CRITICAL_SECTION csRamdac;  // RAMDAC index/data sequences

    // --- 3D buffer block ---------------------------------------------------
    HSURF hsurfBack;
    SURFOBJ* psoBack;
    ULONG pidBack;
    HSURF hsurfZ;  // non-zero: 3D is available
    SURFOBJ* psoZ;
    ULONG pidZ;
    // The GL server's stencil and alpha surfaces (it makes them on first
    // need; the stencil may share the alpha surface); released with the
    // surface.
    HSURF hsurfStencil;
    SURFOBJ* psoStencil;
    ULONG pidStencil;
    HSURF hsurfAlpha;
    SURFOBJ* psoAlpha;
    ULONG pidAlpha;
    ULONG cGLOverlayContexts;  // GL contexts drawing into the overlay plane; while non-zero
                               // 2D drawing on a 16-bpp screen keeps the overlay bit
    HSURF hsurfTmp;  // screen-depth scratch tile (128 x 128), locked
    SURFOBJ* psoTmp;
    HSURF hsurfTmp24;  // 24-bit scratch tile (128 x 128), locked
    SURFOBJ* psoTmp24;
    HSURF hsurfAlt;  // the alternate 128x128 buffer (PAGECONFIG fAltBuffer), locked
    SURFOBJ* psoAlt;
    HSURF hsurfDither;  // the 3D dither tile (LoadDitherMat), locked
    DSURF* pdsurfDither;
    SURFOBJ* psoDither;
    ULONG pidDither;
    BYTE fFrameKind;           // 3D buffer bits from BoardConfig: FRAME_...
    ULONG ulTextureMode;       // BoardConfig.textureMode
    ULONG fTexture16;          // textures in the board's 16-bit form (16 bpp, memory mode)
    ULONG fMipmap;             // BCF_MIPMAP: the board mip-maps
    SURFOBJ* psoPattern;       // the off-screen pattern surface of the colour pattern fills
                               // (display/fill.h), locked; made at surface enable

    HSURF hsurfTmp32;  // host bitmap of the surface size, made on first use
    SURFOBJ* psoTmp32;

    // --- buffer swap -------------------------------------------------------
    LONG alSwapState[3];  // 0, -1, 0 at enable
    ULONG ulSwapWord;
    BYTE jDmaStatus;   // status byte of the DMA description
    LONG ulAlignMask;  // -128
    RECTL rclSwap;     // the remembered swap rectangle

    STEREOCACHE StereoCache;

    // --- words of this driver's own, after the record's fields ---------------
    ULONG pidScreen;  // primary surface's pixmap id, set when the primary is placed
    struct HEIDITEXTABLE* pHeidiTextures;  // the immediate-mode 3D escape's texture table, made on first use
} PDEV, *PPDEV;
