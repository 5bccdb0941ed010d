// Shared fixture of the applet's tests: a machine booted with the display
// driver and its surface enabled, the control panel's process and window,
// and the applet run with a scripted user.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "escapes.h"
#include "platform/debug.h"
#include "platform/engine.h"
#include "platform/faults.h"
#include "platform/gdi.h"
#include "platform/miniport.h"
#include "platform/process.h"
#include "platform/ui.h"
#include "qrncp.h"
#include "sheet.h"

namespace cpltest {

inline DEVMODEW Mode(ULONG cx, ULONG cy, ULONG bpp) {
    return vnx::engine::DisplayMode(cx, cy, bpp);
}

// A machine: rasterizers a board, boards, and the memory class with the
// page multipliers of the miniport.
struct Board {
    const char* name;
    int rasterizers;
    int boards;
    int memoryClass = 1;
    int xMultiplierCode = 0;
};
inline void PrintTo(const Board& b, std::ostream* os) { *os << b.name; }

inline vnx::miniport::MachineConfig MachineOf(const Board& b) {
    vnx::miniport::MachineConfig cfg;
    cfg.rasterizers = b.rasterizers;
    cfg.boards = b.boards;
    cfg.memoryClass = b.memoryClass;
    cfg.xMultiplierCode = b.xMultiplierCode;
    if (b.boards == 2) cfg.boardConfig.flags |= BCF_DUAL_MONITOR;
    return cfg;
}

class AppletTest : public ::testing::Test {
protected:
    void SetUp() override {
        vnx::debug::clear();
        vnx::ui::take_message_boxes();
        vnx::ui::take_paints();
        vnx::ui::take_session_calls();
        vnx::ui::set_version(4);
        qrncp::theApp.settings = qrncp::BoardSettings{};
        qrncp::theApp.boardBitmap = 0;
        qrncp::restartAnswer = 0;
        dcs_ = vnx::gdi::live_dcs();
        windows_ = vnx::ui::live_windows();
    }

    void TearDown() override {
        vnx::ui::set_sheet_user(nullptr);
        vnx::ui::set_message_box_user(nullptr);
        if (pid_ != 0) {
            {
                vnx::process::Scope as(pid_);
                panel_.reset();
            }
            vnx::process::terminate(pid_);
        }
        device_.reset();
        EXPECT_EQ(vnx::gdi::live_dcs(), dcs_) << "device contexts left behind";
        EXPECT_EQ(vnx::ui::live_windows(), windows_) << "windows left behind";
        EXPECT_EQ(vnx::ui::live_bitmaps(), 0u) << "bitmaps left behind";
    }

    // Boots the machine with the display driver enabled for the mode, and
    // the control panel's process with its window.
    void Boot(const vnx::miniport::MachineConfig& cfg, const DEVMODEW& mode = Mode(1024, 768, 16)) {
        device_ = std::make_unique<vnx::engine::Device>(cfg);
        ASSERT_TRUE(device_->load_driver());
        ASSERT_TRUE(device_->enable_pdev(mode));
        ASSERT_TRUE(device_->enable_surface());
        StartPanel();
    }

    void StartPanel() {
        pid_ = vnx::process::create("control panel");
        vnx::process::Scope as(pid_);
        panel_ = std::make_unique<vnx::ui::ControlPanel>();
        ASSERT_NE(panel_->hwnd(), nullptr);
    }

    // Double-clicks the applet with `user` working the sheet; answers
    // CPlApplet's result.
    LONG Run(vnx::ui::SheetUser user) {
        vnx::ui::set_sheet_user(std::move(user));
        vnx::process::Scope as(pid_);
        return CPlApplet(panel_->hwnd(), CPL_DBLCLK, 0, 0);
    }

    LONG Send(UINT msg) {
        vnx::process::Scope as(pid_);
        return CPlApplet(panel_->hwnd(), msg, 0, 0);
    }

    // The record the driver answers now.
    BoardConfig DriverRecord() {
        vnx::process::Scope as(pid_);
        BoardConfig record{};
        EXPECT_GT(qrncp::ReadBoardConfig(panel_->hwnd(), &record), 0);
        return record;
    }

    BoardConfig Miniport() { return device_->machine().board_config(); }

    std::unique_ptr<vnx::engine::Device> device_;
    std::unique_ptr<vnx::ui::ControlPanel> panel_;
    DWORD pid_ = 0;
    vnx::faults::Scope faults_;

private:
    size_t dcs_ = 0;
    size_t windows_ = 0;
};

// What a control of the active page shows.
inline vnx::ui::WindowInfo Control(vnx::ui::PropertySheet& sheet, int id) {
    vnx::ui::WindowInfo wi;
    EXPECT_TRUE(vnx::ui::info(GetDlgItem(sheet.page(sheet.active())->hwnd(), id), &wi))
        << "no control " << id;
    return wi;
}

inline std::string Text(vnx::ui::PropertySheet& sheet, int id) { return Control(sheet, id).text; }

inline HWND ActivePage(vnx::ui::PropertySheet& sheet) {
    return sheet.page(sheet.active())->hwnd();
}

}  // namespace cpltest
