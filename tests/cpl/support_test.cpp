// The support page's OpenGL test: through the system OpenGL library and the
// board's client driver, the server's own strings; where the display offers
// no pixel format the set-up fails and the test button does nothing; with an
// OpenGL of the test's own, the set-up's calls, the three reports and the
// clean-up when the page goes.
#include <cstring>
#include <thread>

#include "applet_fixture.h"
#include "opengl.h"
#include "resource.h"

namespace {

using cpltest::AppletTest;
using cpltest::Board;
using vnx::ui::PropertySheet;

// An OpenGL that answers chosen strings and records its calls.
struct TestGL {
    static inline std::vector<std::string> calls;
    static inline const char* vendor = "Trelwick Inc.";
    static inline PIXELFORMATDESCRIPTOR pfd{};

    static INT Choose(HDC, const PIXELFORMATDESCRIPTOR* p) {
        pfd = *p;
        calls.push_back("ChoosePixelFormat");
        return 3;
    }
    static BOOL Set(HDC, INT i, const PIXELFORMATDESCRIPTOR*) {
        calls.push_back("SetPixelFormat " + std::to_string(i));
        return TRUE;
    }
    static HGLRC Create(HDC) {
        calls.push_back("wglCreateContext");
        return reinterpret_cast<HGLRC>(std::uintptr_t{0x99});
    }
    static BOOL MakeCurrent(HDC hdc, HGLRC rc) {
        calls.push_back(hdc == nullptr && rc == nullptr ? "wglMakeCurrent none" : "wglMakeCurrent");
        return TRUE;
    }
    static BOOL Delete(HGLRC) {
        calls.push_back("wglDeleteContext");
        return TRUE;
    }
    static const GLubyte* String(GLenum name) {
        const char* s = name == GL_VENDOR ? vendor : name == GL_RENDERER ? "Vornix Quad" : "1.0 2.94";
        return reinterpret_cast<const GLubyte*>(s);
    }
    static constexpr qrncp::OpenGL kTable{Choose, Set, Create, MakeCurrent, Delete, String};
};

class SupportTest : public AppletTest {
protected:
    void TearDown() override {
        qrncp::UseOpenGL(nullptr);
        AppletTest::TearDown();
    }
    // Opens the support page and clicks Test; answers the message boxes.
    std::vector<vnx::ui::MessageBoxRecord> Test() {
        Run([&](PropertySheet& s) {
            auto& sheet = static_cast<qrncp::CQRNResSheet&>(s);
            ASSERT_TRUE(sheet.Select(3));
            vnx::ui::WindowInfo wi;
            ASSERT_TRUE(vnx::ui::info(sheet.supportPage.testWnd.hwnd(), &wi));
            EXPECT_EQ(wi.parent, sheet.supportPage.hwnd());
            EXPECT_EQ(wi.id, ID_TESTWND);
            EXPECT_EQ(wi.style, WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN) << "hidden";
            ready_ = sheet.supportPage.testWnd.ready;
            EXPECT_TRUE(vnx::ui::click(cpltest::ActivePage(sheet), IDC_TEST));
        });
        return vnx::ui::take_message_boxes();
    }
    // Boots a board of that many rasterizers with room for the GL server's
    // buffers and runs the real test.
    void ExpectServersStrings(int rasterizers, const std::string& renderer) {
        Boot(MachineOf(Board{"", rasterizers, 1, 2}), cpltest::Mode(640, 480, 16));
        ASSERT_NE(qrncp::SystemOpenGL(), nullptr) << "the system OpenGL library";
        // The control panel's thread of its own, which ends with the run
        // (its end detaches it from the client driver), as a thread of a
        // process that ends does.
        std::vector<vnx::ui::MessageBoxRecord> boxes;
        std::thread panel([&] { boxes = Test(); });
        panel.join();
        EXPECT_EQ(ready_, 1);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Trelwick OpenGL accelerator is installed!\n\nVendor:\t   Trelwick Inc.\nRenderer:\t   " +
                                     renderer + "\nVersion:\t   1.0 2.94\n");
        EXPECT_EQ(boxes[0].type, MB_ICONINFORMATION | MB_OK);
    }
    int ready_ = -1;
};

// The real road: the graphics interface chooses a format of the GL server,
// the system OpenGL library makes a context through the client driver, and
// the strings are the server's answers for this board.
TEST_F(SupportTest, ReportsTheServersStringsThroughTheClientDriver) {
    ExpectServersStrings(1, "Vornix Solo");
}
TEST_F(SupportTest, ReportsTheQuadsRenderer) { ExpectServersStrings(4, "Vornix Quad"); }

// Where the display offers no pixel format (no room for the 3D buffers
// beside a 1024x768 16-bit screen on this memory) the set-up fails: Test
// does nothing.
TEST_F(SupportTest, WithoutAPixelFormatTheTestDoesNothing) {
    Boot(MachineOf(Board{"Quad", 4, 1, 1}));
    ASSERT_NE(qrncp::SystemOpenGL(), nullptr) << "the system OpenGL library";
    EXPECT_TRUE(Test().empty());
    EXPECT_EQ(ready_, 0);
}

TEST_F(SupportTest, ReportsTheAcceleratorWithTheSystemsLayout) {
    Boot(MachineOf(Board{"Quad", 4, 1, 2}));
    qrncp::UseOpenGL(&TestGL::kTable);
    struct Row {
        const char* vendor;
        DWORD version;
        UINT type;
        const char* text;
    };
    const Row rows[] = {
        {"Trelwick Inc.", 4, MB_ICONINFORMATION,
         "Trelwick OpenGL accelerator is installed!\n\nVendor:\t   Trelwick Inc.\nRenderer:\t   "
         "Vornix Quad\nVersion:\t   1.0 2.94\n"},
        {"Trelwick Inc.", 0x0A03, MB_ICONINFORMATION,
         "Trelwick OpenGL accelerator is installed!\n\nVendor:\t\t   Trelwick Inc.\nRenderer: \t   "
         "Vornix Quad\nVersion:\t\t   1.0 2.94\n"},
        {"Trelwick Inc", 4, MB_ICONEXCLAMATION,
         "Trelwick OpenGL accelerator is not installed, or is\nnot configured for OpenGL "
         "acceleration.\n\nPlease review the installation procedures.\n"},
    };
    for (const Row& row : rows) {
        TestGL::vendor = row.vendor;
        TestGL::calls.clear();
        vnx::ui::set_version(row.version);
        const auto boxes = Test();
        EXPECT_EQ(ready_, 1);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, row.text);
        EXPECT_EQ(boxes[0].caption, "Test");
        EXPECT_EQ(boxes[0].type, row.type | MB_OK);
        // Set up at creation, released when the page goes.
        EXPECT_EQ(TestGL::calls,
                  (std::vector<std::string>{"ChoosePixelFormat", "SetPixelFormat 3",
                                            "wglCreateContext", "wglMakeCurrent",
                                            "wglMakeCurrent none", "wglDeleteContext"}));
    }
    EXPECT_EQ(TestGL::pfd.nSize, 40);
    EXPECT_EQ(TestGL::pfd.nVersion, 1);
    EXPECT_EQ(TestGL::pfd.dwFlags, 0x24u);
    EXPECT_EQ(TestGL::pfd.iPixelType, PFD_TYPE_RGBA);
    EXPECT_EQ(TestGL::pfd.cColorBits, 24);
    EXPECT_EQ(TestGL::pfd.cDepthBits, 16);
    EXPECT_EQ(TestGL::pfd.cStencilBits + TestGL::pfd.cAlphaBits + TestGL::pfd.cAccumBits, 0);
}

}  // namespace
