// The large and pixel render commands. The fixed fields of a command stand
// at +4 inline and at +8 in the large form (after its u32 length and u32
// opcode); inline the data follows them, in the large form it stays out of
// line and the length counts the inline part alone. Images go through the
// context's unpacker, tight, with a pixel-store block of zeros and
// alignment 1.
#include "large.h"

#include <cstring>

#include "glrequest_sizes.h"
#include "pixelstore.h"
#include "single.h"

namespace {

using u64 = std::uint64_t;

// The longest inline command: the 16-bit length field.
constexpr u64 kInlineMax = 0xFFFC;
// The most out-of-line data one command carries (a 32-bit byte count).
constexpr u64 kLargeMax = 0xFFFFFFF0u;

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
void vLarge(ThreadBlock* ptb, unsigned opcode, const void* pvFields, ULONG cjFields, const void* pvData, u64 cjData) {
    if (cjData > kLargeMax || (cjData != 0 && pjClientStaging(ptb, static_cast<ULONG>(cjData)) == nullptr)) {
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
    Fields f;
    f << map << mapsize;
    vArray(ptb, opcode, f.aj, f.cj, values, static_cast<u64>(mapsize) * sizeof(T));
}

}  // namespace

void SendCallLists(ThreadBlock* ptb, GLsizei n, GLenum type, const GLvoid* lists) {
    if (ptb->context == nullptr) return;
    // An unknown type goes without names: the server answers it.
    const u64 cj = static_cast<u64>(n) * GLXListNameBytes(type);
    Fields f;
    f << n << type;
    vArray(ptb, X_GLrop_CallLists, f.aj, f.cj, lists, cj);
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
    f.block() << target << level << components << width << GLsizei{1} << border << format << type;
    vImage(ptb, X_GLrop_TexImage1D, f.aj, f.cj, width, 1, format, type, pixels, true);
}

void CltTexImage2D(GLenum target, GLint level, GLint components, GLsizei width, GLsizei height, GLint border,
                   GLenum format, GLenum type, const GLvoid* pixels) {
    ThreadBlock* ptb = ptbStart();
    if (ptb == nullptr || bBatchOpen(ptb->context)) return;
    Fields f;
    f.block() << target << level << components << width << height << border << format << type;
    vImage(ptb, X_GLrop_TexImage2D, f.aj, f.cj, width, height, format, type, pixels, true);
}

void CltDrawPixels(GLsizei width, GLsizei height, GLenum format, GLenum type, const GLvoid* pixels) {
    ThreadBlock* ptb = ptbStart();
    if (ptb == nullptr || bBatchOpen(ptb->context)) return;
    Fields f;
    f.block() << width << height << format << type;
    // The image goes in the request's own format and type, as the server
    // reads it.
    vImage(ptb, X_GLrop_DrawPixels, f.aj, f.cj, width, height, format, type, pixels, false);
}
