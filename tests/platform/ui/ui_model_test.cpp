// The user-interface model: dialogs built from resources, radio groups,
// data exchange, the modal sheet and its pages' activation, message-box
// answers, windows dropped with their process, and painting records.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/faults.h"
#include "platform/process.h"
#include "platform/ui.h"

namespace {

using vnx::ui::Kind;

const vnx::ui::Resources& TestResources() {
    static const vnx::ui::Resources r = [] {
        vnx::ui::Resources res;
        res.strings[1] = "Sheet";
        vnx::ui::DialogTemplate d;
        d.id = 10;
        d.title = "First";
        d.cx = 100;
        d.cy = 50;
        d.controls = {{20, Kind::Radio, "a", false, true}, {21, Kind::Radio, "b"},
                      {22, Kind::Radio, "c"},             {30, Kind::Radio, "x", false, true},
                      {31, Kind::Radio, "y"},             {40, Kind::Edit, ""},
                      {41, Kind::Check, "check", true},  {42, Kind::DropList, ""},
                      {43, Kind::Button, "go"}};
        d.listData[42] = {"zero", "one"};
        res.dialogs.push_back(d);
        vnx::ui::DialogTemplate second = d;
        second.id = 11;
        second.title = "Second";
        res.dialogs.push_back(second);
        res.bitmaps = {{7, 10, 10, "seven"}};
        return res;
    }();
    return r;
}

class Page : public vnx::ui::PropertyPage {
public:
    Page(HINSTANCE h, int id) : PropertyPage(h, id) {}
    void DoDataExchange(vnx::ui::DataExchange& dx) override {
        dx.Radio(20, first);
        dx.Radio(30, second);
        dx.Text(40, number);
        dx.ListIndex(42, entry);
    }
    bool OnCommand(int id) override {
        static const vnx::ui::Command<Page> kCommands[] = {{43, &Page::OnGo}};
        return Dispatch(kCommands, id);
    }
    void OnGo() { ++clicks; }
    BOOL OnSetActive() override {
        ++activations;
        return PropertyPage::OnSetActive();
    }
    void OnDestroy() override { ++destroyed; }
    int first = 1, second = 0, number = 5, entry = 1, clicks = 0, activations = 0, destroyed = 0;
};

class UiModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        pid_ = vnx::process::create("ui");
        vnx::ui::take_message_boxes();
    }
    void TearDown() override {
        vnx::ui::set_sheet_user(nullptr);
        vnx::ui::set_message_box_user(nullptr);
        vnx::process::terminate(pid_);
        EXPECT_EQ(vnx::ui::live_windows(), windows_);
    }
    DWORD pid_ = 0;
    size_t windows_ = vnx::ui::live_windows();
};

TEST_F(UiModelTest, SheetRunsPagesWithDataExchange) {
    vnx::process::Scope as(pid_);
    vnx::ui::Application app(&TestResources());
    Page one(app.instance(), 10), two(app.instance(), 11);
    vnx::ui::PropertySheet sheet(app.instance(), 1, nullptr);
    sheet.AddPage(&one);
    sheet.AddPage(&two);
    vnx::ui::set_sheet_user([&](vnx::ui::PropertySheet& s) {
        EXPECT_EQ(s.caption(), "Sheet");
        HWND page = one.hwnd();
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(two.hwnd(), nullptr) << "made when first shown";
        vnx::ui::WindowInfo wi;
        ASSERT_TRUE(vnx::ui::info(GetDlgItem(page, 21), &wi));
        EXPECT_EQ(wi.checked, 1) << "member shown";
        // A radio click checks one button of its own group only.
        EXPECT_TRUE(vnx::ui::click(page, 22));
        vnx::ui::info(GetDlgItem(page, 21), &wi);
        EXPECT_EQ(wi.checked, 0);
        vnx::ui::info(GetDlgItem(page, 30), &wi);
        EXPECT_EQ(wi.checked, 1);
        // Disabled controls and lists out of range refuse the user.
        EXPECT_FALSE(vnx::ui::click(page, 41));
        EXPECT_FALSE(vnx::ui::choose(page, 42, 2));
        EXPECT_TRUE(vnx::ui::choose(page, 42, 0));
        EXPECT_TRUE(vnx::ui::click(page, 43));
        EXPECT_EQ(one.clicks, 1);
        // A field that holds no number keeps the page.
        EXPECT_TRUE(vnx::ui::type(page, 40, "12x"));
        EXPECT_FALSE(s.Select(1));
        EXPECT_EQ(s.active(), 0u);
        EXPECT_TRUE(vnx::ui::type(page, 40, "-12"));
        EXPECT_TRUE(s.Select(1));
        EXPECT_EQ(two.activations, 1);
        EXPECT_TRUE(s.Select(0));
        EXPECT_EQ(one.activations, 2);
        EXPECT_TRUE(s.PressOk());
        EXPECT_FALSE(s.PressOk()) << "ended";
    });
    EXPECT_EQ(sheet.DoModal(), IDOK);
    EXPECT_EQ(one.first, 2);
    EXPECT_EQ(one.second, 0);
    EXPECT_EQ(one.number, -12);
    EXPECT_EQ(one.entry, 0);
    EXPECT_EQ(one.destroyed, 1);
    EXPECT_EQ(two.destroyed, 1);
    EXPECT_EQ(one.hwnd(), nullptr);

    // No user: the sheet ends with Cancel; a window that cannot be made fails it.
    vnx::ui::set_sheet_user(nullptr);
    EXPECT_EQ(sheet.DoModal(), IDCANCEL);
    vnx::faults::Scope faults;
    vnx::faults::arm("CreateWindow");
    EXPECT_EQ(sheet.DoModal(), -1);
}

TEST_F(UiModelTest, MessageBoxesAnswerOnlyTheirOwnButtons) {
    vnx::process::Scope as(pid_);
    EXPECT_EQ(MessageBoxA(nullptr, "q", "t", MB_YESNO | MB_ICONQUESTION), IDYES);
    vnx::ui::set_message_box_user([](const vnx::ui::MessageBoxRecord&) { return IDCANCEL; });
    EXPECT_EQ(MessageBoxA(nullptr, "q", "t", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "i", nullptr, MB_OK | MB_ICONINFORMATION), IDOK);
    EXPECT_EQ(MessageBoxA(reinterpret_cast<HWND>(0x1234), "x", "t", MB_OK), 0) << "no such owner";
    const auto boxes = vnx::ui::take_message_boxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[2].caption, "Error");
    EXPECT_EQ(boxes[1].answer, IDNO);
}

// Ending a process drops its windows; another process cannot reach them.
TEST_F(UiModelTest, WindowsBelongToTheirProcess) {
    HWND h = nullptr;
    {
        vnx::process::Scope as(pid_);
        vnx::ui::ControlPanel panel;
        h = panel.hwnd();
        ASSERT_NE(h, nullptr);
        const DWORD other = vnx::process::create("other");
        {
            vnx::process::Scope as2(other);
            EXPECT_FALSE(SetWindowTextA(h, "x"));
            EXPECT_FALSE(DestroyWindow(h));
        }
        vnx::process::terminate(other);
        vnx::process::Scope self(pid_);
        vnx::ui::ControlPanel left;  // not destroyed before its process ends
        (void)left;
        vnx::process::terminate(pid_);
        EXPECT_EQ(vnx::ui::live_windows(), windows_);
    }
    pid_ = vnx::process::create("ui");
}

}  // namespace
