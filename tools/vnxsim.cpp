// vnxsim: boots the simulated machine and runs the drivers on it.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/debug.h"
#include "platform/kernel.h"
#include "platform/process.h"

namespace {

void usage(FILE* out) {
    std::fprintf(out,
                 "usage: vnxsim [options]\n"
                 "  --debug    print the drivers' debug output to standard error\n"
                 "  --help     show this text\n");
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        }
        if (arg == "--debug") {
            vnx::debug::set_echo(true);
            continue;
        }
        std::fprintf(stderr, "vnxsim: unknown option '%s'\n", argv[i]);
        usage(stderr);
        return 2;
    }
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    std::printf("vnxsim: platform booted: server process %u, %u processors, page size %u\n",
                static_cast<unsigned>(vnx::process::server_id()),
                static_cast<unsigned>(si.dwNumberOfProcessors),
                static_cast<unsigned>(si.dwPageSize));
    std::printf("vnxsim: no display driver to load yet\n");
    return 0;
}
