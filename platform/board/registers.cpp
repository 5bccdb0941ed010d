// The register window of a rasterizer: one table row per register (or run
// of registers), saying what a read answers and what a write does. Accesses
// to offsets without a row, and writes to read-only registers, are board
// errors.
#include <cstdio>

#include "board_impl.h"
#include "platform/mmio.h"

namespace vnx::board {

namespace {

using Impl = Board::Impl;
// A read or write of register `index` (0 for single registers) of a row.
using ReadFn = ULONG (*)(Impl&, int r, ULONG index);
using WriteFn = void (*)(Impl&, int r, ULONG index, ULONG value);

struct RegisterRow {
    ULONG offset;      // byte offset of the first register
    ULONG count;       // registers in the run, 4 bytes apart
    const char* name;
    ReadFn read;
    WriteFn write;     // null: read only
};

const RegisterRow kRegisters[] = {
    {VNX_REG_TILE_OWNER, 1, "tile ownership",
     [](Impl& b, int r, ULONG) -> ULONG { return b.rasterizers[r].tileOwner; }, nullptr},
    {VNX_REG_READ_PTR, 1, "read pointer",
     [](Impl& b, int r, ULONG) -> ULONG { return b.rasterizers[r].readPtr; },
     [](Impl& b, int r, ULONG, ULONG v) { b.set_read_pointer(r, v); }},
    {VNX_REG_WRITE_PTR, 1, "write pointer",
     [](Impl& b, int r, ULONG) -> ULONG { return b.rasterizers[r].writePtr; },
     [](Impl& b, int r, ULONG, ULONG v) { b.set_write_pointer(r, v); }},
    {VNX_REG_CONFIG, 1, "configuration",
     [](Impl& b, int r, ULONG) -> ULONG {
         return b.rasterizers[r].config | (b.busy(r) ? VNX_CONFIG_BUSY : 0u);
     },
     [](Impl& b, int r, ULONG, ULONG v) { b.rasterizers[r].config = v & ~VNX_CONFIG_BUSY; }},
    {VNX_REG_PAGE_SLOT0, VNX_PAGE_SLOTS, "page slot",
     [](Impl& b, int r, ULONG s) -> ULONG { return b.rasterizers[r].slots[s]; },
     [](Impl& b, int r, ULONG s, ULONG v) {
         b.log(BoardEvent::SlotWrite, r, s, v);
         b.rasterizers[r].set_slot(s, v);
     }},
    {VNX_REG_RAMDAC_INDEX_LO, 3, "RAMDAC",
     [](Impl& b, int r, ULONG i) -> ULONG {
         return b.ramdac_read(b.rasterizers[r].board, VNX_REG_RAMDAC_INDEX_LO + 4 * i);
     },
     [](Impl& b, int r, ULONG i, ULONG v) {
         b.ramdac_write(b.rasterizers[r].board, VNX_REG_RAMDAC_INDEX_LO + 4 * i, v);
     }},
};

const RegisterRow* find_row(ULONG offset, ULONG* index) {
    if (offset % 4 != 0) return nullptr;
    for (const RegisterRow& row : kRegisters) {
        if (offset >= row.offset && offset < row.offset + 4 * row.count) {
            *index = (offset - row.offset) / 4;
            return &row;
        }
    }
    return nullptr;
}

std::string describe(const char* what, ULONG offset) {
    char text[96];
    std::snprintf(text, sizeof text, "%s at register offset 0x%x", what, offset);
    return text;
}

}  // namespace

ULONG Board::Impl::read(int r, ULONG offset) {
    if (r < 0 || r >= static_cast<int>(rasterizers.size())) return 0xFFFFFFFFu;
    ULONG index = 0;
    const RegisterRow* row = find_row(offset, &index);
    if (row == nullptr) {
        error(r, 0, describe("read of no register", offset));
        return 0;
    }
    return row->read(*this, r, index);
}

void Board::Impl::write(int r, ULONG offset, ULONG value) {
    if (r < 0 || r >= static_cast<int>(rasterizers.size())) return;
    ULONG index = 0;
    const RegisterRow* row = find_row(offset, &index);
    if (row == nullptr) {
        error(r, 0, describe("write of no register", offset));
        return;
    }
    if (row->write == nullptr) {
        error(r, 0, describe((std::string("write of the read-only ") + row->name).c_str(), offset));
        return;
    }
    row->write(*this, r, index, value);
}

}  // namespace vnx::board
