// Two applications whose double-buffered windows overlap. Every window's
// back buffer lies in the board's one screen-sized back surface, at the
// window's place on the screen, so the part of a covered window that lies
// under another window is that window's back buffer: drawing into the
// covered window's back buffer must stay inside its visible region, or the
// other window's next swap shows the covered one's pixels.
#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "app_gl.h"
#include "platform/board.h"
#include "platform/debug.h"
#include "platform/miniport.h"
#include "platform/windows.h"
#include "vornix_surface.h"

namespace glapp_tests {
namespace {

// One application on a thread of its own (a host thread draws for one
// process only), running the steps it is given one at a time.
class App {
  public:
    explicit App(const char* name) : pid_(vnx::process::create(name)), thread_([this] { Run(); }) {}
    ~App() {
        Do([this] {
            if (hglrc_ != nullptr) {
                wglMakeCurrent(nullptr, nullptr);
                wglDeleteContext(hglrc_);
            }
        });
        {
            std::lock_guard<std::mutex> lock(m_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
        vnx::process::terminate(pid_);
    }
    // Runs the step on the application's thread and waits for it.
    void Do(std::function<void()> step) {
        std::unique_lock<std::mutex> lock(m_);
        step_ = std::move(step);
        cv_.notify_all();
        cv_.wait(lock, [this] { return !step_; });
    }
    // A window with the first double-buffered RGBA format, its context current.
    bool Open(const RECTL& area) {
        bool ok = false;
        Do([&] {
            HWND hwnd = vnx::windows::create(area);
            hdc_ = hwnd != nullptr ? GetDC(hwnd) : nullptr;
            if (hdc_ == nullptr) return;
            FormatWants wants;
            wants.doubleBuffered = true;
            wants.anyAlpha = true;
            const int format = ChooseFormat(hdc_, wants);
            if (format == 0 || !SetPixelFormat(hdc_, format, nullptr)) return;
            hglrc_ = wglCreateContext(hdc_);
            ok = hglrc_ != nullptr && wglMakeCurrent(hdc_, hglrc_);
        });
        return ok;
    }
    HDC hdc() const { return hdc_; }

  private:
    void Run() {
        vnx::process::Scope as(pid_);
        std::unique_lock<std::mutex> lock(m_);
        for (;;) {
            cv_.wait(lock, [this] { return step_ || done_; });
            if (step_) {
                step_();
                step_ = nullptr;
                cv_.notify_all();
            } else if (done_) {
                return;
            }
        }
    }

    DWORD pid_;
    HDC hdc_ = nullptr;
    HGLRC hglrc_ = nullptr;
    std::mutex m_;
    std::condition_variable cv_;
    std::function<void()> step_;
    bool done_ = false;
    std::thread thread_;
};

// The whole window in one colour: window pixels, the colour drawn as a
// rectangle (the clear takes its own way to the board).
void Fill(const Gl& gl, float r, float g, float b) {
    gl.Viewport(0, 0, 1000, 1000);
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadIdentity();
    gl.Ortho(0, 1000, 0, 1000, -1, 1);
    gl.MatrixMode(GL_MODELVIEW);
    gl.LoadIdentity();
    gl.Color3f(r, g, b);
    gl.Rectf(0, 0, 1000, 1000);
}

// Whether two pixels differ by at most a few levels a channel (dithering).
bool Near(std::uint32_t a, std::uint32_t b) {
    for (int shift : {0, 8, 16}) {
        const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (d > 8 || d < -8) return false;
    }
    return true;
}

class SharedBackSurface : public ::testing::Test {
  protected:
    void SetUp() override {
        SetEnvironmentVariableA("KZGLSRVNAME", nullptr);
        vnx::miniport::MachineConfig cfg;
        cfg.memoryClass = 2;
        device_ = std::make_unique<vnx::engine::Device>(cfg);
        ASSERT_TRUE(device_->load_driver());
        DEVMODEW dm = vnx::engine::DisplayMode(640, 480, 32);
        ASSERT_TRUE(device_->enable_pdev(dm));
        ASSERT_TRUE(device_->enable_surface());
    }
    void TearDown() override {
        vnx::opengl32::unload_driver();
        device_.reset();
        vnx::debug::clear();
    }
    // A screen pixel as 0x00RRGGBB.
    std::uint32_t ScreenPixel(LONG x, LONG y) {
        SURFOBJ* pso = EngLockSurface(device_->hsurf());
        const DFB* pdfb = reinterpret_cast<const DSURF*>(pso->dhsurf)->pdfb;
        const std::uint32_t rgb =
            device_->machine().board().read_rgb(0, static_cast<std::uint16_t>(pdfb->pid), pdfb->x + x, pdfb->y + y, 1, 1)[0];
        EngUnlockSurface(pso);
        return rgb;
    }
    std::unique_ptr<vnx::engine::Device> device_;
};

// The covered application draws its whole back buffer after the one above
// it has drawn its own; the one above then swaps: its window shows only its
// own drawing, and the covered one's swap shows its drawing where it shows.
TEST_F(SharedBackSurface, DrawingIntoACoveredWindowsBackBufferLeavesTheWindowAboveAlone) {
    const RECTL below = {100, 80, 356, 272}, above = {200, 150, 300, 230};
    {
        App a("below"), b("above");
        ASSERT_TRUE(a.Open(below));
        ASSERT_TRUE(b.Open(above));
        const Gl gl = System();
        b.Do([&] {
            Fill(gl, 1, 0, 0);
            gl.Finish();
        });
        a.Do([&] {
            Fill(gl, 0, 1, 0);
            gl.Finish();
        });
        b.Do([&] { SwapBuffers(b.hdc()); });
        a.Do([&] { SwapBuffers(a.hdc()); });
        for (LONG y : {above.top, (above.top + above.bottom) / 2, above.bottom - 1})
            for (LONG x : {above.left, (above.left + above.right) / 2, above.right - 1})
                EXPECT_PRED2(Near, ScreenPixel(x, y), 0xFF0000u) << "above, at " << x << ", " << y;
        EXPECT_PRED2(Near, ScreenPixel(below.left, below.top), 0x00FF00u);
        EXPECT_PRED2(Near, ScreenPixel(below.right - 1, below.bottom - 1), 0x00FF00u);
        EXPECT_PRED2(Near, ScreenPixel(above.left - 1, above.top), 0x00FF00u);
    }
    EXPECT_EQ(device_->machine().board().take_errors().size(), 0u);
}

// Smooth-shaded triangles with a colour a vertex into the covered window's
// back buffer, each inside one of the window's visible rectangles, so that
// the others see nothing of the batch; the colour the last vertex gave
// stays current for a triangle that gives none.
TEST_F(SharedBackSurface, BatchesThatMissRectanglesKeepTheCurrentColour) {
    const RECTL below = {100, 80, 356, 272}, above = {200, 150, 300, 230};
    {
        App a("below"), b("above");
        ASSERT_TRUE(a.Open(below));
        ASSERT_TRUE(b.Open(above));
        const Gl gl = System();
        a.Do([&] {
            Fill(gl, 0, 0, 0);
            gl.Viewport(0, 0, 256, 192);
            gl.MatrixMode(GL_PROJECTION);
            gl.LoadIdentity();
            gl.Ortho(0, 256, 0, 192, -1, 1);
            gl.ShadeModel(GL_SMOOTH);
            // In the window's bottom strip (screen rows 230 to 271).
            gl.Begin(GL_TRIANGLES);
            gl.Color3f(1, 0, 0), gl.Vertex2f(10, 5);
            gl.Color3f(1, 0, 0), gl.Vertex2f(60, 5);
            gl.Color3f(0, 0, 1), gl.Vertex2f(10, 35);
            gl.End();
            // In its top strip (screen rows 80 to 149), no colour given.
            gl.Begin(GL_TRIANGLES);
            gl.Vertex2f(10, 130), gl.Vertex2f(60, 130), gl.Vertex2f(10, 180);
            gl.End();
            gl.Finish();
            SwapBuffers(a.hdc());
        });
        EXPECT_PRED2(Near, ScreenPixel(below.left + 12, below.bottom - 7), 0xF2000Du);
        EXPECT_PRED2(Near, ScreenPixel(below.left + 12, below.bottom - 140), 0x0000FFu);
    }
    EXPECT_EQ(device_->machine().board().take_errors().size(), 0u);
}

}  // namespace
}  // namespace glapp_tests
