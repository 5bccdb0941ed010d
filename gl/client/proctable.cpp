// The table of the 306 OpenGL 1.0 entry points that DrvSetContext hands the
// system OpenGL library, one slot per row of include/glentries.def. A slot
// holds the encoder of its entry point where one is built (the vertex and
// attribute requests of vertexattr.def, the state requests of state.def,
// glBegin, glEnd and the list calls of batch.h); the others hold a function
// that says so on the debugger and does nothing (answering 0).
#include <type_traits>

#include "batch.h"
#include "clt.h"
#include "glentries.h"
#include "state.h"
#include "vertex.h"

namespace {

void vNotAvailable(const char* pszName) { DbgPrint("%s: not available yet\n", pszName); }

template <class T>
T NotAvailable(const char* pszName) {
    vNotAvailable(pszName);
    if constexpr (!std::is_void_v<T>) return T{};
}

// Entry points built by slot rather than by request.
template <unsigned kSlot>
struct SlotEncoder {
    static constexpr bool kBuilt = false;
};
#define CLT_SLOT_ENCODER(slot, fn)                              \
    template <>                                                 \
    struct SlotEncoder<GL_SLOT_##slot> {                        \
        static constexpr bool kBuilt = true;                    \
        template <class... A>                                   \
        static void call(A... a) {                              \
            fn(a...);                                           \
        }                                                       \
    };
CLT_SLOT_ENCODER(Begin, CltBegin)
CLT_SLOT_ENCODER(End, CltEnd)
CLT_SLOT_ENCODER(CallList, CltCallList)
CLT_SLOT_ENCODER(ListBase, CltListBase)
CLT_SLOT_ENCODER(CallLists, CltCallLists)
#undef CLT_SLOT_ENCODER

// The request of a row as one number: render opcodes as they are, single
// ones above them.
#define CLT_REQUEST_RENDER(request) X_GLrop_##request
#define CLT_REQUEST_SINGLE(request) (0x10000u | X_GLsop_##request)

template <unsigned kSlot, unsigned kRequest, class R>
struct Entry {
    const char* pszName;
    template <class... A>
    R operator()(A... a) const {
        if constexpr (SlotEncoder<kSlot>::kBuilt) {
            SlotEncoder<kSlot>::call(a...);
        } else if constexpr (kRequest < 0x10000u && vtx::RequestEncoder<kRequest>::kBuilt) {
            vtx::RequestEncoder<kRequest>::call(a...);
        } else if constexpr (kRequest < 0x10000u && st::RequestEncoder<kRequest>::kBuilt) {
            st::RequestEncoder<kRequest>::call(a...);
        } else {
            return NotAvailable<R>(pszName);
        }
    }
};

#define GL_ENTRY(name, kind, request, ret, params, args) \
    ret glclt##name params { return Entry<GL_SLOT_##name, CLT_REQUEST_##kind(request), ret>{"gl" #name} args; }
#include "glentries.def"

}  // namespace

const GLCLTPROCTABLE gGLCltProcTable = {
    GL_SLOT_COUNT,
    {
#define GL_ENTRY(name, kind, request, ret, params, args) glclt##name,
#include "glentries.def"
    },
};
