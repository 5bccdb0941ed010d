// Stand-ins for what primitive accumulation reaches beyond its own files:
// the lgi layer's parts not built yet, whose primitive entries record what
// reaches them, and the GL layer's validation, tables and list compiler.
#include "lgi_double.h"

#include <cstring>

#include "3d/context/context.h"
#include "context/image.h"
#include "context/texture.h"
#include "dispatch/dispatch.h"
#include "pixel/pixel.h"
#include "prim/prim.h"
#include "seams.h"

namespace prim_double {
std::vector<Batch> gBatches;
std::vector<DrawPacket> gDraws;
ULONG gcListBatches = 0;
bool gbListRefuses = false;
bool gbListKeeps = false;
std::vector<__GLXpacketBuffer*> gListKept;
ULONG gcValidations = 0;
void Clear() {
    gBatches.clear();
    gDraws.clear();
    gcListBatches = 0;
    gbListRefuses = false;
    gbListKeeps = false;
    for (__GLXpacketBuffer* p : gListKept) LocalFree(p);
    gListKept.clear();
    gcValidations = 0;
}
}  // namespace prim_double

using namespace prim_double;

// --- the primitive entries -----------------------------------------------------------------
void N_ExecPrimitive(const N_PrimDesc* d) {
    Batch b;
    b.desc = *d;
    const ULONG n = d->count;
    if (d->pStripLengths != nullptr) b.strips.assign(d->pStripLengths, d->pStripLengths + d->cStrips);
    for (ULONG i = 0; i < n; ++i) {
        b.flags.push_back(d->pFlags != nullptr ? d->pFlags[i] : d->singleFlags);
        std::array<float, 4> v{};
        std::memcpy(v.data(), d->pPosition + 4 * i, 16);
        b.position.push_back(v);
        if (d->pColor != nullptr) {
            std::memcpy(v.data(), d->pColor + 4 * i, 16);
            b.color.push_back(v);
        }
        if (d->pTexCoord != nullptr) {
            std::memcpy(v.data(), d->pTexCoord + 4 * i, 16);
            b.texCoord.push_back(v);
        }
        if (d->pIndex != nullptr) b.index.push_back(d->pIndex[i]);
        if (d->pNormal != nullptr) {
            std::array<float, 3> nv{};
            std::memcpy(nv.data(), d->pNormal + 3 * i, 12);
            b.normal.push_back(nv);
        }
        if (d->pEdgeFlag != nullptr) b.edgeFlag.push_back(d->pEdgeFlag[i]);
    }
    gBatches.push_back(std::move(b));
}

void _NExecInlinePrim(N_Context*, ULONG kind, ULONG format, ULONG n, const ULONG* pulData) {
    DrawPacket p{kind, format, n, {}, {}, {}, {}};
    N_GetStateBlockAttr(N_ATTR_COLOUR, p.color.data());
    N_GetStateBlockAttr(N_ATTR_NORMAL, p.normal.data());
    N_GetStateBlockAttr(N_ATTR_TEXCOORD, p.texCoord.data());
    p.words.assign(pulData, pulData + std::size_t{n} * _NAttrMaskWords(format));
    gDraws.push_back(std::move(p));
    // As the lgi layer's draw, the packet leaves its last vertex's edge flag
    // current.
    ULONG cb = 0;
    if (n == 0 || (format & N_VTX_CHANGEMASK)) return;
    if (const ULONG* pul = N_GetAttrPtr(N_VTX_EDGEFLAG, format, pulData + std::size_t{n - 1} * _NAttrMaskWords(format), &cb)) {
        const ULONG aul[4] = {*pul & 0xFFu, 0, 0, 0};
        N_SetStateBlockAttr(N_ATTR_EDGE_FLAG, aul);
    }
}

// --- the lgi layer's other parts not built yet ----------------------------------------------
void N_RasterPos(const float*) {}
void* _DAllocAccumBuffer(void) { return nullptr; }
// The GL server core's image transfers: no board buffers here.
GLBufferSet* _DBufferSetOf(const GLBuffer*) { return nullptr; }
ULONG _DGetImage(GLBufferSet*, ULONG, LONG, LONG, LONG, LONG, void*) { return 0; }
ULONG _DPutImage(GLBufferSet*, ULONG, LONG, LONG, LONG, LONG, void*) { return 0; }
ULONG _DPutImageZoom(GLBufferSet*, ULONG, LONG, LONG, LONG, LONG, LONG, LONG, const ULONG*, void*) { return 0; }
ULONG _DCopyImage(GLBufferSet*, ULONG, ULONG, LONG, LONG, LONG, LONG, LONG, LONG) { return 0; }
// The GL layer's texture loader: nothing on the board.
ULONG _DFindTexture(PDEV*, ULONG, ULONG, ULONG*) { return 0; }
ULONG _DLoadTexture(PDEV*, ULONG, ULONG, LONG, LONG, const void*, BOOL, const void*) { return 0; }
// The GL server core's scratch surfaces the micro-code generator asks for.
GLBuffer* _DCreateScratchPixmap(PDEV*) { return nullptr; }
GLBuffer* _DGetTmp32DevSurf(GLBuffer*) { return nullptr; }
void _DFreeScratchPixmap(GLBuffer** ppb) { *ppb = nullptr; }
GLSRVDEVICE* __glDeviceRecord(void) { return nullptr; }
// The buffer manager's binding, which a clear asks for.
BOOL _DBindBuffers(GLContext* gc, ULONG flBufferMask) {
    gc->flBufferMask = flBufferMask;
    return TRUE;
}

// --- the GL layer ------------------------------------------------------------------------------
__GLXdispatchFn* __glXRenderListTable = nullptr;
__GLXdispatchFn* __glXRenderBeginEndTable = nullptr;
const ULONG __glXGroupBlockSize[GLX_GROUPS] = {};
const std::array<__GLXsaverFn, GLX_GROUPS> __glXPushSavers = {};
void __glXValidateDraw(GLContext* gc) {
    ++gcValidations;
    gc->dirty = 0;
}
void __glXValidateTexture(GLContext*) {}
void __glXApplyGroups(GLContext*, GLState*, ULONG, N_Context*) {}
BOOL __glXPushClipPlanes(GLContext*) { return TRUE; }
BOOL __glDrawableSize(GLContext*, LONG*, LONG*) { return FALSE; }
BoardConfig* __glBoardConfig(GLContext*) { return nullptr; }
ULONG __glXStoreBatchInList(GLClient*, __GLXpacketBuffer* pBatch) {
    ++gcListBatches;
    if (gbListRefuses) return GLX_BAD_ACCESS;  // no list being compiled: the buffer stays the caller's
    if (gbListKeeps) gListKept.push_back(pBatch);
    else LocalFree(pBatch);  // the list would keep it
    return 0;
}
// The pixel unpack step the stipple request uses: not reached here.
ULONG __glXSetRequestUnpack(GLContext*, const BYTE*) { return 0; }
ULONG __glXUnpackImage(GLContext*, LONG, LONG, ULONG, ULONG, ULONG, const BYTE*, ULONG, __GLXimage*, BOOL) {
    return GL_OUT_OF_MEMORY;
}
void __glXFreeImage(__GLXimage*) {}
