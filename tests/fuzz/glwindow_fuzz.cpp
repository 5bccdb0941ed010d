// Fuzz target of the GL command escape (OPENGL_CMD) as an application sends
// it on its window's device context: a real device, the window, the
// application's process with a segment and a context current on the window
// (glserver_fuzz.h). An input is a run of calls, each
//   byte 0      the sub-code (any value: the escape checks it)
//   byte 1      the flag word's low byte (OGLCMD_NEEDWNDOBJ, _NEEDXLATEOBJ)
//   byte 2      n: argument words that follow (bit 7: the input is padded
//               with zeros to the 1056 bytes GLCMD_SETLAYERPALETTEENTRIES takes)
//   4 n bytes   the arguments; glserver_fuzz's stand-in words name the
//               application's context, segment id and section
// The output is 1044 bytes, what the largest reply needs.
#include "glserver_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace glserver_fuzz;
    Client client;
    std::size_t off = 0;
    for (int cCalls = 0; off + 3 <= size && cCalls < 32; ++cCalls) {
        const ULONG ulSubEsc = data[off], fl = data[off + 1];
        const std::size_t cWords = data[off + 2] & 0x7F;
        const bool bPadded = (data[off + 2] & 0x80) != 0;
        off += 3;
        std::vector<ULONG> args(cWords, 0);
        for (std::size_t i = 0; i < cWords; ++i) args[i] = Word(data, size, off + 4 * i);
        off += 4 * cWords;
        std::vector<BYTE> in = glapp::Request(ulSubEsc, args, fl);
        if (bPadded && in.size() < 1056) in.resize(1056, 0);
        client.Substitute(in, GLCMD_ARGS);
        std::vector<BYTE> out(1044);
        client.app.Escape(OPENGL_CMD, in, &out);
    }
    return 0;
}
