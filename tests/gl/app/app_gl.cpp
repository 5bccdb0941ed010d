// The application's entry-point tables, the reference context and the
// machine the application runs on (app_gl.h).
#include "app_gl.h"

#include <GL/osmesa.h>

#include <cstring>

#include "../../platform/gl_reference.h"
#include "escapes.h"
#include "platform/board.h"
#include "platform/debug.h"
#include "platform/miniport.h"
#include "platform/opengl32.h"
#include "platform/windows.h"
#include "vornix_surface.h"

namespace glapp_tests {

Gl System() {
    Gl t;
#define GL_ENTRY(name, kind, request, ret, params, args) t.name = &::gl##name;
#include "glentries.def"
#undef GL_ENTRY
    return t;
}

Reference::Reference() : rgba_(static_cast<std::size_t>(kWidth) * kHeight * 4) {
    vnx::glref::OsMesaLoader mesa(&error_);
    OSMesaContext (*create)(const int*, OSMesaContext) = nullptr;
    GLboolean (*makeCurrent)(OSMesaContext, void*, GLenum, GLsizei, GLsizei) = nullptr;
    void (*pixelStore)(GLint, GLint) = nullptr;
    mesa.get(create, "OSMesaCreateContextAttribs");
    mesa.get(makeCurrent, "OSMesaMakeCurrent");
    mesa.get(pixelStore, "OSMesaPixelStore");
    mesa.get(destroy_, "OSMesaDestroyContext");
#define GL_ENTRY(name, kind, request, ret, params, args) mesa.get(gl_.name, "gl" #name);
#include "glentries.def"
#undef GL_ENTRY
    if (!mesa.ok()) return;
    // A compatibility context, as GL 1.0 applications need.
    const int attrs[] = {OSMESA_FORMAT, OSMESA_RGBA, OSMESA_DEPTH_BITS, 16, OSMESA_STENCIL_BITS, 8,
                         OSMESA_PROFILE, OSMESA_COMPAT_PROFILE, 0};
    ctx_ = create(attrs, nullptr);
    if (ctx_ == nullptr) {
        error_ = "OSMesaCreateContextAttribs failed";
        return;
    }
    if (!makeCurrent(ctx_, rgba_.data(), GL_UNSIGNED_BYTE, kWidth, kHeight)) {
        error_ = "OSMesaMakeCurrent failed";
        return;
    }
    pixelStore(OSMESA_Y_UP, 0);
    ok_ = true;
}

Reference::~Reference() {
    if (ctx_ != nullptr) destroy_(ctx_);
}

std::vector<std::uint32_t> Reference::Picture() const {
    gl_.Finish();
    return vnx::glref::rgb_of_rgba(rgba_);
}

void AppTest::SetUp() {
    SetEnvironmentVariableA("KZGLSRVNAME", nullptr);
    vnx::miniport::MachineConfig cfg;
    cfg.memoryClass = 2;
    // 28.4 positions, which the board's sample points read exactly.
    cfg.boardConfig.modelImprecision = 1;
    device_ = std::make_unique<vnx::engine::Device>(cfg);
    ASSERT_TRUE(device_->load_driver());
    DEVMODEW dm = vnx::engine::DisplayMode(640, 480, 32);
    ASSERT_TRUE(device_->enable_pdev(dm));
    ASSERT_TRUE(device_->enable_surface());
    board().take_errors();
    app_ = vnx::process::create("app");
    as_ = std::make_unique<vnx::process::Scope>(app_);
    HWND hwnd = vnx::windows::create(kArea);
    hdc_ = hwnd != nullptr ? GetDC(hwnd) : nullptr;
    ASSERT_NE(hdc_, nullptr);
    // The first single-buffered RGBA format with a depth buffer.
    const int count = DescribePixelFormat(hdc_, 1, 0, nullptr);
    int format = 0;
    for (int i = 1; i <= count && format == 0; ++i) {
        PIXELFORMATDESCRIPTOR pfd{};
        if (DescribePixelFormat(hdc_, i, sizeof pfd, &pfd) > 0 && pfd.iPixelType == PFD_TYPE_RGBA &&
            (pfd.dwFlags & PFD_DOUBLEBUFFER) == 0 && pfd.cDepthBits > 0) {
            format = i;
            pfd_ = pfd;
        }
    }
    ASSERT_NE(format, 0) << "no single-buffered RGBA format with depth among " << count;
    ASSERT_TRUE(SetPixelFormat(hdc_, format, nullptr));
    hglrc_ = wglCreateContext(hdc_);
    ASSERT_NE(hglrc_, nullptr);
    ASSERT_TRUE(wglMakeCurrent(hdc_, hglrc_));
    gl_ = System();
    // The application's calls reach this system's library, not OSMesa's
    // (both are loaded in this program).
    ASSERT_STREQ(reinterpret_cast<const char*>(gl_.GetString(GL_VENDOR)), "Trelwick Inc.");
}

void AppTest::TearDown() {
    if (hglrc_ != nullptr) {
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(hglrc_);
    }
    vnx::opengl32::unload_driver();
    if (hdc_ != nullptr) ExtEscape(hdc_, ESC_UNLOADGLSERVER, 0, nullptr, 0, nullptr);
    as_.reset();
    if (app_ != 0) vnx::process::terminate(app_);
    device_.reset();
    vnx::debug::clear();
}

std::vector<std::uint32_t> AppTest::Picture() {
    SURFOBJ* pso = EngLockSurface(device_->hsurf());
    if (pso == nullptr) return {};
    const DFB* pdfb = reinterpret_cast<const DSURF*>(pso->dhsurf)->pdfb;
    std::vector<std::uint32_t> out = board().read_rgb(0, static_cast<std::uint16_t>(pdfb->pid), pdfb->x + kArea.left,
                                                      pdfb->y + kArea.top, kWidth, kHeight);
    EngUnlockSurface(pso);
    return out;
}

std::string AppTest::BoardErrors() {
    std::string errors;
    for (const vnx::board::BoardError& e : board().take_errors()) errors += e.message + "\n";
    return errors;
}

std::string AppTest::SeamsIn(const std::string& said) {
    static const char* const kHarmless[] = {"_NStereoPages", "_NDitherMarker", "_NBoardLoadDither"};
    static const std::string kMark = ": not available yet";
    std::string out;
    for (std::size_t at = said.find(kMark); at != std::string::npos; at = said.find(kMark, at + 1)) {
        const std::size_t from = said.rfind('\n', at);
        const std::size_t start = from == std::string::npos ? 0 : from + 1;
        const std::string name = said.substr(start, at - start);
        bool harmless = false;
        for (const char* h : kHarmless) harmless = harmless || name == h;
        if (!harmless && out.find(name) == std::string::npos) out += (out.empty() ? "" : ", ") + name;
    }
    return out;
}

void Pixels(const Gl& gl) {
    gl.Viewport(0, 0, kWidth, kHeight);
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadIdentity();
    gl.Ortho(0, kWidth, 0, kHeight, -1, 1);
    gl.MatrixMode(GL_MODELVIEW);
    gl.LoadIdentity();
    gl.Disable(GL_DITHER);
    gl.ClearColor(0.0f, 0.0f, 0.25f, 0.0f);
    gl.ClearDepth(1.0);
    gl.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void AppPictures::MatchesReference() {
    const Scene& scene = GetParam();
    if (scene.fault != nullptr) GTEST_SKIP() << scene.name << ": known fault: " << scene.fault;
    std::vector<std::uint32_t> reference;
    {
        Reference mesa;
        ASSERT_TRUE(mesa.ok()) << mesa.error();
        scene.draw(mesa.gl());
        ASSERT_EQ(mesa.gl().GetError(), static_cast<GLenum>(GL_NO_ERROR));
        reference = mesa.Picture();
    }
    vnx::debug::clear();
    scene.draw(gl_);
    EXPECT_EQ(gl_.GetError(), static_cast<GLenum>(GL_NO_ERROR));
    gl_.Finish();
    const std::string said = vnx::debug::take();
    const std::string seams = SeamsIn(said);
    if (!seams.empty()) GTEST_SKIP() << scene.name << " reaches the server's seams " << seams;
    EXPECT_EQ(BoardErrors(), "");
    EXPECT_TRUE(vnx::glref::same_picture(std::string("app-") + scene.name, reference, Picture(), kWidth, kHeight,
                                         scene.tolerance, scene.outliers))
        << scene.why << "\n" << said;
    EXPECT_EQ(board().summary(0).unexecuted, 0u);
}

TEST_P(AppPictures, MatchReference) { MatchesReference(); }

}  // namespace glapp_tests
