// The register allocator of the micro-code generator: pixel work registers,
// the pattern group, data registers, constants, scratch pixmaps and
// condition codes, claimed by the stage emitters of one build and given
// back when the stage is done. Each slot logs its claimants (stage bits).
// The tables are process-wide and serve one build at a time (the callers run
// under the display driver's escape lock); every build resets them first.
//
// A register is never held by two live values: a claim that can only be
// answered with a register somebody still holds (the thirteenth work
// register while the shared scratch pixmap is in use, the shared scratch
// pixmap where an earlier pid names the same pixel, the pattern group
// over busy work registers, a ninth constant, a fourth condition code, a
// fifth data register) is a conflict. It is reported on the debugger
// ("kzAllocRegisterResource: <what> for the <stage>: no hardware program\n"),
// recorded, and the program is refused when it is finished, so the
// selector takes the software path. A ninth constant is never answered
// with a data register.
#pragma once

#include "kzuinstr.h"
#include "platform/kernel.h"

struct N_HwRecord;
struct kzRenderProg;

// Claimants: stage bits.
enum : ULONG {
    KZ_ALPHA_TEST = 1,
    KZ_STENCIL_TEST = 2,
    KZ_DEPTH_TEST = 4,
    KZ_BLEND = 8,
    KZ_LOGICOP = 16,
    KZ_STENCIL_UPDATE = 32,
    KZ_DEPTH_UPDATE = 64,
    KZ_RGBA_UPDATE = 128,
    KZ_STIPPLE_TEST = 256,
    KZ_PIXEL_OWNERSHIP = 512,
    KZ_ACCUMULATION = 1024,  // has no name
    KZ_ADD_MACRO = 2048,
    KZ_TEXTURE = 4096,
};

// Resource types (kzAllocRegisterResource's type).
enum : ULONG {
    KZ_RES_CC = 0x01,           // refused: condition codes have their own claim
    KZ_RES_WORK = 0x08,         // a pixel work register
    KZ_RES_DATA = 0x10,         // a data register
    KZ_RES_SHARED_SCRATCH = 0x20,  // with KZ_RES_WORK: the shared scratch pixmap
    KZ_RES_PREFER_DEPTH = 0x40,    // with KZ_RES_DATA: the depth registers first
    KZ_RES_CONSTANT = 0x80,        // with KZ_RES_DATA: a constant register
    KZ_RES_PATTERN = 0x200,        // the pattern register with pr0-pr7 (answers 12)
    // With KZ_RES_WORK: a private scratch pixmap of the pixel format in the
    // pid's top bits.
    KZ_RES_SCRATCH_4000 = 0x400,
    KZ_RES_SCRATCH_8000 = 0x800,
    KZ_RES_SCRATCH_0000 = 0x1000,
    KZ_RES_SCRATCH_6000 = 0x2000,
    KZ_RES_SCRATCH_2000 = 0x4000,
};

// Condition-code claim modes.
constexpr ULONG KZ_CC_FRESH = 0x4;  // bit 2: a new code; otherwise join the handle's code
constexpr ULONG KZ_CC_JOIN = 0x0;

// Starts a build: every count and the conflict 0, no shared scratch pixmap,
// the build's pids unknown (0xFFFF).
void kzResetRegisterResources(void);
// The pids a build places for scratch pixmaps: pidDefault replaces a bogus
// pid, pidTmp is the pid of the context's temporary 32-bit device surface,
// from which the scratch pixmaps' pids are made (0xFFFF: no such surface,
// every scratch pixmap then takes pidDefault). The build sets them after
// the reset, once it has its surfaces.
void kzSetBuildPids(ULONG pidDefault, ULONG pidTmp);

// Claims a register of the type for the claimant and answers its number. A
// scratch pixmap claim places its pid in the program's pid list. hwRecord
// is the build's hardware record (not read: the build hands the allocator
// its pids through kzSetBuildPids).
ULONG kzAllocRegisterResource(N_HwRecord* hwRecord, kzRenderProg* prog, ULONG type, ULONG claimant);
// Gives one use of a register back (counts never go below 0). 12 gives back
// the pattern and pr0-pr7; 13-26 and 31 give back the shared scratch pixmap
// when they name it and are ignored otherwise; 40-42 the condition codes.
void kzReleaseRegisterResource(ULONG reg, ULONG claimant);

// Claims a condition code: with KZ_CC_FRESH the first free one, otherwise
// joins the code of the handle. Answers its descriptor.
const kzuCCDesc* kzAllocCC(ULONG claimant, ULONG mode, const kzuCCDesc* handle);
// Gives one use of the code back.
void kzReleaseCC(const kzuCCDesc* handle, ULONG claimant);
// The register number of a code (KZU_cc0 .. KZU_cc2), or 0 for no code.
ULONG kzCCRegister(const kzuCCDesc* handle);

// The name of a claimant ("alpha test stage", ...); an unknown claimant is
// reported and named "".
const char* kzClaimantName(ULONG claimant);
// Whether this build had to share a register between live values.
ULONG kzAllocConflict(void);

// What the tests read of the tables: a register's use count (13 + n for the
// shared scratch pixmap at n; 40-42 for the codes) and a claimant it logged.
LONG kzRegisterUseCount(ULONG reg);
ULONG kzRegisterClaimant(ULONG reg, ULONG index);
