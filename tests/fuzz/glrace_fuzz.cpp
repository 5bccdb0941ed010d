// Fuzz target of a client that rewrites its request segment and its
// primitive ring while its requests run: on a real device and window
// (glserver_fuzz.h) the application maps a ring, then the input's stream is
// run as a half, as a single request and as a large command in turn while
// another thread of the client keeps writing the input's rewrites into the
// half (its header included) and into the ring. The server must read every
// value it checks once: whatever the rewrites hit, nothing outside the
// request is read or written. An input is:
//   bytes 0-1   n: bytes of the stream
//   n bytes     the stream, written at the half's first command
//   the rest    rewrites of 8 bytes: u16 where (bit 15 set: in the ring,
//               at 4 x the low 15 bits; else in the half, at the low bits
//               rounded to 4), u16 unused, u32 the value
#include <atomic>
#include <thread>

#include "glserver_fuzz.h"
#include "primsegment.h"

namespace {

struct Rewrite {
    bool bRing;
    std::uint32_t off;
    std::uint32_t value;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace glserver_fuzz;
    if (size < 2) return 0;
    const std::size_t cjStream = std::min<std::size_t>(data[0] | data[1] << 8, size - 2);
    if (cjStream + 8 > SM_LIMIT - SM_FIRST_COMMAND) return 0;
    Client client;
    if (!client.bStarted) __builtin_trap();
    glapp::Thread& t = client.thread;
    // The ring: the application's section, mapped by the server too.
    BYTE* pjRing = nullptr;
    {
        vnx::process::Scope as(client.app.pid());
        HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_COMMIT, 0,
                                      PRIM_SEGMENT_SIZE, nullptr);
        if (h != nullptr) pjRing = static_cast<BYTE*>(MapViewOfFile(h, FILE_MAP_WRITE, 0, 0, 0));
        if (pjRing == nullptr) __builtin_trap();
        client.app.Cmd(GLCMD_CREATEPRIMSEGMENT, {static_cast<ULONG>(reinterpret_cast<std::uintptr_t>(h)), PRIM_SEGMENT_SIZE});
    }
    std::vector<Rewrite> rewrites;
    for (std::size_t off = 2 + cjStream; off + 8 <= size && rewrites.size() < 64; off += 8) {
        const std::uint32_t where = data[off] | data[off + 1] << 8;
        const bool bRing = (where & 0x8000) != 0;
        rewrites.push_back(Rewrite{bRing, bRing ? 4 * (where & 0x7FFF) : (where & 0x7FFC), Word(data, size, off + 4)});
    }
    std::vector<BYTE> stream(data + 2, data + 2 + cjStream);
    client.Substitute(stream, 0);
    BYTE* pjHalf = t.View();
    std::atomic<bool> bRun{true};
    std::thread rewriter([&] {
        while (bRun.load(std::memory_order_relaxed))
            for (const Rewrite& r : rewrites) {
                BYTE* pj = r.bRing ? pjRing + r.off : pjHalf + r.off;
                std::atomic_ref<std::uint32_t>(*reinterpret_cast<std::uint32_t*>(pj)).store(r.value, std::memory_order_relaxed);
            }
    });
    for (ULONG ulSubEsc : {GLCMD_PROCESSSMREQUESTS, GLCMD_SINGLE, GLCMD_RENDERLARGE}) {
        if (!stream.empty()) std::memcpy(pjHalf + SM_FIRST_COMMAND, stream.data(), stream.size());
        SMSegmentHeader* ph = t.Header();
        ph->limit = SM_LIMIT;
        ph->readOffset = SM_FIRST_COMMAND;
        ph->writeOffset = SM_FIRST_COMMAND + static_cast<ULONG>(stream.size());
        ph->clientData = 0;
        ph->clientDataSize = 0;
        client.app.Cmd(ulSubEsc);
    }
    bRun = false;
    rewriter.join();
    return 0;
}
