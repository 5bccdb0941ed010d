// The write stages of the software path over a simulated board of 1, 2 and
// 4 rasterizers: the colour write's single-pixel primitives (words by the
// enable word, packets of at most 400, one pass a clip box), the board
// stencil write's fixed program (run form per raw clip rectangle, fragment
// list without), and the host stencil write.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "3d/pipes/pipes.h"
#include "context/buffers.h"
#include "lgi/lgigl.h"
#include "gl/server/lgi/board_fixture.h"
#include "kz2/ucode/kzprog.h"
#include "kz2/ucode/kzuemit.h"
#include "kzuinstr.h"
#include "lgi/seams.h"
#include "lgi/shared/frame/hwframe.h"
#include "lgi/shared/software/swfrag.h"
#include "vornix_surface.h"

namespace {

using namespace lgi_test;

ULONG gcAfter = 0;
void After(N_Context*, N_Pipe*) { ++gcAfter; }

ULONG Pos(LONG x, LONG y) { return _NSpanPosition(x, y); }

// A clip box corner or a clip word: (y << 16) | x.
ULONG Box(LONG x, LONG y) { return (static_cast<ULONG>(y & 0xFFFF) << 16) | static_cast<ULONG>(x & 0xFFFF); }

// A 200 x 100 back buffer of 32-bit pixels at (100, 50) of the screen
// (pid 0x4321), bound as the context's draw buffer.
void BindBackBuffer(GLBuffer& draw, GLDeviceRecord& rec) {
    rec.pid = 0x4321;
    draw.memoryKind = GLBUFFER_MEMORY_DEVICE;
    draw.kind = GLBUFFER_BACK_LEFT;
    draw.bitsPerPixel = 32;
    draw.bytesPerPixel = 4;
    draw.pDeviceRecord = &rec;
    draw.x = 100;
    draw.y = 50;
    draw.cx = 200;
    draw.cy = 100;
    GLBuffer* pDraw = &draw;
    N_BindBuffers(1, &pDraw);
    N_SetStateBlockAttrWord(N_ATTR_DRAW_BUFFER, 4);
}

// The screen as the draw buffer of the bound context: its pid and the bits
// a pixel of it keeps.
struct ScreenTarget {
    ULONG pid = 0, keep = 0;
    GLDeviceRecord rec{};
    GLBuffer draw{}, scratch{};
};

class SwWriteTest : public LgiBoardTest {
  protected:
    void Start(const BoardModel& m) {
        if (board_ != nullptr) {
            Drain();
            for (const auto& e : board_->take_errors())
                ADD_FAILURE() << "board error on rasterizer " << e.rasterizer << ": " << e.message;
        }
        Boot(m);
        pGLPageConfig(Pdev())->cDepthBits = 24;
        pipe_ = &ctx_->blocks[0].front;
        sp_ = &pipe_->pCommonPipeData->span;
        pipe_->next[N_STAGE_WRITE_COLOUR] = After;
        pipe_->next[N_STAGE_WRITE_STENCIL] = After;
        gcAfter = 0;
        ctx_->cClipRects = 0;
    }
    // A single-pixel program (class 0) with a clip pair, taking `data`
    // words a primitive before the position.
    void Program(ULONG data) {
        kzRenderProg* prog = _NHwSoftwareProgram(ctx_, pipe_);
        ULONG loads = 0;
        for (ULONG r = 0; r < data; ++r) loads |= 3u << (12 + 2 * r);
        kzStartProgram(prog, 0x20 | loads, 2);
        kzPlacePid(prog, 0x1234, 0x1234);
        _kzuEmit(prog, 0x10360348, "test", __LINE__);
        prog->clipCount = 2;
        ASSERT_EQ(kzSerialiseProgram(prog, 1, 1), 1u);
        prog->valid = 1;
    }
    // A run of n fragments from (x, y): colour 0x10000 + i, alpha, depth.
    void Run(LONG x, LONG y, LONG n) {
        sp_->count = n;
        sp_->pX[0] = x;
        sp_->pY[0] = y;
        for (LONG i = 0; i < n; ++i) {
            sp_->pMask[i] = N_FRAG_PASSED;
            sp_->pPacked[i] = 0x10000u + static_cast<ULONG>(i);
            sp_->pAlpha[i] = 0.5f;
            sp_->pDepth[i] = 0x123456u + static_cast<ULONG>(i);
            sp_->pNewStencil[i] = static_cast<BYTE>(i);
        }
    }
    // Every drawing packet of every rasterizer, in order.
    std::vector<vnx::board::DecodedPacket> All() {
        std::vector<vnx::board::DecodedPacket> out;
        for (auto& q : Drain())
            for (auto& p : q) out.push_back(std::move(p));
        return out;
    }
    void BindScreen(ScreenTarget* s) {
        N_Context* ctx = ctx_;
        SURFOBJ* psoScreen = EngLockSurface(device_->hsurf());
        ASSERT_NE(psoScreen, nullptr);
        const DFB* pdfb = reinterpret_cast<const DSURF*>(psoScreen->dhsurf)->pdfb;
        s->pid = pdfb->pid & 0xFFFFu;
        ULONG pw = 0, ph = 0, bpp = 0;
        ASSERT_TRUE(board_->page_geometry(static_cast<std::uint16_t>(s->pid), &pw, &ph, &bpp));
        s->keep = bpp >= 4 ? 0xFFFFFFFFu : (1u << (8 * bpp)) - 1;
        EngUnlockSurface(psoScreen);
        s->rec = GLDeviceRecord{};
        s->rec.pid = s->pid;
        const LONG* size = plGLScreenSize(Pdev());
        s->draw = GLBuffer{};
        s->scratch = GLBuffer{};
        s->draw.memoryKind = s->scratch.memoryKind = GLBUFFER_MEMORY_DEVICE;
        s->draw.kind = GLBUFFER_BACK_LEFT;
        s->draw.bitsPerPixel = s->scratch.bitsPerPixel = 8 * bpp;
        s->draw.bytesPerPixel = s->scratch.bytesPerPixel = bpp;
        s->draw.pDeviceRecord = s->scratch.pDeviceRecord = &s->rec;
        s->draw.cx = size[0];
        s->draw.cy = size[1];
        GLBuffer* pDraw = &s->draw;
        N_BindBuffers(1, &pDraw);
        N_SetStateBlockAttrWord(N_ATTR_DRAW_BUFFER, 4);
        ctx->apScratchPixmap[0] = &s->scratch;
        *pulAttr(ctx, N_ATTR_DITHER) = 0;
        *pulAttr(ctx, N_ATTR_RENDER_MODE) = N_RENDER_MODE_RENDER;
    }

    // Links the software stages of triangles through the real selector with
    // the debug switch on (building the colour write's program); the pipe.
    N_Pipe* ForcedTrianglePipe() {
        N_Context* ctx = ctx_;
        constexpr ULONG code = N_PRIM_TRIANGLES;
        N_Pipe* pipe = &ctx->blocks[code & 15].front;
        pipe->pCommonPipeData->pDispatch = &ctx->prim[code - 61];
        pipe->mode = ctx->enableWord;
        gNForceSoftwarePaths = 1;
        N_StageList l;
        _NBuildStageList(ctx, pipe, code, N_VTX_POS3, &l);
        gNForceSoftwarePaths = 0;
        return pipe;
    }

    N_Pipe* pipe_ = nullptr;
    N_FragSpan* sp_ = nullptr;
};

// 451 fragments of which 50 are killed, failed the stencil test or the
// depth test: the 401 others as packets of 400 and 1, each pixel once, in
// the queue of its tile, with its colour word.
TEST_F(SwWriteTest, ColourWriteSendsTheLiveFragmentsInPacketsOf400) {
    for (const BoardModel& m : {kSolo, kDuo, kQuad}) {
        SCOPED_TRACE(m.rasterizers);
        Start(m);
        Program(1);
        ctx_->enableWord = N_MODE_FRAGMENTS;
        Run(20, 140, 451);
        std::set<ULONG> live;
        for (LONG i = 0; i < 451; ++i) {
            if (i % 9 == 4) sp_->pMask[i] = static_cast<BYTE>((i / 9) % 3 == 0 ? 0 : (i / 9) % 3 == 1 ? 2 : 10);
            if (sp_->pMask[i] & 1) live.insert(Pos(20 + i, 140));
        }
        ASSERT_EQ(live.size(), 401u);
        _NSpanWriteColor(ctx_, pipe_);
        EXPECT_EQ(gcAfter, 1u);
        const auto packets = All();
        std::map<ULONG, int> seen;
        ULONG most = 0;
        for (const auto& p : packets) {
            EXPECT_EQ(p.instructions, std::vector<std::uint32_t>{0x10360348u});
            most = std::max(most, p.primitives);
            for (std::size_t i = 0; i < p.primitives; ++i) {
                const auto w = p.primitive(i);
                ASSERT_EQ(w.size(), 2u);
                const LONG x = static_cast<LONG>((w[1] >> 4) & 0xFFF);
                EXPECT_EQ(w[0], 0x10000u + static_cast<ULONG>(x - 20));
                ++seen[w[1]];
            }
        }
        EXPECT_LE(most, 400u);
        EXPECT_EQ(seen.size(), live.size());
        // A pixel may reach several rasterizers (each draws only its own
        // tiles); on one rasterizer each pixel comes once.
        for (const auto& [pos, c] : seen) {
            EXPECT_TRUE(live.count(pos)) << std::hex << pos;
            if (m.rasterizers == 1) EXPECT_EQ(c, 1) << std::hex << pos;
        }
        if (m.rasterizers == 1) {
            ASSERT_EQ(packets.size(), 2u);
            EXPECT_EQ(packets[0].primitives, 400u);
            EXPECT_EQ(packets[1].primitives, 1u);
        }
    }
}

// A program whose build was refused heads nothing: no packet reaches the
// board (one headed by a zero command word would break its stream), and the
// span goes on to the next stage.
TEST_F(SwWriteTest, ColourWriteSendsNothingWithoutAProgram) {
    for (const BoardModel& m : {kSolo, kQuad}) {
        SCOPED_TRACE(m.rasterizers);
        Start(m);
        Program(1);
        _NHwSoftwareProgram(ctx_, pipe_)->valid = 0;
        ctx_->enableWord = N_MODE_FRAGMENTS;
        Run(20, 140, 30);
        _NSpanWriteColor(ctx_, pipe_);
        EXPECT_EQ(gcAfter, 1u);
        EXPECT_TRUE(All().empty());
        EXPECT_TRUE(board_->take_errors().empty());
    }
}

TEST_F(SwWriteTest, ColourWriteWordsByTheEnableWordAndNothingForDeadSpans) {
    Start(kSolo);
    // Colour, alpha (buffer on the board) and depth (on the board).
    Program(3);
    ctx_->enableWord = N_MODE_FRAGMENTS | 0x8 | 0x80 | 0x10;
    Run(5, 7, 3);
    sp_->pAlpha[1] = 1.0f;
    sp_->pMask[2] = 1;
    _NSpanWriteColor(ctx_, pipe_);
    auto packets = All();
    ASSERT_EQ(packets.size(), 1u);
    ASSERT_EQ(packets[0].primitives, 3u);
    EXPECT_EQ(packets[0].primitive(0), (std::vector<std::uint32_t>{0x10000, 0x7F7F7F, 0x123456, Pos(5, 7)}));
    EXPECT_EQ(packets[0].primitive(1), (std::vector<std::uint32_t>{0x10001, 0xFFFFFF, 0x123457, Pos(6, 7)}));
    EXPECT_EQ(packets[0].primitive(2)[3], Pos(7, 7));
    // Alpha and depth buffers in host memory: no alpha or depth words.
    Program(1);
    ctx_->enableWord = N_MODE_FRAGMENTS | 0x8 | 0x80 | 0x200 | 0x10 | 0x40;
    Run(5, 7, 1);
    _NSpanWriteColor(ctx_, pipe_);
    packets = All();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].primitive(0), (std::vector<std::uint32_t>{0x10000, Pos(5, 7)}));
    // Killed, stencil-failed and depth-failed fragments only: nothing at all.
    Run(5, 7, 3);
    sp_->pMask[0] = 0, sp_->pMask[1] = 2, sp_->pMask[2] = 10;
    _NSpanWriteColor(ctx_, pipe_);
    EXPECT_TRUE(All().empty());
    // The fragment-list form: each fragment at its own x and y.
    Run(0, 0, 2);
    sp_->pX[0] = 30, sp_->pY[0] = 4, sp_->pX[1] = 2, sp_->pY[1] = 90;
    _NSpanWriteColorAlt(ctx_, pipe_);
    packets = All();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].primitive(0)[1], Pos(30, 4));
    EXPECT_EQ(packets[0].primitive(1)[1], Pos(2, 90));
    EXPECT_EQ(gcAfter, 4u);
}

// Clip boxes: three drawn one pass each send the fragments three times,
// each packet with its box (moved by the window origin, cut to the screen,
// the maximum the last pixel inside); a single box is used too; without
// boxes, the window.
TEST_F(SwWriteTest, ColourWritePassesAClipBoxEach) {
    Start(kSolo);
    Program(1);
    ctx_->enableWord = N_MODE_FRAGMENTS;
    GLBuffer draw{};
    GLDeviceRecord rec{};
    BindBackBuffer(draw, rec);
    ASSERT_GE(_NFirstDrawSlot(ctx_), 0);
    ULONG boxes[6] = {Box(-150, 0), Box(10, 10), Box(20, 30), Box(40, 50), Box(60, 5), Box(200, 100)};
    ctx_->pulPackedClip = boxes;
    ctx_->cClipRects = 3;
    ctx_->multiRect = 1;
    Run(120, 60, 5);
    _NSpanWriteColor(ctx_, pipe_);
    auto packets = All();
    ASSERT_EQ(packets.size(), 3u);
    const ULONG want[3][2] = {{Box(0, 50), Box(109, 59)}, {Box(120, 80), Box(139, 99)}, {Box(160, 55), Box(299, 149)}};
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_TRUE(packets[k].hasClip);
        EXPECT_EQ(packets[k].clipMin, want[k][0]) << k;
        EXPECT_EQ(packets[k].clipMax, want[k][1]) << k;
        EXPECT_EQ(packets[k].primitives, 5u);
    }
    // One box: that box, not the window.
    ctx_->cClipRects = 1;
    Run(120, 60, 5);
    _NSpanWriteColor(ctx_, pipe_);
    packets = All();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].clipMin, want[0][0]);
    EXPECT_EQ(packets[0].clipMax, want[0][1]);
    // Several boxes the board clips itself: the window.
    ctx_->cClipRects = 3;
    ctx_->multiRect = 0;
    Run(120, 60, 5);
    _NSpanWriteColor(ctx_, pipe_);
    packets = All();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].clipMin, Box(100, 50));
    EXPECT_EQ(packets[0].clipMax, Box(299, 149));
    ctx_->pulPackedClip = nullptr;
    ctx_->cClipRects = 0;
}

// A window cut into 100 or 700 clip boxes: a pass for every one of them,
// in the list's order.
TEST_F(SwWriteTest, ColourWritePassesEveryBoxOfALongList) {
    Start(kSolo);
    Program(1);
    ctx_->enableWord = N_MODE_FRAGMENTS;
    GLBuffer draw{};
    GLDeviceRecord rec{};
    BindBackBuffer(draw, rec);
    for (ULONG count : {100u, 700u}) {
        SCOPED_TRACE(count);
        // One-pixel boxes, rows of 200 across the window.
        std::vector<ULONG> boxes;
        for (ULONG i = 0; i < count; ++i) {
            const LONG x = static_cast<LONG>(i % 200), y = static_cast<LONG>(i / 200);
            boxes.push_back(Box(x, y));
            boxes.push_back(Box(x + 1, y + 1));
        }
        ctx_->pulPackedClip = boxes.data();
        ctx_->cClipRects = count;
        ctx_->multiRect = 1;
        Run(120, 60, 5);
        _NSpanWriteColor(ctx_, pipe_);
        const auto packets = All();
        ASSERT_EQ(packets.size(), count);
        for (ULONG k : {0u, 63u, 64u, count - 1}) {
            const LONG x = 100 + static_cast<LONG>(k % 200), y = 50 + static_cast<LONG>(k / 200);
            EXPECT_EQ(packets[k].clipMin, Box(x, y)) << k;
            EXPECT_EQ(packets[k].clipMax, Box(x, y)) << k;
        }
    }
    ctx_->pulPackedClip = nullptr;
    ctx_->cClipRects = 0;
}

// The polygon selector builds its fill program before the debug switch
// takes the software path: the colour write must still head its packets
// with a single-pixel program, so the board reads each fragment as one
// primitive (no bad command or control words) and stores it, and the dead
// fragments leave their pixels as they were.
TEST_F(SwWriteTest, ForcedSoftwarePathWritesPixelsTheBoardReads) {
    struct Restore {
        ~Restore() { gNForceSoftwarePaths = 0; }
    } restore;
    for (const BoardModel& m : {kSolo, kQuad}) {
        SCOPED_TRACE(m.rasterizers);
        Start(m);
        // The screen is the colour buffer.
        ScreenTarget screen;
        BindScreen(&screen);
        const ULONG pid = screen.pid, keep = screen.keep;
        ctx_->enableWord = N_MODE_FRAGMENTS;

        // Triangles through the real selector, the switch on.
        HardwareWindow(_NValTriPipeRenderFcn);
        N_Pipe* pipe = ForcedTrianglePipe();
        EXPECT_EQ(pipe->pCommonPipeData->pDispatch->status, -7);

        // One span of 300 fragments across tiles, every fifth one dead.
        constexpr LONG x0 = 40, y0 = 100, n = 300;
        N_FragSpan* sp = &pipe->pCommonPipeData->span;
        sp->count = n;
        sp->pX[0] = x0;
        sp->pY[0] = y0;
        const auto before = [&] {
            Drain();
            return board_->read_pixels(0, static_cast<std::uint16_t>(pid), x0, y0, n, 1);
        }();
        ASSERT_EQ(before.size(), static_cast<std::size_t>(n));
        std::vector<ULONG> want(before);
        for (LONG i = 0; i < n; ++i) {
            sp->pMask[i] = i % 5 == 3 ? 0 : N_FRAG_PASSED;
            sp->pPacked[i] = i % 2 == 0 ? 0xFFFFFFu : 0x0000FFu;
            if (sp->pMask[i] & 1) want[static_cast<std::size_t>(i)] = sp->pPacked[i] & keep;
        }
        _NWriteColorRunKZ(pipe, sp);
        Drain();
        const auto errors = board_->take_errors();
        for (const auto& e : errors) ADD_FAILURE() << "board error on rasterizer " << e.rasterizer << ": " << e.message;
        ASSERT_TRUE(errors.empty());
        const auto after = board_->read_pixels(0, static_cast<std::uint16_t>(pid), x0, y0, n, 1);
        ASSERT_EQ(after.size(), want.size());
        int bad = 0;
        for (std::size_t k = 0; k < want.size() && bad < 10; ++k)
            if (after[k] != want[k]) {
                ++bad;
                ADD_FAILURE() << "pixel " << (x0 + static_cast<LONG>(k)) << std::hex << " board " << after[k]
                              << " want " << want[k];
            }
        ctx_->apScratchPixmap[0] = nullptr;
    }
}

// The span stages test alpha and stencil, blend, dither and apply the logic
// operation before the write, so the program the write carries does none of
// it again: the board stores each fragment's packed colour as it stands (no
// second blend against the colour just stored, no second logic operation),
// and the program loads no alpha word the write does not send (blending
// without an alpha buffer: the board would read a malformed stream).
TEST_F(SwWriteTest, ForcedSoftwareProgramStoresTheSpanColourAsItStands) {
    struct Restore {
        ~Restore() { gNForceSoftwarePaths = 0; }
    } restore;
    struct State {
        const char* what;
        ULONG enable;
        void (*set)(N_Context*);
    };
    const State states[] = {
        {"blend", N_MODE_BLEND,
         [](N_Context*) {
             const ULONG f[2] = {KZ_BLEND_SRC_ALPHA, KZ_BLEND_ONE_MINUS_SRC_ALPHA};
             N_SetStateBlockAttr(N_ATTR_BLEND_FUNC, f);
         }},
        {"logic op xor", N_MODE_LOGIC_OP, [](N_Context*) { N_SetStateBlockAttrWord(N_ATTR_LOGIC_OP_CODE, KZ_LOGIC_XOR); }},
        {"alpha test", N_MODE_ALPHA_TEST,
         [](N_Context*) {
             const ULONG f[2] = {KZ_GREATER, std::bit_cast<ULONG>(0.9f)};
             N_SetStateBlockAttr(N_ATTR_ALPHA_FUNC, f);
         }},
        {"dither", 0, [](N_Context* ctx) { *pulAttr(ctx, N_ATTR_DITHER) = 1; }},
    };
    for (const BoardModel& m : {kSolo, kQuad}) {
        for (const State& st : states) {
            SCOPED_TRACE(st.what);
            SCOPED_TRACE(m.rasterizers);
            Start(m);
            ScreenTarget screen;
            BindScreen(&screen);
            HardwareWindow(_NValTriPipeRenderFcn);
            constexpr LONG x0 = 40, y0 = 100, n = 300;
            auto write = [&](N_Pipe* pipe, auto colour) {
                N_FragSpan* sp = &pipe->pCommonPipeData->span;
                sp->count = n;
                sp->pX[0] = x0;
                sp->pY[0] = y0;
                for (LONG i = 0; i < n; ++i) {
                    sp->pMask[i] = N_FRAG_PASSED;
                    sp->pPacked[i] = colour(i);
                    sp->pAlpha[i] = 0.5f;
                }
                _NWriteColorRunKZ(pipe, sp);
                Drain();
            };
            // A ground under the span, written without any of the states.
            ctx_->enableWord = N_MODE_FRAGMENTS;
            write(ForcedTrianglePipe(), [](LONG i) { return i % 3 == 0 ? 0x00FF00u : 0x804020u; });
            // The span's colours under the state.
            ctx_->enableWord = N_MODE_FRAGMENTS | st.enable;
            st.set(ctx_);
            N_Pipe* pipe = ForcedTrianglePipe();
            const kzRenderProg* prog = _NHwSoftwareProgram(ctx_, pipe);
            EXPECT_EQ(kzuHdrLoadKindOf(prog->header, KZU_z1), 0u);
            EXPECT_EQ(kzuHdrLoadKindOf(prog->header, KZU_z0), 0u);
            write(pipe, [](LONG i) { return i % 2 == 0 ? 0xFFFFFFu : 0x0000FFu; });
            const auto errors = board_->take_errors();
            for (const auto& e : errors)
                ADD_FAILURE() << "board error on rasterizer " << e.rasterizer << ": " << e.message;
            ASSERT_TRUE(errors.empty());
            const auto after = board_->read_pixels(0, static_cast<std::uint16_t>(screen.pid), x0, y0, n, 1);
            ASSERT_EQ(after.size(), static_cast<std::size_t>(n));
            int bad = 0;
            for (LONG i = 0; i < n && bad < 5; ++i) {
                const ULONG want = (i % 2 == 0 ? 0xFFFFFFu : 0x0000FFu) & screen.keep;
                if (after[static_cast<std::size_t>(i)] != want) {
                    ++bad;
                    ADD_FAILURE() << "pixel " << (x0 + i) << std::hex << " board " << after[static_cast<std::size_t>(i)]
                                  << " want " << want;
                }
            }
            *pulAttr(ctx_, N_ATTR_DITHER) = 0;
            ctx_->apScratchPixmap[0] = nullptr;
        }
    }
}

class SwStencilTest : public SwWriteTest {
  protected:
    void Stencil(ULONG kind) {
        stencil_ = GLBuffer{};
        rec_ = GLDeviceRecord{};
        rec_.pid = 0x2A63;
        stencil_.memoryKind = kind;
        stencil_.kind = GLBUFFER_STENCIL;
        stencil_.bitsPerPixel = 8;
        stencil_.bytesPerPixel = 1;
        stencil_.cx = 64;
        stencil_.cy = 16;
        stencil_.stride = 64;
        stencil_.pvPixels = kind == GLBUFFER_MEMORY_HOST ? host_ : nullptr;
        stencil_.pDeviceRecord = &rec_;
        GLBuffer* p = &stencil_;
        N_BindBuffers(1, &p);
        ASSERT_EQ(ctx_->buffers[5].pBuffer, &stencil_);
    }
    GLBuffer stencil_{};
    GLDeviceRecord rec_{};
    BYTE host_[64 * 16] = {};
};

// 401 written fragments (stencil-failed ones included) with two raw clip
// rectangles: fragments 1-400 for each rectangle, then 401 for each; the
// clip pair cut to the 3D area, minima raised to 0.
TEST_F(SwStencilTest, BoardRunFormPacketsPerRectangle) {
    for (const BoardModel& m : {kSolo, kDuo, kQuad}) {
        SCOPED_TRACE(m.rasterizers);
        Start(m);
        Stencil(GLBUFFER_MEMORY_DEVICE);
        const LONG* size = plGLScreenSize(Pdev());
        LONG rects[8] = {-5, -7, 30, 40, 10, 20, 100000, 100000};
        ctx_->pulDecodedClip = reinterpret_cast<ULONG*>(rects);
        ctx_->cClipRects = 2;
        Run(3, 9, 406);
        for (LONG i = 100; i < 105; ++i) sp_->pMask[i] = N_FRAG_KILLED;
        sp_->pMask[7] = N_FRAG_STENCIL_FAILED;
        _NSpanWriteStencil(ctx_, pipe_);
        EXPECT_EQ(gcAfter, 1u);
        const auto packets = All();
        const ULONG clip[2][2] = {{0, (39u << 16) | 29u},
                                  {(20u << 16) | 10u,
                                   (static_cast<ULONG>(size[1] - 1) << 16) | static_cast<ULONG>(size[0] - 1)}};
        std::map<ULONG, std::vector<ULONG>> byRect;  // clip min -> positions in order
        for (const auto& p : packets) {
            EXPECT_EQ(p.command & 0xFFFFFFFFu, N_STENCIL_CMD_RUN);
            EXPECT_EQ(p.pids.at(0) & 0xFFFFu, 0x2A63u);
            EXPECT_EQ(p.instructions, std::vector<std::uint32_t>{N_STENCIL_INSTR_RUN});
            ASSERT_TRUE(p.hasClip);
            const int k = p.clipMin == clip[0][0] ? 0 : 1;
            EXPECT_EQ(p.clipMin, clip[k][0]);
            EXPECT_EQ(p.clipMax, clip[k][1]);
            for (std::size_t i = 0; i < p.primitives; ++i) {
                const auto w = p.primitive(i);
                ASSERT_EQ(w.size(), 2u);
                const LONG x = static_cast<LONG>((w[1] >> 4) & 0xFFF);
                EXPECT_EQ(w[0], static_cast<ULONG>(static_cast<BYTE>(x - 3)));
                byRect[p.clipMin].push_back(w[1]);
            }
        }
        ASSERT_EQ(byRect.size(), 2u);
        for (const auto& [k, v] : byRect) {
            if (m.rasterizers == 1) EXPECT_EQ(v.size(), 401u);
            EXPECT_EQ(std::set<ULONG>(v.begin(), v.end()).size(), 401u);
        }
        if (m.rasterizers == 1) {
            ASSERT_EQ(packets.size(), 4u);
            EXPECT_EQ(packets[0].primitives, 400u);
            EXPECT_EQ(packets[1].primitives, 400u);
            EXPECT_EQ(packets[2].primitives, 1u);
            EXPECT_EQ(packets[3].primitives, 1u);
            EXPECT_EQ(packets[2].primitive(0)[1], Pos(408, 9));
            EXPECT_EQ(packets[0].clipMin, clip[0][0]);
            EXPECT_EQ(packets[1].clipMin, clip[1][0]);
        }
        ctx_->pulDecodedClip = nullptr;
        ctx_->cClipRects = 0;
    }
}

TEST_F(SwStencilTest, BoardWithoutRectanglesAndFragmentListForm) {
    Start(kSolo);
    Stencil(GLBUFFER_MEMORY_DEVICE);
    // No clip rectangle: the values still go, clipped to the window.
    Run(3, 9, 2);
    _NSpanWriteStencil(ctx_, pipe_);
    auto packets = All();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].primitives, 2u);
    EXPECT_EQ(packets[0].clipMin, 0u);
    // The list form: no clip pair, each fragment at its own place.
    Run(0, 0, 2);
    sp_->pX[1] = 50, sp_->pY[1] = 3;
    sp_->pMask[0] = 0;
    _NSpanWriteStencilAlt(ctx_, pipe_);
    packets = All();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].command, N_STENCIL_CMD_FRAGS);
    EXPECT_EQ(packets[0].instructions, std::vector<std::uint32_t>{N_STENCIL_INSTR_FRAGS});
    EXPECT_FALSE(packets[0].hasClip);
    ASSERT_EQ(packets[0].primitives, 1u);
    EXPECT_EQ(packets[0].primitive(0), (std::vector<std::uint32_t>{1, Pos(50, 3)}));
    EXPECT_EQ(gcAfter, 2u);
}

TEST_F(SwStencilTest, HostBufferTakesTheValuesInPlaceAndOtherKindsGoOn) {
    Start(kSolo);
    Stencil(GLBUFFER_MEMORY_HOST);
    Run(60, 2, 6);  // runs past the right edge
    sp_->pMask[1] = 0;
    sp_->pMask[2] = 2;
    for (LONG i = 0; i < 6; ++i) sp_->pNewStencil[i] = static_cast<BYTE>(0xA0 + i);
    _NSpanWriteStencil(ctx_, pipe_);
    EXPECT_EQ(host_[2 * 64 + 60], 0xA0);
    EXPECT_EQ(host_[2 * 64 + 61], 0x00) << "killed: not written";
    EXPECT_EQ(host_[2 * 64 + 62], 0xA2) << "stencil failed: written";
    EXPECT_EQ(host_[2 * 64 + 63], 0xA3);
    EXPECT_EQ(host_[3 * 64 + 0], 0x00) << "past the row: dropped";
    // The list form: each value at its own pixel.
    Run(0, 0, 2);
    sp_->pX[0] = 5, sp_->pY[0] = 15, sp_->pX[1] = 6, sp_->pY[1] = 16;
    sp_->pNewStencil[0] = 0x77;
    _NSpanWriteStencilAlt(ctx_, pipe_);
    EXPECT_EQ(host_[15 * 64 + 5], 0x77);
    EXPECT_TRUE(All().empty());
    // A stencil buffer of another kind keeps its values, and the chain goes on.
    Stencil(3);
    Run(0, 0, 1);
    _NSpanWriteStencil(ctx_, pipe_);
    EXPECT_EQ(gcAfter, 3u);
    EXPECT_TRUE(All().empty());
}

// Host memory holds the screen's pixel count: a window of more pixels than
// the screen has its host stencil left unreached, a window of as many is
// reached.
TEST_F(SwStencilTest, HostBufferOfAWindowLargerThanTheScreenIsNotReached) {
    Start(kSolo);
    const LONG* size = plGLScreenSize(Pdev());
    struct Case {
        LONG cx, cy;
        bool bReached;
    };
    const Case cases[] = {{size[0] + 1, size[1], false}, {size[0], size[1] + 1, false}, {size[0] / 2, size[1] * 2, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cx);
        stencil_ = GLBuffer{};
        stencil_.memoryKind = GLBUFFER_MEMORY_HOST;
        stencil_.kind = GLBUFFER_STENCIL;
        stencil_.bitsPerPixel = 8;
        stencil_.cx = c.cx;
        stencil_.cy = c.cy;
        stencil_.pvPixels = host_;
        GLBuffer* p = &stencil_;
        N_BindBuffers(1, &p);
        EXPECT_EQ(ctx_->buffers[5].pjBase != nullptr, c.bReached);
    }
}

}  // namespace

namespace {

// A picture on the board: spans through the alpha test, the blend, the
// pack and the XOR operation, then the colour write, into the board's
// depth pixmap used as a canvas (the low bytes of each word kept); every
// pixel against GL's per-fragment result, on 1, 2 and 4 rasterizers, the
// rows and columns crossing tile borders.
TEST_F(SwWriteTest, BoardPictureMatchesGLPerFragment) {
    for (const BoardModel& m : {kSolo, kDuo, kQuad}) {
        SCOPED_TRACE(m.rasterizers);
        Start(m);
        SURFOBJ* psoDepth = psoGLDepth(Pdev());
        ASSERT_NE(psoDepth, nullptr);
        const DFB* pdfb = reinterpret_cast<const DSURF*>(psoDepth->dhsurf)->pdfb;
        const ULONG pid = pdfb->pid & 0xFFFFu;
        // The canvas keeps the low bytes of each word it is sent.
        ULONG pw = 0, ph = 0, bpp = 0;
        ASSERT_TRUE(board_->page_geometry(static_cast<std::uint16_t>(pid), &pw, &ph, &bpp));
        const ULONG keep = bpp >= 4 ? 0xFFFFFFFFu : (1u << (8 * bpp)) - 1;
        kzRenderProg* prog = _NHwSoftwareProgram(ctx_, pipe_);
        kzStartProgram(prog, 0x20 | (3u << 12), 2);
        kzPlacePid(prog, pid, pid);
        _kzuEmit(prog, 0x10360348, "test", __LINE__);
        prog->clipCount = 2;
        ASSERT_EQ(kzSerialiseProgram(prog, 1, 1), 1u);
        prog->valid = 1;
        // A draw buffer over the screen: 4-byte pixels for the operation.
        const LONG* size = plGLScreenSize(Pdev());
        GLBuffer draw{};
        draw.memoryKind = GLBUFFER_MEMORY_DEVICE;
        draw.kind = GLBUFFER_BACK_LEFT;
        draw.bitsPerPixel = 32;
        draw.bytesPerPixel = 4;
        draw.cx = size[0];
        draw.cy = size[1];
        GLBuffer* pDraw = &draw;
        N_BindBuffers(1, &pDraw);
        N_SetStateBlockAttrWord(N_ATTR_DRAW_BUFFER, 4);
        ctx_->enableWord = N_MODE_FRAGMENTS;
        ctx_->val.ditherTable = N_DITHER_NEUTRAL;
        const ULONG alpha[2] = {4, std::bit_cast<ULONG>(0.3f)};  // greater
        std::memcpy(pulAttr(ctx_, N_ATTR_ALPHA_FUNC), alpha, sizeof alpha);
        const ULONG blend[2] = {4, 5};  // source alpha, one minus source alpha
        std::memcpy(pulAttr(ctx_, N_ATTR_BLEND_FUNC), blend, sizeof blend);
        pipe_->next[N_STAGE_ALPHA_TEST] = _NSpanBlend;
        pipe_->next[N_STAGE_BLEND] = _NSpanDitherPack;
        pipe_->next[N_STAGE_DITHER_PACK] = _NSpanLogicOpFn(6);
        pipe_->next[N_STAGE_LOGIC_OP] = _NSpanWriteColor;

        constexpr LONG x0 = 60, y0 = 124, n = 250, rows = 8;
        // Some canvas values of our own first, then what the board holds.
        for (LONG y = y0; y < y0 + rows; ++y) {
            for (LONG i = 0; i < n; ++i) sp_->pPacked[i] = static_cast<ULONG>((i * 7 + y) * 0x010203) & 0xFFFFFFu;
            Run(x0, y, n);
            for (LONG i = 0; i < n; ++i) sp_->pPacked[i] = static_cast<ULONG>((i * 7 + y) * 0x010203) & 0xFFFFFFu;
            _NWriteColorRunKZ(pipe_, sp_);
        }
        Drain();
        const auto before = board_->read_pixels(0, static_cast<std::uint16_t>(pid), x0, y0, n, rows);
        ASSERT_EQ(before.size(), static_cast<std::size_t>(n * rows));
        const float alphas[4] = {0.25f, 0.5f, 0.75f, 1.0f};
        std::vector<ULONG> want(before);
        for (LONG y = 0; y < rows; ++y) {
            Run(x0, y0 + y, n);
            for (LONG i = 0; i < n; ++i) {
                const ULONG d = before[static_cast<std::size_t>(y * n + i)];
                sp_->pRed[i] = static_cast<float>((i * 3) & 0xFF);
                sp_->pGreen[i] = static_cast<float>((y * 40) & 0xFF);
                sp_->pBlue[i] = static_cast<float>(255 - (i & 0x7F));
                sp_->pAlpha[i] = alphas[(i + y) % 4] - (i % 5 == 0 ? 0.25f : 0.0f);
                sp_->pDstPacked[i] = d;
                sp_->pDstRed[i] = static_cast<float>((d >> 16) & 0xFF);
                sp_->pDstGreen[i] = static_cast<float>((d >> 8) & 0xFF);
                sp_->pDstBlue[i] = static_cast<float>(d & 0xFF);
                sp_->pDstAlpha[i] = 0.0f;
                // GL: alpha test greater 0.3, then the blend, the colour
                // rounded to the buffer's 8 bits (halves to even), then XOR.
                const double a = sp_->pAlpha[i];
                if (!(a > 0.3)) continue;
                auto ch = [&](double s, double dd) {
                    return static_cast<ULONG>(std::nearbyint(std::clamp(s * a + dd * (1 - a), 0.0, 255.0)));
                };
                const ULONG c = (ch(sp_->pRed[i], (d >> 16) & 0xFF) << 16) | (ch(sp_->pGreen[i], (d >> 8) & 0xFF) << 8) |
                                ch(sp_->pBlue[i], d & 0xFF);
                want[static_cast<std::size_t>(y * n + i)] = (c ^ d) & keep;
            }
            _NSpanAlphaTestGreater(ctx_, pipe_);
        }
        Drain();
        const auto after = board_->read_pixels(0, static_cast<std::uint16_t>(pid), x0, y0, n, rows);
        ASSERT_EQ(after.size(), want.size());
        int bad = 0;
        for (std::size_t k = 0; k < want.size() && bad < 10; ++k)
            if (after[k] != want[k]) {
                ++bad;
                ADD_FAILURE() << "pixel " << (x0 + static_cast<LONG>(k % n)) << "," << (y0 + static_cast<LONG>(k / n))
                              << std::hex << " board " << after[k] << " GL " << want[k];
            }
        EXPECT_GT(gcAfter, 0u);
    }
}

}  // namespace

namespace {

// The board stencil write on the board: each value lands at its pixel
// inside the raw clip rectangles only, killed fragments leave the pixel as it was; 1, 2 and 4
// rasterizers, a run crossing tile borders.
TEST_F(SwStencilTest, BoardStoresTheValuesInsideTheRectangles) {
    for (const BoardModel& m : {kSolo, kDuo, kQuad}) {
        SCOPED_TRACE(m.rasterizers);
        Start(m);
        SURFOBJ* psoDepth = psoGLDepth(Pdev());
        ASSERT_NE(psoDepth, nullptr);
        const ULONG pid = reinterpret_cast<const DSURF*>(psoDepth->dhsurf)->pdfb->pid & 0xFFFFu;
        Stencil(GLBUFFER_MEMORY_DEVICE);
        rec_.pid = pid;
        LONG rects[8] = {100, 120, 140, 130, 200, 126, 300, 129};
        ctx_->pulDecodedClip = reinterpret_cast<ULONG*>(rects);
        ctx_->cClipRects = 2;
        constexpr LONG x0 = 90, y0 = 118, n = 230, rows = 14;
        Drain();
        const auto before = board_->read_pixels(0, static_cast<std::uint16_t>(pid), x0, y0, n, rows);
        ASSERT_EQ(before.size(), static_cast<std::size_t>(n * rows));
        std::vector<ULONG> want(before);
        for (LONG y = 0; y < rows; ++y) {
            Run(x0, y0 + y, n);
            for (LONG i = 0; i < n; ++i) {
                sp_->pNewStencil[i] = static_cast<BYTE>(i * 5 + y);
                if (i % 7 == 3) sp_->pMask[i] = N_FRAG_KILLED;
                if (i % 11 == 5 && sp_->pMask[i] != 0) sp_->pMask[i] = N_FRAG_STENCIL_FAILED;
                const LONG x = x0 + i, yy = y0 + y;
                bool bIn = false;
                for (int k = 0; k < 2; ++k)
                    bIn |= x >= rects[4 * k] && yy >= rects[4 * k + 1] && x < rects[4 * k + 2] && yy < rects[4 * k + 3];
                if (bIn && sp_->pMask[i] != 0) want[static_cast<std::size_t>(y * n + i)] = sp_->pNewStencil[i];
            }
            _NSpanWriteStencil(ctx_, pipe_);
        }
        Drain();
        const auto after = board_->read_pixels(0, static_cast<std::uint16_t>(pid), x0, y0, n, rows);
        int bad = 0;
        for (std::size_t k = 0; k < want.size() && bad < 10; ++k)
            if (after[k] != want[k]) {
                ++bad;
                ADD_FAILURE() << "pixel " << (x0 + static_cast<LONG>(k % n)) << "," << (y0 + static_cast<LONG>(k / n))
                              << std::hex << " board " << after[k] << " GL " << want[k];
            }
        ctx_->pulDecodedClip = nullptr;
        ctx_->cClipRects = 0;
    }
}

}  // namespace
