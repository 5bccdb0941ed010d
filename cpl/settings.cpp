// The board settings: the record the driver answered, the copy the pages
// edit, the comparison that decides whether to write and whether a restart
// is needed, and the escape that carries the record both ways.
#include <cstdarg>
#include <cstdio>

#include "escapes.h"
#include "qrncp.h"
#include "text.h"

namespace qrncp {

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    char buf[1024];
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    return buf;
}

int ExchangeBoardConfig(HWND hwnd, const BoardConfig& in, BoardConfig* out) {
    HDC hdc = GetDC(hwnd);
    if (hdc == nullptr) return 0;
    const int answer = ExtEscape(hdc, ESC_BOARDCONFIG, sizeof(BoardConfig),
                                 reinterpret_cast<LPCSTR>(&in), sizeof(BoardConfig),
                                 reinterpret_cast<LPSTR>(out));
    ReleaseDC(hwnd, hdc);
    return answer;
}

int ReadBoardConfig(HWND hwnd, BoardConfig* out) {
    BoardConfig in{};
    in.op = BOARDCONFIG_READ;
    return ExchangeBoardConfig(hwnd, in, out);
}

void BoardSettings::LoadFromDriver(const BoardConfig& record) {
    driverVersion.clear();
    for (std::uint32_t word : record.driverVersion) {
        const char c = static_cast<char>(word & 0xFF);
        if (c == '\0') break;
        driverVersion += c;
    }
    appletVersion = kAppletVersion;
    BoardConfig clean = record;
    if (clean.textureMode > TEXMODE_NOHARDWARE) clean.textureMode = TEXMODE_PERFORMANCE;
    if (clean.zDepth != 0 && clean.zDepth != 16 && clean.zDepth != 24) {
        clean.zDepth = 16;
        clean.currentZDepth = 16;
    }
    current = clean;
    edited = clean;
}

namespace {

// A setting the pages edit: a whole word, or one bit of the flags word, and
// whether a change of it takes effect only after a restart.
struct EditedField {
    std::uint32_t BoardConfig::*field;
    std::uint32_t mask;
    bool restart;
};

const EditedField kEditedFields[] = {
    {&BoardConfig::zDepth, ~0u, true},
    {&BoardConfig::textureMode, ~0u, true},
    {&BoardConfig::alphaBuffer, ~0u, true},
    {&BoardConfig::stencilBuffer, ~0u, true},
    {&BoardConfig::offscreenBitmaps, ~0u, true},
    {&BoardConfig::doubleBuffer, ~0u, true},
    {&BoardConfig::flags, BCF_HW_OPTION, true},
    {&BoardConfig::syncSwapToVBlank, ~0u, true},
    {&BoardConfig::flags, BCF_DUAL_MONITOR, true},
    {&BoardConfig::flags, BCF_MIPMAP, true},
    {&BoardConfig::flags, BCF_AA_LINES, false},
    {&BoardConfig::modelImprecision, ~0u, false},
    {&BoardConfig::cadModelerOptimize, ~0u, false},
    {&BoardConfig::stereoMode, ~0u, true},
};

}  // namespace

int BoardSettings::IsChanged() {
    // Every field is looked at, so a change that needs a restart is not
    // hidden by one that does not.
    int changed = 0;
    for (const EditedField& f : kEditedFields) {
        if (((current.*f.field ^ edited.*f.field) & f.mask) == 0) continue;
        changed = 1;
        if (f.restart) restartNeeded = 1;
    }
    return changed;
}

int BoardSettings::WriteBack(HWND hwnd) {
    edited.op = BOARDCONFIG_WRITE;
    BoardConfig scratch{};
    return ExchangeBoardConfig(hwnd, edited, &scratch);
}

}  // namespace qrncp
