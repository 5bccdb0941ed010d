// The application's entry-point tables, the reference context and the
// machine the application runs on (app_gl.h).
#include "app_gl.h"

#include <GL/osmesa.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "../../platform/gl_reference.h"
#include "escapes.h"
#include "glcmd.h"
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

namespace {

// OSMesa's ColorMask, for the reference without an alpha buffer, whose
// alpha stays masked whatever the scene asks.
void (*gOsMesaColorMask)(GLboolean, GLboolean, GLboolean, GLboolean) = nullptr;
void ColorMaskNoAlpha(GLboolean r, GLboolean g, GLboolean b, GLboolean) { gOsMesaColorMask(r, g, b, GL_FALSE); }

}  // namespace

Reference::Reference(bool alphaBuffer) : rgba_(static_cast<std::size_t>(kWidth) * kHeight * 4) {
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
    // A compatibility context, as GL 1.0 applications need, with an
    // accumulation buffer of 16 bits a channel.
    const int attrs[] = {OSMESA_FORMAT, OSMESA_RGBA, OSMESA_DEPTH_BITS, 16, OSMESA_STENCIL_BITS, 8,
                         OSMESA_ACCUM_BITS, 16, OSMESA_PROFILE, OSMESA_COMPAT_PROFILE, 0};
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
    if (!alphaBuffer) {
        gl_.ClearColor(0, 0, 0, 1);
        gl_.Clear(GL_COLOR_BUFFER_BIT);
        gl_.ClearColor(0, 0, 0, 0);
        gl_.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
        gOsMesaColorMask = gl_.ColorMask;
        gl_.ColorMask = ColorMaskNoAlpha;
    }
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
    const Wants wants = Wanted();
    machine_ = wants.machine;
    area_ = glmachines::WindowArea(machine_, kWidth, kHeight);
    vnx::miniport::MachineConfig cfg = glmachines::ConfigOf(machine_, (wants.buffers & kAlphaBuffer) != 0,
                                                           (wants.buffers & kStencilBuffer) != 0);
    // A scene that wants mip-maps gets a board that has them, on the
    // machines configured here (vnxsim's board stays as it boots).
    if ((wants.buffers & kMipmaps) != 0 && machine_.configured) cfg.boardConfig.flags |= BCF_MIPMAP;
    device_ = std::make_unique<vnx::engine::Device>(cfg);
    ASSERT_TRUE(device_->load_driver());
    const vnxsim::MachineChoice& mode = machine_.choice;
    DEVMODEW dm = vnx::engine::DisplayMode(mode.width, mode.height, mode.bpp);
    ASSERT_TRUE(device_->enable_pdev(dm));
    ASSERT_TRUE(device_->enable_surface());
    board().take_errors();
    app_ = vnx::process::create("app");
    as_ = std::make_unique<vnx::process::Scope>(app_);
    hwnd_ = vnx::windows::create(area_);
    hdc_ = hwnd_ != nullptr ? GetDC(hwnd_) : nullptr;
    ASSERT_NE(hdc_, nullptr);
    // The first single-buffered format of the pixel type with a depth
    // buffer and the buffers wanted (alpha only when wanted).
    if (wants.colourIndex) {
        // The server offers its colour-index formats only when told to offer
        // the table's whole count (as a control panel tells it).
        DescribePixelFormat(hdc_, 1, 0, nullptr);
        const ULONG words[] = {GLCMD_SETFORMATCOUNT, 0, 0, 0, 0, 64};
        ExtEscape(hdc_, OPENGL_CMD, sizeof words, reinterpret_cast<LPCSTR>(words), 0, nullptr);
    }
    const int count = DescribePixelFormat(hdc_, 1, 0, nullptr);
    const BYTE type = wants.colourIndex ? PFD_TYPE_COLORINDEX : PFD_TYPE_RGBA;
    int format = 0;
    for (int i = 1; i <= count && format == 0; ++i) {
        PIXELFORMATDESCRIPTOR pfd{};
        if (DescribePixelFormat(hdc_, i, sizeof pfd, &pfd) > 0 && pfd.iPixelType == type &&
            (pfd.dwFlags & PFD_DOUBLEBUFFER) == 0 && pfd.cDepthBits > 0 &&
            (pfd.cAlphaBits > 0) == ((wants.buffers & kAlphaBuffer) != 0) &&
            ((wants.buffers & kStencilBuffer) == 0 || pfd.cStencilBits > 0)) {
            format = i;
            pfd_ = pfd;
        }
    }
    ASSERT_NE(format, 0) << "no single-buffered format with depth and the buffers wanted among " << count;
    ASSERT_TRUE(SetPixelFormat(hdc_, format, nullptr));
    hglrc_ = wglCreateContext(hdc_);
    ASSERT_NE(hglrc_, nullptr);
    ASSERT_TRUE(wglMakeCurrent(hdc_, hglrc_));
    gl_ = System();
    // The application's calls reach this system's library, not OSMesa's
    // (both are loaded in this program).
    ASSERT_STREQ(reinterpret_cast<const char*>(gl_.GetString(GL_VENDOR)), "Trelwick Inc.");
    if (wants.covered) {
        other_ = vnx::process::create("other");
        vnx::process::Scope other(other_);
        const RECTL cover = {area_.left + 150, area_.top + 90, area_.left + 350, area_.top + 240};
        ASSERT_NE(vnx::windows::create(cover), nullptr);
    }
}

std::vector<bool> AppTest::Shown() {
    std::vector<bool> shown(static_cast<std::size_t>(kWidth) * kHeight, false);
    for (const RECTL& r : vnx::windows::visible_region(hwnd_))
        for (LONG y = std::max(r.top, area_.top); y < std::min(r.bottom, area_.bottom); ++y)
            for (LONG x = std::max(r.left, area_.left); x < std::min(r.right, area_.right); ++x)
                shown[static_cast<std::size_t>((y - area_.top) * kWidth + (x - area_.left))] = true;
    return shown;
}

void AppTest::TearDown() {
    if (hglrc_ != nullptr) {
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(hglrc_);
    }
    vnx::opengl32::unload_driver();
    if (hdc_ != nullptr) ExtEscape(hdc_, ESC_UNLOADGLSERVER, 0, nullptr, 0, nullptr);
    as_.reset();
    if (other_ != 0) vnx::process::terminate(other_);
    if (app_ != 0) vnx::process::terminate(app_);
    device_.reset();
    vnx::debug::clear();
}

std::vector<std::uint32_t> AppTest::Picture() {
    SURFOBJ* pso = EngLockSurface(device_->hsurf());
    if (pso == nullptr) return {};
    const DFB* pdfb = reinterpret_cast<const DSURF*>(pso->dhsurf)->pdfb;
    std::vector<std::uint32_t> out =
        glmachines::WindowColours(board(), machine_, static_cast<std::uint16_t>(pdfb->pid), pdfb->x, pdfb->y, area_);
    EngUnlockSurface(pso);
    return out;
}

std::string AppTest::BoardErrors() {
    std::string errors;
    for (const vnx::board::BoardError& e : board().take_errors()) errors += e.message + "\n";
    return errors;
}

std::string AppTest::SeamsIn(const std::string& said) {
    static const char* const kHarmless[] = {"_NStereoPages"};
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
    gl.ClearColor(0.0f, 0.0f, 0.25f, 0.0f);
    gl.ClearDepth(1.0);
    gl.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void AppPictures::MatchesReference() {
    const Scene& scene = this->scene();
    if (scene.fault != nullptr) GTEST_SKIP() << scene.name << ": known fault: " << scene.fault;
    if (const std::string why = MachineSkip(scene, machine()); !why.empty())
        GTEST_SKIP() << scene.name << " on " << machine().name << ": " << why;
    // The reference is the scene's whatever the machine: drawn once, for the
    // first machine that draws the scene.
    static std::map<std::string, std::vector<std::uint32_t>> references;
    const std::string key = glmachines::CurrentSuite() + "/" + scene.name;
    if (references.count(key) == 0) {
        Reference mesa((scene.buffers & kAlphaBuffer) != 0);
        ASSERT_TRUE(mesa.ok()) << mesa.error();
        scene.draw(mesa.gl());
        ASSERT_EQ(mesa.gl().GetError(), static_cast<GLenum>(GL_NO_ERROR));
        references[key] = mesa.Picture();
    }
    std::vector<std::uint32_t> reference = references[key];
    vnx::debug::clear();
    const std::vector<std::uint32_t> before = scene.covered ? Picture() : std::vector<std::uint32_t>{};
    scene.draw(gl_);
    EXPECT_EQ(gl_.GetError(), static_cast<GLenum>(GL_NO_ERROR));
    gl_.Finish();
    if (scene.covered) {
        // What the other window covers keeps what it held; what shows is
        // compared with the reference.
        const std::vector<bool> shown = Shown();
        const std::vector<std::uint32_t> after = Picture();
        ASSERT_EQ(after.size(), reference.size());
        int drawnOver = 0, covered = 0;
        for (std::size_t i = 0; i < after.size(); ++i) {
            if (shown[i]) continue;
            ++covered;
            if (after[i] != before[i]) ++drawnOver;
            reference[i] = after[i];
        }
        EXPECT_GT(covered, 0);
        EXPECT_EQ(drawnOver, 0) << "pixels drawn under the other application's window";
    }
    const std::string said = vnx::debug::take();
    const std::string seams = SeamsIn(said);
    if (!seams.empty()) GTEST_SKIP() << scene.name << " reaches the server's seams " << seams;
    EXPECT_EQ(BoardErrors(), "");
    const glmachines::Extra more = ToleranceOf(scene, machine());
    EXPECT_TRUE(vnx::glref::same_picture(std::string("app-") + machine().name + "-" + scene.name, reference,
                                         Picture(), kWidth, kHeight,
                                         glmachines::Allowed(machine(), scene.tolerance, more.steps),
                                         scene.outliers + more.outliers))
        << scene.why << (more.why.empty() ? "" : "; on " + std::string(machine().name) + ": " + more.why) << "\n"
        << said;
    for (int r = 0; r < board().rasterizers(); ++r) EXPECT_EQ(board().summary(r).unexecuted, 0u) << "rasterizer " << r;
}

TEST_P(AppPictures, MatchesReference) { MatchesReference(); }

std::string AppRowName(const ::testing::TestParamInfo<std::tuple<Machine, Scene>>& info) {
    return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
}

}  // namespace glapp_tests
