// A display driver for the engine's own tests: it records the calls the
// engine makes, in order, and fails or leaves out entries when told to.
// The tests reach its state through the export FakeDrvState.
#pragma once

#include <string>
#include <vector>

#include "platform/ddi.h"

// The fake's record of a device surface (its dhsurf): the pixels live in a
// host bitmap, which DrvCopyBits reads and writes.
struct FakeSurface {
    HSURF hsurf = nullptr;        // the device surface
    HSURF hsurfShadow = nullptr;  // its pixels
    SURFOBJ* psoShadow = nullptr;
};

// One DrvCopyBits call.
struct FakeCopy {
    std::string what;  // "down" (device to host), "up" (host to device), "device" (both)
    RECTL rclDst;
    POINTL ptlSrc;
    bool bClip;        // a clip object was given
    bool bXlate;       // a translation object was given
};

// One DrvRealizeBrush call.
struct FakeRealize {
    BRUSHOBJ* pbo;
    SURFOBJ* psoTarget;
    ULONG iHatch;
    bool bPattern;          // a pattern was given, and then:
    ULONG iPatternFormat;
    SIZEL sizlPattern;
    std::vector<BYTE> firstRow;  // its first row's bytes
    bool bMask;
    std::vector<ULONG> xlate;    // the translation vector, when one was given
};

// One call that came from a device context (DrvEscape, DrvSetPixelFormat,
// DrvDescribePixelFormat).
struct FakeClientCall {
    std::string what;          // the entry's name
    ULONG iEsc = 0;            // escape code, or the pixel format
    std::vector<BYTE> in;      // the input the driver was handed
    ULONG cjOut = 0;           // output size (pixel-format bytes)
    bool bOut = false;         // an output buffer came with it
    DWORD pidRunning = 0;      // the logical process the thread acted for
    HANDLE hProcess = nullptr; // EngGetProcessHandle during the call
    SURFOBJ* pso = nullptr;    // the surface handed over (escapes, set format)
    HWND hwnd = nullptr;       // DrvSetPixelFormat's window
    // OPENGL_CMD: the header's object words and what the engine resolves
    // them to during the call; DrvSetPixelFormat: the window object made
    // for the window; DrvSwapBuffers: its window object and the rectangles
    // its coClient enumerates.
    ULONG hwo = 0, hxo = 0;
    WNDOBJ* pwo = nullptr;
    XLATEOBJ* pxo = nullptr;
    FLONG flXlate = 0;  // the translation object's flags, read during the call
    std::vector<RECTL> clip;
};

struct FakeDrv {
    // What the engine did.
    std::vector<std::string> calls;   // entry names, in call order
    ULONG iEngineVersion = 0;         // DrvEnableDriver's arguments
    ULONG cj = 0;
    HDEV hdevCompleted = nullptr;     // DrvCompletePDEV's device
    ULONG cPatterns = 0;              // DrvEnablePDEV's hatch count
    HANDLE hDriver = nullptr;         // DrvEnablePDEV's miniport handle
    DEVMODEW request{};               // DrvEnablePDEV's request
    SURFOBJ* psoScreen = nullptr;     // the primary, locked, while enabled
    ULONG iSetPaletteStart = 0;       // DrvSetPalette's range and first colour
    ULONG cSetPaletteColors = 0;
    ULONG ulFirstColor = 0;
    std::vector<FakeCopy> copies;          // DrvCopyBits calls
    std::vector<FakeRealize> realizations; // DrvRealizeBrush calls
    std::vector<FakeClientCall> clientCalls;  // calls from device contexts

    // What it should do.
    bool refuseDriver = false;        // DrvEnableDriver answers FALSE
    bool leaveOutDisableSurface = false;
    bool failEnablePDEV = false;
    bool failEnableSurface = false;
    bool failCopyBits = false;        // DrvCopyBits answers FALSE
    bool copyBitsCallsBack = false;   // DrvCopyBits hands its own arguments to EngCopyBits
    bool failRealizeBrush = false;
    bool realizeWithoutMemory = false;  // DrvRealizeBrush answers TRUE without allocating
    // DrvEscape writes the output with bytes 0xE0, 0xE1, ... and answers
    // escapeAnswer; DrvDescribePixelFormat writes 0xD0... and answers 7,
    // or, when pixelFormats is not empty, describes format n from its entry
    // n - 1 and answers their count; DrvSetPixelFormat answers
    // setPixelFormatAnswer.
    ULONG escapeAnswer = 0;
    BOOL setPixelFormatAnswer = TRUE;
    std::vector<PIXELFORMATDESCRIPTOR> pixelFormats;
};

typedef FakeDrv* (*PFN_FakeDrvState)(void);
