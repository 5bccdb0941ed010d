// Pixel formats and visuals on a device record of our own: the table the
// board and mode choose, the visuals patched to the board, the describe
// calls, the format count and the overlay palette with its colour
// registers.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "pixfmt/drawable.h"
#include "glpdev.h"
#include "pixfmt/pixfmt.h"
#include "platform/debug.h"
#include "platform/faults.h"
#include "platform/miniport.h"
#include "seams_double.h"

namespace {

// A device record holding just the fields the server reads, where the
// driver says they are.
class FakeDevice {
  public:
    FakeDevice() {
        const GLPDEVFIELDS& f = gGLPdevFields;
        size_t cj = 0;
        for (ULONG o : {f.cjPageConfig, f.cjPixelClass, f.cjBitmapFormat, f.cjDriver,
                        f.cjBoardConfig, f.cjEscapeLock})
            cj = std::max<size_t>(cj, o);
        bytes_.assign(cj + sizeof(BoardConfig) + sizeof(CRITICAL_SECTION) + 64, 0);
        pageConfig_ = PAGECONFIG{32, 16384, 128, 128, 16, {8, 8, 0, 0}, 0, 0, 0};
        *pGLPdevField<PAGECONFIG*>(ppdev(), f.cjPageConfig) = &pageConfig_;
        set(1, 2);
    }
    PDEV* ppdev() { return reinterpret_cast<PDEV*>(bytes_.data()); }
    PAGECONFIG& pageConfig() { return pageConfig_; }
    void set(ULONG doubleBuffer, ULONG pixelClass) {
        pGLBoardConfig(ppdev())->doubleBuffer = doubleBuffer;
        *pGLPdevField<ULONG>(ppdev(), gGLPdevFields.cjPixelClass) = pixelClass;
        *pGLPdevField<ULONG>(ppdev(), gGLPdevFields.cjBitmapFormat) =
            pixelClass == 0 ? BMF_8BPP : pixelClass == 1 ? BMF_16BPP : BMF_32BPP;
    }
    void set_driver(HANDLE h) { *pGLPdevField<HANDLE>(ppdev(), gGLPdevFields.cjDriver) = h; }

  private:
    alignas(16) std::vector<BYTE> bytes_;
    PAGECONFIG pageConfig_{};
};

class PixelFormatTest : public ::testing::Test {
  protected:
    void SetUp() override {
        vnx::debug::clear();
        pixfmt_double::gRecord = {};
    }
    void TearDown() override {
        glFreeVisualConfigs();
        vnx::debug::clear();
    }
    // Chooses the table for the device and builds its visuals.
    void Start() {
        __glChooseFormatTable(dev_.ppdev());
        ASSERT_EQ(glInitVisualConfigs(dev_.ppdev()), 0u);
    }
    FakeDevice dev_;
};

struct SelectCase {
    ULONG doubleBuffer, pixelClass, stereo;
    int table;  // 1-based
    ULONG cOffered, cLayers, cPerLayer;
};

TEST_F(PixelFormatTest, TableFollowsDoubleBufferingDepthAndStereo) {
    const SelectCase cases[] = {
        {1, 0, 0, 1, 4, 1, 12}, {1, 1, 0, 2, 4, 2, 12}, {1, 2, 0, 3, 4, 2, 8},
        {1, 3, 0, 3, 4, 2, 8},  {0, 0, 0, 4, 2, 1, 6},  {0, 1, 0, 5, 2, 2, 6},
        {0, 2, 0, 6, 2, 2, 4},  {7, 1, 0, 2, 4, 2, 12}, {1, 1, 1, 2, 8, 2, 12},
        {1, 2, 1, 3, 8, 2, 8},  {0, 0, 1, 4, 4, 1, 6},  {0, 2, 1, 6, 4, 2, 4},
    };
    for (const SelectCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "doubleBuffer " << c.doubleBuffer << " class "
                                        << c.pixelClass << " stereo " << c.stereo);
        dev_.set(c.doubleBuffer, c.pixelClass);
        dev_.pageConfig().fStereo = c.stereo;
        Start();
        EXPECT_EQ(gpFormatTable, &gaFormatTables[c.table - 1]);
        EXPECT_EQ(gpFormatTable->cLayers, c.cLayers);
        EXPECT_EQ(gpFormatTable->cFormatsPerLayer, c.cPerLayer);
        EXPECT_EQ(gcFormatsOffered, c.cOffered);
        EXPECT_EQ(glDrvDescribePixelFormat(nullptr, 1, 0, nullptr), static_cast<LONG>(c.cOffered));
        // The offered formats are the plain ones, then (on a stereo board)
        // their stereo forms.
        for (ULONG i = 1; i <= c.cOffered; ++i) {
            PIXELFORMATDESCRIPTOR pfd{};
            glDrvDescribePixelFormat(nullptr, static_cast<LONG>(i), sizeof pfd, &pfd);
            EXPECT_EQ((pfd.dwFlags & PFD_STEREO) != 0, i > c.cOffered / (c.stereo ? 2 : 1)) << i;
            EXPECT_NE(pfd.dwFlags & PFD_SUPPORT_OPENGL, 0u) << i;
            EXPECT_EQ((pfd.dwFlags & PFD_DOUBLEBUFFER) != 0 && c.doubleBuffer != 0,
                      (pfd.dwFlags & PFD_DOUBLEBUFFER) != 0) << i;
        }
        EXPECT_EQ(pixfmt_double::Names().back(), "__glInitBufferManager");
    }
}

TEST_F(PixelFormatTest, MainPlaneFormatsOfEachTable) {
    // Flags of the RGBA formats and the bits of their channels, per table.
    struct Row {
        int table;
        std::vector<ULONG> flags;
        BYTE cRed, cColor, cStencil;
    };
    const Row rows[] = {
        {1, {0x1A5, 0x1B4, 0x1A5, 0x1B4, 0x1A7, 0x1B6, 0x1A7, 0x1B6}, 3, 8, 2},
        {2, {0x35, 0x34, 0x35, 0x34, 0x37, 0x36, 0x37, 0x36}, 5, 16, 2},
        {3, {0x25, 0x34, 0x25, 0x34, 0x27, 0x36, 0x27, 0x36}, 8, 24, 4},
        {4, {0x1B4, 0x1B4, 0x1B6, 0x1B6}, 3, 8, 2},
        {5, {0x34, 0x34, 0x36, 0x36}, 5, 16, 2},
        {6, {0x34, 0x34, 0x36, 0x36}, 8, 24, 4},
    };
    for (const Row& r : rows) {
        const GLFormatTable& t = gaFormatTables[r.table - 1];
        for (size_t i = 0; i < r.flags.size(); ++i) {
            const GLPixelFormat& f = t.pFormats[i];
            SCOPED_TRACE(testing::Message() << "table " << r.table << " format " << i + 1);
            EXPECT_EQ(f.pfd.dwFlags, r.flags[i]);
            EXPECT_EQ(f.pfd.iPixelType, PFD_TYPE_RGBA);
            EXPECT_EQ(f.pfd.cRedBits, r.cRed);
            EXPECT_EQ(f.pfd.cColorBits, r.cColor);
            EXPECT_EQ(f.pfd.cAccumBits, 64);
            EXPECT_EQ(f.pfd.cDepthBits, 16);
            EXPECT_EQ(f.pfd.cStencilBits, r.cStencil);
            EXPECT_EQ(f.ulCount0, r.table == 4 ? 5u : 16u);
            EXPECT_EQ(f.ulCount1, r.table == 4 ? 2u : 8u);
        }
        // Colour-index formats fill the rest of the main plane; overlay
        // records carry the layer flags.
        for (size_t i = r.flags.size(); i < t.cFormatsPerLayer; ++i)
            EXPECT_EQ(t.pFormats[i].pfd.iPixelType, PFD_TYPE_COLORINDEX);
        for (size_t i = t.cFormatsPerLayer; i < t.cFormatsPerLayer * t.cLayers; ++i) {
            EXPECT_EQ(t.pFormats[i].pfd.dwFlags & ~0x3u, 0x15E0u);
            EXPECT_EQ(t.pFormats[i].pfd.cColorBits, r.cColor == 16 ? 1 : 4);
        }
    }
}

// The channel masks, which ColorMask ORs into the lgi write mask, are in the
// colour word the lgi layer converts colours into and the board's colour
// registers hold (red bits 16-23, green 8-15, blue 0-7, each up to the
// depth's full value), not in the stored pixel's layout: with all three
// channels on they make the depth's full mask (so no masked write is
// chosen), and a masked write keeps the channels it names. A 5-5-5 pixel
// layout (0x7C00, 0x3E0, 0x1F) would cut red off every 16-bit colour.
TEST_F(PixelFormatTest, ChannelMasksAreInTheColourWord) {
    struct Case {
        int table;
        ULONG red, green, blue, full;
    } const cases[] = {
        {1, 0xFF0000, 0xFF00, 0x7F, 0xFFFF7F}, {2, 0x7F0000, 0x7F00, 0x7F, 0x7F7F7F},
        {3, 0xFF0000, 0xFF00, 0xFF, 0xFFFFFF}, {4, 0xFF0000, 0xFF00, 0x7F, 0xFFFF7F},
        {5, 0x7F0000, 0x7F00, 0x7F, 0x7F7F7F}, {6, 0xFF0000, 0xFF00, 0xFF, 0xFFFFFF},
    };
    for (const Case& c : cases) {
        const GLFormatTable& t = gaFormatTables[c.table - 1];
        for (size_t i = 0; i < t.cFormatsPerLayer; ++i) {
            const GLPixelFormat& f = t.pFormats[i];
            if (f.pfd.iPixelType != PFD_TYPE_RGBA) continue;
            SCOPED_TRACE(testing::Message() << "table " << c.table << " format " << i + 1);
            EXPECT_EQ(f.ulRedMask, c.red);
            EXPECT_EQ(f.ulGreenMask, c.green);
            EXPECT_EQ(f.ulBlueMask, c.blue);
            EXPECT_EQ(f.ulRedMask | f.ulGreenMask | f.ulBlueMask, c.full);
        }
    }
}

TEST_F(PixelFormatTest, VisualsTakeTheBoardsAlphaStencilAndDepth) {
    dev_.set(1, 2);
    dev_.pageConfig() = PAGECONFIG{32, 16384, 128, 128, 24, {6, 2, 0, 0}, 0, 0, 1};
    Start();
    for (LONG i = 1; i <= 8; ++i) {
        const GLVisual* pvis = pvisLookup(i, 0);
        const GLPixelFormat& f = gaFormatTables[2].pFormats[i - 1];
        ASSERT_NE(pvis, nullptr);
        SCOPED_TRACE(i);
        EXPECT_EQ(pvis->cAlphaBits, f.pfd.cAlphaBits != 0 ? 6u : 0u);
        EXPECT_EQ(pvis->cStencilBits, 2u);
        EXPECT_EQ(pvis->cDepthBits, 24u);
        EXPECT_EQ(pvis->bStereo, (f.pfd.dwFlags & PFD_STEREO) != 0 ? 1u : 0u);
        EXPECT_EQ(pvis->bDoubleBuffer, f.pfd.dwFlags & PFD_DOUBLEBUFFER);
        EXPECT_EQ(pvis->bRGBA, 1u);
        EXPECT_EQ(pvis->cRedBits, 8u);
        EXPECT_EQ(pvis->cAccumRedBits, 16u);
        EXPECT_EQ(pvis->iLayer, 0u);
        EXPECT_EQ(pvis->iFormat, static_cast<ULONG>(i));
        // The table itself stays as it is.
        EXPECT_EQ(f.pfd.cStencilBits, 4);
    }
    const GLVisual* pOverlay = pvisLookup(3, 1);
    ASSERT_NE(pOverlay, nullptr);
    EXPECT_EQ(pOverlay->iLayer, 1u);
    EXPECT_EQ(pOverlay->bRGBA, 0u);
    EXPECT_EQ(pOverlay->cDepthBits, 0u);
    EXPECT_EQ(pOverlay->cAlphaBits, 6u);  // the overlay's 8 alpha bits, as the board has them
    // A board without stereo: no visual is stereo.
    dev_.pageConfig().fStereo = 0;
    Start();
    EXPECT_EQ(pvisLookup(5, 0)->bStereo, 0u);
    EXPECT_EQ(pvisLookup(0, 0), nullptr);
    EXPECT_EQ(pvisLookup(9, 0), nullptr);
    EXPECT_EQ(pvisLookup(1, 2), nullptr);
    EXPECT_EQ(pvisLookup(1, -1), nullptr);
}

TEST_F(PixelFormatTest, VisualsThatCannotBeMadeLeaveNoFormats) {
    dev_.set(1, 1);
    __glChooseFormatTable(dev_.ppdev());
    for (int skip = 0; skip < 4; ++skip) {
        vnx::faults::Scope faults;
        vnx::faults::arm("LocalAlloc", skip);
        EXPECT_EQ(glInitVisualConfigs(dev_.ppdev()), 11u) << skip;
        EXPECT_EQ(vnx::debug::take(), "GL error: glInitVisualConfigs : GLX_BAD_ALLOC\n");
        EXPECT_EQ(pvisLookup(1, 0), nullptr);
        EXPECT_EQ(glDrvDescribePixelFormat(nullptr, 1, 0, nullptr), 0);
        vnx::debug::clear();
    }
}

TEST_F(PixelFormatTest, DescribePixelFormatReportsTheBoardsDepth) {
    dev_.set(1, 1);
    for (ULONG cDepth : {16u, 24u}) {
        dev_.pageConfig().cDepthBits = cDepth;
        Start();
        PIXELFORMATDESCRIPTOR pfd{};
        EXPECT_EQ(glDrvDescribePixelFormat(nullptr, 1, sizeof pfd, &pfd), 4);
        EXPECT_EQ(pfd.cDepthBits, cDepth == 24 ? 32 : 16);
        EXPECT_EQ(pfd.nSize, sizeof pfd);
        EXPECT_EQ(pfd.dwFlags, 0x35u);
    }
    // Fewer bytes asked: only those are written.
    BYTE aj[40];
    std::memset(aj, 0xEE, sizeof aj);
    EXPECT_EQ(glDrvDescribePixelFormat(nullptr, 2, 8, reinterpret_cast<PIXELFORMATDESCRIPTOR*>(aj)), 4);
    EXPECT_EQ(aj[4], 0x34);
    EXPECT_EQ(aj[8], 0xEE);
    // An index outside 1..4 says so and still answers the count.
    for (LONG i : {0, 5, 9, -1}) {
        EXPECT_EQ(glDrvDescribePixelFormat(nullptr, i, sizeof aj,
                                           reinterpret_cast<PIXELFORMATDESCRIPTOR*>(aj)),
                  4);
        EXPECT_EQ(vnx::debug::take(), "glDrvDescribePixelFormat: format index invalid\n");
    }
}

TEST_F(PixelFormatTest, StereoBoardOffersEightAndRefusesTheNinth) {
    dev_.set(1, 1);
    dev_.pageConfig().fStereo = 1;
    Start();
    EXPECT_EQ(glDrvDescribePixelFormat(nullptr, 8, 0, nullptr), 8);
    EXPECT_EQ(vnx::debug::take(), "");
    EXPECT_EQ(glDrvDescribePixelFormat(nullptr, 9, 0, nullptr), 8);
    EXPECT_EQ(vnx::debug::take(), "glDrvDescribePixelFormat: format index invalid\n");
}

TEST_F(PixelFormatTest, DescribeLayerPlaneReadsOnlyRecordsOfTheTable) {
    dev_.set(1, 1);
    Start();
    BYTE aj[52] = {};
    // Format 2, layer 1 of table 2: record 14 (12 + 2 - 1).
    EXPECT_TRUE(__glDrvDescribeLayerPlane(2, 1, 32, aj));
    GLPixelFormat expected = gaFormatTables[1].pFormats[13];
    expected.pfd.cStencilBits = 8;  // the board's
    EXPECT_EQ(std::memcmp(aj, &expected, 32), 0);
    EXPECT_EQ(reinterpret_cast<const LAYERPLANEDESCRIPTOR*>(aj)->dwFlags, 0x15E0u);
    // At most the layer descriptor's 32 bytes.
    std::memset(aj, 0xEE, sizeof aj);
    EXPECT_TRUE(__glDrvDescribeLayerPlane(1, 0, 52, aj));
    EXPECT_EQ(aj[32], 0xEE);
    struct Bad {
        LONG iFormat, iLayer;
        bool bNull;
    };
    for (const Bad& b : {Bad{0, 1, false}, Bad{5, 1, false}, Bad{1, 2, false}, Bad{1, -1, false},
                         Bad{1, 0x40000000, false}, Bad{1, 1, true}}) {
        EXPECT_FALSE(__glDrvDescribeLayerPlane(b.iFormat, b.iLayer, 32, b.bNull ? nullptr : aj));
        EXPECT_EQ(vnx::debug::take(), "__glDrvDescribeLayerPlane: format index invalid\n");
    }
    // A table without an overlay has no layer 1.
    dev_.set(1, 0);
    Start();
    EXPECT_FALSE(__glDrvDescribeLayerPlane(1, 1, 32, aj));
}

TEST_F(PixelFormatTest, FormatCountIsCappedAtTheFormatsOfALayer) {
    dev_.set(1, 2);
    Start();
    const struct {
        USHORT c;
        LONG offered;
    } cases[] = {{3, 3}, {0, 0}, {8, 8}, {9, 8}, {0xFFFF, 8}, {1, 1}};
    for (const auto& c : cases) {
        EXPECT_TRUE(__glSetFormatCount(c.c));
        EXPECT_EQ(glDrvDescribePixelFormat(nullptr, 1, 0, nullptr), c.offered) << c.c;
        vnx::debug::clear();
    }
}

// --- the overlay palette ---------------------------------------------------------

class LayerPaletteTest : public PixelFormatTest {
  protected:
    void Use(ULONG doubleBuffer, ULONG pixelClass, LONG iFormat) {
        dev_.set(doubleBuffer, pixelClass);
        Start();
        draw_ = GLDrawable{};
        draw_.iPixelFormat = iFormat;
        draw_.ppdev = dev_.ppdev();
        wo_ = WNDOBJ{};
        wo_.pvConsumer = &draw_;
    }
    GLDrawable draw_{};
    WNDOBJ wo_{};
};

TEST_F(LayerPaletteTest, EntriesStayInsideThePalette) {
    struct Case {
        LONG iFormat, iLayer, iStart, cEntries;
        ULONG result;
    };
    // Format 1 of table 2 has a double-buffered overlay (16 entries), format
    // 2 a single-buffered one (256).
    const Case cases[] = {
        {1, 1, 0, 16, 16},         {1, 1, 1, 16, 0},           {1, 1, 15, 1, 1},
        {1, 1, -1, 2, 0},          {1, 1, 2, -1, 0},           {1, 1, 0x7FFFFFFF, 2, 0},
        {1, 1, 2, 0x7FFFFFFF, 0},  {2, 1, 0, 256, 256},        {2, 1, 255, 2, 0},
        {2, 0, 0, 1, 0},           {2, 2, 0, 1, 0},            {1, 1, 3, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.iFormat << " " << c.iLayer << " " << c.iStart << " "
                                        << c.cEntries);
        Use(1, 1, c.iFormat);
        std::vector<ULONG> in(256);
        for (ULONG i = 0; i < 256; ++i) in[i] = 0x10000 + i;
        EXPECT_EQ(__glSetLayerPaletteEntries(&wo_, c.iLayer, c.iStart, c.cEntries,
                                             reinterpret_cast<const BYTE*>(in.data())),
                  c.result);
        std::vector<ULONG> out(257, 0xEEEEEEEE);
        EXPECT_EQ(__glGetLayerPaletteEntries(&wo_, c.iLayer, c.iStart, c.cEntries,
                                             reinterpret_cast<BYTE*>(out.data())),
                  c.result);
        for (ULONG i = 0; i < c.result; ++i) EXPECT_EQ(out[i], in[i]);
        EXPECT_EQ(out[c.result], 0xEEEEEEEEu);
        // Nothing outside the entries asked for was stored.
        for (LONG i = 0; i < 256; ++i) {
            const bool bStored = c.result != 0 && i >= c.iStart && i < c.iStart + c.cEntries;
            EXPECT_EQ(draw_.aulPalette[i], bStored ? in[i - c.iStart] : 0u) << i;
        }
        EXPECT_EQ(draw_.pBufferSet, nullptr);
        EXPECT_EQ(draw_.pContexts, nullptr);
    }
    // No window, or a table without an overlay.
    Use(1, 1, 2);
    ULONG ul = 0;
    EXPECT_EQ(__glGetLayerPaletteEntries(nullptr, 1, 0, 1, reinterpret_cast<BYTE*>(&ul)), 0u);
    Use(1, 0, 2);
    EXPECT_EQ(__glGetLayerPaletteEntries(&wo_, 1, 0, 1, reinterpret_cast<BYTE*>(&ul)), 0u);
}

TEST_F(LayerPaletteTest, ColourTablesAtSixteenAndThirtyTwoBits) {
    ULONG aulPalette[256] = {};
    for (ULONG k = 0; k < 16; ++k) aulPalette[k] = 0x00030201u * (k + 1);
    VIDEO_CLUTDATA lut[256];
    vBuildOverlayLut(aulPalette, BMF_16BPP, lut);
    for (ULONG i = 0; i < 256; ++i) {
        EXPECT_EQ(lut[i].Red, 2);
        EXPECT_EQ(lut[i].Green, 4);
        EXPECT_EQ(lut[i].Blue, 6);
        EXPECT_EQ(lut[i].Unused, 0);
    }
    vBuildOverlayLut(aulPalette, BMF_32BPP, lut);
    for (ULONG i = 0; i < 256; ++i) {
        const ULONG k = i >> 4;
        EXPECT_EQ(lut[i].Red, k == 0 ? 0 : k + 1) << i;
        EXPECT_EQ(lut[i].Green, k == 0 ? 0 : 2 * (k + 1)) << i;
        EXPECT_EQ(lut[i].Blue, k == 0 ? 0 : 3 * (k + 1)) << i;
    }
}

TEST_F(LayerPaletteTest, RealizeLoadsTheColourRegisters) {
    vnx::miniport::Machine machine;
    Use(1, 2, 2);
    dev_.set_driver(machine.handle());
    for (ULONG k = 0; k < 256; ++k) draw_.aulPalette[k] = 0x00102030u + k;
    const ULONG cLoads = machine.state().colorRegisterLoads;
    EXPECT_EQ(__glRealizeLayerPalette(&wo_, 1, FALSE), 1u);
    EXPECT_EQ(machine.state().colorRegisterLoads, cLoads);
    EXPECT_EQ(__glRealizeLayerPalette(&wo_, 0, TRUE), 0u);
    EXPECT_EQ(__glRealizeLayerPalette(nullptr, 1, TRUE), 0u);
    EXPECT_EQ(__glRealizeLayerPalette(&wo_, 1, TRUE), 1u);
    EXPECT_EQ(machine.state().colorRegisterLoads, cLoads + 1);
    for (ULONG i = 0; i < 256; ++i) {
        const ULONG k = i >> 4;
        EXPECT_EQ(machine.color_register(i), k == 0 ? 0u : 0x00102030u + k) << i;
    }
    // The miniport refuses: 0.
    dev_.set_driver(nullptr);
    EXPECT_EQ(__glRealizeLayerPalette(&wo_, 1, TRUE), 0u);
}

}  // namespace
