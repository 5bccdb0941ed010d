// The OpenGL information escape (OPENGL_GETINFO): the record by which the
// system OpenGL library finds the client driver.
#include <cstring>

#include "escapes.h"
#include "glsrv.h"

namespace {

// The client driver's registry name, at most OPENGL_INFO_NAME_CHARS - 1
// characters.
constexpr WCHAR kClientDriverName[] = u"VORNIX";
static_assert(sizeof kClientDriverName / sizeof(WCHAR) <= OPENGL_INFO_NAME_CHARS,
              "the name fits the record");

constexpr ULONG kInfoVersion = 1;
constexpr ULONG kDriverVersion = 2;

}  // namespace

ULONG ulOpenGLGetInfo(SURFOBJ*, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut) {
    constexpr ULONG kFailed = static_cast<ULONG>(-1);
    if (pvIn == nullptr || cjIn < sizeof(ULONG)) return kFailed;
    ULONG ulRequest;
    std::memcpy(&ulRequest, pvIn, sizeof ulRequest);
    if (ulRequest != OPENGL_GETINFO_DRVNAME) return kFailed;
    if (pvOut == nullptr || cjOut < sizeof(OPENGL_INFO)) return kFailed;
    OPENGL_INFO info{};  // the whole record, the name's unused characters zero
    info.ulVersion = kInfoVersion;
    info.ulDriverVersion = kDriverVersion;
    std::memcpy(info.awch, kClientDriverName, sizeof kClientDriverName);
    std::memcpy(pvOut, &info, sizeof info);
    return 1;
}
