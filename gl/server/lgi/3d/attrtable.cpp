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
    ULONG cWords;
    ULONG iWord;
    ULONG flDirty;
    Fill fill;
    std::array<ULONG, 6> defaults;  // the first words; the rest are 0
};

constexpr ULONG F(float f) { return __glXFloatBits(f); }  // table shorthand
constexpr ULONG I(ULONG ul) { return ul; }

constexpr Row V(ULONG id, ULONG cWords, ULONG iWord, ULONG flDirty,
                std::array<ULONG, 6> defaults = {}) {
    return Row{id, cWords, iWord, flDirty, Fill::Values, defaults};
}

// id, words, first state-block word, dirty bits, default.
constexpr Row kRows[] = {
    // Matrix stacks: entry 0, entry 1 (identity each), depth 0.
    {N_ATTR_MATRIX_STACK0, 33, 0, 0x1, Fill::Identity, {}},
    {N_ATTR_MATRIX_STACK1, 33, 33, 0x1, Fill::Identity, {}},
    {N_ATTR_MATRIX_STACK2, 33, 66, 0x1, Fill::Identity, {}},
    {N_ATTR_MATRIX_STACK3, 33, 99, 0x1, Fill::Identity, {}},
    {N_ATTR_EXTRA_MATRIX, 16, 132, 0x1, Fill::Identity, {}},
    V(N_ATTR_RENDER_MODE, 1, 148, 0x2),                         // render mode
    V(N_ATTR_FEEDBACK_BUFFER, 4, 149, 0x200),                       // feedback or selection buffer record
    V(N_ATTR_TEXGEN_S, 1, 153, 0x8), V(N_ATTR_TEXGEN_T, 1, 154, 0x8), V(N_ATTR_TEXGEN_R, 1, 155, 0x8), V(N_ATTR_TEXGEN_Q, 1, 156, 0x8),
    V(N_ATTR_TEXGEN_PLANE_S, 5, 157, 0x8, {I(1), F(1), 0, 0, 0}),  // texture-coordinate generation S
    V(N_ATTR_TEXGEN_PLANE_T, 5, 162, 0x8, {I(1), 0, F(1), 0, 0}),  // T
    V(N_ATTR_TEXGEN_PLANE_R, 5, 167, 0x8, {I(1), 0, 0, 0, 0}),     // R
    V(N_ATTR_TEXGEN_PLANE_Q, 5, 172, 0x8, {I(1), 0, 0, 0, 0}),     // Q
    V(N_ATTR_NORMALIZE, 1, 177, 0x0, {I(1)}),
    V(N_ATTR_TWO_SIDE, 1, 178, 0x10),                        // two-sided lighting
    V(N_ATTR_FRONT_FACE, 1, 179, 0x10, {I(2)}),
    V(N_ATTR_CULL, 1, 180, 0x10), V(N_ATTR_CULL_MODE, 1, 181, 0x10),
    V(N_ATTR_CLIP_BOX, 4, 182, 0x20, {0, 0, I(0x200), I(0x200)}),  // viewport, inclusive corners
    V(N_ATTR_DEPTH_RANGE, 2, 186, 0x20, {F(1), 0}),                   // depth range
    V(N_ATTR_COLOUR, 4, 188, 0x20000000, {F(1), F(1), F(1), F(1)}),  // current colour
    V(N_ATTR_INDEX, 1, 192, 0x20000000, {F(1)}),                    // current colour index
    V(N_ATTR_RESERVED_54, 4, 193, 0x0, {0, 0, F(1), 0}),
    V(N_ATTR_NORMAL, 3, 197, 0x0, {0, 0, F(1)}),                     // current normal
    V(N_ATTR_TEXCOORD, 4, 200, 0x0, {0, 0, 0, F(1)}),                  // current texture coordinates
    V(N_ATTR_EDGE_FLAG, 1, 204, 0x40),                                  // edge flag
    V(N_ATTR_FRONT_EMISSION, 4, 205, 0x80, {0, 0, 0, F(1)}),                 // front emission
    V(N_ATTR_FRONT_AMBIENT, 4, 209, 0x80, {F(0.4f), F(0.4f), F(0.4f), F(1)}),  // front ambient
    V(N_ATTR_FRONT_DIFFUSE, 4, 213, 0x80, {F(0.6f), F(0.6f), F(0.6f), F(1)}),  // front diffuse
    V(N_ATTR_FRONT_SPECULAR, 4, 217, 0x80, {F(0.2f), F(0.2f), F(0.2f), F(1)}),  // front specular
    V(N_ATTR_FRONT_SHININESS, 1, 221, 0x80, {F(10)}),                            // front shininess
    V(N_ATTR_FRONT_AMBIENT_INDEX, 1, 222, 0x80), V(N_ATTR_FRONT_DIFFUSE_INDEX, 1, 223, 0x80, {F(1)}), V(N_ATTR_FRONT_SPECULAR_INDEX, 1, 224, 0x80, {F(1)}),
    V(N_ATTR_RESERVED_66, 3, 225, 0x80, {F(1), F(1), F(1)}),
    V(N_ATTR_BACK_EMISSION, 4, 228, 0x80, {0, 0, 0, F(1)}),                    // back emission
    V(N_ATTR_BACK_AMBIENT, 4, 232, 0x80, {F(0.4f), F(0.4f), F(0.4f), F(1)}),
    V(N_ATTR_BACK_DIFFUSE, 4, 236, 0x80, {F(0.6f), F(0.6f), F(0.6f), F(1)}),
    V(N_ATTR_BACK_SPECULAR, 4, 240, 0x80, {F(0.2f), F(0.2f), F(0.2f), F(1)}),
    V(N_ATTR_BACK_SHININESS, 1, 244, 0x80, {F(10)}),
    V(N_ATTR_BACK_AMBIENT_INDEX, 1, 245, 0x80), V(N_ATTR_BACK_DIFFUSE_INDEX, 1, 246, 0x80, {F(1)}), V(N_ATTR_BACK_SPECULAR_INDEX, 1, 247, 0x80, {F(1)}),
    V(N_ATTR_MODEL_AMBIENT, 4, 248, 0x80, {F(0.4f), F(0.4f), F(0.4f), F(1)}),  // light model ambient
    V(N_ATTR_SEPARATE_FACES, 1, 252, 0x80),
    V(N_ATTR_COLOUR_MATERIAL, 1, 253, 0x100), V(N_ATTR_COLOUR_MATERIAL_CODE, 1, 254, 0x100, {I(0x66)}),
    V(N_ATTR_LIGHTING, 1, 255, 0x4, {I(1)}), V(N_ATTR_VIEWER, 1, 256, 0x4, {I(2)}),  // viewer
    V(N_ATTR_SHADE, 1, 257, 0x4, {I(1)}), V(N_ATTR_SHADE_COPY, 1, 258, 0x4, {I(1)}),  // shade model
    V(N_ATTR_COLOUR_INDEX_MODE, 1, 259, 0x400),                                    // colour-index mode
    V(N_ATTR_RESERVED_84, 6, 260, 0x400, {F(0.33f), F(0.33f), F(0.33f), I(16), 0, I(0x100)}),
    V(N_ATTR_POINT_SIZE, 1, 266, 0x800, {F(1)}),                            // point size
    V(N_ATTR_LINE_WIDTH, 1, 267, 0x2000, {F(1)}),                           // line width
    V(N_ATTR_LINE_STIPPLE, 1, 268, 0x2000, {I(0xffff)}),                      // line stipple pattern
    V(N_ATTR_LINE_STIPPLE_REPEAT, 1, 269, 0x2000, {I(1)}),                           // line stipple repeat
    V(N_ATTR_SHADE_COPY2, 1, 270, 0x2000, {I(1)}),                           // shade model (copy)
    {N_ATTR_POLYGON_STIPPLE, 32, 271, 0x4000, Fill::All, {0xffffffffu}},         // polygon stipple
    V(N_ATTR_POLYGON_FRONT, 1, 303, 0x4000, {I(2)}), V(N_ATTR_POLYGON_BACK, 1, 304, 0x4000, {I(2)}),  // polygon modes
    V(N_ATTR_RESERVED_93, 4, 305, 0x8000, {0, 0, 0, F(1)}),
    V(N_ATTR_POINT_SMOOTH, 1, 309, 0x8000), V(N_ATTR_LINE_SMOOTH, 1, 310, 0x8000), V(N_ATTR_POLYGON_SMOOTH, 1, 311, 0x8000),
    V(N_ATTR_RASTER_POS, 4, 312, 0x10000, {0, 0, 0, F(1)}),                 // raster position
    V(N_ATTR_RASTER_DISTANCE, 1, 316, 0x10000),
    V(N_ATTR_RASTER_COLOUR, 4, 317, 0x10000, {F(1), F(1), F(1), F(1)}),
    V(N_ATTR_RASTER_INDEX, 1, 321, 0x10000, {F(1)}),
    V(N_ATTR_RASTER_TEXCOORD, 4, 322, 0x10000, {0, 0, 0, F(1)}),
    V(N_ATTR_RASTER_POS_VALID, 1, 326, 0x10000, {I(1)}),                         // raster position valid
    V(N_ATTR_RESERVED_103, 1, 327, 0x10000, {I(1)}),
    V(N_ATTR_PIXEL_FORMAT, 11, 328, 0x20000, {I(1), I(0xff), I(0xff), I(0xff)}),
    V(N_ATTR_FOG, 1, 339, 0x40000), V(N_ATTR_FOG_MODE, 1, 340, 0x40000),        // fog enable, mode
    V(N_ATTR_FOG_DENSITY, 1, 341, 0x40000, {F(1)}),                         // fog density
    V(N_ATTR_FOG_START, 1, 342, 0x40000),                                 // fog start
    V(N_ATTR_FOG_END, 1, 343, 0x40000, {F(1)}),                         // fog end
    V(N_ATTR_FOG_COLOUR, 4, 344, 0x40000), V(N_ATTR_FOG_INDEX, 1, 348, 0x40000), V(N_ATTR_RESERVED_112, 1, 349, 0x40000),
    V(N_ATTR_STENCIL_TEST, 1, 350, 0x80000),
    V(N_ATTR_STENCIL_FUNC, 3, 351, 0x80000), V(N_ATTR_STENCIL_OP, 3, 354, 0x80000),        // stencil function, operations
    V(N_ATTR_ALPHA_TEST, 1, 357, 0x80000), V(N_ATTR_ALPHA_FUNC, 2, 358, 0x80000),        // alpha function
    V(N_ATTR_DEPTH_TEST, 1, 360, 0x80000, {I(1)}), V(N_ATTR_DEPTH_FUNC, 1, 361, 0x80000), V(N_ATTR_BLEND, 1, 362, 0x80000),
    V(N_ATTR_BLEND_FUNC, 2, 363, 0x80000, {I(1), 0}),                      // blend factors
    V(N_ATTR_DITHER, 1, 365, 0x80000),                                 // dither
    V(N_ATTR_LOGIC_OP, 1, 366, 0x80000), V(N_ATTR_LOGIC_OP_CODE, 1, 367, 0x80000, {I(3)}),
    V(N_ATTR_RESERVED_125, 1, 368, 0x80000), V(N_ATTR_RESERVED_126, 1, 369, 0x80000),
    V(N_ATTR_COLOUR_MASK, 1, 370, 0x100000, {I(0xffffff)}), V(N_ATTR_ALPHA_MASK, 1, 371, 0x100000, {I(0xffffff)}),
    V(N_ATTR_DEPTH_MASK, 1, 372, 0x100000, {I(0xffffff)}), V(N_ATTR_STENCIL_MASK, 1, 373, 0x100000, {I(0xffffff)}),
    V(N_ATTR_MAP_COLOUR, 1, 374, 0x200000), V(N_ATTR_MAP_STENCIL, 1, 375, 0x200000),      // map colour, map stencil
    V(N_ATTR_INDEX_SHIFT, 1, 376, 0x200000), V(N_ATTR_INDEX_OFFSET, 1, 377, 0x200000),      // index shift, offset
    V(N_ATTR_RED_SCALE, 1, 378, 0x200000, {F(1)}), V(N_ATTR_GREEN_SCALE, 1, 379, 0x200000, {F(1)}),  // scales
    V(N_ATTR_BLUE_SCALE, 1, 380, 0x200000, {F(1)}), V(N_ATTR_ALPHA_SCALE, 1, 381, 0x200000, {F(1)}),
    V(N_ATTR_DEPTH_SCALE, 1, 382, 0x200000, {F(1)}),
    V(N_ATTR_RED_BIAS, 1, 383, 0x200000), V(N_ATTR_GREEN_BIAS, 1, 384, 0x200000), V(N_ATTR_BLUE_BIAS, 1, 385, 0x200000),  // biases
    V(N_ATTR_ALPHA_BIAS, 1, 386, 0x200000), V(N_ATTR_DEPTH_BIAS, 1, 387, 0x200000),
    V(N_ATTR_ZOOM_X, 1, 388, 0x200000, {F(1)}), V(N_ATTR_ZOOM_Y, 1, 389, 0x200000, {F(1)}),  // pixel zoom
    V(N_ATTR_TEXTURE, 1, 390, 0x400000),
    V(N_ATTR_WRAP_S, 1, 391, 0x8), V(N_ATTR_WRAP_S1, 1, 392, 0x8), V(N_ATTR_WRAP_T1, 1, 393, 0x8),
    V(N_ATTR_MIN_FILTER, 1, 394, 0x400000, {I(3)}), V(N_ATTR_MAG_FILTER, 1, 395, 0x8, {I(1)}),
    V(N_ATTR_MIN_FILTER1, 1, 396, 0x400000, {I(3)}), V(N_ATTR_MAG_FILTER1, 1, 397, 0x8, {I(1)}),
    V(N_ATTR_BORDER_COLOUR, 4, 398, 0x8), V(N_ATTR_BORDER_COLOUR1, 4, 402, 0x8),
    V(N_ATTR_ENV_MODE, 1, 406, 0x400000), V(N_ATTR_ENV_MODE1, 1, 407, 0x400000),
    V(N_ATTR_ENV_COLOUR, 4, 408, 0x8), V(N_ATTR_ENV_COLOUR1, 4, 412, 0x8),
    V(N_ATTR_INDEX_MASK, 1, 416, 0x100000),
    V(N_ATTR_READ_BUFFER, 1, 417, 0x800000, {I(0xc)}),                      // read buffer
    V(N_ATTR_DRAW_BUFFER, 1, 418, 0x800000, {I(0xff)}),                     // draw buffer
    V(N_ATTR_CLEAR_COLOUR, 4, 419, 0x800000),                                // clear colour
    V(N_ATTR_CLEAR_INDEX, 1, 423, 0x800000), V(N_ATTR_CLEAR_DEPTH, 1, 424, 0x800000),      // clear index, depth
    V(N_ATTR_CLEAR_STENCIL, 1, 425, 0x800000), V(N_ATTR_CLEAR_ACCUM, 4, 426, 0x800000),      // clear stencil, accumulation
};
static_assert(std::size(kRows) == N_ATTR_LAST - N_ATTR_FIRST + 1, "one row per attribute");

constexpr std::array<N_AttrRow, N_ATTR_COUNT> MakeTable() {
    std::array<N_AttrRow, N_ATTR_COUNT> a{};
    for (const Row& r : kRows) a[r.id] = N_AttrRow{r.cWords, r.iWord, r.flDirty};
    return a;
}

// Rows lie in id order, each right behind the one before, and fill the block.
constexpr bool bRowsTile() {
    ULONG iNext = 0;
    ULONG idNext = N_ATTR_FIRST;
    for (const Row& r : kRows) {
        if (r.id != idNext++ || r.iWord != iNext) return false;
        iNext += r.cWords;
    }
    return iNext == N_STATE_WORDS;
}
static_assert(bRowsTile(), "the attributes tile the state block in id order");

constexpr N_StateBlock MakeDefaults() {
    N_StateBlock sb{};
    for (const Row& r : kRows) {
        ULONG* p = &sb.w[r.iWord];
        switch (r.fill) {
            case Fill::Values:
                for (ULONG i = 0; i < r.cWords && i < r.defaults.size(); ++i) p[i] = r.defaults[i];
                break;
            case Fill::All:
                for (ULONG i = 0; i < r.cWords; ++i) p[i] = r.defaults[0];
                break;
            case Fill::Identity:
                // One or two 16-word matrices; a stack's depth word stays 0.
                for (ULONG m = 0; m + 16 <= r.cWords; m += 16)
                    for (ULONG i = 0; i < 4; ++i) p[m + i * 5] = F(1);
                break;
        }
    }
    return sb;
}

}  // namespace

constinit const std::array<N_AttrRow, N_ATTR_COUNT> gaNAttrTable = MakeTable();
constinit const N_StateBlock gNDefaultState = MakeDefaults();
