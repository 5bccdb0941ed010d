// Unpack and pack of client pixel rows against a reference written here from
// GL 1.0's conversion rules, with the layer's own scales (signed types over
// 127, 32767 and 2^31 - 1; packing truncates).
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "3d/pixels/pixelpath.h"
#include "gl/server/lgi/lgi_fixture.h"

namespace {

using lgi_test::LgiTest;

// What the unpack handed to the span's store conversions.
std::vector<std::array<float, 4>> gColours;
std::vector<ULONG> gIndexes;

void vCaptureColour(N_Context*, N_PixelSpan*, const float* pf, ULONG) { gColours.push_back({pf[0], pf[1], pf[2], pf[3]}); }
void vCaptureIndex(N_Context*, N_PixelSpan*, ULONG v, ULONG) { gIndexes.push_back(v); }
void vCaptureDepth(N_Context*, N_PixelSpan*, float f, ULONG) { gColours.push_back({f, 0, 0, 0}); }

// A raw component of each type and its value by the reference rule.
struct TypeCase {
    ULONG type;
    std::vector<BYTE> raw;  // one component
    double value;
};
std::vector<BYTE> Bytes(const void* pv, std::size_t cb) {
    const auto* pj = static_cast<const BYTE*>(pv);
    return {pj, pj + cb};
}
template <typename T>
TypeCase Case(ULONG type, T v, double max) {
    return {type, Bytes(&v, sizeof v), max == 0.0 ? static_cast<double>(v) : static_cast<double>(v) / max};
}
std::vector<TypeCase> TypeCases() {
    return {
        Case<BYTE>(N_PIXTYPE_UBYTE, 255, 255.0),        Case<BYTE>(N_PIXTYPE_UBYTE, 51, 255.0),
        Case<signed char>(N_PIXTYPE_BYTE, 127, 127.0),  Case<signed char>(N_PIXTYPE_BYTE, -64, 127.0),
        Case<USHORT>(N_PIXTYPE_USHORT, 65535, 65535.0), Case<USHORT>(N_PIXTYPE_USHORT, 1000, 65535.0),
        Case<SHORT>(N_PIXTYPE_SHORT, -32767, 32767.0),  Case<SHORT>(N_PIXTYPE_SHORT, 16000, 32767.0),
        Case<ULONG>(N_PIXTYPE_UINT, 0xFFFFFFFFu, 4294967295.0), Case<ULONG>(N_PIXTYPE_UINT, 0x40000000u, 4294967295.0),
        Case<LONG>(N_PIXTYPE_INT, 2147483647, 2147483647.0), Case<LONG>(N_PIXTYPE_INT, -1073741824, 2147483647.0),
        Case<float>(N_PIXTYPE_FLOAT, 0.375f, 0.0),      Case<float>(N_PIXTYPE_FLOAT, 1.5f, 0.0),
    };
}

// The float pixel GL 1.0 makes of a format's components (c: the values).
std::array<float, 4> Expected(ULONG format, const std::vector<float>& c) {
    switch (format) {
        case N_PIXFMT_RED: return {c[0], 0, 0, 1};
        case N_PIXFMT_GREEN: return {0, c[0], 0, 1};
        case N_PIXFMT_BLUE: return {0, 0, c[0], 1};
        case N_PIXFMT_ALPHA: return {0, 0, 0, c[0]};
        case N_PIXFMT_RGB: return {c[0], c[1], c[2], 1};
        case N_PIXFMT_RGBA: return {c[0], c[1], c[2], c[3]};
        case N_PIXFMT_LUMINANCE: return {c[0], c[0], c[0], 1};
        default: return {c[0], c[0], c[0], c[1]};
    }
}
ULONG Components(ULONG format) {
    switch (format) {
        case N_PIXFMT_RGB: return 3;
        case N_PIXFMT_RGBA: return 4;
        case N_PIXFMT_LUMINANCE_ALPHA: return 2;
        default: return 1;
    }
}

N_PixelSpan Span(ULONG format, ULONG type, const BYTE* pj, ULONG count) {
    N_PixelSpan s{};
    s.format = format;
    s.type = type;
    s.pjSource = pj;
    s.count = count;
    _NPixSpanArrays(&s);
    s.pfnStoreColour = vCaptureColour;
    s.pfnStoreIndex = vCaptureIndex;
    s.pfnStoreDepth = vCaptureDepth;
    return s;
}

TEST_F(LgiTest, UnpackOfEveryColourFormatAndTypeFollowsTheReference) {
    const auto cases = TypeCases();
    for (ULONG format = N_PIXFMT_RED; format <= N_PIXFMT_LUMINANCE_ALPHA; ++format) {
        for (std::size_t a = 0; a < cases.size(); ++a) {
            // Each pixel's components cycle through the cases of one type.
            const ULONG type = cases[a].type;
            std::vector<const TypeCase*> ofType;
            for (const TypeCase& c : cases)
                if (c.type == type) ofType.push_back(&c);
            const ULONG n = Components(format);
            std::vector<BYTE> row;
            std::vector<float> values;
            for (ULONG k = 0; k < 2 * n; ++k) {
                const TypeCase& c = *ofType[(k + a) % ofType.size()];
                row.insert(row.end(), c.raw.begin(), c.raw.end());
                values.push_back(static_cast<float>(c.value));
            }
            gColours.clear();
            N_PixelSpan s = Span(format, type, row.data(), 2);
            _NUnpackFn(format, type)(ctx_, &s);
            ASSERT_EQ(gColours.size(), 2u);
            for (ULONG p = 0; p < 2; ++p) {
                const std::vector<float> px(values.begin() + p * n, values.begin() + (p + 1) * n);
                const auto want = Expected(format, px);
                for (ULONG ch = 0; ch < 4; ++ch)
                    EXPECT_NEAR(gColours[p][ch], want[ch], 1e-6) << "format " << format << " type " << type << " ch " << ch;
            }
        }
    }
    EXPECT_EQ(_NUnpackFn(N_PIXFMT_RGB, N_PIXTYPE_BITMAP), nullptr);
}

TEST_F(LgiTest, UnpackOfIndexStencilAndDepth) {
    struct Case {
        ULONG type;
        std::vector<BYTE> row;
        std::vector<ULONG> want;
    };
    const SHORT s[2] = {-2, 300};
    const float f[2] = {7.9f, 2.0f};
    const Case cases[] = {
        {N_PIXTYPE_UBYTE, {200, 3}, {200, 3}},
        {N_PIXTYPE_BYTE, {0xFF, 5}, {0xFFFFFFFFu, 5}},  // -1 sign-extended
        {N_PIXTYPE_SHORT, Bytes(s, 4), {0xFFFFFFFEu, 300}},
        {N_PIXTYPE_FLOAT, Bytes(f, 8), {7, 2}},
        {N_PIXTYPE_BITMAP, {0xA0}, {1, 0}},
    };
    for (ULONG format : {N_PIXFMT_INDEX, N_PIXFMT_STENCIL})
        for (const Case& c : cases) {
            gIndexes.clear();
            N_PixelSpan sp = Span(format, c.type, c.row.data(), 2);
            _NUnpackFn(format, c.type)(ctx_, &sp);
            EXPECT_EQ(gIndexes, c.want) << format << " " << c.type;
        }
    // A bitmap row of 10 pixels reads a second byte for pixels 8 and 9.
    const BYTE bits[2] = {0x81, 0x40};
    gIndexes.clear();
    N_PixelSpan sp = Span(N_PIXFMT_INDEX, N_PIXTYPE_BITMAP, bits, 10);
    _NUnpackFn(N_PIXFMT_INDEX, N_PIXTYPE_BITMAP)(ctx_, &sp);
    EXPECT_EQ(gIndexes, (std::vector<ULONG>{1, 0, 0, 0, 0, 0, 0, 1, 0, 1}));
    // Depth takes the type's scale.
    const USHORT d[2] = {65535, 0};
    gColours.clear();
    sp = Span(N_PIXFMT_DEPTH, N_PIXTYPE_USHORT, reinterpret_cast<const BYTE*>(d), 2);
    _NUnpackFn(N_PIXFMT_DEPTH, N_PIXTYPE_USHORT)(ctx_, &sp);
    ASSERT_EQ(gColours.size(), 2u);
    EXPECT_EQ(gColours[0][0], 1.0f);
    EXPECT_EQ(gColours[1][0], 0.0f);
}

// --- pack ---------------------------------------------------------------------------------------------
std::vector<std::array<float, 4>> gFetched;
void vFetch(N_Context*, const N_PixelSpan*, ULONG i, float* pf) { std::memcpy(pf, gFetched[i].data(), 16); }

// The reference store of one clamped component c.
std::vector<BYTE> Stored(ULONG type, double c) {
    c = c > 1.0 ? 1.0 : (c > 0.0 ? c : 0.0);
    switch (type) {
        case N_PIXTYPE_UBYTE: { const BYTE v = static_cast<BYTE>(std::trunc(c * 255)); return Bytes(&v, 1); }
        case N_PIXTYPE_BYTE: { const signed char v = static_cast<signed char>(std::trunc(c * 127)); return Bytes(&v, 1); }
        case N_PIXTYPE_USHORT: { const USHORT v = static_cast<USHORT>(std::trunc(c * 65535)); return Bytes(&v, 2); }
        case N_PIXTYPE_SHORT: { const SHORT v = static_cast<SHORT>(std::trunc(c * 32767)); return Bytes(&v, 2); }
        case N_PIXTYPE_UINT: { const ULONG v = static_cast<ULONG>(std::trunc(c * 4294967295.0)); return Bytes(&v, 4); }
        case N_PIXTYPE_INT: { const LONG v = static_cast<LONG>(std::trunc(c * 2147483647.0)); return Bytes(&v, 4); }
        default: { const float v = static_cast<float>(c); return Bytes(&v, 4); }
    }
}

TEST_F(LgiTest, PackOfEveryFormatAndTypeFollowsTheReference) {
    gFetched = {{1.5f, 0.5f, -0.25f, 1.0f}, {-0.0f, 0.2f, 0.3f, 0.75f}, {0.5f, 0.5f, 0.5f, 2.0f}};
    for (ULONG format = N_PIXFMT_DEPTH; format <= N_PIXFMT_LUMINANCE_ALPHA; ++format)
        for (ULONG type : {0u, 1u, 3u, 4u, 5u, 6u, 7u}) {
            std::vector<BYTE> want;
            for (const auto& px : gFetched) {
                auto add = [&](double c) { const auto b = Stored(type, c); want.insert(want.end(), b.begin(), b.end()); };
                const double L = static_cast<double>(px[0] + px[1] + px[2]);
                switch (format) {
                    case N_PIXFMT_DEPTH: case N_PIXFMT_RED: add(px[0]); break;
                    case N_PIXFMT_GREEN: add(px[1]); break;
                    case N_PIXFMT_BLUE: add(px[2]); break;
                    case N_PIXFMT_ALPHA: add(px[3]); break;
                    case N_PIXFMT_RGB: for (int c = 0; c < 3; ++c) add(px[c]); break;
                    case N_PIXFMT_RGBA: for (int c = 0; c < 4; ++c) add(px[c]); break;
                    case N_PIXFMT_LUMINANCE: add(L); break;
                    default: add(L); add(px[3]); break;
                }
            }
            std::vector<BYTE> out(want.size() + 8, 0xCD);
            N_PixelSpan s{};
            s.format = format;
            s.type = type;
            s.count = 3;
            s.pjDest = out.data();
            s.pfnFetch = vFetch;
            _NPackFn(format, type)(ctx_, &s);
            EXPECT_EQ(s.pjDest, out.data() + want.size()) << format << " " << type;
            EXPECT_EQ(std::vector<BYTE>(out.begin(), out.begin() + static_cast<long>(want.size())), want)
                << "format " << format << " type " << type;
            EXPECT_EQ(out[want.size()], 0xCD) << "nothing written past the row";
        }
}

TEST_F(LgiTest, PackEdgeValues) {
    // 1.5 -> 255, -0.25 -> 0, 0.5 -> 127 (127.5 truncated); -0.0 packs as 0;
    // a float 2.0 is stored as 1.0; 1.0 reaches the largest unsigned int.
    gFetched = {{1.5f, 0, 0, 0}, {-0.25f, 0, 0, 0}, {0.5f, 0, 0, 0}, {-0.0f, 0, 0, 0}};
    BYTE out[4] = {};
    N_PixelSpan s{};
    s.type = N_PIXTYPE_UBYTE;
    s.count = 4;
    s.pjDest = out;
    s.pfnFetch = vFetch;
    _NPackFn(N_PIXFMT_RED, N_PIXTYPE_UBYTE)(ctx_, &s);
    EXPECT_EQ(std::vector<BYTE>(out, out + 4), (std::vector<BYTE>{255, 0, 127, 0}));
    gFetched = {{2.0f, 0, 0, 0}, {-0.0f, 0, 0, 0}};
    float af[2] = {};
    s.type = N_PIXTYPE_FLOAT;
    s.count = 2;
    s.pjDest = reinterpret_cast<BYTE*>(af);
    _NPackFn(N_PIXFMT_RED, N_PIXTYPE_FLOAT)(ctx_, &s);
    EXPECT_EQ(af[0], 1.0f);
    EXPECT_FALSE(std::signbit(af[1]));
    gFetched = {{1.0f, 0, 0, 0}};
    ULONG ul = 0;
    s.type = N_PIXTYPE_UINT;
    s.count = 1;
    s.pjDest = reinterpret_cast<BYTE*>(&ul);
    _NPackFn(N_PIXFMT_RED, N_PIXTYPE_UINT)(ctx_, &s);
    EXPECT_EQ(ul, 0xFFFFFFFFu);
}

TEST_F(LgiTest, PackOfIndexAndStencilKeepsTheTypeWidthAndWritesBitmaps) {
    ULONG packed[10] = {0x1FF, 0x80, 3, 0xFFFFFFFF, 0, 1, 0, 1, 1, 0};
    N_PixelSpan s{};
    s.pulPacked = packed;
    s.count = 4;
    s.srcMask = 0xFFFFFFFFu;
    BYTE out[16] = {};
    // Index: ANDed with the type's largest value around the index conversion.
    s.type = N_PIXTYPE_BYTE;
    s.pjDest = out;
    _NPackFn(N_PIXFMT_INDEX, N_PIXTYPE_BYTE)(ctx_, &s);
    EXPECT_EQ(std::vector<BYTE>(out, out + 4), (std::vector<BYTE>{0x7F, 0x00, 3, 0x7F}));
    // Stencil: ANDed with the pack state's mask.
    s.srcMask = 0x0F;
    s.type = N_PIXTYPE_USHORT;
    s.pjDest = out;
    _NPackFn(N_PIXFMT_STENCIL, N_PIXTYPE_USHORT)(ctx_, &s);
    USHORT us[4];
    std::memcpy(us, out, 8);
    EXPECT_EQ(std::vector<USHORT>(us, us + 4), (std::vector<USHORT>{0xF, 0, 3, 0xF}));
    // A bitmap read writes one bit a pixel, first pixel in the top bit, and
    // the row ends on a whole byte.
    for (ULONG format : {N_PIXFMT_INDEX, N_PIXFMT_STENCIL}) {
        BYTE bits[3] = {0xEE, 0xEE, 0xEE};
        s.srcMask = 0xFFFFFFFFu;
        s.type = N_PIXTYPE_BITMAP;
        s.count = 10;
        s.pjDest = bits;
        _NPackFn(format, N_PIXTYPE_BITMAP)(ctx_, &s);
        EXPECT_EQ(bits[0], 0xB5) << format;  // 1,0,1,1, 0,1,0,1
        EXPECT_EQ(bits[1], 0x80) << format;  // 1,0
        EXPECT_EQ(bits[2], 0xEE) << format;
        EXPECT_EQ(s.pjDest, bits + 2);
    }
}

TEST_F(LgiTest, ThreeThreeTwoConversions) {
    // Unpack: bits 21-23 to 16-18, 18-20 to 8-10, 16-17 to 0-1, top byte kept.
    EXPECT_EQ(_NUnpack332(0xAAE70000u), 0xAA070103u);
    // Pack: bits 16-18 to 5-7, 8-10 to 2-4, 0-1 to 0-1, top byte kept.
    EXPECT_EQ(_NPack332(0x55070103u), 0x550000E7u);
    for (ULONG v = 0; v < 256; ++v) EXPECT_EQ(_NPack332(_NUnpack332(v << 16)), v) << v;
}

}  // namespace
