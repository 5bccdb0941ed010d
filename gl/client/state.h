// The state entry points (state.def): each call is one GLX render command
// appended to the thread's current half, its arguments written in the
// order and sizes of the request's layout in include/glrequests.def. The
// entry point's C parameters give the values in call order; vector forms
// read them from the caller's arrays. Where a layout mixes doubles with
// 4-byte values the doubles go first, the rest in call order; the encoder
// checks at compile time that the parameters and the layout agree.
// Requests that carry as many values as their parameter name takes count
// them with a size rule of sizerules.h and copy them in one block.
#pragma once

#include <cstddef>
#include <cstring>
#include <tuple>
#include <type_traits>

#include "batch.h"
#include "clt.h"
#include "glentries.h"
#include "sizerules.h"
#include "statecopy.h"
#include "vertex.h"

namespace st {

// What a state call does while a primitive batch is open.
enum class Inside {
    REFUSED,  // records GL_INVALID_OPERATION, sends nothing
    LET,      // the open primitive goes on as plain commands, the call among them
};

// The size rule of a request with a variable part (a function of
// sizerules.h); FIXED for none.
inline constexpr std::nullptr_t FIXED = nullptr;

// The common path of a state call: closes a kept-open primitive and answers
// the thread's block when the command is to be sent; null when the thread
// has no render buffer or an open batch refuses the call (its error then
// recorded unless one is already).
ThreadBlock* pStateBlock(Inside inside);

// --- layouts and parameters --------------------------------------------------------
template <class T>
using Elem = std::remove_cv_t<std::remove_pointer_t<T>>;

// The layout letter of a C value type.
template <class T>
constexpr char WireType() {
    using U = Elem<T>;
    if constexpr (std::is_same_v<U, double>) return 'd';
    else if constexpr (std::is_same_v<U, float>) return 'f';
    else if constexpr (std::is_integral_v<U> && sizeof(U) == 4) return 'i';
    else if constexpr (std::is_integral_v<U> && sizeof(U) == 2) return 's';
    else if constexpr (std::is_integral_v<U> && sizeof(U) == 1) return 'b';
    else return '?';
}

// A run of value types, one letter a value.
struct Types {
    char t[40];
    unsigned n;
    constexpr bool operator==(const Types& o) const {
        if (n != o.n) return false;
        for (unsigned k = 0; k < n; ++k)
            if (t[k] != o.t[k]) return false;
        return true;
    }
};

// A layout of include/glrequests.def as one letter a value ("2di" is d d i).
constexpr Types Expand(const char* layout) {
    Types r{};
    for (const char* p = layout; *p != '\0';) {
        unsigned n = 0;
        while (*p >= '0' && *p <= '9') n = n * 10 + static_cast<unsigned>(*p++ - '0');
        if (n == 0) n = 1;
        const char c = *p++;
        for (unsigned k = 0; k < n && r.n < sizeof r.t; ++k) r.t[r.n++] = c;
    }
    return r;
}

template <unsigned kOpcode>
inline constexpr GLXRenderRow kRowOf = vtx::RowOf(kOpcode);

// The values each array parameter gives: the layout's values the scalars
// leave, shared evenly by the arrays. A counted request's one array is its
// variable part, outside the layout.
template <unsigned kOpcode, bool kCounted, class... A>
constexpr unsigned ArrayCount() {
    constexpr unsigned cPointers = (0u + ... + (std::is_pointer_v<A> ? 1u : 0u));
    constexpr unsigned cScalars = sizeof...(A) - cPointers;
    if constexpr (cPointers == 0 || kCounted) return 0;
    else return (Expand(kRowOf<kOpcode>.layout).n - cScalars) / cPointers;
}

// The parameters' values in wire order: doubles first, then the others,
// each group in call order.
template <unsigned kOpcode, bool kCounted, class... A>
constexpr Types WireOrder() {
    constexpr unsigned c = ArrayCount<kOpcode, kCounted, A...>();
    Types r{};
    for (const bool bDoubles : {true, false}) {
        [[maybe_unused]] auto add = [&]<class T>() {
            const unsigned n = std::is_pointer_v<T> ? c : 1;
            if ((WireType<T>() == 'd') != bDoubles) return;
            for (unsigned k = 0; k < n && r.n < sizeof r.t; ++k) r.t[r.n++] = WireType<T>();
        };
        (add.template operator()<A>(), ...);
    }
    return r;
}

// Writes one parameter's values at pj + *poff when its group is the one
// being written.
template <class T>
void vPut(BYTE* pj, unsigned* poff, bool bDoubles, unsigned cArray, T a) {
    if ((WireType<T>() == 'd') != bDoubles) return;
    if constexpr (std::is_pointer_v<T>) {
        const unsigned cj = cArray * sizeof(Elem<T>);
        std::memcpy(pj + *poff, a, cj);
        *poff += cj;
    } else {
        std::memcpy(pj + *poff, &a, sizeof a);
        *poff += sizeof a;
    }
}

// Appends the command of kOpcode with the call's arguments.
template <unsigned kOpcode, auto kCount = FIXED, class... A>
void Send(ThreadBlock* ptb, A... a) {
    constexpr GLXRenderRow kRow = kRowOf<kOpcode>;
    constexpr bool kCounted = !std::is_null_pointer_v<decltype(kCount)>;
    static_assert(kRow.opcode == kOpcode, "a request of include/glrequests.def");
    static_assert((kRow.variable == GLXVariable::PNAME) == kCounted,
                  "a counted request has its size rule");
    static_assert(WireOrder<kOpcode, kCounted, A...>() == Expand(kRow.layout),
                  "the entry point's parameters are the request's layout");
    [[maybe_unused]] constexpr unsigned cArray = ArrayCount<kOpcode, kCounted, A...>();
    BYTE body[4 + 8 * 16];
    unsigned off = 0;
    for ([[maybe_unused]] const bool bDoubles : {true, false})
        (vPut(body, &off, bDoubles, cArray, a), ...);
    if constexpr (kCounted) {
        // the parameter name is the last fixed argument, the values follow it
        static_assert(sizeof...(A) >= 2 &&
                      std::is_pointer_v<std::tuple_element_t<sizeof...(A) - 1, std::tuple<A...>>>);
        using V = Elem<std::tuple_element_t<sizeof...(A) - 1, std::tuple<A...>>>;
        static_assert(sizeof(V) == GLXParamValueBytes(kRow), "the values are the request's");
        const auto args = std::make_tuple(a...);
        const std::uint32_t n =
            kCount(static_cast<std::uint32_t>(std::get<sizeof...(A) - 2>(args)));
        const unsigned cjValues = n * sizeof(V);
        if (cjValues > sizeof body - kRow.cjFixed) return;  // no rule counts that many
        if (cjValues != 0)
            std::memcpy(body + kRow.cjFixed, std::get<sizeof...(A) - 1>(args), cjValues);
        vtx::vAppend(ptb, kOpcode, 4 + kRow.cjFixed + cjValues, body, kRow.cjFixed + cjValues);
    } else {
        vtx::vAppend(ptb, kOpcode, 4 + kRow.cjFixed, body, off);
    }
}

// --- the encoders ------------------------------------------------------------------
// The encoder of each request of state.def; others have none here.
template <unsigned kOpcode>
struct RequestEncoder {
    static constexpr bool kBuilt = false;
};

template <unsigned kOpcode, Inside kInside, auto kCount>
struct StateEncoder {
    static constexpr bool kBuilt = true;
    template <class... A>
    static void call(A... a) {
        if (ThreadBlock* ptb = pStateBlock(kInside)) Send<kOpcode, kCount>(ptb, a...);
    }
};

#define CLT_STATE_REQUEST(request, inside, count) \
    template <>                                   \
    struct RequestEncoder<X_GLrop_##request>      \
        : StateEncoder<X_GLrop_##request, Inside::inside, count> {};
#define CLT_STATE_KEPT(request, fn)                                             \
    template <>                                                                 \
    struct RequestEncoder<X_GLrop_##request> {                                  \
        static constexpr bool kBuilt = true;                                    \
        template <class... A>                                                   \
        static void call(A... a) {                                              \
            if (ThreadBlock* ptb = pStateBlock(Inside::REFUSED)) fn(ptb, a...); \
        }                                                                       \
    };
#include "state.def"
#undef CLT_STATE_REQUEST
#undef CLT_STATE_KEPT

}  // namespace st
