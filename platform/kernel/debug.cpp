// The debug sink behind DbgPrint and OutputDebugStringA.
#include "platform/debug.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/kernel.h"

namespace vnx::debug {
namespace {

constexpr std::size_t kTextLimit = std::size_t{1} << 20;

struct Sink {
    std::mutex lock;
    std::string text;
    bool echo = std::getenv("VNX_DEBUG") != nullptr;
};

Sink& sink() {
    static Sink* s = new Sink;
    return *s;
}

}  // namespace

void write(const char* text) {
    if (text == nullptr) return;
    Sink& s = sink();
    std::lock_guard<std::mutex> g(s.lock);
    s.text += text;
    // A long run nobody takes the text of keeps its newest part.
    if (s.text.size() > kTextLimit) s.text.erase(0, s.text.size() - kTextLimit / 2);
    if (s.echo) std::fputs(text, stderr);
}

std::string take() {
    Sink& s = sink();
    std::lock_guard<std::mutex> g(s.lock);
    std::string out;
    out.swap(s.text);
    return out;
}

std::string peek() {
    Sink& s = sink();
    std::lock_guard<std::mutex> g(s.lock);
    return s.text;
}

void clear() {
    Sink& s = sink();
    std::lock_guard<std::mutex> g(s.lock);
    s.text.clear();
}

void set_echo(bool on) {
    Sink& s = sink();
    std::lock_guard<std::mutex> g(s.lock);
    s.echo = on;
}

}  // namespace vnx::debug

extern "C" ULONG DbgPrint(const char* Format, ...) {
    if (Format == nullptr) return 0;
    va_list args;
    va_start(args, Format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, Format, copy);
    va_end(copy);
    if (n < 0) {
        va_end(args);
        return 0;
    }
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), Format, args);
    va_end(args);
    vnx::debug::write(buf.data());
    return 0;  // STATUS_SUCCESS
}

extern "C" void OutputDebugStringA(LPCSTR lpOutputString) { vnx::debug::write(lpOutputString); }
