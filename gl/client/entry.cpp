// The outer layer of the client driver: the library entry, and the Drv...
// exports the system OpenGL library calls to validate the driver and to
// create, delete, bind, release, copy and share rendering contexts and to
// handle layer planes. Each export turns its call into one OPENGL_CMD escape
// to the display driver, which hands it to the GL server.
#include <algorithm>
#include <cstring>

#include "clt.h"
#include "gl10.h"
#include "glcltexports.h"
#include "glicd.h"

namespace {

ClientContext* pcc(DHGLRC dhglrc) { return reinterpret_cast<ClientContext*>(dhglrc); }

// The calling thread's block, when storage is allocated and it has one.
ThreadBlock* pBlockOrNull() { return gTlsIndex == CLT_NO_TLS_INDEX ? nullptr : CurrentThreadBlock(); }

// What every context export does first on a thread that has a block: close
// a pending primitive, hand over what the current half holds (so that
// nothing drawn under the old binding runs under the new one, or not at
// all), and wait for the flush worker.
ThreadBlock* pPrologue() {
    ThreadBlock* ptb = pBlockOrNull();
    if (ptb == nullptr) return nullptr;
    EndPendingPrimitive(ptb);
    FlushSMSegment(ptb);
    WaitFlushWorker(ptb);
    return ptb;
}

// The prologue, or for a thread without a block the late attach.
ThreadBlock* pPrologueOrAttach(const char* pszExport) {
    if (ThreadBlock* ptb = pPrologue()) return ptb;
    DbgPrint("%s - Call DelayedThreadAttach \n", pszExport);
    DelayedThreadAttach();
    return pBlockOrNull();
}

// Waits for the calling thread's worker, when it has a block.
void vWaitWorker() {
    if (ThreadBlock* ptb = pBlockOrNull()) WaitFlushWorker(ptb);
}

bool bSegmentReadable(const ThreadBlock* ptb) {
    if (ptb->half == nullptr) return false;
    ULONG ul;
    SIZE_T cj = 0;
    return ReadProcessMemory(GetCurrentProcess(), ptb->half, &ul, sizeof ul, &cj) && cj == sizeof ul;
}

INT iEscape(HDC hdc, const BYTE* pjIn, ULONG cjIn, BYTE* pjOut = nullptr, ULONG cjOut = 0) {
    return ExtEscape(hdc, OPENGL_CMD, static_cast<INT>(cjIn), reinterpret_cast<LPCSTR>(pjIn),
                     static_cast<INT>(cjOut), reinterpret_cast<LPSTR>(pjOut));
}

ULONG ulHandle(HDC hdc) { return static_cast<ULONG>(reinterpret_cast<std::uintptr_t>(hdc)); }

// A new client context for the server's handle, or null.
ClientContext* pNewContext(ULONG dhrc) {
    auto* cc = static_cast<ClientContext*>(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, sizeof(ClientContext)));
    if (cc == nullptr) return nullptr;
    cc->dhrc = dhrc;
    cc->renderMode = GL_RENDER;
    cc->pixelStore.packAlignment = 4;
    cc->pixelStore.unpackAlignment = 4;
    cc->unpackImage = UnpackImage;
    cc->cacheValid = CLT_CACHE_POLYGON_MODE_FRONT | CLT_CACHE_POLYGON_MODE_BACK;
    cc->polygonModeFront = GL_FILL;
    cc->polygonModeBack = GL_FILL;
    cc->cacheEnables = CLT_ENABLE_SHADE_MODEL;
    cc->shadeModel = GL_SMOOTH;
    return cc;
}

DHGLRC CreateContext(const char* pszExport, HDC hdc, bool bLayer, INT iLayerPlane) {
    vTrace(1, "KZ!DrvCreateContext entered, hdc = 0x%x\n", ulHandle(hdc));
    pPrologueOrAttach(pszExport);
    BYTE aj[GLCMD_ARG(3)];
    ULONG cj;
    if (bLayer) {
        cj = GLCMD_ARG(3);
        vBuildRequest(aj, cj, GLCMD_CREATELAYERCONTEXT, 0,
                      {ulHandle(hdc), static_cast<ULONG>(GetPixelFormat(hdc)), static_cast<ULONG>(iLayerPlane)});
    } else {
        cj = GLCMD_ARG(2);
        vBuildRequest(aj, cj, GLCMD_CREATECONTEXT, 0, {ulHandle(hdc), static_cast<ULONG>(GetPixelFormat(hdc))});
    }
    GLCmdReply reply{0};
    const INT iRet = iEscape(hdc, aj, cj, reinterpret_cast<BYTE*>(&reply), sizeof reply);
    vTrace(1, "KZ!DrvCreateContext: ExtEscape, ccRet = %d\n", iRet);
    vTrace(1, "KZ!DrvCreateContext: ccRet.dhrc=0x%x\n", reply.dhrc);
    if (iRet <= 0) return 0;
    ClientContext* cc = pNewContext(reply.dhrc);
    vTrace(1, "KZ!DrvCreateContext: gc=0x%x\n", cc);
    return reinterpret_cast<DHGLRC>(cc);
}

// A context request with argument words on the thread's display DC.
INT iContextCmd(ThreadBlock* ptb, ULONG ulSubEsc, std::initializer_list<ULONG> args) {
    if (ptb == nullptr) return 0;
    BYTE aj[GLCMD_ARG(3)];
    const ULONG cj = GLCMD_ARGS + 4 * static_cast<ULONG>(args.size());
    vBuildRequest(aj, cj, ulSubEsc, 0, args);
    return iEscape(ptb->displayDC, aj, cj);
}

}  // namespace

void vBuildRequest(BYTE* pj, ULONG cj, ULONG ulSubEsc, ULONG fl, std::initializer_list<ULONG> args) {
    std::memset(pj, 0, cj);
    GLCmdRequest req{};
    req.hdr.ulSubEsc = ulSubEsc;
    req.hdr.fl = fl;
    req.ulProcessId = GetCurrentProcessId();
    std::memcpy(pj, &req, sizeof req);
    ULONG offset = GLCMD_ARGS;
    for (ULONG w : args) {
        if (offset + 4 > cj) break;
        std::memcpy(pj + offset, &w, 4);
        offset += 4;
    }
}

BOOL DelayedThreadAttach() {
    if (pThreadBlockOfThread() == nullptr) return CreateThreadBlock();
    vTrace(1, "ThreadLS is ok!!\n");
    return TRUE;
}

BOOL DllMain(HMODULE, ULONG ulReason, PVOID) {
    vTrace(1, "KZ!DllMain - called, Reason = %d\n", ulReason);
    switch (ulReason) {
        case DLL_PROCESS_ATTACH: {
            const DWORD index = TlsAlloc();
            if (index != TLS_OUT_OF_INDEXES) gTlsIndex = index;
            vInitCritSec();
            return index != TLS_OUT_OF_INDEXES ? CreateThreadBlock() : FALSE;
        }
        case DLL_THREAD_ATTACH:
            return gTlsIndex != CLT_NO_TLS_INDEX ? CreateThreadBlock() : FALSE;
        case DLL_THREAD_DETACH:
        case DLL_PROCESS_DETACH: {
            if (ThreadBlock* ptb = pThreadBlockOfThread()) {
                // What the thread drew last reaches the server before the
                // server lets go of the thread's segment, while the segment
                // is still the process's (an ended process's views are gone).
                if (bSegmentReadable(ptb)) {
                    EndPendingPrimitive(ptb);
                    FlushSMSegment(ptb);
                }
                if (ptb->worker != nullptr) WaitFlushWorker(ptb);
                BYTE aj[GLCMD_ARGS];
                vBuildRequest(aj, sizeof aj,
                              ulReason == DLL_THREAD_DETACH ? GLCMD_THREADDETACH : GLCMD_PROCESSDETACH, 0, {});
                iEscape(ptb->displayDC, aj, sizeof aj);
                ReleaseThreadBlock(ptb);
                LocalFree(ptb);
                TlsSetValue(gTlsIndex, nullptr);
            }
            if (ulReason == DLL_PROCESS_DETACH) {
                if (gTlsIndex != CLT_NO_TLS_INDEX) TlsFree(gTlsIndex);
                gTlsIndex = CLT_NO_TLS_INDEX;
                vDeleteCritSec();
            }
            return TRUE;
        }
        default:
            return FALSE;
    }
}

extern "C" {

VNX_EXPORT BOOL GLCltDllInitialize(HMODULE hModule, ULONG ulReason, PVOID pvReserved) {
    return DllMain(hModule, ulReason, pvReserved);
}

VNX_EXPORT BOOL DrvValidateVersion(ULONG ulVersion) {
    const BOOL b = ulVersion == 2;
    vTrace(1, "KZ!DrvValidateVersion called, returning %d\n", b);
    return b;
}

VNX_EXPORT DHGLRC DrvCreateContext(HDC hdc) { return CreateContext("DrvCreateContext", hdc, false, 0); }

VNX_EXPORT DHGLRC DrvCreateLayerContext(HDC hdc, INT iLayerPlane) {
    return CreateContext("DrvCreateLayerContext", hdc, true, iLayerPlane);
}

VNX_EXPORT BOOL DrvDeleteContext(DHGLRC dhglrc) {
    ClientContext* cc = pcc(dhglrc);
    vTrace(1, "KZ!DrvDeleteContext: gc=0x%x\n", cc);
    if (cc == nullptr) return TRUE;
    ThreadBlock* ptb = pPrologue();
    if (ptb != nullptr) {
        iContextCmd(ptb, GLCMD_DELETECONTEXT, {cc->dhrc});
        // The thread's current context is gone: nothing may reach it
        // through the block any more.
        if (ptb->context == cc) ptb->context = nullptr;
        if (cc->currentThread == GetCurrentThreadId()) cc->currentThread = 0;
    }
    for (char*& psz : cc->strings) {
        if (psz != nullptr) LocalFree(psz);
        psz = nullptr;
    }
    // A context still current on another thread stays reachable from that
    // thread's block: its record is kept. The ring goes with the record.
    if (cc->currentThread == 0) {
        FreePrimitiveBuffer(cc);
        LocalFree(cc);
    }
    return TRUE;
}

VNX_EXPORT const GLCLTPROCTABLE* DrvSetContext(HDC hdc, DHGLRC dhglrc, PFN_SETPROCTABLE) {
    ClientContext* cc = pcc(dhglrc);
    vTrace(1, "KZ!DrvCreateContext entered, hdc = 0x%x\n", ulHandle(hdc));
    vInitCritSec();
    if (cc == nullptr) return nullptr;
    if (pBlockOrNull() == nullptr && !CreateThreadBlock()) return nullptr;
    ThreadBlock* ptb = pBlockOrNull();
    if (ptb == nullptr) return nullptr;
    vCountCurrentThread(ptb);
    if (ptb->segment == nullptr && !CreateSMSegment(ptb, hdc, CLT_HALF_SIZE)) return nullptr;
    EndPendingPrimitive(ptb);
    // Commands drawn for the context current so far run under it.
    FlushSMSegment(ptb);
    ptb->hdc = hdc;
    BYTE aj[GLCMD_ARG(2)];
    vBuildRequest(aj, sizeof aj, GLCMD_SETCONTEXT, OGLCMD_NEEDWNDOBJ | OGLCMD_NEEDXLATEOBJ,
                  {ulHandle(hdc), cc->dhrc});
    WaitFlushWorker(ptb);
    if (iEscape(hdc, aj, sizeof aj) <= 0) return nullptr;
    if (ptb->context != nullptr && ptb->context != cc && ptb->context->currentThread == GetCurrentThreadId())
        ptb->context->currentThread = 0;
    ptb->context = cc;
    cc->currentThread = GetCurrentThreadId();
    cc->largeLimit = 0x1FFFF8 - ptb->half->readOffset;
    return &gGLCltProcTable;
}

VNX_EXPORT BOOL DrvReleaseContext(DHGLRC dhglrc) {
    ClientContext* cc = pcc(dhglrc);
    ThreadBlock* ptb = pPrologue();
    if (cc == nullptr || ptb == nullptr) return FALSE;
    if (iContextCmd(ptb, GLCMD_RELEASECONTEXT, {cc->dhrc}) <= 0) return FALSE;
    if (ptb->context != nullptr && ptb->context->currentThread == GetCurrentThreadId())
        ptb->context->currentThread = 0;
    ptb->context = nullptr;
    return TRUE;
}

VNX_EXPORT BOOL DrvShareLists(DHGLRC dhglrc1, DHGLRC dhglrc2) {
    vTrace(1, "KZ!DrvShareLists entered\n");
    ThreadBlock* ptb = pPrologueOrAttach("DrvShareLists");
    if (pcc(dhglrc1) == nullptr || pcc(dhglrc2) == nullptr) return FALSE;
    return iContextCmd(ptb, GLCMD_SHARELISTS, {pcc(dhglrc1)->dhrc, pcc(dhglrc2)->dhrc}) > 0;
}

VNX_EXPORT BOOL DrvCopyContext(DHGLRC dhglrcSrc, DHGLRC dhglrcDst, UINT mask) {
    ClientContext* ccSrc = pcc(dhglrcSrc);
    ClientContext* ccDst = pcc(dhglrcDst);
    ThreadBlock* ptb = pPrologue();
    if (ccSrc == nullptr || ccDst == nullptr) return FALSE;
    const INT iRet = iContextCmd(ptb, GLCMD_COPYCONTEXT, {ccSrc->dhrc, ccDst->dhrc, mask});
    // Whatever the server did, the destination's cached state may be stale.
    // Its attribute stack is its own: what is pushed there may still be
    // restored by a pop.
    if (ccDst->attribDepth == 0) ccDst->pushedAttribMask = 0;
    ccDst->cacheValid &= ~CLT_CACHE_ALL;
    ccDst->cacheEnables &= ~CLT_ENABLE_SHADE_MODEL;
    return iRet > 0;
}

VNX_EXPORT BOOL DrvDescribeLayerPlane(HDC hdc, INT iPixelFormat, INT iLayerPlane, UINT nBytes, void* plpd) {
    constexpr ULONG kDescriptorBytes = 32;
    vWaitWorker();
    BYTE aj[GLCMD_ARG(3)];
    vBuildRequest(aj, sizeof aj, GLCMD_DESCRIBELAYERPLANE, 0,
                  {static_cast<ULONG>(iPixelFormat), static_cast<ULONG>(iLayerPlane), nBytes});
    BYTE ajOut[GLCMD_REPLY_PAYLOAD + kDescriptorBytes] = {};
    if (iEscape(hdc, aj, sizeof aj, ajOut, sizeof ajOut) < 1) return FALSE;
    if (plpd != nullptr) std::memcpy(plpd, ajOut + GLCMD_REPLY_PAYLOAD, std::min<ULONG>(nBytes, kDescriptorBytes));
    return TRUE;
}

VNX_EXPORT INT DrvGetLayerPaletteEntries(HDC hdc, INT iLayerPlane, INT iStart, INT cEntries, ULONG* pcr) {
    vWaitWorker();
    BYTE aj[GLCMD_ARG(3)];
    vBuildRequest(aj, sizeof aj, GLCMD_GETLAYERPALETTEENTRIES, OGLCMD_NEEDWNDOBJ,
                  {static_cast<ULONG>(iLayerPlane), static_cast<ULONG>(iStart), static_cast<ULONG>(cEntries)});
    BYTE ajOut[GLCMD_REPLY_PAYLOAD + 4 * GLCMD_LAYER_PALETTE_ENTRIES] = {};
    const INT iRet = iEscape(hdc, aj, sizeof aj, ajOut, sizeof ajOut);
    if (iRet < 1) return 0;
    // Never more than the reply holds nor than the caller's buffer takes.
    const LONG cCopy = std::min<LONG>({iRet, static_cast<LONG>(GLCMD_LAYER_PALETTE_ENTRIES), std::max(cEntries, 0)});
    if (pcr != nullptr && cCopy > 0) std::memcpy(pcr, ajOut + GLCMD_REPLY_PAYLOAD, 4 * static_cast<size_t>(cCopy));
    return iRet;
}

VNX_EXPORT INT DrvSetLayerPaletteEntries(HDC hdc, INT iLayerPlane, INT iStart, INT cEntries, const ULONG* pcr) {
    // The request has room for one palette: a longer one is refused.
    if (cEntries < 0 || cEntries > static_cast<INT>(GLCMD_LAYER_PALETTE_ENTRIES) || (cEntries > 0 && pcr == nullptr))
        return 0;
    vWaitWorker();
    BYTE aj[GLCMD_ARG(3) + 4 * GLCMD_LAYER_PALETTE_ENTRIES];
    vBuildRequest(aj, sizeof aj, GLCMD_SETLAYERPALETTEENTRIES, OGLCMD_NEEDWNDOBJ,
                  {static_cast<ULONG>(iLayerPlane), static_cast<ULONG>(iStart), static_cast<ULONG>(cEntries)});
    if (cEntries > 0) std::memcpy(aj + GLCMD_ARG(3), pcr, 4 * static_cast<size_t>(cEntries));
    return iEscape(hdc, aj, sizeof aj);
}

VNX_EXPORT BOOL DrvRealizeLayerPalette(HDC hdc, INT iLayerPlane, BOOL bRealize) {
    BYTE aj[GLCMD_ARG(2)];
    vBuildRequest(aj, sizeof aj, GLCMD_REALIZELAYERPALETTE, OGLCMD_NEEDWNDOBJ,
                  {static_cast<ULONG>(iLayerPlane), static_cast<ULONG>(bRealize)});
    return iEscape(hdc, aj, sizeof aj) > 0;
}

VNX_EXPORT BOOL DrvSwapLayerBuffers(HDC hdc, UINT fuPlanes) {
    // What the thread drew reaches the server before the swap shows it.
    if (ThreadBlock* ptb = pBlockOrNull()) {
        FlushSMSegment(ptb);
        WaitFlushWorker(ptb);
    }
    BYTE aj[GLCMD_ARG(1)];
    vBuildRequest(aj, sizeof aj, GLCMD_SWAPLAYERBUFFERS, OGLCMD_NEEDWNDOBJ, {fuPlanes});
    return iEscape(hdc, aj, sizeof aj) > 0;
}

}  // extern "C"
