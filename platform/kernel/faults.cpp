// Failure injection: armed points and call counts.
#include "platform/faults.h"

#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace vnx::faults {

std::atomic<bool> gWatching{false};

namespace {

struct Armed {
    int skip;
    int count;  // < 0: fail for ever
};

struct State {
    std::mutex lock;
    std::map<std::string, Armed, std::less<>> armed;
    std::map<std::string, int, std::less<>> calls;
    int scopes = 0;
};

State& state() {
    static State* s = new State;  // outlives every static destructor that may call in
    return *s;
}

// Points are watched while a Scope lives or a point is armed (lock held).
void update_watching(State& s) {
    gWatching.store(s.scopes > 0 || !s.armed.empty(), std::memory_order_relaxed);
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

void count(State& s, std::string_view point) {
    auto it = s.calls.find(point);
    if (it == s.calls.end()) it = s.calls.emplace(std::string(point), 0).first;
    ++it->second;
}

}  // namespace

void arm(const char* point, int skip, int count) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    s.armed[point] = Armed{skip < 0 ? 0 : skip, count};
    update_watching(s);
}

void clear() {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    s.armed.clear();
    s.calls.clear();
    update_watching(s);
}

void begin_watch() {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    ++s.scopes;
    update_watching(s);
}

void end_watch() {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    if (s.scopes > 0) --s.scopes;
    update_watching(s);
}

bool should_fail_watched(const char* point) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    const std::string_view name(point);
    count(s, name);
    count(s, "*");
    bool fail = false;
    if (auto it = s.armed.find(name); it != s.armed.end()) fail = consume(it->second);
    if (auto it = s.armed.find(std::string_view("*")); it != s.armed.end())
        fail = consume(it->second) || fail;
    return fail;
}

int calls(const char* point) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    auto it = s.calls.find(std::string_view(point));
    return it == s.calls.end() ? 0 : it->second;
}

}  // namespace vnx::faults
