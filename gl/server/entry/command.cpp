// The OpenGL command escape (OPENGL_CMD): one row per sub-code with the
// least input and output it needs, whether it runs in the request
// floating-point mode, and its handler. The input is the client's: every
// word is read from inside the input the caller gave, every handle is
// looked up for the calling process, and a request that lacks the state it
// needs (a client record, a request segment, a current context, a window)
// is refused without effect.
#include <cstring>

#include "glcmd.h"
#include "seams.h"

namespace {

// Bytes of a request segment half's header: a view of the segment must keep
// one whole inside the mapping.
constexpr ULONG kSegmentHeaderBytes = 64;

// One OPENGL_CMD call.
struct GLCMDCALL {
    SURFOBJ* pso;
    const BYTE* pjIn;
    ULONG cjIn;
    BYTE* pjOut;
    ULONG cjOut;

    // The 32-bit word at byte offset `off` of the input.
    ULONG word(ULONG off) const {
        ULONG ul;
        std::memcpy(&ul, pjIn + off, sizeof ul);
        return ul;
    }
    // Argument n (from GLCMD_ARGS on).
    ULONG arg(ULONG n) const { return word(GLCMD_ARG(n)); }
    WNDOBJ* pwo() const { return pwoFromEngineHandle(word(offsetof(OPENGLCMD, pwo))); }
    XLATEOBJ* pxo() const { return pxoFromEngineHandle(word(offsetof(OPENGLCMD, pxo))); }
};

typedef ULONG (*PFN_GLCMD)(const GLCMDCALL& c);

constexpr ULONG kFailed = static_cast<ULONG>(-1);

// The calling thread's client when it has a request segment, else null
// (said on the debugger in the name of `pszWho`).
GLClient* pgcWithSegment(const char* pszWho) {
    GLClient* pgc = pgcCurrent();
    if (pgc == nullptr || pgc->pMapping == nullptr) {
        __glXDebugPrint("%s: no request segment\n", pszWho);
        return nullptr;
    }
    return pgc;
}

// The context named by argument n, or null (said on the debugger).
GLContext* gcArg(const GLCMDCALL& c, ULONG n, const char* pszWho) {
    GLContext* gc = pgcContextFromHandle(c.arg(n));
    if (gc == nullptr) __glXDebugPrint("%s: no context %u\n", pszWho, c.arg(n));
    return gc;
}

// The window of the call, or null (said on the debugger).
WNDOBJ* pwoOf(const GLCMDCALL& c, const char* pszWho) {
    WNDOBJ* pwo = c.pwo();
    if (pwo == nullptr) __glXDebugPrint("%s: no window\n", pszWho);
    return pwo;
}

// SETCONTEXT and CREATESMSEGMENT make the thread's client record when it
// has none for the calling process; a refused request leaves the thread's
// record (another process's included) as it was.
ULONG ulCmdSetContext(const GLCMDCALL& c) {
    const GLClientAttach a = ClientAttachBegin();
    if (a.pgc == nullptr) return 0;
    GLContext* gc = gcArg(c, 1, __func__);
    const ULONG ulResult = gc != nullptr ? __glDrvSetContext(a.pgc, gc, c.pso, c.pwo(), c.pxo()) : 0;
    vClientAttachDone(a, ulResult == 1);
    return ulResult;
}

// Sub-codes 2, 7 and 8: one of the segment's runs.
ULONG ulRun(BOOL (*pfnRun)(GLClient*), const char* pszWho) {
    GLClient* pgc = pgcWithSegment(pszWho);
    if (pgc == nullptr) return kFailed;
    return pfnRun(pgc) ? 1 : kFailed;
}
ULONG ulCmdProcessRequests(const GLCMDCALL&) { return ulRun(__glRunHalf, __func__); }
ULONG ulCmdRenderLarge(const GLCMDCALL&) { return ulRun(__glRenderLarge, __func__); }
ULONG ulCmdSingle(const GLCMDCALL&) { return ulRun(__glSingleRequest, __func__); }

// Sub-codes 3 and 14: the new context's handle goes to the output.
ULONG ulCreateContext(const GLCMDCALL& c, LONG iLayer) {
    ULONG dhrc = 0;
    if (GLContext* gc = __glDrvCreateContext(c.pso, static_cast<LONG>(c.arg(1)), iLayer)) {
        dhrc = ulRegisterContext(gc);
        if (dhrc == 0) __glDestroyContext(gc);
    }
    GLCmdReply reply{dhrc};
    std::memcpy(c.pjOut, &reply, sizeof reply);
    return dhrc != 0 ? 1 : 0;
}
ULONG ulCmdCreateContext(const GLCMDCALL& c) { return ulCreateContext(c, 0); }
ULONG ulCmdCreateLayerContext(const GLCMDCALL& c) {
    return ulCreateContext(c, static_cast<LONG>(c.arg(2)));
}

ULONG ulCmdDeleteContext(const GLCMDCALL& c) {
    GLContext* gc = gcArg(c, 0, __func__);
    if (gc == nullptr) return kFailed;  // no driver object the engine could delete
    const ULONG ulResult = __glDrvDeleteContext(gc);
    if (ulResult != kFailed) vUnregisterContext(gc);
    return ulResult;
}

ULONG ulCmdReleaseContext(const GLCMDCALL& c) {
    GLContext* gc = gcArg(c, 0, __func__);
    return gc != nullptr ? __glDrvReleaseContext(gc) : 0;
}

ULONG ulCmdCreateSegment(const GLCMDCALL& c) {
    const GLClientAttach a = ClientAttachBegin();
    if (a.pgc == nullptr) return 0;
    // A new segment replaces the thread's old one.
    vUnmapSegment(a.pgc);
    const LONG lResult = __glMapSMSegment(a.pgc, c.arg(0), c.arg(1));
    vClientAttachDone(a, lResult == 1);
    return static_cast<ULONG>(lResult);
}

ULONG ulCmdCreatePrimSegment(const GLCMDCALL& c) {
    GLClient* pgc = pgcCurrent();
    if (pgc == nullptr || pgc->gc == nullptr) {
        __glXDebugPrint("%s: no current context\n", __func__);
        return kFailed;
    }
    return static_cast<ULONG>(__glMapPrimSegment(pgc, c.arg(0), c.arg(1)));
}

ULONG ulCmdSetFormatCount(const GLCMDCALL& c) {
    // The count takes effect; the escape answers -1 whatever happened.
    __glSetFormatCount(static_cast<USHORT>(c.arg(0)));
    return kFailed;
}

ULONG ulCmdShareLists(const GLCMDCALL& c) {
    GLContext* gcSource = gcArg(c, 0, __func__);
    GLContext* gcTarget = gcArg(c, 1, __func__);
    if (gcSource == nullptr || gcTarget == nullptr) return 0;
    return __glDrvShareLists(gcSource, gcTarget);
}

// Runs the named client's current half, then moves its view by the half
// offset: forward for toggle 0, back otherwise. A move that would leave no
// whole header inside the mapping is refused before anything runs.
ULONG ulCmdWrapReadPointer(const GLCMDCALL& c) {
    GLClient* pgc = pgcFromHandle(c.arg(0));
    if (pgc == nullptr) {
        __glXDebugPrint("%s: no client %u\n", __func__, c.arg(0));
        return kFailed;
    }
    const SMMapping* pm = pgc->pMapping;
    if (pm == nullptr) {
        __glXDebugPrint("%s: no request segment\n", __func__);
        return kFailed;
    }
    const std::uint64_t cjSection = pm->cjSection;
    const std::uint64_t off = static_cast<std::uint64_t>(pgc->pHeader - pm->pjView);
    const std::uint64_t cjHalf = c.arg(2);
    const bool bForward = c.arg(1) == 0;
    if (bForward ? off + cjHalf + kSegmentHeaderBytes > cjSection : cjHalf > off) {
        __glXDebugPrint("%s: half offset %#x leaves the segment\n", __func__, c.arg(2));
        return kFailed;
    }
    const BOOL bRan = __glRunHalf(pgc);
    pgc->pHeader = pm->pjView + (bForward ? off + cjHalf : off - cjHalf);
    return bRan ? 1 : kFailed;
}

ULONG ulCmdCopyContext(const GLCMDCALL& c) {
    GLContext* gcSource = gcArg(c, 0, __func__);
    GLContext* gcTarget = gcArg(c, 1, __func__);
    if (gcSource == nullptr || gcTarget == nullptr) return 0;
    return __glDrvCopyContext(gcSource, gcTarget, c.arg(2));
}

ULONG ulCmdDescribeLayerPlane(const GLCMDCALL& c) {
    const ULONG cj = c.arg(2);
    if (cj > c.cjOut - GLCMD_REPLY_PAYLOAD) {
        __glXDebugPrint("%s: %u bytes do not fit the output\n", __func__, cj);
        return 0;
    }
    return __glDrvDescribeLayerPlane(static_cast<LONG>(c.arg(0)), static_cast<LONG>(c.arg(1)), cj,
                                     c.pjOut + GLCMD_REPLY_PAYLOAD)
               ? 1
               : 0;
}

ULONG ulCmdGetLayerPaletteEntries(const GLCMDCALL& c) {
    WNDOBJ* pwo = pwoOf(c, __func__);
    if (pwo == nullptr) return 0;
    return __glGetLayerPaletteEntries(pwo, static_cast<LONG>(c.arg(0)), static_cast<LONG>(c.arg(1)),
                                      static_cast<LONG>(c.arg(2)), c.pjOut + GLCMD_REPLY_PAYLOAD);
}

ULONG ulCmdRealizeLayerPalette(const GLCMDCALL& c) {
    WNDOBJ* pwo = pwoOf(c, __func__);
    if (pwo == nullptr) return 0;
    return __glRealizeLayerPalette(pwo, static_cast<LONG>(c.arg(0)), c.arg(1) != 0);
}

ULONG ulCmdSetLayerPaletteEntries(const GLCMDCALL& c) {
    WNDOBJ* pwo = pwoOf(c, __func__);
    if (pwo == nullptr) return 0;
    return __glSetLayerPaletteEntries(pwo, static_cast<LONG>(c.arg(0)), static_cast<LONG>(c.arg(1)),
                                      static_cast<LONG>(c.arg(2)), c.pjIn + GLCMD_ARG(3));
}

ULONG ulCmdSwapLayerBuffers(const GLCMDCALL& c) {
    WNDOBJ* pwo = pwoOf(c, __func__);
    if (pwo == nullptr) return 0;
    return __wglSwapBuffers(c.pso, pwo, c.arg(0));
}

// Sub-codes 20 and 21: the thread's client goes, if it serves the caller.
ULONG ulCmdDetach(const GLCMDCALL&) {
    if (pgcCurrent() != nullptr) InitGLSrvDll(nullptr, GLSRV_THREAD_DETACH, nullptr);
    return 0;
}

struct GLCMDROW {
    ULONG cjInMin;   // least input, in bytes
    ULONG cjOutMin;  // least output, in bytes (0: none needed)
    BOOL bFpuMode;   // runs in the request floating-point mode
    PFN_GLCMD pfn;
};

// Sub-codes 20 and 21 take no arguments; their sub-code word is all they need.
constexpr ULONG kSubCodeOnly = sizeof(ULONG);

// Indexed by sub-code.
const GLCMDROW gaGLCmd[GLCMD_LAST + 1] = {
    {0, 0, FALSE, nullptr},
    /* 1 GLCMD_SETCONTEXT */ {28, 0, FALSE, ulCmdSetContext},
    /* 2 GLCMD_PROCESSSMREQUESTS */ {20, 0, TRUE, ulCmdProcessRequests},
    /* 3 GLCMD_CREATECONTEXT */ {28, 4, FALSE, ulCmdCreateContext},
    /* 4 GLCMD_DELETECONTEXT */ {24, 0, FALSE, ulCmdDeleteContext},
    /* 5 GLCMD_RELEASECONTEXT */ {24, 0, FALSE, ulCmdReleaseContext},
    /* 6 GLCMD_CREATESMSEGMENT */ {28, 0, FALSE, ulCmdCreateSegment},
    /* 7 GLCMD_RENDERLARGE */ {20, 0, TRUE, ulCmdRenderLarge},
    /* 8 GLCMD_SINGLE */ {20, 0, TRUE, ulCmdSingle},
    /* 9 GLCMD_CREATEPRIMSEGMENT */ {28, 0, FALSE, ulCmdCreatePrimSegment},
    /* 10 GLCMD_SETFORMATCOUNT */ {24, 0, FALSE, ulCmdSetFormatCount},
    /* 11 GLCMD_SHARELISTS */ {28, 0, FALSE, ulCmdShareLists},
    /* 12 GLCMD_WRAPSMREADPOINTER */ {32, 0, TRUE, ulCmdWrapReadPointer},
    /* 13 GLCMD_COPYCONTEXT */ {32, 0, FALSE, ulCmdCopyContext},
    /* 14 GLCMD_CREATELAYERCONTEXT */ {32, 4, FALSE, ulCmdCreateLayerContext},
    /* 15 GLCMD_DESCRIBELAYERPLANE */ {32, 52, FALSE, ulCmdDescribeLayerPlane},
    /* 16 GLCMD_GETLAYERPALETTEENTRIES */ {32, 1044, FALSE, ulCmdGetLayerPaletteEntries},
    /* 17 GLCMD_REALIZELAYERPALETTE */ {28, 0, FALSE, ulCmdRealizeLayerPalette},
    /* 18 GLCMD_SETLAYERPALETTEENTRIES */ {1056, 0, FALSE, ulCmdSetLayerPaletteEntries},
    /* 19 GLCMD_SWAPLAYERBUFFERS */ {24, 0, FALSE, ulCmdSwapLayerBuffers},
    /* 20 GLCMD_THREADDETACH */ {kSubCodeOnly, 0, FALSE, ulCmdDetach},
    /* 21 GLCMD_PROCESSDETACH */ {kSubCodeOnly, 0, FALSE, ulCmdDetach},
};

static_assert(GLCMD_ARG(3) + 4 * GLCMD_LAYER_PALETTE_ENTRIES == 1056);
static_assert(GLCMD_REPLY_PAYLOAD + 4 * GLCMD_LAYER_PALETTE_ENTRIES == 1044);

}  // namespace

ULONG ulOpenGLCmd(SURFOBJ* pso, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut) {
    if (pvIn == nullptr || cjIn < sizeof(ULONG)) return kFailed;
    const GLCMDCALL c{pso, static_cast<const BYTE*>(pvIn), cjIn, static_cast<BYTE*>(pvOut), cjOut};
    const ULONG ulSubEsc = c.word(offsetof(OPENGLCMD, ulSubEsc));
    if (ulSubEsc < GLCMD_FIRST || ulSubEsc > GLCMD_LAST) return kFailed;
    const GLCMDROW& row = gaGLCmd[ulSubEsc];
    if (cjIn < row.cjInMin || cjOut < row.cjOutMin || (row.cjOutMin != 0 && pvOut == nullptr))
        return kFailed;
    if (row.bFpuMode) {
        FpuRequestMode mode;
        return row.pfn(c);
    }
    return row.pfn(c);
}
