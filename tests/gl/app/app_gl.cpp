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

int ChooseFormat(HDC hdc, const FormatWants& wants, PIXELFORMATDESCRIPTOR* out) {
    const int count = DescribePixelFormat(hdc, 1, 0, nullptr);
    for (int i = 1; i <= count; ++i) {
        PIXELFORMATDESCRIPTOR pfd{};
        if (DescribePixelFormat(hdc, i, sizeof pfd, &pfd) > 0 && pfd.iPixelType == wants.type &&
            (pfd.dwFlags & PFD_DRAW_TO_WINDOW) != 0 &&
            ((pfd.dwFlags & PFD_DOUBLEBUFFER) != 0) == wants.doubleBuffered &&
            (wants.anyAlpha || (pfd.cAlphaBits > 0) == wants.alpha) && (!wants.depth || pfd.cDepthBits > 0) &&
            (!wants.stencil || pfd.cStencilBits > 0) && (!wants.accum || pfd.cAccumBits > 0)) {
            if (out != nullptr) *out = pfd;
            return i;
        }
    }
    return 0;
}

void AppTest::Start(const Wants& wants) {
    SetEnvironmentVariableA("KZGLSRVNAME", nullptr);
    machine_ = wants.machine;
    const bool alpha = (wants.buffers & kAlphaBuffer) != 0;
    area_ = wants.area.right > wants.area.left ? wants.area : glmachines::WindowArea(machine_, kWidth, kHeight);
    vnx::miniport::MachineConfig cfg =
        glmachines::ConfigOf(machine_, alpha && !wants.alphaInHost, (wants.buffers & kStencilBuffer) != 0);
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
    if (wants.colourIndex) {
        // The server offers its colour-index formats only when told to offer
        // the table's whole count (as a control panel tells it).
        DescribePixelFormat(hdc_, 1, 0, nullptr);
        const ULONG words[] = {GLCMD_SETFORMATCOUNT, 0, 0, 0, 0, 64};
        ExtEscape(hdc_, OPENGL_CMD, sizeof words, reinterpret_cast<LPCSTR>(words), 0, nullptr);
    }
    // The first format of the pixel type with a depth buffer (or, for the
    // accumulation buffer, its bits) and the buffers wanted (alpha only when
    // wanted).
    FormatWants fw;
    fw.type = wants.colourIndex ? PFD_TYPE_COLORINDEX : PFD_TYPE_RGBA;
    fw.doubleBuffered = wants.doubleBuffered;
    fw.alpha = alpha;
    fw.depth = !wants.accum;
    fw.stencil = (wants.buffers & kStencilBuffer) != 0;
    fw.accum = wants.accum;
    const int format = ChooseFormat(hdc_, fw, &pfd_);
    ASSERT_NE(format, 0) << "no format with the buffers wanted among " << DescribePixelFormat(hdc_, 1, 0, nullptr);
    ASSERT_TRUE(SetPixelFormat(hdc_, format, nullptr));
    hglrc_ = wglCreateContext(hdc_);
    ASSERT_NE(hglrc_, nullptr);
    ASSERT_TRUE(wglMakeCurrent(hdc_, hglrc_));
    gl_ = System();
    // The application's calls reach this system's library, not OSMesa's
    // (both are loaded in this program).
    ASSERT_STREQ(reinterpret_cast<const char*>(gl_.GetString(GL_VENDOR)), "Trelwick Inc.");
    if (wants.covered) Cover({{area_.left + 150, area_.top + 90, area_.left + 350, area_.top + 240}});
    if (wants.holes) {
        std::vector<RECTL> holes;
        for (const RECTL& h : kHoles)
            holes.push_back({area_.left + h.left, area_.top + h.top, area_.left + h.right, area_.top + h.bottom});
        Cover(holes);
    }
}

void AppTest::Cover(const std::vector<RECTL>& rcls) {
    other_ = vnx::process::create("other");
    vnx::process::Scope other(other_);
    for (const RECTL& rcl : rcls) ASSERT_NE(vnx::windows::create(rcl), nullptr);
}

std::vector<std::uint32_t> AppTest::Around() {
    SURFOBJ* pso = EngLockSurface(device_->hsurf());
    if (pso == nullptr) return {};
    const DFB* pdfb = reinterpret_cast<const DSURF*>(pso->dhsurf)->pdfb;
    const RECTL around = {area_.left - kMargin, area_.top - kMargin, area_.right + kMargin, area_.bottom + kMargin};
    std::vector<std::uint32_t> out = glmachines::WindowColours(board(), machine_, static_cast<std::uint16_t>(pdfb->pid),
                                                               pdfb->x, pdfb->y, around);
    EngUnlockSurface(pso);
    return out;
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

std::vector<std::uint32_t> AppTest::Screen() {
    SURFOBJ* pso = EngLockSurface(device_->hsurf());
    if (pso == nullptr) return {};
    const DFB* pdfb = reinterpret_cast<const DSURF*>(pso->dhsurf)->pdfb;
    std::vector<std::uint32_t> out = board().read_rgb(0, static_cast<std::uint16_t>(pdfb->pid), pdfb->x, pdfb->y,
                                                      static_cast<LONG>(machine_.choice.width),
                                                      static_cast<LONG>(machine_.choice.height));
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

void WindowCoordinates(const Gl& gl) {
    gl.Viewport(0, 0, kWidth, kHeight);
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadIdentity();
    gl.Ortho(0, kWidth, 0, kHeight, -1, 1);
    gl.MatrixMode(GL_MODELVIEW);
    gl.LoadIdentity();
}

void Pixels(const Gl& gl) {
    WindowCoordinates(gl);
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
    const bool covered = scene.covered || scene.holes;
    const std::vector<std::uint32_t> before = covered ? Picture() : std::vector<std::uint32_t>{};
    const std::vector<std::uint32_t> aroundBefore = covered ? Around() : std::vector<std::uint32_t>{};
    scene.draw(gl_);
    EXPECT_EQ(gl_.GetError(), static_cast<GLenum>(GL_NO_ERROR));
    gl_.Finish();
    if (covered) {
        // Nor does a pixel next to the window change.
        const std::vector<std::uint32_t> aroundAfter = Around();
        ASSERT_EQ(aroundAfter.size(), aroundBefore.size());
        const int cx = kWidth + 2 * kMargin;
        int outside = 0;
        for (std::size_t i = 0; i < aroundAfter.size(); ++i) {
            const int x = static_cast<int>(i) % cx - kMargin, y = static_cast<int>(i) / cx - kMargin;
            const bool inWindow = x >= 0 && x < kWidth && y >= 0 && y < kHeight;
            if (!inWindow && aroundAfter[i] != aroundBefore[i] && outside++ < 5)
                ADD_FAILURE() << "pixel " << x << "," << y << " (window coordinates) outside the window changed";
        }
        EXPECT_EQ(outside, 0) << "pixels drawn outside the window";
        // What the other window covers keeps what it held; what shows is
        // compared with the reference.
        const std::vector<bool> shown = Shown();
        const std::vector<std::uint32_t> after = Picture();
        ASSERT_EQ(after.size(), reference.size());
        int drawnOver = 0, hidden = 0;
        for (std::size_t i = 0; i < after.size(); ++i) {
            if (shown[i]) continue;
            ++hidden;
            if (after[i] != before[i]) ++drawnOver;
            reference[i] = after[i];
        }
        EXPECT_GT(hidden, 0);
        EXPECT_EQ(drawnOver, 0) << "pixels drawn under the other application's window";
    }
    const std::string said = vnx::debug::take();
    const std::string seams = SeamsIn(said);
    if (!seams.empty()) GTEST_SKIP() << scene.name << " reaches the server's seams " << seams;
    EXPECT_EQ(BoardErrors(), "");
    // A state the driver draws is never one its own parts disagree on: the
    // server says so with a programmer-error line before it falls back.
    EXPECT_EQ(said.find("PROGRAMMER ERROR"), std::string::npos) << said;
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
