// The GL server's own records and the functions its files share: the
// per-thread client record GLClient, the device record, the request
// floating-point mode, and the steps of start-up and shut-down.
//
// Everything here runs on the graphics engine's serving thread of the
// calling application thread, inside the display driver's csEscape.
#pragma once

#include <bit>
#include <cfenv>

#include "glhookslots.h"
#include "lgi/lgigl.h"
#include "platform/ddi.h"
#include "platform/kernel.h"

struct GLContext;  // a rendering context (contexts)

// The mapping of a thread's request segment: the section as the client
// announced it, the server's duplicate of its handle and the server's view.
struct SMMapping {
    ULONG cjSection;  // section size in bytes
    HANDLE hSection;  // the server's handle of the section
    BYTE* pjView;     // the server's view of the whole section
};

// One per serving thread, kept in the server's thread-local slot; made
// whole-zero. The first six fields are the record's words as the request
// decoders use them; the rest is the server's bookkeeping.
struct GLClient {
    GLContext* gc;         // 0 the current context, or null
    SMMapping* pMapping;   // 1 the request segment's mapping, or null
    BYTE* pHeader;         // 2 the header of the half read next (inside the mapping)
    HANDLE hProcess;       // 3 the application's process, taken when the segment is mapped
    ULONG sequenceNumber;  // 4 copied into every single reply
    ULONG errorDetail;     // 5 the render-stream decoder's error detail
    ULONG hClient;         // its handle: the segment id the client names it by
    HANDLE hOwner;         // the process it serves (EngGetProcessHandle at creation)
    ULONG cjLarge;         // while a large render command runs: its length in bytes
};

// --- debug output ----------------------------------------------------------------
// Formats into a 100-byte buffer (longer text is cut) and hands it to
// OutputDebugStringA.
void __glXDebugPrint(const char* pszFormat, ...) __attribute__((format(printf, 1, 2)));

// --- the library entry (entry.cpp) -----------------------------------------------------
// Reasons of InitGLSrvDll.
#define GLSRV_PROCESS_DETACH 0u
#define GLSRV_PROCESS_ATTACH 1u
#define GLSRV_THREAD_ATTACH 2u
#define GLSRV_THREAD_DETACH 3u

extern "C" {
// The library entry: 1 on success, 0 on failure (and for an unknown reason).
VNX_EXPORT BOOL InitGLSrvDll(HMODULE hModule, ULONG ulReason, PVOID pvReserved);
// Writes the device's six hook slots and starts the server; answers 1.
VNX_EXPORT ULONG DrvEnableEscape(ULONG iVersion, PDEV* ppdev);
}

// Guards the device buffer list.
extern CRITICAL_SECTION gcsBufferList;

// --- the server lock ------------------------------------------------------------------
// Every request runs under the display driver's escape lock (csEscape) of the
// device the server started on: it guards the server's clients, contexts,
// drawables and the lgi layer's current context. Whatever changes them
// outside a request takes it too: a context's clean-up when its process
// ends, a client thread's end, the window callbacks.
//
// Lock order, for window objects and their readers: the engine's window
// change lock first, then the escape lock. The engine rewrites window
// objects and calls their callbacks under its change lock, and holds it
// around every escape, pixel-format call and swap it passes to the driver
// and around the clean-up of an ended process's driver objects; the window
// callbacks and those calls take the escape lock inside it. So the server
// and the swap code, reading a window object under the escape lock, never
// see it rewritten. The server never takes the change lock itself (its
// window-object calls take only the engine's short inner lock).
//
// The escape lock of the server's first device, or null before
// DrvEnableEscape.
CRITICAL_SECTION* pcsServerLock();
// Holds the server lock for its scope (nothing when there is none).
class ServerLock {
  public:
    ServerLock() : pcs_(pcsServerLock()) {
        if (pcs_ != nullptr) EnterCriticalSection(pcs_);
    }
    explicit ServerLock(CRITICAL_SECTION* pcs) : pcs_(pcs) {
        if (pcs_ != nullptr) EnterCriticalSection(pcs_);
    }
    ~ServerLock() {
        if (pcs_ != nullptr) LeaveCriticalSection(pcs_);
    }
    ServerLock(const ServerLock&) = delete;
    ServerLock& operator=(const ServerLock&) = delete;

  private:
    CRITICAL_SECTION* pcs_;
};

// --- clients and handles (client.cpp) -------------------------------------------------
// The thread-local slot of the serving thread's GLClient; TLS_OUT_OF_INDEXES
// while the server is not attached.
extern DWORD gdwTlsIndex;
// Makes the calling thread's GLClient (a GLClient the slot held for another
// process goes first): TRUE, or FALSE with "Could not alloc client
// structure".
BOOL bThreadAttach();
// Frees the calling thread's GLClient, if any, and clears the slot.
void vThreadDetach();
// The fiber-local slot whose value (the thread's GLClient) the thread's end
// hands to vClientThreadEnded; FLS_OUT_OF_INDEXES while not attached.
extern DWORD gdwFlsIndex;
// A client thread ended without THREADDETACH: its GLClient and the view of
// its segment go, under the server lock.
void vClientThreadEnded(PVOID pvClient);
// Frees every GLClient and every context still alive (shut-down).
void vFreeAllClientsAndContexts();
// The calling thread's GLClient when it serves the calling process, else
// null.
GLClient* pgcCurrent();
// The calling thread's GLClient, made first (thread attach) when the thread
// has none for the calling process; null when it cannot be made.
GLClient* pgcCurrentOrNew();
// For a request that makes the thread's GLClient when it has none for the
// calling process but may be refused: the record the request works on. A
// record made here stands in the thread's slot while the request runs;
// the record the slot held before (another process's) stays until
// vClientAttachDone says the request was done, and comes back in place of
// the new one when it was refused, so that a refused request changes
// nothing of it. A thread that held no record keeps the new one.
struct GLClientAttach {
    GLClient* pgc;        // the record the request works on, or null
    GLClient* pgcBefore;  // the slot's record before a new one was made
    BOOL bNew;            // pgc was made for this request
};
GLClientAttach ClientAttachBegin();
void vClientAttachDone(const GLClientAttach& a, BOOL bDone);
// The GLClient that a segment id names, when it serves the calling process.
GLClient* pgcFromHandle(ULONG hClient);
// The context that a dhrc names, when it belongs to the calling process.
GLContext* pgcContextFromHandle(ULONG dhrc);
// Hands out a dhrc for a new context of the calling process; 0 when the
// table is full. A context's handle goes when the context is freed.
ULONG ulRegisterContext(GLContext* gc);
// The handle of a context; 0 when it has none.
ULONG ulContextHandle(const GLContext* gc);
void vUnregisterContext(GLContext* gc);
// Whether the context still has its handle (it is freed with it).
BOOL bContextRegistered(const GLContext* gc);
// Unmaps a client's request segment and frees its mapping record.
void vUnmapSegment(GLClient* pgc);

// --- the request floating-point mode (fpu.cpp) ----------------------------------------
// The x87 control word requests run under: of the high byte only the
// rounding control stays (precision 24 bits, infinity control cleared), all
// six exceptions masked, the other low bits kept.
USHORT usRequestControlWord(USHORT usControlWord);

// Runs the request of its scope in the request mode: pending exceptions
// cleared, every floating-point exception masked (x87 and SSE), x87
// precision as usRequestControlWord says; the caller's mode comes back, with
// no exception pending, at the end of the scope. Results never depend on
// the precision part: code that needs single precision converts explicitly.
class FpuRequestMode {
  public:
    FpuRequestMode();
    ~FpuRequestMode();
    FpuRequestMode(const FpuRequestMode&) = delete;
    FpuRequestMode& operator=(const FpuRequestMode&) = delete;

  private:
    std::fenv_t env_;
};

// --- the hooks (command.cpp, getinfo.cpp) ---------------------------------------------
ULONG ulOpenGLCmd(SURFOBJ* pso, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut);
ULONG ulOpenGLGetInfo(SURFOBJ* pso, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut);
