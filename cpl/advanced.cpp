// The advanced-options page and the stereo page (built with the sheet but
// not shown by it).
#include "resource.h"
#include "sheet.h"

namespace qrncp {

namespace {

const char kAdvancedHelp[] =
    "Adjust for model imprecision:\nLets the hardware assist where imprecision in a model gives "
    "image artifacts, at a slight cost in speed.\n\n"
    "Always draw with anti-aliased lines:\nEvery line is drawn anti-aliased; when cleared, only "
    "when the application asks for it. Applications of the Heidi interface are not "
    "affected.\n\n"
    "Use mip-mapping texture calculations:\nWhen cleared, only the largest map is used, with "
    "bilinear sampling.\n\n"
    "Sync buffer to vertical refresh:\nThe swap of the double buffers waits for the vertical "
    "refresh.\n\n"
    "Optimize for CAD Modeler\nWorks around inefficiencies in that application's OpenGL "
    "stream; use it with that application alone.\n\n"
    "Enable dual monitor mode:\nUses two displays when two cards are installed.\n\n"
    "Utilize Alpha processor optimizations:\nThese can keep some systems from starting; the "
    "system's last-known-good start-up undoes them.\n\n"
    "Stereo Modes:\nChoose only a stereo mode that the monitor supports.\n";

void SetBit(std::uint32_t& word, std::uint32_t mask, int on) {
    word = on ? (word | mask) : (word & ~mask);
}

}  // namespace

// --- advanced -----------------------------------------------------------------------

CAdvancedPage::CAdvancedPage() : BoardPage(IDD_ADVANCED) {}

void CAdvancedPage::DoDataExchange(vnx::ui::DataExchange& dx) {
    dx.Check(IDC_AALINES, aaLines);
    dx.Check(IDC_ALPHAPROC, alphaProcessor);
    dx.Check(IDC_DUALMON, dualMonitor);
    dx.Check(IDC_MIPMAP, mipmap);
    dx.Check(IDC_SYNCSWAP, syncSwap);
    dx.Check(IDC_MODELIMPRECISION, modelImprecision);
    dx.Check(IDC_CADMODELER, cadModeler);
    dx.ListIndex(IDC_STEREOMODE, stereoModeIndex);
}

void CAdvancedPage::EnableStereoList(bool enable) {
    EnableWindow(Item(IDC_STEREOMODE), enable);
    EnableWindow(Item(IDC_STEREOLABEL), enable);
}

BOOL CAdvancedPage::OnInitDialog() {
    const BoardConfig& c = theApp.settings.current;
    aaLines = (c.flags & BCF_AA_LINES) != 0;
    mipmap = (c.flags & BCF_MIPMAP) != 0;
    dualMonitor = (c.flags & BCF_DUAL_MONITOR) != 0;
    syncSwap = c.syncSwapToVBlank != 0;
    modelImprecision = c.modelImprecision != 0;
    cadModeler = c.cadModelerOptimize != 0;
    alphaProcessor = static_cast<int>(theApp.defaults.alphaProcessor);
    stereoModeIndex = static_cast<int>(c.stereoMode);
    EnableWindow(Item(IDC_ALPHAPROC), FALSE);
    EnableWindow(Item(IDC_DUALMON), c.boardCount > 1);
    if (c.boardCount > 1) EnableStereoList(dualMonitor == 0);
    return BoardPage::OnInitDialog();
}

void CAdvancedPage::WriteEdited() {
    const BoardConfig& c = theApp.settings.current;
    BoardConfig& e = theApp.settings.edited;
    SetBit(e.flags, BCF_HW_OPTION, (c.flags & BCF_HW_OPTION) != 0);
    if (c.boardCount > 1) SetBit(e.flags, BCF_DUAL_MONITOR, dualMonitor);
    SetBit(e.flags, BCF_MIPMAP, mipmap);
    e.syncSwapToVBlank = static_cast<std::uint32_t>(syncSwap);
    SetBit(e.flags, BCF_AA_LINES, aaLines);
    e.modelImprecision = static_cast<std::uint32_t>(modelImprecision);
    e.cadModelerOptimize = static_cast<std::uint32_t>(cadModeler);
    // A stereo mode the list does not hold shows no entry, and is kept.
    if (stereoModeIndex >= 0) e.stereoMode = static_cast<std::uint32_t>(stereoModeIndex);
}

BOOL CAdvancedPage::OnKillActive() {
    if (!BoardPage::OnKillActive()) return FALSE;
    WriteEdited();
    return TRUE;
}

bool CAdvancedPage::OnCommand(int id) {
    static const vnx::ui::Command<CAdvancedPage> kCommands[] = {
        {IDC_DEFAULTS, &CAdvancedPage::OnDefaults},
        {IDC_DUALMON, &CAdvancedPage::OnDualMonitor},
        {IDC_HELP, &CAdvancedPage::OnHelp},
    };
    return Dispatch(kCommands, id);
}

void CAdvancedPage::OnDefaults() {
    const FactoryDefaults& d = theApp.defaults;
    const BoardConfig& c = theApp.settings.current;
    alphaProcessor = static_cast<int>(d.alphaProcessor);
    dualMonitor = c.boardCount > 1 ? static_cast<int>(d.dualMonitor)
                                   : (c.flags & BCF_DUAL_MONITOR) != 0;
    mipmap = static_cast<int>(d.mipmap);
    syncSwap = static_cast<int>(d.syncSwap);
    aaLines = static_cast<int>(d.aaLines);
    modelImprecision = static_cast<int>(d.modelImprecision);
    cadModeler = static_cast<int>(d.cadModeler);
    stereoModeIndex = 0;
    WriteEdited();
    UpdateData(false);
}

void CAdvancedPage::OnDualMonitor() {
    BoardConfig record{};
    if (ReadBoardConfig(hwnd_, &record) <= 0) return;
    UpdateData(true);
    record.op = BOARDCONFIG_WRITE;
    SetBit(record.flags, BCF_DUAL_MONITOR, dualMonitor);
    BoardConfig scratch{};
    ExchangeBoardConfig(hwnd_, record, &scratch);
    if (dualMonitor) {
        EnableStereoList(false);
        stereoModeIndex = 0;
    } else {
        EnableStereoList(true);
    }
    UpdateData(false);
}

void CAdvancedPage::OnHelp() {
    MessageBoxA(hwnd_, kAdvancedHelp, "Help", MB_ICONINFORMATION | MB_OK);
}

// --- stereo -------------------------------------------------------------------------

CStereoPage::CStereoPage() : BoardPage(IDD_STEREO) {}

void CStereoPage::DoDataExchange(vnx::ui::DataExchange& dx) {
    dx.Text(IDC_STEREO_ADJUST, stereoAdjust);
    dx.Text(IDC_STEREO_OFFSET, stereoOffset);
    dx.Text(IDC_STEREO_TRANSLATE, stereoTranslate);
    dx.Check(IDC_MONOTOSTEREO, monoToStereo);
}

void CStereoPage::EnableTransform(bool enable) {
    for (int id : {IDC_STEREO_ADJUST, IDC_STEREO_OFFSET, IDC_STEREO_TRANSLATE, IDC_STEREO_SET})
        EnableWindow(Item(id), enable);
}

BOOL CStereoPage::OnInitDialog() {
    EnableTransform((theApp.settings.current.flags & BCF_STEREO) != 0);
    BoardConfig record{};
    if (ReadBoardConfig(hwnd_, &record) > 0) {
        stereoAdjust = record.stereoAdjust;
        stereoOffset = record.stereoOffset;
        stereoTranslate = record.stereoTranslate;
        monoToStereo = (record.flags & BCF_STEREO) != 0;
    }
    return BoardPage::OnInitDialog();
}

bool CStereoPage::OnCommand(int id) {
    static const vnx::ui::Command<CStereoPage> kCommands[] = {
        {IDC_STEREO_SET, &CStereoPage::OnSet},
        {IDC_MONOTOSTEREO, &CStereoPage::OnMonoToStereo},
    };
    return Dispatch(kCommands, id);
}

void CStereoPage::OnSet() {
    BoardConfig record{};
    if (ReadBoardConfig(hwnd_, &record) <= 0) return;
    // A value the fields do not hold as a number is not sent.
    if (!UpdateData(true)) return;
    record.stereoAdjust = stereoAdjust;
    record.stereoOffset = stereoOffset;
    record.stereoTranslate = stereoTranslate;
    record.flags |= BCF_STEREO_VALID;
    record.op = BOARDCONFIG_WRITE;
    BoardConfig scratch{};
    ExchangeBoardConfig(hwnd_, record, &scratch);
}

void CStereoPage::OnMonoToStereo() {
    BoardConfig record{};
    if (ReadBoardConfig(hwnd_, &record) <= 0) return;
    UpdateData(true);
    SetBit(record.flags, BCF_STEREO, monoToStereo);
    record.op = BOARDCONFIG_WRITE;
    BoardConfig scratch{};
    ExchangeBoardConfig(hwnd_, record, &scratch);
    if (monoToStereo) {
        EnableTransform(true);
        stereoAdjust = record.stereoAdjust;
        stereoOffset = record.stereoOffset;
        stereoTranslate = record.stereoTranslate;
        UpdateData(false);
    }
}

}  // namespace qrncp
