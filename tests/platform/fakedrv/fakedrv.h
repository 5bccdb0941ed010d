// A display driver for the engine's own tests: it records the calls the
// engine makes, in order, and fails or leaves out entries when told to.
// The tests reach its state through the export FakeDrvState.
#pragma once

#include <string>
#include <vector>

#include "platform/ddi.h"

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

    // What it should do.
    bool refuseDriver = false;        // DrvEnableDriver answers FALSE
    bool leaveOutDisableSurface = false;
    bool failEnablePDEV = false;
    bool failEnableSurface = false;
};

typedef FakeDrv* (*PFN_FakeDrvState)(void);
