// The property sheet, the board picture every page paints, and the status,
// memory and driver-missing pages.
#include "resource.h"
#include "sheet.h"
#include "text.h"

namespace qrncp {

namespace {

const char kMemoryHelp[] =
    "The board memory that is left after the front buffer, the back buffer and the Z-buffer "
    "have been placed serves textures, the alpha buffer and the stencil buffer.\n\n"
    "Z-Buffer\n"
    "The 16-bit Z-buffer is the recommended default. Increased Z-buffer precision allocates up "
    "to 24 bits; the actual depth depends on the memory available. No Z-buffer turns all 3D "
    "acceleration off and frees the Z-buffer and back-buffer memory for 2D work.\n\n"
    "Texture Mapping\n"
    "Optimize for performance: textures are kept in board memory in a faster but larger "
    "format.\n"
    "Optimize for memory utilization: textures are kept in a compressed format, at a slight "
    "cost in speed.\n"
    "Disable hardware texture mapping: textures stay in main memory.\n\n"
    "Dynamic Allocation Check Boxes\n"
    "Alpha buffer, Stencil buffer, 2D bitmaps: when checked, board memory serves that buffer "
    "as it is needed; when cleared, main memory does.\n"
    "Double Buffer: allocates a back buffer.\n";

// An on-or-off page member from a word of the record.
int Bit(std::uint32_t word, std::uint32_t mask = ~0u) { return (word & mask) != 0 ? 1 : 0; }

}  // namespace

// --- the sheet ----------------------------------------------------------------------

CQRNResSheet::CQRNResSheet(HWND parent, int showAll)
    : vnx::ui::PropertySheet(theApp.instance(), IDS_CAPTION, parent) {
    flags |= PSH_NOAPPLYNOW;
    if (showAll) {
        AddPage(&statusPage);
        AddPage(&memoryPage);
        AddPage(&advancedPage);
        AddPage(&supportPage);
    } else {
        badPage.controlPanelVersion = theApp.settings.appletVersion;
        badPage.driverVersion = theApp.settings.driverVersion;
        AddPage(&badPage);
    }
}

// The pages are members: their windows go before they do.
CQRNResSheet::~CQRNResSheet() { Destroy(); }

int CQRNResSheet::OnCreate() { return vnx::ui::PropertySheet::OnCreate() == -1 ? -1 : 0; }

// --- the board picture --------------------------------------------------------------

BoardPage::BoardPage(int dialogId) : vnx::ui::PropertyPage(theApp.instance(), dialogId) {}

void BoardPage::OnPaint() {
    PAINTSTRUCT ps;
    BeginPaint(hwnd_, &ps);
    HBITMAP bitmap = LoadBitmapA(theApp.instance(), MAKEINTRESOURCEA(theApp.boardBitmap));
    HWND frame = Item(IDC_PICTURE);
    HDC hdc = frame != nullptr ? GetDC(frame) : nullptr;
    if (hdc != nullptr) {
        HDC memory = CreateCompatibleDC(hdc);
        if (memory != nullptr) {
            HGDIOBJ previous = SelectObject(memory, bitmap);
            BitBlt(hdc, 0, 0, 150, 50, memory, 0, 0, SRCCOPY);
            SelectObject(memory, previous);
            DeleteDC(memory);
        }
        ReleaseDC(frame, hdc);
    }
    if (bitmap != nullptr) DeleteObject(bitmap);
    EndPaint(hwnd_, &ps);
}

// --- status -------------------------------------------------------------------------

CStatusPage::CStatusPage() : BoardPage(IDD_STATUS) {}

void CStatusPage::DoDataExchange(vnx::ui::DataExchange& dx) {
    dx.Text(IDC_STATUS_MODEL, model);
    dx.Text(IDC_STATUS_MEMORY, memory);
    dx.Text(IDC_STATUS_CARDS, cards);
    dx.Text(IDC_STATUS_REFRESH, refreshRate);
    dx.Text(IDC_STATUS_RESOLUTION, resolution);
    dx.Text(IDC_STATUS_PIXELDEPTH, pixelDepth);
    dx.Text(IDC_STATUS_ZDEPTH, zDepth);
    dx.Text(IDC_STATUS_DRIVER, driverVersion);
}

void CStatusPage::Fill() {
    const BoardSettings& s = theApp.settings;
    const BoardConfig& c = s.current;
    zDepth = Format("%d bits", c.currentZDepth < 16 ? 0 : static_cast<int>(s.edited.zDepth));
    switch (c.rasterizers) {
    case 1: model = "Vornix Solo"; break;
    case 2: model = "Vornix Duo"; break;
    case 4: model = "Vornix Quad"; break;
    default: model = "Vornix"; break;
    }
    switch (c.totalMemoryKB) {
    case 8192: memory = "8 MB"; break;
    case 16384: memory = "16 MB"; break;
    case 32768: memory = "32 MB"; break;
    default: memory = Format("%d KB", static_cast<int>(c.totalMemoryKB)); break;
    }
    driverVersion = s.driverVersion.substr(0, 10);
    resolution = Format("%d x %d", static_cast<int>(c.screenWidth), static_cast<int>(c.screenHeight));
    pixelDepth = Format("%d bits", static_cast<int>(c.bitsPerPixel));
    refreshRate = Format("%d Hertz", static_cast<int>(c.refreshRate));
    cards = Format("%d", static_cast<int>(c.boardCount));
}

BOOL CStatusPage::OnInitDialog() {
    Fill();
    return BoardPage::OnInitDialog();
}

BOOL CStatusPage::OnSetActive() {
    Fill();
    return BoardPage::OnSetActive();
}

// --- memory -------------------------------------------------------------------------

CMemoryPage::CMemoryPage() : BoardPage(IDD_MEMORY) {}

void CMemoryPage::DoDataExchange(vnx::ui::DataExchange& dx) {
    dx.Radio(IDC_ZBUF_NONE, zBufferChoice);
    dx.Radio(IDC_TEX_PERFORMANCE, textureChoice);
    dx.Check(IDC_ALPHA, alphaBuffer);
    dx.Check(IDC_BITMAPS2D, offscreenBitmaps);
    dx.Check(IDC_STENCIL, stencilBuffer);
    dx.Text(IDC_MEM_TOTAL, totalMemory);
    dx.Text(IDC_MEM_AVAILABLE, availableMemory);
    dx.Text(IDC_MEM_ALLOCATED, allocatedMemory);
    dx.Check(IDC_DOUBLEBUF, doubleBuffer);
}

BOOL CMemoryPage::OnInitDialog() {
    const BoardConfig& c = theApp.settings.current;
    zBufferChoice = c.zDepth == 0 ? 0 : c.zDepth == 24 ? 2 : 1;
    textureChoice = static_cast<int>(c.textureMode);
    alphaBuffer = Bit(c.alphaBuffer);
    stencilBuffer = Bit(c.stencilBuffer);
    offscreenBitmaps = Bit(c.offscreenBitmaps);
    doubleBuffer = Bit(c.doubleBuffer);
    totalMemory = Format("%d KB", static_cast<int>(c.totalMemoryKB));
    allocatedMemory = Format("%d KB", static_cast<int>(c.usedMemoryKB));
    availableMemory = Format("%d KB", static_cast<int>(c.totalMemoryKB - c.usedMemoryKB));
    EnableWindow(Item(IDC_DOUBLEBUF), FALSE);
    return BoardPage::OnInitDialog();
}

void CMemoryPage::WriteEdited() {
    BoardConfig& e = theApp.settings.edited;
    const std::uint32_t depth = zBufferChoice == 0 ? 0 : zBufferChoice == 2 ? 24 : 16;
    e.zDepth = depth;
    e.currentZDepth = depth;
    if (textureChoice >= 0) e.textureMode = static_cast<std::uint32_t>(textureChoice);
    e.alphaBuffer = static_cast<std::uint32_t>(alphaBuffer);
    e.stencilBuffer = static_cast<std::uint32_t>(stencilBuffer);
    e.offscreenBitmaps = static_cast<std::uint32_t>(offscreenBitmaps);
    e.doubleBuffer = static_cast<std::uint32_t>(doubleBuffer);
}

BOOL CMemoryPage::OnKillActive() {
    if (!BoardPage::OnKillActive()) return FALSE;
    WriteEdited();
    return TRUE;
}

bool CMemoryPage::OnCommand(int id) {
    static const vnx::ui::Command<CMemoryPage> kCommands[] = {
        {IDC_DEFAULTS, &CMemoryPage::OnDefaults},
        {IDC_HELP, &CMemoryPage::OnHelp},
    };
    return Dispatch(kCommands, id);
}

void CMemoryPage::OnDefaults() {
    const FactoryDefaults& d = theApp.defaults;
    zBufferChoice = d.zDepth == 0 ? 0 : d.zDepth == 24 ? 2 : 1;
    textureChoice = static_cast<int>(d.textureMode);
    alphaBuffer = static_cast<int>(d.alphaBuffer);
    stencilBuffer = static_cast<int>(d.stencilBuffer);
    offscreenBitmaps = static_cast<int>(d.offscreenBitmaps);
    doubleBuffer = static_cast<int>(d.doubleBuffer);
    WriteEdited();
    UpdateData(false);
}

void CMemoryPage::OnHelp() { MessageBoxA(hwnd_, kMemoryHelp, "Help", MB_ICONINFORMATION | MB_OK); }

// --- driver missing -----------------------------------------------------------------

CBadPage::CBadPage() : BoardPage(IDD_BAD) {}

void CBadPage::DoDataExchange(vnx::ui::DataExchange& dx) {
    dx.Text(IDC_BAD_CPLVERSION, controlPanelVersion);
    dx.Text(IDC_BAD_DRVVERSION, driverVersion);
}

}  // namespace qrncp
