// Texture requests through the render tables: parameters, environment and
// generation with their GL errors and what reaches the lgi layer; images
// kept level by level (bounded levels and sizes, a level sent again
// replacing its record), loaded when their dimension is in force and again
// when the enabled dimension changes; and the getters that read it back.
#include <bit>
#include <cstring>

#include "pixfmt/drawable.h"
#include "mapped_segment.h"
#include "light/light.h"
#include "platform/faults.h"
#include "pixel/pixel.h"
#include "request_fixture.h"
#include "state/glstate.h"
#include "state/queries.h"
#include "state/state_requests.h"
#include "texture/texture_requests.h"

namespace glsrv_double {
namespace {

using glx::RenderRequest;
using glx::Words;

using glx::F;  // a float as its bits

constexpr ULONG k1D = 0x0DE0, k2D = 0x0DE1;
constexpr ULONG kRGB = 0x1907, kRGBA = 0x1908, kLuminance = 0x1909, kUByte = 0x1401;

class TextureTest : public RequestTest {
  protected:
    void SetUp() override {
        RequestTest::SetUp();
        ASSERT_EQ(__glXCreateGLState(&gc_, TRUE), 0u);
        gc_.pvis = &vis_;
        draw_.pBufferSet = reinterpret_cast<GLBufferSet*>(0x7000);
        gc_.pdraw = &draw_;
        gRecord.calls.clear();
    }
    void TearDown() override {
        while (gc_.pState != nullptr && gc_.pState->iDepth > 0) __glXPopAttrib(&gc_);
        vnx::faults::clear();
        RequestTest::TearDown();
    }
    ULONG Req(std::uint16_t op, const std::vector<std::uint8_t>& body) {
        return Run(__glXRenderTable, RenderRequest(op, static_cast<std::uint32_t>((body.size() + 3) & ~3u), body));
    }
    // A TexImage request: the unpack header, eight words, the image.
    ULONG Image(std::uint16_t op, ULONG target, ULONG level, ULONG components, ULONG width, ULONG height,
                ULONG border, ULONG format, ULONG cjImage, BYTE fill = 0x11) {
        std::vector<std::uint8_t> body = Words({0x0100, 0, 0, 0, 4});  // LSB first, alignment 4
        const auto args = Words({target, level, components, width, height, border, format, kUByte});
        body.insert(body.end(), args.begin(), args.end());
        body.insert(body.end(), cjImage, fill);
        return Req(op, body);
    }
    std::vector<const __GLXtexLevel*> Levels(ULONG target) {
        std::vector<const __GLXtexLevel*> v;
        const __GLXtexObjects* p = __glXTexObjects(&gc_);
        for (const __GLXtexLevel* l = target == k2D ? p->pLevels2D : p->pLevels1D; l != nullptr; l = l->pNext)
            v.push_back(l);
        return v;
    }
    // The levels N_BindAttrMap loaded, as (target code, level).
    std::vector<std::pair<ULONG, ULONG>> Loaded() const {
        std::vector<std::pair<ULONG, ULONG>> v;
        for (const Call* c : Calls("N_BindAttrMap")) v.push_back({static_cast<ULONG>(c->args[1]), static_cast<ULONG>(c->args[2])});
        return v;
    }
    ULONG Gathered(ULONG (*pfn)(GLClient*, ULONG, ULONG, ULONG, const void**, ULONG*), ULONG a, ULONG b,
                   std::vector<ULONG>* pOut) {
        const void* pv = nullptr;
        ULONG cj = 0;
        const ULONG e = pfn(pgc_, a, b, GLX_TYPE_INT, &pv, &cj);
        if (e == GL_NO_ERROR) pOut->assign(static_cast<const ULONG*>(pv), static_cast<const ULONG*>(pv) + cj / 4);
        return e;
    }

    GLVisual vis_{};
    GLDrawable draw_{};
};

struct ParamCase {
    std::uint16_t op;
    std::vector<std::uint8_t> body;
    ULONG glError;
    std::vector<std::pair<ULONG, std::vector<ULONG>>> attrs;  // every attribute sent, in order
};

TEST_F(TextureTest, ParametersEnvironmentAndErrors) {
    const ULONG one = F(1.0f), half = F(0.5f), zero = F(0.0f), c0 = F(__glXIntColor(0));
    const ParamCase cases[] = {
        {107, Words({k2D, 0x2800, 0x2601}), 0, {{154, {1}}}},  // MAG_FILTER LINEAR
        {107, Words({k1D, 0x2800, 0x2600}), 0, {{152, {0}}}},
        {107, Words({k1D, 0x2801, 0x2703}), 0, {{151, {5}}}},  // LINEAR_MIPMAP_LINEAR
        {105, Words({k2D, 0x2801, F(0x2702)}), 0, {{153, {3}}}},  // NEAREST_MIPMAP_LINEAR, as a float
        {105, Words({k2D, 0x2801, F(9985.7f)}), 0, {{153, {4}}}},  // LINEAR_MIPMAP_NEAREST, truncated
        {107, Words({k1D, 0x2802, 0x2900}), 0, {{148, {1}}}},  // WRAP_S CLAMP
        {107, Words({k2D, 0x2802, 0x2901}), 0, {{149, {0}}}},
        {107, Words({k2D, 0x2803, 0x2900}), 0, {{150, {1}}}},
        {107, Words({k1D, 0x2803, 0x2900}), 0, {}},  // WRAP_T of 1D: accepted, changes nothing
        {106, Words({k2D, 0x1004, one, half, zero, one}), 0, {{156, {one, half, zero, one}}}},
        {108, Words({k1D, 0x1004, 0x7FFFFFFF, 0, 0, 0x7FFFFFFF}), 0, {{155, {one, c0, c0, one}}}},  // the colour rule
        {107, Words({k1D, 0x1004, 0}), GL_INVALID_ENUM, {}},  // border colour: vector forms only
        {107, Words({0x0DE2, 0x2800, 0x2601}), GL_INVALID_ENUM, {}},
        {107, Words({k2D, 0x2800, 0x2700}), GL_INVALID_ENUM, {}},  // no mipmaps for MAG
        {107, Words({k2D, 0x2802, 0x2601}), GL_INVALID_ENUM, {}},
        {108, Words({k2D, 0x1234}), GL_INVALID_ENUM, {}},  // unknown, refused unread
        {113, Words({0x2300, 0x2200, 0x2101}), 0, {{157, {1}}, {158, {1}}}},  // DECAL
        {111, Words({0x2300, 0x2200, F(0x0BE2)}), 0, {{157, {2}}, {158, {2}}}},  // BLEND
        {112, Words({0x2300, 0x2201, half, half, half, one}),
         0, {{159, {half, half, half, one}}, {160, {half, half, half, one}}}},
        {113, Words({0x2300, 0x2201, 0}), GL_INVALID_ENUM, {}},
        {113, Words({0x2301, 0x2200, 0x2100}), GL_INVALID_ENUM, {}},
        {113, Words({0x2300, 0x2200, 0x2102}), GL_INVALID_ENUM, {}},
    };
    for (const ParamCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.op << " case " << (&c - cases));
        gc_.error = 0;
        gRecord.calls.clear();
        EXPECT_EQ(Req(c.op, c.body), c.glError == 0 ? 0u : 2u);
        EXPECT_EQ(gc_.error, c.glError);
        std::vector<std::pair<ULONG, std::vector<ULONG>>> sent;
        for (const Call& call : gRecord.calls) {
            if (call.name == "N_SetStateBlockAttr") sent.push_back({call.args[0], call.words});
            if (call.name == "N_SetStateBlockAttrWord") sent.push_back({call.args[0], {static_cast<ULONG>(call.args[1])}});
        }
        EXPECT_EQ(sent, c.attrs);
    }
}

// Each texture request family takes its own names only: a vector request
// naming a parameter of another family carries no values (as the client
// sends it) and is refused with GL_INVALID_ENUM, not BadLength; sent with
// the values the other family would carry, it is refused the same way.
TEST_F(TextureTest, EachFamilyTakesItsOwnNames) {
    const struct {
        const char* family;
        std::vector<std::uint16_t> vectorOps;  // fv, iv (and dv)
        ULONG object;
        std::vector<ULONG> own;
    } families[] = {
        {"TexParameter", {106, 108}, k2D, {0x2800, 0x2801, 0x2802, 0x2803, 0x1004}},
        {"TexEnv", {112, 114}, 0x2300, {0x2200, 0x2201}},
        {"TexGen", {116, 118, 120}, 0x2000, {0x2500, 0x2501, 0x2502}},
    };
    for (const auto& f : families)
        for (const auto& other : families) {
            if (&other == &f) continue;
            for (std::uint16_t op : f.vectorOps)
                for (ULONG pname : other.own) {
                    SCOPED_TRACE(testing::Message() << f.family << " " << op << " " << std::hex << pname);
                    gc_.error = 0;
                    gRecord.calls.clear();
                    const auto names = Words({f.object, pname});
                    EXPECT_EQ(Req(op, names), 2u);
                    EXPECT_EQ(gc_.error, GL_INVALID_ENUM);
                    const auto withValues = Words({f.object, pname, 0, 0, 0, 0, 0, 0, 0, 0});
                    gc_.error = 0;
                    EXPECT_EQ(Req(op, withValues), 2u);
                    EXPECT_EQ(gc_.error, GL_INVALID_ENUM);
                    EXPECT_TRUE(Calls("N_SetStateBlockAttr").empty());
                    EXPECT_TRUE(Calls("N_SetStateBlockAttrWord").empty());
                }
        }
    // Its own names still carry their values.
    gc_.error = 0;
    EXPECT_EQ(Req(106, Words({k2D, 0x1004, F(1.0f), 0, 0, F(1.0f)})), 0u);
    EXPECT_EQ(Req(112, Words({0x2300, 0x2201, 0, 0, 0, 0})), 0u);
    EXPECT_EQ(Req(118, Words({0x2000, 0x2502, 0, 0, 0, 0})), 0u);
    EXPECT_EQ(gc_.error, 0u);
}

// Generation: the mode and planes are kept in the TEXTURE block; each
// change sends the coordinate's attribute for its mode; the getter reads
// the record back.
TEST_F(TextureTest, GenerationRecordsAndGetter) {
    const ULONG one = F(1.0f), two = F(2.0f), three = F(3.0f);
    EXPECT_EQ(Req(118, Words({0x2001, 0x2501, one, two, three, one})), 0u);  // T object plane
    EXPECT_EQ(Attr(N_ATTR_TEXGEN_PLANE_T), (std::vector<ULONG>{1, 0, one, 0, 0})) << "still eye linear: the eye plane goes";
    EXPECT_EQ(Req(119, Words({0x2001, 0x2500, 0x2401})), 0u);                // T OBJECT_LINEAR
    EXPECT_EQ(Attr(N_ATTR_TEXGEN_PLANE_T), (std::vector<ULONG>{0, one, two, three, one}));
    std::vector<std::uint8_t> gend(8);
    const double dMode = 0x2400;
    std::memcpy(gend.data(), &dMode, 8);
    const auto names = Words({0x2000, 0x2500});
    gend.insert(gend.end(), names.begin(), names.end());
    EXPECT_EQ(Req(115, gend), 0u);  // TexGend: the double first
    EXPECT_EQ(Attr(N_ATTR_TEXGEN_PLANE_S), (std::vector<ULONG>{1, one, 0, 0, 0})) << "S eye plane (1, 0, 0, 0)";
    gAnswers.attrs[N_ATTR_TEXGEN_PLANE_S] = {1, 7, 8, 9, 10};
    EXPECT_EQ(Req(119, Words({0x2000, 0x2500, 0x2402})), 0u);  // S SPHERE_MAP
    EXPECT_EQ(Attr(N_ATTR_TEXGEN_PLANE_S), (std::vector<ULONG>{2, 7, 8, 9, 10})) << "the sphere words the lgi context keeps";

    for (ULONG coord : {0x2002u, 0x2003u}) {
        gc_.error = 0;
        EXPECT_EQ(Req(119, Words({coord, 0x2500, 0x2402})), 2u) << "sphere map is for S and T only";
        EXPECT_EQ(gc_.error, GL_INVALID_ENUM);
    }
    gc_.error = 0;
    EXPECT_EQ(Req(119, Words({0x2001, 0x2501, 0})), 2u) << "planes: vector forms only";
    EXPECT_EQ(Req(119, Words({0x2004, 0x2500, 0x2400})), 2u);

    std::vector<ULONG> v;
    ASSERT_EQ(Gathered(__glXGetTexGen, 0x2001, 0x2500, &v), GL_NO_ERROR);
    EXPECT_EQ(v, std::vector<ULONG>{0x2401});
    ASSERT_EQ(Gathered(__glXGetTexGen, 0x2000, 0x2500, &v), GL_NO_ERROR);
    EXPECT_EQ(v, std::vector<ULONG>{0x2402});
    ASSERT_EQ(Gathered(__glXGetTexGen, 0x2001, 0x2501, &v), GL_NO_ERROR);
    EXPECT_EQ(v, (std::vector<ULONG>{1, 2, 3, 1}));
    EXPECT_EQ(Gathered(__glXGetTexGen, 0x2001, 0x2503, &v), GL_INVALID_ENUM);
}

// An eye plane is taken through the inverse of the modelview in force when
// it is given and kept so: a modelview moved later, a mode change, a plane of
// another coordinate given under another modelview, leave it as it was; the
// getter reads the plane in eye space.
TEST_F(TextureTest, EyePlaneKeepsTheModelviewOfItsTime) {
    const ULONG zero = F(0.0f), one = F(1.0f), two = F(2.0f);
    auto translate = [&](float x) {
        std::vector<std::uint8_t> body = Words({F(x), zero, zero});
        ASSERT_EQ(Req(190, body), 0u);  // Translatef
    };
    ASSERT_EQ(Req(119, Words({0x2000, 0x2500, 0x2400})), 0u);                // S EYE_LINEAR
    ASSERT_EQ(Req(118, Words({0x2000, 0x2502, two, zero, zero, zero})), 0u);  // S eye plane (2, 0, 0, 0) under I
    translate(5.0f);
    ASSERT_EQ(Req(118, Words({0x2001, 0x2502, zero, one, zero, zero})), 0u);  // T eye plane under x + 5
    ASSERT_EQ(Req(119, Words({0x2000, 0x2500, 0x2400})), 0u);                // S's mode again
    EXPECT_EQ(Attr(N_ATTR_TEXGEN_PLANE_S), (std::vector<ULONG>{1, two, zero, zero, zero}))
        << "the plane given under the identity";
    // (0, 1, 0, 0) through the inverse of the translation by x + 5 is itself.
    EXPECT_EQ(Attr(N_ATTR_TEXGEN_PLANE_T), (std::vector<ULONG>{1, zero, one, zero, zero}));
    ASSERT_EQ(Req(118, Words({0x2000, 0x2502, two, zero, zero, zero})), 0u);  // S's plane under x + 5
    EXPECT_EQ(Attr(N_ATTR_TEXGEN_PLANE_S), (std::vector<ULONG>{1, two, zero, zero, F(-10.0f)}))
        << "2 (x_eye - 5): the same object x as under the identity";
    std::vector<ULONG> v;
    ASSERT_EQ(Gathered(__glXGetTexGen, 0x2000, 0x2502, &v), GL_NO_ERROR);
    EXPECT_EQ(v, (std::vector<ULONG>{2, 0, 0, static_cast<ULONG>(-10)}));
}

// A push and pop of the texture group gives the generation records back
// whole, and sends each coordinate's attribute for its mode.
TEST_F(TextureTest, PushPopKeepsGeneration) {
    const ULONG one = F(1.0f), two = F(2.0f);
    ASSERT_EQ(Req(118, Words({0x2000, 0x2501, two, two, two, two})), 0u);  // S object plane
    ASSERT_EQ(Req(118, Words({0x2000, 0x2502, one, one, one, one})), 0u);  // S eye plane
    gAnswers.attrs[N_ATTR_TEXGEN_PLANE_S] = {1, one, one, one, one};
    ASSERT_EQ(Req(142, Words({GL_TEXTURE_BIT})), 0u);
    ASSERT_EQ(Req(119, Words({0x2000, 0x2500, 0x2401})), 0u);
    ASSERT_EQ(Req(118, Words({0x2000, 0x2501, 0, 0, 0, 0})), 0u);
    gRecord.calls.clear();
    ASSERT_EQ(Req(141, {}), 0u);
    EXPECT_EQ(Attr(N_ATTR_TEXGEN_PLANE_S), (std::vector<ULONG>{1, one, one, one, one}));
    std::vector<ULONG> v;
    ASSERT_EQ(Gathered(__glXGetTexGen, 0x2000, 0x2501, &v), GL_NO_ERROR);
    EXPECT_EQ(v, (std::vector<ULONG>{2, 2, 2, 2})) << "the object plane survived the push";
}

// The level lists belong to the bottom attribute level, which pushed levels
// share: a level loaded while attributes are pushed is found there and
// outlives the pop, whether or not the lists existed before the push; a
// context freed with levels still pushed frees each list once.
TEST_F(TextureTest, LevelsBelongToTheBottomLevel) {
    ASSERT_EQ(Req(142, Words({0x000FFFFF})), 0u);  // PushAttrib(ALL_ATTRIB_BITS)
    ASSERT_EQ(Image(110, k2D, 0, 3, 4, 4, 0, kRGB, 48), 0u);
    const __GLXtexLevel* p = __glXFindLevel(&gc_, k2D, 0);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(Req(141, {}), 0u);  // PopAttrib
    EXPECT_EQ(__glXFindLevel(&gc_, k2D, 0), p);
    ASSERT_EQ(Req(142, Words({0x000FFFFF})), 0u);
    ASSERT_EQ(Req(142, Words({GL_TEXTURE_BIT})), 0u);
    ASSERT_EQ(Image(109, k1D, 0, 3, 4, 1, 0, kRGB, 12), 0u);
    EXPECT_EQ(__glXFindLevel(&gc_, k2D, 0), p);
    EXPECT_NE(__glXFindLevel(&gc_, k1D, 0), nullptr);
    for (GLState* pgs = gc_.pState; pgs != nullptr;) {
        GLState* pNext = pgs->pNext;
        __glXFreeGLState(pgs, pgs->flPresent);
        pgs = pNext;
    }
    gc_.pState = nullptr;
}

struct ImageCase {
    const char* what;
    std::uint16_t op;
    ULONG target, level, components, width, height, border, format, cjImage;
    ULONG glError;
};

TEST_F(TextureTest, ImageChecks) {
    const ImageCase cases[] = {
        {"66 wide with a border", 110, k2D, 0, 3, 66, 66, 1, kRGB, 200 * 66, 0},  // rows of 198 bytes, aligned to 4
        {"66 wide without", 110, k2D, 0, 3, 66, 64, 0, kRGB, 66 * 64 * 3, GL_INVALID_VALUE},
        {"0 wide", 110, k2D, 0, 3, 0, 0, 0, kRGB, 0, 0},
        {"RGB with 4 components", 110, k2D, 0, 4, 4, 4, 0, kRGB, 48, GL_INVALID_VALUE},
        {"no components", 110, k2D, 0, 0, 4, 4, 0, kRGB, 48, GL_INVALID_VALUE},
        {"STENCIL_INDEX", 110, k2D, 0, 1, 4, 4, 0, 0x1901, 16, GL_INVALID_ENUM},
        {"DEPTH_COMPONENT", 110, k2D, 0, 1, 4, 4, 0, 0x1902, 16, GL_INVALID_ENUM},
        {"border 2", 110, k2D, 0, 3, 8, 8, 2, kRGB, 192, GL_INVALID_VALUE},
        {"level -1", 110, k2D, 0xFFFFFFFF, 3, 4, 4, 0, kRGB, 48, GL_INVALID_VALUE},
        {"level 10 (the last level record)", 110, k2D, 10, 3, 4, 4, 0, kRGB, 48, 0},
        {"level 11, past the level records", 110, k2D, 11, 3, 4, 4, 0, kRGB, 48, GL_INVALID_VALUE},
        {"wider than the server reports", 110, k2D, 0, 1, 512, 1, 0, kLuminance, 512, GL_INVALID_VALUE},
        {"256 wide", 110, k2D, 0, 1, 256, 1, 0, kLuminance, 256, 0},
        {"1D into TEXTURE_2D", 109, k2D, 0, 3, 4, 1, 0, kRGB, 12, GL_INVALID_ENUM},
        {"2D into TEXTURE_1D", 110, k1D, 0, 3, 4, 4, 0, kRGB, 48, GL_INVALID_ENUM},
        {"1D with a border", 109, k1D, 0, 3, 6, 1, 1, kRGB, 18, 0},
        {"image shorter than it says", 110, k2D, 0, 4, 4, 4, 0, kRGBA, 60, GL_INVALID_VALUE},
    };
    for (const ImageCase& c : cases) {
        SCOPED_TRACE(c.what);
        gc_.error = 0;
        const ULONG x = Image(c.op, c.target, c.level, c.components, c.width, c.height, c.border, c.format, c.cjImage);
        EXPECT_EQ(gc_.error, c.glError);
        EXPECT_EQ(x, c.glError == 0 ? 0u : 2u);
    }
    // A bad type.
    std::vector<std::uint8_t> body = Words({0, 0, 0, 0, 4, k2D, 0, 3, 1, 1, 0, kRGB, 0x1410});
    body.resize(body.size() + 4);
    gc_.error = 0;
    EXPECT_EQ(Req(110, body), 2u);
    EXPECT_EQ(gc_.error, GL_INVALID_ENUM);
}

// Levels: level 0 starts the list again, a level sent again replaces its
// record (the newest goes last), the request's unpack header goes to the
// unpack state first, and a failed record allocation changes nothing.
TEST_F(TextureTest, LevelLists) {
    ASSERT_EQ(Image(110, k2D, 0, 3, 4, 4, 0, kRGB, 48), 0u);
    ASSERT_EQ(Image(110, k2D, 0, 3, 4, 4, 0, kRGB, 48), 0u);
    EXPECT_EQ(Levels(k2D).size(), 1u);
    // The request's unpack header {swap 0, LSB first 1, ..., alignment 4}.
    ULONG type = 0, value = 0;
    ASSERT_EQ(__glXPixelVariable(&gc_, 0x0CF1, &type, &value), 1u);  // UNPACK_LSB_FIRST
    EXPECT_EQ(value, 1u);
    ASSERT_EQ(__glXPixelVariable(&gc_, 0x0CF5, &type, &value), 1u);  // UNPACK_ALIGNMENT
    EXPECT_EQ(value, 4u);

    ASSERT_EQ(Image(110, k2D, 1, 3, 2, 2, 0, kRGB, 14, 0x22), 0u);
    ASSERT_EQ(Image(110, k2D, 2, 3, 1, 1, 0, kRGB, 3), 0u);
    ASSERT_EQ(Image(110, k2D, 1, 3, 2, 2, 0, kRGB, 14, 0x33), 0u);
    auto levels = Levels(k2D);
    ASSERT_EQ(levels.size(), 3u) << "level 1 replaced, not piled up";
    EXPECT_EQ(levels[0]->level, 0u);
    EXPECT_EQ(levels[1]->level, 2u);
    EXPECT_EQ(levels[2]->level, 1u);
    EXPECT_EQ(static_cast<const BYTE*>(levels[2]->pvImage)[0], 0x33);
    EXPECT_EQ(__glXFindLevel(&gc_, k2D, 1), levels[2]);
    EXPECT_EQ(levels[2]->target, 1u);
    EXPECT_EQ(levels[2]->format, 7u);
    EXPECT_EQ(levels[2]->type, 0u);
    EXPECT_EQ(levels[2]->components, 3u);

    vnx::faults::arm("LocalAlloc");
    gc_.error = 0;
    EXPECT_EQ(Image(110, k2D, 3, 3, 1, 1, 0, kRGB, 3), 11u);
    EXPECT_EQ(gc_.error, GL_OUT_OF_MEMORY);
    vnx::faults::clear();
    EXPECT_EQ(Levels(k2D).size(), 3u);
    // An image shorter than the unpack state describes.
    gc_.error = 0;
    EXPECT_EQ(Image(110, k2D, 1, 3, 2, 2, 0, kRGB, 8), 2u);
    EXPECT_EQ(gc_.error, GL_INVALID_VALUE);
    EXPECT_EQ(Levels(k2D)[2]->pvImage, levels[2]->pvImage) << "the old level stays";

    ASSERT_EQ(Image(110, k2D, 0, 1, 8, 8, 0, kLuminance, 64), 0u);
    EXPECT_EQ(Levels(k2D).size(), 1u) << "a new level 0 drops the others";
    ASSERT_EQ(Image(109, k1D, 0, 3, 4, 1, 0, kRGB, 12), 0u);
    EXPECT_EQ(Levels(k1D).size(), 1u);
    EXPECT_EQ(Levels(k2D).size(), 1u);

    // What the getter answers: the last record; a level never loaded.
    std::vector<ULONG> v;
    const void* pv = nullptr;
    ULONG cj = 0;
    for (const auto& [pname, expected] : std::vector<std::pair<ULONG, ULONG>>{{0x1000, 8}, {0x1001, 8}, {0x1003, 1}, {0x1005, 0}}) {
        ASSERT_EQ(__glXGetTexLevelParameter(pgc_, k2D, 0, pname, GLX_TYPE_INT, &pv, &cj), GL_NO_ERROR);
        EXPECT_EQ(*static_cast<const ULONG*>(pv), expected) << pname;
    }
    for (const auto& [pname, expected] : std::vector<std::pair<ULONG, ULONG>>{{0x1000, 0}, {0x1001, 0}, {0x1003, 1}, {0x1005, 0}}) {
        ASSERT_EQ(__glXGetTexLevelParameter(pgc_, k2D, 5, pname, GLX_TYPE_INT, &pv, &cj), GL_NO_ERROR);
        EXPECT_EQ(*static_cast<const ULONG*>(pv), expected) << pname;
    }
    EXPECT_EQ(__glXGetTexLevelParameter(pgc_, k2D, -1, 0x1000, GLX_TYPE_INT, &pv, &cj), GL_INVALID_VALUE);
    EXPECT_EQ(__glXGetTexLevelParameter(pgc_, k2D, 0, 0x1004, GLX_TYPE_INT, &pv, &cj), GL_INVALID_ENUM);
    EXPECT_EQ(__glXGetTexLevelParameter(pgc_, 0x0DE2, 0, 0x1000, GLX_TYPE_INT, &pv, &cj), GL_INVALID_ENUM);
}

// The board takes a level at once when its dimension is in force, and
// every level of the wanted list in order when the enabled dimension
// changes.
TEST_F(TextureTest, DimensionInForce) {
    ASSERT_EQ(Image(109, k1D, 0, 3, 4, 1, 0, kRGB, 12), 0u);
    ASSERT_EQ(Image(110, k2D, 0, 3, 4, 4, 0, kRGB, 48), 0u);
    ASSERT_EQ(Image(110, k2D, 1, 3, 2, 2, 0, kRGB, 14), 0u);
    EXPECT_TRUE(Loaded().empty()) << "texturing is off";

    ASSERT_EQ(Req(139, Words({k1D})), 0u);
    EXPECT_EQ(Loaded(), (std::vector<std::pair<ULONG, ULONG>>{{0, 0}}));
    gRecord.calls.clear();
    ASSERT_EQ(Image(109, k1D, 1, 3, 2, 1, 0, kRGB, 6), 0u);
    EXPECT_EQ(Loaded(), (std::vector<std::pair<ULONG, ULONG>>{{0, 1}})) << "1D in force: loaded at once";
    gRecord.calls.clear();
    ASSERT_EQ(Req(139, Words({k2D})), 0u);
    EXPECT_EQ(Loaded(), (std::vector<std::pair<ULONG, ULONG>>{{1, 0}, {1, 1}}));
    gRecord.calls.clear();
    ASSERT_EQ(Image(109, k1D, 0, 3, 4, 1, 0, kRGB, 12), 0u);
    EXPECT_TRUE(Loaded().empty()) << "2D is in force";
    ASSERT_EQ(Req(138, Words({k2D})), 0u);
    EXPECT_EQ(Loaded(), (std::vector<std::pair<ULONG, ULONG>>{{0, 0}})) << "back to the 1D levels";
    EXPECT_EQ(__glXTexObjects(&gc_)->dimension, 1u);
    gRecord.calls.clear();
    ASSERT_EQ(Req(138, Words({k1D})), 0u);
    EXPECT_TRUE(Loaded().empty());
    EXPECT_EQ(__glXTexObjects(&gc_)->dimension, 0u);

    // Without a drawable's buffers nothing is validated.
    gc_.pdraw = nullptr;
    ASSERT_EQ(Req(139, Words({k2D})), 0u);
    EXPECT_EQ(__glXTexObjects(&gc_)->dimension, 0u);
}

TEST_F(TextureTest, ParameterGetter) {
    gAnswers.attrs[N_ATTR_MIN_FILTER1] = {3};
    gAnswers.attrs[N_ATTR_WRAP_T1] = {1};
    gAnswers.attrs[N_ATTR_WRAP_S] = {0};
    gAnswers.attrs[N_ATTR_BORDER_COLOUR] = {F(1.0f), 0, 0, F(1.0f)};
    std::vector<ULONG> v;
    ASSERT_EQ(Gathered(__glXGetTexParameter, k2D, 0x2801, &v), GL_NO_ERROR);
    EXPECT_EQ(v, std::vector<ULONG>{0x2702});
    ASSERT_EQ(Gathered(__glXGetTexParameter, k2D, 0x2803, &v), GL_NO_ERROR);
    EXPECT_EQ(v, std::vector<ULONG>{0x2900});
    ASSERT_EQ(Gathered(__glXGetTexParameter, k1D, 0x2802, &v), GL_NO_ERROR);
    EXPECT_EQ(v, std::vector<ULONG>{0x2901});
    ASSERT_EQ(Gathered(__glXGetTexParameter, k1D, 0x1004, &v), GL_NO_ERROR);
    EXPECT_EQ(v, (std::vector<ULONG>{0x7FFFFFFF, 0, 0, 0x7FFFFFFF})) << "a colour";
    EXPECT_EQ(Gathered(__glXGetTexParameter, 0x0DE2, 0x2801, &v), GL_INVALID_ENUM);
    EXPECT_EQ(Gathered(__glXGetTexParameter, k2D, 0x2804, &v), GL_INVALID_ENUM);
}

// GetTexImage answers the level in the format and type asked for: its own
// bytes, or converted texel by texel; a level never loaded answers no image.
TEST_F(TextureTest, GetTexImage) {
    SMSegmentHeader* ph = MapRequestSegment(pgc_);
    ASSERT_EQ(Image(110, k2D, 0, 3, 2, 1, 0, kRGB, 6, 0), 0u);
    std::memcpy(Levels(k2D)[0]->pvImage, "\xFF\x00\x00\x00\xFF\x00", 6);
    auto get = [&](ULONG level, ULONG format, ULONG type, std::vector<BYTE>* pData) {
        std::memset(ph->reply, 0, sizeof ph->reply);
        std::vector<std::uint8_t> req = {0x80, 135, 7, 0, 0, 0, 0, 0};
        const auto w = Words({k2D, level, format, type, 0});
        req.insert(req.end(), w.begin(), w.end());
        const ULONG x = __glXSingleTable[135](pgc_, req.data());
        ULONG length;
        std::memcpy(&length, ph->reply + 4, 4);
        const BYTE* pj = pgc_->pHeader + SM_FIRST_COMMAND;
        pData->assign(pj, pj + 4 * length);
        return x;
    };
    std::vector<BYTE> v;
    ASSERT_EQ(get(0, kRGB, kUByte, &v), 0u);
    EXPECT_EQ(v, (std::vector<BYTE>{0xFF, 0, 0, 0, 0xFF, 0, 0, 0}));
    ULONG w16;
    std::memcpy(&w16, ph->reply + 16, 4);
    EXPECT_EQ(w16, 2u) << "width at +16";
    ASSERT_EQ(get(0, kRGBA, kUByte, &v), 0u);
    EXPECT_EQ(v, (std::vector<BYTE>{0xFF, 0, 0, 0xFF, 0, 0xFF, 0, 0xFF}));
    ASSERT_EQ(get(0, kLuminance, 0x1406, &v), 0u);  // FLOAT: luminance is the red
    ASSERT_EQ(v.size(), 8u);
    float af[2];
    std::memcpy(af, v.data(), 8);
    EXPECT_EQ(af[0], 1.0f);
    EXPECT_EQ(af[1], 0.0f);
    ASSERT_EQ(get(0, 0x1906, 0x1402, &v), 0u);  // ALPHA as SHORT: 1.0 is 32767
    short as[2];
    std::memcpy(as, v.data(), 4);
    EXPECT_EQ(as[0], 32767);
    ASSERT_EQ(get(3, kRGB, kUByte, &v), 0u);
    EXPECT_TRUE(v.empty()) << "no level 3";
    gc_.error = 0;
    EXPECT_EQ(get(0, 0x1900, kUByte, &v), 2u) << "COLOR_INDEX";
    EXPECT_EQ(gc_.error, GL_INVALID_ENUM);
    gc_.error = 0;
    EXPECT_EQ(get(0, kRGB, 0x1A00, &v), 2u) << "BITMAP";
    gc_.error = 0;
    EXPECT_EQ(get(0xFFFFFFFF, kRGB, kUByte, &v), 2u);
    EXPECT_EQ(gc_.error, GL_INVALID_VALUE);
}

}  // namespace
}  // namespace glsrv_double
