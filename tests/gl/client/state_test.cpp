// The state entry points against the real server: every one's render
// command byte for byte beside the tests' own GLX encoder, the counted
// vector forms, the calls refused or let through inside an open batch, the
// client's copy of selected state (repeated calls dropped, and sent again
// after a change or a glPopAttrib), and the state the server holds after
// the calls, read back with its own queries.
#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <set>
#include <string>
#include <tuple>

#include "client_fixture.h"
#include "gl/glx/glx_encoder.h"
#include "sizerules.h"
#include "statecopy.h"

namespace {

using glclt_test::ClientTest;
using glclt_test::CurrentContextTest;
using glclt_test::Cmd;

const GLDispatchTable& Gl() { return gGLCltProcTable.glDispatchTable; }


class StateTest : public CurrentContextTest {
  protected:
    std::vector<unsigned> Opcodes() const {
        std::vector<unsigned> ops;
        for (const Cmd& c : Commands()) ops.push_back(c.opcode);
        return ops;
    }
    // The server's values of a parameter (glGetFloatv).
    std::vector<float> Server(ULONG pname) { return glclt_test::Get(ptb_, pname); }

};

// --- the expected image of a command, by the published layout -------------------------
template <class T>
constexpr char Letter() {
    using U = std::remove_cv_t<std::remove_pointer_t<T>>;
    if constexpr (std::is_same_v<U, double>) return 'd';
    else if constexpr (std::is_same_v<U, float>) return 'f';
    else if constexpr (sizeof(U) == 4) return 'i';
    else if constexpr (sizeof(U) == 2) return 's';
    else return 'b';
}

// The published layout as one letter a value.
std::string Letters(const char* args) {
    std::string s;
    for (const char* p = args; *p != '\0';) {
        int n = 0;
        while (std::isdigit(static_cast<unsigned char>(*p))) n = n * 10 + (*p++ - '0');
        s.append(n == 0 ? 1 : n, *p++);
    }
    return s;
}

// One value of a call: its layout letter and bytes.
struct Value {
    char letter;
    std::vector<std::uint8_t> bytes;
};

// The k-th test value of a type: distinct, not a whole number for floats.
template <class T>
T TestValue(int k) {
    if constexpr (std::is_floating_point_v<T>)
        return static_cast<T>(k * 3 - 7) + static_cast<T>(0.25);
    else return static_cast<T>(k * 3 - 7);
}

template <class P>
struct Arg {
    using Raw = std::remove_cv_t<std::remove_pointer_t<P>>;
    using E = std::conditional_t<std::is_void_v<Raw>, std::uint8_t, Raw>;
    E v[16];
    P get() {
        if constexpr (std::is_pointer_v<P>) return v;
        else return v[0];
    }
};

// Calls an entry point with test values, each array parameter giving
// cArray of them, and answers the values in call order.
template <class R, class... P>
std::vector<Value> CallWithValues(R (*fn)(P...), int cArray) {
    std::tuple<Arg<P>...> args;
    std::vector<Value> values;
    int k = 0;
    std::apply(
        [&](auto&... a) {
            [[maybe_unused]] auto fill = [&](auto& arg) {
                using A = std::remove_reference_t<decltype(arg)>;
                const int n = std::is_pointer_v<decltype(arg.get())> ? cArray : 1;
                for (int j = 0; j < n; ++j) {
                    arg.v[j] = TestValue<typename A::E>(k++);
                    const auto* pb = reinterpret_cast<const std::uint8_t*>(&arg.v[j]);
                    values.push_back({Letter<typename A::E>(),
                                      std::vector<std::uint8_t>(pb, pb + sizeof arg.v[j])});
                }
            };
            (fill(a), ...);
        },
        args);
    std::apply([&](auto&... a) { fn(a.get()...); }, args);
    return values;
}

template <class R, class... P>
constexpr int Pointers(R (*)(P...)) {
    return (0 + ... + (std::is_pointer_v<P> ? 1 : 0));
}
template <class R, class... P>
constexpr int Params(R (*)(P...)) {
    return sizeof...(P);
}

struct StateCase {
    const char* name;
    const char* request;
    std::function<std::vector<Value>(int)> call;  // values per array
    int pointers, params;
};

// The entry points of every state request.
std::vector<StateCase> StateEntries() {
    std::set<std::string> requests;
#define CLT_STATE_REQUEST(request, inside, count) requests.insert(#request);
#define CLT_STATE_KEPT(request, fn) requests.insert(#request);
#include "state.def"
#undef CLT_STATE_REQUEST
#undef CLT_STATE_KEPT
    std::vector<StateCase> v;
#define GL_ENTRY(name, kind, request, ret, params, args)                                       \
    if (requests.count(#request) != 0)                                                         \
        v.push_back({"gl" #name, #request, [](int c) { return CallWithValues(Gl().name, c); }, \
                     Pointers(Gl().name), Params(Gl().name)});
#include "glentries.def"
    return v;
}

// Every state entry point of a fixed-length request sends the command the
// published layout gives its values: doubles first where they mix with
// 4-byte values, the rest in call order, pad bytes zero.
TEST_F(StateTest, EveryFixedEntryPointSendsThePublishedRenderCommand) {
    int cFixed = 0;
    for (const StateCase& e : StateEntries()) {
        const glx::RenderLayout& l = glx::RenderRow(e.request);
        if (l.variable) continue;
        ++cFixed;
        SCOPED_TRACE(e.name);
        const std::string letters = Letters(l.args);
        const int cArray =
            e.pointers == 0 ? 0 : (int(letters.size()) - (e.params - e.pointers)) / e.pointers;
        Fresh();
        const std::vector<Value> values = e.call(cArray);
        glx::Bytes body;
        std::string got;
        for (const bool bDoubles : {true, false})
            for (const Value& v : values)
                if ((v.letter == 'd') == bDoubles) {
                    body.insert(body.end(), v.bytes.begin(), v.bytes.end());
                    got += v.letter;
                }
        EXPECT_EQ(got, letters) << "the call's values fill the published layout";
        const std::vector<Cmd> cmds = Commands();
        ASSERT_EQ(cmds.size(), 1u);
        EXPECT_EQ(cmds[0].bytes, glx::RenderRequest(l.opcode, glx::BodyBytes(l.args), body));
    }
    EXPECT_EQ(cFixed, 124) << "every fixed state entry point was called";
}

// Commands whose layout mixes sizes or reorders the call's values, written
// out byte for byte.
TEST_F(StateTest, CommandImages) {
    const double d[4] = {0.5, -1.5, 2.5, 3.5};
    const struct {
        const char* what;
        std::function<void()> call;
        glx::Bytes want;
    } cases[] = {
        {"Rects", [] { Gl().Rects(1, 2, 3, 4); }, glx::RawRender(12, 48, {0x00020001, 0x00040003})},
        {"MapGrid2d", [] { Gl().MapGrid2d(4, 0.0, 1.0, 8, 0.0, 1.0); },
         [] {
             glx::Bytes b;
             glx::Put16(b, 44);
             glx::Put16(b, 149);
             for (double x : {0.0, 1.0, 0.0, 1.0}) {
                 std::uint8_t w[8];
                 std::memcpy(w, &x, 8);
                 b.insert(b.end(), w, w + 8);
             }
             glx::Put32(b, 4);
             glx::Put32(b, 8);
             return b;
         }()},
        {"TexGend", [] { Gl().TexGend(GL_S, GL_TEXTURE_GEN_MODE, 2.0); },
         [] {
             glx::Bytes b;
             glx::Put16(b, 20);
             glx::Put16(b, 115);
             const double x = 2.0;
             std::uint8_t w[8];
             std::memcpy(w, &x, 8);
             b.insert(b.end(), w, w + 8);
             glx::Put32(b, GL_S);
             glx::Put32(b, GL_TEXTURE_GEN_MODE);
             return b;
         }()},
        {"ClipPlane", [&] { Gl().ClipPlane(0x3000, d); },
         [&] {
             glx::Bytes b;
             glx::Put16(b, 40);
             glx::Put16(b, 77);
             const auto* p = reinterpret_cast<const std::uint8_t*>(d);
             b.insert(b.end(), p, p + 32);
             glx::Put32(b, 0x3000);
             return b;
         }()},
        {"LineStipple", [] { Gl().LineStipple(3, 0xABCD); }, glx::RawRender(12, 94, {3, 0xABCD})},
        {"ColorMask", [] { Gl().ColorMask(1, 0, 1, 1); }, glx::RawRender(8, 134, {0x01010001})},
        {"DepthMask", [] { Gl().DepthMask(1); }, glx::RawRender(8, 135, {1})},
        {"Enable(COLOR_LOGIC_OP)", [] { Gl().Enable(CLT_GL_COLOR_LOGIC_OP); },
         glx::Render("Enable", {GL_LOGIC_OP})},
        {"Disable(COLOR_LOGIC_OP)", [] { Gl().Disable(CLT_GL_COLOR_LOGIC_OP); },
         glx::Render("Disable", {GL_LOGIC_OP})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        c.call();
        const std::vector<Cmd> cmds = Commands();
        ASSERT_EQ(cmds.size(), 1u);
        EXPECT_EQ(cmds[0].bytes, c.want);
    }
}

// The counted vector forms carry as many values as the published protocol
// gives their parameter name; a name it does not give sends none.
TEST_F(StateTest, CountedVectorFormsCarryTheirParameterValues) {
    const float f[4] = {0.25f, -2.0f, 3.5f, 4.0f};
    const GLint i[4] = {7, -8, 9, 10};
    const GLdouble d[4] = {0.5, -1.5, 2.5, 3.5};
    const struct {
        const char* request;  // published name
        const char* family;   // for the count
        std::vector<ULONG> fixed;
        std::function<void(const std::vector<ULONG>&)> call;
        int cjValue;
        const void* values;
    } cases[] = {
        {"Fogfv", "Fog", {GL_FOG_COLOR}, [&](auto& w) { Gl().Fogfv(w[0], f); }, 4, f},
        {"Fogiv", "Fog", {GL_FOG_DENSITY}, [&](auto& w) { Gl().Fogiv(w[0], i); }, 4, i},
        {"Fogiv", "Fog", {GL_LIGHT0}, [&](auto& w) { Gl().Fogiv(w[0], i); }, 4, i},
        {"Lightfv",
         "Light",
         {GL_LIGHT0, GL_POSITION},
         [&](auto& w) { Gl().Lightfv(w[0], w[1], f); },
         4,
         f},
        {"Lightfv",
         "Light",
         {GL_LIGHT0, GL_SPOT_EXPONENT},
         [&](auto& w) { Gl().Lightfv(w[0], w[1], f); },
         4,
         f},
        {"Lightiv",
         "Light",
         {GL_LIGHT0, 0x1204},
         [&](auto& w) { Gl().Lightiv(w[0], w[1], i); },
         4,
         i},
        {"LightModelfv",
         "LightModel",
         {GL_LIGHT_MODEL_AMBIENT},
         [&](auto& w) { Gl().LightModelfv(w[0], f); },
         4,
         f},
        {"LightModeliv",
         "LightModel",
         {0x0B52},
         [&](auto& w) { Gl().LightModeliv(w[0], i); },
         4,
         i},
        {"Materialfv",
         "Material",
         {GL_FRONT, 0x1603},
         [&](auto& w) { Gl().Materialfv(w[0], w[1], f); },
         4,
         f},
        {"Materialiv",
         "Material",
         {GL_FRONT, GL_AMBIENT},
         [&](auto& w) { Gl().Materialiv(w[0], w[1], i); },
         4,
         i},
        {"TexParameterfv",
         "TexParameter",
         {GL_TEXTURE_2D, 0x1004},
         [&](auto& w) { Gl().TexParameterfv(w[0], w[1], f); },
         4,
         f},
        {"TexParameteriv",
         "TexParameter",
         {GL_TEXTURE_2D, 0x2801},
         [&](auto& w) { Gl().TexParameteriv(w[0], w[1], i); },
         4,
         i},
        {"TexParameteriv",
         "TexParameter",
         {GL_TEXTURE_2D, 0x2201},
         [&](auto& w) { Gl().TexParameteriv(w[0], w[1], i); },
         4,
         i},
        {"TexEnvfv",
         "TexEnv",
         {GL_TEXTURE_ENV, 0x2201},
         [&](auto& w) { Gl().TexEnvfv(w[0], w[1], f); },
         4,
         f},
        {"TexEnviv",
         "TexEnv",
         {GL_TEXTURE_ENV, 0x2200},
         [&](auto& w) { Gl().TexEnviv(w[0], w[1], i); },
         4,
         i},
        {"TexGendv",
         "TexGen",
         {GL_S, GL_OBJECT_PLANE},
         [&](auto& w) { Gl().TexGendv(w[0], w[1], d); },
         8,
         d},
        {"TexGenfv",
         "TexGen",
         {GL_S, 0x2502},
         [&](auto& w) { Gl().TexGenfv(w[0], w[1], f); },
         4,
         f},
        {"TexGeniv",
         "TexGen",
         {GL_S, GL_TEXTURE_GEN_MODE},
         [&](auto& w) { Gl().TexGeniv(w[0], w[1], i); },
         4,
         i},
    };
    std::set<std::string> seen;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.request) + " " + std::to_string(c.fixed.back()));
        seen.insert(c.request);
        Fresh();
        c.call(c.fixed);
        const glx::RenderLayout& l = glx::RenderRow(c.request);
        const std::uint32_t n = glx::ParamValues(c.family, c.fixed.back());
        glx::Bytes body;
        for (ULONG w : c.fixed) glx::Put32(body, w);
        const auto* pv = static_cast<const std::uint8_t*>(c.values);
        body.insert(body.end(), pv, pv + n * c.cjValue);
        const std::vector<Cmd> cmds = Commands();
        ASSERT_EQ(cmds.size(), 1u);
        EXPECT_EQ(cmds[0].bytes, glx::RenderRequest(l.opcode, std::uint32_t(body.size()), body));
    }
    EXPECT_EQ(seen.size(), 15u);
    // the lengths of the common cases
    Fresh();
    Gl().Lightfv(GL_LIGHT0, GL_POSITION, f);
    Gl().Lightfv(GL_LIGHT0, GL_SPOT_EXPONENT, f);
    Gl().Fogiv(GL_LIGHT0, i);
    Gl().TexGendv(GL_S, GL_OBJECT_PLANE, d);
    std::vector<size_t> sizes;
    for (const Cmd& c : Commands()) sizes.push_back(c.bytes.size());
    EXPECT_EQ(sizes, (std::vector<size_t>{28, 16, 8, 44}));
}

// --- inside glBegin/glEnd -----------------------------------------------------------------
bool LetThrough(const std::string& request) {
    return request.rfind("Material", 0) == 0 || request.rfind("Eval", 0) == 0;
}

// Inside an open batch every state call but the material and evaluator
// ones sends nothing and records GL_INVALID_OPERATION; an error already
// recorded stays; the client's copy does not change.
TEST_F(StateTest, StateCallsInsideABatchAreRefused) {
    int cRefused = 0;
    for (const StateCase& e : StateEntries()) {
        if (LetThrough(e.request)) continue;
        ++cRefused;
        SCOPED_TRACE(e.name);
        Fresh();
        Gl().Begin(GL_TRIANGLES);
        ASSERT_EQ(cc_->batching, 1u);
        Gl().Vertex2f(0, 0);
        const ULONG valid = cc_->cacheValid, enables = cc_->cacheEnables,
                    mask = cc_->pushedAttribMask;
        cc_->error = 0;
        e.call(16);
        EXPECT_EQ(cc_->error, GL_INVALID_OPERATION);
        cc_->error = 0x0501;
        e.call(16);
        EXPECT_EQ(cc_->error, 0x0501u) << "the first error sticks";
        EXPECT_EQ(cc_->cacheValid, valid);
        EXPECT_EQ(cc_->cacheEnables, enables);
        EXPECT_EQ(cc_->pushedAttribMask, mask);
        EXPECT_EQ(cc_->batching, 1u);
        Gl().Vertex2f(1, 0);
        Gl().Vertex2f(1, 1);
        Gl().End();
        Gl().EdgeFlag(1);  // closes the kept-open batch
        EXPECT_EQ(Opcodes(), (std::vector<unsigned>{X_GLrop_PrimitiveZYD, X_GLrop_EdgeFlagv}))
            << "nothing but the batch";
        cc_->error = 0;
    }
    EXPECT_EQ(cRefused, 139 - 16);
}

// glRasterPos inside a batched primitive is refused; the server sees no
// error of it and the primitive draws whole.
TEST_F(StateTest, RefusedCallReachesTheApplicationThroughTheClientError) {
    Fresh();
    Gl().Begin(GL_POINTS);
    Gl().Vertex2f(0, 0);
    Gl().RasterPos2f(0.5f, 0.5f);
    Gl().Vertex2f(1, 0);
    Gl().End();
    EXPECT_EQ(cc_->error, GL_INVALID_OPERATION);
    Gl().RasterPos2f(0.25f, 0.25f);
    EXPECT_EQ(cc_->error, GL_INVALID_OPERATION);
    EXPECT_EQ(Opcodes(), (std::vector<unsigned>{X_GLrop_PrimitiveZYD, X_GLrop_RasterPos2fv}));
}

// A material or evaluator call inside a batched primitive turns it into
// plain commands: glBegin with the batch's mode, the vertices so far, the
// call, and the later vertices.
TEST_F(StateTest, MaterialAndEvaluatorCallsContinueThePrimitiveAsPlainCommands) {
    int cLet = 0;
    for (const StateCase& e : StateEntries()) {
        if (!LetThrough(e.request)) continue;
        ++cLet;
        SCOPED_TRACE(e.name);
        Fresh();
        Gl().Begin(GL_LINES);
        ASSERT_EQ(cc_->batching, 1u);
        Gl().Vertex2f(0, 0);
        Gl().Color3f(1, 0, 0);
        Gl().Vertex2f(1, 0);
        cc_->error = 0;
        e.call(16);
        EXPECT_EQ(cc_->error, 0u);
        EXPECT_EQ(cc_->batching, 0u);
        Gl().Vertex2f(2, 0);
        Gl().End();
        const unsigned op = glx::RenderRow(e.request).opcode;
        EXPECT_EQ(Opcodes(),
                  (std::vector<unsigned>{X_GLrop_Begin, X_GLrop_Vertex2fv, X_GLrop_Color3fv,
                                         X_GLrop_Vertex2fv, op, X_GLrop_Vertex2fv, X_GLrop_End}));
        const std::vector<Cmd> cmds = Commands();
        ULONG mode = 0;
        std::memcpy(&mode, cmds[0].bytes.data() + 4, 4);
        EXPECT_EQ(mode, GL_LINES);
    }
    EXPECT_EQ(cLet, 16);

    // in the small-primitive cache the cached vertices are replayed first
    cc_->shadeModel = GL_FLAT;
    Fresh();
    Gl().Begin(GL_POLYGON);
    ASSERT_EQ(ptb_->primState->smallCache, 1u);
    Gl().Vertex2f(0, 0);
    Gl().EvalCoord1f(0.5f);
    EXPECT_EQ(ptb_->primState->smallCache, 0u);
    Gl().Vertex2f(1, 0);
    Gl().Vertex2f(1, 1);
    Gl().End();
    Gl().EdgeFlag(1);
    const std::vector<unsigned> ops = Opcodes();
    ASSERT_GE(ops.size(), 3u);
    EXPECT_EQ(std::vector<unsigned>(ops.begin(), ops.begin() + 3),
              (std::vector<unsigned>{X_GLrop_Begin, X_GLrop_Vertex2fv, X_GLrop_EvalCoord1fv}))
        << "the cached vertex goes ahead of the call";
}

// Between glEnd and the next glBegin a state call first sends the batch
// kept open, so that it runs after the primitive on the server.
TEST_F(StateTest, StateCallAfterEndSendsThePrimitiveFirst) {
    Fresh();
    Gl().Begin(GL_TRIANGLES);
    for (int k = 0; k < 3; ++k) Gl().Vertex2f(k, k);
    Gl().End();
    EXPECT_EQ(ptb_->primState->endPending, 1u);
    Gl().LineWidth(3.0f);
    EXPECT_EQ(Opcodes(), (std::vector<unsigned>{X_GLrop_PrimitiveZYD, X_GLrop_LineWidth}));
}

// A thread without a render buffer sends nothing and records nothing.
TEST_F(StateTest, NoRenderBufferSendsNothing) {
    Fresh();
    SMSegmentHeader* half = ptb_->half;
    const ULONG at = half->writeOffset;
    ptb_->half = nullptr;
    Gl().ShadeModel(GL_FLAT);
    Gl().LineWidth(2.0f);
    Gl().Materialf(GL_FRONT, 0x1601, 2.0f);
    ptb_->half = half;
    EXPECT_EQ(half->writeOffset, at);
    EXPECT_EQ(cc_->error, 0u);
    EXPECT_EQ(cc_->shadeModel, GL_SMOOTH) << "the copy follows what was sent";
}

// --- the client's copy ------------------------------------------------------------------
TEST_F(StateTest, RepeatedCallsThatChangeNothingAreDropped) {
    const float c1[4] = {0.25f, 0.5f, 0.75f, 1.0f};
    const struct {
        const char* what;
        std::function<void()> first, again, other;
        unsigned opcode;
    } cases[] = {
        {"ShadeModel", [] { Gl().ShadeModel(GL_FLAT); }, [] { Gl().ShadeModel(GL_FLAT); },
         [] { Gl().ShadeModel(GL_SMOOTH); }, X_GLrop_ShadeModel},
        {"PointSize", [] { Gl().PointSize(3.0f); }, [] { Gl().PointSize(3.0f); },
         [] { Gl().PointSize(4.0f); }, X_GLrop_PointSize},
        {"ClearColor", [&] { Gl().ClearColor(c1[0], c1[1], c1[2], c1[3]); },
         [&] { Gl().ClearColor(c1[0], c1[1], c1[2], c1[3]); },
         [&] { Gl().ClearColor(c1[0], c1[1], c1[2], 0.5f); }, X_GLrop_ClearColor},
        // Each channel alone makes a change.
        {"ClearColor red", [&] { Gl().ClearColor(0.0f, c1[1], c1[2], c1[3]); },
         [&] { Gl().ClearColor(0.0f, c1[1], c1[2], c1[3]); },
         [&] { Gl().ClearColor(c1[0], c1[1], c1[2], c1[3]); }, X_GLrop_ClearColor},
        {"ClearColor green", [&] { Gl().ClearColor(c1[0], 0.0f, c1[2], c1[3]); },
         [&] { Gl().ClearColor(c1[0], 0.0f, c1[2], c1[3]); },
         [&] { Gl().ClearColor(c1[0], c1[1], c1[2], c1[3]); }, X_GLrop_ClearColor},
        {"ClearColor blue", [&] { Gl().ClearColor(c1[0], c1[1], 0.0f, c1[3]); },
         [&] { Gl().ClearColor(c1[0], c1[1], 0.0f, c1[3]); },
         [&] { Gl().ClearColor(c1[0], c1[1], c1[2], c1[3]); }, X_GLrop_ClearColor},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        c.first();
        c.again();
        EXPECT_EQ(Opcodes(), (std::vector<unsigned>{c.opcode})) << "sent once";
        Fresh();
        c.other();
        c.first();
        EXPECT_EQ(Opcodes(), (std::vector<unsigned>{c.opcode, c.opcode}))
            << "sent again after a change";
        // a pop of a group that may restore the value makes it unknown
        Fresh();
        Gl().PushAttrib(GL_POINT_BIT | GL_COLOR_BUFFER_BIT | GL_LIGHTING_BIT);
        Gl().PopAttrib();
        c.first();
        EXPECT_EQ(Opcodes(),
                  (std::vector<unsigned>{X_GLrop_PushAttrib, X_GLrop_PopAttrib, c.opcode}))
            << "sent again after a pop";
    }
    // Draw buffer and polygon mode are always sent.
    Fresh();
    Gl().DrawBuffer(GL_BACK);
    Gl().DrawBuffer(GL_BACK);
    Gl().PolygonMode(GL_FRONT, GL_FILL);
    Gl().PolygonMode(GL_FRONT, GL_FILL);
    Gl().Enable(GL_LIGHTING);
    Gl().Enable(GL_LIGHTING);
    EXPECT_EQ(Opcodes(),
              (std::vector<unsigned>{X_GLrop_DrawBuffer, X_GLrop_DrawBuffer, X_GLrop_PolygonMode,
                                     X_GLrop_PolygonMode, X_GLrop_Enable, X_GLrop_Enable}));
    // NaN is never equal to itself: sent every time
    Fresh();
    Gl().PointSize(NAN);
    Gl().PointSize(NAN);
    EXPECT_EQ(Opcodes().size(), 2u);
}

TEST_F(StateTest, PopAttribInvalidatesWhatItMayRestore) {
    // the colour buffer group with the lighting group: the shade model is sent again
    Fresh();
    Gl().PushAttrib(GL_COLOR_BUFFER_BIT | GL_LIGHTING_BIT);
    Gl().ShadeModel(GL_FLAT);
    Gl().PopAttrib();
    Gl().ShadeModel(GL_FLAT);
    EXPECT_EQ(Opcodes(), (std::vector<unsigned>{X_GLrop_PushAttrib, X_GLrop_ShadeModel,
                                                X_GLrop_PopAttrib, X_GLrop_ShadeModel}));
    EXPECT_EQ(cc_->pushedAttribMask, 0u);
    EXPECT_EQ(Server(0x0B54), (std::vector<float>{float(GL_FLAT)}));

    // the lighting group alone: the shade model and the lighting enable
    // become unknown, the mask stays
    Gl().Enable(GL_LIGHTING);
    Gl().Enable(GL_BLEND);
    Gl().PointSize(2.0f);
    Gl().PushAttrib(GL_LIGHTING_BIT);
    Gl().PopAttrib();
    EXPECT_EQ(cc_->cacheEnables & CLT_ENABLE_SHADE_MODEL, 0u);
    EXPECT_EQ(cc_->pushedAttribMask, GL_LIGHTING_BIT);
    GLboolean b = 0;
    EXPECT_FALSE(bCachedEnable(cc_, GL_LIGHTING, &b)) << "the pop may restore lighting";
    EXPECT_TRUE(bCachedEnable(cc_, GL_BLEND, &b));
    EXPECT_EQ(cc_->cacheValid & CLT_CACHE_POINT_SIZE, CLT_CACHE_POINT_SIZE);

    // the enable group alone: every kept enable becomes unknown
    Gl().Enable(GL_LIGHTING);
    Gl().Enable(GL_DEPTH_TEST);
    cc_->pushedAttribMask = 0;
    Gl().PushAttrib(GL_ENABLE_BIT);
    Gl().Disable(GL_LIGHTING);
    Gl().PopAttrib();
    for (GLenum cap : {GL_LIGHTING, GL_DEPTH_TEST, GL_BLEND})
        EXPECT_FALSE(bCachedEnable(cc_, cap, &b)) << cap;
    EXPECT_EQ(Server(GL_LIGHTING), (std::vector<float>{1.0f})) << "the pop restored lighting";
    EXPECT_EQ(cc_->cacheValid & CLT_CACHE_POINT_SIZE, CLT_CACHE_POINT_SIZE);
}

// A pop of an inner push leaves the outer push's groups able to restore
// values: the mask is kept until the stack is empty.
TEST_F(StateTest, NestedPushesKeepInvalidatingUntilTheStackIsEmpty) {
    Gl().PushAttrib(GL_LIGHTING_BIT);
    Gl().PushAttrib(GL_POINT_BIT);
    Gl().PopAttrib();
    Gl().ShadeModel(GL_FLAT);
    Gl().PopAttrib();  // restores GL_SMOOTH
    Fresh();
    Gl().ShadeModel(GL_FLAT);
    EXPECT_EQ(Opcodes(), (std::vector<unsigned>{X_GLrop_ShadeModel}));
    EXPECT_EQ(Server(0x0B54), (std::vector<float>{float(GL_FLAT)}));
    EXPECT_EQ(cc_->pushedAttribMask, 0u) << "the stack is empty again";
    EXPECT_EQ(cc_->attribDepth, 0u);

    // copying state into the context leaves its attribute stack as it is
    Gl().PushAttrib(GL_LIGHTING_BIT);    // pushes GL_FLAT
    DrvCopyContext(h_, h_, 0xFFFFFFFF);  // the client's copy goes whatever the server answers
    Gl().ShadeModel(GL_SMOOTH);
    Gl().PopAttrib();  // restores GL_FLAT
    Fresh();
    Gl().ShadeModel(GL_SMOOTH);
    EXPECT_EQ(Opcodes(), (std::vector<unsigned>{X_GLrop_ShadeModel}));
    EXPECT_EQ(Server(0x0B54), (std::vector<float>{float(GL_SMOOTH)}));
}

TEST_F(StateTest, CopyFollowsTheCalls) {
    GLint v[2] = {};
    EXPECT_EQ(CachedIntegers(cc_, GL_POLYGON_MODE, v), 2u) << "GL_FILL both, from creation";
    EXPECT_EQ(v[0], GLint(GL_FILL));
    EXPECT_EQ(CachedIntegers(cc_, GL_DRAW_BUFFER, v), 0u);
    EXPECT_EQ(CachedIntegers(cc_, GL_LIGHTING, v), 0u);

    Gl().PolygonMode(GL_BACK, GL_LINE);
    EXPECT_EQ(CachedIntegers(cc_, GL_POLYGON_MODE, v), 2u);
    EXPECT_EQ(v[0], GLint(GL_FILL));
    EXPECT_EQ(v[1], GLint(GL_LINE));
    Gl().PolygonMode(0x1234, 0x1B00);  // a bad face sets both
    CachedIntegers(cc_, GL_POLYGON_MODE, v);
    EXPECT_EQ(v[0], 0x1B00);
    EXPECT_EQ(v[1], 0x1B00);
    Gl().PolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    Gl().DrawBuffer(GL_FRONT);
    EXPECT_EQ(CachedIntegers(cc_, GL_DRAW_BUFFER, v), 1u);
    EXPECT_EQ(v[0], GLint(GL_FRONT));
    Gl().Enable(GL_DEPTH_TEST);
    EXPECT_EQ(CachedIntegers(cc_, GL_DEPTH_TEST, v), 1u);
    EXPECT_EQ(v[0], 1);
    Gl().Disable(GL_DEPTH_TEST);
    CachedIntegers(cc_, GL_DEPTH_TEST, v);
    EXPECT_EQ(v[0], 0);

    // a polygon with both modes GL_LINE takes the small cache, not quads
    Gl().Begin(GL_POLYGON);
    EXPECT_EQ(ptb_->primState->smallCache, 1u);
    for (int k = 0; k < 3; ++k) Gl().Vertex2f(k, 0);
    Gl().End();
    Gl().PolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    Gl().Begin(GL_POLYGON);
    EXPECT_EQ(ptb_->primState->smallCache, 0u);
    EXPECT_EQ(cc_->batchMode, GL_QUADS);
    for (int k = 0; k < 3; ++k) Gl().Vertex2f(k, 0);
    Gl().End();

    // copying a context into this one makes the copy unknown, whatever the
    // server answers
    DrvCopyContext(h_, h_, 0xFFFFFFFF);
    EXPECT_EQ(CachedIntegers(cc_, GL_POLYGON_MODE, v), 0u);
    GLboolean b = 0;
    EXPECT_FALSE(bCachedEnable(cc_, GL_DEPTH_TEST, &b));
}

// --- the server's state after the calls ---------------------------------------------------
TEST_F(StateTest, ServerHoldsWhatWasSet) {
    const GLfloat fog[4] = {0.25f, 0.5f, 0.75f, 1.0f};
    const GLfloat ambient[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    Gl().PointSize(3.0f);
    Gl().PointSize(3.0f);
    Gl().LineWidth(2.0f);
    Gl().ShadeModel(GL_FLAT);
    Gl().ShadeModel(GL_FLAT);
    Gl().ClearColor(0.25f, 0.5f, 0.75f, 1.0f);
    Gl().Fogfv(GL_FOG_COLOR, fog);
    Gl().Fogf(GL_FOG_DENSITY, 0.5f);
    Gl().LightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    Gl().CullFace(GL_FRONT);
    Gl().DepthFunc(0x0201);  // GL_LESS
    Gl().Scissor(1, 2, 30, 40);
    Gl().Viewport(3, 4, 50, 60);
    Gl().Enable(GL_LIGHTING);
    Gl().Enable(GL_BLEND);
    Gl().Disable(GL_BLEND);
    Gl().MatrixMode(0x1700);  // GL_MODELVIEW
    Gl().LoadIdentity();
    Gl().Translated(1.0, 2.0, 3.0);
    Gl().Scalef(2.0f, 2.0f, 2.0f);
    Gl().PushMatrix();
    Gl().Rotatef(90.0f, 0, 0, 1);
    Gl().PopMatrix();
    const struct {
        ULONG pname;
        std::vector<float> want;
    } cases[] = {
        {GL_POINT_SIZE, {3.0f}},
        {GL_LINE_WIDTH, {2.0f}},
        {0x0B54, {float(GL_FLAT)}},
        {GL_COLOR_CLEAR_VALUE, {0.25f, 0.5f, 0.75f, 1.0f}},
        {GL_FOG_COLOR, {0.25f, 0.5f, 0.75f, 1.0f}},
        {GL_FOG_DENSITY, {0.5f}},
        {GL_LIGHT_MODEL_AMBIENT, {0.1f, 0.2f, 0.3f, 0.4f}},
        {GL_CULL_FACE_MODE, {float(GL_FRONT)}},
        {GL_DEPTH_FUNC, {float(0x0201)}},
        {GL_SCISSOR_BOX, {1, 2, 30, 40}},
        {GL_VIEWPORT, {3, 4, 50, 60}},
        {GL_LIGHTING, {1}},
        {GL_BLEND, {0}},
        {0x0BA6, {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 1, 2, 3, 1}},
    };
    for (const auto& c : cases) EXPECT_EQ(Server(c.pname), c.want) << std::hex << c.pname;
}

// A texture call naming a parameter of another texture call goes with no
// values and the server refuses the name: the application reads
// GL_INVALID_ENUM, and the state stays as it was.
TEST_F(StateTest, TextureCallsRefuseTheOtherCallsNames) {
    const GLfloat f[4] = {0.5f, 0.5f, 0.5f, 0.5f};
    const GLint i[4] = {1, 1, 1, 1};
    const GLdouble d[4] = {0.5, 0.5, 0.5, 0.5};
    const struct {
        const char* call;
        std::function<void()> run;
    } cases[] = {
        {"TexParameterfv ENV_COLOR",
         [&] { Gl().TexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_ENV_COLOR, f); }},
        {"TexParameteriv EYE_PLANE", [&] { Gl().TexParameteriv(GL_TEXTURE_2D, GL_EYE_PLANE, i); }},
        {"TexEnvfv BORDER_COLOR",
         [&] { Gl().TexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_BORDER_COLOR, f); }},
        {"TexEnviv GEN_MODE", [&] { Gl().TexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_GEN_MODE, i); }},
        {"TexGendv ENV_COLOR", [&] { Gl().TexGendv(GL_S, GL_TEXTURE_ENV_COLOR, d); }},
        {"TexGenfv BORDER_COLOR", [&] { Gl().TexGenfv(GL_S, GL_TEXTURE_BORDER_COLOR, f); }},
        {"TexGeniv MIN_FILTER", [&] { Gl().TexGeniv(GL_T, GL_TEXTURE_MIN_FILTER, i); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        c.run();
        EXPECT_EQ(Gl().GetError(), GL_INVALID_ENUM);
        EXPECT_EQ(Gl().GetError(), GL_NO_ERROR);
    }
    GLfloat af[4] = {9, 9, 9, 9};
    Gl().GetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, af);
    EXPECT_EQ(std::vector<float>(af, af + 4), (std::vector<float>{0, 0, 0, 0}));
    Gl().TexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, f);
    Gl().GetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, af);
    EXPECT_EQ(Gl().GetError(), GL_NO_ERROR);
    EXPECT_EQ(std::vector<float>(af, af + 4), (std::vector<float>{0.5f, 0.5f, 0.5f, 0.5f}));
}

// --- the size rules ----------------------------------------------------------------------
TEST(SizeRules, ParameterCounts) {
    const struct {
        std::uint32_t (*rule)(std::uint32_t);
        const char* family;
    } rules[] = {
        {FogParamCount, "Fog"},
        {LightParamCount, "Light"},
        {LightModelParamCount, "LightModel"},
        {MaterialParamCount, "Material"},
        {TexEnvParamCount, "TexEnv"},
        {TexGenParamCount, "TexGen"},
        {TexParameterCount, "TexParameter"},
    };
    // every name up to the texture ones, against the published counts
    for (const auto& r : rules)
        for (std::uint32_t pname = 0x0B00; pname < 0x2900; ++pname)
            ASSERT_EQ(r.rule(pname), glx::ParamValues(r.family, pname))
                << r.family << " " << std::hex << pname;
    EXPECT_EQ(FogParamCount(GL_FOG_COLOR), 4u);
    EXPECT_EQ(FogParamCount(0x0B65), 1u);
    EXPECT_EQ(FogParamCount(GL_LIGHT0), 0u);
    EXPECT_EQ(MaterialParamCount(0x1603), 3u);
    EXPECT_EQ(LightParamCount(0x1204), 3u);
}

TEST(SizeRules, MapsListsAndImages) {
    for (std::uint32_t t = 0x0D80; t < 0x0DC0; ++t) {
        const bool bTarget = (t >= 0x0D90 && t <= 0x0D98) || (t >= 0x0DB0 && t <= 0x0DB8);
        EXPECT_EQ(MapTargetComponents(t), bTarget ? glx::MapComponents(t) : 0u) << std::hex << t;
    }
    for (std::uint32_t type = 0x1400; type < 0x140B; ++type)
        EXPECT_EQ(CallListsByteCount(5, type), 5 * glx::ListNameBytes(type)) << type;
    EXPECT_EQ(CallListsByteCount(5, GL_3_BYTES), 15u);
    EXPECT_EQ(CallListsByteCount(-1, 0x1400), 0u);
    EXPECT_EQ(CallListsByteCount(0x7FFFFFFF, GL_4_BYTES), 0u) << "past 32 bits";

    const struct {
        std::uint32_t alignment;
        std::int32_t w, h;
        std::uint32_t format, type, want;
    } send[] = {
        {4, 3, 2, GL_RGB, GL_UNSIGNED_BYTE, 24},
        {4, 3, 2, GL_RGB, GL_FLOAT, 72},
        {1, 10, 2, GL_COLOR_INDEX, GL_BITMAP, 4},
        {4, 10, 2, GL_COLOR_INDEX, GL_BITMAP, 8},
        {1, 0, 2, GL_COLOR_INDEX, GL_BITMAP, 0},
        {8, 3, 3, 0x1909, 0x1402, 24},
        {2, 3, 1, 0x190A, 0x1400, 6},
        {4, -1, 2, GL_RGBA, GL_FLOAT, 0},
        {4, 3, 2, 0x1234, GL_FLOAT, 0},
        {4, 0x10000, 0x10000, GL_RGBA, GL_FLOAT, 0},
    };
    for (const auto& c : send)
        EXPECT_EQ(ImageSendSize(c.alignment, c.w, c.h, c.format, c.type), c.want)
            << c.alignment << " " << c.w << "x" << c.h << " " << c.format << " " << c.type;
    const struct {
        std::uint32_t format, type;
        std::int32_t w, h;
        std::uint32_t want;
    } reply[] = {
        {GL_RGB, GL_UNSIGNED_BYTE, 3, 2, 24},
        {0x1909, GL_BITMAP, 8, 1, 0},
        {GL_COLOR_INDEX, GL_BITMAP, 33, 2, 16},
        {GL_RGBA, GL_FLOAT, 2, 2, 64},
        {0x190B, GL_FLOAT, 2, 2, 0},
        {GL_RGB, GL_BITMAP, 8, 1, 0},
        {0x1902, 0x1403, 3, 3, 24},
        {GL_RGBA, 0x1A01, 2, 2, 0},
    };
    for (const auto& c : reply)
        EXPECT_EQ(ImageReplySize(c.format, c.type, c.w, c.h), c.want) << c.format << " " << c.type;
    EXPECT_EQ(FormatComponents(0x190A), 2u);
    EXPECT_EQ(TypeBytes(GL_BITMAP), 0u);
    // What the unpacker writes into a command: tight rows in the image's
    // own format (RGB stays three bytes a pixel), in 64 bits, so that an
    // image past 32 bits is refused rather than sent empty.
    EXPECT_EQ(UnpackedImageSize(3, 2, GL_RGB, GL_UNSIGNED_BYTE), 18u);
    EXPECT_EQ(UnpackedImageSize(10, 2, GL_COLOR_INDEX, GL_BITMAP), 4u);
    EXPECT_EQ(UnpackedImageSize(0x10000, 0x10000, GL_RGBA, GL_FLOAT), 0x1000000000ull);
    EXPECT_EQ(ImageReplyBytes(GL_RGBA, GL_FLOAT, 0x10000, 0x10000), 0x1000000000ull);
    EXPECT_EQ(ImageReplySize(GL_RGBA, GL_FLOAT, 0x10000, 0x10000), 0u);
}

}  // namespace
