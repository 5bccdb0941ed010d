// The escape's frame over a batch: the header, the batch inline in the
// input or in a section the client mapped for the driver, the target window
// and the current context. A client's values are checked before any use:
// the header must be whole, an inline batch must lie inside the input, a
// section batch inside the mapped view, and the window and context handles
// must name the caller's own objects.
#include <cstring>
#include <vector>

#include "batch/batch_internal.h"
#include "platform/engine.h"

namespace {

// The commands that may open a batch without a window and context.
BOOL bOpensAlone(ULONG ulCommand) {
    return ulCommand == 1 || ulCommand == BATCH_DELETE_CONTEXT || ulCommand == BATCH_QUERY ||
           ulCommand == 12 || ulCommand == 16;
}

// An inline batch honours one command: a set-up or a context create, each
// as the whole batch and only with its header flag.
ULONG ulInline(BATCHFRAME* pbf, const BYTE* pjIn, ULONG cjIn) {
    const BATCHHDR& hdr = *pbf->phdr;
    if (hdr.cjInline < sizeof(ULONG) || hdr.pInline == 0) return 0;
    if (hdr.pInline > cjIn || hdr.cjInline > cjIn - hdr.pInline) return 0;
    const BYTE* pj = pjIn + hdr.pInline;
    ULONG aul[8] = {};
    std::memcpy(aul, pj, sizeof(ULONG));
    if (aul[0] == BATCH_SETUP && (hdr.flags & BATCH_FL_SETUP) && hdr.cjInline == 32) {
        std::memcpy(aul, pj, 32);
        return ulSetUp(pbf, aul);
    }
    if (aul[0] == BATCH_CREATE_CONTEXT && (hdr.flags & BATCH_FL_CREATE_CONTEXT) &&
        hdr.cjInline == 12) {
        std::memcpy(aul, pj, 12);
        return ulCreateContext(pbf, aul);
    }
    return 0;
}

// A copy of the batch in the section, read under the section's lock: the
// client may go on writing its view, and its process may end meanwhile.
BOOL bCopySectionBatch(const BATCHHDR& hdr, std::vector<BYTE>* pBatch) {
    SHMEMOBJ* pshm = pshmLockSection(hdr.hShMem);
    if (pshm == nullptr) return FALSE;
    const BYTE* pj = pjClientRange(pshm, hdr.pBatch, hdr.length);
    if (pj != nullptr) pBatch->assign(pj, pj + hdr.length);
    EngUnlockDriverObj(hdr.hShMem);
    return pj != nullptr;
}

}  // namespace

ULONG ulMcdEscape(SURFOBJ* pso, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut) {
    if (pso == nullptr || pvIn == nullptr || cjIn < sizeof(BATCHHDR)) return 0;
    BATCHHDR hdr;
    std::memcpy(&hdr, pvIn, sizeof hdr);
    BATCHFRAME bf{};
    bf.phdr = &hdr;
    bf.pjReply = static_cast<BYTE*>(pvOut);
    bf.cjReply = pvOut != nullptr ? cjOut : 0;
    bf.ok = 1;
    bf.pso = pso;
    bf.ppdev = reinterpret_cast<PDEV*>(pso->dhpdev);
    if (hdr.hShMem == 0) return ulInline(&bf, static_cast<const BYTE*>(pvIn), cjIn);

    std::vector<BYTE> batch;
    if (!bCopySectionBatch(hdr, &batch)) return 0;
    if (hdr.pwo != 0) bf.pwt = pwtWindowFor(pso, bf.ppdev, hdr.pwo, FALSE);
    if (bf.pwt != nullptr) bf.pwo = bf.pwt->pwo;
    if (bf.pwt != nullptr && hdr.hrc != 0) {
        const RCNODE* pnode = pnodeFindContext(hdr.hrc);
        if (pnode == nullptr || pnode->prc->hwnd != bf.pwt->hwnd) return 0;
        bf.prc = pnode->prc;
        vComputeVisible(bf.pwt, bf.prc);
    } else {
        ULONG ulFirst;
        if (batch.size() < sizeof ulFirst) return 0;
        std::memcpy(&ulFirst, batch.data(), sizeof ulFirst);
        if (!bOpensAlone(ulFirst)) return 0;
    }
    bf.pjRead = batch.data();
    bf.pjEnd = batch.data() + batch.size();
    vRunBatch(&bf);
    return bf.ok;
}
