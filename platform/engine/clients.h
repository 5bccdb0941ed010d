// Calls that reach a display driver on behalf of a client process: the
// device contexts of gdi find their device here, and mark the call with the
// process it serves so that EngGetProcessHandle can answer it.
#pragma once

#include "platform/ddi.h"

namespace vnx::engine {

// The display: the first engine device whose driver has an enabled device;
// null when there is none.
HDEV display_device();

// What a call into the driver of `hdev` needs: its device, its primary
// surface (null while the surface is not enabled) and the entry `iFunc` of
// its function table (null when the driver gave none). False when the device
// is gone or not enabled.
bool call_target(HDEV hdev, ULONG iFunc, DHPDEV* pdhpdev, SURFOBJ** ppso, PFN* ppfn);

// For the life of the object the calling thread runs driver code for the
// client process `pid`: it acts for the server process (where the drivers
// live), and EngGetProcessHandle answers `pid`. Nests.
class ClientCall {
  public:
    explicit ClientCall(DWORD pid);
    ~ClientCall();
    ClientCall(const ClientCall&) = delete;
    ClientCall& operator=(const ClientCall&) = delete;

  private:
    DWORD previousCaller_;
    DWORD previousProcess_;
};

// The process the calling thread's driver call serves: the client of the
// innermost ClientCall, else the logical process the thread acts for.
DWORD calling_process();

}  // namespace vnx::engine
