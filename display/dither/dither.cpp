// LoadDitherMat: writes the 8x8 dither matrix of the 3D side into the dither
// tile, one point packet per pixel, with a copy in every rasterizer's tile
// (each rasterizer keeps only the pixels of the 128x128 tiles it owns, and
// the tiles beside a tile belong to the other rasterizers).
#include "queue/queue.h"
#include "rop/rop.h"
#include "surface/surface.h"

namespace {

// Room asked for, per rasterizer.
constexpr ULONG kPrimsPerQueue = 68;

typedef BYTE DITHERTABLE[8][8];

// 16 bpp: values 0 to 3 (row 4, column 6 is 1).
const DITHERTABLE gajDither16 = {
    {0, 2, 0, 2, 2, 0, 2, 0}, {3, 1, 3, 1, 1, 3, 1, 3}, {0, 2, 0, 2, 2, 0, 2, 0},
    {3, 1, 3, 1, 1, 3, 1, 3}, {2, 0, 2, 0, 0, 2, 1, 2}, {1, 3, 1, 3, 3, 1, 3, 1},
    {2, 0, 2, 0, 0, 2, 0, 2}, {1, 3, 1, 3, 3, 1, 3, 1},
};

// 8 and 32 bpp: values 0 to 31.
const DITHERTABLE gajDither = {
    {0, 16, 4, 20, 1, 17, 5, 21}, {24, 8, 28, 12, 25, 9, 29, 13},
    {6, 22, 2, 18, 7, 23, 3, 19}, {30, 14, 26, 10, 31, 15, 27, 11},
    {1, 17, 5, 21, 0, 16, 4, 20}, {25, 9, 29, 13, 24, 8, 28, 12},
    {7, 23, 3, 19, 6, 22, 2, 18}, {31, 15, 27, 11, 30, 14, 26, 10},
};

// Where the copies of a pixel go, by the number of rasterizers: the pixel
// itself, the tile to its right, and the two tiles below.
struct COPY {
    LONG dx, dy;
    ULONG cMinQueues;
};
const COPY gaCopies[] = {{0, 0, 1}, {128, 0, 2}, {0, 128, 3}, {128, 128, 3}};

}  // namespace

extern "C" void LoadDitherMat(PDEV* ppdev) {
    if (ppdev == nullptr || ppdev->pqm == nullptr || ppdev->pdsurfDither == nullptr ||
        ppdev->pdsurfDither->pdfb == nullptr)
        return;
    KZ2QUEUEMGT qm = ppdev->pqm;
    const ULONG cQueues = cQueuesOf(qm);
    const DITHERTABLE& table = ppdev->iBitmapFormat == BMF_16BPP ? gajDither16 : gajDither;
    const DFB* pdfb = ppdev->pdsurfDither->pdfb;

    ULONG* p = kz2NewPacketQueue(qm, ppdev, kPrimsPerQueue * cQueues);
    for (ULONG i = 0; i < cQueues; ++i) qm[i].pPacket[0] = CMD2D_POINT_LOAD;
    *p++ = ppdev->pidDither;
    *p++ = INSTR_POINT_LOAD;
    for (LONG r = 0; r < 8; ++r) {
        for (LONG c = 0; c < 8; ++c) {
            const ULONG v = table[r][c];
            const ULONG ulData = v | v << 8 | v << 16;
            for (const COPY& copy : gaCopies) {
                if (cQueues < copy.cMinQueues) continue;
                const ULONG xy = ulPackVertex(pdfb->x + c + copy.dx, pdfb->y + r + copy.dy);
                *p++ = ulData;
                *p++ = xy;
                p = pRoutePrimitive(qm, p, xy, xy, TRUE);
            }
        }
    }
    kz2UpdatePacketPtr(qm, ppdev, p, 0);
}
