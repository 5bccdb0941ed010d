// The immediate-mode 3D escape ESC_HEIDI (qrn_heidi, declared with the
// other escapes in escape/escape.h) and what the device's life cycle asks
// of it.
#pragma once

#include "pdev.h"

// Releases what the escape holds for a device (views, sections, window
// objects, textures) before its surface goes away.
void vHeidiDisable(PDEV* ppdev);
