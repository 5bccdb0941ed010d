// The hardware cursor of the RAMDAC: its state in the device record
// (POINTERSTATE, pdev.h). DrvSetPointerShape and DrvMovePointer are declared
// with the other entry points (device/entry.h).
#pragma once

#include "pdev.h"

// The pointer reset of the surface set-up and of the return to the mode:
// origin (0, 0), no last position (the next move writes the position), the
// register window of the first screen in use. Writes no register.
void vResetPointer(PDEV* ppdev);
