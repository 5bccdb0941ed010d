// The simulated machine and its video miniport.
//
// A Machine is one computer with one or two Vornix boards: the board model
// (platform/board.h), the DMA memory and the video miniport that keeps the
// board configuration. Its miniport handle is what the graphics engine passes
// to the display driver as hDriver; the driver talks to the miniport with
// EngDeviceIoControl on that handle (requests and records in
// miniport_ioctl.h) and to the board through the register windows it gets
// from the miniport (platform/mmio.h).
//
//     vnx::miniport::MachineConfig cfg;      // defaults: one Vornix Solo
//     cfg.rasterizers = 4;                   // a Vornix Quad
//     vnx::miniport::Machine machine(cfg);
//     HANDLE hDriver = machine.handle();
//
// Every request asks vnx::faults::should_fail with the request's name
// ("IOCTL_VIDEO_SET_CURRENT_MODE", "IOCTL_VNX_QUEUE_SETUP", ...) before it is
// carried out, and then answers ERROR_GEN_FAILURE.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "boardconfig.h"
#include "miniport_ioctl.h"
#include "platform/export.h"
#include "platform/kernel.h"

// Answers of EngDeviceIoControl besides ERROR_SUCCESS (0) and the codes of
// platform/kernel.h (ERROR_INVALID_HANDLE, ERROR_INVALID_PARAMETER,
// ERROR_INSUFFICIENT_BUFFER).
#ifndef ERROR_INVALID_FUNCTION
#define ERROR_INVALID_FUNCTION 1u   // unknown request code
#endif
#ifndef ERROR_GEN_FAILURE
#define ERROR_GEN_FAILURE 31u       // the request failed (injected failures)
#endif
#ifndef ERROR_NOT_SUPPORTED
#define ERROR_NOT_SUPPORTED 50u     // a request this miniport does not serve yet
#endif

extern "C" {

// Sends request dwIoControlCode to the miniport behind hDevice. The input
// must hold what the request reads and the output what it writes (each
// request's exact sizes are listed in miniport_ioctl.h); *pcbReturned (when
// given) receives the bytes written to the output. Answers ERROR_SUCCESS or
// an error code, and writes nothing on error.
VNX_PLATFORM_API DWORD EngDeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                                          DWORD nInBufferSize, LPVOID lpOutBuffer,
                                          DWORD nOutBufferSize, LPDWORD pcbReturned);

}  // extern "C"

namespace vnx::board {
class Board;
}

namespace vnx::miniport {

// One display mode the miniport offers (becomes a VIDEO_MODE_INFORMATION;
// the mode index is its position in the list).
struct ModeSpec {
    ULONG width = 0;
    ULONG height = 0;
    ULONG planes = 1;
    ULONG bitsPerPlane = 8;
    ULONG frequency = 60;
    ULONG attributes = 0;     // VIDEO_MODE_INTERLACED, VIDEO_MODE_NO_OFFSCREEN
    ULONG xMillimeter = 320;
    ULONG yMillimeter = 240;
    bool usable = true;       // false: reported with Length 0
};

// 640x480, 800x600, 1024x768 and 1280x1024 at 8, 16 and 32 bits a pixel
// and 60 Hz, with 72 and 75 Hz forms of 1024x768, in that order.
VNX_PLATFORM_API std::vector<ModeSpec> default_modes();

// The record the miniport keeps until the first write: offscreen bitmaps,
// double buffer, 16-bit depth, performance textures, everything else 0.
VNX_PLATFORM_API BoardConfig default_board_config();

// "Vornix Solo", "Vornix Duo", "Vornix Quad" for 1, 2, 4 rasterizers.
VNX_PLATFORM_API const char* board_model_name(int rasterizers);

struct MachineConfig {
    int rasterizers = 1;          // per board: 1, 2 or 4
    int boards = 1;               // 1 or 2 (two screens side by side with BCF_DUAL_MONITOR)
    int memoryClass = 1;          // 0, 1, 2: pages of 64, 128, 256 KB
    int xMultiplierCode = 0;      // 0..3: page width x1, x2, x4, x4
    int yMultiplierCode = 0;      // 0..3: page height likewise
    bool stereo = false;          // the tile-ownership register's stereo bit
    bool threeD = true;           // second word of access range 0
    UCHAR status = 0;             // status byte of the DMA description
    ULONG dmaBytes = 0x100000;    // DMA buffer (multiple of 4096, at least 64 KB)
    bool twoStagingBuffers = false;
    std::vector<ModeSpec> modes = default_modes();
    BoardConfig boardConfig = default_board_config();
    // Reads of a configuration register that still answer busy after the
    // rasterizer took new words (0: the work is done when the write-pointer
    // write returns).
    int busyReads = 0;
    // RAMDAC data reads between two vertical retraces that happen on their
    // own (0: retrace only when a test calls Board::vertical_retrace).
    int ramdacReadsPerFrame = 4;
};

// Checks a configuration; answers "" or what is wrong with it.
VNX_PLATFORM_API std::string check_config(const MachineConfig& config);

// The miniport's view of its state, for tests and tools.
struct MiniportState {
    LONG currentMode = -1;        // mode index set last, -1 after reset / at start
    bool rangesMapped = false;    // register windows handed out and not freed
    bool queuesSetUp = false;     // IOCTL_VNX_QUEUE_SETUP answered, not released
    ULONG resets = 0;             // IOCTL_VIDEO_RESET_DEVICE calls served
    ULONG colorRegisterLoads = 0; // IOCTL_VIDEO_SET_COLOR_REGISTERS calls served
    ULONG pinnedBatches = 0;      // display-list batches pinned and not released
    ULONG batchPins = 0;          // IOCTL_VNX_PIN_DL_BATCH calls served
    ULONG batchReleases = 0;      // IOCTL_VNX_UNPIN_DL_BATCH calls served
};

class VNX_PLATFORM_API Machine {
public:
    // Throws std::invalid_argument when check_config finds a fault.
    explicit Machine(const MachineConfig& config = MachineConfig());
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // The miniport handle (hDriver); valid while the Machine lives.
    HANDLE handle() const;
    const MachineConfig& config() const;
    // The board model: every board's rasterizers, RAMDACs and memory.
    vnx::board::Board& board();

    // The board configuration the miniport keeps (as the last write left it).
    BoardConfig board_config() const;
    void set_board_config(const BoardConfig& config);
    MiniportState state() const;
    // Colour register i as last loaded (red in the low byte).
    ULONG color_register(ULONG index) const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace vnx::miniport
