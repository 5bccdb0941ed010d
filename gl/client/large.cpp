// The large and pixel render commands. The fixed fields of a command stand
// at +4 inline and at +8 in the large form (after its u32 length and u32
// opcode); inline the data follows them, in the large form it stays out of
// line and the length counts the inline part alone. Images go through the
// context's unpacker, tight, with a pixel-store block of zeros and
// alignment 1.
#include "large.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "glrequest_sizes.h"
#include "pixelstore.h"
#include "pixelwalk.h"
#include "single.h"

namespace {

using u64 = std::uint64_t;

// The longest inline command: the 16-bit length field.
constexpr u64 kInlineMax = 0xFFFC;
// The most out-of-line data one command carries (a 32-bit byte count).
constexpr u64 kLargeMax = 0xFFFFFFF0u;

// Whether a large command of cjFields bytes of fields and cjData bytes of
// data is more than the server takes (SM_LARGE_MAX): the server would
// refuse it whole, and GL would not hear of it.
bool bBeyondServer(ULONG cjFields, u64 cjData) { return 8 + u64{cjFields} + cjData > SM_LARGE_MAX; }

// The calling thread's block with a request segment and a context, a
// kept-open primitive closed; null when there is nothing to send to.
ThreadBlock* ptbStart() {
    ThreadBlock* ptb = CurrentThreadBlockFast();
    if (ptb == nullptr) return nullptr;
    if (ptb->primState != nullptr && ptb->primState->endPending != 0) EndPendingPrimitive(ptb);
    if (ptb->half == nullptr || ptb->context == nullptr) return nullptr;
    return ptb;
}

bool bBatchOpen(ClientContext* cc) {
    if (cc->batching == 0) return false;
    vSetClientError(cc, GL_INVALID_OPERATION);
    return true;
}

bool bInlineForm(const ClientContext* cc, u64 cjInline) { return cjInline <= cc->largeLimit && cjInline <= kInlineMax; }

// Appends an inline command with its fixed fields; the address of its data.
BYTE* pjInline(ThreadBlock* ptb, unsigned opcode, u64 cj, const void* pvFields, ULONG cjFields) {
    BYTE* pj = pjAppendRender(ptb, static_cast<ULONG>(cj));
    if (pj == nullptr) return nullptr;
    const std::uint16_t h[2] = {static_cast<std::uint16_t>(cj), static_cast<std::uint16_t>(opcode)};
    std::memcpy(pj, h, 4);
    std::memcpy(pj + 4, pvFields, cjFields);
    return pj + 4 + cjFields;
}

// The large form: the current half handed over (when it holds anything),
// the inline part at the start of the fresh half, the data out of line.
// Client memory for the data is made sure of first, so that a command
// whose data cannot travel never reaches the half: GL_OUT_OF_MEMORY.
// A command larger than the server takes is GL_OUT_OF_MEMORY too.
void vLarge(ThreadBlock* ptb, unsigned opcode, const void* pvFields, ULONG cjFields, const void* pvData, u64 cjData) {
    if (cjData > kLargeMax || bBeyondServer(cjFields, cjData) ||
        (cjData != 0 && pjClientStaging(ptb, static_cast<ULONG>(cjData)) == nullptr)) {
        vSetClientError(ptb->context, GL_OUT_OF_MEMORY);
        return;
    }
    SMSegmentHeader* ph = ptb->half;
    BYTE* pj = HandOverHalf(ptb, ph->writeOffset);
    ph = ptb->half;
    const std::uint32_t h[2] = {8 + cjFields, opcode};
    ph->writeOffset = ph->readOffset + h[0];
    std::memcpy(pj, h, 8);
    std::memcpy(pj + 8, pvFields, cjFields);
    RenderLargeFromClient(ptb, pvData, static_cast<ULONG>(cjData));
}

// A temporary buffer from the heap, freed at the end of its scope.
struct Temp {
    BYTE* pj = nullptr;
    explicit Temp(u64 cj) {
        if (cj != 0 && cj <= kLargeMax) pj = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, static_cast<std::size_t>(cj)));
    }
    ~Temp() {
        if (pj != nullptr) LocalFree(pj);
    }
    Temp(const Temp&) = delete;
    Temp& operator=(const Temp&) = delete;
};

// The server's limit for a value GL lets implementations choose, asked
// only when a request goes past GL's own minimum for it (below that every
// server takes it).
LONG lServerLimit(GLenum pname, LONG glMinimum, LONG asked) {
    if (asked <= glMinimum) return glMinimum;
    GLint v = 0;
    CltGetIntegerv(pname, &v);
    return v > 0 ? v : glMinimum;
}

// 2^n + 2 x border for some n, or an empty image (the texture sizes the
// server takes).
bool bTextureSize(LONG size, LONG border) {
    const std::int64_t n = std::int64_t{size} - 2 * border;
    return n >= 0 && (n & (n - 1)) == 0;
}

// GL's value checks of a texture image, made before its image is taken
// (a request that cannot be met must not first cost its whole size):
// GL_INVALID_VALUE recorded and false when one fails. The server checks
// the rest.
bool bTextureImageSizes(ClientContext* cc, GLint level, LONG width, LONG height, GLint border) {
    bool bOk = level >= 0 && (border == 0 || border == 1) && bTextureSize(width, border) &&
               bTextureSize(height, border);
    if (bOk) {
        const LONG largest = std::max(width, height) - 2 * border;
        const LONG limit = lServerLimit(GL_MAX_TEXTURE_SIZE, 64, std::max<LONG>(largest, LONG{1} << std::min(level, 30)));
        bOk = largest <= limit && (LONG{1} << std::min(level, 30)) <= limit;
    }
    if (!bOk) vSetClientError(cc, GL_INVALID_VALUE);
    return bOk;
}

// An image command: inline with the image unpacked into it, or large with
// the image unpacked into a temporary buffer (the texture images always).
// The pixel-store block is the first field.
void vImage(ThreadBlock* ptb, unsigned opcode, BYTE* pjFields, ULONG cjFields, LONG width, LONG height, ULONG format,
            ULONG type, const void* pixels, bool bAlwaysLarge) {
    ClientContext* cc = ptb->context;
    const u64 cjImage = UnpackedImageSize(width, height, format, type);
    const u64 cjInline = 4 + cjFields + RoundUpTo(cjImage, 4);
    if (!bAlwaysLarge && bInlineForm(cc, cjInline)) {
        BYTE* pjData = pjInline(ptb, opcode, cjInline, pjFields, cjFields);
        if (pjData == nullptr) return;
        BYTE* pjBlock = pjData - cjFields;
        // Without data the unpacker is not asked for the image; the block
        // is still written, so that the server reads a valid one.
        cc->unpackImage(cc, cjImage != 0 ? width : 0, height, format, type, pixels, pjData, pjBlock, 0);
        return;
    }
    const u64 cjData = RoundUpTo(cjImage, 4);
    // An image larger than the server takes (a glBitmap of 2^31 columns)
    // is GL_OUT_OF_MEMORY before any of it is unpacked.
    if (bBeyondServer(cjFields, cjData)) {
        vSetClientError(cc, GL_OUT_OF_MEMORY);
        return;
    }
    Temp t(cjData);
    if (cjData != 0 && t.pj == nullptr) {
        vSetClientError(cc, GL_OUT_OF_MEMORY);
        return;
    }
    if (cjData != 0) std::memset(t.pj + cjImage, 0, static_cast<std::size_t>(cjData - cjImage));
    cc->unpackImage(cc, cjImage != 0 ? width : 0, height, format, type, pixels, t.pj, pjFields, 0);
    vLarge(ptb, opcode, pjFields, cjFields, t.pj, cjData);
}

// An array command whose data is the caller's array as it is.
void vArray(ThreadBlock* ptb, unsigned opcode, const void* pvFields, ULONG cjFields, const void* pvData, u64 cjData) {
    const u64 cjInline = 4 + cjFields + RoundUpTo(cjData, 4);
    if (bInlineForm(ptb->context, cjInline)) {
        BYTE* pj = pjInline(ptb, opcode, cjInline, pvFields, cjFields);
        if (pj != nullptr && cjData != 0) std::memcpy(pj, pvData, static_cast<std::size_t>(cjData));
        return;
    }
    vLarge(ptb, opcode, pvFields, cjFields, pvData, cjData);
}

// An evaluator map: the control points compacted to k values a point,
// straight into the inline command or, in the large form, the caller's
// array when it is tight already, else a tight copy.
template <class T, class Copy>
void vMap(ThreadBlock* ptb, unsigned opcode, const void* pvFields, ULONG cjFields, u64 cPoints, ULONG k,
          const T* points, bool bTight, Copy copy) {
    const u64 cjData = cPoints * k * sizeof(T);
    const u64 cjInline = 4 + cjFields + cjData;
    if (bInlineForm(ptb->context, cjInline)) {
        BYTE* pj = pjInline(ptb, opcode, cjInline, pvFields, cjFields);
        if (pj == nullptr) return;
        // The points are copied into a temporary array when the command's
        // data is not aligned for the type.
        if (reinterpret_cast<std::uintptr_t>(pj) % alignof(T) == 0) {
            copy(reinterpret_cast<T*>(pj));
        } else {
            Temp t(cjData);
            if (t.pj == nullptr) return;
            copy(reinterpret_cast<T*>(t.pj));
            std::memcpy(pj, t.pj, static_cast<std::size_t>(cjData));
        }
        return;
    }
    if (bTight) {
        vLarge(ptb, opcode, pvFields, cjFields, points, cjData);
        return;
    }
    Temp t(cjData);
    if (t.pj == nullptr) {
        vSetClientError(ptb->context, GL_OUT_OF_MEMORY);
        return;
    }
    copy(reinterpret_cast<T*>(t.pj));
    vLarge(ptb, opcode, pvFields, cjFields, t.pj, cjData);
}

// Field blocks written byte by byte in the published layout.
struct Fields {
    BYTE aj[56] = {};
    ULONG cj = 0;
    template <class T>
    Fields& operator<<(T v) {
        std::memcpy(aj + cj, &v, sizeof v);
        cj += sizeof v;
        return *this;
    }
    Fields& block() {
        cj += 20;  // the pixel-store block, written by the unpacker
        return *this;
    }
};

template <class T>
bool bMap1Checks(ClientContext* cc, ULONG k, GLint stride, GLint order) {
    if (k == 0) {
        vSetClientError(cc, GL_INVALID_ENUM);
        return false;
    }
    if (stride < static_cast<LONG>(k) || order <= 0) {
        vSetClientError(cc, GL_INVALID_VALUE);
        return false;
    }
    return !bBatchOpen(cc);
}

template <class T>
void vMap1(unsigned opcode, GLenum target, T u1, T u2, GLint stride, GLint order, const T* points) {
    ThreadBlock* ptb = ptbStart();
    if (ptb == nullptr) return;
    const ULONG k = MapTargetComponents(target);
    if (!bMap1Checks<T>(ptb->context, k, stride, order)) return;
    Fields f;
    if constexpr (sizeof(T) == 8) f << u1 << u2 << target << order;
    else f << target << u1 << u2 << order;
    vMap<T>(ptb, opcode, f.aj, f.cj, static_cast<u64>(order), k, points, stride == static_cast<LONG>(k),
            [&](T* out) { CopyMapPoints1(out, points, k, stride, order); });
}

template <class T>
void vMap2(unsigned opcode, GLenum target, T u1, T u2, GLint ustride, GLint uorder, T v1, T v2, GLint vstride,
           GLint vorder, const T* points) {
    ThreadBlock* ptb = ptbStart();
    if (ptb == nullptr) return;
    ClientContext* cc = ptb->context;
    const ULONG k = MapTargetComponents(target);
    if (k == 0) {
        vSetClientError(cc, GL_INVALID_ENUM);
        return;
    }
    if (vstride < static_cast<LONG>(k) || ustride < static_cast<LONG>(k) || vorder <= 0 || uorder <= 0) {
        vSetClientError(cc, GL_INVALID_VALUE);
        return;
    }
    if (bBatchOpen(cc)) return;
    Fields f;
    if constexpr (sizeof(T) == 8) f << u1 << u2 << v1 << v2 << target << uorder << vorder;
    else f << target << u1 << u2 << uorder << v1 << v2 << vorder;
    const bool bTight = vstride == static_cast<LONG>(k) && u64(ustride) == u64(vorder) * k;
    vMap<T>(ptb, opcode, f.aj, f.cj, static_cast<u64>(uorder) * static_cast<u64>(vorder), k, points, bTight,
            [&](T* out) { CopyMapPoints2(out, points, k, ustride, uorder, vstride, vorder); });
}

template <class T>
void vPixelMap(unsigned opcode, GLenum map, GLsizei mapsize, const T* values) {
    ThreadBlock* ptb = ptbStart();
    if (ptb == nullptr) return;
    if (mapsize < 0) {
        vSetClientError(ptb->context, GL_INVALID_VALUE);
        return;
    }
    if (bBatchOpen(ptb->context)) return;
    // A table longer than the server's largest is refused before its
    // values are sent.
    if (mapsize > lServerLimit(GL_MAX_PIXEL_MAP_TABLE, 32, mapsize)) {
        vSetClientError(ptb->context, GL_INVALID_VALUE);
        return;
    }
    Fields f;
    f << map << mapsize;
    vArray(ptb, opcode, f.aj, f.cj, values, static_cast<u64>(mapsize) * sizeof(T));
}

}  // namespace

void SendCallLists(ThreadBlock* ptb, GLsizei n, GLenum type, const GLvoid* lists) {
    if (ptb->context == nullptr) return;
    // An unknown type goes without names: the server answers it.
    const ULONG cjName = GLXListNameBytes(type);
    // A long array goes as calls of a piece of it each, one after another
    // (calling the lists of the pieces in turn is calling those of the
    // whole): no copy of the whole array is needed, and each request's list
    // work stays within what the server runs for one request.
    constexpr GLsizei cPiece = 0x10000;
    const auto* pj = static_cast<const BYTE*>(lists);
    do {
        const GLsizei c = cjName != 0 && pj != nullptr ? std::min(n, cPiece) : n;
        Fields f;
        f << c << type;
        vArray(ptb, X_GLrop_CallLists, f.aj, f.cj, pj, static_cast<u64>(c) * cjName);
        n -= c;
        if (pj != nullptr) pj += static_cast<std::size_t>(c) * cjName;
    } while (n > 0);
}

void CltMap1d(GLenum target, GLdouble u1, GLdouble u2, GLint stride, GLint order, const GLdouble* points) {
    vMap1<GLdouble>(X_GLrop_Map1d, target, u1, u2, stride, order, points);
}
void CltMap1f(GLenum target, GLfloat u1, GLfloat u2, GLint stride, GLint order, const GLfloat* points) {
    vMap1<GLfloat>(X_GLrop_Map1f, target, u1, u2, stride, order, points);
}
void CltMap2d(GLenum target, GLdouble u1, GLdouble u2, GLint ustride, GLint uorder, GLdouble v1, GLdouble v2,
              GLint vstride, GLint vorder, const GLdouble* points) {
    vMap2<GLdouble>(X_GLrop_Map2d, target, u1, u2, ustride, uorder, v1, v2, vstride, vorder, points);
}
void CltMap2f(GLenum target, GLfloat u1, GLfloat u2, GLint ustride, GLint uorder, GLfloat v1, GLfloat v2,
              GLint vstride, GLint vorder, const GLfloat* points) {
    vMap2<GLfloat>(X_GLrop_Map2f, target, u1, u2, ustride, uorder, v1, v2, vstride, vorder, points);
}

void CltPixelMapfv(GLenum map, GLsizei mapsize, const GLfloat* values) {
    vPixelMap(X_GLrop_PixelMapfv, map, mapsize, values);
}
void CltPixelMapuiv(GLenum map, GLsizei mapsize, const GLuint* values) {
    vPixelMap(X_GLrop_PixelMapuiv, map, mapsize, values);
}
void CltPixelMapusv(GLenum map, GLsizei mapsize, const GLushort* values) {
    vPixelMap(X_GLrop_PixelMapusv, map, mapsize, values);
}

void CltPolygonStipple(const GLubyte* mask) {
    ThreadBlock* ptb = ptbStart();
    if (ptb == nullptr || bBatchOpen(ptb->context)) return;
    Fields f;
    f.block();
    vImage(ptb, X_GLrop_PolygonStipple, f.aj, f.cj, 32, 32, GL_COLOR_INDEX, GL_BITMAP, mask, false);
}

void CltBitmap(GLsizei width, GLsizei height, GLfloat xorig, GLfloat yorig, GLfloat xmove, GLfloat ymove,
               const GLubyte* bitmap) {
    ThreadBlock* ptb = ptbStart();
    if (ptb == nullptr || bBatchOpen(ptb->context)) return;
    Fields f;
    f.block() << width << height << xorig << yorig << xmove << ymove;
    vImage(ptb, X_GLrop_Bitmap, f.aj, f.cj, width, height, GL_COLOR_INDEX, GL_BITMAP, bitmap, false);
}

void CltTexImage1D(GLenum target, GLint level, GLint components, GLsizei width, GLint border, GLenum format,
                   GLenum type, const GLvoid* pixels) {
    ThreadBlock* ptb = ptbStart();
    if (ptb == nullptr || bBatchOpen(ptb->context)) return;
    Fields f;
    if (!bTextureImageSizes(ptb->context, level, width, border == 1 ? 3 : 1, border)) return;
    f.block() << target << level << components << width << GLsizei{1} << border << format << type;
    vImage(ptb, X_GLrop_TexImage1D, f.aj, f.cj, width, 1, format, type, pixels, true);
}

void CltTexImage2D(GLenum target, GLint level, GLint components, GLsizei width, GLsizei height, GLint border,
                   GLenum format, GLenum type, const GLvoid* pixels) {
    ThreadBlock* ptb = ptbStart();
    if (ptb == nullptr || bBatchOpen(ptb->context)) return;
    Fields f;
    if (!bTextureImageSizes(ptb->context, level, width, height, border)) return;
    f.block() << target << level << components << width << height << border << format << type;
    vImage(ptb, X_GLrop_TexImage2D, f.aj, f.cj, width, height, format, type, pixels, true);
}

namespace {

// The most image bytes one piece of a glDrawPixels image carries: a larger
// image goes in pieces, each a request of its own.
constexpr u64 kPieceBytes = u64{1} << 22;

// A glDrawPixels image larger than a piece, drawn (not compiled): only the
// columns and rows the server says can reach the window are sent, in
// pieces of at most kPieceBytes, each drawn by the server where it lies in
// the whole image. None of the image is copied whole, so an image larger
// than memory draws what the window shows. When no part can reach the
// window one piece of no pixels still goes, for the server's checks (and
// feedback's token).
void vDrawPixelsInPieces(ThreadBlock* ptb, LONG width, LONG height, ULONG format, ULONG type, const void* pixels) {
    ClientContext* cc = ptb->context;
    const auto piece = [&](LONG col, LONG row, LONG cx, LONG cy, const void* pv) {
        Fields f;
        f.block() << cx << cy << format << type << col << row;
        vImage(ptb, X_GLrop_DrawPixelsPieceZYD, f.aj, f.cj, cx, cy, format, type, pv, false);
    };
    GLint reach[4] = {};
    CltDrawPixelsReach(width, height, reach);
    const bool bBitmap = type == GL_BITMAP;
    // Bitmap pieces start at whole bytes of the image's rows.
    LONG c0 = std::clamp<LONG>(reach[0], 0, width), r0 = std::clamp<LONG>(reach[1], 0, height);
    const LONG c1 = std::clamp<LONG>(reach[2], c0, width), r1 = std::clamp<LONG>(reach[3], r0, height);
    if (bBitmap) c0 -= c0 % 8;
    if (c0 >= c1 || r0 >= r1 || pixels == nullptr) {
        piece(0, 0, 0, 0, nullptr);
        return;
    }
    // Pieces of whole rows where a row of the reaching columns fits a
    // piece, else of as many columns as fit (whole bytes of bitmaps).
    const u64 cjPixelBits = bBitmap ? FormatComponents(format) : u64{FormatComponents(format)} * TypeBytes(type) * 8;
    const u64 cMaxCols = std::max<u64>(kPieceBytes * 8 / std::max<u64>(cjPixelBits, 1) / 8 * 8, 8);
    const LONG cCols = static_cast<LONG>(std::min<u64>(static_cast<u64>(c1 - c0), cMaxCols));
    const u64 cjRow = std::max<u64>(UnpackedImageSize(cCols, 1, format, type), 1);
    const LONG cRows = static_cast<LONG>(std::clamp<u64>(kPieceBytes / cjRow, 1, static_cast<u64>(r1 - r0)));
    // The application's rows as the unpack state walks them; each piece
    // starts at its first pixel there, with the whole image's row length.
    PixelStoreState& ps = cc->pixelStore;
    const PixelWalk walk = PixelWalkOf(ps.unpackRowLength, 0, 0, ps.unpackAlignment, width, 1,
                                       FormatComponents(format), bBitmap ? 0 : TypeBytes(type), bBitmap);
    const LONG rowLength = ps.unpackRowLength;
    ps.unpackRowLength = rowLength > 0 ? rowLength : width;
    for (LONG r = r0; r < r1; r += std::min(cRows, r1 - r)) {
        for (LONG c = c0; c < c1; c += std::min(cCols, c1 - c)) {
            const u64 offCol = static_cast<u64>(c) * cjPixelBits / 8;
            const BYTE* pj = static_cast<const BYTE*>(pixels) + static_cast<std::size_t>(static_cast<u64>(r) * walk.stride + offCol);
            piece(c, r, std::min(cCols, c1 - c), std::min(cRows, r1 - r), pj);
        }
    }
    ps.unpackRowLength = rowLength;
}

}  // namespace

void CltDrawPixels(GLsizei width, GLsizei height, GLenum format, GLenum type, const GLvoid* pixels) {
    ThreadBlock* ptb = ptbStart();
    if (ptb == nullptr || bBatchOpen(ptb->context)) return;
    // An image larger than a piece is drawn in pieces (a list keeps the
    // whole image).
    const u64 cjRow = UnpackedImageSize(width, 1, format, type);
    if (cjRow != 0 && height >= 0 && ptb->context->compiling == 0 &&
        (cjRow > kPieceBytes || static_cast<u64>(height) > kPieceBytes / cjRow)) {
        vDrawPixelsInPieces(ptb, width, height, format, type, pixels);
        return;
    }
    Fields f;
    f.block() << width << height << format << type;
    // The image goes in the request's own format and type, as the server
    // reads it.
    vImage(ptb, X_GLrop_DrawPixels, f.aj, f.cj, width, height, format, type, pixels, false);
}
