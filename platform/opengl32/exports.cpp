// The 306 OpenGL 1.0 functions, one per row of include/glentries.def, with C
// linkage and the declarations of the system's GL/gl.h. Each jumps through
// the calling thread's table: the client driver's while the thread has a
// current context, else a table whose functions do nothing.
#include <GL/gl.h>

#include <type_traits>

#include "icd.h"

namespace vnx::opengl32 {
namespace {

template <class T>
T Nothing() {
    if constexpr (!std::is_void_v<T>) return T{};
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define GL_ENTRY(name, kind, request, ret, params, args) \
    ret none##name params { return Nothing<ret>(); }
#include "glentries.def"
#pragma GCC diagnostic pop

constexpr GLDispatchTable kNoContext = {
#define GL_ENTRY(name, kind, request, ret, params, args) none##name,
#include "glentries.def"
};

}  // namespace

thread_local constinit const GLDispatchTable* tTable = &kNoContext;

void set_thread_table(const GLDispatchTable* pTable) { tTable = pTable != nullptr ? pTable : &kNoContext; }

}  // namespace vnx::opengl32

extern "C" {
#define GL_ENTRY(name, kind, request, ret, params, args) \
    VNX_PLATFORM_API ret gl##name params { return vnx::opengl32::tTable->name args; }
#include "glentries.def"
}
