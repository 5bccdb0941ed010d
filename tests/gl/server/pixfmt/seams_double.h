// Stand-ins for what pixel formats and drawables call of the server's parts
// not built yet: the buffer manager, contexts and lgi. Each records its
// call; N_BindClipList keeps the rectangles it was handed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "seams.h"

namespace pixfmt_double {

struct Call {
    std::string name;
    std::vector<std::uintptr_t> args;
    bool bEscapeLockHeld = false;  // another thread could not take the escape lock
};

struct Record {
    std::vector<Call> calls;
    std::vector<ULONG> clipRects;  // what the last N_BindClipList was handed
    LONG cClipRects = -1;          // its count; -1 before any
    PDEV* ppdevLocked = nullptr;   // whose escape lock the calls look at
};

extern Record gRecord;
// The names of the calls in order.
std::vector<std::string> Names();

}  // namespace pixfmt_double
