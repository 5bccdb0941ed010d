// Rendering contexts of the system OpenGL library: each is the client
// driver's context (its DHGLRC) behind a handle of this library, owned by
// the logical process that made it and current on at most one thread.
#include <GL/gl.h>

#include <map>
#include <mutex>

#include "icd.h"
#include "platform/gdi.h"
#include "platform/process.h"

namespace vnx::opengl32 {
namespace {

struct Context {
    DHGLRC dhglrc = 0;
    DWORD pid = 0;            // the owner
    DWORD currentThread = 0;  // the thread it is current on, 0 when none
};

struct Contexts {
    std::mutex lock;
    std::map<std::uintptr_t, Context> byHandle;
    std::uintptr_t next = 1;  // handles are never 0 and never reused
};

// A swap presents what the commands before it drew: SwapBuffers flushes
// the calling thread's current context first (nothing without one), for as
// long as this library is loaded.
void vFlushBeforeSwap(HDC) { glFlush(); }
struct SwapFlush {
    SwapFlush() { vnx::gdi::set_swap_hook(vFlushBeforeSwap); }
    ~SwapFlush() { vnx::gdi::set_swap_hook(nullptr); }
} gSwapFlush;

Contexts& contexts() {
    static Contexts* c = new Contexts;
    return *c;
}

// The calling thread's current context and device context.
thread_local std::uintptr_t tCurrent = 0;
thread_local HDC tCurrentDC = nullptr;

std::uintptr_t uHandle(HGLRC hglrc) { return reinterpret_cast<std::uintptr_t>(hglrc); }

// The context of the calling process behind a handle (copied), or false.
bool bFind(HGLRC hglrc, Context* pc) {
    Contexts& c = contexts();
    std::lock_guard<std::mutex> g(c.lock);
    auto it = c.byHandle.find(uHandle(hglrc));
    if (it == c.byHandle.end() || it->second.pid != GetCurrentProcessId()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    *pc = it->second;
    return true;
}

void vSetCurrentThread(std::uintptr_t h, DWORD tid) {
    Contexts& c = contexts();
    std::lock_guard<std::mutex> g(c.lock);
    auto it = c.byHandle.find(h);
    if (it != c.byHandle.end()) it->second.currentThread = tid;
}

// The calling thread stops having a current context (the driver is told).
void vReleaseCurrent(const Driver* pd) {
    if (tCurrent == 0) return;
    Context ctx;
    {
        Contexts& c = contexts();
        std::lock_guard<std::mutex> g(c.lock);
        auto it = c.byHandle.find(tCurrent);
        if (it != c.byHandle.end()) {
            ctx = it->second;
            it->second.currentThread = 0;
        }
    }
    if (pd != nullptr && ctx.dhglrc != 0) pd->pfnReleaseContext(ctx.dhglrc);
    set_thread_table(nullptr);
    tCurrent = 0;
    tCurrentDC = nullptr;
}

HGLRC hNew(DHGLRC dhglrc) {
    if (dhglrc == 0) return nullptr;
    Contexts& c = contexts();
    std::lock_guard<std::mutex> g(c.lock);
    const std::uintptr_t h = c.next++;
    c.byHandle[h] = Context{dhglrc, GetCurrentProcessId(), 0};
    return reinterpret_cast<HGLRC>(h);
}

}  // namespace

void forget_thread_current() {
    if (tCurrent != 0) vSetCurrentThread(tCurrent, 0);
    set_thread_table(nullptr);
    tCurrent = 0;
    tCurrentDC = nullptr;
}

}  // namespace vnx::opengl32

using namespace vnx::opengl32;

extern "C" HGLRC wglCreateContext(HDC hdc) {
    const Driver* pd = load_driver(hdc);
    return pd != nullptr ? hNew(pd->pfnCreateContext(hdc)) : nullptr;
}

extern "C" HGLRC wglCreateLayerContext(HDC hdc, INT iLayerPlane) {
    const Driver* pd = load_driver(hdc);
    return pd != nullptr ? hNew(pd->pfnCreateLayerContext(hdc, iLayerPlane)) : nullptr;
}

extern "C" BOOL wglDeleteContext(HGLRC hglrc) {
    Context ctx;
    if (!bFind(hglrc, &ctx)) return FALSE;
    const DWORD tid = GetCurrentThreadId();
    if (ctx.currentThread != 0 && ctx.currentThread != tid) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const Driver* pd = attached_driver();
    if (pd == nullptr) return FALSE;
    // The driver lets go of the thread's binding itself.
    pd->pfnDeleteContext(ctx.dhglrc);
    if (tCurrent == uHandle(hglrc)) {
        set_thread_table(nullptr);
        tCurrent = 0;
        tCurrentDC = nullptr;
    }
    Contexts& c = contexts();
    std::lock_guard<std::mutex> g(c.lock);
    c.byHandle.erase(uHandle(hglrc));
    return TRUE;
}

extern "C" BOOL wglMakeCurrent(HDC hdc, HGLRC hglrc) {
    const Driver* pd = attached_driver();
    if (hglrc == nullptr) {
        vReleaseCurrent(pd);
        return TRUE;
    }
    Context ctx;
    if (!bFind(hglrc, &ctx)) return FALSE;
    const DWORD tid = GetCurrentThreadId();
    if (ctx.currentThread != 0 && ctx.currentThread != tid) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (pd == nullptr) return FALSE;
    if (tCurrent != 0 && tCurrent != uHandle(hglrc)) vReleaseCurrent(pd);
    const GLCLTPROCTABLE* pTable = pd->pfnSetContext(hdc, ctx.dhglrc, nullptr);
    if (pTable == nullptr || pTable->cEntries != static_cast<int>(GL_SLOT_COUNT)) {
        if (tCurrent != 0) vReleaseCurrent(pd);
        return FALSE;
    }
    set_thread_table(&pTable->glDispatchTable);
    tCurrent = uHandle(hglrc);
    tCurrentDC = hdc;
    vSetCurrentThread(tCurrent, tid);
    return TRUE;
}

extern "C" HGLRC wglGetCurrentContext(void) { return reinterpret_cast<HGLRC>(tCurrent); }

extern "C" HDC wglGetCurrentDC(void) { return tCurrentDC; }

extern "C" BOOL wglCopyContext(HGLRC hglrcSrc, HGLRC hglrcDst, UINT mask) {
    Context src, dst;
    if (!bFind(hglrcSrc, &src) || !bFind(hglrcDst, &dst)) return FALSE;
    const Driver* pd = attached_driver();
    return pd != nullptr && pd->pfnCopyContext(src.dhglrc, dst.dhglrc, mask);
}

extern "C" BOOL wglShareLists(HGLRC hglrc1, HGLRC hglrc2) {
    Context c1, c2;
    if (!bFind(hglrc1, &c1) || !bFind(hglrc2, &c2)) return FALSE;
    const Driver* pd = attached_driver();
    return pd != nullptr && pd->pfnShareLists(c1.dhglrc, c2.dhglrc);
}
