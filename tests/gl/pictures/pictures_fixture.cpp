// The scenes and the fixture the picture tests share (pictures_fixture.h).
#include "pictures_fixture.h"

#include <cstdlib>
#include <cstring>
#include <map>

#include "../../platform/gl_reference.h"

namespace pictures {

using glsrv_device::Request;

namespace {

// Pixel format 2: single-buffered RGBA with a 16-bit depth buffer on the
// 16- and 32-bit displays, so the scenes draw into the front buffer.
constexpr ULONG kSingleBufferedFormat = 1;
// Pixel format 4: the same with an alpha buffer.
constexpr ULONG kSingleBufferedAlphaFormat = 3;

}  // namespace

Calls Start() {
    return {C("Viewport", {0, 0, kWidth, kHeight}), C("MatrixMode", {kProjection}), C("LoadIdentity"),
            Double("Ortho", {0, kWidth, 0, kHeight, 1, -1}), C("MatrixMode", {kModelview}), C("LoadIdentity"),
            C("DrawBuffer", {0x404}), Double("ClearDepth", {1.0}), C("Clear", {kDepthBufferBit})};
}
Calls With(Calls a, const Calls& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Calls Primitive(std::uint32_t mode, std::initializer_list<V> vs) {
    Calls c{C("Begin", {mode})};
    for (const V& v : vs) {
        c.push_back(Colour(v.r, v.g, v.b));
        c.push_back(Vertex(v.x, v.y, v.z));
    }
    c.push_back(C("End"));
    return c;
}

Calls Triangles(std::uint32_t shade) {
    return With(Start(), With({C("ShadeModel", {shade})},
                              Primitive(kTriangles, {{20, 20, 0, 1, 0, 0}, {120, 30, 0, 0, 1, 0}, {60, 150, 0, 0, 0, 1},
                                                     {140, 170, 0, 1, 1, 0}, {230, 100, 0, 0, 1, 1}, {130, 60, 0, 1, 0, 1}})));
}
Calls Quads(std::uint32_t shade) {
    return With(Start(), With({C("ShadeModel", {shade})},
                              Primitive(kQuads, {{30, 30, 0, 1, 0, 0}, {110, 20, 0, 0, 1, 0}, {120, 110, 0, 0, 0, 1},
                                                 {20, 100, 0, 1, 1, 1}, {140, 120, 0, 0.5f, 0.2f, 0.9f},
                                                 {240, 130, 0, 0.9f, 0.6f, 0.1f}, {220, 180, 0, 0.1f, 0.9f, 0.4f},
                                                 {150, 170, 0, 0.7f, 0.7f, 0.2f}})));
}
Calls Polygon(std::uint32_t shade) {
    return With(Start(), With({C("ShadeModel", {shade})},
                              Primitive(kPolygon, {{128, 20, 0, 1, 0, 0}, {220, 70, 0, 0, 1, 0}, {200, 160, 0, 0, 0, 1},
                                                   {90, 180, 0, 1, 1, 0}, {30, 100, 0, 0, 1, 1}})));
}
Calls StripAndFan(std::uint32_t shade) {
    return With(Start(),
                With(With({C("ShadeModel", {shade})},
                          Primitive(kTriangleStrip, {{10, 20, 0, 1, 0, 0}, {20, 90, 0, 0, 1, 0}, {60, 25, 0, 0, 0, 1},
                                                     {70, 80, 0, 1, 1, 0}, {110, 30, 0, 0, 1, 1}, {120, 95, 0, 1, 0, 1}})),
                     Primitive(kTriangleFan, {{180, 140, 0, 1, 1, 1}, {240, 140, 0, 1, 0, 0}, {220, 180, 0, 0, 1, 0},
                                              {170, 185, 0, 0, 0, 1}, {130, 150, 0, 1, 1, 0}, {140, 110, 0, 0, 1, 1}})));
}
Calls Depth(std::uint32_t func) {
    return With(Start(),
                With(With({C("Enable", {kDepthTest}), C("DepthFunc", {kLess}), C("ShadeModel", {kSmooth})},
                          Primitive(kTriangles, {{20, 20, -0.5f, 1, 0, 0}, {200, 40, 0.5f, 1, 0.5f, 0},
                                                 {80, 170, 0.0f, 1, 0, 0.5f}})),
                     With({C("DepthFunc", {func})},
                          Primitive(kTriangles, {{40, 150, 0.6f, 0, 0, 1}, {230, 170, -0.6f, 0, 1, 1},
                                                 {150, 10, 0.0f, 0, 1, 0}}))));
}
Calls Lines(float width, bool stipple, std::uint32_t shade) {
    Calls c = Start();
    c.push_back(C("ShadeModel", {shade}));
    c.push_back(C("LineWidth", {glx::F(width)}));
    if (stipple) {
        c.push_back(C("Enable", {kLineStipple}));
        c.push_back(C("LineStipple", {2, 0x0F33}));
    }
    return With(c, Primitive(kLines, {{10.5f, 10.5f, 0, 1, 0, 0}, {240.5f, 30.5f, 0, 0, 1, 0},
                                      {20.5f, 40.5f, 0, 1, 1, 0}, {60.5f, 180.5f, 0, 0, 0, 1},
                                      {250.5f, 180.5f, 0, 1, 0, 1}, {90.5f, 60.5f, 0, 0, 1, 1},
                                      {120.5f, 100.5f, 0, 1, 1, 1}, {200.5f, 100.5f, 0, 1, 0, 0},
                                      {150.5f, 20.5f, 0, 0, 1, 0}, {150.5f, 170.5f, 0, 0, 0, 1}}));
}
Calls StencilMarks() {
    constexpr std::uint32_t kStencilBufferBit = 0x0400, kStencilTest = 0x0B90, kKeep = 0x1E00, kReplace = 0x1E01;
    return With(Start(), With(With({C("ClearStencil", {0}), C("Clear", {kStencilBufferBit}), C("Enable", {kStencilTest}),
                                    C("StencilFunc", {kAlways, 1, 0xFF}), C("StencilOp", {kKeep, kKeep, kReplace}),
                                    C("ShadeModel", {kFlat})},
                                   Primitive(kTriangles, {{20, 20, 0, 0.4f, 0, 0}, {200, 30, 0, 0.4f, 0, 0},
                                                          {60, 170, 0, 0.4f, 0, 0}})),
                              With({C("StencilFunc", {kAlways, 2, 0xFF})},
                                   Primitive(kTriangles, {{240, 20, 0, 0, 0.4f, 0}, {230, 180, 0, 0, 0.4f, 0},
                                                          {50, 100, 0, 0, 0.4f, 0}}))));
}

Calls LineStrip() {
    return With(Start(), Primitive(kLineStrip, {{20.5f, 20.5f, 0, 1, 0, 0}, {200.5f, 60.5f, 0, 0, 1, 0},
                                                {60.5f, 170.5f, 0, 0, 0, 1}, {230.5f, 150.5f, 0, 1, 1, 0}}));
}

std::string RowName(const ::testing::TestParamInfo<std::tuple<Scene, Machine>>& info) {
    return std::string(std::get<1>(info.param).name) + "_" + std::get<0>(info.param).name;
}

void PictureFixture::BootRoomy(const Machine& machine, unsigned buffers) {
    machine_ = machine;
    bpp_ = machine.bpp();
    buffers_ = buffers;
    area_ = glmachines::WindowArea(machine, kWidth, kHeight);
    vnx::miniport::MachineConfig cfg =
        glmachines::ConfigOf(machine, (buffers & kAlphaBuffer) != 0, (buffers & kStencilBuffer) != 0);
    if (machine.configured && (buffers & kMipmaps) != 0) cfg.boardConfig.flags |= BCF_MIPMAP;
    device_ = std::make_unique<vnx::engine::Device>(cfg);
    ASSERT_TRUE(device_->load_driver());
    ASSERT_TRUE(device_->enable_pdev(
        vnx::engine::DisplayMode(machine.choice.width, machine.choice.height, machine.choice.bpp)));
    ASSERT_TRUE(device_->enable_surface());
    pso_ = EngLockSurface(device_->hsurf());
    ASSERT_NE(pso_, nullptr);
    saved_ = *Hooks();
    ASSERT_TRUE(InitGLSrvDll(nullptr, GLSRV_PROCESS_ATTACH, nullptr));
    ASSERT_EQ(DrvEnableEscape(0x10002, ppdev()), 1u);
    app_ = vnx::process::create("app");
    other_ = vnx::process::create("other");
    vnx::debug::clear();
    board().take_errors();
}

bool PictureFixture::OpenWindow() {
    {
        vnx::process::Scope as(app_);
        hwnd_ = vnx::windows::create(area_);
        if (hwnd_ == nullptr) return false;
    }
    vnx::process::Scope as(app_);
    hdc_ = GetDC(hwnd_);
    const ULONG format = (buffers_ & kAlphaBuffer) != 0 ? kSingleBufferedAlphaFormat : kSingleBufferedFormat;
    if (hdc_ == nullptr || !SetPixelFormat(hdc_, static_cast<INT>(format), nullptr)) return false;
    std::vector<BYTE> out(4);
    if (Escape(Request(GLCMD_CREATECONTEXT, 0, {0, format}), &out) != 1) return false;
    std::memcpy(&dhrc_, out.data(), 4);
    return Escape(Request(GLCMD_SETCONTEXT, OGLCMD_NEEDWNDOBJ | OGLCMD_NEEDXLATEOBJ, {0, dhrc_})) == 1;
}

void PictureFixture::Blacken() {
    const DFB* pdfb = Primary();
    for (LONG y = area_.top; y < area_.bottom; ++y)
        for (LONG x = area_.left; x < area_.right; ++x) {
            const glmachines::BoardPixel at = glmachines::Locate(machine_, x);
            const LONG bx = pdfb->x + at.x, by = pdfb->y + y;
            BYTE* p = board().pixel(board().tile_owner(at.board, bx, by), static_cast<std::uint16_t>(pdfb->pid), bx, by);
            ASSERT_NE(p, nullptr);
            std::memset(p, 0, bpp_ / 8);
        }
}

void PictureFixture::Send(const Calls& calls) {
    glx::Bytes stream;
    auto flush = [&] {
        if (!stream.empty()) ASSERT_EQ(RunStream(stream), 1);
        stream.clear();
    };
    for (const Call& c : calls) {
        const glx::Bytes b = Encode(c);
        if (stream.size() + b.size() > 2048) flush();
        stream.insert(stream.end(), b.begin(), b.end());
    }
    flush();
    RunSingle(glx::Single("Finish"));
}

std::vector<std::uint32_t> PictureFixture::Picture() {
    const DFB* pdfb = Primary();
    return glmachines::WindowColours(board(), machine_, static_cast<std::uint16_t>(pdfb->pid), pdfb->x, pdfb->y, area_);
}

std::set<std::string> PictureFixture::SeamsIn(const std::string& text) {
    static const std::set<std::string> kHarmless = {"_NStereoPages"};
    static const std::string kMark = ": not available yet";
    std::set<std::string> out;
    for (std::size_t at = text.find(kMark); at != std::string::npos; at = text.find(kMark, at + 1)) {
        const std::size_t from = text.rfind('\n', at);
        const std::size_t start = from == std::string::npos ? 0 : from + 1;
        const std::string name = text.substr(start, at - start);
        if (kHarmless.count(name) == 0) out.insert(name);
    }
    return out;
}

// The reference first (nothing to compare without it), then the machine
// and the window, black, the debugger output cleared.
namespace {

void SkipNaming(const Scene& scene, const Machine& machine, const std::string& why) {
    GTEST_SKIP() << scene.name << " on " << machine.name << ": " << why;
}

}  // namespace

bool PictureFixture::Prepare(const Calls& calls, const Scene& scene, const Machine& machine) {
    if (const std::string why = MachineSkip(scene, machine); !why.empty()) {
        SkipNaming(scene, machine, why);
        return false;
    }
    // The reference is the scene's whatever the machine: drawn once, for the
    // first machine of the suite that draws the scene.
    static std::map<std::string, std::vector<std::uint32_t>> references;
    const std::string key = glmachines::CurrentSuite() + "/" + scene.name;
    if (references.count(key) == 0) {
        std::string error;
        std::vector<std::uint32_t> picture = Reference(calls, kWidth, kHeight, &error, (scene.buffers & kAlphaBuffer) != 0);
        EXPECT_FALSE(picture.empty()) << error;
        if (picture.empty()) return false;
        references[key] = std::move(picture);
    }
    reference_ = references[key];
    BootRoomy(machine, scene.buffers);
    if (HasFatalFailure()) return false;
    const bool bOpen = OpenWindow();
    EXPECT_TRUE(bOpen) << vnx::debug::take();
    if (!bOpen) return false;
    Blacken();
    if (HasFatalFailure()) return false;
    vnx::debug::clear();
    return true;
}

void PictureFixture::Judge(const std::string& prefix, const Scene& scene, const Machine& machine) {
    if (HasFatalFailure()) return;
    const std::string said = vnx::debug::take();
    const std::set<std::string> seams = SeamsIn(said);
    if (!seams.empty()) {
        std::string names;
        for (const std::string& s : seams) names += (names.empty() ? "" : ", ") + s;
        // VNX_PICTURES_VERBOSE=1 shows what the server said on the way.
        GTEST_SKIP() << scene.name << " reaches the server's seam " << names
                     << (std::getenv("VNX_PICTURES_VERBOSE") != nullptr ? "\n" + said : std::string());
    }
    std::string errors;
    for (const vnx::board::BoardError& e : board().take_errors()) errors += e.message + "\n";
    EXPECT_EQ(errors, "");
    const std::string name = prefix + scene.name + "-" + machine.name;
    const glmachines::Extra more = ToleranceOf(scene, machine);
    EXPECT_TRUE(vnx::glref::same_picture(name, reference_, Picture(), kWidth, kHeight,
                                         glmachines::Allowed(machine, scene.tolerance, more.steps),
                                         scene.outliers + more.outliers))
        << scene.why << (more.why.empty() ? "" : "; on " + std::string(machine.name) + ": " + more.why) << "\n"
        << said;
    for (int r = 0; r < board().rasterizers(); ++r) EXPECT_EQ(board().summary(r).unexecuted, 0u) << "rasterizer " << r;
}

}  // namespace pictures
