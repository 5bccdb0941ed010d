// Text pictures of the applet's windows. Each control is one line: its id
// where it can be acted on, then how it looks (check boxes [x], radio
// buttons (o), buttons [ Text ], lists < choice >), "(off)" when disabled.
// A label followed by the value it names share a line.
#include "render.h"

#include <cstdio>
#include <string>
#include <vector>

namespace cli {

namespace {

std::string plain(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != '&') out += c;
    return out;
}

// One line of text with escapes shown, for texts that hold line breaks.
std::string indent(const std::string& text, const char* prefix) {
    std::string out = prefix;
    for (char c : text) {
        if (c == '\n') out += std::string("\n") + prefix;
        else if (c == '\t') out += "    ";
        else out += c;
    }
    return out + "\n";
}

std::string control_line(const vnx::ui::WindowInfo& w) {
    char id[16];
    std::snprintf(id, sizeof id, "%5d ", w.id);
    std::string line;
    switch (w.kind) {
    case vnx::ui::Kind::Check:
        line = std::string(id) + (w.checked ? "[x] " : "[ ] ") + plain(w.text);
        break;
    case vnx::ui::Kind::Radio:
        line = std::string(id) + (w.checked ? "(o) " : "( ) ") + plain(w.text);
        break;
    case vnx::ui::Kind::Button:
        line = std::string(id) + "[ " + plain(w.text) + " ]";
        break;
    case vnx::ui::Kind::Edit:
        line = std::string(id) + "{ " + w.text + " }";
        break;
    case vnx::ui::Kind::DropList: {
        const bool chosen = w.selection >= 0 && static_cast<size_t>(w.selection) < w.items.size();
        line = std::string(id) + "< " + (chosen ? w.items[w.selection] : std::string("(none)")) +
               " >  (" + std::to_string(w.items.size()) + " entries, 0.." +
               std::to_string(w.items.size() - 1) + ")";
        break;
    }
    case vnx::ui::Kind::Group:
        line = "      -- " + plain(w.text) + " --";
        break;
    case vnx::ui::Kind::Bitmap:
        line = "      (picture " + w.text + ")";
        break;
    case vnx::ui::Kind::Frame:
        return "";
    default:
        line = "      " + plain(w.text);
        break;
    }
    if (!w.enabled) line += "  (off)";
    return line;
}

}  // namespace

int control_id(HWND hwnd) {
    vnx::ui::WindowInfo w;
    return vnx::ui::info(hwnd, &w) ? w.id : 0;
}

std::string render_sheet(vnx::ui::PropertySheet& sheet) {
    std::string out = "+--- " + sheet.caption() + " ---\n| ";
    for (size_t i = 0; i < sheet.page_count(); ++i) {
        const std::string title = std::to_string(i) + " " + sheet.page(i)->title();
        out += i == sheet.active() ? "[" + title + "]  " : " " + title + "   ";
    }
    out += "\n|\n";
    std::vector<vnx::ui::WindowInfo> controls;
    for (HWND h : vnx::ui::children(sheet.page(sheet.active())->hwnd())) {
        vnx::ui::WindowInfo w;
        if (vnx::ui::info(h, &w)) controls.push_back(w);
    }
    for (size_t i = 0; i < controls.size(); ++i) {
        const vnx::ui::WindowInfo& w = controls[i];
        if (w.kind == vnx::ui::Kind::Window) continue;  // windows the page made itself
        if (w.kind == vnx::ui::Kind::Label && i + 1 < controls.size() &&
            controls[i + 1].kind == vnx::ui::Kind::Value) {
            char line[160];
            std::snprintf(line, sizeof line, "|       %-26s %s\n", plain(w.text).c_str(),
                          controls[i + 1].text.c_str());
            out += line;
            ++i;
            continue;
        }
        const std::string line = control_line(w);
        if (!line.empty()) out += "| " + line + "\n";
    }
    out += "+---  ok | cancel | page N | click ID | type ID TEXT | choose ID N | paint\n";
    return out;
}

std::string render_message_box(const vnx::ui::MessageBoxRecord& box) {
    const UINT icon = box.type & MB_ICONMASK;
    const char* kind = icon == MB_ICONEXCLAMATION ? "!" : icon == MB_ICONQUESTION ? "?"
                       : icon == MB_ICONINFORMATION ? "i" : " ";
    return std::string("*** [") + kind + "] " + box.caption + "\n" + indent(box.text, "  | ");
}

std::string render_record(const BoardConfig& r) {
    std::string version;
    for (std::uint32_t w : r.driverVersion) {
        if ((w & 0xFF) == 0) break;
        version += static_cast<char>(w & 0xFF);
    }
    char buf[1024];
    std::snprintf(
        buf, sizeof buf,
        "driver's record now (ESC_BOARDCONFIG):\n"
        "  driver %s, %u x %u at %u bits, %u rasterizers a board, %u board(s)\n"
        "  memory %u KB, %u KB in use\n"
        "  zDepth %u (in force %u), textureMode %u, alphaBuffer %u, stencilBuffer %u,\n"
        "  offscreenBitmaps %u, doubleBuffer %u, syncSwapToVBlank %u, modelImprecision %u,\n"
        "  cadModelerOptimize %u, stereoMode %u, flags 0x%02x (mipmap %s, dual monitor %s, "
        "anti-aliased lines %s)\n",
        version.c_str(), r.screenWidth, r.screenHeight, r.bitsPerPixel, r.rasterizers,
        r.boardCount, r.totalMemoryKB, r.usedMemoryKB, r.zDepth, r.currentZDepth, r.textureMode,
        r.alphaBuffer, r.stencilBuffer, r.offscreenBitmaps, r.doubleBuffer, r.syncSwapToVBlank,
        r.modelImprecision, r.cadModelerOptimize, r.stereoMode, r.flags,
        r.flags & BCF_MIPMAP ? "on" : "off", r.flags & BCF_DUAL_MONITOR ? "on" : "off",
        r.flags & BCF_AA_LINES ? "on" : "off");
    return buf;
}

}  // namespace cli
