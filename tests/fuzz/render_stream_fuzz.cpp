// Fuzz target of the render stream of a half. An input is:
//   byte 0      bit 0: the context is inside Begin/End (the fast path);
//               bit 1: the write offset is bytes 1-4 as given, not the end
//               of the commands; bit 2: the read offset is bytes 5-8
//   bytes 9..   the commands, written at the half's first command
#include "segment_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace segment_fuzz;
    if (size < 9) return 0;
    Harness& h = Get();
    Place(h, data, size, 9);
    if (data[0] & 2) Header(h)->writeOffset = Word(data, size, 1);
    if (data[0] & 4) Header(h)->readOffset = Word(data, size, 5);
    h.gc.pRenderTable = (data[0] & 1) ? h.beginEnd.data() : h.render.data();
    __glRunHalf(h.pgc);
    Done();
    return 0;
}
