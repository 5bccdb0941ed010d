// Failure injection: armed points and call counts.
#include "platform/faults.h"

#include <map>
#include <mutex>
#include <string>

namespace vnx::faults {
namespace {

struct Armed {
    int skip;
    int count;  // < 0: fail for ever
};

struct State {
    std::mutex lock;
    std::map<std::string, Armed> armed;
    std::map<std::string, int> calls;
};

State& state() {
    static State* s = new State;  // outlives every static destructor that may call in
    return *s;
}

// Consumes one call of an armed entry; answers whether that call fails.
bool consume(Armed& a) {
    if (a.skip > 0) {
        --a.skip;
        return false;
    }
    if (a.count == 0) return false;
    if (a.count > 0) --a.count;
    return true;
}

}  // namespace

void arm(const char* point, int skip, int count) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    s.armed[point] = Armed{skip < 0 ? 0 : skip, count};
}

void clear() {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    s.armed.clear();
    s.calls.clear();
}

bool should_fail(const char* point) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    ++s.calls[point];
    ++s.calls["*"];
    bool fail = false;
    if (auto it = s.armed.find(point); it != s.armed.end()) fail = consume(it->second);
    if (auto it = s.armed.find("*"); it != s.armed.end()) fail = consume(it->second) || fail;
    return fail;
}

int calls(const char* point) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    auto it = s.calls.find(point);
    return it == s.calls.end() ? 0 : it->second;
}

}  // namespace vnx::faults
