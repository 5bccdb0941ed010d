// The table of the 306 OpenGL 1.0 entry points that DrvSetContext hands the
// system OpenGL library, one slot per row of include/glentries.def. Entry
// points whose encoders are not built yet fill their slot with a function
// that says so on the debugger and does nothing (answering 0).
#include "clt.h"
#include "glentries.h"

namespace {

void vNotAvailable(const char* pszName) { DbgPrint("%s: not available yet\n", pszName); }

template <class T>
T NotAvailable(const char* pszName) {
    vNotAvailable(pszName);
    if constexpr (!std::is_void_v<T>) return T{};
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define GL_ENTRY(name, kind, request, ret, params, args) \
    ret glclt##name params { return NotAvailable<ret>("gl" #name); }
#include "glentries.def"
#pragma GCC diagnostic pop

}  // namespace

const GLCLTPROCTABLE gGLCltProcTable = {
    GL_SLOT_COUNT,
    {
#define GL_ENTRY(name, kind, request, ret, params, args) glclt##name,
#include "glentries.def"
    },
};
