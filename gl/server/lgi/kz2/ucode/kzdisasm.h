// The render-program disassembler: an instruction word as one line of text,
// decoded with the field description of kzuinstr.h, for the generator trace
// and the tests.
//
//   <op> R, A[, B][ join][ clamp][ stipple][ clip][ if cc0][ if cc1][ if cc2]
//
// <op> is the mnemonic, with ".cc0" .. ".cc2" for condition-code operations
// and compares ("lt.cc0", "addc.cc1"), or "op<hex>" for an opcode the
// generator never places. Registers are named pr0-pr11, pattern, px0-px13
// (the pixmap at that position of the pid list), rgb0, z0-z2, c0-c7, and
// r<n> for any other number; as a result 27 and 28 read u and v. B is left
// out of a copy or not whose B field is 0. A lone stipple bit is shown as
// bit25 or bit26, bit 27 as bit27. Every bit of the word shows, so the text
// gives the word back.
#pragma once

#include <cstddef>

#include "platform/kernel.h"

// Writes the text of one word (NUL-terminated, cut to cb); answers the
// length the whole text needs, as snprintf does.
int kzDisassemble(ULONG word, char* psz, std::size_t cb);
// The name of register n as an operand (bResult 0) or a result (1).
const char* kzRegisterName(ULONG n, ULONG bResult, char* psz, std::size_t cb);
