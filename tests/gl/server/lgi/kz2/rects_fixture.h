// Clears, bitmaps and pixel rectangles over a simulated board: board
// buffers of the context (a pid each, at a window origin), a clip list, and
// the primitives every rasterizer decoded.
#pragma once

#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "context/buffers.h"
#include "gl/server/lgi/board_fixture.h"
#include "glpdev.h"
#include "kz2/ucode/kzprog.h"
#include "kz2/render/kzrects.h"

namespace rects_test {

using namespace lgi_test;
using vnx::board::DecodedPacket;

// A board buffer: its device record gives the pid.
struct BoardBuffer {
    GLDeviceRecord rec{};
    GLBuffer buf{};
    BoardBuffer(ULONG kind, ULONG pid, ULONG bpp, LONG x, LONG y, LONG cx, LONG cy) {
        rec.pid = pid;
        buf.pDeviceRecord = &rec;
        buf.memoryKind = GLBUFFER_MEMORY_DEVICE;
        buf.kind = kind;
        buf.bitsPerPixel = bpp;
        buf.x = x;
        buf.y = y;
        buf.cx = cx;
        buf.cy = cy;
        buf.hsurf = reinterpret_cast<HSURF>(1);
    }
};

struct Box {
    LONG x0, y0, x1, y1;  // screen pixels, x1 and y1 excluded
};
inline ULONG Packed(LONG x, LONG y) { return (static_cast<ULONG>(y) << 16) | static_cast<ULONG>(x); }

// A point of a decoded point packet: (x, y) in whole pixels.
using Pixel = std::pair<LONG, LONG>;
inline Pixel PixelOf(ULONG pos) { return {static_cast<LONG>((pos >> 4) & 0xFFFu), static_cast<LONG>(pos >> 20)}; }

class RectsTest : public LgiBoardTest {
  protected:
    void Start(const BoardModel& m) {
        if (board_ != nullptr) {
            Drain();
            for (const auto& e : board_->take_errors())
                ADD_FAILURE() << "board error on rasterizer " << e.rasterizer << ": " << e.message;
        }
        Boot(m);
        cxScreen_ = plGLScreenSize(Pdev())[0];
        cyScreen_ = plGLScreenSize(Pdev())[1];
        *pulGLOverlayContexts(Pdev()) = 0;
        pGLPageConfig(Pdev())->cDepthBits = 24;
    }
    void BindBuffers(std::vector<GLBuffer*> v) {
        v.push_back(nullptr);
        N_BindBuffers(static_cast<ULONG>(v.size() - 1), v.data());
        ctx_->dirty = 0;
    }
    void Clip(const std::vector<Box>& boxes) {
        std::vector<ULONG> w;
        for (const Box& b : boxes) {
            w.push_back(Packed(b.x0, b.y0));
            w.push_back(Packed(b.x1, b.y1));
        }
        N_BindClipList(static_cast<LONG>(boxes.size()), w.data());
        ctx_->dirty = 0;
    }
    // Every drawing packet of every rasterizer, by rasterizer.
    std::vector<std::vector<DecodedPacket>> Packets() { return Drain(); }

    LONG cxScreen_ = 0, cyScreen_ = 0;
};

}  // namespace rects_test
