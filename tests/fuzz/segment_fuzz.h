// What the request segment's fuzz targets share: the server attached once,
// a client with a segment of one half (so the half ends where the mapping
// ends, and a read past it faults), a current context with a drawable, and
// stand-ins for the server's parts not built yet (the dispatch tests'
// seams_double.cpp). The dispatch tables are the harness's own: the
// segment's single requests and the state queries, and elsewhere handlers that read every byte
// their request's length gives, so a request that reaches outside what the
// decoder checked is seen.
#pragma once


#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "dispatch/dispatch.h"
#include "pixfmt/pixfmt.h"
#include "platform/debug.h"
#include "seams_double.h"

namespace segment_fuzz {

constexpr ULONG kSection = SM_HALF_OFFSET;

struct Harness {
    GLClient* pgc = nullptr;
    GLContext gc{};
    std::vector<__GLXdispatchFn> render, beginEnd, single;
    BYTE* pjClient = nullptr;  // 4 KB of client memory below 4 GB
};

inline volatile ULONG gSink;

// Reads every byte of a render command as its header gives its length.
inline ULONG ReadWholeCommand(GLClient*, const void* pRequest) {
    const auto* pj = static_cast<const BYTE*>(pRequest);
    USHORT cj;
    std::memcpy(&cj, pj, sizeof cj);
    ULONG sum = 0;
    for (ULONG i = 0; i < cj; ++i) sum += pj[i];
    gSink = sum;
    return 0;
}

// Reads every byte of a single request as its header gives its length.
inline ULONG ReadWholeSingle(GLClient*, const void* pRequest) {
    const auto* pj = static_cast<const BYTE*>(pRequest);
    USHORT c;
    std::memcpy(&c, pj + 2, sizeof c);
    ULONG sum = 0;
    for (ULONG i = 0; i < 4u * c; ++i) sum += pj[i];
    gSink = sum;
    return 0;
}

inline Harness& Get() {
    static Harness* h = [] {
        auto* p = new Harness;
        vnx::debug::set_echo(false);
        InitGLSrvDll(nullptr, GLSRV_PROCESS_ATTACH, nullptr);
        p->pgc = pgcCurrent();
        HANDLE hs = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_COMMIT,
                                       0, kSection, nullptr);
        auto* pm = static_cast<SMMapping*>(LocalAlloc(LPTR, sizeof(SMMapping)));
        *pm =
            SMMapping{kSection, hs, static_cast<BYTE*>(MapViewOfFile(hs, FILE_MAP_WRITE, 0, 0, 0))};
        p->pgc->pMapping = pm;
        p->pgc->pHeader = pm->pjView;
        p->pgc->hProcess = GetCurrentProcess();
        p->render.assign(GLX_RENDER_ENTRIES, ReadWholeCommand);
        p->beginEnd.assign(GLX_RENDER_ENTRIES, ReadWholeCommand);
        p->single.assign(GLX_SINGLE_ENTRIES, ReadWholeSingle);
        p->single[X_GLsop_FeedbackBuffer] = __glXDisp_FeedbackBuffer;
        p->single[X_GLsop_SelectBuffer] = __glXDisp_SelectBuffer;
        p->single[X_GLsop_RenderMode] = __glXDisp_RenderMode;
        p->single[X_GLsop_Finish] = __glXDisp_Finish;
        p->single[X_GLsop_Flush] = __glXDisp_Flush;
        // The state queries as the server's single table has them, over a
        // context with its GL state and a visual; their replies go through
        // the reply writer like the segment's own.
        glInitDispatchVectors();
        // GetBooleanv (112) .. IsEnabled (140), where the server has a
        // handler rather than NewList's (101) not-available one.
        for (ULONG op = 112; op <= 140; ++op)
            if (__glXSingleTable[op] != __glXSingleTable[101])
                p->single[op] = __glXSingleTable[op];
        __glXCreateGLState(&p->gc, TRUE);
        static GLVisual vis{};
        vis.bRGBA = 1;
        vis.cRedBits = vis.cGreenBits = vis.cBlueBits = 8;
        vis.cDepthBits = 24;
        vis.cStencilBits = 8;
        vis.bDoubleBuffer = 1;
        p->gc.pvis = &vis;
        // The harness's tables stand in for the server's single and
        // Begin/End tables, which are freed rather than left behind.
        LocalFree(__glXSingleTable);
        LocalFree(__glXRenderBeginEndTable);
        __glXSingleTable = p->single.data();
        __glXRenderBeginEndTable = p->beginEnd.data();
        p->gc.pdraw = reinterpret_cast<GLDrawable*>(0x4000);
        p->gc.renderMode = GL_RENDER;
        p->gc.pRenderTable = p->render.data();
        ulRegisterContext(&p->gc);
        p->pgc->gc = &p->gc;
        p->pjClient = static_cast<BYTE*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE));
        return p;
    }();
    return *h;
}

inline SMSegmentHeader* Header(Harness& h) {
    return reinterpret_cast<SMSegmentHeader*>(h.pgc->pHeader);
}

// The 32-bit little-endian word at data[off], 0 past the end.
inline ULONG Word(const std::uint8_t* data, std::size_t size, std::size_t off) {
    ULONG w = 0;
    for (std::size_t i = 0; i < 4 && off + i < size; ++i) w |= ULONG{data[off + i]} << (8 * i);
    return w;
}

// Copies the input's bytes from `skip` on into the half at the read offset
// (as much as fits); answers how many were copied.
inline ULONG Place(Harness& h, const std::uint8_t* data, std::size_t size, std::size_t skip) {
    SMSegmentHeader* ph = Header(h);
    const std::size_t cjRoom = kSection - SM_FIRST_COMMAND;
    const std::size_t cj = size > skip ? (size - skip < cjRoom ? size - skip : cjRoom) : 0;
    if (cj != 0) std::memcpy(h.pgc->pHeader + SM_FIRST_COMMAND, data + skip, cj);
    ph->readOffset = SM_FIRST_COMMAND;
    ph->writeOffset = SM_FIRST_COMMAND + static_cast<ULONG>(cj);
    ph->limit = SM_LIMIT;
    return static_cast<ULONG>(cj);
}

inline void Done() {
    glsrv_double::gRecord.calls.clear();
    vnx::debug::clear();
}

}  // namespace segment_fuzz
