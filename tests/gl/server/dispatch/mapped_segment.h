// A request segment mapped onto a client as the client driver's
// announcement leaves it: a section of the client's size, the view at its
// first half, and that half's header as the client writes it (the limit,
// the read and write offsets behind the header). The client record frees
// the mapping when it goes.
#pragma once

#include "dispatch/dispatch.h"
#include "segment/segment.h"

namespace glsrv_double {

inline SMSegmentHeader* MapRequestSegment(GLClient* pgc) {
    const HANDLE hSection = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr,
                                               PAGE_READWRITE | SEC_COMMIT, 0, SM_SEGMENT_SIZE,
                                               nullptr);
    auto* pm = static_cast<SMMapping*>(LocalAlloc(LPTR, sizeof(SMMapping)));
    *pm = SMMapping{SM_SEGMENT_SIZE, hSection,
                    static_cast<BYTE*>(MapViewOfFile(hSection, FILE_MAP_WRITE, 0, 0, 0))};
    pgc->pMapping = pm;
    pgc->pHeader = pm->pjView;
    pgc->hProcess = GetCurrentProcess();
    auto* ph = reinterpret_cast<SMSegmentHeader*>(pgc->pHeader);
    ph->limit = SM_LIMIT;
    ph->readOffset = ph->writeOffset = SM_FIRST_COMMAND;
    return ph;
}

}  // namespace glsrv_double
