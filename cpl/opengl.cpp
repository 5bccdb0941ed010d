// The OpenGL calls of the support page's test: the pixel-format calls are
// the graphics interface's own, the context and string calls are looked up
// in the system OpenGL library; while that library is missing SystemOpenGL
// answers null.
#include "opengl.h"

#include "platform/gdi.h"

namespace qrncp {

namespace {

const OpenGL* gOverride = nullptr;

template <typename F>
bool Resolve(HMODULE module, const char* name, F* slot) {
    *slot = reinterpret_cast<F>(GetProcAddress(module, name));
    return *slot != nullptr;
}

}  // namespace

const OpenGL* SystemOpenGL() {
    if (gOverride != nullptr) return gOverride;
    static OpenGL gl{};
    static bool found = false;
    if (found) return &gl;
    // Looked for again at every call while it is missing, so a library
    // installed while the applet is loaded is found.
    HMODULE module = LoadLibraryA("opengl32.dll");
    if (module == nullptr) return nullptr;
    gl.ChoosePixelFormat = ChoosePixelFormat;
    gl.SetPixelFormat = SetPixelFormat;
    found = Resolve(module, "wglCreateContext", &gl.wglCreateContext) &&
            Resolve(module, "wglMakeCurrent", &gl.wglMakeCurrent) &&
            Resolve(module, "wglDeleteContext", &gl.wglDeleteContext) &&
            Resolve(module, "glGetString", &gl.glGetString);
    if (!found) {
        FreeLibrary(module);
        return nullptr;
    }
    return &gl;
}

void UseOpenGL(const OpenGL* gl) { gOverride = gl; }

}  // namespace qrncp
