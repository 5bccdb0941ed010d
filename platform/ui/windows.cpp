// The window table of the user-interface model: every window and control an
// applet's dialogs make, what each shows, and the calls that read and change
// them (EnableWindow, GetDlgItem, SetWindowTextA, SendMessageA, and the
// user's clicks, typing and choices).
//
// Handlers run outside the table's lock: a handler may make, change and
// destroy windows.
#include <algorithm>
#include <cstdint>
#include <map>
#include <mutex>

#include "model.h"
#include "platform/faults.h"
#include "platform/process.h"
#include "platform/windows.h"

namespace vnx::ui {
namespace {

struct Table {
    std::mutex lock;
    std::map<std::uintptr_t, Node> nodes;
    std::vector<HWND> order;  // creation order
    std::map<DWORD, int> watched;  // processes whose end drops their windows
};

Table& table() {
    static Table* t = new Table;
    return *t;
}

std::uintptr_t key(HWND h) { return reinterpret_cast<std::uintptr_t>(h); }

// The live node of hwnd (lock held); the calling process's windows only.
Node* find_locked(HWND hwnd) {
    auto& t = table();
    auto it = t.nodes.find(key(hwnd));
    if (it == t.nodes.end() || vnx::windows::owner(hwnd) != vnx::process::current()) return nullptr;
    return &it->second;
}

// The radio buttons of the group that holds `radio` (lock held).
std::vector<Node*> radio_group_locked(HWND radio) {
    auto& t = table();
    Node* n = find_locked(radio);
    if (n == nullptr || n->info.kind != Kind::Radio) return {};
    std::vector<Node*> siblings;
    for (HWND h : t.order) {
        Node* s = find_locked(h);
        if (s != nullptr && s->info.parent == n->info.parent) siblings.push_back(s);
    }
    auto at = std::find(siblings.begin(), siblings.end(), n);
    auto first = at;
    while (!(*first)->group && first != siblings.begin() && (*(first - 1))->info.kind == Kind::Radio)
        --first;
    std::vector<Node*> group;
    for (auto it = first; it != siblings.end() && (*it)->info.kind == Kind::Radio; ++it) {
        if (it != first && (*it)->group) break;
        group.push_back(*it);
    }
    return group;
}

LRESULT send_to_object(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = object_of(hwnd);
    return w != nullptr ? w->Handle(msg, wParam, lParam) : 0;
}

// A user's action on an enabled control of dialog; then BN_CLICKED to the
// dialog when `notify`.
bool act(HWND dialog, int id, bool notify, const std::function<bool(Node&)>& change) {
    HWND hctl = GetDlgItem(dialog, id);
    bool done = false;
    {
        auto& t = table();
        std::lock_guard<std::mutex> g(t.lock);
        Node* n = find_locked(hctl);
        if (n == nullptr || !n->info.enabled) return false;
        done = change(*n);
    }
    if (done && notify)
        send_to_object(dialog, WM_COMMAND, (static_cast<WPARAM>(BN_CLICKED) << 16) | static_cast<WORD>(id),
                       reinterpret_cast<LPARAM>(hctl));
    return done;
}

// A process has ended: its windows are gone (the window model destroyed
// them); their objects are not called.
void forget_process(DWORD pid) {
    auto& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    t.watched.erase(pid);
    std::vector<HWND> kept;
    for (HWND h : t.order) {
        auto it = t.nodes.find(key(h));
        if (it->second.owner == pid) {
            if (it->second.object != nullptr) WindowAccess::set(it->second.object, nullptr);
            t.nodes.erase(it);
        } else {
            kept.push_back(h);
        }
    }
    t.order = std::move(kept);
}

}  // namespace

HWND make_window(HWND parent, const RECTL& rc, Kind kind, int id, DWORD style,
                 const std::string& text, Window* object) {
    if (vnx::faults::should_fail("CreateWindow")) return nullptr;
    RECTL screen = rc;
    if (parent != nullptr) {
        RECTL prc{};
        if (!vnx::windows::client_rect(parent, &prc)) return nullptr;
        screen = RECTL{prc.left + rc.left, prc.top + rc.top, prc.left + rc.right, prc.top + rc.bottom};
    }
    HWND h = vnx::windows::create(screen);
    if (h == nullptr) return nullptr;
    const DWORD pid = vnx::process::current();
    auto& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    if (t.watched.count(pid) == 0)
        t.watched[pid] = vnx::process::on_exit(pid, [pid] { forget_process(pid); });
    Node n;
    n.owner = pid;
    n.info.hwnd = h;
    n.info.parent = parent;
    n.info.id = id;
    n.info.kind = kind;
    n.info.style = style;
    n.info.text = text;
    n.object = object;
    t.nodes[key(h)] = std::move(n);
    t.order.push_back(h);
    return h;
}

bool with_node(HWND hwnd, const std::function<void(Node&)>& fn) {
    auto& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    Node* n = find_locked(hwnd);
    if (n == nullptr) return false;
    fn(*n);
    return true;
}

Window* object_of(HWND hwnd) {
    Window* w = nullptr;
    with_node(hwnd, [&](Node& n) { w = n.object; });
    return w;
}

void destroy_window(HWND hwnd) {
    Window* w = object_of(hwnd);
    if (w == nullptr && !with_node(hwnd, [](Node&) {})) return;
    if (w != nullptr) w->Handle(WM_DESTROY, 0, 0);
    for (HWND child : children(hwnd)) destroy_window(child);
    {
        auto& t = table();
        std::lock_guard<std::mutex> g(t.lock);
        if (find_locked(hwnd) == nullptr) return;  // a handler destroyed it already
        t.nodes.erase(key(hwnd));
        t.order.erase(std::remove(t.order.begin(), t.order.end(), hwnd), t.order.end());
    }
    vnx::windows::destroy(hwnd);
    if (w != nullptr) WindowAccess::set(w, nullptr);
}

bool info(HWND hwnd, WindowInfo* pinfo) {
    return with_node(hwnd, [&](Node& n) { *pinfo = n.info; });
}

std::vector<HWND> children(HWND hwnd) {
    auto& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    std::vector<HWND> out;
    for (HWND h : t.order) {
        const Node* n = find_locked(h);
        if (n != nullptr && n->info.parent == hwnd && hwnd != nullptr) out.push_back(h);
    }
    return out;
}

size_t live_windows() {
    auto& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    return t.nodes.size();
}

bool click(HWND dialog, int id) {
    return act(dialog, id, true, [](Node& n) {
        switch (n.info.kind) {
        case Kind::Check:
            n.info.checked = n.info.checked ? 0 : 1;
            return true;
        case Kind::Radio:
            for (Node* r : radio_group_locked(n.info.hwnd)) r->info.checked = 0;
            n.info.checked = 1;
            return true;
        case Kind::Button:
            return true;
        default:
            return false;
        }
    });
}

bool type(HWND dialog, int id, const std::string& text) {
    return act(dialog, id, false, [&](Node& n) {
        if (n.info.kind != Kind::Edit) return false;
        n.info.text = text;
        return true;
    });
}

bool choose(HWND dialog, int id, int index) {
    return act(dialog, id, false, [&](Node& n) {
        if (n.info.kind != Kind::DropList || index < 0 ||
            static_cast<size_t>(index) >= n.info.items.size())
            return false;
        n.info.selection = index;
        return true;
    });
}

void paint(HWND hwnd) { send_to_object(hwnd, WM_PAINT, 0, 0); }

// The checked index of the radio group that starts at `first`; -1 none.
int radio_index(HWND first) {
    auto& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    const auto group = radio_group_locked(first);
    for (size_t i = 0; i < group.size(); ++i)
        if (group[i]->info.checked) return static_cast<int>(i);
    return -1;
}

void set_radio_index(HWND first, int index) {
    auto& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    const auto group = radio_group_locked(first);
    for (size_t i = 0; i < group.size(); ++i) group[i]->info.checked = static_cast<int>(i) == index;
}

}  // namespace vnx::ui

using vnx::ui::Node;
using vnx::ui::with_node;

extern "C" BOOL EnableWindow(HWND hWnd, BOOL bEnable) {
    BOOL wasDisabled = FALSE;
    if (!with_node(hWnd, [&](Node& n) {
            wasDisabled = !n.info.enabled;
            n.info.enabled = bEnable != FALSE;
        }))
        SetLastError(ERROR_INVALID_HANDLE);
    return wasDisabled;
}

extern "C" BOOL IsWindowEnabled(HWND hWnd) {
    BOOL enabled = FALSE;
    with_node(hWnd, [&](Node& n) { enabled = n.info.enabled; });
    return enabled;
}

extern "C" HWND GetDlgItem(HWND hDlg, INT nIDDlgItem) {
    for (HWND h : vnx::ui::children(hDlg)) {
        vnx::ui::WindowInfo wi;
        if (vnx::ui::info(h, &wi) && wi.id == nIDDlgItem) return h;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

extern "C" BOOL SetWindowTextA(HWND hWnd, LPCSTR lpString) {
    return with_node(hWnd, [&](Node& n) { n.info.text = lpString != nullptr ? lpString : ""; });
}

extern "C" LRESULT SendMessageA(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return vnx::ui::send_to_object(hWnd, msg, wParam, lParam);
}

extern "C" BOOL DestroyWindow(HWND hWnd) {
    if (!with_node(hWnd, [](Node&) {})) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    vnx::ui::destroy_window(hWnd);
    return TRUE;
}
