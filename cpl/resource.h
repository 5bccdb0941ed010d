// Resource and control ids of the applet's own resources.
#pragma once

// Strings, icon and bitmaps.
#define IDS_CAPTION 1          // "Vornix 3D Resources"
#define IDI_APPLET 131
#define IDB_LOGO 137           // maker's logo on the status and support pages
#define IDB_SUPPORT 138
#define IDB_BOARD_NONE 139     // board pictures, 136 x 40 pixels
#define IDB_BOARD_SOLO 140
#define IDB_BOARD_DUO 141
#define IDB_BOARD_QUAD 142

// Dialogs.
#define IDD_STATUS 133
#define IDD_MEMORY 134
#define IDD_SUPPORT 136
#define IDD_BAD 144
#define IDD_ADVANCED 145
#define IDD_STEREO 209

// Every page: the board picture's frame.
#define IDC_PICTURE 1001

// Status page.
#define IDC_STATUS_MODEL 1002
#define IDC_STATUS_REFRESH 1004
#define IDC_STATUS_MEMORY 1005
#define IDC_STATUS_DRIVER 1006
#define IDC_STATUS_RESOLUTION 1007
#define IDC_STATUS_PIXELDEPTH 1008
#define IDC_STATUS_ZDEPTH 1009
#define IDC_STATUS_CARDS 1010

// Memory page.
#define IDC_MEM_TOTAL 1005
#define IDC_ZBUF_NONE 1006
#define IDC_ZBUF_16 1007
#define IDC_ZBUF_24 1008
#define IDC_TEX_PERFORMANCE 1009
#define IDC_TEX_MEMORY 1010
#define IDC_TEX_NOHARDWARE 1011
#define IDC_ALPHA 1012
#define IDC_STENCIL 1013
#define IDC_BITMAPS2D 1014
#define IDC_DOUBLEBUF 1015
#define IDC_DEFAULTS 1016
#define IDC_HELP 1017
#define IDC_MEM_ALLOCATED 1018
#define IDC_MEM_AVAILABLE 1019

// Advanced page.
#define IDC_ALPHAPROC 1020
#define IDC_DUALMON 1021
#define IDC_MIPMAP 1022
#define IDC_AALINES 1027
#define IDC_SYNCSWAP 1044
#define IDC_MODELIMPRECISION 1045
#define IDC_CADMODELER 1046
#define IDC_STEREOMODE 1049
#define IDC_STEREOLABEL 1051

// Stereo page.
#define IDC_STEREO_SET 1024
#define IDC_MONOTOSTEREO 1020
#define IDC_STEREO_ADJUST 1046
#define IDC_STEREO_OFFSET 1047
#define IDC_STEREO_TRANSLATE 1048

// Support page.
#define IDC_TEST 1025
#define ID_TESTWND 103

// Driver-missing page.
#define IDC_BAD_CPLVERSION 1004
#define IDC_BAD_DRVVERSION 1005
