// Image transfer between host memory and a window's buffers (image.cpp).
// Rectangles are in screen pixels. The transfers the lgi layer calls are
// declared in its contract (lgi/lgigl.h).
#pragma once

#include "glsrv.h"
#include "lgi/lgigl.h"

struct GLBufferSet;

// Frees the device's cached staging surface (its last context went; null:
// whichever device has one).
void __glReleaseStagingSurfaces(PDEV* ppdev);
