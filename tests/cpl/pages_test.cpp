// The pages filled from the driver's record on each board model, each edit
// written back and read by the driver, the controls that write at once,
// the board picture, and the formats of the status page.
#include <cstring>

#include "applet_fixture.h"
#include "resource.h"
#include "text.h"

namespace {

using cpltest::AppletTest;
using cpltest::Board;
using cpltest::Control;
using cpltest::Text;
using vnx::ui::PropertySheet;

// --- every page filled from a board configuration ------------------------------------

struct Model {
    Board board;
    ULONG cx, cy, bpp;
    const char* model;
    const char* memory;
    std::uint32_t bitmap;
};
void PrintTo(const Model& m, std::ostream* os) { *os << m.board.name; }

const Model kModels[] = {
    {{"SoloSmall", 1, 1, 0}, 640, 480, 8, "Vornix Solo", "2048 KB", IDB_BOARD_SOLO},
    {{"Solo", 1, 1, 2}, 1024, 768, 16, "Vornix Solo", "8 MB", IDB_BOARD_SOLO},
    {{"Duo", 2, 1, 2}, 1024, 768, 32, "Vornix Duo", "16 MB", IDB_BOARD_DUO},
    {{"QuadHalf", 4, 1, 1}, 1280, 1024, 16, "Vornix Quad", "16 MB", IDB_BOARD_QUAD},
    {{"Quad", 4, 1, 2}, 1024, 768, 16, "Vornix Quad", "32 MB", IDB_BOARD_QUAD},
    {{"QuadLarge", 4, 1, 2, 1}, 800, 600, 16, "Vornix Quad", "65536 KB", IDB_BOARD_QUAD},
    {{"SplitDuo", 2, 2, 2}, 1024, 768, 16, "Vornix Duo", "16 MB", IDB_BOARD_DUO},
};

class FillTest : public AppletTest, public ::testing::WithParamInterface<Model> {};

TEST_P(FillTest, EveryPageShowsTheDriversRecord) {
    const Model& m = GetParam();
    Boot(MachineOf(m.board), cpltest::Mode(m.cx, m.cy, m.bpp));
    const BoardConfig r = DriverRecord();
    using qrncp::Format;
    Run([&](PropertySheet& sheet) {
        // Status.
        EXPECT_EQ(Text(sheet, IDC_STATUS_MODEL), m.model);
        EXPECT_EQ(Text(sheet, IDC_STATUS_MEMORY), m.memory);
        EXPECT_EQ(Text(sheet, IDC_STATUS_DRIVER), "2.94");
        EXPECT_EQ(Text(sheet, IDC_STATUS_RESOLUTION), Format("%lu x %lu", static_cast<unsigned long>(m.cx), static_cast<unsigned long>(m.cy)));
        EXPECT_EQ(Text(sheet, IDC_STATUS_PIXELDEPTH), Format("%lu bits", static_cast<unsigned long>(m.bpp)));
        EXPECT_EQ(Text(sheet, IDC_STATUS_REFRESH), Format("%u Hertz", r.refreshRate));
        EXPECT_EQ(Text(sheet, IDC_STATUS_CARDS), Format("%d", m.board.boards));
        EXPECT_EQ(Text(sheet, IDC_STATUS_ZDEPTH), r.currentZDepth < 16 ? "0 bits" : "16 bits");

        // Memory.
        ASSERT_TRUE(sheet.Select(1));
        EXPECT_EQ(Control(sheet, IDC_ZBUF_16).checked, 1);
        EXPECT_EQ(Control(sheet, IDC_ZBUF_NONE).checked + Control(sheet, IDC_ZBUF_24).checked, 0);
        EXPECT_EQ(Control(sheet, IDC_TEX_PERFORMANCE).checked, 1);
        EXPECT_EQ(Control(sheet, IDC_ALPHA).checked, r.alphaBuffer != 0);
        EXPECT_EQ(Control(sheet, IDC_STENCIL).checked, r.stencilBuffer != 0);
        EXPECT_EQ(Control(sheet, IDC_BITMAPS2D).checked, r.offscreenBitmaps != 0);
        EXPECT_EQ(Control(sheet, IDC_DOUBLEBUF).checked, r.doubleBuffer != 0);
        EXPECT_FALSE(Control(sheet, IDC_DOUBLEBUF).enabled);
        EXPECT_EQ(Text(sheet, IDC_MEM_TOTAL), Format("%u KB", r.totalMemoryKB));
        EXPECT_EQ(Text(sheet, IDC_MEM_ALLOCATED), Format("%u KB", r.usedMemoryKB));
        EXPECT_EQ(Text(sheet, IDC_MEM_AVAILABLE), Format("%u KB", r.totalMemoryKB - r.usedMemoryKB));

        // Advanced.
        ASSERT_TRUE(sheet.Select(2));
        EXPECT_EQ(Control(sheet, IDC_AALINES).checked, (r.flags & BCF_AA_LINES) != 0);
        EXPECT_EQ(Control(sheet, IDC_MIPMAP).checked, (r.flags & BCF_MIPMAP) != 0);
        EXPECT_EQ(Control(sheet, IDC_DUALMON).checked, (r.flags & BCF_DUAL_MONITOR) != 0);
        EXPECT_EQ(Control(sheet, IDC_DUALMON).enabled, m.board.boards > 1);
        EXPECT_EQ(Control(sheet, IDC_ALPHAPROC).checked, 0);
        EXPECT_FALSE(Control(sheet, IDC_ALPHAPROC).enabled);
        const vnx::ui::WindowInfo list = Control(sheet, IDC_STEREOMODE);
        ASSERT_EQ(list.items.size(), 19u);
        EXPECT_EQ(list.items[6], "1280 by 512 pixels, 256 Colors, 139.32 Hertz ");
        EXPECT_EQ(list.items[16], "1024 by 768 pixels, True Color, 120 Hertz");
        EXPECT_EQ(list.selection, static_cast<int>(r.stereoMode));
        // Two boards in dual-monitor mode have no stereo.
        const bool stereoList = m.board.boards == 1 || (r.flags & BCF_DUAL_MONITOR) == 0;
        EXPECT_EQ(list.enabled, stereoList);
        EXPECT_EQ(Control(sheet, IDC_STEREOLABEL).enabled, stereoList);

        // The board picture on every page, the frame's device context released.
        for (size_t i = 0; i < sheet.page_count(); ++i) {
            ASSERT_TRUE(sheet.Select(i));
            vnx::ui::paint(cpltest::ActivePage(sheet));
            const auto paints = vnx::ui::take_paints();
            ASSERT_EQ(paints.size(), 1u);
            EXPECT_EQ(paints[0].hwnd, GetDlgItem(cpltest::ActivePage(sheet), IDC_PICTURE));
            EXPECT_EQ(paints[0].bitmap, static_cast<int>(m.bitmap));
            EXPECT_EQ(paints[0].cx, 150);
            EXPECT_EQ(paints[0].cy, 50);
            EXPECT_EQ(paints[0].rop, SRCCOPY);
        }
        sheet.PressCancel();
    });
}

INSTANTIATE_TEST_SUITE_P(Boards, FillTest, ::testing::ValuesIn(kModels),
                         [](const auto& info) { return std::string(info.param.board.name); });

// --- the status page's formats, from records the driver cannot make -------------------

TEST_F(AppletTest, StatusFormatsOfUnusualRecords) {
    StartPanel();
    struct Row {
        std::uint32_t rasterizers, totalKB, currentZ, zDepth;
        const char* version;
        const char *model, *memory, *z, *shownVersion;
    };
    const Row rows[] = {
        {4, 16384, 16, 24, "2.94", "Vornix Quad", "16 MB", "24 bits", "2.94"},
        {3, 24576, 8, 24, "2.94.1-beta7", "Vornix", "24576 KB", "0 bits", "2.94.1-bet"},
        {1, 8192, 24, 16, "", "Vornix Solo", "8 MB", "16 bits", ""},
    };
    for (const Row& row : rows) {
        BoardConfig record{};
        record.rasterizers = row.rasterizers;
        record.totalMemoryKB = row.totalKB;
        record.currentZDepth = row.currentZ;
        record.zDepth = row.zDepth;
        for (size_t i = 0; row.version[i] != '\0'; ++i) record.driverVersion[i] = static_cast<unsigned char>(row.version[i]);
        qrncp::theApp.settings.LoadFromDriver(record);
        vnx::ui::set_sheet_user([&](PropertySheet& sheet) {
            EXPECT_EQ(Text(sheet, IDC_STATUS_MODEL), row.model);
            EXPECT_EQ(Text(sheet, IDC_STATUS_MEMORY), row.memory);
            EXPECT_EQ(Text(sheet, IDC_STATUS_ZDEPTH), row.z);
            EXPECT_EQ(Text(sheet, IDC_STATUS_DRIVER), row.shownVersion);
        });
        vnx::process::Scope as(pid_);
        qrncp::CQRNResSheet sheet(panel_->hwnd(), 1);
        EXPECT_EQ(sheet.DoModal(), IDCANCEL);
    }
}

// --- each edit written back and read by the driver -----------------------------------

struct Edit {
    const char* name;
    int page;
    int id;
    int choice;  // -1: click the control; else the list entry to choose
    void (*expect)(BoardConfig&);
};
void PrintTo(const Edit& e, std::ostream* os) { *os << e.name; }

const Edit kEdits[] = {
    {"NoZBuffer", 1, IDC_ZBUF_NONE, -1, [](BoardConfig& c) { c.zDepth = 0; }},
    {"DeepZBuffer", 1, IDC_ZBUF_24, -1, [](BoardConfig& c) { c.zDepth = 24; }},
    {"TextureMemory", 1, IDC_TEX_MEMORY, -1, [](BoardConfig& c) { c.textureMode = TEXMODE_MEMORY; }},
    {"TextureNoHardware", 1, IDC_TEX_NOHARDWARE, -1, [](BoardConfig& c) { c.textureMode = TEXMODE_NOHARDWARE; }},
    {"AlphaBuffer", 1, IDC_ALPHA, -1, [](BoardConfig& c) { c.alphaBuffer ^= 1; }},
    {"StencilBuffer", 1, IDC_STENCIL, -1, [](BoardConfig& c) { c.stencilBuffer ^= 1; }},
    {"Bitmaps2D", 1, IDC_BITMAPS2D, -1, [](BoardConfig& c) { c.offscreenBitmaps ^= 1; }},
    {"ModelImprecision", 2, IDC_MODELIMPRECISION, -1, [](BoardConfig& c) { c.modelImprecision ^= 1; }},
    {"AntiAliasedLines", 2, IDC_AALINES, -1, [](BoardConfig& c) { c.flags ^= BCF_AA_LINES; }},
    {"MipMapping", 2, IDC_MIPMAP, -1, [](BoardConfig& c) { c.flags ^= BCF_MIPMAP; }},
    {"SyncSwap", 2, IDC_SYNCSWAP, -1, [](BoardConfig& c) { c.syncSwapToVBlank ^= 1; }},
    {"CadModeler", 2, IDC_CADMODELER, -1, [](BoardConfig& c) { c.cadModelerOptimize ^= 1; }},
    {"StereoMode", 2, IDC_STEREOMODE, 18, [](BoardConfig& c) { c.stereoMode = 18; }},
};

// The settings the pages edit, as the driver answers them.
std::vector<std::uint32_t> Edited(const BoardConfig& c) {
    return {c.zDepth, c.textureMode, c.alphaBuffer, c.stencilBuffer, c.offscreenBitmaps,
            c.doubleBuffer, c.syncSwapToVBlank, c.modelImprecision, c.cadModelerOptimize,
            c.stereoMode, c.flags & (BCF_AA_LINES | BCF_MIPMAP | BCF_DUAL_MONITOR | BCF_HW_OPTION)};
}

class EditTest : public AppletTest, public ::testing::WithParamInterface<Edit> {};

TEST_P(EditTest, WrittenBackAndReadByTheDriver) {
    const Edit& e = GetParam();
    Boot(MachineOf(Board{"Duo", 2, 1, 2}));
    BoardConfig expected = DriverRecord();
    e.expect(expected);
    vnx::ui::set_message_box_user([](const vnx::ui::MessageBoxRecord&) { return IDNO; });
    Run([&](PropertySheet& sheet) {
        ASSERT_TRUE(sheet.Select(static_cast<size_t>(e.page)));
        HWND page = cpltest::ActivePage(sheet);
        const bool done = e.choice < 0 ? vnx::ui::click(page, e.id) : vnx::ui::choose(page, e.id, e.choice);
        ASSERT_TRUE(done);
        // Leaving the page writes it; OK on another page.
        ASSERT_TRUE(sheet.Select(0));
        ASSERT_TRUE(sheet.PressOk());
    });
    EXPECT_EQ(Edited(DriverRecord()), Edited(expected));
    if (e.page == 1) {
        EXPECT_EQ(Miniport().currentZDepth, expected.zDepth);
    }
}

INSTANTIATE_TEST_SUITE_P(Edits, EditTest, ::testing::ValuesIn(kEdits),
                         [](const auto& info) { return std::string(info.param.name); });

// The factory defaults: with OK they are written; with Cancel nothing is.
TEST_F(AppletTest, FactoryDefaultsWrittenOnlyWithOk) {
    Boot(MachineOf(Board{"Quad", 4, 1, 2}));
    BoardConfig start = DriverRecord();
    start.op = BOARDCONFIG_WRITE;
    start.zDepth = 24;
    start.textureMode = TEXMODE_NOHARDWARE;
    start.alphaBuffer = 0;
    start.offscreenBitmaps = 1;
    start.flags |= BCF_AA_LINES;
    start.stereoMode = 5;
    device_->machine().set_board_config(start);
    vnx::ui::set_message_box_user([](const vnx::ui::MessageBoxRecord&) { return IDNO; });
    for (bool ok : {false, true}) {
        const BoardConfig before = Miniport();
        Run([&](PropertySheet& sheet) {
            for (size_t page : {1u, 2u}) {
                ASSERT_TRUE(sheet.Select(page));
                ASSERT_TRUE(vnx::ui::click(cpltest::ActivePage(sheet), IDC_DEFAULTS));
            }
            EXPECT_EQ(Control(sheet, IDC_STEREOMODE).selection, 0);
            if (ok) {
                ASSERT_TRUE(sheet.PressOk());
            } else {
                sheet.PressCancel();
            }
        });
        const BoardConfig after = Miniport();
        if (!ok) {
            EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0) << "Cancel wrote";
            continue;
        }
        EXPECT_EQ(after.zDepth, 16u);
        EXPECT_EQ(after.textureMode, TEXMODE_PERFORMANCE);
        EXPECT_EQ(after.alphaBuffer, 1u);
        EXPECT_EQ(after.stencilBuffer, 1u);
        EXPECT_EQ(after.offscreenBitmaps, 0u);
        EXPECT_EQ(after.doubleBuffer, 1u);
        EXPECT_EQ(after.flags & (BCF_AA_LINES | BCF_MIPMAP), BCF_MIPMAP);
        EXPECT_EQ(after.stereoMode, 0u);
    }
}

// --- controls that write the driver at once -------------------------------------------

TEST_F(AppletTest, DualMonitorNeedsTwoBoardsAndWritesAtOnce) {
    Boot(MachineOf(Board{"Solo", 1, 1, 2}));
    Run([&](PropertySheet& sheet) {
        ASSERT_TRUE(sheet.Select(2));
        EXPECT_FALSE(vnx::ui::click(cpltest::ActivePage(sheet), IDC_DUALMON));
        EXPECT_TRUE(Control(sheet, IDC_STEREOMODE).enabled);
    });
}

TEST_F(AppletTest, DualMonitorOnTwoBoardsWritesAtOnce) {
    Boot(MachineOf(Board{"SplitDuo", 2, 2, 2}));
    BoardConfig start = Miniport();
    start.flags &= ~BCF_DUAL_MONITOR;
    start.stereoMode = 4;
    device_->machine().set_board_config(start);
    Run([&](PropertySheet& sheet) {
        ASSERT_TRUE(sheet.Select(2));
        HWND page = cpltest::ActivePage(sheet);
        EXPECT_TRUE(Control(sheet, IDC_STEREOMODE).enabled);
        ASSERT_TRUE(vnx::ui::click(page, IDC_DUALMON));
        EXPECT_NE(Miniport().flags & BCF_DUAL_MONITOR, 0u) << "written at once";
        EXPECT_FALSE(Control(sheet, IDC_STEREOMODE).enabled);
        EXPECT_FALSE(Control(sheet, IDC_STEREOLABEL).enabled);
        EXPECT_EQ(Control(sheet, IDC_STEREOMODE).selection, 0);
        ASSERT_TRUE(vnx::ui::click(page, IDC_DUALMON));
        EXPECT_EQ(Miniport().flags & BCF_DUAL_MONITOR, 0u);
        EXPECT_TRUE(Control(sheet, IDC_STEREOMODE).enabled);
        sheet.PressCancel();
    });
    EXPECT_EQ(Miniport().flags & BCF_DUAL_MONITOR, 0u);
    // A failed read makes the box do nothing further.
    Run([&](PropertySheet& sheet) {
        ASSERT_TRUE(sheet.Select(2));
        vnx::faults::arm("IOCTL_VNX_READ_BOARDCONFIG", 0, -1);
        ASSERT_TRUE(vnx::ui::click(cpltest::ActivePage(sheet), IDC_DUALMON));
        vnx::faults::clear();
        EXPECT_EQ(Miniport().flags & BCF_DUAL_MONITOR, 0u);
        EXPECT_TRUE(Control(sheet, IDC_STEREOMODE).enabled);
    });
}

// The stereo page (built, never added by the sheet) works all the same.
TEST_F(AppletTest, StereoPageWritesTheTransformAtOnce) {
    Boot(MachineOf(Board{"Quad", 4, 1, 2}));
    Run([&](PropertySheet& s) {
        auto& sheet = static_cast<qrncp::CQRNResSheet&>(s);
        ASSERT_TRUE(sheet.stereoPage.CreatePage(&sheet));
        HWND page = sheet.stereoPage.hwnd();
        const auto enabled = [&](int id) {
            vnx::ui::WindowInfo wi;
            vnx::ui::info(GetDlgItem(page, id), &wi);
            return wi.enabled;
        };
        EXPECT_FALSE(enabled(IDC_STEREO_SET));
        EXPECT_FALSE(enabled(IDC_STEREO_ADJUST));
        ASSERT_TRUE(vnx::ui::click(page, IDC_MONOTOSTEREO));
        EXPECT_NE(Miniport().flags & BCF_STEREO, 0u);
        EXPECT_TRUE(enabled(IDC_STEREO_SET));
        ASSERT_TRUE(vnx::ui::type(page, IDC_STEREO_ADJUST, "1.5"));
        ASSERT_TRUE(vnx::ui::type(page, IDC_STEREO_OFFSET, "-2"));
        ASSERT_TRUE(vnx::ui::type(page, IDC_STEREO_TRANSLATE, "0.25"));
        ASSERT_TRUE(vnx::ui::click(page, IDC_STEREO_SET));
        BoardConfig m = Miniport();
        EXPECT_EQ(m.stereoAdjust, 1.5f);
        EXPECT_EQ(m.stereoOffset, -2.0f);
        EXPECT_EQ(m.stereoTranslate, 0.25f);
        EXPECT_NE(m.flags & BCF_STEREO_VALID, 0u);
        // A field that holds no number sends nothing.
        ASSERT_TRUE(vnx::ui::type(page, IDC_STEREO_OFFSET, "far"));
        ASSERT_TRUE(vnx::ui::click(page, IDC_STEREO_SET));
        EXPECT_EQ(Miniport().stereoOffset, -2.0f);
    });
}

}  // namespace

namespace {

using cpltest::AppletTest;

// A stereo mode the list does not hold shows no entry and is sent back as
// it was, not as the list's "no entry" (this miniport refuses the record).
TEST_F(AppletTest, UnknownStereoModeIsKept) {
    Boot(MachineOf(cpltest::Board{"Quad", 4, 1, 2}));
    BoardConfig start = Miniport();
    start.stereoMode = 25;
    device_->machine().set_board_config(start);
    Run([&](vnx::ui::PropertySheet& sheet) {
        ASSERT_TRUE(sheet.Select(2));
        EXPECT_EQ(cpltest::Control(sheet, IDC_STEREOMODE).selection, -1);
        ASSERT_TRUE(vnx::ui::click(cpltest::ActivePage(sheet), IDC_AALINES));
        ASSERT_TRUE(sheet.PressOk());
    });
    const BoardConfig& sent = qrncp::theApp.settings.edited;
    EXPECT_EQ(sent.stereoMode, 25u);
    EXPECT_NE(sent.flags & BCF_AA_LINES, 0u);
    EXPECT_EQ(Miniport().stereoMode, 25u);
    EXPECT_TRUE(vnx::ui::take_message_boxes().empty()) << "a refused write asks nothing";
}

}  // namespace
