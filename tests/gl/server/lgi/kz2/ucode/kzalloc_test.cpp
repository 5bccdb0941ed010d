// The register allocator: work registers and their spill into the shared
// scratch pixmap, the pattern group, data registers, constants, private
// scratch pixmaps, condition codes, releases, and the conflicts that refuse
// a build instead of sharing a register between live values.
#include "gl/server/lgi/kz2/kz2_fixture.h"

using namespace kz2_test;

namespace {

class KzAllocTest : public Kz2Test {
  protected:
    ULONG Claim(ULONG type, ULONG claimant = KZ_BLEND) {
        return kzAllocRegisterResource(nullptr, &prog_, type, claimant);
    }
};

TEST_F(KzAllocTest, WorkRegistersThenTheSharedScratchPixmap) {
    for (ULONG i = 0; i < 12; ++i) EXPECT_EQ(Claim(KZ_RES_WORK), i);
    EXPECT_EQ(prog_.pidCount, 0u);
    // The thirteenth spills into the shared scratch pixmap, placed once.
    EXPECT_EQ(Claim(KZ_RES_WORK, KZ_DEPTH_TEST), KZU_pixmap0);
    EXPECT_EQ(prog_.pidCount, 1u);
    EXPECT_EQ(kzPidAt(&prog_, 0), 0x2003u);
    EXPECT_EQ(kzAllocConflict(), 0u) << "the pixmap held nothing yet";
    EXPECT_EQ(vnx::debug::take(), "");
    // The fourteenth would share it with the thirteenth's value.
    EXPECT_EQ(Claim(KZ_RES_WORK), KZU_pixmap0);
    EXPECT_EQ(prog_.pidCount, 1u);
    EXPECT_EQ(kzAllocConflict(), 1u);
    EXPECT_EQ(vnx::debug::take(),
              "kzAllocRegisterResource: the shared scratch pixmap is in use for the blend stage: no hardware program\n");
    kzResetRegisterResources();
    EXPECT_EQ(kzAllocConflict(), 0u);
    EXPECT_EQ(kzRegisterUseCount(KZU_pr3), 0);
}

// The shared scratch pixmap is the temporary surface's pixel: where a pixmap
// already placed names that pixel (one space and format: at 32 bits the
// colour buffer), a value spilled there would land on that pixmap's pixel.
TEST_F(KzAllocTest, TheSharedScratchPixmapOverAPlacedPixelIsAConflict) {
    struct Case {
        ULONG placed;
        bool conflict;
    } const cases[] = {{0x2003u, true}, {0x2004u, false}, {0xA003u, false}, {0x2043u, false}};
    for (const Case& c : cases) {
        kzResetRegisterResources();
        kzSetBuildPids(0x41u, 0x2003u);
        Restart();
        kzPlacePid(&prog_, c.placed, 0x41u);
        for (ULONG i = 0; i < 12; ++i) Claim(KZ_RES_WORK);
        EXPECT_EQ(kzAllocConflict(), 0u);
        EXPECT_EQ(Claim(KZ_RES_WORK), KZU_pixmap0 + 1) << std::hex << c.placed;
        EXPECT_EQ(kzAllocConflict() != 0, c.conflict) << std::hex << c.placed;
        vnx::debug::clear();
    }
}

// The pattern register with four blend work registers leaves no work
// register: the stored-depth register and a blend register claimed while it
// lives cannot both be had.
TEST_F(KzAllocTest, PatternAndBlendRegistersLeaveOneScratchValue) {
    EXPECT_EQ(Claim(KZ_RES_PATTERN, KZ_RGBA_UPDATE), KZU_pattern);
    for (ULONG i = 0; i < 8; ++i) EXPECT_EQ(kzRegisterUseCount(i), 1) << i;
    for (ULONG i = 0; i < 4; ++i) EXPECT_EQ(Claim(KZ_RES_WORK), 8 + i);
    const ULONG stored = Claim(KZ_RES_WORK, KZ_DEPTH_TEST);
    EXPECT_EQ(stored, KZU_pixmap0);
    EXPECT_EQ(kzAllocConflict(), 0u);
    Claim(KZ_RES_WORK | KZ_RES_SHARED_SCRATCH);  // the blend's W while it lives
    EXPECT_EQ(kzAllocConflict(), 1u);
    // Given back in time, the pixmap serves the next value.
    kzResetRegisterResources();
    kzSetBuildPids(0x41u, 0x2003u);
    Restart();
    Claim(KZ_RES_PATTERN);
    for (ULONG i = 0; i < 4; ++i) Claim(KZ_RES_WORK);
    kzReleaseRegisterResource(Claim(KZ_RES_WORK, KZ_DEPTH_TEST), KZ_DEPTH_TEST);
    EXPECT_EQ(Claim(KZ_RES_WORK | KZ_RES_SHARED_SCRATCH), KZU_pixmap0);
    EXPECT_EQ(kzAllocConflict(), 0u);
    EXPECT_EQ(prog_.pidCount, 1u);
}

TEST_F(KzAllocTest, PatternOverBusyWorkRegistersIsAConflict) {
    Claim(KZ_RES_WORK);
    Claim(KZ_RES_WORK);
    EXPECT_EQ(Claim(KZ_RES_PATTERN, KZ_RGBA_UPDATE), KZU_pattern);
    EXPECT_EQ(kzAllocConflict(), 1u);
    EXPECT_EQ(vnx::debug::take(),
              "kzAllocRegisterResource: the pattern register or pr0-pr7 are in use for the rgba update stage: no "
              "hardware program\n");
}

TEST_F(KzAllocTest, ReleasingThePatternGivesBackTheGroup) {
    Claim(KZ_RES_PATTERN);
    kzReleaseRegisterResource(KZU_pattern, KZ_BLEND);
    for (ULONG r = 0; r <= KZU_pattern; ++r) EXPECT_EQ(kzRegisterUseCount(r), 0) << r;
    EXPECT_EQ(Claim(KZ_RES_WORK), KZU_pr0);
}

TEST_F(KzAllocTest, DataRegistersAndTheirFallbacks) {
    EXPECT_EQ(Claim(KZ_RES_DATA), KZU_rgb0);
    EXPECT_EQ(Claim(KZ_RES_DATA), KZU_z0);
    EXPECT_EQ(Claim(KZ_RES_DATA), KZU_z1);
    EXPECT_EQ(Claim(KZ_RES_DATA), KZU_z2);
    EXPECT_EQ(kzAllocConflict(), 0u);
    EXPECT_EQ(Claim(KZ_RES_DATA), KZU_z2);
    EXPECT_EQ(kzAllocConflict(), 1u);
    EXPECT_EQ(vnx::debug::take(),
              "kzAllocRegisterResource: every data register is in use for the blend stage: no hardware program\n");

    kzResetRegisterResources();
    EXPECT_EQ(Claim(KZ_RES_DATA | KZ_RES_PREFER_DEPTH), KZU_z0);
    EXPECT_EQ(Claim(KZ_RES_DATA | KZ_RES_PREFER_DEPTH), KZU_z1);
    EXPECT_EQ(Claim(KZ_RES_DATA | KZ_RES_PREFER_DEPTH), KZU_z2);
    EXPECT_EQ(Claim(KZ_RES_DATA | KZ_RES_PREFER_DEPTH), KZU_rgb0);
    EXPECT_EQ(kzAllocConflict(), 0u);
    EXPECT_EQ(Claim(KZ_RES_DATA | KZ_RES_PREFER_DEPTH), KZU_rgb0);
    EXPECT_EQ(kzAllocConflict(), 1u);
    EXPECT_EQ(vnx::debug::take(),
              "kzAllocRegisterResource: every data register is in use for the blend stage: no hardware program\n");
}

TEST_F(KzAllocTest, ANinthConstantIsNeverADataRegister) {
    for (ULONG i = 0; i < 8; ++i) EXPECT_EQ(Claim(KZ_RES_DATA | KZ_RES_CONSTANT), KZU_constant_0 + i);
    const ULONG ninth = Claim(KZ_RES_DATA | KZ_RES_CONSTANT, KZ_TEXTURE);
    EXPECT_GE(ninth, KZU_constant_0);
    EXPECT_LE(ninth, KZU_constant_7);
    EXPECT_EQ(kzRegisterUseCount(KZU_rgb0), 0);
    EXPECT_EQ(kzAllocConflict(), 1u);
    EXPECT_EQ(vnx::debug::take(),
              "kzAllocRegisterResource: every constant is in use for the texture code: no hardware program\n");
}

TEST_F(KzAllocTest, PrivateScratchPixmapsPlaceANewPidEachTime) {
    struct {
        ULONG type, pid;
    } const cases[] = {{KZ_RES_SCRATCH_4000, 0x4043u}, {KZ_RES_SCRATCH_8000, 0x8043u},
                       {KZ_RES_SCRATCH_0000, 0x0043u}, {KZ_RES_SCRATCH_6000, 0x6043u},
                       {KZ_RES_SCRATCH_2000, 0x2043u}, {KZ_RES_SCRATCH_4000, 0x4043u}};
    ULONG n = 0;
    for (const auto& c : cases) {
        EXPECT_EQ(Claim(KZ_RES_WORK | c.type, KZ_TEXTURE), KZU_pixmap0 + n);
        EXPECT_EQ(kzPidAt(&prog_, n), c.pid) << n;
        ++n;
    }
    EXPECT_EQ(kzAllocConflict(), 0u);
    // The shared pixmap comes after them, from the temporary surface's pid.
    EXPECT_EQ(Claim(KZ_RES_WORK | KZ_RES_SHARED_SCRATCH), KZU_pixmap0 + n);
    EXPECT_EQ(kzPidAt(&prog_, n), 0x2003u);
}

TEST_F(KzAllocTest, ScratchPidsWithoutATemporarySurfaceTakeTheDefaultPid) {
    kzSetBuildPids(0x0041u, 0xFFFFu);
    Claim(KZ_RES_WORK | KZ_RES_SHARED_SCRATCH);
    EXPECT_EQ(kzPidAt(&prog_, 0), 0x0041u);
    EXPECT_NE(vnx::debug::take().find("fixing up bogus pid ffffh"), std::string::npos);
}

TEST_F(KzAllocTest, AFifteenthPixmapHasNoRegister) {
    for (ULONG i = 0; i < 14; ++i) Claim(KZ_RES_WORK | KZ_RES_SCRATCH_4000);
    EXPECT_EQ(kzAllocConflict(), 0u);
    EXPECT_LE(Claim(KZ_RES_WORK | KZ_RES_SCRATCH_4000), KZU_pixmapLast) << "never a data register";
    EXPECT_EQ(kzAllocConflict(), 1u);
}

TEST_F(KzAllocTest, ReleasesNeverGoBelowZeroAndIgnoreOtherPixmaps) {
    const ULONG r = Claim(KZ_RES_WORK);
    kzReleaseRegisterResource(r, KZ_BLEND);
    kzReleaseRegisterResource(r, KZ_BLEND);
    EXPECT_EQ(kzRegisterUseCount(r), 0);
    EXPECT_EQ(Claim(KZ_RES_WORK), r);
    EXPECT_EQ(kzRegisterUseCount(r), 1);

    Claim(KZ_RES_WORK | KZ_RES_SCRATCH_4000);                       // pid 0: 13
    const ULONG shared = Claim(KZ_RES_WORK | KZ_RES_SHARED_SCRATCH);  // pid 1: 14
    EXPECT_EQ(shared, KZU_pixmap0 + 1);
    kzReleaseRegisterResource(KZU_pixmap0, KZ_BLEND);  // the private one: not counted
    kzReleaseRegisterResource(31, KZ_BLEND);
    EXPECT_EQ(kzRegisterUseCount(shared), 1);
    kzReleaseRegisterResource(shared, KZ_BLEND);
    EXPECT_EQ(kzRegisterUseCount(shared), 0);
}

TEST_F(KzAllocTest, ConditionCodesFreshJoinAndRelease) {
    const kzuCCDesc* a = kzAllocCC(KZ_RGBA_UPDATE, KZ_CC_FRESH, nullptr);
    const kzuCCDesc* b = kzAllocCC(KZ_STENCIL_UPDATE, KZ_CC_FRESH, nullptr);
    const kzuCCDesc* c = kzAllocCC(KZ_ADD_MACRO, KZ_CC_FRESH, nullptr);
    EXPECT_EQ(a, &kzuCCDescs[0]);
    EXPECT_EQ(b, &kzuCCDescs[1]);
    EXPECT_EQ(c, &kzuCCDescs[2]);
    EXPECT_EQ(kzAllocCC(KZ_ALPHA_TEST, KZ_CC_JOIN, a), a);
    EXPECT_EQ(kzRegisterUseCount(KZU_cc0), 2);
    EXPECT_EQ(kzRegisterClaimant(KZU_cc0, 0), ULONG{KZ_RGBA_UPDATE});
    EXPECT_EQ(kzRegisterClaimant(KZU_cc0, 1), ULONG{KZ_ALPHA_TEST});
    EXPECT_EQ(kzAllocConflict(), 0u);
    // A fourth code would be cc0 again.
    EXPECT_EQ(kzAllocCC(KZ_ADD_MACRO, KZ_CC_FRESH, nullptr), &kzuCCDescs[0]);
    EXPECT_EQ(kzAllocConflict(), 1u);
    EXPECT_EQ(vnx::debug::take(),
              "kzAllocRegisterResource: every condition code is in use for the _kzuAdd macro: no hardware program\n");
    kzReleaseCC(b, KZ_STENCIL_UPDATE);
    kzReleaseCC(b, KZ_STENCIL_UPDATE);
    EXPECT_EQ(kzRegisterUseCount(KZU_cc1), 0);
    EXPECT_EQ(kzAllocCC(KZ_ADD_MACRO, KZ_CC_FRESH, nullptr), &kzuCCDescs[1]);
}

TEST_F(KzAllocTest, GarbageConditionCodeHandles) {
    const kzuCCDesc garbage = kzuCCDescs[1];  // the right words at the wrong place
    EXPECT_EQ(kzAllocCC(KZ_ALPHA_TEST, KZ_CC_JOIN, &garbage), &kzuCCDescs[0]);
    EXPECT_EQ(kzAllocConflict(), 1u);
    kzReleaseCC(nullptr, KZ_ALPHA_TEST);
    EXPECT_EQ(vnx::debug::take(),
              "XXXXXXXXXXXXX attempting to AND or OR with garbage cc!\n"
              "debug 17: aborting processing due to PROGRAMMER ERROR\n"
              "XXXXXXXXXXXXX attempting to release garbage cc!\n"
              "debug 17: aborting processing due to PROGRAMMER ERROR\n");
}

TEST_F(KzAllocTest, RefusedTypesHandOutNothing) {
    Claim(KZ_RES_CC, KZ_ALPHA_TEST);
    EXPECT_EQ(vnx::debug::take(),
              "kz2 render ucode generator calling kzAllocRegisterResource for cc\n"
              "debug 17: aborting processing due to PROGRAMMER ERROR\n"
              "kzAllocRegisterResource: ERROR: unknown regtype: 1 claimed by alpha test stage\n"
              "debug 17: aborting processing due to PROGRAMMER ERROR\n");
    EXPECT_EQ(kzAllocConflict(), 1u);
    for (ULONG r = 0; r <= KZU_cc2; ++r) EXPECT_EQ(kzRegisterUseCount(r), 0) << r;
}

TEST_F(KzAllocTest, ClaimantNames) {
    const std::pair<ULONG, const char*> names[] = {
        {1, "alpha test stage"},     {2, "stencil test stage"},   {4, "depth test stage"},
        {8, "blend stage"},          {16, "logicop stage"},       {32, "stencil update stage"},
        {64, "depth update stage"},  {128, "rgba update stage"},  {256, "stipple test stage"},
        {512, "pixel ownership test stage"}, {2048, "_kzuAdd macro"}, {4096, "texture code"}};
    for (const auto& [bit, name] : names) EXPECT_STREQ(kzClaimantName(bit), name);
    EXPECT_EQ(vnx::debug::take(), "");
    EXPECT_STREQ(kzClaimantName(KZ_ACCUMULATION), "");
    EXPECT_EQ(vnx::debug::take(),
              "kzAllocRegisterResource: ERROR: unknown claimant\n"
              "debug 17: aborting processing due to PROGRAMMER ERROR\n");
}

}  // namespace
