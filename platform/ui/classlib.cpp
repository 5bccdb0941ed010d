// The class library under an applet's windows: window objects with their
// message handlers, dialog data exchange, property pages made from dialog
// resources, modal property sheets, and the application object that holds a
// module's resources.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

#include "model.h"

namespace vnx::ui {
namespace {

// Dialog units to pixels for the 8-point dialog font.
LONG dlu_x(int v) { return v * 3 / 2; }
LONG dlu_y(int v) { return v * 13 / 8; }
// Controls are stacked one row each inside their dialog.
constexpr LONG kRow = 14;

struct Registry {
    std::mutex lock;
    std::map<std::uintptr_t, const Resources*> modules;
    std::uintptr_t next = 0x40000;
    SheetUser sheetUser;
};

Registry& registry() {
    static Registry* r = new Registry;
    return *r;
}

}  // namespace

const DialogTemplate* Resources::dialog(int id) const {
    for (const DialogTemplate& d : dialogs)
        if (d.id == id) return &d;
    return nullptr;
}

const BitmapResource* Resources::bitmap(int id) const {
    for (const BitmapResource& b : bitmaps)
        if (b.id == id) return &b;
    return nullptr;
}

const Resources* resources(HINSTANCE instance) {
    auto& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    auto it = r.modules.find(reinterpret_cast<std::uintptr_t>(instance));
    return it == r.modules.end() ? nullptr : it->second;
}

Application::Application(const Resources* res) {
    auto& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    instance_ = reinterpret_cast<HINSTANCE>(r.next);
    r.next += 4;
    r.modules[reinterpret_cast<std::uintptr_t>(instance_)] = res;
}

Application::~Application() {
    auto& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    r.modules.erase(reinterpret_cast<std::uintptr_t>(instance_));
}

void set_sheet_user(SheetUser user) {
    auto& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    r.sheetUser = std::move(user);
}

// --- windows ----------------------------------------------------------------------

Window::Window() = default;

Window::~Window() {
    if (hwnd_ != nullptr) destroy_window(hwnd_);
}

bool Window::Create(DWORD style, const char* name, const RECTL& rc, Window* parent, int id) {
    if (hwnd_ != nullptr) return false;
    style = PreCreate(style);
    HWND h = make_window(parent != nullptr ? parent->hwnd() : nullptr, rc, Kind::Window, id, style,
                         name != nullptr ? name : "", this);
    if (h == nullptr) return false;
    hwnd_ = h;
    if (Handle(WM_CREATE, 0, 0) == -1) {
        destroy_window(h);
        hwnd_ = nullptr;
        return false;
    }
    return true;
}

void Window::Destroy() {
    if (hwnd_ != nullptr) destroy_window(hwnd_);
}

int Window::OnCreate() { return 0; }
void Window::OnDestroy() {}
void Window::OnPaint() {}
bool Window::OnCommand(int) { return false; }

LRESULT Window::Handle(UINT msg, WPARAM wParam, LPARAM) {
    switch (msg) {
    case WM_CREATE:
        return OnCreate();
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_COMMAND:
        if ((wParam >> 16) == BN_CLICKED) return OnCommand(static_cast<int>(wParam & 0xFFFF)) ? 1 : 0;
        return 0;
    case WM_INITDIALOG:
        return OnInitDialog();
    default:
        return 0;
    }
}

// --- data exchange ------------------------------------------------------------------

HWND DataExchange::control(int id) {
    HWND h = GetDlgItem(hDlg_, id);
    if (h == nullptr) ok_ = false;
    return h;
}

void DataExchange::Text(int id, std::string& value) {
    HWND h = control(id);
    if (h == nullptr) return;
    with_node(h, [&](Node& n) {
        if (save_) value = n.info.text;
        else n.info.text = value;
    });
}

void DataExchange::Text(int id, int& value) {
    std::string text = std::to_string(value);
    Text(id, text);
    if (!save_) return;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < INT32_MIN || v > INT32_MAX) ok_ = false;
    else value = static_cast<int>(v);
}

void DataExchange::Text(int id, float& value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", static_cast<double>(value));
    std::string text = buf;
    Text(id, text);
    if (!save_) return;
    char* end = nullptr;
    const float v = std::strtof(text.c_str(), &end);
    if (text.empty() || *end != '\0') ok_ = false;
    else value = v;
}

void DataExchange::Check(int id, int& value) {
    HWND h = control(id);
    if (h == nullptr) return;
    with_node(h, [&](Node& n) {
        if (save_) value = n.info.checked;
        else n.info.checked = value != 0;
    });
}

void DataExchange::Radio(int id, int& value) {
    HWND h = control(id);
    if (h == nullptr) return;
    if (save_) value = radio_index(h);
    else set_radio_index(h, value);
}

void DataExchange::ListIndex(int id, int& value) {
    HWND h = control(id);
    if (h == nullptr) return;
    with_node(h, [&](Node& n) {
        if (save_) {
            value = n.info.selection;
        } else {
            const bool in = value >= 0 && static_cast<size_t>(value) < n.info.items.size();
            n.info.selection = in ? value : -1;
        }
    });
}

// --- property pages -----------------------------------------------------------------

PropertyPage::PropertyPage(HINSTANCE res, int dialogId) : resources_(res), dialogId_(dialogId) {}

PropertyPage::~PropertyPage() = default;

std::string PropertyPage::title() const {
    const Resources* r = resources(resources_);
    const DialogTemplate* d = r != nullptr ? r->dialog(dialogId_) : nullptr;
    return d != nullptr ? d->title : std::string();
}

bool PropertyPage::UpdateData(bool save) {
    if (hwnd_ == nullptr) return false;
    DataExchange dx(hwnd_, save);
    DoDataExchange(dx);
    return dx.ok();
}

BOOL PropertyPage::OnInitDialog() {
    UpdateData(false);
    return TRUE;
}

BOOL PropertyPage::OnSetActive() {
    UpdateData(false);
    return TRUE;
}

BOOL PropertyPage::OnKillActive() { return UpdateData(true) ? TRUE : FALSE; }

bool PropertyPage::CreatePage(Window* parent) {
    const Resources* r = resources(resources_);
    const DialogTemplate* d = r != nullptr ? r->dialog(dialogId_) : nullptr;
    if (d == nullptr) return false;
    if (!Create(WS_CHILD, d->title.c_str(), RECTL{0, 0, dlu_x(d->cx), dlu_y(d->cy)}, parent,
                dialogId_))
        return false;
    LONG y = 8;
    for (const ControlTemplate& c : d->controls) {
        HWND h = make_window(hwnd_, RECTL{8, y, dlu_x(d->cx) - 8, y + kRow - 2}, c.kind, c.id,
                             WS_CHILD | WS_VISIBLE, c.text, nullptr);
        if (h == nullptr) {
            Destroy();
            return false;
        }
        y += kRow;
        auto items = d->listData.find(c.id);
        with_node(h, [&](Node& n) {
            n.info.enabled = !c.disabled;
            n.group = c.group;
            if (items != d->listData.end()) n.info.items = items->second;
        });
    }
    Handle(WM_INITDIALOG, 0, 0);
    return true;
}

// --- property sheets ----------------------------------------------------------------

PropertySheet::PropertySheet(HINSTANCE res, int captionId, HWND parent)
    : resources_(res), parent_(parent) {
    const Resources* r = resources(res);
    if (r != nullptr) {
        auto it = r->strings.find(captionId);
        if (it != r->strings.end()) caption_ = it->second;
    }
}

PropertySheet::~PropertySheet() = default;

void PropertySheet::AddPage(PropertyPage* page) { pages_.push_back(page); }

INT PropertySheet::DoModal() {
    result_ = 0;
    active_ = 0;
    if (!Create(0, caption_.c_str(), RECTL{100, 100, 100 + dlu_x(350), 100 + dlu_y(215)}, nullptr,
                0))
        return -1;
    if (!pages_.empty() && pages_[0]->CreatePage(this)) pages_[0]->OnSetActive();
    SheetUser user;
    {
        auto& r = registry();
        std::lock_guard<std::mutex> g(r.lock);
        user = r.sheetUser;
    }
    if (user) user(*this);
    if (result_ == 0) result_ = IDCANCEL;
    Destroy();
    return result_;
}

bool PropertySheet::Select(size_t i) {
    if (result_ != 0 || i >= pages_.size()) return false;
    if (i == active_) return true;
    if (!pages_[active_]->OnKillActive()) return false;
    PropertyPage* next = pages_[i];
    if (next->hwnd() == nullptr && !next->CreatePage(this)) return false;
    active_ = i;
    next->OnSetActive();
    return true;
}

bool PropertySheet::PressOk() {
    if (result_ != 0) return false;
    if (!pages_.empty() && !pages_[active_]->OnKillActive()) return false;
    result_ = IDOK;
    return true;
}

void PropertySheet::PressCancel() {
    if (result_ == 0) result_ = IDCANCEL;
}

}  // namespace vnx::ui
