// The miniport's requests: EngDeviceIoControl and one table row per request
// code, with the input and output each needs, its fault point and its
// handler.
#include <cstring>

#include "miniport_impl.h"
#include "platform/faults.h"
#include "platform/mmio.h"

namespace vnx::miniport {

namespace {

struct Request {
    Machine::Impl& m;
    const BYTE* in;
    DWORD cbIn;
    BYTE* out;
    DWORD cbOut;
    DWORD returned = 0;

    template <typename T>
    T input() const {
        T value;
        std::memcpy(&value, in, sizeof value);
        return value;
    }
    template <typename T>
    void output(const T& value, DWORD offset = 0) {
        std::memcpy(out + offset, &value, sizeof value);
        returned = offset + sizeof value;
    }
};

using Handler = DWORD (*)(Request&);

struct RequestRow {
    DWORD code;
    const char* name;  // also the fault point
    DWORD minIn;       // bytes the input must hold
    DWORD minOut;      // bytes the output must hold
    Handler handler;   // runs with the machine's miniport state locked
};

VIDEO_MODE_INFORMATION mode_record(const ModeSpec& s, ULONG index) {
    VIDEO_MODE_INFORMATION m{};
    m.Length = s.usable ? sizeof m : 0;
    m.ModeIndex = index;
    m.VisScreenWidth = s.width;
    m.VisScreenHeight = s.height;
    m.ScreenStride = s.width * ((s.planes * s.bitsPerPlane + 7) / 8);
    m.NumberOfPlanes = s.planes;
    m.BitsPerPlane = s.bitsPerPlane;
    m.Frequency = s.frequency;
    m.XMillimeter = s.xMillimeter;
    m.YMillimeter = s.yMillimeter;
    m.AttributeFlags = s.attributes;
    return m;
}

DWORD query_avail_modes(Request& r) {
    const auto& modes = r.m.config.modes;
    const std::size_t need = modes.size() * sizeof(VIDEO_MODE_INFORMATION);
    if (r.cbOut < need || (need != 0 && r.out == nullptr)) return ERROR_INSUFFICIENT_BUFFER;
    for (std::size_t i = 0; i < modes.size(); ++i) {
        r.output(mode_record(modes[i], static_cast<ULONG>(i)),
                 static_cast<DWORD>(i * sizeof(VIDEO_MODE_INFORMATION)));
    }
    r.returned = static_cast<DWORD>(need);
    return ERROR_SUCCESS;
}

DWORD query_num_modes(Request& r) {
    r.output(VIDEO_NUM_MODES{static_cast<std::uint32_t>(r.m.config.modes.size()),
                             sizeof(VIDEO_MODE_INFORMATION)});
    return ERROR_SUCCESS;
}

DWORD set_current_mode(Request& r) {
    const ULONG index = r.input<VIDEO_MODE>().RequestedMode;
    const auto& modes = r.m.config.modes;
    if (index >= modes.size() || !modes[index].usable) return ERROR_INVALID_PARAMETER;
    r.m.state.currentMode = static_cast<LONG>(index);
    return ERROR_SUCCESS;
}

DWORD reset_device(Request& r) {
    r.m.state.currentMode = -1;
    ++r.m.state.resets;
    return ERROR_SUCCESS;
}

DWORD set_color_registers(Request& r) {
    const auto count = r.input<std::uint16_t>();
    std::uint16_t first;
    std::memcpy(&first, r.in + 2, sizeof first);
    if (count == 0 || first + count > VIDEO_MAX_COLOR_REGISTER ||
        r.cbIn < VIDEO_CLUT_HEADER_SIZE + 4u * count) {
        return ERROR_INVALID_PARAMETER;
    }
    auto& board = r.m.board;
    for (int b = 0; b < board.boards(); ++b) {
        for (ULONG i = 0; i < count; ++i) {
            std::uint32_t rgb;
            std::memcpy(&rgb, r.in + VIDEO_CLUT_HEADER_SIZE + 4 * i, sizeof rgb);
            board.set_color_register(b, first + i, rgb);
        }
    }
    ++r.m.state.colorRegisterLoads;
    return ERROR_SUCCESS;
}

DWORD query_access_ranges(Request& r) {
    auto& board = r.m.board;
    for (ULONG i = 0; i < VNX_ACCESS_RANGES; ++i) {
        VIDEO_PUBLIC_ACCESS_RANGES range{};
        range.MappedInIoSpace = (i == 0 && r.m.config.threeD) ? 1 : 0;
        range.VirtualAddress = board.window(static_cast<int>(i));  // null past the last one
        r.output(range, i * sizeof range);
    }
    board.set_windows_mapped(true);
    r.m.state.rangesMapped = true;
    return ERROR_SUCCESS;
}

DWORD free_access_ranges(Request& r) {
    const auto range = r.input<VIDEO_PUBLIC_ACCESS_RANGES>();
    if (!r.m.state.rangesMapped || range.VirtualAddress != r.m.board.window(0))
        return ERROR_INVALID_PARAMETER;
    r.m.board.set_windows_mapped(false);
    r.m.state.rangesMapped = false;
    return ERROR_SUCCESS;
}

VNX_DMA_DESCRIPTION dma_description(Machine::Impl& m) {
    VNX_DMA_DESCRIPTION d{};
    d.ulRasterizers = static_cast<std::uint32_t>(m.board.rasterizers());
    d.ulBoards = static_cast<std::uint32_t>(m.board.boards());
    d.pvDmaBase = m.board.dma_base();
    d.ulDmaBus = m.board.dma_bus();
    d.cjDmaBuffer = m.board.dma_bytes();
    d.ulStaging0Bus = m.board.staging_bus(0);
    d.ulStaging1Bus = m.board.staging_bus(1);
    d.bTwoStagingBuffers = m.config.twoStagingBuffers ? 1 : 0;
    d.jStatus = m.config.status;
    return d;
}

DWORD queue_setup(Request& r) {
    // The input is the size of the driver's queue record; the miniport does
    // not depend on it but refuses 0.
    if (r.input<std::uint32_t>() == 0) return ERROR_INVALID_PARAMETER;
    r.output(dma_description(r.m));
    r.m.state.queuesSetUp = true;
    return ERROR_SUCCESS;
}

DWORD queue_release(Request& r) {
    const auto d = r.input<VNX_DMA_DESCRIPTION>();
    if (!r.m.state.queuesSetUp || d.pvDmaBase != r.m.board.dma_base() ||
        d.ulDmaBus != r.m.board.dma_bus()) {
        return ERROR_INVALID_PARAMETER;
    }
    r.m.state.queuesSetUp = false;
    return ERROR_SUCCESS;
}

// Display-list batch storage: the miniport keeps a pinned batch's storage
// in place until its item comes back. A batch of no bytes is refused, and
// at most VNX_PINNED_BATCHES_MAX are held at once.
DWORD pin_batch(Request& r) {
    const auto in = r.input<VNX_DL_BATCH>();
    auto& m = r.m;
    if (in.cjBatch == 0) return ERROR_INVALID_PARAMETER;
    if (m.pinned.size() >= VNX_PINNED_BATCHES_MAX) return ERROR_NOT_ENOUGH_MEMORY;
    while (m.nextPin == 0 || m.pinned.count(m.nextPin) != 0) ++m.nextPin;
    const VNX_DL_PIN_ITEM item{m.nextPin++, in.ulBatch, in.cjBatch};
    m.pinned[item.ulPin] = item;
    r.output(item);
    m.state.pinnedBatches = static_cast<ULONG>(m.pinned.size());
    ++m.state.batchPins;
    return ERROR_SUCCESS;
}

// Only an item the miniport gave and has not had back is taken.
DWORD release_batch(Request& r) {
    const auto item = r.input<VNX_DL_PIN_ITEM>();
    auto& m = r.m;
    const auto it = m.pinned.find(item.ulPin);
    if (it == m.pinned.end() || it->second.ulBatch != item.ulBatch || it->second.cjBatch != item.cjBatch)
        return ERROR_INVALID_PARAMETER;
    m.pinned.erase(it);
    m.state.pinnedBatches = static_cast<ULONG>(m.pinned.size());
    ++m.state.batchReleases;
    return ERROR_SUCCESS;
}

bool depth_ok(std::uint32_t bits) { return bits == 0 || bits == 16 || bits == 24; }

DWORD write_board_config(Request& r) {
    const auto c = r.input<BoardConfig>();
    // The record comes from applications through the driver: keep only
    // values the boards can take.
    if (c.stereoMode > 18 || c.textureMode > TEXMODE_NOHARDWARE || !depth_ok(c.currentZDepth) ||
        !depth_ok(c.zDepth)) {
        return ERROR_INVALID_PARAMETER;
    }
    r.m.boardConfig = c;
    return ERROR_SUCCESS;
}

// The record as kept, with the fields the miniport knows filled in: the
// board's shape and memory, and the current mode's size, depth and refresh.
DWORD read_board_config(Request& r) {
    BoardConfig c = r.m.boardConfig;
    const MachineConfig& cfg = r.m.config;
    c.rasterizers = static_cast<std::uint32_t>(cfg.rasterizers);
    c.boardCount = static_cast<std::uint32_t>(cfg.boards);
    const std::uint64_t page = (std::uint64_t{0x10000} << cfg.memoryClass) *
                               (cfg.xMultiplierCode == 0 ? 1 : cfg.xMultiplierCode == 1 ? 2 : 4) *
                               (cfg.yMultiplierCode == 0 ? 1 : cfg.yMultiplierCode == 1 ? 2 : 4);
    c.totalMemoryKB = static_cast<std::uint32_t>(page * VNX_PAGE_SLOTS * cfg.rasterizers / 1024);
    if (r.m.state.currentMode >= 0) {
        const ModeSpec& mode = cfg.modes[static_cast<std::size_t>(r.m.state.currentMode)];
        c.screenWidth = mode.width;
        c.screenHeight = mode.height;
        c.bitsPerPixel = mode.planes * mode.bitsPerPlane;
        c.refreshRate = mode.frequency;
    }
    r.output(c);
    return ERROR_SUCCESS;
}

DWORD board_count(Request& r) {
    r.output(static_cast<std::uint32_t>(r.m.config.boards));
    return ERROR_SUCCESS;
}

const RequestRow kRequests[] = {
    {IOCTL_VIDEO_QUERY_AVAIL_MODES, "IOCTL_VIDEO_QUERY_AVAIL_MODES", 0, 0, query_avail_modes},
    {IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, "IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES", 0,
     sizeof(VIDEO_NUM_MODES), query_num_modes},
    {IOCTL_VIDEO_SET_CURRENT_MODE, "IOCTL_VIDEO_SET_CURRENT_MODE", sizeof(VIDEO_MODE), 0,
     set_current_mode},
    {IOCTL_VIDEO_RESET_DEVICE, "IOCTL_VIDEO_RESET_DEVICE", 0, 0, reset_device},
    {IOCTL_VIDEO_SET_COLOR_REGISTERS, "IOCTL_VIDEO_SET_COLOR_REGISTERS", VIDEO_CLUT_HEADER_SIZE + 4,
     0, set_color_registers},
    {IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES, "IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES", 0,
     VNX_ACCESS_RANGES * sizeof(VIDEO_PUBLIC_ACCESS_RANGES), query_access_ranges},
    {IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES, "IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES",
     sizeof(VIDEO_PUBLIC_ACCESS_RANGES), 0, free_access_ranges},
    {IOCTL_VNX_QUEUE_SETUP, "IOCTL_VNX_QUEUE_SETUP", sizeof(std::uint32_t),
     sizeof(VNX_DMA_DESCRIPTION), queue_setup},
    {IOCTL_VNX_QUEUE_RELEASE, "IOCTL_VNX_QUEUE_RELEASE", sizeof(VNX_DMA_DESCRIPTION), 0,
     queue_release},
    {IOCTL_VNX_PIN_DL_BATCH, "IOCTL_VNX_PIN_DL_BATCH", sizeof(VNX_DL_BATCH), sizeof(VNX_DL_PIN_ITEM),
     pin_batch},
    {IOCTL_VNX_UNPIN_DL_BATCH, "IOCTL_VNX_UNPIN_DL_BATCH", sizeof(VNX_DL_PIN_ITEM), 0, release_batch},
    {IOCTL_VNX_WRITE_BOARDCONFIG, "IOCTL_VNX_WRITE_BOARDCONFIG", sizeof(BoardConfig), 0,
     write_board_config},
    {IOCTL_VNX_READ_BOARDCONFIG, "IOCTL_VNX_READ_BOARDCONFIG", 0, sizeof(BoardConfig),
     read_board_config},
    {IOCTL_VNX_BOARD_COUNT, "IOCTL_VNX_BOARD_COUNT", 0, sizeof(std::uint32_t), board_count},
};

}  // namespace

}  // namespace vnx::miniport

extern "C" DWORD EngDeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                                    DWORD nInBufferSize, LPVOID lpOutBuffer, DWORD nOutBufferSize,
                                    LPDWORD pcbReturned) {
    using namespace vnx::miniport;
    if (pcbReturned != nullptr) *pcbReturned = 0;
    const RequestRow* row = nullptr;
    for (const RequestRow& candidate : kRequests) {
        if (candidate.code == dwIoControlCode) row = &candidate;
    }
    DWORD result = ERROR_INVALID_HANDLE;
    with_machine(hDevice, [&](Machine::Impl& m) {
        if (row == nullptr) {
            result = ERROR_INVALID_FUNCTION;
            return;
        }
        if (vnx::faults::should_fail(row->name)) {
            result = ERROR_GEN_FAILURE;
            return;
        }
        if (nInBufferSize < row->minIn || (row->minIn != 0 && lpInBuffer == nullptr)) {
            result = ERROR_INVALID_PARAMETER;
            return;
        }
        if (nOutBufferSize < row->minOut || (row->minOut != 0 && lpOutBuffer == nullptr)) {
            result = ERROR_INSUFFICIENT_BUFFER;
            return;
        }
        Request request{m, static_cast<const BYTE*>(lpInBuffer), nInBufferSize,
                        static_cast<BYTE*>(lpOutBuffer), nOutBufferSize};
        std::lock_guard lock(m.mutex);
        result = row->handler(request);
        if (result == ERROR_SUCCESS && pcbReturned != nullptr) *pcbReturned = request.returned;
    });
    return result;
}
