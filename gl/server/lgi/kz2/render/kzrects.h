// The board paths of bitmaps and pixel rectangles: every set bit of a
// bitmap, or every pixel of a pixel-rectangle row, goes to the board as one
// point primitive, routed to the rasterizer that owns its 128 x 128 tile.
#pragma once

#include "3d/context/context.h"

// Draws a bitmap at the raster position through the board under a fixed
// program written into each packet, once per clip rectangle. The caller
// has already chosen this path (no pixel maps, zoom 1, none of the
// features the fixed program cannot honour) and moves the raster position
// afterwards. Answers false, with the message
// "N_DrawBitmap: can't handle %d multiDraws!\n", when the draw-buffer code
// names more buffers than the program writes; then the position stays.
bool _NDrawBitmapKZ(N_Context* pctx, ULONG width, ULONG height, float xorig, float yorig, const BYTE* pjBits);

// The last stage of the draw and copy pixel paths: the span row the zoom
// stage hands on as points under the main slot's program.
void _NvpRenderPixelRectKZG(N_Context* pctx, N_Pipe* pipe);
// The last stage of the general bitmap path: the pixels of the row whose
// mask byte is set, as points under the main slot's program.
void _NvpRenderBitmapRectKZG(N_Context* pctx, N_Pipe* pipe);
