// The allocation hooks and the layer's start-up: the work arena, the stage
// table and the speed-over-memory switch.
#include <cstdlib>
#include <string>

#include "3d/context/arena.h"
#include "gl/server/lgi/lgi_fixture.h"

namespace lgi_test {
namespace {

int gcAlloc = 0;
int gcFree = 0;
bool gbFail = false;

void* pvCounting(std::size_t cb) {
    ++gcAlloc;
    return gbFail ? nullptr : std::calloc(1, cb);
}
void vCounting(void* pv) {
    ++gcFree;
    std::free(pv);
}

TEST_F(LgiTest, HooksReplacedFailingAndCounted) {
    gcAlloc = gcFree = 0;
    gbFail = false;
    _NSetAllocFuncs(pvCounting, vCounting);
    N_Context* p = N_CreateContext(0);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(gcAlloc, 7);  // the record, the name stack, two clip-plane and three light arrays
    const ULONG aul[4] = {0, 0x00100010, 0, 0x00200020};
    N_MakeCurrent(p);
    N_BindClipList(2, aul);
    EXPECT_EQ(gcAlloc, 9);
    N_DestroyContext(p);
    EXPECT_EQ(gcFree, gcAlloc);

    gbFail = true;
    vnx::debug::clear();
    EXPECT_EQ(_Nalloc(16), nullptr);
    EXPECT_EQ(vnx::debug::take(), "_Nalloc: failed!\n");
    EXPECT_EQ(N_CreateContext(0), nullptr);

    // Null selects the defaults again.
    _NSetAllocFuncs(nullptr, nullptr);
    const int cBefore = gcAlloc;
    void* pv = _Nalloc(16);
    EXPECT_NE(pv, nullptr);
    _Nfree(pv);
    EXPECT_EQ(gcAlloc, cBefore);
    vnx::debug::clear();
    _Nfree(nullptr);
    EXPECT_EQ(vnx::debug::take(), "_Nfree: NULL ptr!\n");
    N_MakeCurrent(ctx_);
}

// Setting state, running a stream and clearing allocate nothing.
TEST_F(LgiTest, NothingIsAllocatedWhileDrawing) {
    const ULONG aulRect[2] = {0, 0x00100010};
    N_BindClipList(1, aulRect);
    gcAlloc = 0;
    gbFail = false;
    _NSetAllocFuncs(pvCounting, vCounting);
    const float af[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    N_SetStateBlockAttr(52, af);
    const ULONG aul[] = {14, 23, 81, ulAttrDescriptor(81), gaNAttrTable[81].flDirty, 2,
                         67, 0x10, 1, 0, 0, 0, F(1)};
    N_DispatchPackets(aul, static_cast<LONG>(std::size(aul)));
    N_Clear(0xffffff, 0, 0, 8, 8, 1, 0);
    EXPECT_EQ(gcAlloc, 0);
}

TEST(LgiStartTest, ArenaTableAndStartUp) {
    N_Init(nullptr, nullptr, 0, 0);
    // The buffer table in 32-bit words is the layer's 11,117,008 bytes; on
    // this machine the pointer tables take a pointer a stage.
    EXPECT_EQ(cNArenaWords32() * 4, 11117008u);
    EXPECT_GE(cbNArena(), 11117008u + (N_STAGES + 4) * (sizeof(void*) - 4));
    EXPECT_EQ(gNArena.pReciprocal[0], 65536.0f);
    EXPECT_EQ(gNArena.pReciprocal[1], 1.0f);
    EXPECT_EQ(gNArena.pReciprocal[2309], 1.0f / 2309.0f);
    EXPECT_EQ(gNArena.pByteReplicate[0xab], 0xababababu);
    EXPECT_EQ(gNArena.pStageTable[0], &_NEmptyStage);
    EXPECT_EQ(gNArena.pStageTable[110], &_NEmptyStage);
    EXPECT_EQ(gNArena.pStageTable[111], &_NEmptyStage);
    EXPECT_NE(gNArena.pStageTable[2], &_NEmptyStage) << "a fixed stage";
    // Buffers lie one after another inside the arena.
    EXPECT_LT(gNArena.pVertexWork, gNArena.pVertexFlags);
    EXPECT_LT(reinterpret_cast<BYTE*>(gNArena.pStripWords) + 1008 * 4,
              reinterpret_cast<BYTE*>(gNArena.pVertexWork) + cbNArena() + 1);

    // Down and up again: without the arena the layer stays down.
    vnx::faults::Scope faults;
    _NFreeData();
    EXPECT_EQ(gNArena.pStageTable, nullptr);
    vnx::faults::arm("VirtualAlloc");
    vnx::debug::clear();
    N_Init(nullptr, nullptr, 0, 0);
    EXPECT_EQ(vnx::debug::take().find("lgi: can't alloc "), 0u);
    EXPECT_EQ(gNArena.pStageTable, nullptr);
    vnx::faults::clear();

    SetEnvironmentVariableA("__qrnGLSpeedOverMemory", "3");
    N_Init(nullptr, nullptr, 0, 0);
    SetEnvironmentVariableA("__qrnGLSpeedOverMemory", nullptr);
    const std::string out = vnx::debug::take();
    EXPECT_EQ(out.find("lgi: alloc "), 0u);
    EXPECT_NE(out.find("__qrnGLSpeedOverMemory = 3\n"), std::string::npos);
    EXPECT_EQ(glNSpeedOverMemory, 3);
    EXPECT_FALSE(bNHaveContext()) << "the first make-current always switches";
    glNSpeedOverMemory = 0;
}

}  // namespace
}  // namespace lgi_test
