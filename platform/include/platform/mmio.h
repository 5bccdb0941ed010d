// Register windows of the board: how drivers read and write board registers.
//
// Each rasterizer has a register window whose address the miniport hands out
// (IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES). The address is real but not
// backed by memory: registers are reached only through VnxRegRead32 and
// VnxRegWrite32, which hand each access to the board model at once, on the
// calling thread. A write of the write-pointer register therefore runs the
// board's DMA consumer before VnxRegWrite32 returns: whatever a driver reads
// afterwards (read pointer, busy bit, sync words in DMA memory) already shows
// the board's answer, deterministically. Accesses are 32 bits wide; an
// address outside every mapped window reads 0xFFFFFFFF, writes go nowhere,
// and both are reported on the debug sink.
#pragma once

#include "platform/export.h"
#include "platform/kernel.h"

// Byte offsets inside a rasterizer's register window.
#define VNX_REG_TILE_OWNER 0x010u       // bit 16 + t: owns tile t; bit 0 stereo;
                                        // bits 9-10 x, 11-12 y page multiplier code;
                                        // bits 13-14 memory class (read only)
#define VNX_REG_READ_PTR 0x014u         // bus address the DMA engine has reached;
                                        // written to restart the engine there
#define VNX_REG_WRITE_PTR 0x018u        // the engine reads up to this bus address
#define VNX_REG_CONFIG 0x01Cu           // unit bits 27, 28; bit 6 busy (read only)
#define VNX_REG_PAGE_SLOT0 0x400u       // 32 page-slot registers, 4 bytes apart
#define VNX_REG_RAMDAC_INDEX_LO 0x1010u // RAMDAC index, low byte
#define VNX_REG_RAMDAC_INDEX_HI 0x1014u // RAMDAC index, high byte
#define VNX_REG_RAMDAC_DATA 0x1018u     // RAMDAC data; the index steps by one after each store
#define VNX_REG_WINDOW_BYTES 0x2000u    // size of one register window

#define VNX_CONFIG_BUSY 0x40u           // configuration register: the rasterizer works
#define VNX_CONFIG_UNITS 0x18000000u    // configuration register: the two optional units
#define VNX_PAGE_SLOTS 32u
#define VNX_PAGE_SLOT_FREE 31u          // slot register value of a free slot

extern "C" {

// Reads the 32-bit register at pAddress (window address + offset).
VNX_PLATFORM_API ULONG VnxRegRead32(const void* pAddress);
// Writes the 32-bit register at pAddress (window address + offset).
VNX_PLATFORM_API void VnxRegWrite32(void* pAddress, ULONG ulValue);

}  // extern "C"

// Window-and-offset forms, as the driver code names registers.
inline ULONG VnxRegRead(const void* pjRegs, ULONG ulOffset) {
    return VnxRegRead32(static_cast<const unsigned char*>(pjRegs) + ulOffset);
}
inline void VnxRegWrite(void* pjRegs, ULONG ulOffset, ULONG ulValue) {
    VnxRegWrite32(static_cast<unsigned char*>(pjRegs) + ulOffset, ulValue);
}
