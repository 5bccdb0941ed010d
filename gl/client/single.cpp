// Single requests: each call hands the current half over, writes its
// request at the half's read offset (length in 4-byte units), sends it with
// GLCMD_SINGLE and reads the reply where the published encoding puts it: a
// single value at reply byte 16, a value count at byte 12, data after the
// 32-byte reply at the read offset, or in client memory when it did not fit
// the half. Every value read from the reply is bounded by the reply's own
// length and by the half before it is used.
#include "single.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "boardconfig.h"
#include "escapes.h"
#include "pixelstore.h"

namespace {

using u64 = std::uint64_t;

// The cache bits of the enables the client answers itself.
constexpr ULONG kCacheLighting = 0x01, kCacheDepthTest = 0x02, kCacheBlend = 0x04, kCacheDrawBuffer = 0x80;
// The most bytes a map or pixel-map answer takes (the largest maps the
// server keeps); room enough in client memory for it.
constexpr ULONG kQueryReplyRoom = 0x10000;

struct Single {
    ThreadBlock* ptb = nullptr;
    ClientContext* cc = nullptr;
    xGLXSingleReply reply{};
    const BYTE* pjClient = nullptr;  // client memory given for reply data
    ULONG cjClient = 0;
};

// The common start: the calling thread's block with a request segment and
// a context, a kept-open primitive closed, not inside an open batch.
bool bStart(Single& s) {
    ThreadBlock* ptb = CurrentThreadBlockFast();
    if (ptb == nullptr) return false;
    if (ptb->primState != nullptr && ptb->primState->endPending != 0) EndPendingPrimitive(ptb);
    if (ptb->half == nullptr || ptb->context == nullptr) return false;
    if (ptb->context->batching != 0) {
        vSetClientError(ptb->context, GL_INVALID_OPERATION);
        return false;
    }
    s.ptb = ptb;
    s.cc = ptb->context;
    return true;
}

// Client memory for reply data that does not fit the half.
void vReplyToClient(Single& s, ULONG cj) {
    SMSegmentHeader* ph = s.ptb->half;
    BYTE* pj = cj != 0 ? pjClientStaging(s.ptb, cj) : nullptr;
    s.pjClient = pj;
    s.cjClient = pj != nullptr ? cj : 0;
    ph->clientData = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pj));
}

// Writes the request at the start of the fresh half and sends it; the
// reply is copied out (an error reply or none reads as an empty one).
void vSend(Single& s, unsigned opcode, std::initializer_list<ULONG> words, const BYTE* pjTail = nullptr,
           ULONG cjTail = 0) {
    const ULONG cj = 8 + 4 * static_cast<ULONG>(words.size()) + ((cjTail + 3) & ~3u);
    BYTE* pj = pjAppendRender(s.ptb, cj);
    SMSegmentHeader* ph = s.ptb->half;
    if (pj == nullptr || ph == nullptr) return;
    pj[0] = 0;
    pj[1] = static_cast<BYTE>(opcode);
    const std::uint16_t cw = static_cast<std::uint16_t>(cj / 4);
    std::memcpy(pj + 2, &cw, 2);
    std::memset(pj + 4, 0, cj - 4);
    ULONG i = 0;
    for (ULONG w : words) std::memcpy(pj + 8 + 4 * i++, &w, 4);
    if (cjTail != 0) std::memcpy(pj + 8 + 4 * i, pjTail, cjTail);
    std::memset(ph->reply, 0, sizeof ph->reply);
    ph->replyInClientMemory = 0;
    if (s.pjClient == nullptr) ph->clientData = 0;
    SendSingle(s.ptb);
    std::memcpy(&s.reply, s.ptb->half->reply, sizeof s.reply);
    if (s.reply.type != X_Reply) s.reply = xGLXSingleReply{};
}

// The reply's data of cj bytes, or null when the reply holds fewer.
const BYTE* pjReplyData(const Single& s, u64 cj) {
    if (cj == 0 || cj > u64{s.reply.length} * 4) return nullptr;
    const SMSegmentHeader* ph = s.ptb->half;
    if (ph->replyInClientMemory != 0) return s.pjClient != nullptr && cj <= s.cjClient ? s.pjClient : nullptr;
    const u64 offRead = ph->readOffset;
    if (offRead > CLT_HALF_SIZE || cj > CLT_HALF_SIZE - offRead) return nullptr;
    return reinterpret_cast<const BYTE*>(ph) + offRead;
}

// The reply's n values of cjValue bytes each into out: one at reply byte 16,
// more after the reply.
void vValues(const Single& s, void* out, ULONG cjValue) {
    const ULONG n = s.reply.size;
    if (n == 0 || out == nullptr) return;
    if (n == 1) {
        std::memcpy(out, reinterpret_cast<const BYTE*>(&s.reply) + 16, cjValue);
        return;
    }
    if (const BYTE* pj = pjReplyData(s, u64{n} * cjValue)) std::memcpy(out, pj, u64{n} * cjValue);
}

template <class T>
void vQuery(unsigned opcode, std::initializer_list<ULONG> words, T* out, bool bClientMemory = false) {
    Single s;
    if (!bStart(s)) return;
    FlushSMSegment(s.ptb);
    if (bClientMemory) vReplyToClient(s, kQueryReplyRoom);
    vSend(s, opcode, words);
    vValues(s, out, sizeof(T));
}

void vSimple(unsigned opcode, std::initializer_list<ULONG> words) {
    Single s;
    if (!bStart(s)) return;
    FlushSMSegment(s.ptb);
    vSend(s, opcode, words);
}

ULONG ulRetval(unsigned opcode, std::initializer_list<ULONG> words) {
    Single s;
    if (!bStart(s)) return 0;
    FlushSMSegment(s.ptb);
    vSend(s, opcode, words);
    return s.reply.retval;
}

// The client's own pixel-store value of a pixel-store name.
bool bPixelStoreValue(const ClientContext* cc, GLenum pname, LONG* pl) {
    const PixelStoreState& ps = cc->pixelStore;
    switch (pname) {
        case GL_UNPACK_SWAP_BYTES: *pl = ps.unpackSwapBytes; return true;
        case GL_UNPACK_LSB_FIRST: *pl = ps.unpackLsbFirst; return true;
        case GL_UNPACK_ROW_LENGTH: *pl = ps.unpackRowLength; return true;
        case GL_UNPACK_SKIP_ROWS: *pl = ps.unpackSkipRows; return true;
        case GL_UNPACK_SKIP_PIXELS: *pl = ps.unpackSkipPixels; return true;
        case GL_UNPACK_ALIGNMENT: *pl = ps.unpackAlignment; return true;
        case GL_PACK_SWAP_BYTES: *pl = ps.packSwapBytes; return true;
        case GL_PACK_LSB_FIRST: *pl = ps.packLsbFirst; return true;
        case GL_PACK_ROW_LENGTH: *pl = ps.packRowLength; return true;
        case GL_PACK_SKIP_ROWS: *pl = ps.packSkipRows; return true;
        case GL_PACK_SKIP_PIXELS: *pl = ps.packSkipPixels; return true;
        case GL_PACK_ALIGNMENT: *pl = ps.packAlignment; return true;
        default: return false;
    }
}

// An enable the client keeps: its value when the cache holds it.
bool bCachedEnable(const ClientContext* cc, GLenum cap, bool bBlendToo, bool* pb) {
    ULONG bit = 0;
    if (cap == GL_LIGHTING) bit = kCacheLighting;
    else if (cap == GL_DEPTH_TEST) bit = kCacheDepthTest;
    else if (cap == GL_BLEND && bBlendToo) bit = kCacheBlend;
    if (bit == 0 || (cc->cacheValid & bit) == 0) return false;
    *pb = (cc->cacheEnables & bit) != 0;
    return true;
}

// The values the client answers without asking the server, as integers
// (count, values); 0 when it has to ask.
ULONG cCachedValues(ThreadBlock* ptb, const ClientContext* cc, GLenum pname, bool bInteger, LONG al[2]) {
    bool b = false;
    switch (pname) {
        case GL_POLYGON_MODE: {
            constexpr ULONG kBoth = CLT_CACHE_POLYGON_MODE_FRONT | CLT_CACHE_POLYGON_MODE_BACK;
            if ((cc->cacheValid & kBoth) != kBoth) return 0;
            al[0] = static_cast<LONG>(cc->polygonModeFront);
            al[1] = static_cast<LONG>(cc->polygonModeBack);
            return 2;
        }
        case GL_LIGHTING:
        case GL_DEPTH_TEST:
            if (!bCachedEnable(cc, pname, false, &b)) return 0;
            al[0] = b ? 1 : 0;
            return 1;
        case GL_DRAW_BUFFER:
            if (!bInteger || (cc->cacheValid & kCacheDrawBuffer) == 0) return 0;
            al[0] = static_cast<LONG>(cc->drawBuffer);
            return 1;
        case GL_MAX_TEXTURE_SIZE: {
            if (!bInteger) return 0;
            // The memory-saving texture mode limits textures to 512.
            BoardConfig bc{};
            bc.op = BOARDCONFIG_READ;
            BoardConfig out{};
            if (ExtEscape(ptb->hdc, ESC_BOARDCONFIG, sizeof bc, reinterpret_cast<LPCSTR>(&bc), sizeof out,
                          reinterpret_cast<LPSTR>(&out)) > 0 &&
                out.textureMode == TEXMODE_MEMORY) {
                al[0] = 512;
                return 1;
            }
            return 0;
        }
        default: return 0;
    }
}

// glGetBooleanv and glGetIntegerv: the client's answer when it has one.
template <class T>
void vGetState(unsigned opcode, GLenum pname, T* out) {
    Single s;
    if (!bStart(s)) return;
    LONG al[2] = {};
    ULONG c = 0;
    if (bPixelStoreValue(s.cc, pname, &al[0])) c = 1;
    else if (opcode == X_GLsop_GetBooleanv || opcode == X_GLsop_GetIntegerv)
        c = cCachedValues(s.ptb, s.cc, pname, opcode == X_GLsop_GetIntegerv, al);
    if (c != 0) {
        if (out == nullptr) return;
        for (ULONG i = 0; i < c; ++i) {
            if constexpr (sizeof(T) == 1) out[i] = al[i] != 0 ? 1 : 0;
            else out[i] = static_cast<T>(al[i]);
        }
        return;
    }
    FlushSMSegment(s.ptb);
    vSend(s, opcode, {pname});
    vValues(s, out, sizeof(T));
}

// Allocates the buffer of an image answer, sends the request and stores the
// image with the pack state.
void vImageQuery(Single& s, unsigned opcode, std::initializer_list<ULONG> words, const BYTE* pjTail, ULONG cjTail,
                 LONG width, LONG height, GLenum format, GLenum type, GLvoid* pixels) {
    const u64 cj = ImageReplyBytes(format, type, width, height);
    if (cj != 0) {
        if (cj > 0xFFFFFFFFu - 3 || pjClientStaging(s.ptb, static_cast<ULONG>(cj)) == nullptr) {
            vSetClientError(s.cc, GL_OUT_OF_MEMORY);
            return;
        }
        vReplyToClient(s, static_cast<ULONG>(cj));
    }
    vSend(s, opcode, words, pjTail, cjTail);
    if (cj == 0) return;
    // The image is there when the reply carries all of it.
    if (const BYTE* pj = pjReplyData(s, cj)) PackImage(s.cc, width, height, format, type, pj, pixels);
}

}  // namespace

BYTE* pjClientStaging(ThreadBlock* ptb, ULONG cj) {
    if (ptb->cjStaging < cj) {
        if (ptb->pjStaging != nullptr) VirtualFree(ptb->pjStaging, 0, MEM_RELEASE);
        ptb->cjStaging = 0;
        ptb->pjStaging = static_cast<BYTE*>(VirtualAlloc(nullptr, cj, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        if (ptb->pjStaging != nullptr) ptb->cjStaging = cj;
    }
    return ptb->pjStaging;
}

void CltNewList(GLuint list, GLenum mode) {
    Single s;
    if (!bStart(s)) return;
    s.cc->compiling = 1;
    FlushSMSegment(s.ptb);
    vSend(s, X_GLsop_NewList, {list, mode});
}

void CltEndList() {
    Single s;
    if (!bStart(s)) return;
    s.cc->compiling = 0;
    FlushSMSegment(s.ptb);
    vSend(s, X_GLsop_EndList, {});
}

void CltDeleteLists(GLuint list, GLsizei range) {
    vSimple(X_GLsop_DeleteLists, {list, static_cast<ULONG>(range)});
}
GLuint CltGenLists(GLsizei range) { return ulRetval(X_GLsop_GenLists, {static_cast<ULONG>(range)}); }

void CltFeedbackBuffer(GLsizei size, GLenum type, GLfloat* buffer) {
    Single s;
    if (!bStart(s)) return;
    FlushSMSegment(s.ptb);
    vSend(s, X_GLsop_FeedbackBuffer, {static_cast<ULONG>(size), type});
    s.cc->feedbackBuffer = buffer;
    s.cc->feedbackSize = size > 0 ? static_cast<ULONG>(size) : 0;
}

void CltSelectBuffer(GLsizei size, GLuint* buffer) {
    Single s;
    if (!bStart(s)) return;
    FlushSMSegment(s.ptb);
    vSend(s, X_GLsop_SelectBuffer, {static_cast<ULONG>(size)});
    s.cc->selectBuffer = buffer;
    s.cc->selectSize = size > 0 ? static_cast<ULONG>(size) : 0;
}

GLint CltRenderMode(GLenum mode) {
    Single s;
    if (!bStart(s)) return 0;
    ClientContext* cc = s.cc;
    FlushSMSegment(s.ptb);
    // What the mode being left collected comes back into its buffer; the
    // copy never goes past the size the application gave.
    void* pvBuffer = nullptr;
    ULONG cWords = 0;
    if (cc->renderMode == GL_FEEDBACK) {
        pvBuffer = cc->feedbackBuffer;
        cWords = cc->feedbackSize;
    } else if (cc->renderMode == GL_SELECT) {
        pvBuffer = cc->selectBuffer;
        cWords = cc->selectSize;
    }
    if (pvBuffer != nullptr && cWords != 0) vReplyToClient(s, cWords * 4);
    vSend(s, X_GLsop_RenderMode, {mode});
    if (s.reply.pad3 == mode) {
        const ULONG c = std::min(s.reply.length, cWords);
        if (pvBuffer != nullptr && c != 0)
            if (const BYTE* pj = pjReplyData(s, u64{c} * 4)) std::memcpy(pvBuffer, pj, c * 4u);
        cc->renderMode = mode;
    }
    return static_cast<GLint>(s.reply.retval);
}

void CltFinish() { vSimple(X_GLsop_Finish, {}); }
void CltFlush() { vSimple(X_GLsop_Flush, {}); }

void CltReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type, GLvoid* pixels) {
    Single s;
    if (!bStart(s)) return;
    FlushSMSegment(s.ptb);
    // The swap flag at byte 32, LSB first 0 at byte 33: the client applies
    // the bit order itself when it stores the image.
    const BYTE aj[4] = {s.cc->pixelStore.packSwapBytes, 0, 0, 0};
    // A large image is read in bands of rows, each a request of its own
    // stored where its rows go: no answer larger than a band is ever held.
    constexpr u64 kBandBytes = 1u << 24;
    const u64 cjRow = ImageReplyBytes(format, type, width, 1);
    LONG cBand = height;
    if (pixels != nullptr && cjRow != 0 && cjRow * static_cast<u64>(height) > kBandBytes)
        cBand = static_cast<LONG>(std::clamp<u64>(kBandBytes / cjRow, 1, static_cast<u64>(height)));
    const u64 stride = cBand < height ? PackRowStride(s.cc, width, format, type) : 0;
    for (LONG r0 = 0;;) {
        const LONG c = std::min<LONG>(cBand, height - r0);
        const auto yBand = static_cast<LONG>(std::min<std::int64_t>(std::int64_t{y} + r0, INT32_MAX));
        auto* pvBand = pixels != nullptr ? static_cast<BYTE*>(pixels) + static_cast<std::size_t>(stride * r0) : nullptr;
        vImageQuery(s, X_GLsop_ReadPixels,
                    {static_cast<ULONG>(x), static_cast<ULONG>(yBand), static_cast<ULONG>(width),
                     static_cast<ULONG>(c), format, type},
                    aj, 4, width, c, format, type, pvBand);
        r0 += c;
        if (r0 >= height || c <= 0) break;
        s = Single{};
        if (!bStart(s)) return;
        FlushSMSegment(s.ptb);
    }
}

void CltDrawPixelsReach(GLsizei width, GLsizei height, GLint reach[4]) {
    std::fill_n(reach, 4, 0);
    vQuery(X_GLsop_DrawPixelsReachZYD, {static_cast<ULONG>(width), static_cast<ULONG>(height)}, reach);
}

void CltGetBooleanv(GLenum pname, GLboolean* params) { vGetState(X_GLsop_GetBooleanv, pname, params); }
void CltGetDoublev(GLenum pname, GLdouble* params) { vGetState(X_GLsop_GetDoublev, pname, params); }
void CltGetFloatv(GLenum pname, GLfloat* params) { vGetState(X_GLsop_GetFloatv, pname, params); }
void CltGetIntegerv(GLenum pname, GLint* params) { vGetState(X_GLsop_GetIntegerv, pname, params); }

void CltGetClipPlane(GLenum plane, GLdouble* equation) {
    Single s;
    if (!bStart(s)) return;
    FlushSMSegment(s.ptb);
    vSend(s, X_GLsop_GetClipPlane, {plane});
    if (s.reply.length != 8 || equation == nullptr) return;
    if (const BYTE* pj = pjReplyData(s, 32)) std::memcpy(equation, pj, 32);
}

GLenum CltGetError() {
    ThreadBlock* ptb = CurrentThreadBlockFast();
    if (ptb == nullptr) return 0;
    if (ptb->primState != nullptr && ptb->primState->endPending != 0) EndPendingPrimitive(ptb);
    ClientContext* cc = ptb->context;
    if (cc == nullptr) return 0;
    if (cc->batching != 0) {
        vSetClientError(cc, GL_INVALID_OPERATION);
        return 0;
    }
    if (cc->error != 0) {
        const ULONG e = cc->error;
        cc->error = 0;
        return e;
    }
    if (ptb->half == nullptr) return 0;
    return ulRetval(X_GLsop_GetError, {});
}

void CltGetLightfv(GLenum light, GLenum pname, GLfloat* params) { vQuery(X_GLsop_GetLightfv, {light, pname}, params); }
void CltGetLightiv(GLenum light, GLenum pname, GLint* params) { vQuery(X_GLsop_GetLightiv, {light, pname}, params); }
void CltGetMapdv(GLenum target, GLenum query, GLdouble* v) { vQuery(X_GLsop_GetMapdv, {target, query}, v, true); }
void CltGetMapfv(GLenum target, GLenum query, GLfloat* v) { vQuery(X_GLsop_GetMapfv, {target, query}, v, true); }
void CltGetMapiv(GLenum target, GLenum query, GLint* v) { vQuery(X_GLsop_GetMapiv, {target, query}, v, true); }
void CltGetMaterialfv(GLenum face, GLenum pname, GLfloat* params) {
    vQuery(X_GLsop_GetMaterialfv, {face, pname}, params);
}
void CltGetMaterialiv(GLenum face, GLenum pname, GLint* params) {
    vQuery(X_GLsop_GetMaterialiv, {face, pname}, params);
}
void CltGetPixelMapfv(GLenum map, GLfloat* values) { vQuery(X_GLsop_GetPixelMapfv, {map}, values, true); }
void CltGetPixelMapuiv(GLenum map, GLuint* values) { vQuery(X_GLsop_GetPixelMapuiv, {map}, values, true); }
void CltGetPixelMapusv(GLenum map, GLushort* values) { vQuery(X_GLsop_GetPixelMapusv, {map}, values, true); }

void CltGetPolygonStipple(GLubyte* mask) {
    Single s;
    if (!bStart(s)) return;
    FlushSMSegment(s.ptb);
    vSend(s, X_GLsop_GetPolygonStipple, {0});  // byte 8: LSB first 0
    if (s.reply.length != 32) return;
    if (const BYTE* pj = pjReplyData(s, 128)) PackBitmap(s.cc, 32, 32, GL_COLOR_INDEX, pj, mask);
}

const GLubyte* CltGetString(GLenum name) {
    Single s;
    if (!bStart(s)) return nullptr;
    // Checked after the start, which closes a primitive still waiting to be
    // sent: the name indexes the cached strings.
    if (name < GL_VENDOR || name > GL_EXTENSIONS) {
        vSetClientError(s.cc, GL_INVALID_ENUM);
        return nullptr;
    }
    char*& psz = s.cc->strings[name - GL_VENDOR];
    if (psz != nullptr) return reinterpret_cast<const GLubyte*>(psz);
    FlushSMSegment(s.ptb);
    vSend(s, X_GLsop_GetString, {name});
    // The count at byte 12 includes the terminating zero.
    const ULONG n = s.reply.size;
    const BYTE* pj = pjReplyData(s, n);
    if (pj == nullptr) return nullptr;
    auto* pszNew = static_cast<char*>(LocalAlloc(LMEM_FIXED, n));
    if (pszNew == nullptr) {
        vSetClientError(s.cc, GL_OUT_OF_MEMORY);
        return nullptr;
    }
    std::memcpy(pszNew, pj, n);
    pszNew[n - 1] = '\0';
    psz = pszNew;
    return reinterpret_cast<const GLubyte*>(psz);
}

void CltGetTexEnvfv(GLenum target, GLenum pname, GLfloat* params) {
    vQuery(X_GLsop_GetTexEnvfv, {target, pname}, params);
}
void CltGetTexEnviv(GLenum target, GLenum pname, GLint* params) {
    vQuery(X_GLsop_GetTexEnviv, {target, pname}, params);
}
void CltGetTexGendv(GLenum coord, GLenum pname, GLdouble* params) {
    vQuery(X_GLsop_GetTexGendv, {coord, pname}, params);
}
void CltGetTexGenfv(GLenum coord, GLenum pname, GLfloat* params) {
    vQuery(X_GLsop_GetTexGenfv, {coord, pname}, params);
}
void CltGetTexGeniv(GLenum coord, GLenum pname, GLint* params) {
    vQuery(X_GLsop_GetTexGeniv, {coord, pname}, params);
}
void CltGetTexParameterfv(GLenum target, GLenum pname, GLfloat* params) {
    vQuery(X_GLsop_GetTexParameterfv, {target, pname}, params);
}
void CltGetTexParameteriv(GLenum target, GLenum pname, GLint* params) {
    vQuery(X_GLsop_GetTexParameteriv, {target, pname}, params);
}
void CltGetTexLevelParameterfv(GLenum target, GLint level, GLenum pname, GLfloat* params) {
    vQuery(X_GLsop_GetTexLevelParameterfv, {target, static_cast<ULONG>(level), pname}, params);
}
void CltGetTexLevelParameteriv(GLenum target, GLint level, GLenum pname, GLint* params) {
    vQuery(X_GLsop_GetTexLevelParameteriv, {target, static_cast<ULONG>(level), pname}, params);
}

void CltGetTexImage(GLenum target, GLint level, GLenum format, GLenum type, GLvoid* pixels) {
    Single s;
    if (!bStart(s)) return;
    GLint width = 0, height = 1;
    CltGetTexLevelParameteriv(target, level, GL_TEXTURE_WIDTH, &width);
    if (target == GL_TEXTURE_2D) {
        height = 0;
        CltGetTexLevelParameteriv(target, level, GL_TEXTURE_HEIGHT, &height);
    }
    FlushSMSegment(s.ptb);
    vImageQuery(s, X_GLsop_GetTexImage, {target, static_cast<ULONG>(level), format, type},
                &s.cc->pixelStore.packSwapBytes, 1, width, height, format, type, pixels);
}

GLboolean CltIsEnabled(GLenum cap) {
    Single s;
    if (!bStart(s)) return 0;
    bool b = false;
    if (bCachedEnable(s.cc, cap, true, &b)) return b ? 1 : 0;
    FlushSMSegment(s.ptb);
    vSend(s, X_GLsop_IsEnabled, {cap});
    return static_cast<GLboolean>(s.reply.retval & 0xFF);
}

GLboolean CltIsList(GLuint list) { return static_cast<GLboolean>(ulRetval(X_GLsop_IsList, {list}) & 0xFF); }
