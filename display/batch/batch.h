// The batched command escape (MCDFUNCS): the interpreter DrvEscape calls and
// the hooks of the surface life cycle.
#pragma once

#include "pdev.h"

// MCDFUNCS: runs the batch of the escape's input (mcdbatch.h) on behalf of
// the calling process; answers 0 (malformed or failed), 1, or the handle
// the batch's create command made. Called with csEscape held.
ULONG ulMcdEscape(SURFOBJ* pso, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut);

// Surface enable: the interpreter's per-device set-up; always 1.
ULONG ulBatchEnable(PDEV* ppdev);
// Surface disable: the device's windows, contexts and mapped sections are
// released (their processes' later end finds nothing of them left).
void vBatchDisable(PDEV* ppdev);
// Mode change: nothing the interpreter keeps depends on the mode.
void vBatchModeChange(PDEV* ppdev);
