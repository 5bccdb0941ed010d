// Host transfers: pixels between host bitmaps and board memory.
//
// Rows travel as DMA transfer records in the packet queues: a transfer
// packet {7, count} holds one record per row, {(y << 16) | x, pid, bus
// address, row descriptor}, and the board's DMA engine moves each row
// between DMA memory and the pixmap. Host rows that lie in DMA memory (the
// staging buffers of the on-board copies) are named directly; any other host
// memory goes through the bounce buffer, two halves that the CPU fills or
// empties chunk by chunk while the board works.
//
// Rectangles are cut the same way by every path: bands of at most 512 rows,
// each band into pieces that end on 128-pixel boundaries of the board x, one
// record per row of a piece, sent to the queue of the rasterizer that owns
// the piece's tile (every queue for a pid with bit 5: a surface each
// rasterizer keeps a copy of).
//
// Where the driver's words leave a choice, this driver makes these, here:
// - Row descriptor: bits 0-6 the first byte of the row within its 128-byte
//   span ((x & ((128 >> shift) - 1)) << shift), bits 7-16 the LAST byte
//   within that span (first + bytes - 1), so that bytes moved = bits 7-16 -
//   bits 0-6 + 1; bits 17-23 the transfer kind (+64 for uploads).
// - A record names the span: its x is the board x of the span start (x less
//   the first byte's pixels) and its bus address that of the span start in
//   DMA memory (the first moved byte's address less the first byte), so byte
//   k of the span is board pixel x + (k >> shift).
// - The bounce buffer lies in the 16 KB at the start of the DMA buffer that
//   the queue rings leave free; the staging of the on-board copies has the
//   miniport's two staging buffers (PDEV.pStaging is staging buffer 0), so
//   neither overlaps a ring nor the other.
// - Only host rows inside a staging buffer are named directly; a direct
//   transfer asked for with any other host memory goes through the bounce
//   buffer instead.
// - Every transfer is clipped to the device surface and to the host bitmap
//   (and the zoomed write to the source image), so a rectangle that reaches
//   past either moves only what both hold.
//
// All of it runs under the device's csEscape (CopyBits and the GL server
// hold it); the queue calls keep the flush thread out.
#pragma once

#include <cstddef>

#include "pdev.h"
#include "platform/ddi.h"
#include "rop/rop.h"

// --- row descriptor -------------------------------------------------------------
#define XFER_SPAN_BYTES 128u              // rows are described within 128-byte spans
#define XFER_DESC_FIRST_MASK 0x0000007Fu  // bits 0-6: first byte within the span
#define XFER_DESC_LAST_SHIFT 7            // bits 7-16: last byte within the span
#define XFER_DESC_LAST_MASK 0x0001FF80u
#define XFER_DESC_KIND_SHIFT 17  // bits 17-23: transfer kind
#define XFER_DESC_KIND_MASK 0x00FE0000u
#define XFER_KIND_8_16 15u       // 8 and 16 bits a pixel
#define XFER_KIND_32 7u          // 32 bits a pixel
#define XFER_KIND_32_OVERLAY 8u  // 32 bits a pixel, pid format 0xC000 and above
#define XFER_KIND_UPLOAD 64u     // added for host -> board
#define XFER_DESC_UPLOAD (XFER_KIND_UPLOAD << XFER_DESC_KIND_SHIFT)

// Bytes of one row that a descriptor moves.
inline ULONG cjDescriptorRow(ULONG ulDescriptor) {
    return ((ulDescriptor & XFER_DESC_LAST_MASK) >> XFER_DESC_LAST_SHIFT) -
           (ulDescriptor & XFER_DESC_FIRST_MASK) + 1;
}
// The first byte of a descriptor's row within its span.
inline ULONG ulDescriptorFirst(ULONG ulDescriptor) { return ulDescriptor & XFER_DESC_FIRST_MASK; }

// The transfer kind of a pid at a depth (iShift 0, 1, 2), upload or not.
ULONG ulTransferKind(ULONG iShift, ULONG pid, BOOL bUpload);
// The descriptor of a piece of cx pixels at board x (it must not pass the
// next 128-pixel boundary).
ULONG ulRowDescriptor(LONG x, LONG cx, ULONG iShift, ULONG ulKind);
// The board x of the span a piece at board x starts in.
inline LONG xSpanStart(LONG x, ULONG iShift) {
    return x & ~static_cast<LONG>((XFER_SPAN_BYTES >> iShift) - 1);
}

// --- cutting ----------------------------------------------------------------------
#define XFER_BAND_ROWS 512        // rows of one band
#define XFER_PIECE_PIXELS 128     // pieces end on multiples of this board x
#define XFER_MAX_PACKET_ROWS 511  // records in one transfer packet

// --- bounce buffer ------------------------------------------------------------------
#define XFER_BOUNCE_HALF_BYTES 0x2000u  // each of the two halves
#define XFER_BOUNCE_HALVES 2u

// CPU address of bounce half i (0, 1) and its bus address.
BYTE* pjBounceHalf(const PDEV* ppdev, ULONG iHalf);
ULONG ulBounceHalfBus(const PDEV* ppdev, ULONG iHalf);

// CPU address of staging buffer i (0, 1) of the on-board copies, and its
// size.
BYTE* pjStagingBuffer(const PDEV* ppdev, ULONG iBuffer);
#define XFER_STAGING_BYTES VNX_STAGING_BUFFER_BYTES
// Whether [pj, pj + cj) lies inside one staging buffer; *pulBus then gets the
// bus address of pj.
BOOL bStagingBus(const PDEV* ppdev, const BYTE* pj, std::size_t cj, ULONG* pulBus);

// Whether rows to or from pid lose the overlay bit (bit 15 of 16-bit pixels):
// the device counts overlay GL contexts, the screen is 16 bits a pixel and
// the pid's format bits (bits 8-15 & 0xE0) are 0x80.
BOOL bStripOverlay(const PDEV* ppdev, ULONG pid);
// Clears bit 15 of cPixels 16-bit pixels at pj.
void vStripOverlayBits(BYTE* pj, ULONG cPixels);

// --- row workers (xfer_rows.cpp) --------------------------------------------------

// Command word of a transfer packet (a queue close record is one too).
#define XFER_CMD_TRANSFER KZ2_CMD_CLOSE
// Words of one transfer record.
#define XFER_RECORD_WORDS 4

// Calls pfn for each piece of the board rectangle [left, right) x [top,
// bottom): bands of 512 rows top down, each cut left to right into pieces
// that end on multiples of 128 board x.
typedef void (*PFN_XFERPIECE)(void* pvContext, LONG x, LONG y, LONG cx, LONG cy);
void vForEachPiece(LONG left, LONG top, LONG right, LONG bottom, PFN_XFERPIECE pfn,
                   void* pvContext);

// Moves cRows rows of one piece: the span at board (x, y) onward (x the
// span's start, xSpanStart), one row a record, the host rows from pjHost (the
// piece's first pixel) stepping by lHostDelta.
// The descriptor says the direction, the width and the kind. bViaBuffer 0
// names the host rows directly when they lie in a staging buffer (in packets
// of at most 511 rows, closed but not handed over); otherwise the rows go
// through the bounce buffer chunk by chunk, each chunk closed and waited
// for. Overlay bits are stripped in the rows copied through the bounce
// buffer (bStripOverlay). Answers 1.
INT iTransferRows(KZ2QUEUEMGT pqm, LONG x, LONG y, LONG cRows, ULONG pid, BYTE* pjHost,
                  LONG lHostDelta, ULONG ulDescriptor, BOOL bViaBuffer, ULONG iShift);

// How a bounce transfer meets the host: called for row iRow of the piece
// with its place in a bounce half (cj bytes, the descriptor's bytes): an
// upload fills it, a download takes it.
typedef void (*PFN_XFERROW)(void* pvContext, LONG iRow, BYTE* pjBounce, ULONG cj);

// The bounce transfer behind every path: cRows rows from board (x, y)
// onward, chunk by chunk through the two halves, pfnRow filling each row of
// a chunk before it is queued (uploads) or taking each row once the board
// has written it (downloads). Answers 1.
INT iTransferRowsBounce(KZ2QUEUEMGT pqm, LONG x, LONG y, LONG cRows, ULONG pid, ULONG ulDescriptor,
                        PFN_XFERROW pfnRow, void* pvContext);

// Rows in one bounce chunk: min(rows, half / bytes a row, rows / 4 + 1, 511).
LONG cChunkRows(LONG cRows, ULONG cjRow);

// --- device surfaces -----------------------------------------------------------

// What a transfer needs of a device surface.
typedef struct XFERDEV {
    PDEV* ppdev;
    KZ2QUEUEMGT pqm;
    ULONG pid;     // the surface's pid as it stands (callers may change its format)
    LONG xOrigin;  // board origin of the surface
    LONG yOrigin;
    LONG cx;  // the surface's size
    LONG cy;
    ULONG iShift;  // 0, 1, 2 for 8, 16, 32 bits a pixel
} XFERDEV;

// Fills *pxd for a device surface object; FALSE when it is none (no DSURF,
// allocation or queues) or its format is not 8, 16 or 32 bits a pixel.
BOOL bXferDevice(SURFOBJ* psoDev, XFERDEV* pxd);
// log2 of the bytes of a pixel of a bitmap format, or -1.
LONG iShiftOfFormat(ULONG iBitmapFormat);

// kz2FlushQueue(pqm, -1, 0, 0) on the queues of a device surface: hands
// everything queued to the board and waits until it is done.
void vFlushDevice(SURFOBJ* psoDev);

// Clips a transfer between *prcl of a surface of cxRcl x cyRcl pixels and
// the point *pptl of a surface of cxPtl x cyPtl to both surfaces, moving the
// point by what is cut off the rectangle's left and top. FALSE when nothing
// is left.
BOOL bClipTransfer(RECTL* prcl, POINTL* pptl, LONG cxRcl, LONG cyRcl, LONG cxPtl, LONG cyPtl);

// One pass of a plain transfer: the host rectangle *prclHost of the rows at
// pjScan0 (stride lDelta) to or from the device at board (xBoard, yBoard)
// onward, cut into bands and pieces, each piece through iTransferRows.
void vTransferPass(const XFERDEV* pxd, BYTE* pjScan0, LONG lDelta, const RECTL* prclHost,
                   LONG xBoard, LONG yBoard, BOOL bUpload, BOOL bViaBuffer);

// --- downloads (xfer_download.cpp) ------------------------------------------------

// The device rectangle at *pptlSrc (the size of *prclDst) into *prclDst of
// the host bitmap (8, 16 or 32 bits a pixel as the device surface). iMode 3
// reads the second eye (cyScreen lower); iMode 1 also keeps the second eye
// in the stereo image cache unless it is disabled, and drops it again when
// it equals the first. Leaves the queues held; the caller flushes.
void vDownloadRect(SURFOBJ* psoHostDst, SURFOBJ* psoDev, RECTL* prclDst, POINTL* pptlSrc,
                   BOOL bViaBuffer, ULONG iMode);
// One rectangle through the bounce buffer, then kz2FlushQueue. TRUE.
BOOL vDownloadFlush(SURFOBJ* psoHostDst, SURFOBJ* psoDev, RECTL* prclDst, POINTL* pptlSrc,
                    ULONG iMode);
// The CopyBits download: each rectangle of the clip (as the fill wrappers),
// through the bounce buffer, then kz2FlushQueue. TRUE.
BOOL vDownloadClipped(SURFOBJ* psoHostDst, SURFOBJ* psoDev, CLIPOBJ* pco, RECTL* prclDst,
                      POINTL* pptlSrc, ULONG iMode);

// --- uploads (xfer_upload.cpp, xfer_upload32.cpp) --------------------------------

struct STEREOENTRY;

// The host rectangle at *pptlSrc (the size of *prclDst, same depth as the
// device) onto *prclDst of the device surface. iMode 3 writes the second
// eye; iMode 1 writes both, the second eye from pSecondEye (a stereo cache
// entry) or, without one, the same bits. Leaves the queues held.
void vUploadRect(SURFOBJ* psoDev, SURFOBJ* psoHost, RECTL* prclDst, POINTL* pptlSrc,
                 BOOL bViaBuffer, ULONG iMode, STEREOENTRY* pSecondEye);
// The CopyBits upload: a host bitmap of the device's format goes to
// vUploadSameFormat, a 32-bit one to vUpload32; other formats are refused
// (FALSE). With iMode 1 the second eye comes from the stereo cache entry of
// this bitmap and rectangle, when there is one.
BOOL vUploadClipped(SURFOBJ* psoDev, SURFOBJ* psoHost, CLIPOBJ* pco, RECTL* prclDst,
                    POINTL* pptlSrc, ULONG iMode);
// Each rectangle of the clip uploaded through the bounce buffer, then
// kz2FlushQueue. On a 16-bit screen with overlay GL contexts the image goes
// through the temporary device bitmap (or the pattern surface) and is copied
// on the board, so the destination keeps its overlay bits. TRUE.
BOOL vUploadSameFormat(SURFOBJ* psoDev, SURFOBJ* psoHost, CLIPOBJ* pco, RECTL* prclDst,
                       POINTL* pptlSrc, ULONG iMode, STEREOENTRY* pSecondEye);
// The tile edge of a tile's pid (bits 7-8: 32, 64, 128, 256 pixels).
LONG cxTileEdge(ULONG pid);

// The on-board copy the overlay upload ends with: *prclDst of psoDst from
// psoSrc at *pptlSrc under rop3 (descriptor flInfo), iMode as the
// transfers. It comes with the on-board copies; until then xfer_seams.cpp
// says so and copies nothing.
void vCopyRectTiled(SURFOBJ* psoDst, SURFOBJ* psoSrc, RECTL* prclDst, POINTL* pptlSrc, ULONG rop3,
                    ULONG flInfo, ULONG iMode);

// A 32-bit host bitmap onto a device surface of any depth, converting on the
// way; each rectangle of the clip, then kz2FlushQueue. TRUE.
BOOL vUpload32(SURFOBJ* psoDev, SURFOBJ* psoHost, CLIPOBJ* pco, RECTL* prclDst, POINTL* pptlSrc,
               ULONG iMode);
// One rectangle of vUpload32 (both eyes for iMode 1). Leaves the queues held.
void vUpload32Rows(SURFOBJ* psoDev, SURFOBJ* psoHost, RECTL* prclDst, POINTL* pptlSrc, ULONG iMode);
// The row worker of vUpload32Rows: cRows rows of 32-bit pixels from pjHost,
// converted to the device's depth while they fill the bounce halves.
INT iTransferRows32(KZ2QUEUEMGT pqm, LONG x, LONG y, LONG cRows, ULONG pid, const BYTE* pjHost,
                    LONG lHostDelta, ULONG ulDescriptor, ULONG iShift);

// A 32-bit colour at a depth: to 8 bits 3-3-2, to 16 bits 5-5-5, 32 unchanged.
ULONG ulConvert32(ULONG c, ULONG iShift);

// --- zoomed write (xfer_zoom.cpp) ---------------------------------------------------

// Where the pixels of a zoomed image come from: output column c (counted
// from the destination rectangle's left) takes source column
// piSrcCol[c - iColFirst], output row r source row piSrcRow[r - iRowFirst]
// (both relative to the source point at pjScan0).
typedef struct ZOOMMAP {
    const LONG* piSrcCol;
    LONG iColFirst;
    const LONG* piSrcRow;
    LONG iRowFirst;
    const BYTE* pjScan0;  // the source point's pixel
    LONG lDelta;          // source stride
    ULONG iSrcShift;      // 0, 1, 2: bytes of a source pixel
    ULONG iDstShift;
} ZOOMMAP;

// The zoom row worker: cRows output rows from output row iRow0 on, each from
// output column iCol0 on (as wide as the descriptor), at the span at board
// (x, y) (x the span's start); the zoomed, converted rows fill the bounce
// halves and go out as uploads. Answers 1.
INT iTransferRowsZoom(KZ2QUEUEMGT pqm, LONG x, LONG y, LONG cRows, ULONG pid, ULONG ulDescriptor,
                      const ZOOMMAP* pzm, LONG iRow0, LONG iCol0);
// The zoom along one axis: source i (0 .. cSrc - 1) is output cWhole times,
// and once more whenever an accumulator that starts at 0x7FD3 and grows by
// ulFraction (16.16) per source passes 0xFFFF (it then keeps its low 16
// bits). Writes the source of outputs iFirst .. iFirst + cOut - 1 to piOut
// (-1 past the last source) and answers how many outputs the cSrc sources
// make (capped at the largest LONG).
LONG cZoomMap(LONG* piOut, LONG iFirst, LONG cOut, LONG cSrc, ULONG cWhole, ULONG ulFraction);

// --- 1-bit expansion (xfer_mono.cpp) -----------------------------------------------

#define XFER_MONO_CELL 16                // cells of 16 x 16 pixels on the board's grid
#define XFER_MONO_PACKET_CELLS 128       // cells in one packet
#define XFER_CMD_MONO CMD2D_MONO_EXPAND  // (| instructions << 20, | constants)

// Draws *prclDst of the device surface from the 1-bit host bitmap at
// *pptlSrc: where a bit is 1 the foreground ROP3 (rop4Fg & 0xFF) with
// colour pulXlate[1], where it is 0 the background ROP3 (rop4Bg & 0xFF) with
// colour pulXlate[0] (0xAA leaves those pixels alone). iMode 1 draws the
// second eye too, iMode 3 only the second eye. TRUE.
BOOL bExpandMono(SURFOBJ* pso, CLIPOBJ* pco, ROP4 rop4Fg, ROP4 rop4Bg, SURFOBJ* psoMono,
                 RECTL* prclDst, POINTL* pptlSrc, ULONG* pulXlate, ULONG iMode);
// The clip wrapper: bExpandMono for each rectangle of the clip. TRUE.
BOOL bExpandMonoClipped(SURFOBJ* pso, CLIPOBJ* pco, ROP4 rop4Fg, ROP4 rop4Bg, SURFOBJ* psoMono,
                        RECTL* prclDst, POINTL* pptlSrc, ULONG* pulXlate, ULONG iMode);

// --- clip enumeration (xfer_rows.cpp) ------------------------------------------------

// Calls pfn with each non-empty part of *prclDst the clip leaves (as the fill
// wrappers: no clip or DC_TRIVIAL the rectangle itself, DC_RECT its
// intersection with the bounds, DC_COMPLEX each enumerated rectangle in
// batches of 49), and with the source point moved by what the clip cut off.
typedef void (*PFN_XFERCLIP)(void* pvContext, RECTL* prcl, POINTL* pptlSrc);
void vForEachClipRect(CLIPOBJ* pco, const RECTL* prclDst, const POINTL* pptlSrc, PFN_XFERCLIP pfn,
                      void* pvContext);

// --- stereo image cache (stereocache.cpp) ----------------------------------------

#define STEREO_CACHE_ENTRIES 10  // at most this many second eyes are kept

// One kept second eye: a copy of the host bitmap's bits whose rectangle holds
// the second eye of the image read into that rectangle.
typedef struct STEREOENTRY {
    BYTE* pjBits;  // cjBits bytes, laid out as the bitmap's bits
    LONG left;     // the rectangle of the bitmap it holds
    LONG top;
    LONG right;
    LONG bottom;
    LONG lDelta;                // the bitmap's stride
    SURFOBJ* pso;               // the bitmap
    struct STEREOENTRY* pPrev;  // newer
    struct STEREOENTRY* pNext;  // older
} STEREOENTRY;

// A new entry with cjBits zeroed bytes, linked nowhere; null when memory
// cannot be had.
STEREOENTRY* pStereoCacheNew(ULONG cjBits);
// Takes pe out of the device's list (it is not freed).
void vStereoCacheUnlink(PDEV* ppdev, STEREOENTRY* pe);
// Unlinks and frees pe and every older entry (null: nothing).
void vStereoCacheFreeFrom(PDEV* ppdev, STEREOENTRY* pe);
// With 10 or more entries, unlinks and frees the oldest.
void vStereoCacheTrim(PDEV* ppdev);
// The newest entry of the bitmap pso with stride lDelta whose rectangle has
// the same top and bottom as *prcl and reaches at least as far left and
// right; null when there is none or the cache is disabled.
STEREOENTRY* pStereoCacheFind(PDEV* ppdev, SURFOBJ* pso, LONG lDelta, const RECTL* prcl);
// A new entry for the bitmap pso and rectangle *prcl, at the head of the
// list (after trimming); null for a bitmap with a negative stride, or bits
// that do not hold the rectangle, or when memory cannot be had.
STEREOENTRY* pStereoCacheAdd(PDEV* ppdev, SURFOBJ* pso, const RECTL* prcl);
// Whether the entry's bits differ from the bitmap's over the entry's
// rectangle, (right - left) << iShift bytes a row.
BOOL bStereoCacheDiffers(const STEREOENTRY* pe, const SURFOBJ* pso, ULONG iShift);
// The number of entries (tests and tools).
ULONG cStereoCacheEntries(const PDEV* ppdev);
