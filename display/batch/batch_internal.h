// Records of the batched command interpreter, shared by its files.
#pragma once

#include <cstdint>

#include "batch/batch.h"
#include "mcdbatch.h"
#include "platform/engine.h"

struct BATCHFRAME;
struct BATCHRC;

// An operation of command 4 on a context: TRUE when done.
typedef BOOL (*PFN_RCOP)(BATCHFRAME* pbf, BATCHRC* prc);

// A rectangle list: a count, then the rectangles (the layout of ENUMRECTS).
typedef ENUMRECTS RECTLIST;

// The room of the window record's built-in lists: clip and visible list of
// 20 rectangles each (two halves of 324 bytes).
#define BUILTIN_RECTS 20
#define CJ_RECTLIST(c) (sizeof(ULONG) + (c) * sizeof(RECTL))
#define CJ_BUILTIN (2 * CJ_RECTLIST(BUILTIN_RECTS))
static_assert(CJ_BUILTIN == 648);

// A rendering context made by an inline create command.
struct BATCHRC {
    ULONG hwnd;              // the window it was made for
    ULONG iPixelFormat;
    ULONG fScissor;          // scissor enabled
    LONG xScissor, yScissor, cxScissor, cyScissor;  // window-relative
    ULONG fBackBuffer;       // 0: none is ever made
    ULONG fDepthBuffer;      // 0: none is ever made
    PFN_RCOP apfnOp[7];      // command 4 operations 1..7
    ULONG aulDefaults[11];   // set at creation, read by no command
};

// The driver object's record of a context: the node in its window's list.
struct RCNODE {
    HDRVOBJ hrc;             // the context's handle
    ULONG fl;
    RCNODE* pNext;
    BATCHRC* prc;
    HDRVOBJ hobj;            // the driver object (the same handle)
    ULONG cjRc;              // size of the context record
};

// A section of a client mapped into the driver (process set-up).
#define SHMEM_KIND_SECTION 1
struct SHMEMOBJ {
    ULONG ulReserved;
    ULONG iKind;             // SHMEM_KIND_SECTION
    HDRVOBJ hobj;
    BYTE* pjViewBase;
    BYTE* pjViewEnd;         // base + size
    ULONG ulClientBase;      // the view's address in the client
    ULONG cjSize;
    HANDLE hSection;         // the duplicated section handle
};

// The driver's record of a window: the window object's consumer.
struct WNDTRACK {
    RCNODE* prcnodeHead;     // contexts made for the window
    WNDOBJ* pwo;
    ULONG hwnd;
    RECTL rclClient;         // screen coordinates
    RECTLIST* prlClip;       // the client region
    RECTLIST* prlVisible;    // the client region under the current scissor
    BYTE ajBuiltIn[CJ_BUILTIN];
    BYTE* pjHeap;            // lists too large for the built-in room
    ULONG cjHeap;
    PDEV* ppdev;
};

// The interpreter's state over one batch.
struct BATCHFRAME {
    const BATCHHDR* phdr;
    const BYTE* pjRead;
    const BYTE* pjEnd;
    BYTE* pjReply;           // the escape's output
    ULONG cjReply;
    BATCHRC* prc;            // the current context (named by hrc)
    ULONG ok;                // the escape's answer
    WNDTRACK* pwt;
    WNDOBJ* pwo;
    SURFOBJ* pso;
    PDEV* ppdev;
};

// --- objects (batch_objects.cpp) ---------------------------------------------------
// Inline commands: the new handle, or 0.
ULONG ulSetUp(BATCHFRAME* pbf, const ULONG* pul);
ULONG ulCreateContext(BATCHFRAME* pbf, const ULONG* pul);
// The calling process's section behind a handle, locked (unlock with
// EngUnlockDriverObj); null when the handle names no section of it.
SHMEMOBJ* pshmLockSection(HDRVOBJ h);
// The calling process's context behind a handle; null otherwise.
RCNODE* pnodeFindContext(HDRVOBJ h);
// Where the client's [ulAddr, + cj) lies in the mapped view; null when any
// of it lies outside.
BYTE* pjClientRange(const SHMEMOBJ* pshm, ULONG ulAddr, ULONG cj);
// Deletes the contexts of a window, every one whose handle is h (or all
// when h is 0); answers how many.
ULONG cDeleteContexts(WNDTRACK* pwt, HDRVOBJ h);

// --- windows (batch_window.cpp) ------------------------------------------------------
// The driver's record of the calling process's window, made when missing
// (with its window object); null on failure or for a window that is not
// the caller's.
WNDTRACK* pwtWindowFor(SURFOBJ* pso, PDEV* ppdev, ULONG hwnd, BOOL bMake);
// Frees the record and forgets its window object.
void vFreeWindow(WNDTRACK* pwt);
// The visible list: the clip list under the context's scissor (none: the
// clip list itself).
void vComputeVisible(WNDTRACK* pwt, const BATCHRC* prc);

// --- device registry (batch_objects.cpp) -----------------------------------------------
// Window records and section handles of each device, for its disable.
void vRegisterWindow(PDEV* ppdev, WNDTRACK* pwt);
void vForgetWindow(PDEV* ppdev, WNDTRACK* pwt);
BOOL bKnownWindow(PDEV* ppdev, const WNDTRACK* pwt);
// Runs fn on each window record of the device.
void vEachWindow(PDEV* ppdev, void (*pfn)(WNDTRACK* pwt, void* pv), void* pv);

// --- commands (batch_commands.cpp) ------------------------------------------------------
// Runs the batch's records from pbf->pjRead on; sets pbf->ok.
void vRunBatch(BATCHFRAME* pbf);
