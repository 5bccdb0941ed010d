// The polygons of drawing packets (class 5) carried out into board memory:
// triangles rasterized by the coverage rule, each covered pixel running the
// packet's render program on its own fragment registers. The model's
// definition is render3d.h; the instruction fields come from kzuinstr.h and
// the primitive words from kzprimwords.h.
#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>

#include "formats.h"
#include "run3d.h"

namespace vnx::board::exec {

const kzPrimWordsRow* gl_layout_of(std::uint32_t command) {
    const std::uint32_t shape = command & (KZU_HDR_CLASS_MASK | KZU_HDR_CLIP | 0xFFu << 12);
    for (const GlLayout& l : kGlLayouts) {
        if ((l.programClass | KZU_HDR_CLIP | l.loads) == shape) return kzPrimWordsOf(l.programClass, l.dataAttr);
    }
    return nullptr;
}

namespace {

// Control-word bits of the second screen's packets on a split board, and
// where that screen starts in x (as the 2D packets).
constexpr std::uint32_t kSecondScreenBits = 0x70000u;
constexpr std::int64_t kSecondScreenX = 1024;

constexpr std::uint32_t kRegPattern = KZU_pattern;
constexpr std::uint32_t kRegZero = 31;  // reads 0, keeps no write
constexpr std::uint32_t kAllLanes = 0xFu;
// The generator's one (its constant 0x07000000), and what it stands for
// against an alpha and against a colour.
constexpr std::uint32_t kOne = 0x07000000u;
constexpr std::uint32_t kAlphaOne = 256;
// Pid pixel formats the texel fetches convert between: 5-5-5 as stored,
// 5-5-5 in the 7-bit colour form, 32 bits.
constexpr std::uint32_t kFormat8 = 0, kFormat332 = 2, kFormat555 = 3, kFormat1555 = 4, kFormat32 = 5;
constexpr std::uint16_t kPidTileBit = 0x40;  // a tile pid (platform/board.h, "Board memory")



// --- lane arithmetic -------------------------------------------------------------
inline std::uint32_t lane(std::uint32_t v, int k) { return (v >> (8 * k)) & 0xFFu; }

template <class F>
inline std::uint32_t per_lane(std::uint32_t a, std::uint32_t b, F f) {
    std::uint32_t out = 0;
    for (int k = 0; k < 4; ++k) out |= (f(lane(a, k), lane(b, k)) & 0xFFu) << (8 * k);
    return out;
}

// Lanes (bit k for lane k) where f(a lane, b lane) holds.
template <class F>
inline std::uint32_t lanes_where(std::uint32_t a, std::uint32_t b, F f) {
    std::uint32_t m = 0;
    for (int k = 0; k < 4; ++k) m |= f(lane(a, k), lane(b, k)) ? 1u << k : 0u;
    return m;
}

inline std::uint32_t lane_mask(std::uint32_t lanes) {
    std::uint32_t m = 0;
    for (int k = 0; k < 4; ++k) m |= (lanes >> k & 1u) ? 0xFFu << (8 * k) : 0u;
    return m;
}

bool compare(std::uint8_t cmp, std::uint32_t a, std::uint32_t b) {
    switch (cmp) {
    case KZU_CMP_LT: return a < b;
    case KZU_CMP_LE: return a <= b;
    case KZU_CMP_EQ: return a == b;
    case KZU_CMP_GE: return a >= b;
    default: return a > b;  // KZU_CMP_GT
    }
}

}  // namespace

// --- the program -----------------------------------------------------------------

bool compile3(const std::vector<std::uint32_t>& words, Program3* p) {
    if (words.size() > p->ops.size()) return false;
    for (std::uint32_t w : words) {
        if ((w & KZU_RESERVED) != 0) return false;
        const kzuOpInfo info = kzuDecodeOp(kzuOpcode(w));
        Op3 op{};
        op.r = static_cast<std::uint8_t>(kzuR(w));
        op.a = static_cast<std::uint8_t>(kzuA(w));
        op.b = static_cast<std::uint8_t>(kzuB(w));
        if (op.a >= kRegisters3 || op.b >= kRegisters3) return false;
        op.join = (w & KZU_JOIN) != 0;
        op.clip = (w & KZU_CLIP) != 0;
        op.stipple = (w & KZU_STIPPLE) != 0;
        op.perLane = (w & KZU_CLAMP) != 0;
        op.predicate = static_cast<std::uint8_t>((w & KZU_PREDICATE) >> 29);
        op.cc = static_cast<std::uint8_t>(info.cc);
        switch (info.kind) {
        case KZU_KIND_PLAIN:
            switch (kzuOpcode(w)) {
            case KZU_OP_COPY: op.kind = Kind3::Copy; break;
            case KZU_OP_ADD: op.kind = Kind3::Add; break;
            case KZU_OP_SUB: op.kind = Kind3::Sub; break;
            case KZU_OP_MUL: op.kind = Kind3::Mul; break;
            case KZU_OP_ADDW: op.kind = Kind3::AddWord; break;
            case KZU_OP_TEXEL:
            case KZU_OP_TEXF:
                // A texel of a pixmap register.
                if (op.a < KZU_pixmap0 || op.a > KZU_pixmapLast) return false;
                op.kind = kzuOpcode(w) == KZU_OP_TEXEL ? Kind3::Texel : Kind3::TexelFiltered;
                break;
            case KZU_OP_FRAC: op.kind = Kind3::Fraction; break;
            default:
                op.kind = Kind3::Bitwise;
                op.bitOp = static_cast<std::uint8_t>(kzuOpcode(w));
                break;
            }
            break;
        case KZU_KIND_CC_OP:
            if (info.word == 0) op.kind = Kind3::CcMin;
            else if (info.word == KZU_CC_GT_WORD) op.kind = Kind3::CcGreater;
            else if (info.word == KZU_CC_ADDC_WORD) op.kind = Kind3::CcAddCarry;
            else return false;  // descriptor words 1-3
            break;
        case KZU_KIND_COMPARE:
            op.kind = Kind3::Compare;
            op.cmp = static_cast<std::uint8_t>(info.word);
            break;
        default:
            // NAND (0x04) and OR-NOT (0x06): the bitwise pair the
            // generator's description leaves out.
            if (kzuOpcode(w) != kOpNand && kzuOpcode(w) != kOpOrNot) return false;
            op.kind = Kind3::Bitwise;
            op.bitOp = static_cast<std::uint8_t>(kzuOpcode(w));
            break;
        }
        p->allClipped &= op.clip;
        p->allStippled &= op.stipple;
        p->ops[static_cast<std::size_t>(p->n++)] = op;
    }
    return true;
}

// --- the 16-bit depth form -------------------------------------------------------

std::uint32_t depth_of_form16(std::uint32_t word) {
    if ((word & 0x8000u) == 0) return (word & 0x7FFFu) << 9;
    const std::uint32_t n = (word >> 12) & 7u;
    const std::uint32_t ones = ((1u << n) - 1u) << (20 - n);
    return (0xF00000u | ones | ((word & 0xFFFu) << (7 - std::min<std::uint32_t>(n, 6)))) & 0xFFFFFFu;
}

std::uint32_t form16_of_depth(std::uint32_t depth) {
    if ((depth & 0xF00000u) != 0xF00000u) return (depth & 0xFFFFFFu) >> 9;
    std::uint32_t v = depth & 0xFFFFFu, n = 0;
    while ((v & 0x80000u) != 0) {
        if (++n == 7) break;
        v <<= 1;
    }
    return ((v & 0x7FF80u) >> 7) | ((n | 8u) << 12);
}

// --- one fragment ----------------------------------------------------------------

FragmentRunner::FragmentRunner(Impl& board, int r, const DecodedPacket& packet, const Program3& prog)
    : b_(board), r_(r), ras_(board.rasterizers[r]), packet_(packet), prog_(prog) {
    xScreen_ = (packet.control & kSecondScreenBits) != 0 ? kSecondScreenX : 0;
    hasClip_ = packet.hasClip;
    clipX0_ = (packet.clipMin & 0xFFFF) + xScreen_;
    clipY0_ = packet.clipMin >> 16;
    clipX1_ = (packet.clipMax & 0xFFFF) + xScreen_;
    clipY1_ = packet.clipMax >> 16;
    std::uint32_t depthPixmaps16 = 0;  // bit n: pixmap 13 + n is a depth buffer of the 16-bit form
    for (std::uint32_t n = 0; n < KZU_PIXMAPS; ++n) {
        std::uint16_t pid = n < 2 * packet.pids.size() ? packet.pid(n) : 0xFFFFu;
        // A bare space (the depth buffer as the generator names it): in the
        // format that space was last reached with, else as the 8-bit pixels
        // the pid names (format 0: the stencil and alpha buffers).
        if ((pid & 0xFFE0u) == 0) {
            const std::uint16_t known = board.spaceFormat[pid & 0x1Fu];
            if ((known & 1u) != 0) pid |= static_cast<std::uint16_t>(known & 0xE000u);
            if (n < 2 * packet.pids.size() && (pid >> 13) == kFormat555) {
                depthForm16_ = true;
                depthPixmaps16 |= 1u << n;
            }
        }
        pid_[n] = pid;
        if (n < 2 * packet.pids.size() && (pid >> 13) == kFormat1555) laneMax_ = 0x7F7F7F7Fu;
        if (n < 2 * packet.pids.size() && (pid >> 13) == kFormat332 && (pid & kPidTileBit) == 0) laneMax_ = 0xFFDFFF7Fu;
    }
    // The data registers an instruction takes together with a depth pixmap of
    // the 16-bit form.
    auto depthPixmap16 = [&](std::uint32_t reg) {
        return reg >= KZU_pixmap0 && reg - KZU_pixmap0 < KZU_PIXMAPS && ((depthPixmaps16 >> (reg - KZU_pixmap0)) & 1u) != 0;
    };
    for (int i = 0; i < prog.n; ++i) {
        const Op3& op = prog.ops[static_cast<std::size_t>(i)];
        if (!depthPixmap16(op.r) && !depthPixmap16(op.a) && !depthPixmap16(op.b)) continue;
        for (const std::uint32_t reg : {std::uint32_t{op.a}, std::uint32_t{op.b}})
            if (reg >= KZU_rgb0 && reg < KZU_rgb0 + 4) depthWords16_ |= 1u << (reg - KZU_rgb0);
    }
    const Fields f = fields_of(packet.command);
    for (std::uint32_t k = 0; k < std::min<std::size_t>(f.packetConstants, KZU_CONSTANTS); ++k) {
        if (k < packet.constants.size()) constants_[k] = packet.constants[k];
    }
    fields_ = f;
}

const std::uint32_t* FragmentRunner::primitive(std::size_t prim) {
    const std::size_t wpp = packet_.wordsPerPrimitive;
    if (wpp == 0 || (prim + 1) * wpp > packet_.primitiveWords.size()) return nullptr;
    const std::uint32_t* w = &packet_.primitiveWords[prim * wpp];
    // Per-primitive constants lead the primitive's words.
    for (std::uint32_t k = 0; k < fields_.primConstants; ++k)
        constants_[KZU_CONSTANTS - fields_.primConstants + k] = w[k];
    return w;
}

bool FragmentRunner::clip_box(std::int64_t* x0, std::int64_t* y0, std::int64_t* x1, std::int64_t* y1) const {
    if (prog_.allClipped && hasClip_) {
        *x0 = std::max(*x0, clipX0_);
        *y0 = std::max(*y0, clipY0_);
        *x1 = std::min(*x1, clipX1_);
        *y1 = std::min(*y1, clipY1_);
    }
    return *x0 <= *x1 && *y0 <= *y1;
}

bool FragmentRunner::in_clip(std::int64_t x, std::int64_t y) const {
    return !hasClip_ || (x >= clipX0_ && x <= clipX1_ && y >= clipY0_ && y <= clipY1_);
}

namespace {

struct Fragment3 {
    std::uint32_t reg[kRegisters3];
    std::uint64_t alpha = 0;     // registers holding an alpha (bit per register)
    std::uint64_t byteAlpha = 0; // registers holding an alpha as a byte of an 8-bit pixmap
    std::uint32_t cc[3];         // lanes of each code
    std::uint16_t loadedPix = 0; // pixmaps read or written this fragment
    std::uint16_t writtenPix = 0;
    bool wrotePattern = false;
};

}  // namespace

std::uint8_t* FragmentRunner::pixmap_pixel(std::uint32_t n, std::int64_t x, std::int64_t y, std::uint32_t* bpp,
                                           bool bWrite) {
    // A tile's pixel repeats across the fragments' positions, as its texels
    // repeat across the coordinates.
    if ((pid_[n] & kPidTileBit) != 0) return b_.tile_texel(r_, pid_[n], x, y, bpp);
    return b_.page_pixel(r_, pid_[n], x, y, bpp, nullptr, bWrite);
}

void FragmentRunner::fragment(std::int64_t x, std::int64_t y, const std::uint32_t (&data)[4], bool stipple) {
    if (x < 0 || y < 0) return;
    const std::int64_t xm = x >= xScreen_ ? x - xScreen_ : x;
    if (!owns(ras_, xm, y)) return;
    const bool clipped = in_clip(x, y);
    if (!clipped && prog_.allClipped) return;

    Fragment3 f;
    std::fill(std::begin(f.reg), std::end(f.reg), 0u);
    f.cc[0] = f.cc[1] = f.cc[2] = kAllLanes;
    if (!stipple && prog_.allStippled) return;
    std::copy(std::begin(data), std::end(data), f.reg + KZU_rgb0);
    // The texel address registers start as the interpolated coordinates, z0 and z1.
    std::uint32_t address[2] = {data[1], data[2]};
    std::copy(std::begin(constants_), std::end(constants_), f.reg + KZU_constant_0);
    f.reg[kRegPattern] = ras_.pattern[static_cast<std::size_t>((y & 7) * 8 + (xm & 7))];

    // The fragment's pixmap writes stored in their formats.
    auto store = [&] {
        for (std::uint32_t n = 0; n < KZU_PIXMAPS; ++n) {
            if (!(f.writtenPix >> n & 1u)) continue;
            std::uint32_t bpp = 0;
            std::uint8_t* p = pixmap_pixel(n, xm, y, &bpp, true);
            if (p == nullptr) continue;
            std::uint32_t v = f.reg[KZU_pixmap0 + n];
            // An alpha stored into an 8-bit pixmap: the byte round(a x 255 / 256).
            if (bpp == 1 && (f.alpha >> (KZU_pixmap0 + n) & 1u) != 0) v = (std::min(v, kAlphaOne) * 255 + 128) >> 8;
            const PixelFormat& pf = pixel_format_of_pid(pid_[n]);
            pf.store(p, 1, &v, nullptr);
        }
    };
    auto read = [&](std::uint32_t reg) -> std::uint32_t {
        if (reg >= KZU_pixmap0 && reg <= KZU_pixmapLast) {
            const std::uint32_t n = reg - KZU_pixmap0;
            if (!(f.loadedPix >> n & 1u)) {
                f.loadedPix |= static_cast<std::uint16_t>(1u << n);
                // A pid of the same space and pixel size that this fragment
                // wrote names the same pixel: it reads that write, through
                // the two formats (whether or not a page maps the position).
                for (std::uint32_t m = 0; m < KZU_PIXMAPS; ++m) {
                    if (m == n || !(f.writtenPix >> m & 1u) || (pid_[m] & 0x1Fu) != (pid_[n] & 0x1Fu)) continue;
                    const PixelFormat& from = pixel_format_of_pid(pid_[m]);
                    const PixelFormat& to = pixel_format_of_pid(pid_[n]);
                    if (from.bytesPerPixel != to.bytesPerPixel || from.to_pixel == nullptr || to.to_register == nullptr)
                        continue;
                    f.reg[reg] = to.to_register(from.to_pixel(f.reg[KZU_pixmap0 + m]));
                    return f.reg[reg];
                }
                std::uint32_t bpp = 0;
                const std::uint8_t* p = pixmap_pixel(n, xm, y, &bpp, false);
                f.reg[reg] = p != nullptr ? pixel_format_of_pid(pid_[n]).to_register(load_pixel(p, bpp)) : 0;
                // An 8-bit pixel is an alpha byte wherever it is multiplied or
                // subtracted as one (the stencil is only compared and counted).
                if (bpp == 1) f.byteAlpha |= std::uint64_t{1} << reg;
            }
        }
        return f.reg[reg];
    };
    // An alpha: the data registers z0-z2 (the alpha words of the layouts
    // and the coverage of antialiased lines; depth and texture coordinates
    // are never multiplied) and the alpha results below.
    auto is_alpha = [&](std::uint32_t reg) {
        return (reg >= KZU_z0 && reg <= KZU_z2) || ((f.alpha | f.byteAlpha) >> reg & 1u) != 0;
    };
    // The 9-bit alpha of an alpha register whose word `read` returned: an
    // alpha byte b widens to b + (b >> 7) (255 is 256, 1.0).
    auto alpha_of = [&](std::uint32_t reg, std::uint32_t v) {
        if ((f.byteAlpha >> reg & 1u) == 0) return v;
        v &= 0xFFu;
        return v + (v >> 7);
    };
    // The board's one: the word 0x07000000 in a constant register.
    auto is_one = [&](std::uint32_t reg) {
        return reg >= KZU_constant_0 && reg < KZU_constant_0 + KZU_CONSTANTS && f.reg[reg] == kOne;
    };
    auto write = [&](std::uint32_t reg, std::uint32_t value, std::uint32_t lanes, bool alpha = false,
                     bool byteAlpha = false) {
        if (reg == kRegZero) return;
        const std::uint32_t m = lane_mask(lanes);
        if (reg == KZU_u || reg == KZU_v) {
            // A result in 27 or 28 sets the texel address register u or v;
            // the data registers keep their words (and what they hold: the
            // colour in 27 stays a colour when a coordinate is copied to u).
            std::uint32_t& a = address[reg - KZU_u];
            a = (a & ~m) | (value & m);
            return;
        }
        f.alpha = alpha ? f.alpha | std::uint64_t{1} << reg : f.alpha & ~(std::uint64_t{1} << reg);
        f.wrotePattern |= reg == kRegPattern;
        if (reg >= KZU_pixmap0 && reg <= KZU_pixmapLast) {
            read(reg);  // the lanes not written keep the pixel's
            const std::uint32_t n = reg - KZU_pixmap0;
            f.writtenPix |= static_cast<std::uint16_t>(1u << n);
            // The other pids of the pixel (same space and size) read this
            // write from now on; their own earlier writes are overwritten.
            for (std::uint32_t m = 0; m < KZU_PIXMAPS; ++m) {
                if (m == n || (pid_[m] & 0x1Fu) != (pid_[n] & 0x1Fu) ||
                    pixel_format_of_pid(pid_[m]).bytesPerPixel != pixel_format_of_pid(pid_[n]).bytesPerPixel)
                    continue;
                f.loadedPix &= static_cast<std::uint16_t>(~(1u << m));
                f.writtenPix &= static_cast<std::uint16_t>(~(1u << m));
            }
        }
        f.reg[reg] = (f.reg[reg] & ~m) | (value & m);
        f.byteAlpha = byteAlpha ? f.byteAlpha | std::uint64_t{1} << reg : f.byteAlpha & ~(std::uint64_t{1} << reg);
    };
    // Texel (tx, ty) of the pixmap register `reg` names, in register form:
    // the rasterizer's own copy of the texture.
    auto texel = [&](std::uint32_t reg, std::int64_t tx, std::int64_t ty) -> std::uint32_t {
        const std::uint32_t n = reg - KZU_pixmap0;
        std::uint32_t bpp = 0;
        const std::uint8_t* p = b_.tile_texel(r_, pid_[n], tx, ty, &bpp);
        return p != nullptr ? pixel_format_of_pid(pid_[n]).to_register(load_pixel(p, bpp)) : 0;
    };
    auto coordinate = [&](int k) { return static_cast<std::int64_t>(static_cast<std::int32_t>(address[k])); };
    // A texel of a 32-bit texture fetched into a 5-5-5 pixmap as stored (the
    // scratch a 16-bit surface reads its texels back through): the texture
    // holds the 16-bit surface's 7-bit channels, packed as its pixel.
    auto deliver = [&](const Op3& op, std::uint32_t texel) {
        if (op.r < KZU_pixmap0 || op.r > KZU_pixmapLast || (pid_[op.a - KZU_pixmap0] >> 13) != kFormat32) return texel;
        const std::uint32_t to = pid_[op.r - KZU_pixmap0] >> 13;
        if (to == kFormat555) return pixel_format(kFormat1555).to_pixel(texel);
        if (to == kFormat8) return pixel_format(kFormat332).to_pixel(texel);
        return texel;
    };

    for (int i = 0; i < prog_.n; ++i) {
        const Op3& op = prog_.ops[static_cast<std::size_t>(i)];
        if ((op.clip && !clipped) || (op.stipple && !stipple)) continue;
        std::uint32_t pred = kAllLanes;
        for (int c = 0; c < 3; ++c)
            if (op.predicate >> c & 1u) pred &= f.cc[c];
        // A texel fetch names its pixmap in A without reading the pixel at
        // the fragment's position.
        const bool fetch = op.kind == Kind3::Texel || op.kind == Kind3::TexelFiltered;
        const std::uint32_t a = fetch ? 0u : read(op.a), b = read(op.b);
        auto set_code = [&](std::uint32_t lanes) {
            const std::uint32_t v = lanes & pred;
            f.cc[op.cc] = op.join ? (f.cc[op.cc] & v) : v;
        };
        switch (op.kind) {
        case Kind3::Bitwise: if (pred) write(op.r, alu(op.bitOp, a, b), pred); break;
        case Kind3::Copy:
            if (pred) write(op.r, a, pred, (f.alpha >> op.a & 1u) != 0 || (op.a >= KZU_z0 && op.a <= KZU_z2),
                            (f.byteAlpha >> op.a & 1u) != 0);
            break;
        case Kind3::Add:
            if (pred) write(op.r, per_lane(a, b, [](std::uint32_t p, std::uint32_t q) { return std::min(p + q, 0xFFu); }), pred);
            break;
        case Kind3::Sub: {
            if (!pred) break;
            const auto sub = [](std::uint32_t p, std::uint32_t q) { return p > q ? p - q : 0u; };
            const std::uint32_t aa = alpha_of(op.a, a), ab = alpha_of(op.b, b);
            if (is_one(op.a) && is_alpha(op.b)) write(op.r, kAlphaOne - std::min(ab, kAlphaOne), pred, true);
            else if (is_one(op.a)) write(op.r, per_lane(laneMax_ & 0xFFFFFFu, b, sub), pred);
            else if (is_alpha(op.a) && is_alpha(op.b)) write(op.r, aa > ab ? aa - ab : 0u, pred, true);
            else write(op.r, per_lane(a, b, sub), pred);
            break;
        }
        case Kind3::Mul: {
            if (!pred) break;
            const bool alphaA = is_alpha(op.a), alphaB = is_alpha(op.b);
            const std::uint32_t aa = alpha_of(op.a, a), ab = alpha_of(op.b, b);
            if (alphaA && alphaB) {
                write(op.r, (std::min(aa, kAlphaOne) * std::min(ab, kAlphaOne) + 128) >> 8, pred, true);
            } else if (alphaA || alphaB) {
                const std::uint32_t alpha = std::min(alphaA ? aa : ab, kAlphaOne);
                write(op.r, per_lane(alphaA ? b : a, 0, [alpha](std::uint32_t p, std::uint32_t) { return (p * alpha + 128) >> 8; }),
                      pred);
            } else {
                std::uint32_t out = 0;
                for (int k = 0; k < 4; ++k) {
                    const std::uint32_t max = lane(laneMax_, k);
                    out |= (std::min(lane(a, k), max) * std::min(lane(b, k), max) + max / 2) / max << (8 * k);
                }
                write(op.r, out, pred);
            }
            break;
        }
        case Kind3::AddWord: if (pred) write(op.r, a + b, pred); break;
        case Kind3::CcMin: {
            if (is_alpha(op.a) && is_alpha(op.b)) {
                // The minimum of two alphas: the smaller alpha, the code set
                // in every lane where A is the smaller.
                const std::uint32_t aa = alpha_of(op.a, a), ab = alpha_of(op.b, b);
                if (pred) write(op.r, std::min(aa, ab), pred, true);
                set_code(aa < ab ? kAllLanes : 0u);
                break;
            }
            const std::uint32_t lt = lanes_where(a, b, [](std::uint32_t p, std::uint32_t q) { return p < q; });
            if (pred) write(op.r, per_lane(a, b, [](std::uint32_t p, std::uint32_t q) { return std::min(p, q); }), pred);
            set_code(lt);
            break;
        }
        case Kind3::CcGreater: {
            const std::uint32_t gt = lanes_where(a, b, [](std::uint32_t p, std::uint32_t q) { return p > q; });
            if (gt & pred) write(op.r, a, gt & pred);
            set_code(gt);
            break;
        }
        case Kind3::CcAddCarry: {
            if (is_alpha(op.a) && is_alpha(op.b)) {
                // The sum of two alphas, the code set in every lane where it
                // passes 1.0 (the saturating add then writes all ones).
                const std::uint32_t sum = alpha_of(op.a, a) + alpha_of(op.b, b);
                if (pred) write(op.r, sum, pred, true);
                set_code(sum > kAlphaOne ? kAllLanes : 0u);
                break;
            }
            // A lane carries where the sum passes the lane's maximum (0x7F in
            // the 7-bit lanes of a 16-bit packet), not only out of its 8 bits;
            // the sum stops at 0xFF, so a compare against the maximum after it
            // still sees it above.
            std::uint32_t carry = 0;
            for (int k = 0; k < 4; ++k)
                if (lane(a, k) + lane(b, k) > lane(laneMax_, k)) carry |= 1u << k;
            if (pred) write(op.r, per_lane(a, b, [](std::uint32_t p, std::uint32_t q) { return std::min(p + q, 0xFFu); }), pred);
            set_code(carry);
            break;
        }
        case Kind3::Texel:
            if (pred) write(op.r, deliver(op, texel(op.a, coordinate(0) >> 4, coordinate(1) >> 4)), pred);
            break;
        case Kind3::TexelFiltered: {
            if (!pred) break;
            const std::int64_t u = coordinate(0), v = coordinate(1);
            const std::int64_t x0 = u >> 4, y0 = v >> 4;
            const std::uint32_t fx = static_cast<std::uint32_t>(u & 15), fy = static_cast<std::uint32_t>(v & 15);
            const std::uint32_t t[4] = {texel(op.a, x0, y0), texel(op.a, x0 + 1, y0), texel(op.a, x0, y0 + 1),
                                        texel(op.a, x0 + 1, y0 + 1)};
            const std::uint32_t wt[4] = {(16 - fx) * (16 - fy), fx * (16 - fy), (16 - fx) * fy, fx * fy};
            std::uint32_t out = 0;
            for (int k = 0; k < 4; ++k) {
                std::uint32_t sum = 128;
                for (int i = 0; i < 4; ++i) sum += lane(t[i], k) * wt[i];
                out |= std::min(sum >> 8, 0xFFu) << (8 * k);
            }
            write(op.r, deliver(op, out), pred);
            break;
        }
        case Kind3::Fraction: {
            // The sixteenths f of a coordinate as a lane weight against the
            // one: round(f x max / 16), so one less it is the weight's
            // complement (the two sum to the one).
            std::uint32_t w = 0;
            for (int k = 0; k < 4; ++k) w |= ((a & 15u) * lane(laneMax_, k) + 8) / 16 << (8 * k);
            if (pred) write(op.r, w, pred);
            break;
        }
        case Kind3::Compare: {
            const std::uint32_t holds =
                op.perLane ? lanes_where(a, b, [&](std::uint32_t p, std::uint32_t q) { return compare(op.cmp, p, q); })
                           : (compare(op.cmp, a, b) ? kAllLanes : 0u);
            if (holds & pred) write(op.r, a, holds & pred);
            set_code(holds);
            break;
        }
        }
    }
    if (f.wrotePattern) ras_.pattern[static_cast<std::size_t>((y & 7) * 8 + (xm & 7))] = f.reg[kRegPattern];
    store();
}

// --- triangles ---------------------------------------------------------------------

namespace {

struct Plane {
    double c, dx, dy;
    double lo, hi;  // the vertices' range
    double at(double x, double y) const { return std::clamp(c + dx * x + dy * y, lo, hi); }
};

struct DataRegister {
    bool loaded = false;
    bool interpolated = false;
    bool perLane = false;  // rgb0: each lane interpolated on its own
    bool depthForm16 = false;  // depth words of the 16-bit form: interpolated as the depths they stand for
    std::uint32_t flat = 0;
    Plane planes[4];       // lanes (or plane 0 for a whole word)
    std::uint32_t vertex[3] = {};
};

class TriangleRunner {
public:
    TriangleRunner(FragmentRunner& run, const DecodedPacket& packet) : run_(run), packet_(packet) {}

    void triangle(std::size_t prim, const kzPrimWordsRow* row) {
        const std::uint32_t* w = run_.primitive(prim);
        if (w == nullptr) return;
        const Fields& fields = run_.fields();

        std::uint32_t pos[3];
        DataRegister data[4];
        if (row != nullptr) {
            const std::uint32_t* words = w + fields.primConstants;
            for (std::uint32_t v = 0; v < 3; ++v) pos[v] = words[kzPrimWordAt(*row, KZ_PW_POSITION, v)];
            load_row(*row, words, KZ_PW_COLOUR, &data[0], true);
            load_row(*row, words, KZ_PW_DEPTH, &data[1], false);
            data[1].depthForm16 = run_.depth_form16();
            load_row(*row, words, KZ_PW_ALPHA, &data[2], false);
            for (std::uint32_t k = 0; k < 4; ++k) {
                if (fields.loadKind[k] == KZU_LOAD_PACKET) data[k].loaded = data_register(packet_, fields, k, prim, 0, &data[k].flat);
            }
        } else {
            for (std::uint32_t v = 0; v < 3; ++v) pos[v] = packet_.vertex(prim, v);
            for (std::uint32_t k = 0; k < 4; ++k) load_generic(prim, k, &data[k]);
        }
        rasterize(pos, data);
    }

private:
    void load_row(const kzPrimWordsRow& row, const std::uint32_t* words, kzPrimWordKind kind, DataRegister* d,
                  bool perLane) {
        std::uint32_t count = 0;
        // The row's first group of the kind (the unused groups at a row's
        // end are empty).
        for (const kzPrimWordGroup& g : row.groups) {
            if (g.count != 0 && g.kind == kind) {
                count = g.count;
                break;
            }
        }
        if (count == 0) return;
        d->loaded = true;
        d->perLane = perLane;
        d->interpolated = count >= 3;
        d->flat = words[kzPrimWordAt(row, kind, 0)];
        for (std::uint32_t v = 0; v < 3; ++v) d->vertex[v] = words[kzPrimWordAt(row, kind, std::min(v, count - 1))];
    }

    void load_generic(std::size_t prim, std::uint32_t k, DataRegister* d) {
        const Fields& fields = run_.fields();
        const std::uint32_t kind = fields.loadKind[k];
        if (kind == 0) return;
        d->loaded = data_register(packet_, fields, k, prim, 0, &d->flat);
        d->interpolated = kind == KZU_LOAD_VERTEX;
        d->perLane = k == 0;
        for (std::uint32_t v = 0; v < 3; ++v) {
            d->vertex[v] = d->flat;
            if (d->interpolated) data_register(packet_, fields, k, prim, v, &d->vertex[v]);
        }
    }

    static void set_planes(DataRegister& d, const double (&x)[3], const double (&y)[3], double area) {
        const int lanes = d.perLane ? 4 : 1;
        for (int k = 0; k < lanes; ++k) {
            double v[3];
            for (int i = 0; i < 3; ++i)
                v[i] = d.perLane ? lane(d.vertex[i], k) : d.depthForm16 ? depth_of_form16(d.vertex[i]) : d.vertex[i];
            // The plane through (x_i, y_i, v_i).
            const double dx = ((v[1] - v[0]) * (y[2] - y[0]) - (v[2] - v[0]) * (y[1] - y[0])) / area;
            const double dy = ((v[2] - v[0]) * (x[1] - x[0]) - (v[1] - v[0]) * (x[2] - x[0])) / area;
            d.planes[k] = Plane{v[0] - dx * x[0] - dy * y[0], dx, dy, std::min({v[0], v[1], v[2]}),
                                std::max({v[0], v[1], v[2]})};
        }
    }

    static std::uint32_t value_at(const DataRegister& d, double px, double py) {
        if (!d.interpolated) return d.flat;
        // A whole word (depth, alpha, texture coordinate) is rounded down, so a
        // texel is chosen by the floor of its coordinate, as GL chooses it.
        if (!d.perLane) {
            const auto w = static_cast<std::uint32_t>(static_cast<std::int64_t>(std::floor(d.planes[0].at(px, py))));
            return d.depthForm16 ? form16_of_depth(w) : w;
        }
        std::uint32_t out = 0;
        for (int k = 0; k < 4; ++k) {
            out |= (static_cast<std::uint32_t>(std::lround(d.planes[k].at(px, py))) & 0xFFu) << (8 * k);
        }
        return out;
    }

    void rasterize(const std::uint32_t (&pos)[3], DataRegister (&data)[4]) {
        std::int64_t X[3], Y[3];
        for (int v = 0; v < 3; ++v) {
            X[v] = fixed_x(pos[v]);
            Y[v] = fixed_y(pos[v]);
        }
        std::int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (Y[1] - Y[0]) * (X[2] - X[0]);
        if (area == 0) return;
        int order[3] = {0, 1, 2};
        if (area < 0) {
            std::swap(order[1], order[2]);
            area = -area;
        }
        std::int64_t x[3], y[3];
        double xd[3], yd[3];
        for (int v = 0; v < 3; ++v) {
            x[v] = X[order[v]];
            y[v] = Y[order[v]];
            xd[v] = static_cast<double>(x[v]) / 16.0;
            yd[v] = static_cast<double>(y[v]) / 16.0;
        }
        for (DataRegister& d : data) {
            if (!d.loaded || !d.interpolated) continue;
            std::uint32_t reordered[3];
            for (int v = 0; v < 3; ++v) reordered[v] = d.vertex[order[v]];
            std::copy(std::begin(reordered), std::end(reordered), d.vertex);
            set_planes(d, xd, yd, static_cast<double>(area) / 256.0);
        }
        // Edge a -> b: E(p) = (xb - xa)(py - ya) - (yb - ya)(px - xa), positive
        // inside; a sample point on an edge counts for top and left edges
        // only.
        struct Edge {
            std::int64_t xa, ya, dx, dy;
            bool counts;  // a top or left edge
        } edges[3];
        for (int e = 0; e < 3; ++e) {
            const int a = (e + 1) % 3, bIdx = (e + 2) % 3;  // the edge opposite vertex e
            Edge& E = edges[e];
            E.xa = x[a];
            E.ya = y[a];
            E.dx = x[bIdx] - x[a];
            E.dy = y[bIdx] - y[a];
            E.counts = E.dy < 0 || (E.dy == 0 && E.dx > 0);
        }
        const std::int64_t xmin = std::min({x[0], x[1], x[2]}), xmax = std::max({x[0], x[1], x[2]});
        const std::int64_t ymin = std::min({y[0], y[1], y[2]}), ymax = std::max({y[0], y[1], y[2]});
        // Pixel (x, y) is sampled at the position (16x, 16y) (render3d.h).
        std::int64_t px0 = (xmin + 15) >> 4, px1 = xmax >> 4;  // inclusive
        std::int64_t py0 = (ymin + 15) >> 4, py1 = ymax >> 4;
        if (!run_.clip_box(&px0, &py0, &px1, &py1)) return;
        for (std::int64_t py = py0; py <= py1; ++py) {
            const std::int64_t cy = py * 16;
            for (std::int64_t px = px0; px <= px1; ++px) {
                const std::int64_t cx = px * 16;
                bool inside = true;
                for (const Edge& E : edges) {
                    const std::int64_t v = E.dx * (cy - E.ya) - E.dy * (cx - E.xa);
                    if (v < 0 || (v == 0 && !E.counts)) {
                        inside = false;
                        break;
                    }
                }
                if (!inside) continue;
                std::uint32_t values[4] = {};
                for (std::uint32_t k = 0; k < 4; ++k)
                    if (data[k].loaded) values[k] = value_at(data[k], static_cast<double>(px), static_cast<double>(py));
                run_.fragment(px, py, values);
            }
        }
    }

    FragmentRunner& run_;
    const DecodedPacket& packet_;
};

}  // namespace

bool draw_triangles(Impl& board, int r, const DecodedPacket& packet) {
    if (packet.verticesPerPrimitive != 3) return false;
    Program3 prog;
    if (!compile3(packet.instructions, &prog)) return false;
    const kzPrimWordsRow* row = gl_layout_of(packet.command);
    FragmentRunner run(board, r, packet, prog);
    TriangleRunner tri(run, packet);
    for (std::size_t i = 0; i < packet.primitives; ++i) tri.triangle(i, row);
    return true;
}

}  // namespace vnx::board::exec
