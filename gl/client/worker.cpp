// The flush worker: one thread per application thread that sends the
// hand-over of a filled half (GLCMD_WRAPSMREADPOINTER) while the
// application goes on writing the other half. It sleeps suspended while it
// has no work; the application thread gives it work by setting its work
// flag and resuming it until it has taken the work, and waits for it to be
// idle before anything else reaches the server, so at most one hand-over of
// a thread is in flight and nothing overtakes it.
#include "clt.h"

namespace {

void vFence() { std::atomic_thread_fence(std::memory_order_seq_cst); }

DWORD FlushWorkerMain(LPVOID pv) {
    auto* pfw = static_cast<FlushWorker*>(pv);
    pfw->idle = 1;
    vFence();
    while (pfw->keepRunning != 0) {
        vFence();
        if (pfw->work != 0) {
            vFence();
            pfw->work = 0;
            vFence();
            ExtEscape(pfw->hdc, OPENGL_CMD, sizeof pfw->request, reinterpret_cast<LPCSTR>(&pfw->request), 0,
                      nullptr);
            pfw->idle = 1;
            vFence();
        } else {
            vFence();
            // Its own handle names nothing once its process has ended: the
            // worker ends rather than wait for a hand-over that cannot come.
            if (SuspendThread(pfw->hThread) == static_cast<DWORD>(-1)) break;
        }
    }
    vFence();
    pfw->keepRunning = 1;  // the acknowledgement that it has left its loop
    vFence();
    pfw->ended = 1;
    return 0;
}

void vFillRequest(ThreadBlock* ptb, FlushWorker* pfw) {
    pfw->hdc = ptb->displayDC;
    pfw->request.hdr = OPENGLCMD{GLCMD_WRAPSMREADPOINTER, 0, 0, 0};
    pfw->request.ulProcessId = GetCurrentProcessId();
    pfw->request.segmentId = ptb->segmentId;
}

bool bThreadRuns(FlushWorker* pfw) {
    DWORD code = 0;
    return pfw->hThread != nullptr && GetExitCodeThread(pfw->hThread, &code) && code == STILL_ACTIVE;
}

}  // namespace

FlushWorker* WaitFlushWorker(ThreadBlock* ptb) {
    FlushWorker* pfw = ptb->worker;
    if (pfw == nullptr) {
        if (ptb->segment == nullptr) return nullptr;
        pfw = static_cast<FlushWorker*>(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, sizeof(FlushWorker)));
        if (pfw == nullptr) return nullptr;
        pfw->idle = 0;
        pfw->keepRunning = 1;
        pfw->work = 0;
        vFence();
        pfw->request.halfOffset = (ptb->segment->cjTotal - sizeof(SMSegmentHeader)) / 2 + sizeof(SMSegmentHeader);
        pfw->request.toggle = pfw->request.halfOffset;
        // Started suspended, so that it knows its own handle before it
        // first suspends itself.
        pfw->hThread = CreateThread(nullptr, 0, FlushWorkerMain, pfw, CREATE_SUSPENDED, &pfw->threadId);
        if (pfw->hThread == nullptr) {
            // No thread: the application thread sends each hand-over itself.
            pfw->synchronous = TRUE;
            pfw->idle = 1;
        } else {
            ResumeThread(pfw->hThread);
        }
        ptb->worker = pfw;
    }
    vFence();
    while (pfw->idle == 0) {
        Sleep(0);
        vFence();
    }
    return pfw;
}

void vStartHandOver(ThreadBlock* ptb, FlushWorker* pfw) {
    vFillRequest(ptb, pfw);
    if (pfw->synchronous) {
        ExtEscape(pfw->hdc, OPENGL_CMD, sizeof pfw->request, reinterpret_cast<LPCSTR>(&pfw->request), 0, nullptr);
        return;
    }
    pfw->idle = 0;
    vFence();
    pfw->work = 1;
    vFence();
    for (;;) {
        const DWORD previous = ResumeThread(pfw->hThread);
        if ((previous == 0 || previous == 1) && pfw->work == 0) break;
        if (previous == static_cast<DWORD>(-1)) {
            // The thread is gone (its process ended): nobody takes the work.
            pfw->work = 0;
            pfw->idle = 1;
            break;
        }
        vFence();
        Sleep(0);
        vFence();
    }
}

void StopFlushWorker(ThreadBlock* ptb) {
    FlushWorker* pfw = ptb->worker;
    if (pfw == nullptr) return;
    pfw->request.toggle ^= pfw->request.halfOffset;
    if (pfw->request.toggle != 0 && ptb->half != nullptr)
        ptb->half = reinterpret_cast<SMSegmentHeader*>(reinterpret_cast<BYTE*>(ptb->half) - pfw->request.halfOffset);
    if (bThreadRuns(pfw)) {
        vFence();
        while (pfw->idle == 0) {
            Sleep(0);
            vFence();
        }
        pfw->keepRunning = 0;
        vFence();
        while (pfw->keepRunning == 0 && bThreadRuns(pfw)) {
            ResumeThread(pfw->hThread);
            Sleep(0);
            vFence();
        }
        // The worker has acknowledged; wait for its thread to end, so that
        // nothing of it outlives the record.
        if (pfw->hThread != nullptr) WaitForSingleObject(pfw->hThread, INFINITE);
    }
    if (pfw->hThread != nullptr) CloseHandle(pfw->hThread);
    LocalFree(pfw);
    ptb->worker = nullptr;
}
