// The GL server core's image transfers as the lgi tests see them: every
// call is recorded, and reads are served from a screen of words the test
// fills. Any board buffer (memory kind 5) belongs to the one fake set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lgi/lgigl.h"

namespace lgi_test {

struct ImageCall {
    std::string fn;  // "get", "put", "zoom", "copy"
    ULONG kind = 0;  // put, zoom, get: the kind; copy: the destination kind
    ULONG kindSource = 0;
    LONG x = 0, y = 0, cx = 0, cy = 0;
    LONG xSource = 0, ySource = 0;  // copy
    LONG cxDest = 0, cyDest = 0;    // zoom
    std::vector<ULONG> words = {};  // put and zoom: the image, top row first (8-bit images widened)
};

std::vector<ImageCall>& ImageCalls();
// The pixels a read serves at (x, y): the value function of the test, as
// bytes a pixel bytes (4, 2 or 1).
void ServeReads(ULONG (*pixel)(ULONG kind, LONG x, LONG y), ULONG cjPixel);

}  // namespace lgi_test
