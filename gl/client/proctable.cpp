// The table of the 306 OpenGL 1.0 entry points that DrvSetContext hands the
// system OpenGL library, one slot per row of include/glentries.def. A slot
// holds the encoder of its entry point (the vertex and
// attribute requests of vertexattr.def, the state requests of state.def,
// glBegin, glEnd and the list calls of batch.h, the single requests of
// single.h, the pixel store of pixelstore.h and the large and pixel commands
// of large.h). Every row has its encoder: the build fails on one that has
// none.
#include "batch.h"
#include "large.h"
#include "pixelstore.h"
#include "single.h"
#include "clt.h"
#include "glentries.h"
#include "state.h"
#include "vertex.h"

namespace {

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
        static auto call(A... a) {                              \
            return fn(a...);                                    \
        }                                                       \
    };
CLT_SLOT_ENCODER(Begin, CltBegin)
CLT_SLOT_ENCODER(End, CltEnd)
CLT_SLOT_ENCODER(CallList, CltCallList)
CLT_SLOT_ENCODER(ListBase, CltListBase)
CLT_SLOT_ENCODER(CallLists, CltCallLists)
CLT_SLOT_ENCODER(NewList, CltNewList)
CLT_SLOT_ENCODER(EndList, CltEndList)
CLT_SLOT_ENCODER(DeleteLists, CltDeleteLists)
CLT_SLOT_ENCODER(GenLists, CltGenLists)
CLT_SLOT_ENCODER(FeedbackBuffer, CltFeedbackBuffer)
CLT_SLOT_ENCODER(SelectBuffer, CltSelectBuffer)
CLT_SLOT_ENCODER(RenderMode, CltRenderMode)
CLT_SLOT_ENCODER(Finish, CltFinish)
CLT_SLOT_ENCODER(Flush, CltFlush)
CLT_SLOT_ENCODER(ReadPixels, CltReadPixels)
CLT_SLOT_ENCODER(GetBooleanv, CltGetBooleanv)
CLT_SLOT_ENCODER(GetClipPlane, CltGetClipPlane)
CLT_SLOT_ENCODER(GetDoublev, CltGetDoublev)
CLT_SLOT_ENCODER(GetError, CltGetError)
CLT_SLOT_ENCODER(GetFloatv, CltGetFloatv)
CLT_SLOT_ENCODER(GetIntegerv, CltGetIntegerv)
CLT_SLOT_ENCODER(GetLightfv, CltGetLightfv)
CLT_SLOT_ENCODER(GetLightiv, CltGetLightiv)
CLT_SLOT_ENCODER(GetMapdv, CltGetMapdv)
CLT_SLOT_ENCODER(GetMapfv, CltGetMapfv)
CLT_SLOT_ENCODER(GetMapiv, CltGetMapiv)
CLT_SLOT_ENCODER(GetMaterialfv, CltGetMaterialfv)
CLT_SLOT_ENCODER(GetMaterialiv, CltGetMaterialiv)
CLT_SLOT_ENCODER(GetPixelMapfv, CltGetPixelMapfv)
CLT_SLOT_ENCODER(GetPixelMapuiv, CltGetPixelMapuiv)
CLT_SLOT_ENCODER(GetPixelMapusv, CltGetPixelMapusv)
CLT_SLOT_ENCODER(GetPolygonStipple, CltGetPolygonStipple)
CLT_SLOT_ENCODER(GetString, CltGetString)
CLT_SLOT_ENCODER(GetTexEnvfv, CltGetTexEnvfv)
CLT_SLOT_ENCODER(GetTexEnviv, CltGetTexEnviv)
CLT_SLOT_ENCODER(GetTexGendv, CltGetTexGendv)
CLT_SLOT_ENCODER(GetTexGenfv, CltGetTexGenfv)
CLT_SLOT_ENCODER(GetTexGeniv, CltGetTexGeniv)
CLT_SLOT_ENCODER(GetTexImage, CltGetTexImage)
CLT_SLOT_ENCODER(GetTexParameterfv, CltGetTexParameterfv)
CLT_SLOT_ENCODER(GetTexParameteriv, CltGetTexParameteriv)
CLT_SLOT_ENCODER(GetTexLevelParameterfv, CltGetTexLevelParameterfv)
CLT_SLOT_ENCODER(GetTexLevelParameteriv, CltGetTexLevelParameteriv)
CLT_SLOT_ENCODER(IsEnabled, CltIsEnabled)
CLT_SLOT_ENCODER(IsList, CltIsList)
CLT_SLOT_ENCODER(PixelStorei, CltPixelStorei)
CLT_SLOT_ENCODER(PixelStoref, CltPixelStoref)
CLT_SLOT_ENCODER(Map1d, CltMap1d)
CLT_SLOT_ENCODER(Map1f, CltMap1f)
CLT_SLOT_ENCODER(Map2d, CltMap2d)
CLT_SLOT_ENCODER(Map2f, CltMap2f)
CLT_SLOT_ENCODER(PixelMapfv, CltPixelMapfv)
CLT_SLOT_ENCODER(PixelMapuiv, CltPixelMapuiv)
CLT_SLOT_ENCODER(PixelMapusv, CltPixelMapusv)
CLT_SLOT_ENCODER(PolygonStipple, CltPolygonStipple)
CLT_SLOT_ENCODER(Bitmap, CltBitmap)
CLT_SLOT_ENCODER(TexImage1D, CltTexImage1D)
CLT_SLOT_ENCODER(TexImage2D, CltTexImage2D)
CLT_SLOT_ENCODER(DrawPixels, CltDrawPixels)
#undef CLT_SLOT_ENCODER

// The request of a row as one number: render opcodes as they are, single
// ones above them.
#define CLT_REQUEST_RENDER(request) X_GLrop_##request
#define CLT_REQUEST_SINGLE(request) (0x10000u | X_GLsop_##request)

template <unsigned kSlot, unsigned kRequest, class R>
struct Entry {
    template <class... A>
    R operator()(A... a) const {
        if constexpr (SlotEncoder<kSlot>::kBuilt) {
            return static_cast<R>(SlotEncoder<kSlot>::call(a...));
        } else if constexpr (kRequest < 0x10000u && vtx::RequestEncoder<kRequest>::kBuilt) {
            vtx::RequestEncoder<kRequest>::call(a...);
        } else {
            static_assert(kRequest < 0x10000u && st::RequestEncoder<kRequest>::kBuilt,
                          "an entry point without its encoder");
            st::RequestEncoder<kRequest>::call(a...);
        }
    }
};

#define GL_ENTRY(name, kind, request, ret, params, args) \
    ret glclt##name params { return Entry<GL_SLOT_##name, CLT_REQUEST_##kind(request), ret>{} args; }
#include "glentries.def"

}  // namespace

const GLCLTPROCTABLE gGLCltProcTable = {
    GL_SLOT_COUNT,
    {
#define GL_ENTRY(name, kind, request, ret, params, args) glclt##name,
#include "glentries.def"
    },
};
