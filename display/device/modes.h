// Display modes: the miniport's mode list, the choice of the mode the engine
// asks for, the capabilities reported for it, and the mode set.
#pragma once

#include "miniport_ioctl.h"
#include "pdev.h"

// Size of the mode records DrvGetModes writes.
#define CJ_DEVMODE 188u
static_assert(sizeof(DEVMODEW) == CJ_DEVMODE, "mode records are 188 bytes");

// Reads the miniport's mode list into a LocalAlloc'ed block (*ppjModes, to be
// freed with LocalFree) of records *pcbMode bytes apart. Answers the number
// of records, 0 (nothing allocated) when the miniport cannot answer.
ULONG cGetModeList(HANDLE hDriver, BYTE** ppjModes, ULONG* pcbMode);

// The mode a request selects from a mode list, or null: the first usable
// mode for an empty request; else the first with the requested size, depth
// (24 asks for 32), interlace and frequency (0 = any); failing that the last
// mode that differs only by a frequency within a tenth of its own.
const VIDEO_MODE_INFORMATION* pvmiSelectMode(const DEVMODEW* pdm, const BYTE* pjModes, ULONG cModes,
                                             ULONG cbMode);

// A stereo mode the board configuration can force.
typedef struct STEREOMODE {
    ULONG cx;
    ULONG cy;
    ULONG cBitsPerPixel;
    ULONG ulFrequency;
} STEREOMODE;

#define STEREO_MODES 19
extern const STEREOMODE gaStereoModes[STEREO_MODES];

// Mode choice at DrvEnablePDEV: reads the board configuration into the
// device, chooses the mode (with the stereo override), fills the device's
// mode fields and the GDIINFO and DEVINFO for it. FALSE when the mode list
// cannot be read or no mode matches.
BOOL bInitializeModeFields(PDEV* ppdev, const DEVMODEW* pdm, GDIINFO* pgdi, DEVINFO* pdi);

// The capabilities reported for a chosen mode (devcaps.cpp): the defaults,
// then the mode's fields; cBoards is the miniport's board count.
void vFillDevCaps(PDEV* ppdev, const VIDEO_MODE_INFORMATION* pvmi, const DEVMODEW* pdm,
                  ULONG cBoards, GDIINFO* pgdi, DEVINFO* pdi);

// Mode set (surface enable, and taking the hardware back after a switch):
// sets ulMode, loads the 16 default colour registers and maps the register
// windows into apRegs, pjRegs and f3DEnable. FALSE when a request fails.
BOOL bSetMode(PDEV* ppdev);
