// Colour pointers on a cursor of three colours: the pointer's colours are
// counted, the three most frequent chosen, and every pixel is given the
// chosen colour its brightness (the whole 0x00RRGGBB value) lies nearest.
// Inverting pixels (AND-masked white) count as a dark grey and are drawn as
// the mid grey 0x808080 would be.
#include "pointer/pointer_internal.h"

namespace {

constexpr ULONG kcColours = 256;            // colours counted at most
constexpr ULONG kInvertCounted = 0x606060;  // what inverting pixels count as
constexpr ULONG kInvertDrawn = 0x808080;    // what they are drawn as
constexpr ULONG kNoThreshold = 0xFFFFFF;    // no colour lies above it

// The colour list: entry 0 is the inverting grey; others are added in the
// order the pixels are met.
struct ColourCount {
    ULONG aulColour[kcColours];
    ULONG acPixels[kcColours];
    ULONG c;
};

// Pixel x of a row as 0x00RRGGBB.
ULONG ulPixelColour(const PDEV* ppdev, ULONG iFormat, const BYTE* pjRow, ULONG x) {
    switch (iFormat) {
        case BMF_8BPP: {
            const PALETTEENTRY& e = ppdev->pPal[pjRow[x]];
            return static_cast<ULONG>(e.peRed) << 16 | static_cast<ULONG>(e.peGreen) << 8 |
                   e.peBlue;
        }
        case BMF_16BPP: {
            const ULONG p = static_cast<ULONG>(pjRow[2 * x]) | static_cast<ULONG>(pjRow[2 * x + 1])
                                                                   << 8;
            return ((p >> 10) & 31) << 19 | ((p >> 5) & 31) << 11 | (p & 31) << 3;
        }
        default: {
            const BYTE* pj = pjRow + 4 * x;
            return static_cast<ULONG>(pj[0]) | static_cast<ULONG>(pj[1]) << 8 |
                   static_cast<ULONG>(pj[2]) << 16;
        }
    }
}

bool bAndBit(const BYTE* pjAnd, LONG lDelta, ULONG x, ULONG y) {
    return (pjAnd[static_cast<std::ptrdiff_t>(y) * lDelta + x / 8] >> (7 - x % 8)) & 1;
}

void vCount(ColourCount* pcc, ULONG ulColour) {
    for (ULONG i = 0; i < pcc->c; ++i) {
        if (pcc->aulColour[i] == ulColour) {
            ++pcc->acPixels[i];
            return;
        }
    }
    if (pcc->c < kcColours) {
        pcc->aulColour[pcc->c] = ulColour;
        pcc->acPixels[pcc->c] = 1;
        ++pcc->c;
    }
}

}  // namespace

BOOL bReduceColourPointer(const PDEV* ppdev, SURFOBJ* psoColor, XLATEOBJ* pxlo, const BYTE* pjAnd,
                          LONG lDelta, ULONG cx, ULONG cy, CURSORCOLOURS* pcolours,
                          BYTE ajImage[CURSOR_IMAGE_BYTES]) {
    const ULONG iFormat = psoColor->iBitmapFormat;
    if (psoColor->iType != STYPE_BITMAP || psoColor->pvScan0 == nullptr ||
        (iFormat != BMF_8BPP && iFormat != BMF_16BPP && iFormat != BMF_32BPP) ||
        psoColor->sizlBitmap.cx > CURSOR_SIZE || psoColor->sizlBitmap.cy > CURSOR_SIZE ||
        (pxlo != nullptr && (pxlo->flXlate & XO_TRIVIAL) == 0))
        return FALSE;
    // The colours of every pixel of the pointer are read: a bitmap smaller
    // than the mask says is not read past its end.
    if (psoColor->sizlBitmap.cx < static_cast<LONG>(cx) ||
        psoColor->sizlBitmap.cy < static_cast<LONG>(cy))
        return FALSE;
    if (iFormat == BMF_8BPP && ppdev->pPal == nullptr) return FALSE;
    const ULONG ulWhite = iFormat == BMF_16BPP ? 0xF8F8F8 : 0xFFFFFF;
    auto pjRow = [psoColor](ULONG y) {
        return static_cast<const BYTE*>(psoColor->pvScan0) +
               static_cast<std::ptrdiff_t>(y) * psoColor->lDelta;
    };

    // Count: rows top to bottom, pixels right to left.
    ColourCount cc;
    cc.aulColour[0] = kInvertCounted;
    cc.acPixels[0] = 0;
    cc.c = 1;
    for (ULONG y = 0; y < cy; ++y) {
        for (ULONG x = cx; x-- > 0;) {
            const ULONG ulColour = ulPixelColour(ppdev, iFormat, pjRow(y), x);
            if (bAndBit(pjAnd, lDelta, x, y)) {
                if (ulColour == 0) continue;  // transparent
                if (ulColour == ulWhite) {
                    ++cc.acPixels[0];  // inverting
                    continue;
                }
            }
            vCount(&cc, ulColour);
        }
    }

    // The three most counted, the later entry winning a tie.
    ULONG aulChosen[3];
    ULONG cChosen = 0;
    bool abTaken[kcColours] = {};
    for (; cChosen < 3 && cChosen < cc.c; ++cChosen) {
        ULONG iBest = 0;
        bool bFound = false;
        for (ULONG i = 0; i < cc.c; ++i) {
            if (abTaken[i] || (bFound && cc.acPixels[i] < cc.acPixels[iBest])) continue;
            iBest = i;
            bFound = true;
        }
        abTaken[iBest] = true;
        aulChosen[cChosen] = cc.aulColour[iBest];
    }
    // Sorted: low, mid, high. With fewer than three, the missing colours
    // repeat the brightest chosen one; no pixel is given them (their
    // thresholds lie above every colour).
    for (ULONG i = 1; i < cChosen; ++i)
        for (ULONG j = i; j > 0 && aulChosen[j - 1] > aulChosen[j]; --j) {
            const ULONG t = aulChosen[j];
            aulChosen[j] = aulChosen[j - 1];
            aulChosen[j - 1] = t;
        }
    for (ULONG i = cChosen; i < 3; ++i) aulChosen[i] = aulChosen[cChosen - 1];
    const ULONG ulLow = aulChosen[0], ulMid = aulChosen[1], ulHigh = aulChosen[2];
    const ULONG t1 = cChosen >= 2 ? (ulLow + ulMid) / 2 : kNoThreshold;
    const ULONG t2 = cChosen >= 3 ? (ulMid + ulHigh) / 2 : kNoThreshold;

    // The image: colour 1 = high, 2 = low, 3 = mid.
    for (ULONG i = 0; i < CURSOR_IMAGE_BYTES; ++i) ajImage[i] = 0;
    for (ULONG y = 0; y < cy; ++y) {
        for (ULONG x = 0; x < cx; ++x) {
            ULONG c = ulPixelColour(ppdev, iFormat, pjRow(y), x);
            if (bAndBit(pjAnd, lDelta, x, y)) {
                if (c == 0) continue;  // transparent
                if (c == ulWhite) c = kInvertDrawn;
            }
            const ULONG ulCode = c > t2 ? CURSOR_COLOUR1 : c > t1 ? CURSOR_COLOUR3 : CURSOR_COLOUR2;
            vCursorImageSet(ajImage, x, y, ulCode);
        }
    }
    pcolours->aul[0] = ulHigh;
    pcolours->aul[1] = ulLow;
    pcolours->aul[2] = ulMid;
    return TRUE;
}
