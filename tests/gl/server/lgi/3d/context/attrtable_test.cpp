// The attribute table: every attribute's words, place in the state block,
// dirty bits and value in a new context.
#include <vector>

#include "gl/server/lgi/lgi_fixture.h"

namespace lgi_test {
namespace {

enum class Default { Words, Identity, AllOnes };

struct Expected {
    ULONG id;
    ULONG cWords;
    ULONG iWord;
    ULONG flDirty;
    Default kind;
    std::vector<ULONG> first;  // the first words; the rest are 0
};

ULONG I(ULONG ul) { return ul; }

const Expected kAttributes[] = {
    {30, 33, 0, 0x1, Default::Identity, {}},
    {31, 33, 33, 0x1, Default::Identity, {}},
    {32, 33, 66, 0x1, Default::Identity, {}},
    {33, 33, 99, 0x1, Default::Identity, {}},
    {34, 16, 132, 0x1, Default::Identity, {}},
    {35, 1, 148, 0x2, Default::Words, {I(0)}},
    {36, 4, 149, 0x200, Default::Words, {I(0), I(0), I(0), I(0)}},
    {37, 1, 153, 0x8, Default::Words, {I(0)}},
    {38, 1, 154, 0x8, Default::Words, {I(0)}},
    {39, 1, 155, 0x8, Default::Words, {I(0)}},
    {40, 1, 156, 0x8, Default::Words, {I(0)}},
    {41, 5, 157, 0x8, Default::Words, {I(1), F(1.0f), F(0.0f), F(0.0f), F(0.0f)}},
    {42, 5, 162, 0x8, Default::Words, {I(1), F(0.0f), F(1.0f), F(0.0f), F(0.0f)}},
    {43, 5, 167, 0x8, Default::Words, {I(1), F(0.0f), F(0.0f), F(0.0f), F(0.0f)}},
    {44, 5, 172, 0x8, Default::Words, {I(1), F(0.0f), F(0.0f), F(0.0f), F(0.0f)}},
    {45, 1, 177, 0x1000, Default::Words, {I(1)}},
    {46, 1, 178, 0x10, Default::Words, {I(0)}},
    {47, 1, 179, 0x10, Default::Words, {I(2)}},
    {48, 1, 180, 0x10, Default::Words, {I(0)}},
    {49, 1, 181, 0x10, Default::Words, {I(0)}},
    {50, 4, 182, 0x20, Default::Words, {I(0), I(0), I(0x200), I(0x200)}},
    {51, 2, 186, 0x20, Default::Words, {F(1.0f), F(0.0f)}},
    {52, 4, 188, 0x20000000, Default::Words, {F(1.0f), F(1.0f), F(1.0f), F(1.0f)}},
    {53, 1, 192, 0x20000000, Default::Words, {F(1.0f)}},
    {54, 4, 193, 0x0, Default::Words, {F(0.0f), F(0.0f), F(1.0f), F(0.0f)}},
    {55, 3, 197, 0x0, Default::Words, {F(0.0f), F(0.0f), F(1.0f)}},
    {56, 4, 200, 0x0, Default::Words, {F(0.0f), F(0.0f), F(0.0f), F(1.0f)}},
    {57, 1, 204, 0x40, Default::Words, {I(0)}},
    {58, 4, 205, 0x80, Default::Words, {F(0.0f), F(0.0f), F(0.0f), F(1.0f)}},
    {59, 4, 209, 0x80, Default::Words, {F(0.4f), F(0.4f), F(0.4f), F(1.0f)}},
    {60, 4, 213, 0x80, Default::Words, {F(0.6f), F(0.6f), F(0.6f), F(1.0f)}},
    {61, 4, 217, 0x80, Default::Words, {F(0.2f), F(0.2f), F(0.2f), F(1.0f)}},
    {62, 1, 221, 0x80, Default::Words, {F(10.0f)}},
    {63, 1, 222, 0x80, Default::Words, {I(0)}},
    {64, 1, 223, 0x80, Default::Words, {F(1.0f)}},
    {65, 1, 224, 0x80, Default::Words, {F(1.0f)}},
    {66, 3, 225, 0x80, Default::Words, {F(1.0f), F(1.0f), F(1.0f)}},
    {67, 4, 228, 0x80, Default::Words, {F(0.0f), F(0.0f), F(0.0f), F(1.0f)}},
    {68, 4, 232, 0x80, Default::Words, {F(0.4f), F(0.4f), F(0.4f), F(1.0f)}},
    {69, 4, 236, 0x80, Default::Words, {F(0.6f), F(0.6f), F(0.6f), F(1.0f)}},
    {70, 4, 240, 0x80, Default::Words, {F(0.2f), F(0.2f), F(0.2f), F(1.0f)}},
    {71, 1, 244, 0x80, Default::Words, {F(10.0f)}},
    {72, 1, 245, 0x80, Default::Words, {I(0)}},
    {73, 1, 246, 0x80, Default::Words, {F(1.0f)}},
    {74, 1, 247, 0x80, Default::Words, {F(1.0f)}},
    {75, 4, 248, 0x80, Default::Words, {F(0.4f), F(0.4f), F(0.4f), F(1.0f)}},
    {76, 1, 252, 0x80, Default::Words, {I(0)}},
    {77, 1, 253, 0x100, Default::Words, {I(0)}},
    {78, 1, 254, 0x100, Default::Words, {I(0x66)}},
    {79, 1, 255, 0x4, Default::Words, {I(1)}},
    {80, 1, 256, 0x4, Default::Words, {I(2)}},
    {81, 1, 257, 0x4, Default::Words, {I(1)}},
    {82, 1, 258, 0x4, Default::Words, {I(1)}},
    {83, 1, 259, 0x400, Default::Words, {I(0)}},
    {84, 6, 260, 0x400, Default::Words, {F(0.33f), F(0.33f), F(0.33f), I(16), I(0), I(0x100)}},
    {85, 1, 266, 0x800, Default::Words, {F(1.0f)}},
    {86, 1, 267, 0x2000, Default::Words, {F(1.0f)}},
    {87, 1, 268, 0x2000, Default::Words, {I(0xffff)}},
    {88, 1, 269, 0x2000, Default::Words, {I(1)}},
    {89, 1, 270, 0x2000, Default::Words, {I(1)}},
    {90, 32, 271, 0x4000, Default::AllOnes, {}},
    {91, 1, 303, 0x4000, Default::Words, {I(2)}},
    {92, 1, 304, 0x4000, Default::Words, {I(2)}},
    {93, 4, 305, 0x8000, Default::Words, {F(0.0f), F(0.0f), F(0.0f), F(1.0f)}},
    {94, 1, 309, 0x8000, Default::Words, {I(0)}},
    {95, 1, 310, 0x8000, Default::Words, {I(0)}},
    {96, 1, 311, 0x8000, Default::Words, {I(0)}},
    {97, 4, 312, 0x10000, Default::Words, {F(0.0f), F(0.0f), F(0.0f), F(1.0f)}},
    {98, 1, 316, 0x10000, Default::Words, {I(0)}},
    {99, 4, 317, 0x10000, Default::Words, {F(1.0f), F(1.0f), F(1.0f), F(1.0f)}},
    {100, 1, 321, 0x10000, Default::Words, {F(1.0f)}},
    {101, 4, 322, 0x10000, Default::Words, {F(0.0f), F(0.0f), F(0.0f), F(1.0f)}},
    {102, 1, 326, 0x10000, Default::Words, {I(1)}},
    {103, 1, 327, 0x10000, Default::Words, {I(1)}},
    {104, 11, 328, 0x20000, Default::Words, {I(1), I(0xff), I(0xff), I(0xff)}},
    {105, 1, 339, 0x40000, Default::Words, {I(0)}},
    {106, 1, 340, 0x40000, Default::Words, {I(0)}},
    {107, 1, 341, 0x40000, Default::Words, {F(1.0f)}},
    {108, 1, 342, 0x40000, Default::Words, {I(0)}},
    {109, 1, 343, 0x40000, Default::Words, {F(1.0f)}},
    {110, 4, 344, 0x40000, Default::Words, {I(0), I(0), I(0), I(0)}},
    {111, 1, 348, 0x40000, Default::Words, {I(0)}},
    {112, 1, 349, 0x40000, Default::Words, {I(0)}},
    {113, 1, 350, 0x80000, Default::Words, {I(0)}},
    {114, 3, 351, 0x80000, Default::Words, {I(0), I(0), I(0)}},
    {115, 3, 354, 0x80000, Default::Words, {I(0), I(0), I(0)}},
    {116, 1, 357, 0x80000, Default::Words, {I(0)}},
    {117, 2, 358, 0x80000, Default::Words, {I(0), I(0)}},
    {118, 1, 360, 0x80000, Default::Words, {I(1)}},
    {119, 1, 361, 0x80000, Default::Words, {I(0)}},
    {120, 1, 362, 0x80000, Default::Words, {I(0)}},
    {121, 2, 363, 0x80000, Default::Words, {I(1), I(0)}},
    {122, 1, 365, 0x80000, Default::Words, {I(0)}},
    {123, 1, 366, 0x80000, Default::Words, {I(0)}},
    {124, 1, 367, 0x80000, Default::Words, {I(3)}},
    {125, 1, 368, 0x80000, Default::Words, {I(0)}},
    {126, 1, 369, 0x80000, Default::Words, {I(0)}},
    {127, 1, 370, 0x100000, Default::Words, {I(0xffffff)}},
    {128, 1, 371, 0x100000, Default::Words, {I(0xffffff)}},
    {129, 1, 372, 0x100000, Default::Words, {I(0xffffff)}},
    {130, 1, 373, 0x100000, Default::Words, {I(0xffffff)}},
    {131, 1, 374, 0x200000, Default::Words, {I(0)}},
    {132, 1, 375, 0x200000, Default::Words, {I(0)}},
    {133, 1, 376, 0x200000, Default::Words, {I(0)}},
    {134, 1, 377, 0x200000, Default::Words, {I(0)}},
    {135, 1, 378, 0x200000, Default::Words, {F(1.0f)}},
    {136, 1, 379, 0x200000, Default::Words, {F(1.0f)}},
    {137, 1, 380, 0x200000, Default::Words, {F(1.0f)}},
    {138, 1, 381, 0x200000, Default::Words, {F(1.0f)}},
    {139, 1, 382, 0x200000, Default::Words, {F(1.0f)}},
    {140, 1, 383, 0x200000, Default::Words, {I(0)}},
    {141, 1, 384, 0x200000, Default::Words, {I(0)}},
    {142, 1, 385, 0x200000, Default::Words, {I(0)}},
    {143, 1, 386, 0x200000, Default::Words, {I(0)}},
    {144, 1, 387, 0x200000, Default::Words, {I(0)}},
    {145, 1, 388, 0x200000, Default::Words, {F(1.0f)}},
    {146, 1, 389, 0x200000, Default::Words, {F(1.0f)}},
    {147, 1, 390, 0x400000, Default::Words, {I(0)}},
    {148, 1, 391, 0x8, Default::Words, {I(0)}},
    {149, 1, 392, 0x8, Default::Words, {I(0)}},
    {150, 1, 393, 0x8, Default::Words, {I(0)}},
    {151, 1, 394, 0x400000, Default::Words, {I(3)}},
    {152, 1, 395, 0x8, Default::Words, {I(1)}},
    {153, 1, 396, 0x400000, Default::Words, {I(3)}},
    {154, 1, 397, 0x8, Default::Words, {I(1)}},
    {155, 4, 398, 0x8, Default::Words, {I(0), I(0), I(0), I(0)}},
    {156, 4, 402, 0x8, Default::Words, {I(0), I(0), I(0), I(0)}},
    {157, 1, 406, 0x400000, Default::Words, {I(0)}},
    {158, 1, 407, 0x400000, Default::Words, {I(0)}},
    {159, 4, 408, 0x8, Default::Words, {I(0), I(0), I(0), I(0)}},
    {160, 4, 412, 0x8, Default::Words, {I(0), I(0), I(0), I(0)}},
    {161, 1, 416, 0x100000, Default::Words, {I(0)}},
    {162, 1, 417, 0x800000, Default::Words, {I(0xc)}},
    {163, 1, 418, 0x800000, Default::Words, {I(0xff)}},
    {164, 4, 419, 0x800000, Default::Words, {I(0), I(0), I(0), I(0)}},
    {165, 1, 423, 0x800000, Default::Words, {I(0)}},
    {166, 1, 424, 0x800000, Default::Words, {I(0)}},
    {167, 1, 425, 0x800000, Default::Words, {I(0)}},
    {168, 4, 426, 0x800000, Default::Words, {I(0), I(0), I(0), I(0)}},
};

TEST_F(LgiTest, AttributeTableRowsAndDefaults) {
    ASSERT_EQ(std::size(kAttributes), 139u);
    for (ULONG id = 0; id < N_ATTR_FIRST; ++id) EXPECT_EQ(gaNAttrTable[id].cWords, 0u) << id;
    for (const Expected& e : kAttributes) {
        SCOPED_TRACE(e.id);
        const N_AttrRow& row = gaNAttrTable[e.id];
        EXPECT_EQ(row.cWords, e.cWords);
        EXPECT_EQ(row.iWord, e.iWord);
        EXPECT_EQ(row.flDirty, e.flDirty);
        EXPECT_EQ(ulAttrDescriptor(e.id), (e.cWords << 16) | (e.iWord * 4));
        // A new context holds the default image.
        const ULONG* pul = &ctx_->sb.w[e.iWord];
        for (ULONG i = 0; i < e.cWords; ++i) {
            ULONG expected = 0;
            switch (e.kind) {
                case Default::Words: expected = i < e.first.size() ? e.first[i] : 0; break;
                case Default::AllOnes: expected = 0xffffffffu; break;
                case Default::Identity:
                    expected = (i < 32 && i % 16 % 5 == 0) ? F(1.0f) : 0;
                    break;
            }
            EXPECT_EQ(pul[i], expected) << "word " << i;
        }
    }
}

}  // namespace
}  // namespace lgi_test
