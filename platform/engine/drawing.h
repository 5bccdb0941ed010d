// What the engine's software drawing files share: pixel formats and rows,
// rectangles, raster operations, the readers of clip, brush and translation
// objects, and host views of device surfaces.
//
// Drawing works on rows of pixel values, one ULONG a pixel whatever the
// format: a row is fetched from its bitmap, translated, combined and stored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/ddi.h"

namespace vnx::engine {

// --- pixel formats (pixels.cpp) ---------------------------------------------

// One bitmap format: fetch n pixel values of a row from pixel x on, store n
// values (only the format's low bits of each are kept).
struct PixelFormat {
    ULONG iFormat;
    ULONG cBits;
    void (*fetch)(const BYTE* pjRow, LONG x, LONG n, ULONG* pul);
    void (*store)(BYTE* pjRow, LONG x, LONG n, const ULONG* pul);
};

// The format of a pixel bitmap (BMF_1BPP .. BMF_32BPP); null for any other.
const PixelFormat* pixel_format(ULONG iFormat);

// The value with every bit of a cBits pixel set.
inline ULONG all_ones(ULONG cBits) { return cBits >= 32 ? 0xFFFFFFFFu : (1u << cBits) - 1; }

inline BYTE* row_address(const SURFOBJ* pso, LONG y) {
    return static_cast<BYTE*>(pso->pvScan0) + static_cast<std::ptrdiff_t>(y) * pso->lDelta;
}

// A host bitmap the engine can read and write: known pixel format, bits,
// rows long enough for its width.
bool host_pixels(const SURFOBJ* pso);
bool is_device(const SURFOBJ* pso);

// Whether the bytes of two areas (surface coordinates) may share memory.
bool areas_overlap(const SURFOBJ* a, const RECTL& rclA, const SURFOBJ* b, const RECTL& rclB);
// Whether two SURFOBJs address the same pixels the same way.
bool same_pixels(const SURFOBJ* a, const SURFOBJ* b);

// --- run-length sources (runs.cpp) -------------------------------------------

// The pixels of an area of a BMF_4RLE or BMF_8RLE bitmap: values and
// whether a run wrote each (absent pixels are not drawn).
struct RunImage {
    RECTL rcl{};                 // the area, in bitmap coordinates (set by the caller)
    std::vector<ULONG> values;   // row by row
    std::vector<BYTE> present;

    size_t index(LONG x, LONG y) const {
        return static_cast<size_t>(y - rcl.top) * static_cast<size_t>(rcl.right - rcl.left) +
               static_cast<size_t>(x - rcl.left);
    }
};
bool is_runs(const SURFOBJ* pso);
// False for a surface without runs or an empty area.
bool decode_runs(const SURFOBJ* pso, RunImage* img);

// --- rectangles -------------------------------------------------------------

inline bool rect_empty(const RECTL& r) { return r.left >= r.right || r.top >= r.bottom; }
// a & b, possibly empty.
RECTL rect_intersect(const RECTL& a, const RECTL& b);
// The smallest rectangle holding all of them.
RECTL rect_bounds(const std::vector<RECTL>& rects);
inline RECTL surface_rect(const SURFOBJ* pso) {
    return RECTL{0, 0, pso->sizlBitmap.cx, pso->sizlBitmap.cy};
}
// Coordinates come from callers: sums and differences saturate instead of
// wrapping, which keeps far-off rectangles far off (and their
// intersections with a surface empty).
inline LONG saturate(std::int64_t v) {
    return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : static_cast<LONG>(v);
}
inline RECTL rect_offset(const RECTL& r, std::int64_t dx, std::int64_t dy) {
    return RECTL{saturate(r.left + dx), saturate(r.top + dy), saturate(r.right + dx),
                 saturate(r.bottom + dy)};
}
// r moved back by p.
inline RECTL rect_offset_back(const RECTL& r, const POINTL& p) {
    return rect_offset(r, -std::int64_t{p.x}, -std::int64_t{p.y});
}
// p - (left, top) of r.
inline POINTL point_offset(const POINTL& p, const RECTL& r) {
    return POINTL{saturate(std::int64_t{p.x} - r.left), saturate(std::int64_t{p.y} - r.top)};
}

// --- raster operations (rop.cpp) --------------------------------------------

// What a ROP3 reads: bit i of the code is the result for (P, S, D) = i's
// bits, so an operand is read exactly when flipping it changes some result.
constexpr bool rop3_reads_pattern(ULONG r) { return (((r >> 4) ^ r) & 0x0F) != 0; }
constexpr bool rop3_reads_source(ULONG r) { return (((r >> 2) ^ r) & 0x33) != 0; }
constexpr bool rop3_reads_dest(ULONG r) { return (((r >> 1) ^ r) & 0x55) != 0; }

// The ROP3's result for one set of operand values.
ULONG rop3_value(ULONG rop3, ULONG p, ULONG s, ULONG d);
// pulOut[i] = ROP3 of (pulP[i], pulS[i], pulD[i]); operands the ROP does
// not read may be null.
void rop3_row(ULONG rop3, const ULONG* pulP, const ULONG* pulS, const ULONG* pulD, ULONG* pulOut,
              LONG n);

// --- clip objects (clipobj.cpp) ---------------------------------------------

// Banded rectangles (as pixman makes them) in the order of an enumeration
// direction (CD_...; others as CD_RIGHTDOWN).
std::vector<RECTL> ordered(const std::vector<RECTL>& banded, ULONG iDirection);
// A region's banded rectangles from rectangles that may overlap.
std::vector<RECTL> banded_union(const std::vector<RECTL>& rects);

// The next batch of an enumeration into an ENUMRECTS of cj bytes (as many
// rectangles as fit, from *pnext on); TRUE while more follow. No pending
// enumeration (null) or no room for one rectangle: a count of 0 and FALSE.
BOOL enum_next(const std::vector<RECTL>* pending, size_t* pnext, ULONG cj, ULONG* pul);

// The rectangles a drawing of rclWork touches under pco (null: no clip), in
// the order iDirection, empty ones dropped. False when pco cannot be read (a
// region the engine did not make, an unknown complexity).
bool clip_rects(const CLIPOBJ* pco, const RECTL& rclWork, ULONG iDirection,
                std::vector<RECTL>& rects);

// --- translation (xlateobj.cpp) ---------------------------------------------

// How one drawing call translates source values, read from its XLATEOBJ.
class Translator {
public:
    // False when pxlo cannot be read (a table without a vector, a foreign
    // conversion). Null and XO_TRIVIAL objects translate nothing.
    bool open(const XLATEOBJ* pxlo);
    bool identity() const { return kind_ == Kind::Identity; }
    ULONG operator()(ULONG ul) const;
    void row(ULONG* pul, LONG n) const;

    // A conversion between palettes, set up by the engine's own objects.
    struct Colours;

private:
    enum class Kind { Identity, Vector, Convert };
    Kind kind_ = Kind::Identity;
    const ULONG* pulVector_ = nullptr;
    ULONG cEntries_ = 0;
    const Colours* colours_ = nullptr;
};

// A translation object of the engine's own with the same translation (for
// a brush that outlives the caller's object); null when it cannot be read.
XLATEOBJ* copy_xlate(const XLATEOBJ* pxlo);

// --- brushes (brushobj.cpp) -------------------------------------------------

// The engine's own copy of a brush's pattern: target values, cx * cy, row
// by row from the top; and its 1-bpp mask (0/1 a pixel), empty without one.
struct BrushPattern {
    LONG cx = 0, cy = 0;
    std::vector<ULONG> pixels;
    std::vector<BYTE> mask;
};

// The pattern of a brush the engine made; null for any other object or a
// brush without a pattern.
const BrushPattern* brush_pattern(const BRUSHOBJ* pbo);

// --- host views of surfaces (hostview.cpp) -----------------------------------

// An area of a surface as host pixels: a host bitmap itself, or a temporary
// host bitmap in the surface's format holding the area of a device surface
// (fetched and written back through the driver's DrvCopyBits), or a copy of
// a host area that the drawing would overwrite while reading it.
class HostView {
public:
    HostView() = default;
    ~HostView();
    HostView(const HostView&) = delete;
    HostView& operator=(const HostView&) = delete;

    // rcl: the area (surface coordinates, inside the surface). bRead: the
    // pixels are read, so a temporary is filled first. False when the
    // surface cannot be reached.
    bool open(SURFOBJ* pso, const RECTL& rcl, bool bRead);
    // A copy of a host area, for a source the destination overlaps.
    bool open_copy(SURFOBJ* pso, const RECTL& rcl);
    // Writes a device surface's temporary back; true for the others.
    bool commit();

    SURFOBJ* pso() const { return psoView_; }
    // View coordinates = surface coordinates - origin.
    LONG dx() const { return origin_.x; }
    LONG dy() const { return origin_.y; }
    BYTE* row(LONG ySurface) const { return row_address(psoView_, ySurface - origin_.y); }
    LONG x(LONG xSurface) const { return xSurface - origin_.x; }

private:
    bool make_temporary(ULONG iFormat, const RECTL& rcl);

    SURFOBJ* psoSurface_ = nullptr;  // the surface asked for
    SURFOBJ* psoView_ = nullptr;     // what is drawn
    HSURF hsurfTemp_ = nullptr;
    POINTL origin_{0, 0};
    RECTL rcl_{};
    bool bDevice_ = false;
};

// Inside a DrvCopyBits the engine made: device surfaces are refused there.
bool in_driver_transfer();

// --- the blit (bitblt.cpp) ---------------------------------------------------

struct BlitArgs {
    SURFOBJ* psoTrg;
    SURFOBJ* psoSrc;
    SURFOBJ* psoMask;
    CLIPOBJ* pco;
    XLATEOBJ* pxlo;
    RECTL* prclTrg;
    POINTL* pptlSrc;
    POINTL* pptlMask;
    BRUSHOBJ* pbo;
    POINTL* pptlBrush;
    ROP4 rop4;
};
// EngBitBlt's work (no fault point), shared with EngCopyBits.
BOOL blit(const BlitArgs& a);

}  // namespace vnx::engine
