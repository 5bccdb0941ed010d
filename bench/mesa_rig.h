// The lit strips the GL benchmarks draw, and the reference they draw beside:
// an OSMesa context on a 1024x768 RGBA buffer with a 16-bit depth buffer,
// llvmpipe on the calling thread only, a pixel-for-unit orthographic view,
// smooth shading and one light on colour material, the state the lit-strip
// benchmarks draw under.
#pragma once

namespace litstrips {

constexpr int kStripVertices = 64;
constexpr int kStrips = 16;
constexpr int kVertices = kStripVertices * kStrips;
constexpr unsigned kTriangleStrip = 5;

// The strips, as an application's calls through a table of entry points:
// strip s along y = 20 + 28 s (inside a 640x480 window), its vertices 8
// pixels apart in x and alternating 24 apart in y; the blue varies along a
// strip.
template <class Begin, class End, class Color, class Normal, class Vertex>
void Draw(Begin begin, End end, Color color, Normal normal, Vertex vertex) {
    for (int s = 0; s < kStrips; ++s) {
        begin(kTriangleStrip);
        for (int k = 0; k < kStripVertices; ++k) {
            color(0.5f, 0.25f, 0.125f + static_cast<float>(k) / 512.0f);
            normal(0.0f, 0.6f, 0.8f);
            vertex(static_cast<float>(8 + k * 8), static_cast<float>(20 + s * 28 + (k & 1) * 24), 0.0f);
        }
        end();
    }
}

}  // namespace litstrips

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

    // The strips through OSMesa's own entry points, to the end of drawing.
    void DrawStrips() const {
        litstrips::Draw([](GLenum m) { glBegin(m); }, [] { glEnd(); },
                        [](float r, float g, float b) { glColor3f(r, g, b); },
                        [](float x, float y, float z) { glNormal3f(x, y, z); },
                        [](float x, float y, float z) { glVertex3f(x, y, z); });
        glFinish();
    }
};
#endif
