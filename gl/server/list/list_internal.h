// What the display-list files share of the single requests: the error of a
// single request and its parameter words.
#pragma once

#include <cstring>

#include "dispatch/dispatch.h"

// Records the GL error under the single request's name: its X code.
inline ULONG __glXListSingleError(GLClient* pgc, const void* pvRequest, ULONG glError) {
    __glXSetError(pgc, __glXSingleRequestName(static_cast<const BYTE*>(pvRequest)[1]), glError);
    return __glXErrorToX(glError);
}

// The single request's parameter words from +8, when its length (in 4-byte
// units) holds cParams of them; else null.
inline const BYTE* __glXListSingleParams(const void* pvRequest, ULONG cParams) {
    USHORT cw;
    std::memcpy(&cw, static_cast<const BYTE*>(pvRequest) + 2, 2);
    return cw < 2 + cParams ? nullptr : static_cast<const BYTE*>(pvRequest) + 8;
}
