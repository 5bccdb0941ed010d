// Running the applet against the display driver: the version check, the
// driver-missing path, the write-back of a confirmed change with its
// restart question, and the restart at CPL_EXIT.
#include <cstring>

#include "applet_fixture.h"
#include "platform/fakedrv/fakedrv.h"
#include "resource.h"

namespace {

using cpltest::AppletTest;
using cpltest::Board;
using cpltest::Control;
using vnx::ui::PropertySheet;

constexpr Board kQuad{"Quad", 4, 1};

class RunTest : public AppletTest {};

// The driver answers "2.94": no warning, the four pages in order under the
// caption, no Apply button, the board's picture; Cancel writes nothing.
TEST_F(RunTest, MatchingDriverOpensTheFourPages) {
    Boot(MachineOf(kQuad));
    const BoardConfig before = Miniport();
    std::vector<std::string> titles;
    EXPECT_EQ(Run([&](PropertySheet& sheet) {
                  EXPECT_EQ(sheet.caption(), "Vornix 3D Resources");
                  EXPECT_TRUE(sheet.flags & PSH_NOAPPLYNOW);
                  EXPECT_EQ(sheet.parent(), panel_->hwnd());
                  for (size_t i = 0; i < sheet.page_count(); ++i) titles.push_back(sheet.page(i)->title());
                  sheet.PressCancel();
              }),
              0);
    EXPECT_EQ(titles, (std::vector<std::string>{"Vornix Status", "Memory Options",
                                                "Advanced Options", "Support Information"}));
    EXPECT_TRUE(vnx::ui::take_message_boxes().empty());
    EXPECT_EQ(qrncp::theApp.boardBitmap, static_cast<std::uint32_t>(IDB_BOARD_QUAD));
    EXPECT_EQ(qrncp::theApp.settings.driverVersion, "2.94");
    EXPECT_EQ(qrncp::theApp.settings.appletVersion, "2.94");
    const BoardConfig after = Miniport();
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0) << "Cancel wrote";
}

// A driver that refuses the escape: the warning, the driver-missing page
// alone with the version texts as they stand, the plain board picture, and
// nothing written even on OK.
TEST_F(RunTest, RefusedEscapeShowsTheDriverMissingPageAlone) {
    Boot(MachineOf(kQuad));
    // An earlier run fills the version texts.
    Run([](PropertySheet& sheet) { sheet.PressCancel(); });
    vnx::ui::take_message_boxes();
    const BoardConfig before = Miniport();
    vnx::faults::arm("IOCTL_VNX_READ_BOARDCONFIG", 0, -1);
    std::string cpl, drv;
    Run([&](PropertySheet& sheet) {
        ASSERT_EQ(sheet.page_count(), 1u);
        EXPECT_EQ(sheet.page(0)->title(), "Vornix Status");
        EXPECT_EQ(sheet.page(0)->dialog_id(), IDD_BAD);
        cpl = Control(sheet, IDC_BAD_CPLVERSION).text;
        drv = Control(sheet, IDC_BAD_DRVVERSION).text;
        EXPECT_TRUE(sheet.PressOk());
    });
    vnx::faults::clear();
    EXPECT_EQ(cpl, "2.94");
    EXPECT_EQ(drv, "2.94");
    const auto boxes = vnx::ui::take_message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "There is an incompatibility with\nyour installed video driver!");
    EXPECT_EQ(boxes[0].caption, "Warning");
    EXPECT_EQ(boxes[0].type, MB_ICONEXCLAMATION | MB_OK);
    EXPECT_EQ(boxes[0].owner, panel_->hwnd());
    EXPECT_EQ(qrncp::theApp.boardBitmap, static_cast<std::uint32_t>(IDB_BOARD_NONE));
    const BoardConfig after = Miniport();
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
}

// In the first run of a load the driver-missing page's texts are empty.
TEST_F(RunTest, DriverMissingPageIsEmptyInTheFirstRun) {
    Boot(MachineOf(kQuad));
    vnx::faults::arm("IOCTL_VNX_READ_BOARDCONFIG", 0, -1);
    Run([&](PropertySheet& sheet) {
        EXPECT_EQ(Control(sheet, IDC_BAD_CPLVERSION).text, "");
        EXPECT_EQ(Control(sheet, IDC_BAD_DRVVERSION).text, "");
    });
}

// A driver of another version: the warning with both versions, then the
// sheet with every page. The recording driver answers a record of 0xE0
// bytes: thirty characters of version text, and a texture mode and Z depth
// the applet makes the defaults.
class OtherDriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        hmod_ = LoadLibraryA("vnxfakedrv.dll");
        ASSERT_NE(hmod_, nullptr);
        drv_ = reinterpret_cast<FakeDrv* (*)()>(GetProcAddress(hmod_, "FakeDrvState"))();
        *drv_ = FakeDrv{};
        drv_->escapeAnswer = 1;
        device_ = std::make_unique<vnx::engine::Device>();
        ASSERT_TRUE(device_->load_driver("vnxfakedrv.dll"));
        ASSERT_TRUE(device_->enable_pdev());
        ASSERT_TRUE(device_->enable_surface());
        qrncp::theApp.settings = qrncp::BoardSettings{};
        vnx::ui::take_message_boxes();
        pid_ = vnx::process::create("control panel");
    }
    void TearDown() override {
        vnx::ui::set_sheet_user(nullptr);
        vnx::process::terminate(pid_);
        EXPECT_EQ(vnx::ui::live_windows(), 0u);
        device_.reset();
        FreeLibrary(hmod_);
    }
    HMODULE hmod_ = nullptr;
    FakeDrv* drv_ = nullptr;
    std::unique_ptr<vnx::engine::Device> device_;
    DWORD pid_ = 0;
};

TEST_F(OtherDriverTest, VersionMismatchWarnsAndOpensEveryPage) {
    vnx::process::Scope as(pid_);
    vnx::ui::ControlPanel panel;
    size_t pages = 0;
    vnx::ui::set_sheet_user([&](PropertySheet& sheet) { pages = sheet.page_count(); });
    EXPECT_EQ(CPlApplet(panel.hwnd(), CPL_DBLCLK, 0, 0), 0);
    // The recording driver's output bytes count up from 0xE0: the low byte
    // of each of the thirty version words.
    std::string version;
    for (int i = 0; i < 30; ++i) version += static_cast<char>(0xE0 + offsetof(BoardConfig, driverVersion) + 4 * i);
    const auto boxes = vnx::ui::take_message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              "There is an incompatibility between the installed\nvideo driver version and this "
              "version of the\nVornix Control Panel applet.  Either re-install\nyour drivers or "
              "download new ones from:\n       http://www.trelwick.example/drivers/\n\nDriver "
              "version:\t" + version + "\nApplet version:\t2.94\n");
    EXPECT_EQ(boxes[0].caption, "Warning");
    EXPECT_EQ(boxes[0].type, MB_ICONEXCLAMATION | MB_OK);
    EXPECT_EQ(pages, 4u);
    const BoardConfig& c = qrncp::theApp.settings.current;
    EXPECT_EQ(c.textureMode, TEXMODE_PERFORMANCE);
    EXPECT_EQ(c.zDepth, 16u);
    EXPECT_EQ(c.currentZDepth, 16u);
    EXPECT_EQ(qrncp::theApp.boardBitmap, static_cast<std::uint32_t>(IDB_BOARD_NONE));
}

// --- write-back and the restart question -------------------------------------------

struct RestartCase {
    const char* name;
    bool aaLines;      // toggle "Always draw with anti-aliased lines"
    int stereoMode;    // -1: leave the stereo list
    bool asked;
};
void PrintTo(const RestartCase& c, std::ostream* os) { *os << c.name; }

class RestartTest : public AppletTest, public ::testing::WithParamInterface<RestartCase> {};

// The change is written; the question comes when any changed setting needs
// a restart, also together with one that does not.
TEST_P(RestartTest, AsksWhenAChangeNeedsARestart) {
    const RestartCase& c = GetParam();
    Boot(MachineOf(kQuad));
    const BoardConfig before = DriverRecord();
    vnx::ui::set_message_box_user([](const vnx::ui::MessageBoxRecord&) { return IDNO; });
    Run([&](PropertySheet& sheet) {
        ASSERT_TRUE(sheet.Select(2));
        HWND page = cpltest::ActivePage(sheet);
        if (c.aaLines) {
            ASSERT_TRUE(vnx::ui::click(page, IDC_AALINES));
        }
        if (c.stereoMode >= 0) {
            ASSERT_TRUE(vnx::ui::choose(page, IDC_STEREOMODE, c.stereoMode));
        }
        ASSERT_TRUE(sheet.PressOk());
    });
    const BoardConfig after = DriverRecord();
    EXPECT_EQ(after.flags & BCF_AA_LINES, (before.flags ^ (c.aaLines ? BCF_AA_LINES : 0)) & BCF_AA_LINES);
    EXPECT_EQ(after.stereoMode, c.stereoMode >= 0 ? static_cast<std::uint32_t>(c.stereoMode) : before.stereoMode);
    const auto boxes = vnx::ui::take_message_boxes();
    if (c.asked) {
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text,
                  "You must restart your computer before the new settings will take effect.\n\nDo "
                  "you want to restart your computer now?");
        EXPECT_EQ(boxes[0].caption, "System Settings Change");
        EXPECT_EQ(boxes[0].type, MB_ICONQUESTION | MB_YESNO);
        EXPECT_EQ(qrncp::restartAnswer, static_cast<std::uint32_t>(IDNO));
    } else {
        EXPECT_TRUE(boxes.empty());
        EXPECT_EQ(qrncp::restartAnswer, 0u);
    }
    EXPECT_EQ(qrncp::theApp.settings.restartNeeded, 0u) << "cleared once the change is done";
}

INSTANTIATE_TEST_SUITE_P(Changes, RestartTest,
                         ::testing::Values(RestartCase{"AntiAliasedLinesOnly", true, -1, false},
                                           RestartCase{"StereoOnly", false, 3, true},
                                           RestartCase{"AntiAliasedLinesAndStereo", true, 3, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Yes is kept until the control panel lets the applet go: only CPL_EXIT
// asks for the restart, and the machine is never touched.
TEST_F(RunTest, YesRestartsOnlyAtExit) {
    Boot(MachineOf(kQuad));
    vnx::ui::set_message_box_user([](const vnx::ui::MessageBoxRecord&) { return IDYES; });
    Run([](PropertySheet& sheet) {
        ASSERT_TRUE(sheet.Select(1));
        ASSERT_TRUE(vnx::ui::click(cpltest::ActivePage(sheet), IDC_ZBUF_24));
        ASSERT_TRUE(sheet.PressOk());
    });
    EXPECT_EQ(qrncp::restartAnswer, static_cast<std::uint32_t>(IDYES));
    EXPECT_TRUE(vnx::ui::take_session_calls().empty());
    EXPECT_EQ(Send(CPL_STOP), 1);
    EXPECT_TRUE(vnx::ui::take_session_calls().empty());
    EXPECT_EQ(Send(CPL_EXIT), 0);
    EXPECT_EQ(vnx::ui::take_session_calls(),
              (std::vector<std::string>{
                  "OpenProcessToken(0x28)", "LookupPrivilegeValueA(local, SeShutdownPrivilege)",
                  "AdjustTokenPrivileges(disable 0, count 1, attributes 0x2)",
                  "InitiateSystemShutdownA(local, no message, timeout 0, force 0, reboot 1)"}));
}

// After the question is answered, a later change that needs no restart is
// written without asking again; No leaves CPL_EXIT with nothing to do.
TEST_F(RunTest, AnsweredQuestionDoesNotComeBack) {
    Boot(MachineOf(kQuad));
    vnx::ui::set_message_box_user([](const vnx::ui::MessageBoxRecord&) { return IDNO; });
    const auto toggle = [&](int page, int id) {
        Run([&](PropertySheet& sheet) {
            ASSERT_TRUE(sheet.Select(page));
            ASSERT_TRUE(vnx::ui::click(cpltest::ActivePage(sheet), id));
            ASSERT_TRUE(sheet.PressOk());
        });
    };
    toggle(1, IDC_STENCIL);
    EXPECT_EQ(vnx::ui::take_message_boxes().size(), 1u);
    toggle(2, IDC_CADMODELER);
    EXPECT_TRUE(vnx::ui::take_message_boxes().empty());
    EXPECT_EQ(DriverRecord().cadModelerOptimize, 1u);
    EXPECT_EQ(Send(CPL_EXIT), 0);
    EXPECT_TRUE(vnx::ui::take_session_calls().empty());
}

// A write the driver refuses asks nothing.
TEST_F(RunTest, RefusedWriteAsksNothing) {
    Boot(MachineOf(kQuad));
    vnx::faults::arm("IOCTL_VNX_WRITE_BOARDCONFIG", 0, -1);
    Run([](PropertySheet& sheet) {
        ASSERT_TRUE(sheet.Select(1));
        ASSERT_TRUE(vnx::ui::click(cpltest::ActivePage(sheet), IDC_ZBUF_NONE));
        ASSERT_TRUE(sheet.PressOk());
    });
    vnx::faults::clear();
    EXPECT_TRUE(vnx::ui::take_message_boxes().empty());
    EXPECT_EQ(Miniport().zDepth, 16u);
    EXPECT_EQ(qrncp::restartAnswer, 0u);
}

}  // namespace
