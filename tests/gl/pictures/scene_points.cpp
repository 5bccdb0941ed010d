// The point scenes' further GL calls run by OSMesa (scene.h): the point
// size, the blend function and a colour with alpha, looked up in the
// library's own handle.
#include "scene.h"

#include "../../platform/gl_reference.h"

#include <GL/gl.h>

#include <cstring>

namespace pictures {

namespace {

struct PointGl {
    bool loaded = false;
    void (*PointSize)(GLfloat) = nullptr;
    void (*BlendFunc)(GLenum, GLenum) = nullptr;
    void (*Color4fv)(const GLfloat*) = nullptr;

    bool load() {
        if (loaded) return true;
        std::string error;
        vnx::glref::OsMesaLoader l(&error);
        if (!l.ok()) return false;
        l.get(PointSize, "glPointSize");
        l.get(BlendFunc, "glBlendFunc");
        l.get(Color4fv, "glColor4fv");
        loaded = l.ok();
        return loaded;
    }
};

}  // namespace

bool RunPointCall(const Call& c) {
    static PointGl g;
    if (!g.load()) return false;
    const auto& w = c.words;
    float f[4] = {};
    for (std::size_t i = 0; i < w.size() && i < 4; ++i) std::memcpy(&f[i], &w[i], 4);
    if (c.request == "PointSize") g.PointSize(f[0]);
    else if (c.request == "BlendFunc") g.BlendFunc(w.at(0), w.at(1));
    else if (c.request == "Color4fv") g.Color4fv(f);
    else return false;
    return true;
}

}  // namespace pictures
