// The generator driver over the fragment states the selectors send, and the
// accumulation program: each state builds (layout code, header, unit flags,
// packet image) or is refused as stated.
#include <bit>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "3d/context/context.h"
#include "context/buffers.h"
#include "context/image.h"
#include "gl/server/lgi/lgi_fixture.h"
#include "glpdev.h"
#include "kz2/ucode/kz2ucode.h"
#include "gl/server/lgi/kz2/kz2_fixture.h"
#include "kzprimwords.h"
#include "lgi/seams.h"
#include "shared/frame/hwframe.h"
#include "platform/gl_programs.h"

// The GL server core's scratch surfaces, as the generator asks for them: the
// tests hand the context a scratch pixmap of their own, and the temporary
// device surface is the one a test sets (none unless it does).
namespace {
GLBuffer* gpTmp32 = nullptr;

// A temporary 32-bit device surface for the scope.
struct Tmp32Surface {
    GLDeviceRecord rec{};
    GLBuffer buf{};
    Tmp32Surface() {
        rec.pid = 0x0047;
        buf.pDeviceRecord = &rec;
        buf.memoryKind = GLBUFFER_MEMORY_DEVICE;
        buf.bitsPerPixel = 32;
        buf.hsurf = reinterpret_cast<HSURF>(1);
        gpTmp32 = &buf;
    }
    ~Tmp32Surface() { gpTmp32 = nullptr; }
    Tmp32Surface(const Tmp32Surface&) = delete;
    Tmp32Surface& operator=(const Tmp32Surface&) = delete;
};
}  // namespace
GLBuffer* _DCreateScratchPixmap(PDEV*) { return nullptr; }
GLBuffer* _DGetTmp32DevSurf(GLBuffer*) { return gpTmp32; }
void _DFreeScratchPixmap(GLBuffer** ppb) { *ppb = nullptr; }

namespace {

using kz2_test::W;
using WordList = std::vector<ULONG>;
constexpr ULONG clip = 0x10000000u, ifcc0 = 0x20000000u;
constexpr ULONG kColourPid = 0x1234, kAlphaPid = 0x2222, kDepthPid = 0x4425, kStencilPid = 0x5526,
                kScratchPid = 0x0041, kBackPid = 0x1300;

struct Surface {
    GLDeviceRecord rec{};
    GLBuffer buf{};
    Surface(ULONG pid, ULONG bpp, LONG x = 0, LONG y = 0) {
        rec.pid = pid;
        buf.pDeviceRecord = &rec;
        buf.memoryKind = GLBUFFER_MEMORY_DEVICE;
        buf.bitsPerPixel = bpp;
        buf.x = x;
        buf.y = y;
        buf.hsurf = reinterpret_cast<HSURF>(1);
    }
};

class Kz2UcodeTest : public lgi_test::LgiTest {
  protected:
    void SetUp() override {
        LgiTest::SetUp();
        ULONG cjMax = 0;
        for (ULONG cj : {gGLPdevFields.cjPageConfig, gGLPdevFields.cjBoardConfig, gGLPdevFields.cjScreenSize,
                         gGLPdevFields.cjSwapState})
            cjMax = std::max(cjMax, cj);
        pdev_.assign(cjMax + 1024, 0);
        *pGLPdevField<PAGECONFIG*>(ppdev(), gGLPdevFields.cjPageConfig) = &pc_;
        plGLScreenSize(ppdev())[0] = 1024;
        plGLScreenSize(ppdev())[1] = 768;
        device_.ppdev = ppdev();
        hw()->pDevice = &device_;
        ctx_->apScratchPixmap[0] = &scratch_.buf;
        Bind(0, &colour_.buf);
        Attr(163) = 1;  // front left
        ctx_->cClipRects = 1;
        ctx_->pulPackedClip[0] = (10u << 16) | 5u;
        ctx_->pulPackedClip[1] = (100u << 16) | 200u;
        kzStartProgram(&prog_, 0, 0);
        gkzTrace = 0;
    }
    void TearDown() override {
        ctx_->apScratchPixmap[0] = nullptr;
        for (auto& slot : ctx_->buffers) slot.pBuffer = nullptr;
        gulNOptionWord = 0;
        gkzTrace = 0;
        LgiTest::TearDown();
    }
    PDEV* ppdev() { return reinterpret_cast<PDEV*>(pdev_.data()); }
    N_HwRecord* hw() { return ctx_->pHw; }
    ULONG& Attr(ULONG id, ULONG i = 0) { return pulAttr(ctx_, id)[i]; }
    void Bind(ULONG slot, GLBuffer* pb) { ctx_->buffers[slot].pBuffer = pb; }
    ULONG Build(ULONG flags = 0xC005, ULONG request = 2, ULONG pass = 0) {
        hw()->batchCount = 7;
        return kz2_ConstructKzUcode(hw(), &prog_, flags, 0, request, pass);
    }
    WordList Words() const { return WordList(prog_.instr, prog_.instr + prog_.instrCount); }
    WordList Image() const { return WordList(prog_.image.w, prog_.image.w + prog_.image.w[KZ_IMG_WORDS]); }
    void Blend(ULONG sf, ULONG df) {
        ctx_->enableWord |= 0x2000;
        Attr(121, 0) = sf;
        Attr(121, 1) = df;
    }

    std::vector<BYTE> pdev_;
    PAGECONFIG pc_{};
    GLSRVDEVICE device_{};
    Surface colour_{kColourPid, 32, 0, 0};
    Surface alpha_{kAlphaPid, 8};
    Surface depth_{kDepthPid, 32};
    Surface stencil_{kStencilPid, 8};
    Surface scratch_{kScratchPid, 32};
    Surface back_{kBackPid, 32};
    kzRenderProg prog_{};
};

// The default state: one copy of the colour into the colour buffer.
TEST_F(Kz2UcodeTest, DefaultProgramWordForWord) {
    ASSERT_EQ(Build(), 1u);
    EXPECT_EQ(prog_.valid, 1u);
    EXPECT_EQ(prog_.dataAttr, 2u);
    EXPECT_EQ(prog_.header, 0x02103025u);
    EXPECT_EQ(prog_.surface, kColourPid);
    EXPECT_EQ(hw()->batchCount, N_BATCH_PRIMS);
    // The clip pair: the packed rectangle's first and last pixels.
    EXPECT_EQ(Image(), (WordList{0x02103025u, 0, kColourPid, 0x10360348u, (10u << 16) | 5u, (99u << 16) | 199u}));
    EXPECT_EQ(prog_.image.w[KZ_IMG_PRIM_WORDS], 6u);
    EXPECT_EQ(prog_.image.w[KZ_IMG_UNIT28], 1u);
    EXPECT_EQ(prog_.image.w[KZ_IMG_UNIT27], 1u);
    // Dithered: colour plus the pattern register where the pixel keeps
    // fewer bits than the colour word (16 bits); 8-bit channels (32 bits)
    // have nothing to dither and take the copy.
    Attr(122) = 1;
    ASSERT_EQ(Build(), 1u);
    EXPECT_EQ(Words(), (WordList{0x10360348u}));
    colour_.buf.bitsPerPixel = 16;
    ASSERT_EQ(Build(), 1u);
    EXPECT_EQ(Words(), (WordList{0x10366349u}));
    colour_.buf.bitsPerPixel = 32;
    // A line class takes its header bits; points ask form 1 with depth data.
    ASSERT_EQ(Build(0x30003 | 0xC000 | 0x10, 2), 1u);
    EXPECT_EQ(prog_.header & 0x19F, 0x13u);
}

TEST_F(Kz2UcodeTest, Refusals) {
    // No draw surface: the program is not touched.
    Bind(0, nullptr);
    prog_.valid = 0x55;
    EXPECT_EQ(Build(), 0u);
    EXPECT_EQ(prog_.valid, 0x55u);
    Bind(0, &colour_.buf);
    // Texturing: no texture level on the board.
    ctx_->enableWord = 0x400;
    EXPECT_EQ(Build(0xC005, 2, 1), 0u);
    EXPECT_EQ(prog_.valid, 0u);
    EXPECT_TRUE(Printed("the texture level is not on the board"));
    // Textured passes do not blend.
    Blend(1, 1);
    vnx::debug::clear();
    EXPECT_EQ(Build(0xC005, 2, 3), 0u);
    EXPECT_TRUE(Printed("no blending"));
    // An alpha buffer blend on a layout without alpha.
    ctx_->enableWord = 0x2000 | 0x8;
    Bind(2, &alpha_.buf);
    EXPECT_EQ(Build(0xC005, 2), 0u);
    EXPECT_TRUE(Printed("PROGRAMMER ERROR in blend: attr = 2: no ALPHA"));
}

// Without a scratch pixmap (the board memory has no room for one) the
// programs that never read it still build; a program that would (the window
// clip's mask, a work register spilled into the shared scratch pixmap,
// which takes the default pid without a temporary surface) is refused, so
// its primitives take the software paths. The context says so once.
TEST_F(Kz2UcodeTest, NoScratchPixmapRefusesOnlyProgramsThatNeedIt) {
    struct Case {
        const char* name;
        std::function<void(N_Context*)> state;
        bool bNeedsPixmap;
    };
    const Case cases[] = {
        {"plain colour write", [](N_Context*) {}, false},
        {"depth test", [](N_Context* c) { c->enableWord = 0x10; }, false},
        {"depth test with writes off", [](N_Context* c) { c->enableWord = 0x10 | 0x800000; }, false},
        {"a blended sum clamped through the shared scratch pixmap", [](N_Context* c) {
             c->enableWord = 0x2000;
             pulAttr(c, 121)[0] = 4;  // source alpha
             pulAttr(c, 121)[1] = 1;  // one
         }, true},
        {"window clip", [](N_Context* c) { c->clipControl = 1; }, true},
    };
    const std::string noRoom =
        "kz2_ConstructKzUcode: no room in board memory for the scratch pixmap: no render programs that need it\n";
    Bind(4, &depth_.buf);
    Attr(119) = 1;
    colour_.buf.bitsPerPixel = 16;
    vnx::debug::clear();
    for (const Case& c : cases) {
        ctx_->apScratchPixmap[0] = nullptr;
        ctx_->enableWord = 0;
        ctx_->clipControl = 0;
        c.state(ctx_);
        EXPECT_EQ(Build(), c.bNeedsPixmap ? 0u : 1u) << c.name;
        EXPECT_EQ(prog_.valid, c.bNeedsPixmap ? 0u : 1u) << c.name;
        if (!c.bNeedsPixmap) {
            // Nothing in the built program names the missing pixmap.
            for (ULONG n = 0; n < 2 * prog_.pidCount; ++n)
                EXPECT_NE((prog_.pids[n / 2] >> (16 * (n & 1))) & 0xFFFFu, 0xFFFFu) << c.name;
        }
        // With the pixmap every one of them builds.
        ctx_->apScratchPixmap[0] = &scratch_.buf;
        EXPECT_EQ(Build(), 1u) << c.name;
    }
    ctx_->clipControl = 0;
    const std::string said = vnx::debug::take();
    EXPECT_EQ(said.find(noRoom), said.rfind(noRoom)) << said;
    EXPECT_NE(said.find(noRoom), std::string::npos) << said;
    EXPECT_NE(said.find("the program needs a scratch pixmap that board memory has no room for"), std::string::npos);
}

// Depth test by function, writes on and off, and the remap under a logic
// operation.
TEST_F(Kz2UcodeTest, DepthTestByFunction) {
    Bind(4, &depth_.buf);
    const ULONG zpx = 14, z0 = 28, c0 = 32;
    for (ULONG logic = 0; logic < 2; ++logic) {
        for (ULONG func = 0; func < 8; ++func) {
            ctx_->enableWord = 0x10 | (logic ? 0x40000000u : 0);
            Attr(124) = 3;
            Attr(119) = func;
            ASSERT_EQ(Build(), 1u) << func;
            EXPECT_EQ(prog_.dataAttr, 12u);
            EXPECT_EQ(kzuHdrLoadKindOf(prog_.header, z0), 3u);
            EXPECT_EQ(prog_.pids[0], kColourPid | (kDepthPid & 31) << 16);
            ULONG f = func;
            if (logic && f == 1) f = 3;
            if (logic && f == 4) f = 6;
            const ULONG cmp[8] = {0x25, 0x21, 0x23, 0x22, 0x25, 0x25, 0x24, 0x23};
            const WordList w = Words();
            const ULONG op = f == 5 ? 0x02 : cmp[f];
            EXPECT_EQ(w[0] & 0x3F, op) << "function " << func << " logic " << logic;
            if (f == 1) EXPECT_EQ(w[0], W(0x21, zpx, z0, zpx) | clip | ifcc0);
            EXPECT_EQ(prog_.constants[0], 0u);
            EXPECT_EQ(prog_.header & KZU_HDR_CONSTANTS_MASK, KZU_CONSTANTS_8_PER_PKT);
            // The colour write runs where the test passed.
            const ULONG last = w.back();
            EXPECT_EQ(last & 0xE0000000u, ifcc0);
            (void)c0;
        }
    }
    // Writes off: the compare delivers into a work register.
    ctx_->enableWord = 0x10 | 0x800000;
    Attr(119) = 1;
    ASSERT_EQ(Build(), 1u);
    EXPECT_EQ(kzuR(Words()[0]), KZU_pr0 + 11) << "the texture's second register: nothing spills";
    EXPECT_EQ(prog_.pidCount, 1u) << "one pid word: the colour and depth pixmaps, no scratch pixmap";
    // Points: the depth load kind of the raised code.
    ASSERT_EQ(Build(0x8000, 5), 1u);
    EXPECT_EQ(prog_.dataAttr, 15u);
    EXPECT_EQ(kzuHdrLoadKindOf(prog_.header, z0), 2u);
    EXPECT_EQ(kzuHdrLoadKindOf(prog_.header, KZU_rgb0), 2u);
}

TEST_F(Kz2UcodeTest, StencilAndAlphaTests) {
    Bind(5, &stencil_.buf);
    ctx_->enableWord = 0x800;
    Attr(114, 0) = 2;  // equal
    Attr(114, 1) = 1;
    Attr(114, 2) = 0xFF;
    Attr(115, 0) = 3;  // fail: increment
    Attr(115, 1) = 2;  // depth pass: replace
    Attr(115, 2) = 0;
    ASSERT_EQ(Build(), 1u);
    EXPECT_EQ(prog_.dataAttr, 12u);
    const ULONG spx = 14, mask = 33, ref = 34, T1 = 8, T2 = 9;
    EXPECT_EQ(prog_.constants[1], 0xFFu);
    EXPECT_EQ(prog_.constants[2], 1u);
    const WordList w = Words();
    ASSERT_EQ(w.size(), 8u);
    EXPECT_EQ(w[0], W(0x00, T2, spx, mask) | clip);
    EXPECT_EQ(w[1], W(0x28, T1, ref, T2) | clip) << "equal on cc1";
    EXPECT_EQ(w[2], W(0x00, T2, spx, mask) | clip) << "the inverted test on cc2: not equal";
    EXPECT_EQ(w[3], W(0x02, T1, ref, T2) | clip);
    EXPECT_EQ(w[4], W(0x2F, T2, T1, 32) | clip);
    EXPECT_EQ(w[5], W(0x09, spx, spx, ref) | clip | ifcc0 | 0x80000000u) << "increment by the masked reference";
    EXPECT_EQ(w[6], W(0x08, spx, ref, 0) | clip | ifcc0 | 0x40000000u) << "replace where the tests pass";
    EXPECT_EQ(w[7], 0x30360348u | 0x40000000u) << "colour under both codes";
    // A write mask keeping bits 0 and 1: the value the fragment started with
    // goes aside into the texture's first register, and after the updates
    // its kept bits come back.
    *pulAttr(ctx_, N_ATTR_STENCIL_MASK) = 0xFC;
    ASSERT_EQ(Build(), 1u);
    const WordList masked = Words();
    const ULONG keep = 35, T3 = 10;
    EXPECT_EQ(prog_.constants[3], 0xFCu);
    ASSERT_EQ(masked.size(), 12u);
    EXPECT_EQ(masked[0], W(0x08, T3, spx, 0) | clip);
    EXPECT_EQ(masked[8], W(0x00, T1, spx, keep) | clip);
    EXPECT_EQ(masked[9], W(0x05, T3, T3, keep) | clip);
    EXPECT_EQ(masked[10], W(0x01, spx, T1, T3) | clip);
    EXPECT_EQ(masked[11], 0x30360348u | 0x40000000u);
    *pulAttr(ctx_, N_ATTR_STENCIL_MASK) = 0xFF;

    // Alpha test on a layout without alpha: the current alpha as a constant.
    ctx_->enableWord = 0x4000;
    Attr(117, 0) = 1;
    Attr(117, 1) = std::bit_cast<ULONG>(0.5f);
    Attr(52, 3) = std::bit_cast<ULONG>(1.0f);
    ASSERT_EQ(Build(), 1u);
    EXPECT_EQ(prog_.constants[1], 128u);
    EXPECT_EQ(prog_.constants[2], 256u);
    EXPECT_EQ(Words()[0], W(0x21, T1, 34, 33) | clip | ifcc0);
    // With alpha in the colour: the alpha data register, load kind 2 for 6.
    ASSERT_EQ(Build(0x8000, 6), 1u);
    EXPECT_EQ(kzuA(Words()[0]), KZU_z0);
    EXPECT_EQ(kzuHdrLoadKindOf(prog_.header, KZU_z0), 2u);
}

// A point or pixel program (flags without the line and polygon bits) names
// in its header exactly the data words its layout has each pixel send
// (colour, alpha, depth, before the position): a layout with a depth word
// the header does not load would have the board take that word for the
// position and every later word one place late. The stencil test reads no
// depth: alone it keeps the layout; the depth test raises it.
TEST_F(Kz2UcodeTest, PixelLayoutsLoadEveryWordTheySend) {
    Bind(4, &depth_.buf);
    Bind(5, &stencil_.buf);
    struct Case {
        const char* name;
        ULONG enable, request, layout;
    };
    const Case cases[] = {
        {"colour, stencil test", 0x800, 5, 5},
        {"colour and alpha, stencil test", 0x800, 6, 6},
        {"colour, depth test", 0x10, 5, 15},
        {"colour and alpha, depth test", 0x10, 6, 16},
        {"colour, both tests", 0x810, 5, 15},
        {"colour and alpha, both tests", 0x810, 6, 16},
    };
    for (const Case& c : cases) {
        ctx_->enableWord = c.enable;
        Attr(114, 0) = 2;  // stencil equal 1
        Attr(114, 1) = 1;
        Attr(114, 2) = 0xFF;
        ASSERT_EQ(Build(0x8000, c.request), 1u) << c.name;
        EXPECT_EQ(prog_.dataAttr, c.layout) << c.name;
        const ULONG d = prog_.dataAttr;
        const ULONG sent = ((d == 5 || d == 6 || d == 15 || d == 16) ? 1u : 0u) + ((d == 6 || d == 16) ? 1u : 0u) +
                           ((d == 15 || d == 16) ? 1u : 0u);
        ULONG loaded = 0;
        for (ULONG reg = KZU_rgb0; reg <= KZU_z2; ++reg) loaded += kzuHdrLoadKindOf(prog_.header, reg) != 0 ? 1u : 0u;
        EXPECT_EQ(loaded, sent) << c.name;
    }
}

// Every GL 1.0 factor pair, with and without an alpha buffer, at 16 and 32
// bits, dithered or not: a program. Below 16 bits the pairs that need two
// scratch values at once are refused.
TEST_F(Kz2UcodeTest, EveryBlendPair) {
    Bind(2, &alpha_.buf);
    const ULONG srcs[] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
    const ULONG dsts[] = {0, 1, 9, 10, 4, 5, 6, 7};
    for (ULONG bpp : {8u, 16u, 32u}) {
        colour_.buf.bitsPerPixel = bpp;
        for (ULONG alphaBuffer = 0; alphaBuffer < 2; ++alphaBuffer) {
            for (ULONG dither = 0; dither < 2; ++dither) {
                for (ULONG request : {2u, 3u}) {
                    for (ULONG sf : srcs) {
                        for (ULONG df : dsts) {
                            ctx_->enableWord = alphaBuffer ? 0x8 : 0;
                            Blend(sf, df);
                            Attr(122) = dither;
                            const ULONG got = Build(0xC005, request);
                            const std::string where = "bpp " + std::to_string(bpp) + " alpha " +
                                                      std::to_string(alphaBuffer) + " dither " +
                                                      std::to_string(dither) + " request " +
                                                      std::to_string(request) + " pair " + std::to_string(sf) +
                                                      "," + std::to_string(df);
                            // Only a blend that needs the source alpha the layout does not
                            // carry is refused: the source-alpha blends' own work registers
                            // find the blend stage's spare ones, never the shared scratch
                            // pixmap, which may be the colour buffer's pixel itself.
                            const bool bRefused = alphaBuffer && request == 2;
                            EXPECT_EQ(got, bRefused ? 0u : 1u) << where;
                            if (got == 0) continue;
                            EXPECT_EQ(kzuHdrInstructions(prog_.header), prog_.instrCount) << where;
                            EXPECT_EQ(prog_.image.w[0], prog_.header) << where;
                            // A blend that leaves the pixel as it is still places a word:
                            // a command word of no instructions is no drawing packet.
                            EXPECT_GT(prog_.instrCount, 0u) << where;
                            // At 32 bits (no maximum-colour clamp) nothing is kept in a
                            // scratch pixmap: one pid word, the colour and alpha pixmaps.
                            if (bpp == 32) EXPECT_EQ(prog_.pidCount, 1u) << where;
                        }
                    }
                }
            }
        }
    }
    vnx::debug::clear();
}

// Under the stencil test every colour-stage word is predicated on the
// stencil test's code as well: no later word may set that code again (a
// blend's add step, a masked blend's sum, the saturate factor's minimum),
// or the rest of the colour stage would run where that step carried.
TEST_F(Kz2UcodeTest, TheStencilCodeHoldsThroughTheColourStage) {
    Bind(2, &alpha_.buf);
    Bind(5, &stencil_.buf);
    Bind(8, &back_.buf);
    Attr(114, 0) = KZ_ALWAYS;
    Attr(114, 2) = 0xFF;
    Attr(127) = 0x00FF00FF;
    struct Case {
        const char* name;
        ULONG en, sf, df, request, drawBuffer;
    } const cases[] = {
        {"masked blend", 0x800 | 0x2000 | 0x400000, 4, 5, 3, 1},
        {"masked ONE, ONE", 0x800 | 0x2000 | 0x400000, 1, 1, 2, 1},
        {"alpha buffer's blend", 0x800 | 0x2000 | 0x8, 4, 5, 3, 1},
        {"saturate with an alpha buffer", 0x800 | 0x2000 | 0x8, 8, 1, 3, 1},
        {"source-alpha blend into two draw buffers", 0x800 | 0x2000, 1, 5, 3, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ctx_->enableWord = c.en;
        Attr(121, 0) = c.sf;
        Attr(121, 1) = c.df;
        Attr(163) = c.drawBuffer;
        ASSERT_EQ(Build(0xC005, c.request), 1u);
        const WordList w = Words();
        // The stencil test's code: the one its compare sets.
        std::optional<ULONG> stencilCode;
        std::size_t i = 0;
        for (; i < w.size() && !stencilCode; ++i) {
            const kzuOpInfo info = kzuDecodeOp(w[i] & 0x3F);
            if (info.kind == KZU_KIND_COMPARE) stencilCode = info.cc;
        }
        ASSERT_TRUE(stencilCode.has_value());
        const ULONG pred = kzuCCDescs[*stencilCode].w[KZU_CC_PRED_WORD];
        ULONG predicated = 0;
        for (; i < w.size(); ++i) {
            const kzuOpInfo info = kzuDecodeOp(w[i] & 0x3F);
            const bool bSets = info.kind == KZU_KIND_COMPARE || info.kind == KZU_KIND_CC_OP;
            EXPECT_FALSE(bSets && info.cc == *stencilCode) << "word " << i << " " << std::hex << w[i];
            if (w[i] & pred) ++predicated;
        }
        EXPECT_GT(predicated, 0u);
    }
    Attr(163) = 1;
    vnx::debug::clear();
}

TEST_F(Kz2UcodeTest, BlendForms) {
    // The dithered SRC_ALPHA, ONE_MINUS_SRC_ALPHA without alpha at 16 bits:
    // one word. At 32 bits, which take no dither, the blend's own copy.
    Blend(4, 5);
    Attr(122) = 1;
    colour_.buf.bitsPerPixel = 16;
    ASSERT_EQ(Build(), 1u);
    EXPECT_EQ(Words(), (WordList{0x10366349u}));
    // Dithering off at 16 bits: no pattern added, the blend's own copy.
    Attr(122) = 0;
    ASSERT_EQ(Build(), 1u);
    EXPECT_EQ(Words(), (WordList{0x10360348u}));
    Attr(122) = 1;
    colour_.buf.bitsPerPixel = 32;
    ASSERT_EQ(Build(), 1u);
    EXPECT_EQ(Words(), (WordList{0x10360348u}));
    // SRC_ALPHA_SATURATE with an alpha buffer: the factor first, the alpha
    // buffer restored, then the blend and the alpha update. The factor is
    // kept in the blend stage's third work register: no pixmap beside the
    // colour and alpha buffers', so it cannot land on a buffer's pixel.
    Bind(2, &alpha_.buf);
    ctx_->enableWord = 0x2000 | 0x8;
    Attr(121, 0) = 8;
    Attr(121, 1) = 0;
    ASSERT_EQ(Build(0xC005, 3), 1u);
    const WordList w = Words();
    const ULONG Ad = 14, F = 10, T1 = 8;
    EXPECT_EQ(prog_.pidCount, 1u) << "one pid word: the colour and the alpha buffer's pids";
    EXPECT_EQ(prog_.pids[0], kColourPid | kAlphaPid << 16);
    EXPECT_EQ(w[0], W(0x08, T1, Ad, 0) | clip);
    EXPECT_EQ(w[3], W(0x08, F, Ad, 0) | clip);
    EXPECT_EQ(w[4], W(0x08, Ad, T1, 0) | clip);
    EXPECT_EQ(w[5], W(0x1D, 13, 27, F) | clip) << "D = S x F";
    EXPECT_EQ(w[6], W(0x08, Ad, 29, 0) | clip) << "the alpha buffer takes As (z1: z0 is the depth register of the class)";
    // Unit flag 66: blending without depth test on a board without the blend option.
    EXPECT_EQ(prog_.image.w[KZ_IMG_UNIT28], 0u);
    pGLBoardConfig(ppdev())->flags = BCF_HW_OPTION;
    ASSERT_EQ(Build(0xC005, 3), 1u);
    EXPECT_EQ(prog_.image.w[KZ_IMG_UNIT28], 1u);
    // Masked: the blend goes through the merge under the mask constant.
    ctx_->enableWord = 0x2000 | 0x400000;
    Attr(121, 0) = 1;
    Attr(121, 1) = 0;
    Attr(127) = 0x00FF00FF;
    ASSERT_EQ(Build(), 1u);
    EXPECT_EQ(prog_.constants[0], 0x00FF00FFu);
    EXPECT_EQ(Words(), (WordList{W(0x08, 8, 27, 0) | clip, W(0x00, 8, 8, 32) | clip, W(0x05, 9, 13, 32) | clip,
                                 W(0x01, 13, 8, 9) | clip}));
}

// GL writes the alpha buffer wherever it writes the colour, not only while
// blending: without blending the fragment's alpha is copied into it (the
// alpha register, or the current alpha on a layout without one), under the
// tests; its write mask (alpha writes off) leaves it alone.
TEST_F(Kz2UcodeTest, AlphaBufferIsWrittenWithoutBlending) {
    Bind(2, &alpha_.buf);
    const ULONG Ad = 14;
    ctx_->enableWord = 0x8;
    ASSERT_EQ(Build(0xC005, 3), 1u);
    EXPECT_EQ(Words(), (WordList{0x10360348u, W(0x08, Ad, 29, 0) | clip})) << "As in z1";
    EXPECT_EQ(prog_.pids[0], kColourPid | kAlphaPid << 16);
    // No alpha in the layout: the current alpha as a constant holding the
    // 8-bit alpha pixel's byte, which the copy stores (1.0 is 255: the 9-bit
    // form's 256 would store 0).
    for (const auto& [alpha, stored] : {std::pair{0.75f, 191u}, std::pair{1.0f, 255u}, std::pair{0.0f, 0u}}) {
        Attr(52, 3) = std::bit_cast<ULONG>(alpha);
        ASSERT_EQ(Build(0xC005, 2), 1u);
        const WordList w = Words();
        ASSERT_EQ(w.size(), 2u);
        const ULONG K = w[1] >> 17 & 0x3Fu;
        EXPECT_EQ(w[1], W(0x08, Ad, K, 0) | clip);
        ASSERT_GE(K, 32u);
        EXPECT_EQ(prog_.constants[K - 32], stored) << alpha;
    }
    // Under a depth test: the copy takes the test's predicate.
    ctx_->enableWord = 0x8 | 0x10;
    Bind(4, &depth_.buf);
    ASSERT_EQ(Build(0xC005, 3), 1u);
    EXPECT_EQ(Words().back() & ~0xE0000000u, W(0x08, 15, 29, 0) | clip) << "the depth pixmap is 14";
    EXPECT_EQ(prog_.pids[0] >> 16, kDepthPid & 31u);
    EXPECT_EQ(prog_.pids[1] & 0xFFFFu, kAlphaPid);
    EXPECT_NE(Words().back() & 0xE0000000u, 0u) << "predicated";
    Bind(4, nullptr);
    // Alpha writes off, or no alpha buffer: the colour alone.
    for (ULONG en : {0x8u | 0x1000000u, 0u}) {
        ctx_->enableWord = en;
        ASSERT_EQ(Build(0xC005, 3), 1u);
        EXPECT_EQ(Words(), (WordList{0x10360348u})) << en;
    }
}

TEST_F(Kz2UcodeTest, WritesAndLogicOps) {
    // Masked write in RGBA mode.
    ctx_->enableWord = 0x400000;
    Attr(127) = 0x00FFFF00;
    ASSERT_EQ(Build(), 1u);
    EXPECT_EQ(Words(), (WordList{W(0x00, 8, 27, 32) | clip, W(0x05, 9, 13, 32) | clip, W(0x01, 13, 8, 9) | clip}));
    // A logic operation: xor of the fragment into the pixel.
    ctx_->enableWord = 0x40000000;
    Attr(124) = 6;
    ASSERT_EQ(Build(), 1u);
    EXPECT_EQ(Words(), (WordList{W(0x02, 13, 27, 13) | clip}));
    // CLEAR and SET with no other stage read a constant 0 the program
    // places, not a work register (pr0 holds whatever the pattern group
    // left in it).
    for (const auto& [op, opcode] : {std::pair{0u, 0x08u}, std::pair{15u, 0x07u}}) {
        Attr(124) = op;
        ASSERT_EQ(Build(), 1u) << op;
        ASSERT_EQ(Words().size(), 1u) << op;
        const ULONG A = kzuA(Words()[0]);
        EXPECT_EQ(Words()[0], W(opcode, 13, A, 0) | clip) << op;
        ASSERT_GE(A, KZU_constant_0) << op;
        ASSERT_LE(A, KZU_constant_7) << op;
        EXPECT_EQ(prog_.constants[A - KZU_constant_0], 0u) << op;
        EXPECT_GE(prog_.constantCount, 1u) << op;
    }
    // Colour index on a one-bit surface: the two bit constants, the swap word cleared.
    ctx_->enableWord = 0;
    Attr(83) = 1;
    colour_.buf.bitsPerPixel = 1;
    plGLSwapState(ppdev())[0] = 5;
    ASSERT_EQ(Build(), 1u);
    EXPECT_EQ(plGLSwapState(ppdev())[0], 0);
    EXPECT_EQ(prog_.constants[1], 0xDFFF7Fu);
    EXPECT_EQ(prog_.constants[2], 0x800000u);
    EXPECT_EQ(prog_.constants[3], 0x7FFFFFu);
    EXPECT_EQ(prog_.image.w[KZ_IMG_UNIT28], 0u) << "one bit a pixel";
    // Colour index with logic operations enabled: the context's operation
    // on the index; with them off, a copy.
    colour_.buf.bitsPerPixel = 8;
    ctx_->enableWord = 0x40000000;
    Attr(124) = 6;
    ASSERT_EQ(Build(), 1u);
    EXPECT_EQ(Words(), (WordList{W(0x02, 13, 27, 13) | clip}));
    ctx_->enableWord = 0;
    ASSERT_EQ(Build(), 1u);
    EXPECT_EQ(Words(), (WordList{W(0x08, 13, 27, 0) | clip}));
    // Two draw buffers: a copy into the second; unit flag 66 cleared.
    Attr(83) = 0;
    colour_.buf.bitsPerPixel = 32;
    Bind(1, &back_.buf);
    Attr(163) = 5;
    ASSERT_EQ(Build(), 1u);
    EXPECT_EQ(Words(), (WordList{0x10360348u, W(0x08, 14, 13, 0) | clip}));
    EXPECT_EQ(prog_.pids[0], kColourPid | kBackPid << 16);
    EXPECT_EQ(prog_.image.w[KZ_IMG_UNIT28], 0u);
}

TEST_F(Kz2UcodeTest, PixelRectanglesAndTrace) {
    ASSERT_EQ(Build(0x8000, 22), 1u);
    EXPECT_EQ(prog_.dataAttr, 22u);
    EXPECT_EQ(Words(), (WordList{0x1000000Bu}));
    EXPECT_EQ(prog_.pidCount, 1u);
    EXPECT_EQ(prog_.pids[0], 0u);
    Bind(5, &stencil_.buf);
    ASSERT_EQ(Build(0x8000, 22), 1u);
    EXPECT_EQ(Words(), (WordList{W(0x08, 13, 27, 0) | clip}));
    EXPECT_EQ(prog_.pids[0], kStencilPid & 31);
    // The trace prints every word and the program, and switches itself off.
    gkzTrace = 1;
    vnx::debug::clear();
    ASSERT_EQ(Build(), 1u);
    EXPECT_TRUE(Printed("adding instruction 10360348 at kz2_ConstructKzUcode"));
    EXPECT_TRUE(Printed("dataAttr == 2"));
    EXPECT_EQ(gkzTrace, 0u);
}

// --- the accumulation program -------------------------------------------------------------------
TEST_F(Kz2UcodeTest, AccumulationProgram) {
    gulNOptionWord = N_OPTION_ACCUM_NO_CLIP;
    ASSERT_EQ(kzConstructRenderProgAccum(hw(), &prog_, 0), 1u);
    EXPECT_EQ(prog_.header, 0x02102000u);
    EXPECT_EQ(prog_.dataAttr, 5u);
    EXPECT_EQ(Words(), (WordList{0x00360348u}));
    // With the clip rectangle and the alpha buffer.
    gulNOptionWord = 0;
    Bind(2, &alpha_.buf);
    colour_.buf.x = 16;
    colour_.buf.y = 32;
    ASSERT_EQ(kzConstructRenderProgAccum(hw(), &prog_, 1), 1u);
    EXPECT_EQ(prog_.header, 0x0220A020u);
    EXPECT_EQ(prog_.dataAttr, 6u);
    EXPECT_EQ(Words(), (WordList{0x10360348u, 0x10380388u}));
    EXPECT_EQ(prog_.clipMin, ((10u + 32) << 16) | (5 + 16));
    // The packed far corner (100, 200) lies just outside: the last pixel in.
    EXPECT_EQ(prog_.clipMax, ((99u + 32) << 16) | (199 + 16));
    // Alpha writes off: two pids, one write.
    ctx_->enableWord = 0x1000000;
    ASSERT_EQ(kzConstructRenderProgAccum(hw(), &prog_, 1), 1u);
    EXPECT_EQ(prog_.pidCount, 1u);
    EXPECT_EQ(prog_.pids[0], kColourPid | kAlphaPid << 16);
    EXPECT_EQ(Words(), (WordList{0x10360348u}));
    // Under the write mask: the mask is the first constant.
    ctx_->enableWord = 0x400000;
    Attr(127) = 0x00F0F0F0;
    ASSERT_EQ(kzConstructRenderProgAccum(hw(), &prog_, 0), 1u);
    EXPECT_EQ(prog_.constants[0], 0x00F0F0F0u);
    EXPECT_EQ(prog_.header & KZU_HDR_CONSTANTS_MASK, KZU_CONSTANTS_8_PER_PKT);
    EXPECT_EQ(Words(), (WordList{0x10370000u, 0x101B0045u, 0x10000B41u}));
    // A surface without its clip word: refused.
    colour_.buf.hsurf = nullptr;
    EXPECT_EQ(kzConstructRenderProgAccum(hw(), &prog_, 0), 0u);
    EXPECT_EQ(prog_.valid, 0u);
    colour_.buf.hsurf = reinterpret_cast<HSURF>(1);
    Bind(0, nullptr);
    prog_.valid = 9;
    EXPECT_EQ(kzConstructRenderProgAccum(hw(), &prog_, 0), 0u);
    EXPECT_EQ(prog_.valid, 9u);
}

// The board model's picture tests draw with the program words of
// tests/platform/gl_programs.h: for each fragment state those pictures use,
// the generator emits the same words, pid list and constants (layout 12,
// dithering on).
TEST_F(Kz2UcodeTest, BoardPictureTestsDrawWithTheGeneratorsPrograms) {
    namespace g = vnx::glref;
    Bind(4, &depth_.buf);
    Bind(5, &stencil_.buf);
    auto factor = [](unsigned gl) -> ULONG {
        switch (gl) {
        case g::kZero: return KZ_BLEND_ZERO;
        case g::kOne: return KZ_BLEND_ONE;
        case g::kDstColor: return KZ_BLEND_DST_COLOR;
        case g::kOneMinusDstColor: return KZ_BLEND_ONE_MINUS_DST_COLOR;
        case g::kSrcAlpha: return KZ_BLEND_SRC_ALPHA;
        case g::kOneMinusSrcAlpha: return KZ_BLEND_ONE_MINUS_SRC_ALPHA;
        case g::kSrcColor: return KZ_BLEND_SRC_COLOR;
        default: return KZ_BLEND_ONE_MINUS_SRC_COLOR;
        }
    };
    auto stencilOp = [](unsigned gl) -> ULONG {
        switch (gl) {
        case g::kZero: return KZ_STENCIL_ZERO;
        case g::kReplace: return KZ_STENCIL_REPLACE;
        case g::kIncr: return KZ_STENCIL_INCR;
        case g::kDecr: return KZ_STENCIL_DECR;
        case g::kInvert: return KZ_STENCIL_INVERT;
        default: return KZ_STENCIL_KEEP;
        }
    };
    auto check = [&](const std::string& name, const g::State& s, ULONG bpp) {
        SCOPED_TRACE(name + " at " + std::to_string(bpp) + " bits");
        colour_.buf.bitsPerPixel = bpp;
        ULONG en = 0;
        if (s.depthTest) en |= 0x10 | (s.depthWrites ? 0 : 0x800000u);
        if (s.alphaTest) en |= 0x4000;
        if (s.stencilTest) en |= 0x800;
        if (s.blend) en |= 0x2000;
        if (s.logicOp) en |= 0x40000000u;
        ctx_->enableWord = en;
        Attr(119) = s.depthFunc - g::kNever;
        Attr(124) = s.logic - g::kClear;
        Attr(121, 0) = factor(s.srcFactor);
        Attr(121, 1) = factor(s.dstFactor);
        Attr(117, 0) = s.alphaFunc - g::kNever;
        Attr(117, 1) = std::bit_cast<ULONG>(s.alphaRef);
        Attr(52, 3) = std::bit_cast<ULONG>(s.alpha);
        Attr(114, 0) = s.stencilFunc - g::kNever;
        Attr(114, 1) = static_cast<ULONG>(s.stencilRef);
        Attr(114, 2) = s.stencilMask;
        Attr(115, 0) = stencilOp(s.stencilFail);
        Attr(115, 1) = stencilOp(s.stencilZpass);
        Attr(115, 2) = stencilOp(s.stencilZfail);
        Attr(122) = 1;  // dithering
        ASSERT_EQ(Build(), 1u);
        const g::Program expected = g::program_for(
            s, static_cast<int>(bpp), g::ProgramPids{kColourPid, kDepthPid, kStencilPid, kScratchPid});
        EXPECT_EQ(Words(), WordList(expected.words.begin(), expected.words.end()));
        std::vector<std::uint16_t> pids;
        for (ULONG i = 0; i < 2 * prog_.pidCount; ++i) pids.push_back(static_cast<std::uint16_t>(prog_.pids[i / 2] >> (16 * (i & 1))));
        while (pids.size() > expected.pids.size() && pids.back() == 0) pids.pop_back();
        EXPECT_EQ(pids, expected.pids);
        EXPECT_EQ(prog_.constantCount, expected.constants.size());
        EXPECT_EQ(WordList(prog_.constants, prog_.constants + std::min<std::size_t>(expected.constants.size(), KZU_CONSTANTS)),
                  WordList(expected.constants.begin(), expected.constants.end()));
    };
    std::vector<std::pair<std::string, g::State>> states = {{"default", g::State{}}};
    for (unsigned f = g::kNever; f <= g::kAlways; ++f) {
        const std::string n = std::to_string(f - g::kNever);
        states.push_back({"depth " + n, g::depth_state(f)});
        states.push_back({"depth, writes off, " + n, g::depth_state(f, false)});
        g::State a;
        a.alphaTest = true;
        a.alphaFunc = f;
        a.alphaRef = 0.3f;
        a.alpha = 0.5f;
        states.push_back({"alpha test " + n, a});
    }
    for (unsigned op = g::kClear; op <= g::kSet; ++op) {
        g::State s;
        s.logicOp = true;
        s.logic = op;
        states.push_back({"logic op " + std::to_string(op - g::kClear), s});
        states.push_back({"logic op with depth less " + std::to_string(op - g::kClear), g::depth_state(g::kLess, true, s)});
    }
    const std::pair<unsigned, unsigned> pairs[] = {
        {g::kOne, g::kOne},       {g::kDstColor, g::kZero},          {g::kZero, g::kSrcColor},
        {g::kOne, g::kOneMinusSrcColor}, {g::kZero, g::kOneMinusSrcColor}, {g::kOneMinusDstColor, g::kZero},
        {g::kDstColor, g::kOne},  {g::kSrcAlpha, g::kOneMinusSrcAlpha}};
    for (const auto& [sf, df] : pairs) {
        g::State s;
        s.blend = true;
        s.srcFactor = sf;
        s.dstFactor = df;
        states.push_back({"blend " + std::to_string(sf) + ", " + std::to_string(df), s});
    }
    states.push_back({"stencil replace", g::stencil_state(g::kAlways, 1, {.zpass = g::kReplace})});
    states.push_back({"stencil equal", g::stencil_state(g::kEqual, 1)});
    states.push_back({"stencil counting with depth",
                      g::stencil_state(g::kAlways, 0, {.zfail = g::kInvert, .zpass = g::kIncr}, 0xFF, g::depth_state(g::kLess))});
    states.push_back({"stencil decrement with depth",
                      g::stencil_state(g::kNotequal, 0, {.zpass = g::kDecr}, 0xFF, g::depth_state(g::kAlways))});
    states.push_back({"stencil masked less, fail zero", g::stencil_state(g::kLess, 3, {.fail = g::kZero}, 0x06)});
    for (ULONG bpp : {32u, 16u}) {
        for (const auto& [name, s] : states) check(name, s, bpp);
    }
}

}  // namespace

namespace {

// The triangle programs of every colour request, with and without a depth
// test, load their data registers as the fill functions write a triangle:
// a register loaded per vertex for each word group of one word a vertex, a
// register loaded per face for each one-word group, one loaded per packet
// for each word of the packet head (generator load kinds 3, 2 and 1). The
// alpha requests are built with blending by the source alpha, which reads
// the alpha register.
TEST_F(Kz2UcodeTest, TriangleProgramsLoadWhatTheFillsWrite) {
    Bind(4, &depth_.buf);
    ULONG built = 0;
    for (ULONG depth : {0u, 1u}) {
        for (ULONG request : {2u, 3u, 5u, 6u, 8u, 9u}) {
            SCOPED_TRACE(testing::Message() << "request " << request << " depth " << depth);
            ctx_->enableWord = depth ? 0x10u : 0u;
            Attr(119) = 1;
            if (request == 3 || request == 6 || request == 9) Blend(4, 5);
            if (Build(0xC005, request) == 0) continue;  // left to the software path
            ++built;
            const kzPrimWordsRow* row = kzPrimWordsOf(5, prog_.dataAttr);
            ASSERT_NE(row, nullptr) << prog_.dataAttr;
            ULONG perVertex = 0, perFace = 0, perPacket = 0;
            for (ULONG reg = KZU_rgb0; reg < KZU_rgb0 + 4; ++reg) {
                const ULONG kind = kzuHdrLoadKindOf(prog_.header, reg);
                perVertex += kind == 3;
                perFace += kind == 2;
                perPacket += kind == 1;
            }
            ULONG groups3 = 0, groups1 = 0;
            for (const kzPrimWordGroup& g : row->groups) {
                if (g.kind == KZ_PW_POSITION) continue;
                groups3 += g.count == 3;
                groups1 += g.count == 1;
            }
            N_TriLayout l;
            ASSERT_TRUE(_NTriLayoutOf(prog_.dataAttr, &l));
            EXPECT_EQ(perVertex, groups3) << "layout " << prog_.dataAttr;
            EXPECT_EQ(perFace, groups1) << "layout " << prog_.dataAttr;
            EXPECT_EQ(perPacket, l.packetWords) << "layout " << prog_.dataAttr;
        }
    }
    EXPECT_EQ(built, 12u);
}

// Point programs load what the point functions send: every word of a
// point's row once a point (a square's words once a square, never once a
// corner), and the words a layout takes once a packet in the head. The
// depth of layouts 18 and 19 comes with each point although their colour is
// the packet's.
TEST_F(Kz2UcodeTest, PointProgramsLoadWhatThePointFunctionsSend) {
    Bind(4, &depth_.buf);
    ULONG built = 0;
    for (ULONG flags : {0x8000u, 0x8006u}) {
        const ULONG cls = flags & 15u;
        for (ULONG depth : {0u, 1u}) {
            for (ULONG request : {2u, 3u, 5u, 6u, 8u, 9u}) {
                if (cls == 6 && (request == 2 || request == 3)) continue;  // squares take one colour
                SCOPED_TRACE(testing::Message() << "class " << cls << " request " << request << " depth " << depth);
                ctx_->enableWord = depth ? 0x10u : 0u;
                Attr(119) = 1;
                if (request == 3 || request == 6 || request == 9) Blend(4, 5);
                if (Build(flags, request) == 0) continue;
                ++built;
                const kzPrimWordsRow* row = kzPrimWordsOf(cls, prog_.dataAttr);
                ASSERT_NE(row, nullptr) << prog_.dataAttr;
                ULONG perPoint = 0, perPacket = 0;
                for (ULONG reg = KZU_rgb0; reg < KZU_rgb0 + 4; ++reg) {
                    const ULONG kind = kzuHdrLoadKindOf(prog_.header, reg);
                    if (kind == KZU_LOAD_PRIMITIVE || (cls == 0 && kind == KZU_LOAD_VERTEX)) ++perPoint;
                    else if (kind == KZU_LOAD_PACKET) ++perPacket;
                    else EXPECT_EQ(kind, KZU_LOAD_NONE) << "register " << reg;
                }
                ULONG words = 0;
                for (const kzPrimWordGroup& g : row->groups)
                    if (g.count != 0 && g.kind != KZ_PW_POSITION) ++words;
                const ULONG form = prog_.dataAttr > 10 ? prog_.dataAttr - 10 : prog_.dataAttr;
                EXPECT_EQ(perPoint, words) << "layout " << prog_.dataAttr;
                EXPECT_EQ(perPacket, form == 8 ? 1u : form == 9 ? 2u : 0u) << "layout " << prog_.dataAttr;
                // The depth word comes as the colour word does: once a vertex
                // in layouts 12 and 13, once a primitive in 15 and 16.
                if (depth && (form == 2 || form == 3 || form == 5 || form == 6))
                    EXPECT_EQ(kzuHdrLoadKindOf(prog_.header, KZU_z0), form <= 3 ? KZU_LOAD_VERTEX : KZU_LOAD_PRIMITIVE)
                        << "layout " << prog_.dataAttr;
            }
        }
    }
    EXPECT_EQ(built, 20u);
}

// Depth values alone under the depth test (layout 11, as drawn depth
// pixels ask for): the pixel-rectangle functions send one depth word with
// each pixel, so the depth register is loaded per primitive, not once a
// packet.
TEST_F(Kz2UcodeTest, DepthAloneIsLoadedOnceAPixel) {
    Bind(4, &depth_.buf);
    ctx_->enableWord = 0x10u;
    Attr(119) = 1;
    ASSERT_EQ(Build(0x8000, 1), 1u);
    EXPECT_EQ(prog_.dataAttr, 11u);
    ULONG perPoint = 0, perPacket = 0;
    for (ULONG reg = KZU_rgb0; reg < KZU_rgb0 + 4; ++reg) {
        const ULONG kind = kzuHdrLoadKindOf(prog_.header, reg);
        perPoint += kind == KZU_LOAD_PRIMITIVE;
        perPacket += kind == KZU_LOAD_PACKET;
    }
    EXPECT_EQ(perPoint, 1u);
    EXPECT_EQ(perPacket, 0u);
}

}  // namespace

namespace {

// An alpha layout's program names its alpha register even when no stage
// reads the alpha (here: neither blending nor the alpha test, as when an
// alpha buffer or a lit alpha asks for the layout): the fill functions write
// the alpha words of layouts 3, 6, 9 and their depth forms all the same, and
// a header that left them out would have the rasterizers read an alpha word
// as the next depth or position.
TEST_F(Kz2UcodeTest, AlphaLayoutsNameTheirAlphaWithoutAReader) {
    Bind(4, &depth_.buf);
    struct Case {
        ULONG request, depth, layout, alphaKind, colourKind;
    };
    const Case cases[] = {
        {3, 0, 3, 3, 3}, {6, 0, 6, 2, 2}, {9, 0, 9, 1, 1}, {3, 1, 13, 3, 3}, {6, 1, 16, 2, 2}, {9, 1, 19, 1, 1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "request " << k.request << " depth " << k.depth);
        ctx_->enableWord = k.depth ? 0x10u : 0u;
        Attr(119) = 1;
        ASSERT_EQ(Build(0xC005, k.request), 1u);
        ASSERT_EQ(prog_.dataAttr, k.layout);
        // The polygon class keeps z0 for the depth: the alpha lies in z1.
        EXPECT_EQ(kzuHdrLoadKindOf(prog_.header, KZU_z1), k.alphaKind);
        // Colour in rgb0, depth in z0, alpha in z1: the loads the fills'
        // word order is read by.
        EXPECT_EQ(prog_.header & 0xFF000u, kzuHdrLoadKind(KZU_rgb0, k.colourKind) |
                                               kzuHdrLoadKind(KZU_z0, k.depth ? 3u : 0u) |
                                               kzuHdrLoadKind(KZU_z1, k.alphaKind));
        const kzPrimWordsRow* row = kzPrimWordsOf(5, prog_.dataAttr);
        ASSERT_NE(row, nullptr);
        N_TriLayout l;
        ASSERT_TRUE(_NTriLayoutOf(prog_.dataAttr, &l));
        ULONG loaded = 0, groups = 0;
        for (ULONG reg = KZU_rgb0; reg < KZU_rgb0 + 4; ++reg) loaded += kzuHdrLoadKindOf(prog_.header, reg) != 0;
        for (const kzPrimWordGroup& g : row->groups) groups += g.kind != KZ_PW_POSITION && g.count != 0;
        EXPECT_EQ(loaded, groups + l.packetWords) << "one loaded register per word group the fill writes";
        // Nothing reads the alpha: the program is the plain colour write.
        EXPECT_EQ(Words().back() & ~0xE0000000u, 0x10360348u);
    }
}

}  // namespace

namespace {

constexpr ULONG kTexturePid = 0xA123;

// Textured fills: the bound texture's level on the board, the environment
// and the pass the selector asks for.
class Kz2TextureTest : public Kz2UcodeTest {
  protected:
    void SetUp() override {
        Kz2UcodeTest::SetUp();
        ctx_->enableWord = 0x400;
        Texture(64, 64, 3, 0);
    }
    void TearDown() override {
        ctx_->texBound = 0;
        ctx_->boundTex = N_BoundTexture{};
        ctx_->val.tex = N_TexSampling{};
        ctx_->texEnv = 0;
        Kz2UcodeTest::TearDown();
    }
    void Texture(ULONG w, ULONG h, ULONG components, ULONG env) {
        ctx_->texBound = 1;
        ctx_->boundTex.width = w;
        ctx_->boundTex.height = h;
        ctx_->boundTex.components = components;
        ctx_->boundTex.boardAddress[0] = kTexturePid;
        ctx_->texEnv = env;
    }
};

constexpr ULONG U = KZU_z0, V = KZU_z1, S = KZU_rgb0, T1 = KZU_pr8, T2 = KZU_pr9, T3 = KZU_pr10;
constexpr ULONG D = KZU_pixmap0, TEX = KZU_pixmap0 + 1;

// One texel, each environment: the words and what they mean.
TEST_F(Kz2TextureTest, OneTexelByEnvironment) {
    struct Case {
        const char* name;
        ULONG env;
        WordList words;
    };
    const ULONG addr[2] = {W(0x08, KZU_u, U, 0) | clip, W(0x08, KZU_v, V, 0) | clip};
    ctx_->val.tex.envHwColour = 0x00804020;
    const Case cases[] = {
        {"modulate: texel x colour", 0,
         {addr[0], addr[1], W(0x32, T1, TEX, 0) | clip, W(0x1D, D, T1, S) | clip}},
        {"decal: the texel into the pixmap", 1, {addr[0], addr[1], W(0x32, D, TEX, 0) | clip}},
        {"blend: colour x (1 - texel) + environment colour x texel", 2,
         {addr[0], addr[1], W(0x32, T1, TEX, 0) | clip, W(0x0A, T2, 32, T1) | clip, W(0x1D, T3, T1, 34) | clip,
          W(0x1D, T1, T2, S) | clip, W(0x09, D, T1, T3) | clip}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ctx_->texEnv = c.env;
        ASSERT_EQ(Build(0xC005, 2, 1), 1u);
        EXPECT_EQ(prog_.dataAttr, 2u);
        EXPECT_EQ(Words(), c.words);
        // Colour, s and t a vertex: rgb0, z0, z1 loaded once a vertex.
        EXPECT_EQ(prog_.header & 0xFF000u,
                  kzuHdrLoadKind(S, 3) | kzuHdrLoadKind(U, 3) | kzuHdrLoadKind(V, 3));
        EXPECT_EQ(prog_.pids[0], kColourPid | kTexturePid << 16);
        // The texture's constants come first: one for the blend environment.
        if (c.env == 2) {
            EXPECT_EQ(prog_.constants[0], 0x7000000u) << "one";
            EXPECT_EQ(prog_.constants[1], 0u);
            EXPECT_EQ(prog_.constants[2], 0x00804020u) << "the environment colour";
        } else {
            EXPECT_EQ(prog_.constants[0], 0u);
        }
        // Texturing without a depth test clears the second unit flag.
        EXPECT_EQ(prog_.image.w[KZ_IMG_UNIT27], 0u);
    }
}

// The passes: the filter in one word on a 24-bit surface, through the
// scratch pair below 24 bits, two levels with their weights, the wrap
// masks of a large texture, and the refusals.
TEST_F(Kz2TextureTest, PassesFiltersAndRefusals) {
    // Bilinear, sides up to 256, 32 bits: one filtered fetch.
    ASSERT_EQ(Build(0xC005, 2, 2), 1u);
    EXPECT_EQ(Words(), (WordList{W(0x33, T1, TEX, 0) | clip, W(0x1D, D, T1, S) | clip}));
    EXPECT_EQ(prog_.constants[0], 0x7000000u);
    EXPECT_EQ(prog_.constants[1], 0x10u);

    // A 16-bit surface without 16-bit textures: every texel through the
    // scratch pair (private scratch pixmaps in the temporary 32-bit
    // surface's page slot), the whole four-texel filter.
    Surface c16{kColourPid, 16};
    Bind(0, &c16.buf);
    // Without the temporary surface the pair has no slot: the build is
    // refused (its fills go to the software paths) rather than placing the
    // context's scratch pixmap, which holds the stipple, for both.
    ASSERT_EQ(Build(0xC005, 2, 2), 0u);
    std::optional<Tmp32Surface> tmp32;
    tmp32.emplace();
    ASSERT_EQ(Build(0xC005, 2, 2), 1u);
    for (ULONG n = 0; n < prog_.pidCount; ++n) {
        const ULONG pid = (prog_.pids[n / 2] >> (16 * (n % 2))) & 0xFFFFu;
        EXPECT_NE(pid, kScratchPid) << "a private scratch pixmap is not the context's pixmap";
        EXPECT_NE(pid, 0xFFFFu);
    }
    const WordList w = Words();
    ULONG fetches = 0;
    for (std::size_t i = 0; i < w.size(); ++i) {
        if ((w[i] & 0x3F) != 0x32) continue;
        ++fetches;
        ASSERT_LT(i + 1, w.size());
        EXPECT_EQ((w[i + 1] & 0x3F), 0x08u) << "the texel read back from the second scratch pixmap";
        EXPECT_EQ(kzuR(w[i]) + 1, kzuA(w[i + 1])) << "the scratch pair lies side by side";
    }
    EXPECT_EQ(fetches, 4u);
    EXPECT_EQ(w.back() & 0x3F, 0x1Du);
    EXPECT_EQ(kzuA(w.back()), T1);
    EXPECT_EQ(kzuB(w.back()), S);
    EXPECT_EQ(kzuR(w.back()), D + 2) << "the scratch pair's pids come before the colour's";
    // Pass 4 needs a 24-bit surface.
    EXPECT_EQ(Build(0xC005, 2, 4), 0u);
    tmp32.reset();
    Bind(0, &colour_.buf);

    // Two levels: the level's pid twice, the weights placed as 0 and their
    // place kept for the render functions on the mip path.
    ctx_->val.tex.mipmap = 1;
    ctx_->val.tex.betweenLevels = 1;
    prog_ = kzRenderProg{};
    ASSERT_EQ(kz2_ConstructKzUcode(hw(), pkzProgOf(hw()->programs[0]), 0xC005, 0, 2, 3), 1u);
    const kzRenderProg& p = *pkzProgOf(hw()->programs[0]);
    EXPECT_EQ(p.pids[0], kColourPid | kTexturePid << 16);
    EXPECT_EQ(p.pids[1], kTexturePid);
    EXPECT_EQ(ctx_->texPidIndex, 1u);
    EXPECT_EQ(p.constants[0], 0u);
    EXPECT_EQ(p.constants[1], 0u);
    // Counted from image word 2: two pid words, the instructions, the clip
    // pair, then the first weight, constant 0.
    EXPECT_EQ(ctx_->texWeightIndex, 2u + p.instrCount + 2u);
    EXPECT_EQ(p.image.w[2 + ctx_->texWeightIndex - 1], p.clipMax);
    EXPECT_EQ(p.image.w[2 + ctx_->texWeightIndex], p.constants[0]);
    const WordList mix(p.instr, p.instr + p.instrCount);
    EXPECT_EQ(mix[mix.size() - 2], W(0x09, T1, KZU_pr2, KZU_pr3) | clip) << "the two levels mixed";
    EXPECT_EQ(kzuA(mix[2]), TEX + 1u) << "the first fetch reads the second level";
    EXPECT_EQ(Build(0xC005, 2, 4), 1u) << "filtered two levels on a 24-bit surface";

    // A side above 256: the coordinates wrapped by the masks.
    Texture(512, 64, 3, 0);
    ASSERT_EQ(Build(0xC005, 2, 1), 1u);
    EXPECT_EQ(Words()[0], W(0x00, KZU_u, U, 32) | clip);
    EXPECT_EQ(Words()[1], W(0x00, KZU_v, V, 33) | clip);
    EXPECT_EQ(prog_.constants[0], 512u * 16 - 1);
    EXPECT_EQ(prog_.constants[1], 64u * 16 - 1);
    EXPECT_EQ(Build(0xC005, 2, 4), 0u) << "pass 4 keeps to sides up to 256";

    // Refusals: blending, the texel's alpha, an environment GL 1.0 has not,
    // a level that is not on the board.
    struct Refusal {
        const char* name;
        std::function<void()> state;
    };
    const Refusal refusals[] = {
        {"blending", [this] { Blend(1, 1); }},
        {"partial write mask", [this] { ctx_->enableWord |= 0x400000; }},
        {"logic operation", [this] { ctx_->enableWord |= 0x40000000; Attr(124) = 6; }},
        {"colour-index mode", [this] { Attr(83) = 1; }},
        {"decal of a texture with alpha", [this] { Texture(64, 64, 4, 1); }},
        {"alpha test of a texture with alpha", [this] { Texture(64, 64, 2, 0); ctx_->enableWord |= 0x4000; }},
        {"unknown environment", [this] { Texture(64, 64, 3, 5); }},
        {"level not on the board", [this] { ctx_->boundTex.boardAddress[0] = 0; }},
        {"no texture bound", [this] { ctx_->texBound = 0; }},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.name);
        ctx_->enableWord = 0x400;
        Texture(64, 64, 3, 0);
        r.state();
        EXPECT_EQ(Build(0xC005, 2, 1), 0u);
        EXPECT_EQ(prog_.valid, 0u);
        Attr(83) = 0;
    }
    // Accepted around them: an alpha test of a texture without alpha, a
    // decal of an RGB texture, and a depth test (depth in z2).
    ctx_->enableWord = 0x400 | 0x4000;
    Texture(64, 64, 3, 1);
    EXPECT_EQ(Build(0xC005, 3, 1), 0u) << "alpha in the colour: no data register left for it";
    EXPECT_EQ(Build(0xC005, 2, 1), 1u);
    Bind(4, &depth_.buf);
    ctx_->enableWord = 0x400 | 0x10;
    Attr(119) = 1;
    ASSERT_EQ(Build(0xC005, 2, 1), 1u);
    EXPECT_EQ(prog_.dataAttr, 12u);
    EXPECT_EQ(kzuHdrLoadKindOf(prog_.header, KZU_z2), 3u);
    EXPECT_EQ(kzuA(Words()[0]), KZU_z2) << "the depth compare reads the third data register";
    EXPECT_EQ(prog_.image.w[KZ_IMG_UNIT27], 1u) << "a depth test keeps the second unit";
}

}  // namespace

namespace {

// The window-clip stage of a filled polygon: the mask in the context's
// scratch pixmap (the polygon stipple), read through its stipple tile,
// tested into condition code 0 before anything else, every write under it,
// and the second unit switched off.
TEST_F(Kz2UcodeTest, WindowClipStage) {
    ctx_->clipControl = 1;
    ASSERT_EQ(Build(), 1u);
    // The pixmap at (0, 0): the square at (32, 32), column 1 and row 1.
    constexpr ULONG kStippleTile = kScratchPid | 0x40 | 1u << 9 | 1u << 11;
    EXPECT_EQ(prog_.pids[0], kColourPid | kStippleTile << 16);
    EXPECT_EQ(Words(), (WordList{W(0x21, KZU_pr8, 32, KZU_pixmap0 + 1) | clip | ifcc0, 0x10360348u | ifcc0}));
    EXPECT_EQ(prog_.constants[0], 0u);
    EXPECT_EQ(prog_.image.w[KZ_IMG_UNIT27], 0u);
    EXPECT_EQ(prog_.image.w[KZ_IMG_UNIT28], 1u);
    // With a depth test the mask comes first and the test joins its code.
    Bind(4, &depth_.buf);
    ctx_->enableWord = 0x10;
    Attr(119) = 1;
    ASSERT_EQ(Build(), 1u);
    EXPECT_EQ(kzuR(Words()[0]), KZU_pr8);
    EXPECT_EQ(Words()[1] & 0x3F, 0x21u) << "the depth compare";
    EXPECT_EQ(Words().back(), 0x10360348u | ifcc0);
    // A clip kind the programs cannot test is reported; the build goes on.
    ctx_->enableWord = 0;
    ctx_->clipType = 2;
    vnx::debug::clear();
    EXPECT_EQ(Build(), 1u);
    EXPECT_TRUE(Printed("Yikes, clipType == Clip_Ctl"));
    // Pixel rectangles have no window clip, and neither have points, lines
    // nor polygon outlines: GL stipples filled polygons alone.
    ASSERT_EQ(Build(0x8000, 22), 1u);
    EXPECT_EQ(Words().size(), 1u);
    ctx_->clipType = 0;
    for (ULONG flags : {0x8000u, 0x8006u, 0xC001u | 0x10u, 0xC002u | 0x10u, 0xC001u}) {
        ASSERT_EQ(Build(flags, 2), 1u) << std::hex << flags;
        EXPECT_EQ(Words(), WordList{0x10360348u}) << std::hex << flags;
    }
    ctx_->clipControl = 0;
}

// A stippled fill (either face's polygon mode 3) whose pattern is not on
// the board (the window-clip word clear) has no program: the software
// stages stipple it. Other classes draw as before.
TEST_F(Kz2UcodeTest, StippledFillWithoutItsMaskIsRefused) {
    struct Case {
        ULONG front, back, flags, built;
    } const cases[] = {
        {0x20000, 0, 0xC005, 0},
        {0, 0x20000, 0xC005, 0},
        {0x20000, 0, 0xC001 | 0x10, 1},
        {0, 0, 0xC005, 1},
    };
    for (const Case& c : cases) {
        ctx_->enableWord = c.front;
        ctx_->val.enableBack = c.back;
        EXPECT_EQ(Build(c.flags, 2), c.built) << std::hex << c.front << " " << c.back << " " << c.flags;
        EXPECT_EQ(prog_.valid, c.built);
    }
    // With the mask loaded the fill tests it.
    ctx_->enableWord = 0x20000;
    ctx_->clipControl = 1;
    ASSERT_EQ(Build(), 1u);
    EXPECT_EQ(Words().size(), 2u);
    ctx_->enableWord = 0;
    ctx_->val.enableBack = 0;
    ctx_->clipControl = 0;
}

// The stipple tile: a 32 x 32 square on the pixmap's space's 32-pixel grid
// lying whole inside the 128 x 128 pixmap, never of grid column or row 0
// (modulo 4), as a tile pid of size code 0 keeping the pid's space and
// format.
TEST_F(Kz2UcodeTest, StippleTileNamesASquareInsideThePixmap) {
    struct Case {
        LONG x, y;    // the pixmap's corner in its space
        LONG ox, oy;  // the square's
    } const cases[] = {
        {0, 0, 32, 32},      // grid column and row 0 are passed over
        {32, 64, 32, 64},    // already on the grid
        {96, 100, 96, 160},  // 100 -> 128 (row 0 again) -> 160
        {130, 255, 160, 288},
        {17, 1, 32, 32},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(c.ox >= c.x && c.ox + 32 <= c.x + 128 && c.oy >= c.y && c.oy + 32 <= c.y + 128)
            << "the square lies inside the pixmap";
        Surface pixmap{0xA003, 32, c.x, c.y};
        const ULONG column = static_cast<ULONG>(c.ox / 32) & 3u, row = static_cast<ULONG>(c.oy / 32) & 3u;
        EXPECT_EQ(_NStippleTilePid(&pixmap.buf, 0xA003), 0xA003u | 0x40u | column << 9 | row << 11)
            << c.x << ", " << c.y;
    }
    EXPECT_EQ(_NStippleTilePid(nullptr, 0xA003), 0xFFFFu);
}

// The program's clip pair from the context's one packed rectangle: its
// top-left pixel and the last pixel inside (the packed far corner lies just
// outside), each moved by the surface origin; a rectangle without pixels
// gives a pair no pixel lies in.
TEST_F(Kz2UcodeTest, ClipPairHoldsTheRectanglesLastPixel) {
    colour_.buf.x = 16;
    colour_.buf.y = 32;
    struct Case {
        ULONG lo, hi, min, max;
    } const cases[] = {
        {(10u << 16) | 5u, (100u << 16) | 200u, (42u << 16) | 21u, (131u << 16) | 215u},
        {(25u << 16) | 37u, (26u << 16) | 38u, (57u << 16) | 53u, (57u << 16) | 53u},  // one pixel
        {(25u << 16) | 37u, (25u << 16) | 90u, 0x00010001u, 0u},                      // no rows
    };
    for (const Case& c : cases) {
        ctx_->pulPackedClip[0] = c.lo;
        ctx_->pulPackedClip[1] = c.hi;
        ASSERT_EQ(Build(), 1u);
        EXPECT_EQ(prog_.clipMin, c.min) << std::hex << c.lo;
        EXPECT_EQ(prog_.clipMax, c.max) << std::hex << c.hi;
    }
}

}  // namespace

namespace {

// A textured pass below 24 bits places its scratch pair before the draw
// buffers: the copy into the second draw buffer names that buffer's pixmap
// register, wherever its pid lies in the list.
TEST_F(Kz2TextureTest, FurtherDrawBuffersAfterTheScratchPair) {
    const Tmp32Surface tmp32;
    Surface front{kColourPid, 16}, back{kBackPid, 16};
    Bind(0, &front.buf);
    Bind(1, &back.buf);
    Attr(163) = 5;  // front and back left
    ASSERT_EQ(Build(0xC005, 2, 1), 1u);
    auto pidAt = [&](ULONG n) { return prog_.pids[n / 2] >> (16 * (n % 2)) & 0xFFFFu; };
    // A finished program counts its pid words, two pids each.
    ASSERT_GE(prog_.pidCount, 2u);
    ULONG frontPx = 0, backPx = 0;
    for (ULONG n = 0; n < 2 * prog_.pidCount; ++n) {
        if (pidAt(n) == kColourPid) frontPx = KZU_pixmap0 + n;
        if (pidAt(n) == kBackPid) backPx = KZU_pixmap0 + n;
    }
    ASSERT_NE(frontPx, 0u);
    ASSERT_NE(backPx, 0u);
    EXPECT_GT(frontPx, KZU_pixmap0) << "the scratch pair comes first";
    EXPECT_EQ(Words().back() & ~0xE0000000u, W(0x08, backPx, frontPx, 0) | clip);
}

// Every GL 1.0 environment (modulate, decal, blend) over every pass, at 16
// and 32 bits a pixel, for textures without and with alpha, with and
// without a depth test: a program whose last word writes the colour pixmap
// by the environment where the tests passed, or one of the stated refusals.
TEST_F(Kz2TextureTest, EveryEnvironmentAndPassBuildsOrIsRefused) {
    const Tmp32Surface tmp32;  // the 16-bit passes' private scratch pixmaps
    Bind(4, &depth_.buf);
    Surface c16{kColourPid, 16};
    ULONG built = 0, refused = 0;
    for (ULONG bpp : {16u, 32u}) {
        Bind(0, bpp == 16 ? &c16.buf : &colour_.buf);
        for (ULONG components : {3u, 4u}) {
            for (ULONG env = 0; env < 3; ++env) {
                for (ULONG pass = 1; pass <= 4; ++pass) {
                    for (ULONG depth = 0; depth < 2; ++depth) {
                        SCOPED_TRACE(testing::Message() << "bpp " << bpp << " components " << components << " env "
                                                        << env << " pass " << pass << " depth " << depth);
                        ctx_->enableWord = 0x400 | (depth ? 0x10u : 0u);
                        Attr(119) = 1;
                        Texture(64, 64, components, env);
                        const bool bRefused = (pass == 4 && bpp < 24) || (components == 4 && env == 1);
                        vnx::debug::clear();
                        gkzTrace = 1;
                        const ULONG got = Build(0xC005, 2, pass);
                        gkzTrace = 0;
                        if (bRefused) {
                            EXPECT_EQ(got, 0u);
                            ++refused;
                            continue;
                        }
                        if (got == 0) {
                            // The only other refusal: pass 4's filtered level
                            // mix leaves no room for the blend environment (31
                            // words at most).
                            const std::string t = vnx::debug::peek();
                            std::size_t words = 0;
                            for (std::size_t at = 0; (at = t.find("adding instruction", at)) != std::string::npos; ++at)
                                ++words;
                            EXPECT_GT(words, 31u);
                            EXPECT_EQ(pass, 4u);
                            EXPECT_EQ(env, 2u);
                            EXPECT_EQ(prog_.valid, 0u);
                            ++refused;
                            continue;
                        }
                        ++built;
                        EXPECT_EQ(prog_.dataAttr, depth ? 12u : 2u);
                        EXPECT_EQ(kzuHdrLoadKindOf(prog_.header, U), 3u);
                        EXPECT_EQ(kzuHdrLoadKindOf(prog_.header, V), 3u);
                        EXPECT_EQ(kzuHdrLoadKindOf(prog_.header, KZU_z2), depth ? 3u : 0u);
                        const WordList w = Words();
                        ASSERT_FALSE(w.empty());
                        const ULONG last = w.back();
                        const ULONG op = last & 0x3F;
                        EXPECT_EQ(last & 0xE0000000u, depth ? ifcc0 : 0u) << "written where the tests passed";
                        EXPECT_TRUE(last & clip);
                        // The last word writes the colour pixmap (the first
                        // pid after any scratch pair).
                        const ULONG D0 = KZU_pixmap0 + (bpp == 16 ? 2u : 0u);
                        EXPECT_EQ(kzuR(last), D0);
                        switch (env) {
                        case 0: EXPECT_EQ(op, 0x1Du); EXPECT_EQ(kzuB(last), S); break;
                        case 1: EXPECT_TRUE(op == 0x08 || op == 0x32 || op == 0x09) << std::hex << last; break;
                        default: EXPECT_EQ(op, 0x09u); break;
                        }
                        // Every texel fetch reads the texture's pixmap (or
                        // the second level's in the level mixes).
                        for (ULONG word : w) {
                            if ((word & 0x3F) != 0x32 && (word & 0x3F) != 0x33) continue;
                            const ULONG a = kzuA(word);
                            EXPECT_EQ(kzPidAt(&prog_, a - KZU_pixmap0), kTexturePid) << std::hex << word;
                        }
                    }
                }
            }
        }
    }
    EXPECT_EQ(built + refused, 2u * 2 * 3 * 4 * 2);
    EXPECT_GT(built, refused);
}

}  // namespace
