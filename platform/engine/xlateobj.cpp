// Translation objects: how source pixel values become destination values.
//
// Between two palettes of the same colours nothing is translated
// (XO_TRIVIAL). From an indexed palette each entry's colour is looked up in
// the destination once, giving the vector (XO_TABLE). Between direct-colour
// palettes every value goes through its RGB colour. Colours are 0x00BBGGRR.
#include <algorithm>
#include <atomic>
#include <bit>
#include <map>
#include <memory>

#include "drawing.h"
#include "objects.h"
#include "platform/engine.h"
#include "platform/faults.h"

namespace vnx::engine {

namespace {

// One colour channel of a bit-field palette.
struct Channel {
    ULONG mask = 0;
    int shift = 0;
    int cBits = 0;

    explicit Channel(ULONG m = 0) : mask(m) {
        if (m != 0) {
            shift = std::countr_zero(m);
            cBits = std::popcount(m);
        }
    }
    // The channel of a pixel as 8 bits, the value's bits repeated downwards
    // so that full scale stays full scale.
    ULONG to8(ULONG pixel) const {
        if (cBits == 0) return 0;
        const ULONG v = (pixel & mask) >> shift;
        ULONG r = 0;
        for (int pos = 8; pos > 0;) {
            pos -= cBits;
            r |= pos >= 0 ? v << pos : v >> -pos;
        }
        return r & 0xFF;
    }
    ULONG from8(ULONG c) const {
        if (cBits == 0) return 0;
        const ULONG v = cBits >= 8 ? c << (cBits - 8) : c >> (8 - cBits);
        return (v << shift) & mask;
    }
};

// What a palette says about pixel values.
struct PaletteDesc {
    ULONG iMode = PAL_RGB;
    std::vector<ULONG> colors;  // PAL_INDEXED
    Channel red, green, blue;   // PAL_BITFIELDS

    ULONG rgb(ULONG v) const {
        switch (iMode) {
        case PAL_INDEXED: return v < colors.size() ? colors[v] & 0xFFFFFF : 0;
        case PAL_BITFIELDS: return red.to8(v) | (green.to8(v) << 8) | (blue.to8(v) << 16);
        case PAL_BGR: return ((v >> 16) & 0xFF) | (v & 0xFF00) | ((v & 0xFF) << 16);
        default: return v & 0xFFFFFF;  // PAL_RGB
        }
    }
    ULONG value(ULONG rgb) const {
        const ULONG r = rgb & 0xFF, g = (rgb >> 8) & 0xFF, b = (rgb >> 16) & 0xFF;
        switch (iMode) {
        case PAL_INDEXED: return nearest(r, g, b);
        case PAL_BITFIELDS: return red.from8(r) | green.from8(g) | blue.from8(b);
        case PAL_BGR: return (r << 16) | (g << 8) | b;
        default: return rgb & 0xFFFFFF;
        }
    }
    // The entry closest to the colour; the first of equals.
    ULONG nearest(ULONG r, ULONG g, ULONG b) const {
        ULONG best = 0;
        long bestDist = -1;
        for (ULONG i = 0; i < colors.size(); ++i) {
            const long dr = long(colors[i] & 0xFF) - long(r);
            const long dg = long((colors[i] >> 8) & 0xFF) - long(g);
            const long db = long((colors[i] >> 16) & 0xFF) - long(b);
            const long dist = dr * dr + dg * dg + db * db;
            if (bestDist < 0 || dist < bestDist) {
                best = i;
                bestDist = dist;
                if (dist == 0) break;
            }
        }
        return best;
    }
    bool same_as(const PaletteDesc& o) const {
        if (iMode != o.iMode) return false;
        if (iMode == PAL_INDEXED) return colors == o.colors;
        if (iMode == PAL_BITFIELDS)
            return red.mask == o.red.mask && green.mask == o.green.mask && blue.mask == o.blue.mask;
        return true;
    }
};

}  // namespace

struct Translator::Colours {
    PaletteDesc src, dst;
    ULONG convert(ULONG v) const { return dst.value(src.rgb(v)); }
};

namespace {

struct Xlate {
    XLATEOBJ xo{};               // what the driver is handed; first, so it maps back
    std::vector<ULONG> vector;   // XO_TABLE
    bool bConvert = false;       // neither trivial nor a table: through RGB
    Translator::Colours colours;
};

std::map<const XLATEOBJ*, std::unique_ptr<Xlate>>& xlates() {
    static auto* m = new std::map<const XLATEOBJ*, std::unique_ptr<Xlate>>;
    return *m;
}

std::atomic<ULONG> gNextUniq{1};

Xlate* find_xlate_locked(const XLATEOBJ* pxlo) {
    auto it = xlates().find(pxlo);
    return it == xlates().end() ? nullptr : it->second.get();
}

XLATEOBJ* insert_xlate(std::unique_ptr<Xlate> x) {
    x->xo.iUniq = gNextUniq++;
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    XLATEOBJ* pxlo = &x->xo;
    xlates()[pxlo] = std::move(x);
    return pxlo;
}

bool describe_locked(HPALETTE hpal, PaletteDesc* pd) {
    const Palette* p = find_palette_locked(hpal);
    if (p == nullptr) return false;
    pd->iMode = p->iMode;
    pd->colors = p->colors;
    pd->red = Channel(p->flRed);
    pd->green = Channel(p->flGreen);
    pd->blue = Channel(p->flBlue);
    return true;
}

}  // namespace

bool Translator::open(const XLATEOBJ* pxlo) {
    kind_ = Kind::Identity;
    if (pxlo == nullptr) return true;
    {
        auto& o = objects();
        std::lock_guard<std::mutex> g(o.lock);
        if (const Xlate* x = find_xlate_locked(pxlo)) {
            if (x->xo.flXlate & XO_TABLE) {
                kind_ = Kind::Vector;
                pulVector_ = x->vector.data();
                cEntries_ = static_cast<ULONG>(x->vector.size());
            } else if (x->bConvert) {
                kind_ = Kind::Convert;
                colours_ = &x->colours;
            }
            return true;
        }
    }
    // An object the engine did not make is read by its fields.
    if (pxlo->flXlate & XO_TRIVIAL) return true;
    if ((pxlo->flXlate & XO_TABLE) && pxlo->pulXlate != nullptr) {
        kind_ = Kind::Vector;
        pulVector_ = pxlo->pulXlate;
        cEntries_ = pxlo->cEntries;
        return true;
    }
    return false;
}

ULONG Translator::operator()(ULONG ul) const {
    switch (kind_) {
    case Kind::Vector: return ul < cEntries_ ? pulVector_[ul] : 0;
    case Kind::Convert: return colours_->convert(ul);
    default: return ul;
    }
}

void Translator::row(ULONG* pul, LONG n) const {
    if (kind_ == Kind::Vector) {
        for (LONG i = 0; i < n; ++i) pul[i] = pul[i] < cEntries_ ? pulVector_[pul[i]] : 0;
    } else if (kind_ == Kind::Convert) {
        for (LONG i = 0; i < n; ++i) pul[i] = colours_->convert(pul[i]);
    }
}

XLATEOBJ* create_xlate(HPALETTE hpalSrc, HPALETTE hpalDst) {
    auto x = std::make_unique<Xlate>();
    {
        auto& o = objects();
        std::lock_guard<std::mutex> g(o.lock);
        if (!describe_locked(hpalSrc, &x->colours.src) || !describe_locked(hpalDst, &x->colours.dst))
            return nullptr;
    }
    const PaletteDesc& src = x->colours.src;
    x->xo.iSrcType = static_cast<USHORT>(src.iMode);
    x->xo.iDstType = static_cast<USHORT>(x->colours.dst.iMode);
    if (src.same_as(x->colours.dst)) {
        x->xo.flXlate = XO_TRIVIAL;
    } else if (src.iMode == PAL_INDEXED) {
        x->xo.flXlate = XO_TABLE;
        for (ULONG i = 0; i < src.colors.size(); ++i) x->vector.push_back(x->colours.convert(i));
        x->xo.cEntries = static_cast<ULONG>(x->vector.size());
    } else {
        x->bConvert = true;
    }
    return insert_xlate(std::move(x));
}

XLATEOBJ* create_xlate_vector(const ULONG* pulXlate, ULONG cEntries) {
    if (pulXlate == nullptr || cEntries == 0) return nullptr;
    auto x = std::make_unique<Xlate>();
    x->vector.assign(pulXlate, pulXlate + cEntries);
    x->xo.flXlate = XO_TABLE;
    x->xo.iSrcType = PAL_INDEXED;
    x->xo.iDstType = PAL_INDEXED;
    x->xo.cEntries = cEntries;
    x->xo.pulXlate = x->vector.data();
    return insert_xlate(std::move(x));
}

XLATEOBJ* copy_xlate(const XLATEOBJ* pxlo) {
    if (pxlo == nullptr) return nullptr;
    auto x = std::make_unique<Xlate>();
    bool bEngine = false;
    {
        auto& o = objects();
        std::lock_guard<std::mutex> g(o.lock);
        if (const Xlate* from = find_xlate_locked(pxlo)) {
            *x = *from;
            bEngine = true;
        }
    }
    if (bEngine) {
        // The copy shows its vector only once asked for it, as the original did.
        x->xo.pulXlate = x->xo.pulXlate != nullptr ? x->vector.data() : nullptr;
        return insert_xlate(std::move(x));
    }
    x->xo.iSrcType = pxlo->iSrcType;
    x->xo.iDstType = pxlo->iDstType;
    if (pxlo->flXlate & XO_TRIVIAL) {
        x->xo.flXlate = XO_TRIVIAL;
    } else if ((pxlo->flXlate & XO_TABLE) && pxlo->pulXlate != nullptr && pxlo->cEntries != 0) {
        x->vector.assign(pxlo->pulXlate, pxlo->pulXlate + pxlo->cEntries);
        x->xo.flXlate = XO_TABLE;
        x->xo.cEntries = pxlo->cEntries;
        x->xo.pulXlate = x->vector.data();
    } else {
        return nullptr;
    }
    return insert_xlate(std::move(x));
}

void delete_xlate(XLATEOBJ* pxlo) {
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    xlates().erase(pxlo);
}

size_t live_xlates() {
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    return xlates().size();
}

}  // namespace vnx::engine

using namespace vnx::engine;

extern "C" ULONG* XLATEOBJ_piVector(XLATEOBJ* pxlo) {
    if (vnx::faults::should_fail("XLATEOBJ_piVector")) return nullptr;
    if (pxlo == nullptr) return nullptr;
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    if (Xlate* x = find_xlate_locked(pxlo)) {
        if (!(x->xo.flXlate & XO_TABLE)) return nullptr;
        x->xo.pulXlate = x->vector.data();
        return x->xo.pulXlate;
    }
    return (pxlo->flXlate & XO_TABLE) ? pxlo->pulXlate : nullptr;
}
