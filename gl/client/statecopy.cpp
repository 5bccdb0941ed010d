// The client's copy of selected GL state (statecopy.h). The calls here run
// after the common path of a state call: a call refused inside an open
// batch changes neither the server nor the copy. The copy follows what the
// application asked for; the server's verdict on a bad value never reaches
// it.
#include "statecopy.h"

#include "state.h"

namespace {

// What a glPopAttrib may restore of the copy, by the groups pushed since the
// mask was last cleared: the point size, polygon modes, depth-test enable,
// clear colour, blend enable and draw buffer belong to these four groups.
constexpr ULONG kPopRestoresCopy =
    GL_POINT_BIT | GL_POLYGON_BIT | GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT;

// The valid and value bit of a kept enable, 0 for any other capability.
ULONG ulEnableBit(GLenum cap) {
    switch (cap) {
        case GL_LIGHTING: return CLT_CACHE_LIGHTING;
        case GL_DEPTH_TEST: return CLT_CACHE_DEPTH_TEST;
        case GL_BLEND: return CLT_CACHE_BLEND;
        default: return 0;
    }
}

// glEnable and glDisable: GL_COLOR_LOGIC_OP goes as GL_LOGIC_OP; the kept
// enables are recorded once the command is appended.
template <unsigned kOpcode>
void vEnable(ThreadBlock* ptb, GLenum cap, bool bEnable) {
    if (cap == CLT_GL_COLOR_LOGIC_OP) cap = GL_LOGIC_OP;
    st::Send<kOpcode>(ptb, cap);
    ClientContext* cc = ptb->context;
    const ULONG bit = ulEnableBit(cap);
    if (cc == nullptr || bit == 0) return;
    cc->cacheEnables = bEnable ? cc->cacheEnables | bit : cc->cacheEnables & ~bit;
    cc->cacheValid |= bit;
}

}  // namespace

void CltPointSize(ThreadBlock* ptb, GLfloat size) {
    if (ClientContext* cc = ptb->context) {
        if ((cc->cacheValid & CLT_CACHE_POINT_SIZE) != 0 && cc->pointSize == size) return;
        cc->pointSize = size;
        cc->cacheValid |= CLT_CACHE_POINT_SIZE;
    }
    st::Send<X_GLrop_PointSize>(ptb, size);
}

void CltShadeModel(ThreadBlock* ptb, GLenum mode) {
    if (ClientContext* cc = ptb->context) {
        if ((cc->cacheEnables & CLT_ENABLE_SHADE_MODEL) != 0 && cc->shadeModel == mode) return;
        cc->shadeModel = mode;
        cc->cacheEnables |= CLT_ENABLE_SHADE_MODEL;
    }
    st::Send<X_GLrop_ShadeModel>(ptb, mode);
}

void CltClearColor(ThreadBlock* ptb, GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha) {
    if (ClientContext* cc = ptb->context) {
        const float* c = cc->clearColor;
        if ((cc->cacheValid & CLT_CACHE_CLEAR_COLOR) != 0 && c[0] == red && c[1] == green &&
            c[2] == blue && c[3] == alpha)
            return;
        cc->clearColor[0] = red;
        cc->clearColor[1] = green;
        cc->clearColor[2] = blue;
        cc->clearColor[3] = alpha;
        cc->cacheValid |= CLT_CACHE_CLEAR_COLOR;
    }
    st::Send<X_GLrop_ClearColor>(ptb, red, green, blue, alpha);
}

void CltDrawBuffer(ThreadBlock* ptb, GLenum mode) {
    st::Send<X_GLrop_DrawBuffer>(ptb, mode);
    if (ClientContext* cc = ptb->context) {
        cc->drawBuffer = mode;
        cc->cacheValid |= CLT_CACHE_DRAW_BUFFER;
    }
}

void CltPolygonMode(ThreadBlock* ptb, GLenum face, GLenum mode) {
    st::Send<X_GLrop_PolygonMode>(ptb, face, mode);
    ClientContext* cc = ptb->context;
    if (cc == nullptr) return;
    if (face != GL_BACK) {
        cc->polygonModeFront = mode;
        cc->cacheValid |= CLT_CACHE_POLYGON_MODE_FRONT;
    }
    if (face != GL_FRONT) {
        cc->polygonModeBack = mode;
        cc->cacheValid |= CLT_CACHE_POLYGON_MODE_BACK;
    }
}

void CltEnable(ThreadBlock* ptb, GLenum cap) { vEnable<X_GLrop_Enable>(ptb, cap, true); }
void CltDisable(ThreadBlock* ptb, GLenum cap) { vEnable<X_GLrop_Disable>(ptb, cap, false); }

void CltPushAttrib(ThreadBlock* ptb, GLbitfield mask) {
    st::Send<X_GLrop_PushAttrib>(ptb, mask);
    if (ClientContext* cc = ptb->context) {
        cc->pushedAttribMask |= mask;
        cc->attribDepth += 1;
    }
}

void CltPopAttrib(ThreadBlock* ptb) {
    st::Send<X_GLrop_PopAttrib>(ptb);
    ClientContext* cc = ptb->context;
    if (cc == nullptr) return;
    const ULONG m = cc->pushedAttribMask;
    if (cc->attribDepth != 0) cc->attribDepth -= 1;
    if ((m & kPopRestoresCopy) != 0) {
        cc->cacheValid &= ~CLT_CACHE_ALL;
        // An outer push may still restore its groups: the mask stays until
        // the stack is empty.
        if (cc->attribDepth == 0) cc->pushedAttribMask = 0;
    }
    // The lighting group restores the shade model and the lighting enable,
    // the enable group every enable.
    if ((m & GL_LIGHTING_BIT) != 0) {
        cc->cacheEnables &= ~CLT_ENABLE_SHADE_MODEL;
        cc->cacheValid &= ~CLT_CACHE_LIGHTING;
    }
    if ((m & GL_ENABLE_BIT) != 0) cc->cacheValid &= ~CLT_CACHE_ENABLES;
}

bool bCachedEnable(const ClientContext* cc, GLenum cap, GLboolean* pbEnabled) {
    const ULONG bit = ulEnableBit(cap);
    if (cc == nullptr || bit == 0 || (cc->cacheValid & bit) == 0) return false;
    *pbEnabled = (cc->cacheEnables & bit) != 0 ? 1 : 0;
    return true;
}

ULONG CachedIntegers(const ClientContext* cc, GLenum pname, GLint v[2]) {
    if (cc == nullptr) return 0;
    constexpr ULONG kModes = CLT_CACHE_POLYGON_MODE_FRONT | CLT_CACHE_POLYGON_MODE_BACK;
    switch (pname) {
        case GL_POLYGON_MODE:
            if ((cc->cacheValid & kModes) != kModes) return 0;
            v[0] = static_cast<GLint>(cc->polygonModeFront);
            v[1] = static_cast<GLint>(cc->polygonModeBack);
            return 2;
        case GL_LIGHTING:
        case GL_DEPTH_TEST: {
            GLboolean b = 0;
            if (!bCachedEnable(cc, pname, &b)) return 0;
            v[0] = b;
            return 1;
        }
        case GL_DRAW_BUFFER:
            if ((cc->cacheValid & CLT_CACHE_DRAW_BUFFER) == 0) return 0;
            v[0] = static_cast<GLint>(cc->drawBuffer);
            return 1;
        default: return 0;
    }
}
