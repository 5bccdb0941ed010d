// The GL 1.0 requests of the GLX protocol as constants and rows, all made
// from include/glrequests.def: the opcodes (X_GLrop_<name>, X_GLsop_<name>,
// X_GLX<name>), and for every render request its name, argument layout,
// fixed body size and behaviour in each dispatch state. Plain C++, shared by
// the GL server and the client side that encodes the same requests.
#pragma once

#include <cstddef>
#include <cstdint>

// --- opcodes -----------------------------------------------------------------------
#define GLX_REQ_OPCODE_RENDER(name, opcode, ...) inline constexpr unsigned X_GLrop_##name = opcode##u;
#define GLX_RENDER_REQUEST GLX_REQ_OPCODE_RENDER
#define GLX_RENDER_PRIVATE GLX_REQ_OPCODE_RENDER
#define GLX_SINGLE_REQUEST(name, opcode) inline constexpr unsigned X_GLsop_##name = opcode##u;
#define GLX_REQUEST(name, opcode) inline constexpr unsigned X_GLX##name = opcode##u;
#include "glrequests.def"
#undef GLX_REQ_OPCODE_RENDER

// --- what a row says -----------------------------------------------------------------
enum class GLXVariable : std::uint8_t { NONE, PNAME, LIST, IMAGE, MAP, MAPSIZE };
enum class GLXOutside : std::uint8_t { HANDLER, IGNORE, REFUSED, PRIVATE };
enum class GLXBeginEnd : std::uint8_t { REFUSED, VERTEX, EVAL, CALL, END };
enum class GLXInList : std::uint8_t { STORE, BEGIN, END, RUN };
enum class GLXVertex : std::uint8_t { NONE, PACKET };

// Bytes of a layout's arguments, padded to a whole word (see the .def);
// ~0u for a layout with a type it does not know.
constexpr std::uint32_t GLXLayoutBytes(const char* layout) {
    std::uint32_t cj = 0;
    for (const char* p = layout; *p != '\0';) {
        std::uint32_t n = 0;
        while (*p >= '0' && *p <= '9') n = n * 10 + static_cast<std::uint32_t>(*p++ - '0');
        if (n == 0) n = 1;
        switch (*p++) {
            case 'b': cj += n; break;
            case 's': cj += 2 * n; break;
            case 'i':
            case 'f': cj += 4 * n; break;
            case 'd': cj += 8 * n; break;
            case 'P': cj += 20 * n; break;
            default: return ~0u;
        }
    }
    return (cj + 3) & ~3u;
}

struct GLXRenderRow {
    std::uint16_t opcode;
    const char* name;       // "X_GLrop_<name>"
    const char* layout;
    std::uint32_t cjFixed;  // the layout's bytes: what the request always carries
    GLXVariable variable;
    GLXOutside outside;
    GLXBeginEnd beginEnd;
    GLXInList list;
    GLXVertex vertex;
};

inline constexpr GLXRenderRow kGLXRenderRows[] = {
#define GLX_RENDER_REQUEST(name, opcode, layout, variable, outside, beginEnd, list, vertex)               \
    {opcode, "X_GLrop_" #name, layout, GLXLayoutBytes(layout), GLXVariable::variable, GLXOutside::outside, \
     GLXBeginEnd::beginEnd, GLXInList::list, GLXVertex::vertex},
#define GLX_RENDER_PRIVATE(name, opcode, layout, variable)                                                 \
    {opcode, "X_GLrop_" #name, layout, GLXLayoutBytes(layout), GLXVariable::variable, GLXOutside::PRIVATE, \
     GLXBeginEnd::REFUSED, GLXInList::STORE, GLXVertex::NONE},
#include "glrequests.def"
};

struct GLXRequestRow {
    std::uint16_t opcode;
    const char* name;  // "X_GLsop_<name>" or "X_GLX<name>"
};
inline constexpr GLXRequestRow kGLXSingleRows[] = {
#define GLX_SINGLE_REQUEST(name, opcode) {opcode, "X_GLsop_" #name},
#include "glrequests.def"
};
inline constexpr GLXRequestRow kGLXRequestRows[] = {
#define GLX_REQUEST(name, opcode) {opcode, "X_GLX" #name},
#include "glrequests.def"
};

// The row of a render opcode, or null when no request has it.
constexpr const GLXRenderRow* GLXRenderRowOf(unsigned opcode) {
    for (const GLXRenderRow& r : kGLXRenderRows)
        if (r.opcode == opcode) return &r;
    return nullptr;
}

// The fixed body of a render opcode; ~0u when no request has it.
constexpr std::uint32_t GLXFixedBody(unsigned opcode) {
    for (const GLXRenderRow& r : kGLXRenderRows)
        if (r.opcode == opcode) return r.cjFixed;
    return ~0u;
}

// Every layout is one the size rule knows, and opcodes are unique.
static_assert([] {
    constexpr std::size_t n = sizeof kGLXRenderRows / sizeof kGLXRenderRows[0];
    for (std::size_t i = 0; i < n; ++i) {
        if (kGLXRenderRows[i].cjFixed == ~0u) return false;
        for (std::size_t j = 0; j < i; ++j)
            if (kGLXRenderRows[j].opcode == kGLXRenderRows[i].opcode) return false;
    }
    return true;
}());
