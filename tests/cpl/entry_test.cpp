// The control panel loads qrncp.so by file name and sends the applet
// messages: the answers of CPlApplet, the NEWCPLINFO record, a whole run
// through the loaded library, and libraries that are no applet.
#include <cstring>

#include "applet_fixture.h"

namespace {

using cpltest::AppletTest;
using cpltest::Board;

TEST_F(AppletTest, MessageTableThroughTheControlPanel) {
    StartPanel();
    vnx::process::Scope as(pid_);
    ASSERT_TRUE(panel_->Load("qrncp"));
    struct Row {
        UINT msg;
        LONG result;
    };
    const Row rows[] = {{CPL_INIT, 1}, {CPL_GETCOUNT, 1}, {CPL_INQUIRE, 0}, {CPL_SELECT, 1},
                        {CPL_STOP, 1}, {CPL_EXIT, 0},     {0, 1},           {9, 1},
                        {1000, 1}};
    for (const Row& row : rows) EXPECT_EQ(panel_->Send(row.msg), row.result) << "message " << row.msg;
    EXPECT_EQ(panel_->Send(CPL_NEWINQUIRE, 0, 0), 0) << "no record to fill";

    NEWCPLINFO info;
    std::memset(&info, 0xCC, sizeof info);
    EXPECT_EQ(panel_->Send(CPL_NEWINQUIRE, 0, reinterpret_cast<LPARAM>(&info)), 0);
    EXPECT_EQ(info.dwSize, 244u);
    EXPECT_EQ(info.dwFlags, 0u);
    EXPECT_EQ(info.dwHelpContext, 0u);
    EXPECT_EQ(info.lData, 0u);
    EXPECT_NE(info.hIcon, 0u);
    EXPECT_STREQ(info.szName, "Vornix 3D");
    EXPECT_GT(std::strlen(info.szInfo), 0u);
    EXPECT_STREQ(info.szHelpFile, "");
    EXPECT_TRUE(vnx::ui::take_session_calls().empty()) << "no restart was asked for";
    panel_->Unload();
    EXPECT_FALSE(panel_->loaded());
}

// A double-click through the loaded library opens the sheet on the
// driver's record and writes a confirmed change.
TEST_F(AppletTest, RunThroughTheLoadedLibrary) {
    Boot(MachineOf(Board{"Duo", 2, 1, 2}));
    size_t pages = 0;
    vnx::ui::set_sheet_user([&](vnx::ui::PropertySheet& sheet) {
        pages = sheet.page_count();
        ASSERT_TRUE(sheet.Select(2));
        ASSERT_TRUE(vnx::ui::click(cpltest::ActivePage(sheet), 1027));  // anti-aliased lines
        ASSERT_TRUE(sheet.PressOk());
    });
    const std::uint32_t aa = DriverRecord().flags & BCF_AA_LINES;
    vnx::process::Scope as(pid_);
    ASSERT_TRUE(panel_->Load("qrncp"));
    EXPECT_EQ(panel_->Open(0), 0);
    EXPECT_EQ(pages, 4u);
    EXPECT_TRUE(vnx::ui::take_message_boxes().empty());
    EXPECT_EQ(Miniport().flags & BCF_AA_LINES, aa ^ BCF_AA_LINES);
    panel_->Unload();
    EXPECT_TRUE(vnx::ui::take_session_calls().empty());
}

TEST_F(AppletTest, ControlPanelRefusesLibrariesThatAreNoApplet) {
    StartPanel();
    vnx::process::Scope as(pid_);
    EXPECT_FALSE(panel_->Load("no-such-applet"));
    EXPECT_FALSE(panel_->Load("vnxtestlib"));  // has no CPlApplet
    EXPECT_FALSE(panel_->loaded());
    EXPECT_EQ(panel_->Send(CPL_INIT), 0);
}

}  // namespace
