// The list table of a context: list names as sorted, disjoint ranges that
// never touch (touching ranges are merged), and the lists themselves in
// 1009 buckets by name. Freeing a list gives its batches back: those the
// lgi layer has not finished wait on the context's retiring list.
#include <cstring>

#include "dispatch/dispatch.h"
#include "list/list.h"
#include "lgi/lgi.h"

namespace {

__GLXnameRange* prNew(ULONG first, ULONG last, __GLXnameRange* pNext) {
    auto* pr = static_cast<__GLXnameRange*>(LocalAlloc(LPTR, sizeof(__GLXnameRange)));
    if (pr != nullptr) *pr = __GLXnameRange{first, last, pNext};
    return pr;
}

// Joins pr with the range after it when they touch.
void vMergeNext(__GLXnameRange* pr) {
    __GLXnameRange* pn = pr->pNext;
    if (pn != nullptr && pr->last != 0xFFFFFFFFu && pr->last + 1 >= pn->first) {
        if (pn->last > pr->last) pr->last = pn->last;
        pr->pNext = pn->pNext;
        LocalFree(pn);
    }
}

__GLXlistTable* ptTable(GLContext* gc) { return gc != nullptr ? gc->pListTable : nullptr; }

// Frees the batch: at once when the lgi layer is done with it, else on the
// context's retiring list (as a batch of its own, so the list frees it).
void vFreeBatch(GLClient* pgc, __GLXpacketBuffer* pBatch) {
    if (pBatch->token == 0 || N_PacketsDone(pBatch->token)) {
        LocalFree(pBatch);
        return;
    }
    pBatch->target = GLX_PACKETS_IMMEDIATE;
    if (pgc != nullptr && pgc->gc != nullptr) {
        __glXQueuePending(pgc, pBatch);
        return;
    }
    N_Sync();
    LocalFree(pBatch);
}

}  // namespace

__GLXlistTable* __glXNewListTable(void) {
    auto* pTable = static_cast<__GLXlistTable*>(LocalAlloc(LPTR, sizeof(__GLXlistTable)));
    if (pTable != nullptr) {
        std::memset(pTable, 0, sizeof *pTable);
        pTable->cRef = 1;
    }
    return pTable;
}

ULONG __glXIsListName(GLContext* gc, ULONG name) {
    const __GLXlistTable* pTable = ptTable(gc);
    if (name == 0 || pTable == nullptr) return 0;
    for (const __GLXnameRange* pr = pTable->pRanges; pr != nullptr && pr->first <= name; pr = pr->pNext)
        if (name <= pr->last) return 1;
    return 0;
}

ULONG __glXGenListNames(GLContext* gc, LONG n) {
    __GLXlistTable* pTable = ptTable(gc);
    if (n < 0 || pTable == nullptr) return 0;
    const ULONG c = n == 0 ? 1 : static_cast<ULONG>(n);  // GenLists(0) reserves a name
    __GLXnameRange* pFirst = pTable->pRanges;
    if (pFirst == nullptr || pFirst->first > c) {
        __GLXnameRange* pr = prNew(1, c, pFirst);
        if (pr == nullptr) return 0;
        pTable->pRanges = pr;
        vMergeNext(pr);
        return 1;
    }
    for (__GLXnameRange* pr = pFirst; pr != nullptr; pr = pr->pNext) {
        if (pr->last > 0xFFFFFFFFu - c) return 0;  // no room above
        if (pr->pNext == nullptr || pr->pNext->first > pr->last + c) {
            const ULONG ulFirst = pr->last + 1;
            pr->last += c;
            vMergeNext(pr);
            return ulFirst;
        }
    }
    return 0;
}

BOOL __glXMarkListName(__GLXlistTable* pTable, ULONG name) {
    if (pTable == nullptr || name == 0) return FALSE;
    __GLXnameRange** pp = &pTable->pRanges;
    __GLXnameRange* pPrev = nullptr;
    while (*pp != nullptr && (*pp)->last < name) {
        pPrev = *pp;
        pp = &(*pp)->pNext;
    }
    if (*pp != nullptr && (*pp)->first <= name) return TRUE;  // in use already
    if (pPrev != nullptr && pPrev->last + 1 == name) {
        pPrev->last = name;
        vMergeNext(pPrev);
        return TRUE;
    }
    if (*pp != nullptr && (*pp)->first == name + 1) {
        (*pp)->first = name;
        return TRUE;
    }
    __GLXnameRange* pr = prNew(name, name, *pp);
    if (pr == nullptr) return FALSE;
    *pp = pr;
    return TRUE;
}

void __glXDeleteList(GLContext* gc, ULONG name) {
    __GLXlistTable* pTable = ptTable(gc);
    if (pTable == nullptr) return;
    for (__GLXlistHead** pp = &pTable->apBuckets[name % GLX_LIST_BUCKETS]; *pp != nullptr; pp = &(*pp)->pNext) {
        if ((*pp)->name == name) {
            __GLXlistHead* pHead = *pp;
            *pp = pHead->pNext;
            __glXFreeList(gc->pgc, pHead);
            return;
        }
    }
}

BOOL __glXDeleteListRange(GLContext* gc, ULONG first, LONG n) {
    __GLXlistTable* pTable = ptTable(gc);
    if (n < 1 || pTable == nullptr) return TRUE;
    const ULONG last = static_cast<ULONG>(n) - 1 > 0xFFFFFFFFu - first ? 0xFFFFFFFFu : first + static_cast<ULONG>(n) - 1;
    // A range split in two needs a record: had first, so that a failure
    // changes nothing.
    __GLXnameRange* prSpare = prNew(0, 0, nullptr);
    if (prSpare == nullptr) return FALSE;
    for (__GLXnameRange** pp = &pTable->pRanges; *pp != nullptr;) {
        __GLXnameRange* pr = *pp;
        if (pr->last < first) {
            pp = &pr->pNext;
            continue;
        }
        if (pr->first > last) break;
        const ULONG lo = pr->first > first ? pr->first : first;
        const ULONG hi = pr->last < last ? pr->last : last;
        // Every list of the overlapping names; lists are few next to names,
        // so walk the buckets when the overlap is wide.
        if (hi - lo >= GLX_LIST_BUCKETS) {
            for (ULONG b = 0; b < GLX_LIST_BUCKETS; ++b) {
                for (__GLXlistHead** ppHead = &pTable->apBuckets[b]; *ppHead != nullptr;) {
                    __GLXlistHead* pHead = *ppHead;
                    if (pHead->name >= lo && pHead->name <= hi) {
                        *ppHead = pHead->pNext;
                        __glXFreeList(gc->pgc, pHead);
                    } else {
                        ppHead = &pHead->pNext;
                    }
                }
            }
        } else {
            for (ULONG name = lo;; ++name) {
                __glXDeleteList(gc, name);
                if (name == hi) break;
            }
        }
        if (lo == pr->first && hi == pr->last) {
            *pp = pr->pNext;
            LocalFree(pr);
        } else if (lo == pr->first) {
            pr->first = hi + 1;
            pp = &pr->pNext;
        } else if (hi == pr->last) {
            pr->last = lo - 1;
            pp = &pr->pNext;
        } else {
            *prSpare = __GLXnameRange{hi + 1, pr->last, pr->pNext};
            pr->last = lo - 1;
            pr->pNext = prSpare;
            prSpare = nullptr;
            pp = &pr->pNext->pNext;
        }
    }
    if (prSpare != nullptr) LocalFree(prSpare);
    return TRUE;
}

void __glXFreeList(GLClient* pgc, __GLXlistHead* pHead) {
    if (pHead == nullptr) return;
    __glXReleasePinned(pgc, pHead);
    for (__GLXlistChunk* pc = pHead->pFirst; pc != nullptr;) {
        __GLXlistChunk* pNext = pc->pNext;
        if (pc->pjData != nullptr) LocalFree(pc->pjData);
        LocalFree(pc);
        pc = pNext;
    }
    for (ULONG i = 0; i < pHead->cBatches; ++i) vFreeBatch(pgc, pHead->pBatches[i].pBatch);
    if (pHead->pBatches != nullptr) LocalFree(pHead->pBatches);
    LocalFree(pHead);
}

void __glXFreeListTable(GLClient* pgc, __GLXlistTable* pTable) {
    if (pTable == nullptr) return;
    for (ULONG b = 0; b < GLX_LIST_BUCKETS; ++b) {
        for (__GLXlistHead* pHead = pTable->apBuckets[b]; pHead != nullptr;) {
            __GLXlistHead* pNext = pHead->pNext;
            __glXFreeList(pgc, pHead);
            pHead = pNext;
        }
    }
    for (__GLXnameRange* pr = pTable->pRanges; pr != nullptr;) {
        __GLXnameRange* pNext = pr->pNext;
        LocalFree(pr);
        pr = pNext;
    }
    LocalFree(pTable);
}

void __glXFreeContextLists(GLContext* gc) {
    GLClient* pgc = gc->pgc != nullptr && gc->pgc->gc == gc ? gc->pgc : nullptr;
    __glXFreeList(pgc, static_cast<__GLXlistHead*>(gc->pListCompiled));
    gc->pListCompiled = nullptr;
    gc->listMode = 0;
    gc->bCompiling = 0;
    if (gc->pListTable != nullptr && --gc->pListTable->cRef == 0) __glXFreeListTable(pgc, gc->pListTable);
    gc->pListTable = nullptr;
}
