// qrncp-cli: the control-panel applet in a terminal. Boots a simulated
// machine with the display driver, loads the applet qrncp.so as the control
// panel does and double-clicks it; the sheet is shown as text, and commands
// (from a script or typed) turn pages, set controls and press OK or Cancel.
// The settings travel through the driver's board-configuration escape: after
// the sheet ends the tool reads the record back from the driver and shows it.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "boardconfig.h"
#include "escapes.h"
#include "platform/debug.h"
#include "platform/engine.h"
#include "platform/gdi.h"
#include "platform/miniport.h"
#include "platform/process.h"
#include "platform/ui.h"
#include "render.h"

namespace {

struct Options {
    int rasterizers = 4;
    int boards = 1;
    int memoryClass = 2;
    ULONG width = 1024, height = 768, bpp = 16;
    std::string script;        // commands separated by ';'; empty: standard input
    bool answerYes = false;    // answer to the restart question
};

void usage(FILE* out) {
    std::fprintf(out,
                 "usage: qrncp-cli [options]\n"
                 "  --board solo|duo|quad    rasterizers per board (default quad)\n"
                 "  --boards 1|2             boards; two drive two screens side by side\n"
                 "  --memory-class 0|1|2     2, 4 or 8 MB a rasterizer (default 2)\n"
                 "  --mode WIDTHxHEIGHTxBPP  display mode (default 1024x768x16)\n"
                 "  --script \"CMD; CMD\"      run these commands instead of reading them\n"
                 "  --yes                    answer Yes when asked to restart (default No)\n"
                 "  --help                   show this text\n"
                 "commands while the sheet is open:\n"
                 "  show                     the active page\n"
                 "  page N                   turn to page N (0 is the first)\n"
                 "  click ID                 click a button, check box or radio button\n"
                 "  type ID TEXT             replace the text of an edit field\n"
                 "  choose ID N              choose entry N of a drop-down list\n"
                 "  paint                    paint the active page (its board picture)\n"
                 "  ok | cancel              close the sheet\n");
}

// A whole number of decimal digits only (no sign, no trailing text) up to
// max: "2x" and "-1" are no numbers here.
bool bNumber(const std::string& s, unsigned long max, unsigned long* out) {
    if (s.empty() || s.size() > 9) return false;
    unsigned long n = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + static_cast<unsigned long>(c - '0');
    }
    if (n > max) return false;
    *out = n;
    return true;
}

// WIDTHxHEIGHTxBPP, each part a whole number.
bool bMode(const std::string& s, ULONG* w, ULONG* h, ULONG* b) {
    const auto x1 = s.find('x'), x2 = x1 == std::string::npos ? x1 : s.find('x', x1 + 1);
    if (x2 == std::string::npos) return false;
    unsigned long a[3];
    if (!bNumber(s.substr(0, x1), 0xFFFF, &a[0]) || !bNumber(s.substr(x1 + 1, x2 - x1 - 1), 0xFFFF, &a[1]) ||
        !bNumber(s.substr(x2 + 1), 32, &a[2]))
        return false;
    *w = a[0], *h = a[1], *b = a[2];
    return true;
}

int parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if (arg == "--yes") {
            o.answerYes = true;
        } else if (arg == "--board" && (v = value())) {
            const std::string s = v;
            o.rasterizers = s == "solo" ? 1 : s == "duo" ? 2 : s == "quad" ? 4 : 0;
            if (o.rasterizers == 0) {
                std::fprintf(stderr, "qrncp-cli: unknown board '%s' (solo, duo or quad)\n", v);
                return 2;
            }
        } else if (arg == "--boards" && (v = value())) {
            unsigned long n = 0;
            o.boards = bNumber(v, 2, &n) ? static_cast<int>(n) : 0;
            if (o.boards != 1 && o.boards != 2) {
                std::fprintf(stderr, "qrncp-cli: --boards takes 1 or 2, not '%s'\n", v);
                return 2;
            }
        } else if (arg == "--memory-class" && (v = value())) {
            unsigned long n = 0;
            o.memoryClass = bNumber(v, 2, &n) ? static_cast<int>(n) : -1;
            if (std::string(v).size() != 1 || o.memoryClass < 0 || o.memoryClass > 2) {
                std::fprintf(stderr, "qrncp-cli: --memory-class takes 0, 1 or 2, not '%s'\n", v);
                return 2;
            }
        } else if (arg == "--mode" && (v = value())) {
            if (!bMode(v, &o.width, &o.height, &o.bpp)) {
                std::fprintf(stderr, "qrncp-cli: bad mode '%s' (e.g. 1024x768x16)\n", v);
                return 2;
            }
        } else if (arg == "--script" && (v = value())) {
            o.script = v;
        } else {
            std::fprintf(stderr, "qrncp-cli: unknown option or missing value '%s'\n", argv[i]);
            usage(stderr);
            return 2;
        }
    }
    return -1;
}

// The commands to run: the script's, or lines of standard input.
class Commands {
public:
    explicit Commands(const std::string& script) : scripted_(!script.empty()) {
        std::stringstream ss(script);
        for (std::string cmd; std::getline(ss, cmd, ';');) queue_.push_back(cmd);
    }
    bool next(std::string* cmd) {
        if (scripted_) {
            if (at_ >= queue_.size()) return false;
            *cmd = queue_[at_++];
            return true;
        }
        std::printf("qrncp> ");
        std::fflush(stdout);
        return static_cast<bool>(std::getline(std::cin, *cmd));
    }

private:
    bool scripted_;
    std::vector<std::string> queue_;
    size_t at_ = 0;
};

// Carries out one command on the running sheet; false for one it does not know.
bool run_command(vnx::ui::PropertySheet& sheet, const std::string& line, bool interactive) {
    std::istringstream in(line);
    std::string cmd;
    if (!(in >> cmd)) return true;
    HWND page = sheet.page(sheet.active())->hwnd();
    int id = 0, n = 0;
    bool done = true;
    if (cmd == "show") {
    } else if (cmd == "page" && in >> n) {
        done = n >= 0 && sheet.Select(static_cast<size_t>(n));
    } else if (cmd == "click" && in >> id) {
        done = vnx::ui::click(page, id);
    } else if (cmd == "type" && in >> id) {
        std::string text;
        std::getline(in >> std::ws, text);
        done = vnx::ui::type(page, id, text);
    } else if (cmd == "choose" && in >> id >> n) {
        done = vnx::ui::choose(page, id, n);
    } else if (cmd == "paint") {
        vnx::ui::paint(page);
        for (const vnx::ui::PaintRecord& p : vnx::ui::take_paints())
            std::printf("painted bitmap %d, %dx%d, into control %d\n", p.bitmap, p.cx, p.cy,
                        cli::control_id(p.hwnd));
        return true;
    } else if (cmd == "ok") {
        done = sheet.PressOk();
        if (done) std::printf("OK pressed\n");
    } else if (cmd == "cancel") {
        sheet.PressCancel();
        std::printf("Cancel pressed\n");
    } else {
        std::printf("unknown command '%s' (see --help)\n", line.c_str());
        return false;
    }
    if (!done) std::printf("'%s' was refused\n", line.c_str());
    if (!sheet.ended() && (interactive || cmd == "show" || cmd == "page"))
        std::fputs(cli::render_sheet(sheet).c_str(), stdout);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Options o;
    if (int rc = parse(argc, argv, o); rc >= 0) return rc;

    vnx::miniport::MachineConfig cfg;
    cfg.rasterizers = o.rasterizers;
    cfg.boards = o.boards;
    cfg.memoryClass = o.memoryClass;
    if (o.boards == 2) cfg.boardConfig.flags |= BCF_DUAL_MONITOR;
    const std::string problem = vnx::miniport::check_config(cfg);
    if (!problem.empty()) {
        std::fprintf(stderr, "qrncp-cli: the machine cannot be built: %s\n", problem.c_str());
        return 1;
    }
    vnx::engine::Device device(cfg);
    DEVMODEW dm = vnx::engine::DisplayMode(o.width, o.height, o.bpp);
    if (!device.load_driver("vornix.dll") || !device.enable_pdev(dm) || !device.enable_surface()) {
        std::fprintf(stderr, "qrncp-cli: the display driver did not start in mode %ux%ux%u\n",
                     static_cast<unsigned>(o.width), static_cast<unsigned>(o.height),
                     static_cast<unsigned>(o.bpp));
        return 1;
    }
    std::printf("machine: %d x %s\n", o.boards, vnx::miniport::board_model_name(o.rasterizers));

    const DWORD pid = vnx::process::create("control panel");
    int rc = 0;
    {
        vnx::process::Scope as(pid);
        vnx::ui::ControlPanel panel;
        if (!panel.Load("qrncp")) {
            std::fprintf(stderr, "qrncp-cli: the applet qrncp did not load\n");
            return 1;
        }
        NEWCPLINFO info{};
        panel.Inquire(0, &info);
        std::printf("applet: %s - %s\n", info.szName, info.szInfo);

        vnx::ui::set_message_box_user([&](const vnx::ui::MessageBoxRecord& box) {
            std::fputs(cli::render_message_box(box).c_str(), stdout);
            const INT answer = (box.type & MB_TYPEMASK) == MB_YESNO ? (o.answerYes ? IDYES : IDNO) : IDOK;
            std::printf("  -> %s\n", answer == IDYES ? "Yes" : answer == IDNO ? "No" : "OK");
            return answer;
        });
        Commands commands(o.script);
        vnx::ui::set_sheet_user([&](vnx::ui::PropertySheet& sheet) {
            if (o.script.empty()) std::fputs(cli::render_sheet(sheet).c_str(), stdout);
            std::string line;
            while (!sheet.ended() && commands.next(&line))
                if (!run_command(sheet, line, o.script.empty())) rc = 2;
            if (!sheet.ended()) std::printf("no more commands: Cancel\n");
        });
        panel.Open(0);

        // What the driver answers now, read through its escape.
        BoardConfig in{}, out{};
        in.op = BOARDCONFIG_READ;
        HDC hdc = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
        const INT answer = ExtEscape(hdc, ESC_BOARDCONFIG, sizeof in, reinterpret_cast<LPCSTR>(&in),
                                     sizeof out, reinterpret_cast<LPSTR>(&out));
        DeleteDC(hdc);
        if (answer > 0) std::fputs(cli::render_record(out).c_str(), stdout);
        panel.Unload();
        for (const std::string& call : vnx::ui::take_session_calls())
            std::printf("recorded (the machine is not restarted): %s\n", call.c_str());
        vnx::ui::set_sheet_user(nullptr);
        vnx::ui::set_message_box_user(nullptr);
    }
    vnx::process::terminate(pid);
    device.unload_driver();
    return rc;
}
