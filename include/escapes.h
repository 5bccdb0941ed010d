// The escapes of the display driver vornix: the codes applications send with
// ExtEscape on a display device context, the records that travel with them,
// and the contract of escape modules (libraries loaded by escape that own a
// range of escape codes). The OpenGL client driver, the control-panel applet
// and escape modules use this header; the board configuration record of
// ESC_BOARDCONFIG is in boardconfig.h.
//
// Every escape answers a 32-bit word; negative codes and answers travel as
// their 32-bit two's complement.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/ddi.h"

// --- escape codes -------------------------------------------------------------
#define QUERYESCSUPPORT 8           // in: u32 code; 1 when the driver serves that code
#define MCDFUNCS 3076               // batched command stream
#define OPENGL_CMD 4352             // in: OPENGLCMD header and the GL server's arguments
#define OPENGL_GETINFO 4353         // in: u32 OPENGL_GETINFO_DRVNAME; out: OPENGL_INFO
#define ESC_LOADESCAPEMODULE (-1)   // in: module name; answers 1, -2 (already loaded) or 0
#define ESC_UNLOADESCAPEMODULE (-2) // in: module name; answers 1 or 0 (not loaded)
#define ESC_DRIVERWORD (-3)         // in: optional u32 new value; answers the old value
#define ESC_PING (-8)               // answers 1
#define ESC_UNLOADGLSERVER (-9)     // answers 1
#define ESC_BOARDCONFIG (-15)       // in and out: BoardConfig (boardconfig.h)
#define ESC_HEIDI (-16)             // immediate-mode 3D interface
#define ESC_GETMODES (-18)          // out: the mode list

// Answer of ESC_LOADESCAPEMODULE when the module was loaded already (its
// reference count went up).
#define ESC_MODULE_ALREADY_LOADED (-2)

// --- ESC_LOADESCAPEMODULE / ESC_UNLOADESCAPEMODULE --------------------------------
// The input is a zero-terminated module name that must end inside the input
// (cjIn bytes) and inside ESC_MODULE_NAME_MAX bytes. Loading takes only a
// plain file name ("name.dll"): letters, digits, '_', '-' and '.', not
// starting with '.'; no folder part. The module is looked for beside the
// display driver.
#define ESC_MODULE_NAME_MAX 256u

// --- ESC_DRIVERWORD ---------------------------------------------------------------
// With at least 4 input bytes the first u32 replaces the driver word; the
// answer is always the word as it was before the call.

// --- ESC_GETMODES -----------------------------------------------------------------
// The output takes whole mode records (DEVMODEW, platform/ddi.h) of
// ESC_GETMODES_RECORD_SIZE bytes; with no output the answer is the number of
// bytes the whole list needs, else the bytes written (0 on failure).
#define ESC_GETMODES_RECORD_SIZE 188u

// --- OPENGL_CMD -------------------------------------------------------------------
// Header of every OPENGL_CMD input; the GL server's arguments follow it.
#define OGLCMD_NEEDWNDOBJ 0x01u     // the engine is to fill pwo
#define OGLCMD_NEEDXLATEOBJ 0x02u   // the engine is to fill pxo

typedef struct OPENGLCMD {
    std::uint32_t ulSubEsc;  // +0  the GL server's sub-command
    std::uint32_t fl;        // +4  OGLCMD_...
    std::uint32_t pwo;       // +8  window object, a 32-bit engine handle filled by the engine
    std::uint32_t pxo;       // +12 translation object, likewise
} OPENGLCMD;
static_assert(sizeof(OPENGLCMD) == 16);
static_assert(offsetof(OPENGLCMD, fl) == 4);
static_assert(offsetof(OPENGLCMD, pwo) == 8);
static_assert(offsetof(OPENGLCMD, pxo) == 12);

// --- OPENGL_GETINFO ---------------------------------------------------------------
#define OPENGL_GETINFO_DRVNAME 0u   // the only request: the client driver's name
#define OPENGL_INFO_NAME_CHARS 261  // wide characters of the name, with its terminator

typedef struct OPENGL_INFO {
    std::uint32_t ulVersion;                  // +0 1
    std::uint32_t ulDriverVersion;            // +4 2
    WCHAR awch[OPENGL_INFO_NAME_CHARS];       // +8 zero-terminated wide name of the client driver
} OPENGL_INFO;
static_assert(sizeof(OPENGL_INFO) == 532);
static_assert(offsetof(OPENGL_INFO, awch) == 8);

// --- escape modules ---------------------------------------------------------------
// An escape module is a library that exports
//
//     ULONG DrvEnableEscape(ULONG iVersion, PDEV* ppdev, EscapeModule* pem);
//
// with C linkage. The driver calls it once when the module is loaded, with
// ESC_MODULE_VERSION and a zero-filled record whose hModule is set; the
// module fills its handlers and its range of codes and answers non-zero, or
// answers 0 to refuse (the driver then unloads it). Escapes whose codes the
// driver does not serve itself go to the first module (newest first) whose
// range holds the code. When the last reference is dropped the driver calls
// pfnUnload (when set) and unloads the library.
#define ESC_MODULE_VERSION 0x00010002u
#define ESC_MODULE_ENABLE_EXPORT "DrvEnableEscape"

struct PDEV;
struct EscapeModule;

// Serves an escape of the module's range through DrvEscape; answers its result.
typedef ULONG (*PFN_ESCMODULE_ESCAPE)(SURFOBJ* pso, ULONG iEsc, ULONG cjIn, PVOID pvIn,
                                      ULONG cjOut, PVOID pvOut);
// Serves a drawing escape of the module's range through DrvDrawEscape.
typedef ULONG (*PFN_ESCMODULE_DRAWESCAPE)(SURFOBJ* pso, ULONG iEsc, CLIPOBJ* pco, RECTL* prcl,
                                          ULONG cjIn, PVOID pvIn);
// Called with the device before the module is unloaded.
typedef void (*PFN_ESCMODULE_UNLOAD)(struct PDEV* ppdev);
// The module's export.
typedef ULONG (*PFN_ESCMODULE_ENABLE)(ULONG iVersion, struct PDEV* ppdev,
                                      struct EscapeModule* pem);

// One loaded module. The module writes pvModule, the three handlers and the
// range; the driver owns the other fields. The name follows the record.
// The fields keep their names and order, but the record holds addresses
// (the list link, the library, the handlers), so on a 64-bit platform its
// words are not all 32 bits wide: a module is built against this
// declaration and writes the fields by name, never by 32-bit offset.
typedef struct EscapeModule {
    struct EscapeModule* pNext;              // next module in the device's list
    HMODULE hModule;                         // the loaded library
    PVOID pvModule;                          // the module's own word
    PFN_ESCMODULE_UNLOAD pfnUnload;          // may be null
    PFN_ESCMODULE_DRAWESCAPE pfnDrawEscape;  // null: the module's drawing escapes answer -1
    PFN_ESCMODULE_ESCAPE pfnEscape;          // null: the module's escapes answer -1
    LONG iEscLow;                            // lowest code of the range, signed
    LONG iEscHigh;                           // highest code of the range (inclusive)
    ULONG cRef;                              // loads not yet matched by an unload
    CHAR achName[1];                         // zero-terminated name, as loaded
} EscapeModule;
