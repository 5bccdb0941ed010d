// The support page and its OpenGL test: a hidden child window with a
// rendering context of the system OpenGL library, whose vendor, renderer
// and version strings the test button reports.
#include <cstring>

#include "resource.h"
#include "sheet.h"
#include "text.h"

namespace qrncp {

namespace {

const char kVendor[] = "Trelwick Inc.";
const char kNotInstalled[] =
    "Trelwick OpenGL accelerator is not installed, or is\nnot configured for OpenGL "
    "acceleration.\n\nPlease review the installation procedures.\n";
const char kInstalled[] =
    "Trelwick OpenGL accelerator is installed!\n\nVendor:\t   %s\nRenderer:\t   %s\nVersion:\t   "
    "%s\n";
const char kInstalledOldSystem[] =
    "Trelwick OpenGL accelerator is installed!\n\nVendor:\t\t   %s\nRenderer: \t   %s\nVersion:\t\t "
    "  %s\n";

const char* Text(const GLubyte* s) { return s != nullptr ? reinterpret_cast<const char*>(s) : ""; }

}  // namespace

// --- the test window ----------------------------------------------------------------

COpenGLTestWnd::~COpenGLTestWnd() { Destroy(); }

DWORD COpenGLTestWnd::PreCreate(DWORD style) { return style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN; }

int COpenGLTestWnd::OnCreate() {
    if (vnx::ui::Window::OnCreate() == -1) return -1;
    ready = SetupOpenGL() ? 1 : 0;
    return 0;
}

bool COpenGLTestWnd::SetupOpenGL() {
    clientDC = GetDC(hwnd_);
    const OpenGL* gl = SystemOpenGL();
    if (clientDC == nullptr || gl == nullptr) return false;
    PIXELFORMATDESCRIPTOR pfd{};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 24;
    pfd.cDepthBits = 16;
    const INT format = gl->ChoosePixelFormat(clientDC, &pfd);
    if (format == 0 || !gl->SetPixelFormat(clientDC, format, &pfd)) return false;
    hglrc = gl->wglCreateContext(clientDC);
    if (hglrc == nullptr) return false;
    return gl->wglMakeCurrent(clientDC, hglrc) != FALSE;
}

void COpenGLTestWnd::OnDestroy() {
    vnx::ui::Window::OnDestroy();
    if (const OpenGL* gl = SystemOpenGL()) {
        gl->wglMakeCurrent(nullptr, nullptr);
        if (hglrc != nullptr) gl->wglDeleteContext(hglrc);
    }
    hglrc = nullptr;
    if (clientDC != nullptr) ReleaseDC(hwnd_, clientDC);
    clientDC = nullptr;
    ready = 0;
}

// --- the page -----------------------------------------------------------------------

CSupportPage::CSupportPage() : BoardPage(IDD_SUPPORT) {}

CSupportPage::~CSupportPage() { Destroy(); }

BOOL CSupportPage::OnInitDialog() {
    const BOOL result = BoardPage::OnInitDialog();
    testWnd.Create(WS_CHILD, "", RECTL{0, 0, 0, 0}, this, ID_TESTWND);
    return result;
}

void CSupportPage::OnDestroy() {
    BoardPage::OnDestroy();
    testWnd.Destroy();
}

bool CSupportPage::OnCommand(int id) {
    static const vnx::ui::Command<CSupportPage> kCommands[] = {
        {IDC_TEST, &CSupportPage::OnTest},
    };
    return Dispatch(kCommands, id);
}

void CSupportPage::OnTest() {
    const OpenGL* gl = SystemOpenGL();
    if (!testWnd.ready || gl == nullptr) return;
    const char* vendor = Text(gl->glGetString(GL_VENDOR));
    if (std::strcmp(vendor, kVendor) != 0) {
        MessageBoxA(hwnd_, kNotInstalled, "Test", MB_ICONEXCLAMATION | MB_OK);
        return;
    }
    const std::string v = vendor;
    const std::string renderer = Text(gl->glGetString(GL_RENDERER));
    const std::string version = Text(gl->glGetString(GL_VERSION));
    const char* format = (GetVersion() & 0xFF) > 3 ? kInstalled : kInstalledOldSystem;
    MessageBoxA(hwnd_, Format(format, v.c_str(), renderer.c_str(), version.c_str()).c_str(), "Test",
                MB_ICONINFORMATION | MB_OK);
}

}  // namespace qrncp
