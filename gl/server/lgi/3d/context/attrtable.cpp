// The attribute table: for every state-block attribute its words, the state
// groups it dirties and its value in a new context, as one table of rows.
// The attribute-table words, the dirty table and the default state block are
// all made from these rows.
#include <array>

#include "context.h"

namespace {

enum class Fill { Values, Identity, All };

struct Row {
    ULONG id;
    ULONG iWord;
    ULONG flDirty;
    Fill fill;
    std::array<ULONG, 6> defaults;  // the first words; the rest are 0
};

constexpr ULONG F(float f) { return __glXFloatBits(f); }  // table shorthand
constexpr ULONG I(ULONG ul) { return ul; }

constexpr Row V(ULONG id, ULONG iWord, ULONG flDirty, std::array<ULONG, 6> defaults = {}) {
    return Row{id, iWord, flDirty, Fill::Values, defaults};
}

// id, first state-block word, dirty bits, default; each attribute's words
// are the contract's (N_AttrWords).
constexpr Row kRows[] = {
    // Matrix stacks: entry 0, entry 1 (identity each), depth 0.
    {N_ATTR_MATRIX_STACK0, 0, 0x1, Fill::Identity, {}},
    {N_ATTR_MATRIX_STACK1, 33, 0x1, Fill::Identity, {}},
    {N_ATTR_MATRIX_STACK2, 66, 0x1, Fill::Identity, {}},
    {N_ATTR_MATRIX_STACK3, 99, 0x1, Fill::Identity, {}},
    {N_ATTR_EXTRA_MATRIX, 132, 0x1, Fill::Identity, {}},
    V(N_ATTR_RENDER_MODE, 148, 0x2),                         // render mode
    V(N_ATTR_FEEDBACK_BUFFER, 149, 0x200),                       // feedback or selection buffer record
    V(N_ATTR_TEXGEN_S, 153, 0x8), V(N_ATTR_TEXGEN_T, 154, 0x8), V(N_ATTR_TEXGEN_R, 155, 0x8), V(N_ATTR_TEXGEN_Q, 156, 0x8),
    V(N_ATTR_TEXGEN_PLANE_S, 157, 0x8, {I(1), F(1), 0, 0, 0}),  // texture-coordinate generation S
    V(N_ATTR_TEXGEN_PLANE_T, 162, 0x8, {I(1), 0, F(1), 0, 0}),  // T
    V(N_ATTR_TEXGEN_PLANE_R, 167, 0x8, {I(1), 0, 0, 0, 0}),     // R
    V(N_ATTR_TEXGEN_PLANE_Q, 172, 0x8, {I(1), 0, 0, 0, 0}),     // Q
    V(N_ATTR_NORMALIZE, 177, 0x1000, {I(1)}),
    V(N_ATTR_TWO_SIDE, 178, 0x10),                        // two-sided lighting
    V(N_ATTR_FRONT_FACE, 179, 0x10, {I(2)}),
    V(N_ATTR_CULL, 180, 0x10), V(N_ATTR_CULL_MODE, 181, 0x10),
    V(N_ATTR_CLIP_BOX, 182, 0x20, {0, 0, I(0x200), I(0x200)}),  // viewport, inclusive corners
    V(N_ATTR_DEPTH_RANGE, 186, 0x20, {F(1), 0}),                   // depth range
    V(N_ATTR_COLOUR, 188, 0x20000000, {F(1), F(1), F(1), F(1)}),  // current colour
    V(N_ATTR_INDEX, 192, 0x20000000, {F(1)}),                    // current colour index
    V(N_ATTR_RESERVED_54, 193, 0x0, {0, 0, F(1), 0}),
    V(N_ATTR_NORMAL, 197, 0x0, {0, 0, F(1)}),                     // current normal
    V(N_ATTR_TEXCOORD, 200, 0x0, {0, 0, 0, F(1)}),                  // current texture coordinates
    V(N_ATTR_EDGE_FLAG, 204, 0x40),                                  // edge flag
    V(N_ATTR_FRONT_EMISSION, 205, 0x80, {0, 0, 0, F(1)}),                 // front emission
    V(N_ATTR_FRONT_AMBIENT, 209, 0x80, {F(0.4f), F(0.4f), F(0.4f), F(1)}),  // front ambient
    V(N_ATTR_FRONT_DIFFUSE, 213, 0x80, {F(0.6f), F(0.6f), F(0.6f), F(1)}),  // front diffuse
    V(N_ATTR_FRONT_SPECULAR, 217, 0x80, {F(0.2f), F(0.2f), F(0.2f), F(1)}),  // front specular
    V(N_ATTR_FRONT_SHININESS, 221, 0x80, {F(10)}),                            // front shininess
    V(N_ATTR_FRONT_AMBIENT_INDEX, 222, 0x80), V(N_ATTR_FRONT_DIFFUSE_INDEX, 223, 0x80, {F(1)}), V(N_ATTR_FRONT_SPECULAR_INDEX, 224, 0x80, {F(1)}),
    V(N_ATTR_RESERVED_66, 225, 0x80, {F(1), F(1), F(1)}),
    V(N_ATTR_BACK_EMISSION, 228, 0x80, {0, 0, 0, F(1)}),                    // back emission
    V(N_ATTR_BACK_AMBIENT, 232, 0x80, {F(0.4f), F(0.4f), F(0.4f), F(1)}),
    V(N_ATTR_BACK_DIFFUSE, 236, 0x80, {F(0.6f), F(0.6f), F(0.6f), F(1)}),
    V(N_ATTR_BACK_SPECULAR, 240, 0x80, {F(0.2f), F(0.2f), F(0.2f), F(1)}),
    V(N_ATTR_BACK_SHININESS, 244, 0x80, {F(10)}),
    V(N_ATTR_BACK_AMBIENT_INDEX, 245, 0x80), V(N_ATTR_BACK_DIFFUSE_INDEX, 246, 0x80, {F(1)}), V(N_ATTR_BACK_SPECULAR_INDEX, 247, 0x80, {F(1)}),
    V(N_ATTR_MODEL_AMBIENT, 248, 0x80, {F(0.4f), F(0.4f), F(0.4f), F(1)}),  // light model ambient
    V(N_ATTR_SEPARATE_FACES, 252, 0x80),
    V(N_ATTR_COLOUR_MATERIAL, 253, 0x100), V(N_ATTR_COLOUR_MATERIAL_CODE, 254, 0x100, {I(0x66)}),
    V(N_ATTR_LIGHTING, 255, 0x4, {I(1)}), V(N_ATTR_VIEWER, 256, 0x4, {I(2)}),  // viewer
    V(N_ATTR_SHADE, 257, 0x4, {I(1)}), V(N_ATTR_SHADE_COPY, 258, 0x4, {I(1)}),  // shade model
    V(N_ATTR_COLOUR_INDEX_MODE, 259, 0x400),                                    // colour-index mode
    V(N_ATTR_RESERVED_84, 260, 0x400, {F(0.33f), F(0.33f), F(0.33f), I(16), 0, I(0x100)}),
    V(N_ATTR_POINT_SIZE, 266, 0x800, {F(1)}),                            // point size
    V(N_ATTR_LINE_WIDTH, 267, 0x2000, {F(1)}),                           // line width
    V(N_ATTR_LINE_STIPPLE, 268, 0x2000, {I(0xffff)}),                      // line stipple pattern
    V(N_ATTR_LINE_STIPPLE_REPEAT, 269, 0x2000, {I(1)}),                           // line stipple repeat
    V(N_ATTR_SHADE_COPY2, 270, 0x2000, {I(1)}),                           // shade model (copy)
    {N_ATTR_POLYGON_STIPPLE, 271, 0x4000, Fill::All, {0xffffffffu}},         // polygon stipple
    V(N_ATTR_POLYGON_FRONT, 303, 0x4000, {I(2)}), V(N_ATTR_POLYGON_BACK, 304, 0x4000, {I(2)}),  // polygon modes
    V(N_ATTR_RESERVED_93, 305, 0x8000, {0, 0, 0, F(1)}),
    V(N_ATTR_POINT_SMOOTH, 309, 0x8000), V(N_ATTR_LINE_SMOOTH, 310, 0x8000), V(N_ATTR_POLYGON_SMOOTH, 311, 0x8000),
    V(N_ATTR_RASTER_POS, 312, 0x10000, {0, 0, 0, F(1)}),                 // raster position
    V(N_ATTR_RASTER_DISTANCE, 316, 0x10000),
    V(N_ATTR_RASTER_COLOUR, 317, 0x10000, {F(1), F(1), F(1), F(1)}),
    V(N_ATTR_RASTER_INDEX, 321, 0x10000, {F(1)}),
    V(N_ATTR_RASTER_TEXCOORD, 322, 0x10000, {0, 0, 0, F(1)}),
    V(N_ATTR_RASTER_POS_VALID, 326, 0x10000, {I(1)}),                         // raster position valid
    V(N_ATTR_RESERVED_103, 327, 0x10000, {I(1)}),
    V(N_ATTR_PIXEL_FORMAT, 328, 0x20000, {I(1), I(0xff), I(0xff), I(0xff)}),
    V(N_ATTR_FOG, 339, 0x40000), V(N_ATTR_FOG_MODE, 340, 0x40000),        // fog enable, mode
    V(N_ATTR_FOG_DENSITY, 341, 0x40000, {F(1)}),                         // fog density
    V(N_ATTR_FOG_START, 342, 0x40000),                                 // fog start
    V(N_ATTR_FOG_END, 343, 0x40000, {F(1)}),                         // fog end
    V(N_ATTR_FOG_COLOUR, 344, 0x40000), V(N_ATTR_FOG_INDEX, 348, 0x40000), V(N_ATTR_RESERVED_112, 349, 0x40000),
    V(N_ATTR_STENCIL_TEST, 350, 0x80000),
    V(N_ATTR_STENCIL_FUNC, 351, 0x80000), V(N_ATTR_STENCIL_OP, 354, 0x80000),        // stencil function, operations
    V(N_ATTR_ALPHA_TEST, 357, 0x80000), V(N_ATTR_ALPHA_FUNC, 358, 0x80000),        // alpha function
    V(N_ATTR_DEPTH_TEST, 360, 0x80000, {I(1)}), V(N_ATTR_DEPTH_FUNC, 361, 0x80000), V(N_ATTR_BLEND, 362, 0x80000),
    V(N_ATTR_BLEND_FUNC, 363, 0x80000, {I(1), 0}),                      // blend factors
    V(N_ATTR_DITHER, 365, 0x80000),                                 // dither
    V(N_ATTR_LOGIC_OP, 366, 0x80000), V(N_ATTR_LOGIC_OP_CODE, 367, 0x80000, {I(3)}),
    V(N_ATTR_RESERVED_125, 368, 0x80000), V(N_ATTR_RESERVED_126, 369, 0x80000),
    V(N_ATTR_COLOUR_MASK, 370, 0x100000, {I(0xffffff)}), V(N_ATTR_ALPHA_MASK, 371, 0x100000, {I(0xffffff)}),
    V(N_ATTR_DEPTH_MASK, 372, 0x100000, {I(0xffffff)}), V(N_ATTR_STENCIL_MASK, 373, 0x100000, {I(0xffffff)}),
    V(N_ATTR_MAP_COLOUR, 374, 0x200000), V(N_ATTR_MAP_STENCIL, 375, 0x200000),      // map colour, map stencil
    V(N_ATTR_INDEX_SHIFT, 376, 0x200000), V(N_ATTR_INDEX_OFFSET, 377, 0x200000),      // index shift, offset
    V(N_ATTR_RED_SCALE, 378, 0x200000, {F(1)}), V(N_ATTR_GREEN_SCALE, 379, 0x200000, {F(1)}),  // scales
    V(N_ATTR_BLUE_SCALE, 380, 0x200000, {F(1)}), V(N_ATTR_ALPHA_SCALE, 381, 0x200000, {F(1)}),
    V(N_ATTR_DEPTH_SCALE, 382, 0x200000, {F(1)}),
    V(N_ATTR_RED_BIAS, 383, 0x200000), V(N_ATTR_GREEN_BIAS, 384, 0x200000), V(N_ATTR_BLUE_BIAS, 385, 0x200000),  // biases
    V(N_ATTR_ALPHA_BIAS, 386, 0x200000), V(N_ATTR_DEPTH_BIAS, 387, 0x200000),
    V(N_ATTR_ZOOM_X, 388, 0x200000, {F(1)}), V(N_ATTR_ZOOM_Y, 389, 0x200000, {F(1)}),  // pixel zoom
    V(N_ATTR_TEXTURE, 390, 0x400000),
    V(N_ATTR_WRAP_S, 391, 0x8), V(N_ATTR_WRAP_S1, 392, 0x8), V(N_ATTR_WRAP_T1, 393, 0x8),
    V(N_ATTR_MIN_FILTER, 394, 0x400000, {I(3)}), V(N_ATTR_MAG_FILTER, 395, 0x8, {I(1)}),
    V(N_ATTR_MIN_FILTER1, 396, 0x400000, {I(3)}), V(N_ATTR_MAG_FILTER1, 397, 0x8, {I(1)}),
    V(N_ATTR_BORDER_COLOUR, 398, 0x8), V(N_ATTR_BORDER_COLOUR1, 402, 0x8),
    V(N_ATTR_ENV_MODE, 406, 0x400000), V(N_ATTR_ENV_MODE1, 407, 0x400000),
    V(N_ATTR_ENV_COLOUR, 408, 0x8), V(N_ATTR_ENV_COLOUR1, 412, 0x8),
    V(N_ATTR_INDEX_MASK, 416, 0x100000),
    V(N_ATTR_READ_BUFFER, 417, 0x800000, {I(0xc)}),                      // read buffer
    V(N_ATTR_DRAW_BUFFER, 418, 0x800000, {I(0xff)}),                     // draw buffer
    V(N_ATTR_CLEAR_COLOUR, 419, 0x800000),                                // clear colour
    V(N_ATTR_CLEAR_INDEX, 423, 0x800000), V(N_ATTR_CLEAR_DEPTH, 424, 0x800000),      // clear index, depth
    V(N_ATTR_CLEAR_STENCIL, 425, 0x800000), V(N_ATTR_CLEAR_ACCUM, 426, 0x800000),      // clear stencil, accumulation
};
static_assert(std::size(kRows) == N_ATTR_LAST - N_ATTR_FIRST + 1, "one row per attribute");

constexpr std::array<N_AttrRow, N_ATTR_COUNT> MakeTable() {
    std::array<N_AttrRow, N_ATTR_COUNT> a{};
    for (const Row& r : kRows) a[r.id] = N_AttrRow{N_AttrWords(r.id), r.iWord, r.flDirty};
    return a;
}

// Rows lie in id order, each right behind the one before, and fill the block.
constexpr bool bRowsTile() {
    ULONG iNext = 0;
    ULONG idNext = N_ATTR_FIRST;
    for (const Row& r : kRows) {
        if (r.id != idNext++ || r.iWord != iNext) return false;
        iNext += N_AttrWords(r.id);
    }
    return iNext == N_STATE_WORDS;
}
static_assert(bRowsTile(), "the attributes tile the state block in id order");

constexpr N_StateBlock MakeDefaults() {
    N_StateBlock sb{};
    for (const Row& r : kRows) {
        ULONG* p = &sb.w[r.iWord];
        const ULONG cWords = N_AttrWords(r.id);
        switch (r.fill) {
            case Fill::Values:
                for (ULONG i = 0; i < cWords && i < r.defaults.size(); ++i) p[i] = r.defaults[i];
                break;
            case Fill::All:
                for (ULONG i = 0; i < cWords; ++i) p[i] = r.defaults[0];
                break;
            case Fill::Identity:
                // One or two 16-word matrices; a stack's depth word stays 0.
                for (ULONG m = 0; m + 16 <= cWords; m += 16)
                    for (ULONG i = 0; i < 4; ++i) p[m + i * 5] = F(1);
                break;
        }
    }
    return sb;
}

}  // namespace

constinit const std::array<N_AttrRow, N_ATTR_COUNT> gaNAttrTable = MakeTable();
constinit const N_StateBlock gNDefaultState = MakeDefaults();
