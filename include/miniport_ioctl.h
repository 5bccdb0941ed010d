// The requests of the boards' video miniport and the records they carry:
// the standard video requests (modes, reset, colour registers, register
// windows) and the private ones (queue and DMA set-up and release, board
// configuration, board count, display-list batch storage). The display driver
// sends them with EngDeviceIoControl (platform/miniport.h) on its miniport
// handle; every record keeps the byte layout the driver relies on.
//
// Widened on 64-bit, in a documented way:
// - VIDEO_PUBLIC_ACCESS_RANGES carries the register window's address in its
//   third field, which takes 8 bytes here: 16 bytes a range, 128 bytes for
//   the 8 ranges (instead of 12 and 96).
// - VNX_DMA_DESCRIPTION carries the DMA buffer's CPU address in words 2-3
//   (word 3 is unused by the driver), so the record stays 44 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

// --- request codes ----------------------------------------------------------
// Standard video requests.
#define IOCTL_VIDEO_QUERY_AVAIL_MODES 0x230400u          // out: modes x mode size
#define IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES 0x230404u      // out: VIDEO_NUM_MODES
#define IOCTL_VIDEO_SET_CURRENT_MODE 0x23040Cu           // in: VIDEO_MODE
#define IOCTL_VIDEO_RESET_DEVICE 0x230410u               // no data
#define IOCTL_VIDEO_SET_COLOR_REGISTERS 0x23041Cu        // in: VIDEO_CLUT
#define IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES 0x230460u // out: 8 x VIDEO_PUBLIC_ACCESS_RANGES
#define IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES 0x230464u  // in: 1 x VIDEO_PUBLIC_ACCESS_RANGES
// Private requests of the Vornix miniport.
#define IOCTL_VNX_QUEUE_SETUP 0x232000u        // in: u32 queue record size; out: VNX_DMA_DESCRIPTION
#define IOCTL_VNX_QUEUE_RELEASE 0x232004u      // in: VNX_DMA_DESCRIPTION
#define IOCTL_VNX_PIN_DL_BATCH 0x232014u       // display-list batch storage (pin)
#define IOCTL_VNX_UNPIN_DL_BATCH 0x232018u     // display-list batch storage (release)
#define IOCTL_VNX_WRITE_BOARDCONFIG 0x23201Cu  // in: BoardConfig (240 bytes)
#define IOCTL_VNX_READ_BOARDCONFIG 0x232020u   // out: BoardConfig (240 bytes)
#define IOCTL_VNX_BOARD_COUNT 0x232034u        // out: u32 number of boards

// --- modes ------------------------------------------------------------------
// AttributeFlags of a mode.
#define VIDEO_MODE_INTERLACED 0x10u     // interlaced mode
#define VIDEO_MODE_NO_OFFSCREEN 0x20u   // the mode leaves no off-screen memory

// One mode record of IOCTL_VIDEO_QUERY_AVAIL_MODES. A Length of 0 marks a
// mode that cannot be used.
typedef struct VIDEO_MODE_INFORMATION {
    std::uint32_t Length;           // size of this record
    std::uint32_t ModeIndex;        // index for IOCTL_VIDEO_SET_CURRENT_MODE
    std::uint32_t VisScreenWidth;   // visible pixels
    std::uint32_t VisScreenHeight;
    std::uint32_t ScreenStride;     // bytes of one visible row
    std::uint32_t NumberOfPlanes;
    std::uint32_t BitsPerPlane;     // bits per pixel = planes x bits per plane
    std::uint32_t Frequency;        // refresh in hertz
    std::uint32_t XMillimeter;      // physical size of the visible area
    std::uint32_t YMillimeter;
    std::uint32_t AttributeFlags;   // VIDEO_MODE_...
} VIDEO_MODE_INFORMATION;
static_assert(sizeof(VIDEO_MODE_INFORMATION) == 44);

// Answer of IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES (8 bytes).
typedef struct VIDEO_NUM_MODES {
    std::uint32_t NumModes;
    std::uint32_t ModeInformationLength;  // size of one mode record
} VIDEO_NUM_MODES;
static_assert(sizeof(VIDEO_NUM_MODES) == 8);

// Input of IOCTL_VIDEO_SET_CURRENT_MODE (4 bytes).
typedef struct VIDEO_MODE {
    std::uint32_t RequestedMode;  // a ModeIndex of the mode list
} VIDEO_MODE;
static_assert(sizeof(VIDEO_MODE) == 4);

// --- colour registers ---------------------------------------------------------
// One colour register, 6 or 8 bits a component as the caller chooses.
typedef struct VIDEO_CLUTDATA {
    std::uint8_t Red;
    std::uint8_t Green;
    std::uint8_t Blue;
    std::uint8_t Unused;
} VIDEO_CLUTDATA;

// Input of IOCTL_VIDEO_SET_COLOR_REGISTERS: NumEntries registers from
// FirstEntry. The input must hold at least 4 + 4 x NumEntries bytes; the
// record as declared holds one entry, so callers size it as
// sizeof(VIDEO_CLUT) + (n - 1) x 4 or larger.
typedef struct VIDEO_CLUT {
    std::uint16_t NumEntries;
    std::uint16_t FirstEntry;
    union {
        VIDEO_CLUTDATA RgbArray;
        std::uint32_t RgbLong;  // red in the low byte
    } LookupTable[1];
} VIDEO_CLUT;
static_assert(sizeof(VIDEO_CLUT) == 8);
#define VIDEO_CLUT_HEADER_SIZE 4u
#define VIDEO_MAX_COLOR_REGISTER 256u

// --- register windows ------------------------------------------------------
// One register window of IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES; the answer
// holds VNX_ACCESS_RANGES of them, range i being rasterizer i's window (a
// null address for rasterizers the machine does not have). The second word
// of range 0 is non-zero when the board offers its 3D side. The register
// windows are read and written with VnxRegRead32 / VnxRegWrite32
// (platform/mmio.h), never dereferenced.
typedef struct VIDEO_PUBLIC_ACCESS_RANGES {
    std::uint32_t InIoSpace;        // 0: memory space
    std::uint32_t MappedInIoSpace;  // range 0: non-zero when 3D is available
    void* VirtualAddress;           // the register window
} VIDEO_PUBLIC_ACCESS_RANGES;
static_assert(sizeof(VIDEO_PUBLIC_ACCESS_RANGES) == 16);
static_assert(offsetof(VIDEO_PUBLIC_ACCESS_RANGES, VirtualAddress) == 8);
#define VNX_ACCESS_RANGES 8u

// --- queue and DMA set-up -------------------------------------------------------
// Answer of IOCTL_VNX_QUEUE_SETUP (44 bytes), input of IOCTL_VNX_QUEUE_RELEASE.
// Bus addresses are what the board's DMA engine and its read and write
// pointers use; CPU address = pvDmaBase + (bus - ulDmaBus) for every bus
// address of the DMA buffer and of the two staging buffers, which follow the
// DMA buffer in one block.
#pragma pack(push, 4)
typedef struct VNX_DMA_DESCRIPTION {
    std::uint32_t ulRasterizers;       // word 0: rasterizers of all boards
    std::uint32_t ulBoards;            // word 1: number of boards
    void* pvDmaBase;                   // words 2-3: CPU address of the DMA buffer
    std::uint32_t ulReserved;          // word 4
    std::uint32_t ulDmaBus;            // word 5: bus address of the DMA buffer
    std::uint32_t cjDmaBuffer;         // word 6: its size in bytes
    std::uint32_t ulStaging0Bus;       // word 7: bus address of staging buffer 0
    std::uint32_t ulStaging1Bus;       // word 8: bus address of staging buffer 1
    std::uint32_t bTwoStagingBuffers;  // word 9: the two staging buffers are to be used
    std::uint8_t jStatus;              // byte 40: status byte (0 = hardware option present)
    std::uint8_t ajReserved[3];
} VNX_DMA_DESCRIPTION;
#pragma pack(pop)
static_assert(sizeof(VNX_DMA_DESCRIPTION) == 44);
static_assert(offsetof(VNX_DMA_DESCRIPTION, ulBoards) == 4);
static_assert(offsetof(VNX_DMA_DESCRIPTION, pvDmaBase) == 8);
static_assert(offsetof(VNX_DMA_DESCRIPTION, ulDmaBus) == 20);
static_assert(offsetof(VNX_DMA_DESCRIPTION, cjDmaBuffer) == 24);
static_assert(offsetof(VNX_DMA_DESCRIPTION, ulStaging0Bus) == 28);
static_assert(offsetof(VNX_DMA_DESCRIPTION, ulStaging1Bus) == 32);
static_assert(offsetof(VNX_DMA_DESCRIPTION, bTwoStagingBuffers) == 36);
static_assert(offsetof(VNX_DMA_DESCRIPTION, jStatus) == 40);

// --- display-list batch storage -------------------------------------------------
// Input of IOCTL_VNX_PIN_DL_BATCH (8 bytes): the batch, as a 32-bit handle
// the driver gives it, and its byte length. The answer is the 12-byte item
// that IOCTL_VNX_UNPIN_DL_BATCH takes back as its input; the driver keeps
// it unread. The miniport holds at most VNX_PINNED_BATCHES_MAX batches.
typedef struct VNX_DL_BATCH {
    std::uint32_t ulBatch;  // the driver's handle of the batch
    std::uint32_t cjBatch;  // its length in bytes
} VNX_DL_BATCH;
static_assert(sizeof(VNX_DL_BATCH) == 8);
typedef struct VNX_DL_PIN_ITEM {
    std::uint32_t ulPin;    // the miniport's number of the pin (never 0)
    std::uint32_t ulBatch;  // the batch as pinned
    std::uint32_t cjBatch;
} VNX_DL_PIN_ITEM;
static_assert(sizeof(VNX_DL_PIN_ITEM) == 12);
static_assert(offsetof(VNX_DL_PIN_ITEM, ulBatch) == 4);
#define VNX_PINNED_BATCHES_MAX 16384u

// Bytes of each of the two staging buffers.
#define VNX_STAGING_BUFFER_BYTES 0x20000u
