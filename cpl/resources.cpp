// The applet's own resources: the caption string, the icon, the board
// pictures and the six dialogs with their controls and the stereo-mode list.
#include "qrncp.h"
#include "resource.h"
#include "sheet.h"

namespace qrncp {

const char* const kStereoModes[19] = {
    "Stereo Disabled",
    "768 by 768 pixels, 256 Colors, 105 Hertz ",
    "768 by 768 pixels, 256 Colors, 140 Hertz ",
    "1024 by 768 pixels, 256 Colors, 105 Hertz",
    "1024 by 768 pixels, 256 Colors, 120 Hertz",
    "1024 by 768 pixels, 256 Colors, 140 Hertz ",
    "1280 by 512 pixels, 256 Colors, 139.32 Hertz ",
    "768 by 768 pixels, 32768 Colors, 105 Hertz ",
    "768 by 768 pixels, 32768 Colors, 140 Hertz ",
    "1024 by 768 pixels, 32768 Colors, 105 Hertz ",
    "1024 by 768 pixels, 32768 Colors, 120 Hertz",
    "1024 by 768 pixels, 32768 Colors, 140 Hertz ",
    "1280 by 512 pixels, 32768 Colors, 139.32 Hertz ",
    "768 by 768 pixels, True Color, 105 Hertz ",
    "768 by 768 pixels, True Color, 140 Hertz ",
    "1024 by 768 pixels, True Color, 105 Hertz ",
    "1024 by 768 pixels, True Color, 120 Hertz",
    "1024 by 768 pixels, True Color, 140 Hertz ",
    "1280 by 512 pixels, True Color, 139.32 Hertz ",
};

namespace {

using vnx::ui::ControlTemplate;
using vnx::ui::DialogTemplate;
using vnx::ui::Kind;

constexpr int kNoId = -1;

DialogTemplate Page(int id, const char* title, std::vector<ControlTemplate> controls) {
    DialogTemplate d;
    d.id = id;
    d.title = title;
    d.font = "MS Sans Serif";
    d.pointSize = 8;
    d.cx = 335;
    d.cy = 179;
    d.controls = std::move(controls);
    return d;
}

vnx::ui::Resources Build() {
    vnx::ui::Resources r;
    r.strings[IDS_CAPTION] = "Vornix 3D Resources";
    r.icons = {IDI_APPLET};
    r.bitmaps = {
        {IDB_LOGO, 136, 40, "Trelwick logo"},
        {IDB_SUPPORT, 136, 40, "Trelwick support"},
        {IDB_BOARD_NONE, 136, 40, "Vornix board"},
        {IDB_BOARD_SOLO, 136, 40, "Vornix Solo board"},
        {IDB_BOARD_DUO, 136, 40, "Vornix Duo board"},
        {IDB_BOARD_QUAD, 136, 40, "Vornix Quad board"},
    };
    const ControlTemplate picture{IDC_PICTURE, Kind::Frame, "", false, false};

    r.dialogs.push_back(Page(IDD_STATUS, "Vornix Status", {
        picture,
        {kNoId, Kind::Bitmap, "137"},
        {kNoId, Kind::Label, "Model:"},
        {IDC_STATUS_MODEL, Kind::Value, ""},
        {kNoId, Kind::Label, "Total graphics memory:"},
        {IDC_STATUS_MEMORY, Kind::Value, ""},
        {kNoId, Kind::Label, "Driver version:"},
        {IDC_STATUS_DRIVER, Kind::Value, ""},
        {kNoId, Kind::Label, "Display resolution:"},
        {IDC_STATUS_RESOLUTION, Kind::Value, ""},
        {kNoId, Kind::Label, "Pixel depth:"},
        {IDC_STATUS_PIXELDEPTH, Kind::Value, ""},
        {kNoId, Kind::Label, "Z-buffer depth:"},
        {IDC_STATUS_ZDEPTH, Kind::Value, ""},
        {kNoId, Kind::Label, "Refresh rate:"},
        {IDC_STATUS_REFRESH, Kind::Value, ""},
        {kNoId, Kind::Label, "Installed Vornix cards:"},
        {IDC_STATUS_CARDS, Kind::Value, ""},
    }));

    r.dialogs.push_back(Page(IDD_MEMORY, "Memory Options", {
        picture,
        {kNoId, Kind::Group, "Z-buffer "},
        {IDC_ZBUF_NONE, Kind::Radio, "&None  (No 3D acceleration)", false, true},
        {IDC_ZBUF_16, Kind::Radio, "&16-bit Z-buffer"},
        {IDC_ZBUF_24, Kind::Radio, "&Increased Z-buffer precision"},
        {kNoId, Kind::Group, "Texture Memory"},
        {IDC_TEX_PERFORMANCE, Kind::Radio, "Optimize for &performance", false, true},
        {IDC_TEX_MEMORY, Kind::Radio, "Optimize for &memory utilization"},
        {IDC_TEX_NOHARDWARE, Kind::Radio, "Disable &hardware texture mapping"},
        {kNoId, Kind::Group, "Dynamic Allocation"},
        {IDC_ALPHA, Kind::Check, "&Alpha buffer"},
        {IDC_STENCIL, Kind::Check, "&Stencil buffer"},
        {IDC_BITMAPS2D, Kind::Check, "2D &bitmaps"},
        {IDC_DOUBLEBUF, Kind::Check, "D&ouble-buffering", true},
        {kNoId, Kind::Label, "Total graphics memory"},
        {IDC_MEM_TOTAL, Kind::Value, ""},
        {kNoId, Kind::Label, "Allocated memory"},
        {IDC_MEM_ALLOCATED, Kind::Value, ""},
        {kNoId, Kind::Label, "Available memory"},
        {IDC_MEM_AVAILABLE, Kind::Value, ""},
        {IDC_DEFAULTS, Kind::Button, "Factory &Defaults"},
        {IDC_HELP, Kind::Button, "&Help"},
    }));

    DialogTemplate advanced = Page(IDD_ADVANCED, "Advanced Options", {
        picture,
        {IDC_MODELIMPRECISION, Kind::Check, "Adjust for model &imprecision"},
        {IDC_AALINES, Kind::Check, "Always &draw with anti-aliased lines"},
        {IDC_MIPMAP, Kind::Check, "Use mip-mapping &texture calculations"},
        {IDC_SYNCSWAP, Kind::Check, "&Sync buffer swap to vertical refresh"},
        {IDC_DUALMON, Kind::Check, "Enable dual &monitor mode"},
        {IDC_ALPHAPROC, Kind::Check, "Utilize Alpha &processor optimizations", true},
        {IDC_CADMODELER, Kind::Check, "Optimize for CAD Modeler"},
        {IDC_STEREOLABEL, Kind::Label, "Stereo Mode:"},
        {IDC_STEREOMODE, Kind::DropList, ""},
        {IDC_DEFAULTS, Kind::Button, "Factory &Defaults"},
        {IDC_HELP, Kind::Button, "&Help"},
    });
    advanced.listData[IDC_STEREOMODE] = std::vector<std::string>(std::begin(kStereoModes),
                                                                 std::end(kStereoModes));
    r.dialogs.push_back(std::move(advanced));

    r.dialogs.push_back(Page(IDD_STEREO, "Stereo Options", {
        picture,
        {kNoId, Kind::Group, "Transform Values"},
        {kNoId, Kind::Label, "Adjust:"},
        {IDC_STEREO_ADJUST, Kind::Edit, ""},
        {kNoId, Kind::Label, "Offset:"},
        {IDC_STEREO_OFFSET, Kind::Edit, ""},
        {kNoId, Kind::Label, "Translate:"},
        {IDC_STEREO_TRANSLATE, Kind::Edit, ""},
        {IDC_STEREO_SET, Kind::Button, "Set"},
        {IDC_MONOTOSTEREO, Kind::Check, "Mono -> Stereo"},
    }));

    r.dialogs.push_back(Page(IDD_SUPPORT, "Support Information", {
        picture,
        {kNoId, Kind::Bitmap, "137"},
        {kNoId, Kind::Bitmap, "138"},
        {kNoId, Kind::Label, "Updated drivers can be downloaded from http://www.trelwick.example/drivers/"},
        {kNoId, Kind::Label, "Send a detailed problem report to support@trelwick.example"},
        {kNoId, Kind::Label, "or by post to Trelwick Inc., Technical Support, 100 Harbour Road, Port Ellis"},
        {IDC_TEST, Kind::Button, "&Test"},
    }));

    r.dialogs.push_back(Page(IDD_BAD, "Vornix Status", {
        picture,
        {kNoId, Kind::Label, "Control Panel version:"},
        {IDC_BAD_CPLVERSION, Kind::Value, ""},
        {kNoId, Kind::Label, "Driver version:"},
        {IDC_BAD_DRVVERSION, Kind::Value, ""},
    }));
    return r;
}

}  // namespace

const vnx::ui::Resources& AppletResources() {
    static const vnx::ui::Resources resources = Build();
    return resources;
}

}  // namespace qrncp
