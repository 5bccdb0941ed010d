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
    {30, 33, 0, 0x1, Fill::Identity, {}},
    {31, 33, 33, 0x1, Fill::Identity, {}},
    {32, 33, 66, 0x1, Fill::Identity, {}},
    {33, 33, 99, 0x1, Fill::Identity, {}},
    {34, 16, 132, 0x1, Fill::Identity, {}},
    V(35, 1, 148, 0x2),                         // render mode
    V(36, 4, 149, 0x200),                       // feedback or selection buffer record
    V(37, 1, 153, 0x8), V(38, 1, 154, 0x8), V(39, 1, 155, 0x8), V(40, 1, 156, 0x8),
    V(41, 5, 157, 0x8, {I(1), F(1), 0, 0, 0}),  // texture-coordinate generation S
    V(42, 5, 162, 0x8, {I(1), 0, F(1), 0, 0}),  // T
    V(43, 5, 167, 0x8, {I(1), 0, 0, 0, 0}),     // R
    V(44, 5, 172, 0x8, {I(1), 0, 0, 0, 0}),     // Q
    V(45, 1, 177, 0x0, {I(1)}),
    V(46, 1, 178, 0x10),                        // two-sided lighting
    V(47, 1, 179, 0x10, {I(2)}),
    V(48, 1, 180, 0x10), V(49, 1, 181, 0x10),
    V(50, 4, 182, 0x20, {0, 0, I(0x200), I(0x200)}),  // viewport, inclusive corners
    V(51, 2, 186, 0x20, {F(1), 0}),                   // depth range
    V(52, 4, 188, 0x20000000, {F(1), F(1), F(1), F(1)}),  // current colour
    V(53, 1, 192, 0x20000000, {F(1)}),                    // current colour index
    V(54, 4, 193, 0x0, {0, 0, F(1), 0}),
    V(55, 3, 197, 0x0, {0, 0, F(1)}),                     // current normal
    V(56, 4, 200, 0x0, {0, 0, 0, F(1)}),                  // current texture coordinates
    V(57, 1, 204, 0x40),                                  // edge flag
    V(58, 4, 205, 0x80, {0, 0, 0, F(1)}),                 // front emission
    V(59, 4, 209, 0x80, {F(0.4f), F(0.4f), F(0.4f), F(1)}),  // front ambient
    V(60, 4, 213, 0x80, {F(0.6f), F(0.6f), F(0.6f), F(1)}),  // front diffuse
    V(61, 4, 217, 0x80, {F(0.2f), F(0.2f), F(0.2f), F(1)}),  // front specular
    V(62, 1, 221, 0x80, {F(10)}),                            // front shininess
    V(63, 1, 222, 0x80), V(64, 1, 223, 0x80, {F(1)}), V(65, 1, 224, 0x80, {F(1)}),
    V(66, 3, 225, 0x80, {F(1), F(1), F(1)}),
    V(67, 4, 228, 0x80, {0, 0, 0, F(1)}),                    // back emission
    V(68, 4, 232, 0x80, {F(0.4f), F(0.4f), F(0.4f), F(1)}),
    V(69, 4, 236, 0x80, {F(0.6f), F(0.6f), F(0.6f), F(1)}),
    V(70, 4, 240, 0x80, {F(0.2f), F(0.2f), F(0.2f), F(1)}),
    V(71, 1, 244, 0x80, {F(10)}),
    V(72, 1, 245, 0x80), V(73, 1, 246, 0x80, {F(1)}), V(74, 1, 247, 0x80, {F(1)}),
    V(75, 4, 248, 0x80, {F(0.4f), F(0.4f), F(0.4f), F(1)}),  // light model ambient
    V(76, 1, 252, 0x80),
    V(77, 1, 253, 0x100), V(78, 1, 254, 0x100, {I(0x66)}),
    V(79, 1, 255, 0x4, {I(1)}), V(80, 1, 256, 0x4, {I(2)}),  // viewer
    V(81, 1, 257, 0x4, {I(1)}), V(82, 1, 258, 0x4, {I(1)}),  // shade model
    V(83, 1, 259, 0x400),                                    // colour-index mode
    V(84, 6, 260, 0x400, {F(0.33f), F(0.33f), F(0.33f), I(16), 0, I(0x100)}),
    V(85, 1, 266, 0x800, {F(1)}),                            // point size
    V(86, 1, 267, 0x2000, {F(1)}),                           // line width
    V(87, 1, 268, 0x2000, {I(0xffff)}),                      // line stipple pattern
    V(88, 1, 269, 0x2000, {I(1)}),                           // line stipple repeat
    V(89, 1, 270, 0x2000, {I(1)}),                           // shade model (copy)
    {90, 32, 271, 0x4000, Fill::All, {0xffffffffu}},         // polygon stipple
    V(91, 1, 303, 0x4000, {I(2)}), V(92, 1, 304, 0x4000, {I(2)}),  // polygon modes
    V(93, 4, 305, 0x8000, {0, 0, 0, F(1)}),
    V(94, 1, 309, 0x8000), V(95, 1, 310, 0x8000), V(96, 1, 311, 0x8000),
    V(97, 4, 312, 0x10000, {0, 0, 0, F(1)}),                 // raster position
    V(98, 1, 316, 0x10000),
    V(99, 4, 317, 0x10000, {F(1), F(1), F(1), F(1)}),
    V(100, 1, 321, 0x10000, {F(1)}),
    V(101, 4, 322, 0x10000, {0, 0, 0, F(1)}),
    V(102, 1, 326, 0x10000, {I(1)}),                         // raster position valid
    V(103, 1, 327, 0x10000, {I(1)}),
    V(104, 11, 328, 0x20000, {I(1), I(0xff), I(0xff), I(0xff)}),
    V(105, 1, 339, 0x40000), V(106, 1, 340, 0x40000),        // fog enable, mode
    V(107, 1, 341, 0x40000, {F(1)}),                         // fog density
    V(108, 1, 342, 0x40000),                                 // fog start
    V(109, 1, 343, 0x40000, {F(1)}),                         // fog end
    V(110, 4, 344, 0x40000), V(111, 1, 348, 0x40000), V(112, 1, 349, 0x40000),
    V(113, 1, 350, 0x80000),
    V(114, 3, 351, 0x80000), V(115, 3, 354, 0x80000),        // stencil function, operations
    V(116, 1, 357, 0x80000), V(117, 2, 358, 0x80000),        // alpha function
    V(118, 1, 360, 0x80000, {I(1)}), V(119, 1, 361, 0x80000), V(120, 1, 362, 0x80000),
    V(121, 2, 363, 0x80000, {I(1), 0}),                      // blend factors
    V(122, 1, 365, 0x80000),                                 // dither
    V(123, 1, 366, 0x80000), V(124, 1, 367, 0x80000, {I(3)}),
    V(125, 1, 368, 0x80000), V(126, 1, 369, 0x80000),
    V(127, 1, 370, 0x100000, {I(0xffffff)}), V(128, 1, 371, 0x100000, {I(0xffffff)}),
    V(129, 1, 372, 0x100000, {I(0xffffff)}), V(130, 1, 373, 0x100000, {I(0xffffff)}),
    V(131, 1, 374, 0x200000), V(132, 1, 375, 0x200000),      // map colour, map stencil
    V(133, 1, 376, 0x200000), V(134, 1, 377, 0x200000),      // index shift, offset
    V(135, 1, 378, 0x200000, {F(1)}), V(136, 1, 379, 0x200000, {F(1)}),  // scales
    V(137, 1, 380, 0x200000, {F(1)}), V(138, 1, 381, 0x200000, {F(1)}),
    V(139, 1, 382, 0x200000, {F(1)}),
    V(140, 1, 383, 0x200000), V(141, 1, 384, 0x200000), V(142, 1, 385, 0x200000),  // biases
    V(143, 1, 386, 0x200000), V(144, 1, 387, 0x200000),
    V(145, 1, 388, 0x200000, {F(1)}), V(146, 1, 389, 0x200000, {F(1)}),  // pixel zoom
    V(147, 1, 390, 0x400000),
    V(148, 1, 391, 0x8), V(149, 1, 392, 0x8), V(150, 1, 393, 0x8),
    V(151, 1, 394, 0x400000, {I(3)}), V(152, 1, 395, 0x8, {I(1)}),
    V(153, 1, 396, 0x400000, {I(3)}), V(154, 1, 397, 0x8, {I(1)}),
    V(155, 4, 398, 0x8), V(156, 4, 402, 0x8),
    V(157, 1, 406, 0x400000), V(158, 1, 407, 0x400000),
    V(159, 4, 408, 0x8), V(160, 4, 412, 0x8),
    V(161, 1, 416, 0x100000),
    V(162, 1, 417, 0x800000, {I(0xc)}),                      // read buffer
    V(163, 1, 418, 0x800000, {I(0xff)}),                     // draw buffer
    V(164, 4, 419, 0x800000),                                // clear colour
    V(165, 1, 423, 0x800000), V(166, 1, 424, 0x800000),      // clear index, depth
    V(167, 1, 425, 0x800000), V(168, 4, 426, 0x800000),      // clear stencil, accumulation
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
