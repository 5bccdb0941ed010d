// The board-memory page configurations, one row per memory class (pages of
// 64, 128 and 256 KB) and pixel class (8, 16, 32 bpp). Words 4 and up are
// written when a surface is enabled.
#include "pdev.h"

PAGECONFIG gaPageConfig[PAGECONFIG_ROWS] = {
    // bpp, page pixels, page width, page height
    {8, 65536, 256, 256, 0, {0, 0, 0, 0}, 0, 0, 0},  // class 0
    {16, 32768, 256, 128, 0, {0, 0, 0, 0}, 0, 0, 0},
    {32, 16384, 128, 128, 0, {0, 0, 0, 0}, 0, 0, 0},
    {8, 131072, 512, 256, 0, {0, 0, 0, 0}, 0, 0, 0},  // class 1
    {16, 65536, 256, 256, 0, {0, 0, 0, 0}, 0, 0, 0},
    {32, 32768, 256, 128, 0, {0, 0, 0, 0}, 0, 0, 0},
    {8, 262144, 512, 512, 0, {0, 0, 0, 0}, 0, 0, 0},  // class 2
    {16, 131072, 256, 512, 0, {0, 0, 0, 0}, 0, 0, 0},
    {32, 65536, 256, 256, 0, {0, 0, 0, 0}, 0, 0, 0},
};
