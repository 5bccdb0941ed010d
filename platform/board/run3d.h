// Inside of the board model's 3D execution: a packet's render program
// compiled once, and the runner that carries it out on one fragment at a
// time. The polygon (exec_3d.cpp) and line (exec_3d_line.cpp) rasterizers
// decide which fragments a primitive covers and what its data registers
// hold there; the runner does the rest as render3d.h defines it (registers,
// opcodes, condition codes, clip, stipple, pixmap reads and writes, tile
// ownership, split boards).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "exec.h"
#include "render3d.h"

namespace vnx::board::exec {

constexpr std::uint32_t kRegisters3 = 40;  // 0-39: work, pattern, pixmaps, data, constants

// What an instruction does, decoded once a packet.
enum class Kind3 : std::uint8_t {
    Bitwise, Copy, Add, Sub, Mul, AddWord, CcMin, CcGreater, CcAddCarry, Compare, Texel, TexelFiltered, Fraction
};

struct Op3 {
    Kind3 kind;
    std::uint8_t bitOp;    // Bitwise: the 2D opcode (0-7)
    std::uint8_t cmp;      // Compare: KZU_CMP_LT .. KZU_CMP_GT
    std::uint8_t cc;       // condition code set (cc operations and compares)
    std::uint8_t r, a, b;  // registers
    bool perLane;          // Compare with the clamp bit
    bool join;
    bool clip;
    bool stipple;          // acts only where the line's stipple bit is set
    std::uint8_t predicate;  // bit c: code c must hold
};

struct Program3 {
    std::array<Op3, 32> ops;
    int n = 0;
    bool allClipped = true;   // every instruction carries the clip bit
    bool allStippled = true;  // every instruction carries the stipple bits
};

// Decodes a packet's instruction words (kzuinstr.h); false for a word the
// model does not carry out (render3d.h).
bool compile3(const std::vector<std::uint32_t>& words, Program3* p);

// The 16-bit depth form of a shallow depth buffer (render3d.h, "Depth
// word") and the 24-bit depth it stands for: below 0xF00000 the depth / 512;
// above, bit 15 set, in bits 12-14 the count n of further leading one bits
// (at most 7) and in bits 0-11 the twelve bits after them.
std::uint32_t depth_of_form16(std::uint32_t word);
std::uint32_t form16_of_depth(std::uint32_t depth);

// One packet's fragments on one rasterizer.
class FragmentRunner {
public:
    FragmentRunner(Impl& board, int r, const DecodedPacket& packet, const Program3& prog);

    const Fields& fields() const { return fields_; }
    // Whether the packet's depth pixmap (a bare space) holds the 16-bit
    // depth form.
    bool depth_form16() const { return depthForm16_; }
    // Whether data register k (27 + k) holds depth words of the 16-bit form:
    // the packet's depth pixmap holds that form and an instruction of the
    // program takes the register with that pixmap (compares them, or writes
    // the register into it).
    bool depth_word16(std::uint32_t k) const { return k < 4 && ((depthWords16_ >> k) & 1u) != 0; }
    // The primitive's words (null when the packet cannot hold primitive
    // `prim`); its per-primitive constants are loaded from them.
    const std::uint32_t* primitive(std::size_t prim);
    // Narrows a pixel box (inclusive) to the clip pair when every
    // instruction is clipped; false when nothing is left.
    bool clip_box(std::int64_t* x0, std::int64_t* y0, std::int64_t* x1, std::int64_t* y1) const;
    // Runs the program on the fragment at desktop pixel (x, y) with data
    // registers 27-30 holding data[0..3]; `stipple` says whether the line
    // stipple's bit is set there.
    void fragment(std::int64_t x, std::int64_t y, const std::uint32_t (&data)[4], bool stipple = true);

private:
    bool in_clip(std::int64_t x, std::int64_t y) const;
    // The pixel of pixmap register 13 + n at the fragment's position (x, y):
    // a tile pid's repeating pixel, any other pid's pixel there.
    std::uint8_t* pixmap_pixel(std::uint32_t n, std::int64_t x, std::int64_t y, std::uint32_t* bpp, bool bWrite);

    Impl& b_;
    int r_;
    Rasterizer& ras_;
    const DecodedPacket& packet_;
    const Program3& prog_;
    Fields fields_;
    std::uint16_t pid_[KZU_PIXMAPS] = {};
    std::uint32_t constants_[KZU_CONSTANTS] = {};
    std::int64_t xScreen_ = 0;
    bool hasClip_ = false;
    bool depthForm16_ = false;
    std::uint32_t depthWords16_ = 0;  // bit k: data register k, as depth_word16 says
    // The colour's maximum in each lane (lane k in bits 8k .. 8k + 7) in
    // this packet: 0xFF, or 0x7F where the pid list names a 16-bit colour
    // pixmap (format 4, 7 bits a channel), or red 0xDF, green 0xFF, blue
    // 0x7F where it names an 8-bit 3-3-2 colour pixmap (format 2).
    std::uint32_t laneMax_ = 0xFFFFFFFFu;
    std::int64_t clipX0_ = 0, clipY0_ = 0, clipX1_ = 0, clipY1_ = 0;
};

}  // namespace vnx::board::exec
