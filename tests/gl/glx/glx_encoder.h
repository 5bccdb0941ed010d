// A small GLX encoder for tests, written from the published GLX protocol
// encoding and independent of the server's own tables: one table row per
// request (name, opcode, argument words), and functions that write render
// commands, large render commands and single requests as a client would,
// and read single replies back.
//
// Every argument used here is a 32-bit word (CARD32, INT32, ENUM, FLOAT32);
// a FLOAT64 counts as two words. Values are given as 32-bit words; F() turns
// a float into its word.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

namespace glx {

struct RequestRow {
    const char* name;
    std::uint16_t opcode;
    std::uint16_t words;  // argument words behind the header
};

// Render requests: __GLXrenderHeader {u16 length in bytes, u16 opcode}, the
// arguments at +4.
inline const RequestRow kRender[] = {
    {"CallList", 1, 1},     {"Begin", 4, 1},        {"Color3fv", 8, 3},     {"Color4fv", 16, 4},
    {"End", 23, 0},         {"Indexfv", 25, 1},     {"Normal3fv", 30, 3},   {"RasterPos2fv", 34, 2},
    {"TexCoord1fv", 50, 1}, {"TexCoord2fv", 54, 2}, {"TexCoord3fv", 58, 3}, {"TexCoord4fv", 62, 4},
    {"Vertex2fv", 66, 2},   {"Vertex3fv", 70, 3},   {"Vertex3dv", 71, 6},   {"Vertex4fv", 74, 4},
    {"ShadeModel", 104, 1}, {"Viewport", 191, 4},
};

// Single requests: xGLXSingleReq {u8 request type, u8 opcode, u16 length in
// 4-byte units, u32 context tag}, parameters at +8.
inline const RequestRow kSingle[] = {
    {"FeedbackBuffer", 105, 2},  // size, type
    {"SelectBuffer", 106, 1},    // size
    {"RenderMode", 107, 1},      // mode
    {"Finish", 108, 0},         {"GetError", 115, 0}, {"Flush", 142, 0},
};

// The X major opcode a client puts in the request type byte (any value: the
// server does not read it).
constexpr std::uint8_t kMajorOpcode = 0x80;

inline std::uint32_t F(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

inline const RequestRow& Row(const RequestRow* begin, const RequestRow* end, const char* name) {
    for (const RequestRow* r = begin; r != end; ++r)
        if (std::string(r->name) == name) return *r;
    throw std::invalid_argument(std::string("no GLX request ") + name);
}
inline const RequestRow& RenderRow(const char* name) {
    return Row(std::begin(kRender), std::end(kRender), name);
}
inline const RequestRow& SingleRow(const char* name) {
    return Row(std::begin(kSingle), std::end(kSingle), name);
}

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, static_cast<std::uint16_t>(v));
    Put16(b, static_cast<std::uint16_t>(v >> 16));
}

// A render command with any length and opcode, for malformed streams.
inline Bytes RawRender(std::uint16_t length, std::uint16_t opcode,
                       std::initializer_list<std::uint32_t> words = {}) {
    Bytes b;
    Put16(b, length);
    Put16(b, opcode);
    for (std::uint32_t w : words) Put32(b, w);
    return b;
}

// A well-formed render command; the words must match the request's layout.
inline Bytes Render(const char* name, std::initializer_list<std::uint32_t> words = {}) {
    const RequestRow& r = RenderRow(name);
    if (words.size() != r.words) throw std::invalid_argument(std::string("arguments of ") + name);
    return RawRender(static_cast<std::uint16_t>(4 + 4 * r.words), r.opcode, words);
}

// A render command in large form: the inline part {u32 length, u32 opcode,
// the inline words}; the rest of its data goes out of line.
inline Bytes RenderLarge(std::uint32_t opcode, std::initializer_list<std::uint32_t> words = {},
                         std::uint32_t length = 0) {
    Bytes b;
    Put32(b, length != 0 ? length : static_cast<std::uint32_t>(8 + 4 * words.size()));
    Put32(b, opcode);
    for (std::uint32_t w : words) Put32(b, w);
    return b;
}

// A single request with its context tag.
inline Bytes Single(const char* name, std::initializer_list<std::uint32_t> words = {},
                    std::uint32_t contextTag = 0) {
    const RequestRow& r = SingleRow(name);
    if (words.size() != r.words) throw std::invalid_argument(std::string("parameters of ") + name);
    Bytes b;
    b.push_back(kMajorOpcode);
    b.push_back(static_cast<std::uint8_t>(r.opcode));
    Put16(b, static_cast<std::uint16_t>(2 + r.words));
    Put32(b, contextTag);
    for (std::uint32_t w : words) Put32(b, w);
    return b;
}

// Commands one after another, as a client fills a half.
inline Bytes Stream(std::initializer_list<Bytes> commands) {
    Bytes b;
    for (const Bytes& c : commands) b.insert(b.end(), c.begin(), c.end());
    return b;
}

// The 32-byte single reply: {u8 type (1 reply, 0 error), u8 error code, u16
// sequence, u32 length in 4-byte units, u32 retval, u32 size, then words at
// +16 .. +28}.
struct Reply {
    std::uint8_t type;
    std::uint8_t errorCode;
    std::uint16_t sequence;
    std::uint32_t length;
    std::uint32_t retval;
    std::uint32_t size;
    std::uint32_t word16;
};

inline Reply ReadReply(const std::uint8_t* p) {
    auto w = [p](int off) {
        return static_cast<std::uint32_t>(p[off] | p[off + 1] << 8 | p[off + 2] << 16) |
               static_cast<std::uint32_t>(p[off + 3]) << 24;
    };
    return Reply{p[0],  p[1], static_cast<std::uint16_t>(p[2] | p[3] << 8), w(4), w(8),
                 w(12), w(16)};
}

}  // namespace glx
