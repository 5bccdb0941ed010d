// Records of the immediate-mode 3D escape shared by its files: the window
// record (the window object's consumer, owned by a driver object of the
// client that bound the window), the texture table of each device, and the
// packet templates.
#pragma once

#include <cstdint>

#include "escape/escape.h"
#include "heidiesc.h"
#include "heidi/heidi.h"
#include "pdev.h"
#include "platform/engine.h"

// The primitive kinds of the drawing codes.
enum HEIDIKIND { HK_POINTS, HK_LINES, HK_TRIS, HK_TRIS_FIXED, HK_RECTS };

// A packet template: the command word of each variant (without the clip
// bit, which every drawing packet carries) and the body words that follow
// the pid word (the render program's instructions).
typedef struct HEIDITEMPLATE {
    ULONG aulCommand[3];  // by variant; 0: the variant is not served
    ULONG aulBody[4];
    ULONG cBody;
} HEIDITEMPLATE;

// The driver's record of a bound window.
typedef struct HEIDIWND {
    HANDLE hSection;     // the duplicated section handle
    HANDLE hProcess;     // the client's process
    BYTE* pjView;        // the driver's view of the section
    ULONG cjView;
    WNDOBJ* pwo;         // null once the window is gone
    PDEV* ppdev;         // null once the device was disabled
    HDRVOBJ hobj;        // the driver object that owns the record (the client's handle)
    RECTL rclClient;     // screen coordinates
    ULONG cClip;         // the client region, at most HEIDI_MAX_CLIP rectangles
    RECTL arclClip[HEIDI_MAX_CLIP];
    ULONG fDither;       // colour dither (set_buffer 5 and 6)
    ULONG aulFill[4][2]; // fill colours, each byte spread over a word, kept twice
    ULONG fBack;         // drawing into the back buffer
    ULONG ulPidPair;     // colour pid (low half) | depth pid << 16
} HEIDIWND;

// --- windows (heidi_window.cpp) --------------------------------------------------------
// Code 90: the window bound and the section mapped; the new handle, or 0.
ULONG ulHeidiInit(SURFOBJ* pso, PDEV* ppdev, const HEIDICMD& cmd);
// The calling client's window record behind a handle, on this device; null
// otherwise.
HEIDIWND* phwFind(PDEV* ppdev, ULONG h);
// The surface the window draws into: the screen or the back buffer.
SURFOBJ* psoHeidiTarget(SURFOBJ* psoScreen, const HEIDIWND* phw);
// The colour pid of the device's front or back buffer and the depth pid,
// each with the format bits of its depth.
ULONG ulPidPair(const PDEV* ppdev, BOOL bBack);
// Frees the textures of one window of a device (all windows: null).
void vFreeTextures(PDEV* ppdev, const HEIDIWND* phwOwner);

// --- textures (heidi_texture.cpp) ------------------------------------------------------
ULONG ulLoadTexture(PDEV* ppdev, HEIDIWND* phw, const HEIDICMD& cmd, ULONG cjOut);
void vFreeTexture(PDEV* ppdev, const HEIDIWND* phw, ULONG iSlot);

// --- drawing (heidi_draw.cpp) ----------------------------------------------------------
void vSetBuffer(SURFOBJ* pso, PDEV* ppdev, HEIDIWND* phw, ULONG ulSub);
void vClear(SURFOBJ* pso, PDEV* ppdev, HEIDIWND* phw, const HEIDICMD& cmd);
void vDraw(SURFOBJ* pso, PDEV* ppdev, HEIDIWND* phw, const HEIDICMD& cmd);
// The template of a kind for the active mode bytes, the dither flag and the
// device's current mode.
HEIDITEMPLATE tplHeidi(const PDEV* ppdev, HEIDIKIND kind, BOOL bDepth, BOOL bDither);

// --- transfers (heidi_xfer.cpp) --------------------------------------------------------
void vTransfer(SURFOBJ* pso, PDEV* ppdev, HEIDIWND* phw, const HEIDICMD& cmd);

// The window's clip rectangles inside its client rectangle and the
// device's drawing area (screen coordinates); answers how many.
ULONG cHeidiClip(const PDEV* ppdev, const HEIDIWND* phw, RECTL* prcl);

// The loaded textures of a device (of one window, or all: null), and the pid
// of a slot (0 when empty); for tests and tools.
ULONG cHeidiTextures(PDEV* ppdev, const void* phwOwner);
ULONG ulHeidiTexturePid(PDEV* ppdev, ULONG iSlot);
