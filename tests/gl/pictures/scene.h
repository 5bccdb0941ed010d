// A GL 1.0 scene for the picture tests: a list of GL calls, each named by
// its published GLX render request and carrying that request's argument
// words, so that one list is both what the test encoder sends to the server
// and what the reference renderer (OSMesa) runs.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "gl/glx/glx_encoder.h"

namespace pictures {

// GL 1.0 tokens the scenes use (the published values).
enum : std::uint32_t {
    kPoints = 0, kLines, kLineLoop, kLineStrip, kTriangles, kTriangleStrip, kTriangleFan, kQuads, kQuadStrip,
    kPolygon,
    kNever = 0x0200, kLess, kEqual, kLequal, kGreater, kNotequal, kGequal, kAlways,
    kDepthTest = 0x0B71, kLineStipple = 0x0B24,
    kFlat = 0x1D00, kSmooth = 0x1D01,
    kProjection = 0x1701, kModelview = 0x1700,
    kColorBufferBit = 0x4000, kDepthBufferBit = 0x0100,
    kRgb = 0x1907, kRgba = 0x1908, kUnsignedByte = 0x1401,
};

// One GL call: its render request (the name after X_GLrop_), the request's
// argument words, and the image bytes of Bitmap and DrawPixels (rows of
// their width, byte aligned).
struct Call {
    std::string request;
    std::vector<std::uint32_t> words;
    std::vector<std::uint8_t> image;
};
using Calls = std::vector<Call>;

inline Call C(const char* request, std::initializer_list<std::uint32_t> words = {}) {
    return Call{request, words, {}};
}
inline Call Vertex(float x, float y, float z = 0.0f) {
    return C("Vertex3fv", {glx::F(x), glx::F(y), glx::F(z)});
}
inline Call Colour(float r, float g, float b) { return C("Color3fv", {glx::F(r), glx::F(g), glx::F(b)}); }
inline Call Double(const char* request, std::initializer_list<double> values) {
    Call c{request, {}, {}};
    for (double d : values) {
        std::uint64_t u;
        std::memcpy(&u, &d, sizeof u);
        c.words.push_back(static_cast<std::uint32_t>(u));
        c.words.push_back(static_cast<std::uint32_t>(u >> 32));
    }
    return c;
}
// A floor under a perspective projection: the frustum, then a white quad
// from 1.5 to 6 units in front of the eye whose texture coordinates repeat
// every half unit (the near end magnifies a texture, the far end shrinks it).
inline std::vector<Call> PerspectiveFloor() {
    std::vector<Call> c = {C("MatrixMode", {kProjection}), C("LoadIdentity"),
                           Double("Frustum", {-1, 1, -0.75, 0.75, 1, 30}), C("MatrixMode", {kModelview}),
                           C("LoadIdentity"), C("Begin", {kQuads})};
    const float corners[4][5] = {{-0.6f, 0, -1.2f, -1, -1.5f}, {0.6f, 0, 1.2f, -1, -1.5f},
                                 {2.4f, 2.25f, 4.8f, -1, -6}, {-2.4f, 2.25f, -4.8f, -1, -6}};
    for (const auto& v : corners) {
        c.push_back(Colour(1, 1, 1));
        c.push_back(C("TexCoord2fv", {glx::F(v[0]), glx::F(v[1])}));
        c.push_back(Vertex(v[2], v[3], v[4]));
    }
    c.push_back(C("End"));
    return c;
}
// glBitmap(width, height, xorig, yorig, xmove, ymove, bits): rows of
// (width + 7) / 8 bytes, the first row the bottom one.
inline Call Bitmap(std::uint32_t width, std::uint32_t height, float xorig, float yorig, float xmove, float ymove,
                   std::vector<std::uint8_t> bits) {
    return Call{"Bitmap", {width, height, glx::F(xorig), glx::F(yorig), glx::F(xmove), glx::F(ymove)}, std::move(bits)};
}
// glDrawPixels(width, height, format, GL_UNSIGNED_BYTE, bytes).
inline Call DrawPixels(std::uint32_t width, std::uint32_t height, std::uint32_t format, std::vector<std::uint8_t> bytes) {
    return Call{"DrawPixels", {width, height, format, kUnsignedByte}, std::move(bytes)};
}

// The call as the client sends it: a render command (Bitmap and DrawPixels
// with the pixel-store header of unpacking alignment 1 and their image).
glx::Bytes Encode(const Call& call);

// The calls run by OSMesa into a width x height RGBA picture with a 16-bit
// depth buffer (as the board's), unpacking alignment 1: pixels 0x00RRGGBB,
// rows top to bottom. Empty (with *error set) when OSMesa cannot be loaded
// or a call has no reference here.
// Without alphaBuffer the reference draws as into a buffer without alpha:
// its alpha holds 1 and is never written, so the destination alpha a blend
// reads is 1 (GL's rule without an alpha buffer).
std::vector<std::uint32_t> Reference(const Calls& calls, int width, int height, std::string* error,
                                     bool alphaBuffer = true);

// glReadPixels after the calls (packing alignment 4, the default): the
// image as OSMesa returns it, cjPixel bytes a pixel, rows bottom first;
// empty (with *error set) as Reference.
struct ReadRequest {
    int x, y, width, height;
    std::uint32_t format, type;
};
std::size_t ReadRowBytes(const ReadRequest& read, std::size_t cjPixel);
std::vector<std::uint8_t> ReferenceRead(const Calls& calls, int width, int height, const ReadRequest& read,
                                        std::size_t cjPixel, std::string* error);

// glGetFloatv(pname) after the calls into a width x height picture: the
// first count values OSMesa answers; empty (with *error set) as Reference.
std::vector<float> ReferenceFloats(const Calls& calls, int width, int height, std::uint32_t pname, std::size_t count,
                                   std::string* error);

}  // namespace pictures
