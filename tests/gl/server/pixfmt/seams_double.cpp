#include "seams_double.h"

#include <thread>

#include "glpdev.h"

namespace pixfmt_double {

Record gRecord;

std::vector<std::string> Names() {
    std::vector<std::string> v;
    for (const Call& c : gRecord.calls) v.push_back(c.name);
    return v;
}

namespace {

void Note(const char* pszName, std::vector<std::uintptr_t> args = {}) {
    Call c;
    c.name = pszName;
    c.args = std::move(args);
    if (gRecord.ppdevLocked != nullptr) {
        CRITICAL_SECTION* pcs = pGLEscapeLock(gRecord.ppdevLocked);
        BOOL bTaken = FALSE;
        std::thread([&] {
            bTaken = TryEnterCriticalSection(pcs);
            if (bTaken) LeaveCriticalSection(pcs);
        }).join();
        c.bEscapeLockHeld = !bTaken;
    }
    gRecord.calls.push_back(std::move(c));
}

std::uintptr_t U(const void* pv) { return reinterpret_cast<std::uintptr_t>(pv); }

}  // namespace

}  // namespace pixfmt_double

using pixfmt_double::gRecord;
using pixfmt_double::Note;
using pixfmt_double::U;

void __glInitBufferManager(PDEV* ppdev) { Note(__func__, {U(ppdev)}); }
void _DClientRegionChanged(GLBufferSet* pbs, WNDOBJ* pwo) { Note(__func__, {U(pbs), U(pwo)}); }
void _DSurfaceMoved(PDEV* ppdev, GLBufferSet* pbs, WNDOBJ* pwo) {
    Note(__func__, {U(ppdev), U(pbs), U(pwo)});
}
void _DFreeBufferSet(PDEV* ppdev, GLBufferSet* pbs) { Note(__func__, {U(ppdev), U(pbs)}); }
void __glContextWindowChanged(GLContext* gc) { Note(__func__, {U(gc)}); }
void __glContextDrawableGone(GLContext* gc) { Note(__func__, {U(gc)}); }
BOOL __glMakeLgiCurrent(GLContext* gc) {
    Note(__func__, {U(gc)});
    return TRUE;
}
LONG N_BindClipList(LONG cRects, const ULONG* pulRects) {
    Note(__func__, {static_cast<std::uintptr_t>(cRects)});
    gRecord.cClipRects = cRects;
    gRecord.clipRects.assign(pulRects, pulRects + 2 * static_cast<size_t>(cRects > 0 ? cRects : 0));
    return 1;
}
