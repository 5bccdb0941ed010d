// The reference the GL benchmarks draw beside: an OSMesa context on a
// 1024x768 RGBA buffer with a 16-bit depth buffer, llvmpipe on the calling
// thread only, a pixel-for-unit orthographic view, smooth shading and one
// light on colour material, the state the lit-strip benchmarks draw under.
#pragma once

#ifdef VNX_HAVE_OSMESA
#include <GL/osmesa.h>

#include <cstdlib>
#include <vector>

struct MesaLitContext {
    OSMesaContext ctx = nullptr;
    std::vector<unsigned char> buffer = std::vector<unsigned char>(1024 * 768 * 4);

    // yDown puts y = 0 at the top, as window coordinates from the board's
    // side count rows; otherwise at the bottom, as GL counts them.
    explicit MesaLitContext(bool yDown = false) {
        setenv("LP_NUM_THREADS", "0", 1);
        ctx = OSMesaCreateContextExt(OSMESA_RGBA, 16, 0, 0, nullptr);
        if (ctx == nullptr || !OSMesaMakeCurrent(ctx, buffer.data(), GL_UNSIGNED_BYTE, 1024, 768)) return;
        glViewport(0, 0, 1024, 768);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        if (yDown)
            glOrtho(0, 1024, 768, 0, -1, 1);
        else
            glOrtho(0, 1024, 0, 768, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glShadeModel(GL_SMOOTH);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        glEnable(GL_COLOR_MATERIAL);
    }
    ~MesaLitContext() {
        if (ctx != nullptr) OSMesaDestroyContext(ctx);
    }
    MesaLitContext(const MesaLitContext&) = delete;
    MesaLitContext& operator=(const MesaLitContext&) = delete;
};
#endif
