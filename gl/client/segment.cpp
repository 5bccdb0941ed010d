// The request segment of a thread: one pagefile-backed section of two
// halves. The thread writes render commands into one half while the server
// may run the other; a filled half goes to the server through the flush
// worker, and synchronous requests (single and large) go at the start of a
// fresh half.
#include <cstring>

#include "clt.h"

namespace {

SMSegmentHeader* pHeaderAt(BYTE* pj) { return reinterpret_cast<SMSegmentHeader*>(pj); }
BYTE* pjOf(SMSegmentHeader* ph) { return reinterpret_cast<BYTE*>(ph); }

void vStoreZeroWord(SMSegmentHeader* ph, ULONG offset) { std::memset(pjOf(ph) + offset, 0, 4); }

// A synchronous request without arguments on the thread's application DC.
void vSendSync(ThreadBlock* ptb, ULONG ulSubEsc) {
    SMSegmentHeader* ph = ptb->half;
    vStoreZeroWord(ph, ph->writeOffset);
    WaitFlushWorker(ptb);
    BYTE aj[GLCMD_ARGS];
    vBuildRequest(aj, sizeof aj, ulSubEsc, OGLCMD_NEEDWNDOBJ | OGLCMD_NEEDXLATEOBJ, {});
    ExtEscape(ptb->hdc, OPENGL_CMD, sizeof aj, reinterpret_cast<LPCSTR>(aj), 0, nullptr);
    ph->writeOffset = ph->readOffset;
}

}  // namespace

BOOL CreateSMSegment(ThreadBlock* ptb, HDC hdc, ULONG cjHalf) {
    auto* psd = static_cast<SegmentDesc*>(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, sizeof(SegmentDesc)));
    if (psd == nullptr) return FALSE;
    const ULONG cjTotal = 2 * cjHalf + sizeof(SMSegmentHeader);
    HANDLE hSection =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_COMMIT, 0, cjTotal, nullptr);
    BYTE* pjBase = hSection != nullptr ? static_cast<BYTE*>(MapViewOfFile(hSection, FILE_MAP_WRITE, 0, 0, 0))
                                       : nullptr;
    if (pjBase != nullptr) {
        psd->cjTotal = cjTotal;
        psd->pjBase = pjBase;
        psd->hSection = hSection;
        SMSegmentHeader* ph = pHeaderAt(pjBase);
        ph->limit = (cjHalf < 64000 ? cjHalf : 64000) - 8;
        ph->readOffset = sizeof(SMSegmentHeader);
        ph->writeOffset = sizeof(SMSegmentHeader);
        BYTE aj[GLCMD_ARG(2)];
        vBuildRequest(aj, sizeof aj, GLCMD_CREATESMSEGMENT, 0,
                      {cjTotal, static_cast<ULONG>(reinterpret_cast<std::uintptr_t>(hSection))});
        if (ExtEscape(hdc, OPENGL_CMD, sizeof aj, reinterpret_cast<LPCSTR>(aj), 0, nullptr) > 0) {
            ptb->segmentId = ph->client;
            ptb->segment = psd;
            ptb->half = ph;
            return TRUE;
        }
    }
    if (pjBase != nullptr) UnmapViewOfFile(pjBase);
    if (hSection != nullptr) CloseHandle(hSection);
    LocalFree(psd);
    return FALSE;
}

void FreeSMSegment(ThreadBlock* ptb) {
    UnmapViewOfFile(ptb->half);
    CloseHandle(ptb->segment->hSection);
    LocalFree(ptb->segment);
    ptb->segment = nullptr;
    ptb->half = nullptr;
    if (ptb->pjStaging != nullptr) VirtualFree(ptb->pjStaging, 0, MEM_RELEASE);
    ptb->pjStaging = nullptr;
    ptb->cjStaging = 0;
}

BYTE* HandOverHalf(ThreadBlock* ptb, ULONG offset) {
    SMSegmentHeader* ph = ptb->half;
    if (offset == ph->readOffset) return pjOf(ph) + ph->readOffset;
    vStoreZeroWord(ph, offset);
    const ULONG carry = ph->writeOffset - offset;
    ph->writeOffset = offset;
    FlushWorker* pfw = WaitFlushWorker(ptb);
    if (pfw == nullptr) {
        // No worker record: the server runs the half where it is, and the
        // thread goes on writing the same half.
        BYTE aj[GLCMD_ARGS];
        vBuildRequest(aj, sizeof aj, GLCMD_PROCESSSMREQUESTS, 0, {});
        ExtEscape(ptb->displayDC, OPENGL_CMD, sizeof aj, reinterpret_cast<LPCSTR>(aj), 0, nullptr);
        ph->writeOffset = ph->readOffset + carry;
        return pjOf(ph) + ph->readOffset;
    }
    pfw->request.toggle ^= pfw->request.halfOffset;
    BYTE* pjFresh = pfw->request.toggle == 0 ? pjOf(ph) + pfw->request.halfOffset
                                             : pjOf(ph) - pfw->request.halfOffset;
    std::memcpy(pjFresh, ph, sizeof(SMSegmentHeader));
    SMSegmentHeader* phFresh = pHeaderAt(pjFresh);
    ptb->half = phFresh;
    vStartHandOver(ptb, pfw);
    phFresh->writeOffset = phFresh->readOffset + carry;
    return pjFresh + phFresh->readOffset;
}

ULONG FlushSMSegment(ThreadBlock* ptb) {
    if (ptb->half != nullptr) HandOverHalf(ptb, ptb->half->writeOffset);
    return 1;
}

BYTE* pjAppendRender(ThreadBlock* ptb, ULONG cj) {
    SMSegmentHeader* ph = ptb->half;
    if (ph == nullptr) return nullptr;
    const ULONG old = ph->writeOffset;
    ph->writeOffset = old + cj;
    if (ph->limit < old + cj) return HandOverHalf(ptb, old);
    return pjOf(ph) + old;
}

void SendSingle(ThreadBlock* ptb) {
    if (ptb->half != nullptr) vSendSync(ptb, GLCMD_SINGLE);
}

void SendRenderLarge(ThreadBlock* ptb) {
    if (ptb->half != nullptr) vSendSync(ptb, GLCMD_RENDERLARGE);
}

void RenderLargeFromClient(ThreadBlock* ptb, const void* pvData, ULONG cj) {
    SMSegmentHeader* ph = ptb->half;
    if (ph == nullptr) return;
    ph->clientData = 0;
    ph->clientDataSize = 0;
    if (pvData != nullptr && cj != 0) {
        // The header's 32-bit word carries the address: the data travels
        // through the thread's VirtualAlloc memory, below 4 GB and the
        // process's own.
        if (ptb->cjStaging < cj) {
            if (ptb->pjStaging != nullptr) VirtualFree(ptb->pjStaging, 0, MEM_RELEASE);
            ptb->cjStaging = 0;
            ptb->pjStaging = static_cast<BYTE*>(VirtualAlloc(nullptr, cj, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
            if (ptb->pjStaging != nullptr) ptb->cjStaging = cj;
        }
        if (ptb->pjStaging == nullptr) {
            // The command is dropped whole: its part in the half is not
            // left to run as an ordinary command.
            ph->status = SM_STATUS_NOMEMORY;
            ph->writeOffset = ph->readOffset;
            return;
        }
        std::memcpy(ptb->pjStaging, pvData, cj);
        ph->clientData = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(ptb->pjStaging));
        ph->clientDataSize = cj;
    }
    SendRenderLarge(ptb);
}
