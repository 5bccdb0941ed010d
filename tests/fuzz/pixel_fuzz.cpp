// Fuzz target of the pixel requests: the pixel rectangles, pixel maps,
// pixel transfer and pixel store, and the queries that pack images into a
// reply. An input is:
//   byte 0     the request: 0 DrawPixels, 1 Bitmap, 2 CopyPixels, 3-5
//              PixelMapfv/uiv/usv, 6 PixelTransferf, then the single
//              requests 7 ReadPixels, 8 GetPolygonStipple, 9-11
//              GetPixelMapfv/uiv/usv, 12 PixelStorei
//   byte 1     the visual and mode: bit 0 no stencil, bit 1 no depth, bit 2
//              no alpha, bit 3 colour-index, bit 4 selecting
//   the rest   the request. A render request is handed over in a buffer of
//              exactly its size with its length kept inside it (as the
//              render stream promises); a single request is written into
//              the half and run through the segment's single-request
//              decoder.
// The context's pixel-store state carries over from one input to the next,
// as it would between a client's requests.
#include "dispatch/dispatch.h"
#include "pixel/pixel.h"
#include "segment/segment.h"
#include "segment_fuzz.h"

namespace {

struct RenderRow {
    USHORT opcode;
    __GLXdispatchFn fn;
};
const RenderRow kRender[] = {
    {173, __glXDisp_DrawPixels}, {5, __glXDisp_Bitmap},        {172, __glXDisp_CopyPixels},
    {168, __glXDisp_PixelMapfv}, {169, __glXDisp_PixelMapuiv}, {170, __glXDisp_PixelMapusv},
    {166, __glXDisp_PixelTransferf},
};
const BYTE kSingle[] = {111, 128, 125, 126, 127, 110};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace segment_fuzz;
    if (size < 6 || size > 0x10000) return 0;
    Harness& h = Get();
    static bool bTables = [&h] {
        h.single[111] = __glXDisp_ReadPixels;
        h.single[110] = __glXDisp_PixelStorei;
        h.single[125] = __glXDisp_GetPixelMapfv;
        h.single[126] = __glXDisp_GetPixelMapuiv;
        h.single[127] = __glXDisp_GetPixelMapusv;
        h.single[128] = __glXDisp_GetPolygonStipple;
        return true;
    }();
    (void)bTables;
    static GLVisual vis{};
    vis.bRGBA = (data[1] & 8) == 0;
    vis.cRedBits = vis.cGreenBits = vis.cBlueBits = 8;
    vis.cAlphaBits = (data[1] & 4) ? 0 : 8;
    vis.cDepthBits = (data[1] & 2) ? 0 : 24;
    vis.cStencilBits = (data[1] & 1) ? 0 : 8;
    h.gc.pvis = &vis;
    h.gc.renderMode = (data[1] & 0x10) ? GL_SELECT : GL_RENDER;
    h.gc.bInBegin = 0;
    const std::size_t which = data[0] % (std::size(kRender) + std::size(kSingle));
    if (which < std::size(kRender)) {
        std::vector<std::uint8_t> request(data + 2, data + size);
        if (request.size() < 4) return 0;
        USHORT cj;
        std::memcpy(&cj, request.data(), 2);
        if (cj < 4 || cj > request.size()) {
            cj = static_cast<USHORT>(request.size());
            std::memcpy(request.data(), &cj, 2);
        }
        std::memcpy(request.data() + 2, &kRender[which].opcode, 2);
        request.resize(cj);
        // Run as the decoder runs it: its length checked first.
        static std::vector<__GLXdispatchFn> table(GLX_RENDER_ENTRIES, __glXDisp_BadRender);
        table[kRender[which].opcode] = kRender[which].fn;
        __glXDispatchRender(h.pgc, table.data(), request.data());
    } else {
        const ULONG cj = Place(h, data, size, 2);
        if (cj < 8) return 0;
        h.pgc->pHeader[SM_FIRST_COMMAND + 1] = kSingle[which - std::size(kRender)];
        SMSegmentHeader* ph = Header(h);
        ph->clientData = static_cast<ULONG>(reinterpret_cast<std::uintptr_t>(h.pjClient));
        __glSingleRequest(h.pgc);
    }
    Done();
    return 0;
}
