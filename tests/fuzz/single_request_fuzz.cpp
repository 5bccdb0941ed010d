// Fuzz target of single requests and their replies. An input is:
//   byte 0      the context's state: bit 0 inside Begin/End, bits 1-2 the
//               render mode (render, feedback, select), bit 3 a selection
//               hit is reported after the request (names from the input)
//   bytes 1-4   the segment's limit; bytes 5-8 its read offset when byte 0
//               bit 4 is set; bytes 9-12 clientData (bit 5: the client's
//               memory, else as given)
//   bytes 13..  the request, written at the half's first command
// The context's feedback and select buffers and mode carry over from one
// input to the next, as they would between a client's requests.
#include "segment_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace segment_fuzz;
    if (size < 13) return 0;
    Harness& h = Get();
    const ULONG cj = Place(h, data, size, 13);
    SMSegmentHeader* ph = Header(h);
    ph->limit = Word(data, size, 1);
    if (data[0] & 0x10) ph->readOffset = Word(data, size, 5);
    ph->clientData = (data[0] & 0x20)
                         ? static_cast<ULONG>(reinterpret_cast<std::uintptr_t>(h.pjClient))
                         : Word(data, size, 9);
    h.gc.bInBegin = data[0] & 1;
    const ULONG modes[] = {GL_RENDER, GL_FEEDBACK, GL_SELECT, GL_RENDER};
    const ULONG mode = modes[(data[0] >> 1) & 3];
    // A mode needs its buffer, as RenderMode leaves it.
    if ((mode != GL_FEEDBACK || h.gc.pFeedbackBuffer != nullptr) &&
        (mode != GL_SELECT || h.gc.pSelectBuffer != nullptr))
        h.gc.renderMode = mode;
    __glSingleRequest(h.pgc);
    if ((data[0] & 8) && h.gc.renderMode == GL_SELECT) {
        std::vector<ULONG> names(cj / 4);
        if (!names.empty()) std::memcpy(names.data(), data + 13, names.size() * 4);
        __glXSelectHit(&h.gc, names.data(), static_cast<ULONG>(names.size()), cj / 4, 1000000000u);
    }
    Done();
    return 0;
}
