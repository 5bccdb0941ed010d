// The requests the client driver's exports write, read off a display driver
// that records every escape: sub-code, flags, the process id at +16, the
// argument words from +20 and the size; and what the exports copy back out
// of the driver's answers.
#include <functional>

#include "fake_driver_fixture.h"

extern "C" {
DHGLRC DrvCreateLayerContext(HDC hdc, INT iLayerPlane);
BOOL DrvDescribeLayerPlane(HDC hdc, INT iPixelFormat, INT iLayerPlane, UINT nBytes, void* plpd);
INT DrvGetLayerPaletteEntries(HDC hdc, INT iLayerPlane, INT iStart, INT cEntries, ULONG* pcr);
INT DrvSetLayerPaletteEntries(HDC hdc, INT iLayerPlane, INT iStart, INT cEntries, const ULONG* pcr);
BOOL DrvRealizeLayerPalette(HDC hdc, INT iLayerPlane, BOOL bRealize);
BOOL DrvSwapLayerBuffers(HDC hdc, UINT fuPlanes);
}

namespace {

using glclt_test::CC;

// What the fake driver writes as the first output word: the context handle.
constexpr ULONG kFakeDhrc = 0xE3E2E1E0;

class RequestTest : public glclt_test::FakeMachineTest {
  protected:
    // The input of the last OPENGL_CMD escape, with the words the engine
    // writes (pwo, pxo) left out.
    std::vector<ULONG> LastRequest(ULONG* pcjOut = nullptr) {
        for (auto it = drv_->clientCalls.rbegin(); it != drv_->clientCalls.rend(); ++it) {
            if (it->what != "DrvEscape" || it->iEsc != OPENGL_CMD) continue;
            std::vector<ULONG> w(it->in.size() / 4);
            std::memcpy(w.data(), it->in.data(), 4 * w.size());
            if (w.size() >= 4) w.erase(w.begin() + 2, w.begin() + 4);
            if (pcjOut != nullptr) *pcjOut = it->cjOut;
            return w;
        }
        return {};
    }
    ULONG H(HDC hdc) const { return static_cast<ULONG>(reinterpret_cast<std::uintptr_t>(hdc)); }
};

TEST_F(RequestTest, EachExportWritesItsRequest) {
    vnx::process::Scope as(app_);
    const DHGLRC h = DrvCreateContext(hdc_);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(CC(h)->dhrc, kFakeDhrc);
    const ULONG pid = GetCurrentProcessId(), hdc = H(hdc_);
    EXPECT_EQ(LastRequest(), (std::vector<ULONG>{3, 0, pid, hdc, 1}));

    DHGLRC hLayer = 0;
    ULONG entries[2] = {7, 8};
    BYTE plane[32];
    ULONG palette[4];
    const struct {
        const char* what;
        std::function<void()> call;
        std::vector<ULONG> words;  // sub-code, flags, process id, arguments
        ULONG cjOut;
    } cases[] = {
        {"create layer", [&] { hLayer = DrvCreateLayerContext(hdc_, 2); }, {14, 0, pid, hdc, 1, 2}, 4},
        {"set", [&] { DrvSetContext(hdc_, h, nullptr); }, {1, 3, pid, hdc, kFakeDhrc}, 0},
        {"share", [&] { DrvShareLists(h, h); }, {11, 0, pid, kFakeDhrc, kFakeDhrc}, 0},
        {"copy", [&] { DrvCopyContext(h, h, 5); }, {13, 0, pid, kFakeDhrc, kFakeDhrc, 5}, 0},
        {"release", [&] { DrvReleaseContext(h); }, {5, 0, pid, kFakeDhrc}, 0},
        {"describe layer", [&] { DrvDescribeLayerPlane(hdc_, 1, 2, 32, plane); }, {15, 0, pid, 1, 2, 32}, 52},
        {"get palette", [&] { DrvGetLayerPaletteEntries(hdc_, 1, 0, 4, palette); }, {16, 1, pid, 1, 0, 4}, 1044},
        {"realize", [&] { DrvRealizeLayerPalette(hdc_, 1, TRUE); }, {17, 1, pid, 1, 1}, 0},
        {"swap layers", [&] { DrvSwapLayerBuffers(hdc_, 4); }, {19, 1, pid, 4}, 0},
        {"delete", [&] { DrvDeleteContext(h); }, {4, 0, pid, kFakeDhrc}, 0},
    };
    for (const auto& c : cases) {
        c.call();
        ULONG cjOut = ~0u;
        EXPECT_EQ(LastRequest(&cjOut), c.words) << c.what;
        EXPECT_EQ(cjOut, c.cjOut) << c.what;
    }

    EXPECT_TRUE(DrvDeleteContext(hLayer));

    // Setting palette entries always sends room for a whole palette.
    EXPECT_EQ(DrvSetLayerPaletteEntries(hdc_, 1, 0, 2, entries), 1);
    std::vector<ULONG> set = LastRequest();
    ASSERT_EQ(set.size(), (1056u - 8u) / 4u);
    EXPECT_EQ(std::vector<ULONG>(set.begin(), set.begin() + 8), (std::vector<ULONG>{18, 1, pid, 1, 0, 2, 7, 8}));
    const size_t before = drv_->clientCalls.size();
    std::vector<ULONG> tooMany(257, 1);
    EXPECT_EQ(DrvSetLayerPaletteEntries(hdc_, 1, 0, 257, tooMany.data()), 0) << "more than a palette";
    EXPECT_EQ(drv_->clientCalls.size(), before);

    // Thread detach.
    std::thread([&] {
        vnx::process::Scope as(app_);
        ASSERT_TRUE(GLCltDllInitialize(nullptr, DLL_THREAD_ATTACH, nullptr));
        ASSERT_TRUE(GLCltDllInitialize(nullptr, DLL_THREAD_DETACH, nullptr));
    }).join();
    EXPECT_EQ(LastRequest(), (std::vector<ULONG>{20, 0, pid}));
}

// What the exports copy out of an answer stays within the caller's buffer:
// at most one 32-byte descriptor, at most the entries asked for.
TEST_F(RequestTest, AnswersAreCopiedWithinTheCallersBuffer) {
    vnx::process::Scope as(app_);
    BYTE plane[40];
    std::memset(plane, 0x55, sizeof plane);
    EXPECT_TRUE(DrvDescribeLayerPlane(hdc_, 1, 0, sizeof plane, plane));
    EXPECT_EQ(plane[0], 0xE0 + 20) << "the descriptor follows the reply's head";
    EXPECT_EQ(plane[31], static_cast<BYTE>(0xE0 + 20 + 31));
    EXPECT_EQ(plane[32], 0x55) << "one descriptor only";

    drv_->escapeAnswer = 300;
    ULONG palette[5];
    std::memset(palette, 0x55, sizeof palette);
    EXPECT_EQ(DrvGetLayerPaletteEntries(hdc_, 1, 0, 4, palette), 300);
    EXPECT_EQ(palette[0], 0xF7F6F5F4u);
    EXPECT_EQ(palette[4], 0x55555555u) << "no more than asked for";

    drv_->escapeAnswer = 0;
    EXPECT_FALSE(DrvDescribeLayerPlane(hdc_, 1, 0, sizeof plane, plane));
    EXPECT_EQ(DrvGetLayerPaletteEntries(hdc_, 1, 0, 4, palette), 0);
    EXPECT_EQ(DrvCreateContext(hdc_), 0u);
    EXPECT_FALSE(DrvShareLists(0, 0));
}

}  // namespace
