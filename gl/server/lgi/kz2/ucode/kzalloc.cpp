// The register allocator (kzalloc.h).
#include "kz2/ucode/kzalloc.h"

#include <cstring>

#include "kz2/ucode/kzprog.h"
#include "lgi.h"

namespace {

// Slots, in table order.
enum : ULONG {
    S_RGB0 = 0,
    S_Z0 = 1,  // z0-z2
    S_PR0 = 4,  // pr0-pr11
    S_PATTERN = 16,
    S_CC0 = 17,  // cc0-cc2
    S_CONST0 = 20,  // constant_0-7
    S_U = 28,
    S_V = 29,
    S_SCRATCH = 30,
    S_COUNT = 31,
    S_NONE = 0xFFFFFFFFu,
};
constexpr ULONG kClaimants = 8;

struct Slot {
    ULONG claimants[kClaimants];
    LONG count;
};

struct Tables {
    Slot slots[S_COUNT];
    LONG scratchIndex;  // pid position of the shared scratch pixmap, -1 for none
    ULONG conflict;
    ULONG pidDefault;
    ULONG pidTmp;
};
Tables gTables{{}, -1, 0, 0xFFFFu, 0xFFFFu};

struct ClaimantName {
    ULONG bit;
    const char* name;
};
constexpr ClaimantName kClaimantNames[] = {
    {KZ_ALPHA_TEST, "alpha test stage"},     {KZ_STENCIL_TEST, "stencil test stage"},
    {KZ_DEPTH_TEST, "depth test stage"},     {KZ_BLEND, "blend stage"},
    {KZ_LOGICOP, "logicop stage"},           {KZ_STENCIL_UPDATE, "stencil update stage"},
    {KZ_DEPTH_UPDATE, "depth update stage"}, {KZ_RGBA_UPDATE, "rgba update stage"},
    {KZ_STIPPLE_TEST, "stipple test stage"}, {KZ_PIXEL_OWNERSHIP, "pixel ownership test stage"},
    {KZ_ADD_MACRO, "_kzuAdd macro"},         {KZ_TEXTURE, "texture code"},
};

// The slot of a register number, or S_NONE.
ULONG slotOf(ULONG reg) {
    if (reg <= KZU_pr11) return S_PR0 + reg;
    if (reg == KZU_pattern) return S_PATTERN;
    if (reg == KZU_rgb0) return S_RGB0;
    if (reg >= KZU_z0 && reg <= KZU_z2) return S_Z0 + (reg - KZU_z0);
    if (reg >= KZU_constant_0 && reg <= KZU_constant_7) return S_CONST0 + (reg - KZU_constant_0);
    if (reg >= KZU_cc0 && reg <= KZU_cc2) return S_CC0 + (reg - KZU_cc0);
    if ((reg >= KZU_pixmap0 && reg <= KZU_pixmapLast) || reg == 31) {
        return gTables.scratchIndex >= 0 && reg == KZU_pixmap0 + static_cast<ULONG>(gTables.scratchIndex)
                   ? S_SCRATCH
                   : S_NONE;
    }
    return S_NONE;
}

// A claim that a register still in use would answer: recorded, reported,
// and the build refused when it finishes.
void vConflict(const char* what, ULONG claimant) {
    gTables.conflict = 1;
    DbgPrint("kzAllocRegisterResource: %s for the %s: no hardware program\n", what,
             kzClaimantName(claimant));
}

// A first claim of a slot: the claimant into word 0, one use more.
void vTake(ULONG s, ULONG claimant) {
    gTables.slots[s].claimants[0] = claimant;
    ++gTables.slots[s].count;
}

bool bBusy(ULONG s) { return gTables.slots[s].count > 0; }

// Whether two pids name one pixel at the fragment's position: one space and
// one format, neither a tile.
bool bSamePixel(ULONG a, ULONG b) {
    constexpr ULONG kTile = 0x40u, kSpaceAndFormat = 0xE01Fu;
    return a <= 0xFFFEu && b <= 0xFFFEu && (a & kTile) == 0 && (b & kTile) == 0 &&
           (a & kSpaceAndFormat) == (b & kSpaceAndFormat);
}

// The register of the shared scratch pixmap, placing its pid the first time.
ULONG regSharedScratch(kzRenderProg* prog, ULONG claimant) {
    if (gTables.scratchIndex < 0) {
        // The pixmap is the temporary surface's pixel at the fragment's
        // position. Where a pixmap already placed names that same pixel (at
        // 32 bits a pixel the temporary surface is the colour buffer's
        // space), a value kept in it would overwrite the one that pixmap
        // holds.
        for (ULONG n = 0; n < prog->pidCount; ++n) {
            if (bSamePixel(kzPidAt(prog, n), gTables.pidTmp)) {
                vConflict("the shared scratch pixmap is a pixel another pixmap holds", claimant);
                break;
            }
        }
        gTables.scratchIndex = static_cast<LONG>(kzPlacePid(prog, gTables.pidTmp, gTables.pidDefault));
    } else if (bBusy(S_SCRATCH)) {
        vConflict("the shared scratch pixmap is in use", claimant);
    }
    vTake(S_SCRATCH, claimant);
    const ULONG n = static_cast<ULONG>(gTables.scratchIndex);
    if (n >= KZU_PIXMAPS) {
        vConflict("no pixmap register left", claimant);
        return KZU_pixmapLast;
    }
    return KZU_pixmap0 + n;
}

// A private scratch pixmap of the pixel format: a new pid every time. Its
// pid names the temporary surface's page slot. Without that surface there
// is no slot to name: the pid placed is the one no pixmap has, so the build
// is refused at its finish and its primitives take the software paths. (The
// default pid would do harm there: it is the context's own scratch pixmap,
// which holds the stipple pattern, and a pair of private pixmaps would both
// be that one pixmap.)
ULONG regPrivateScratch(kzRenderProg* prog, ULONG fmt, ULONG claimant) {
    const bool bSurface = gTables.pidTmp <= 0xFFFEu;
    const ULONG pid = bSurface ? (gTables.pidTmp & 31u) | 0x40u | fmt : 0xFFFFu;
    const ULONG n = kzPlacePid(prog, pid, bSurface ? gTables.pidDefault : 0xFFFFu);
    if (n >= KZU_PIXMAPS) {
        vConflict("no pixmap register left", claimant);
        return KZU_pixmapLast;
    }
    return KZU_pixmap0 + n;
}

// The first free slot of a list, or the fallback (which may be in use).
ULONG regData(const ULONG* slots, ULONG cSlots, ULONG claimant) {
    for (ULONG i = 0; i < cSlots; ++i) {
        if (!bBusy(slots[i]) || i + 1 == cSlots) {
            if (bBusy(slots[i])) vConflict("every data register is in use", claimant);
            vTake(slots[i], claimant);
            return slots[i] == S_RGB0 ? KZU_rgb0 : KZU_z0 + (slots[i] - S_Z0);
        }
    }
    return KZU_rgb0;
}

}  // namespace

void kzResetRegisterResources(void) {
    std::memset(gTables.slots, 0, sizeof gTables.slots);
    gTables.scratchIndex = -1;
    gTables.conflict = 0;
    gTables.pidDefault = 0xFFFFu;
    gTables.pidTmp = 0xFFFFu;
}

void kzSetBuildPids(ULONG pidDefault, ULONG pidTmp) {
    gTables.pidDefault = pidDefault;
    gTables.pidTmp = pidTmp;
}

ULONG kzAllocRegisterResource(N_HwRecord*, kzRenderProg* prog, ULONG type, ULONG claimant) {
    if (type & KZ_RES_PATTERN) {
        bool bInUse = bBusy(S_PATTERN);
        for (ULONG i = 0; i < 8; ++i) bInUse = bInUse || bBusy(S_PR0 + i);
        if (bInUse) vConflict("the pattern register or pr0-pr7 are in use", claimant);
        vTake(S_PATTERN, claimant);
        for (ULONG i = 0; i < 8; ++i) vTake(S_PR0 + i, claimant);
        return KZU_pattern;
    }
    if (type & KZ_RES_WORK) {
        if (type & KZ_RES_SHARED_SCRATCH) return regSharedScratch(prog, claimant);
        constexpr struct {
            ULONG type, fmt;
        } kPrivate[] = {{KZ_RES_SCRATCH_4000, 0x4000u}, {KZ_RES_SCRATCH_8000, 0x8000u},
                        {KZ_RES_SCRATCH_0000, 0x0000u}, {KZ_RES_SCRATCH_6000, 0x6000u},
                        {KZ_RES_SCRATCH_2000, 0x2000u}};
        for (const auto& p : kPrivate) {
            if (type & p.type) return regPrivateScratch(prog, p.fmt, claimant);
        }
        for (ULONG i = 0; i <= KZU_pr11; ++i) {
            if (!bBusy(S_PR0 + i)) {
                vTake(S_PR0 + i, claimant);
                return KZU_pr0 + i;
            }
        }
        // Twelve in use: work spills into the shared scratch pixmap.
        return regSharedScratch(prog, claimant);
    }
    if (type & KZ_RES_CC) {
        DbgPrint("kz2 render ucode generator calling kzAllocRegisterResource for cc\n");
        _NProgrammerError();
    }
    if (!(type & KZ_RES_DATA)) {
        DbgPrint("kzAllocRegisterResource: ERROR: ");
        DbgPrint("unknown regtype: %x claimed by %s\n", type, kzClaimantName(claimant));
        _NProgrammerError();
        // Nothing is handed out; a program that asked for it is not used.
        gTables.conflict = 1;
        return KZU_pr0;
    }
    if (type & KZ_RES_CONSTANT) {
        for (ULONG i = 0; i < KZU_CONSTANTS; ++i) {
            if (!bBusy(S_CONST0 + i)) {
                vTake(S_CONST0 + i, claimant);
                return KZU_constant_0 + i;
            }
        }
        // Never a data register in a constant's place.
        vConflict("every constant is in use", claimant);
        return KZU_constant_7;
    }
    static constexpr ULONG kColourFirst[] = {S_RGB0, S_Z0, S_Z0 + 1, S_Z0 + 2};
    static constexpr ULONG kDepthFirst[] = {S_Z0, S_Z0 + 1, S_Z0 + 2, S_RGB0};
    return regData((type & KZ_RES_PREFER_DEPTH) ? kDepthFirst : kColourFirst, 4, claimant);
}

void kzReleaseRegisterResource(ULONG reg, ULONG) {
    auto vRelease = [](ULONG s) {
        if (--gTables.slots[s].count < 0) gTables.slots[s].count = 0;
    };
    if (reg == KZU_pattern) {
        vRelease(S_PATTERN);
        for (ULONG i = 0; i < 8; ++i) vRelease(S_PR0 + i);
        return;
    }
    const ULONG s = slotOf(reg);
    if (s != S_NONE) vRelease(s);
}

const kzuCCDesc* kzAllocCC(ULONG claimant, ULONG mode, const kzuCCDesc* handle) {
    if (mode & KZ_CC_FRESH) {
        for (ULONG i = 0; i < 3; ++i) {
            if (!bBusy(S_CC0 + i)) {
                vTake(S_CC0 + i, claimant);
                return &kzuCCDescs[i];
            }
        }
        vConflict("every condition code is in use", claimant);
        return &kzuCCDescs[0];
    }
    const ULONG reg = kzCCRegister(handle);
    if (reg == 0) {
        DbgPrint("XXXXXXXXXXXXX attempting to AND or OR with garbage cc!\n");
        _NProgrammerError();
        gTables.conflict = 1;
        return &kzuCCDescs[0];
    }
    Slot& slot = gTables.slots[S_CC0 + (reg - KZU_cc0)];
    if (slot.count >= 0 && static_cast<ULONG>(slot.count) < kClaimants) slot.claimants[slot.count] = claimant;
    ++slot.count;
    return handle;
}

void kzReleaseCC(const kzuCCDesc* handle, ULONG claimant) {
    const ULONG reg = kzCCRegister(handle);
    if (reg == 0) {
        DbgPrint("XXXXXXXXXXXXX attempting to release garbage cc!\n");
        _NProgrammerError();
        return;
    }
    kzReleaseRegisterResource(reg, claimant);
}

ULONG kzCCRegister(const kzuCCDesc* handle) {
    for (ULONG i = 0; i < 3; ++i) {
        if (handle == &kzuCCDescs[i]) return KZU_cc0 + i;
    }
    return 0;
}

const char* kzClaimantName(ULONG claimant) {
    for (const ClaimantName& c : kClaimantNames) {
        if (c.bit == claimant) return c.name;
    }
    DbgPrint("kzAllocRegisterResource: ERROR: unknown claimant\n");
    _NProgrammerError();
    return "";
}

ULONG kzAllocConflict(void) { return gTables.conflict; }

LONG kzRegisterUseCount(ULONG reg) {
    const ULONG s = slotOf(reg);
    return s == S_NONE ? 0 : gTables.slots[s].count;
}

ULONG kzRegisterClaimant(ULONG reg, ULONG index) {
    const ULONG s = slotOf(reg);
    return s == S_NONE || index >= kClaimants ? 0 : gTables.slots[s].claimants[index];
}
