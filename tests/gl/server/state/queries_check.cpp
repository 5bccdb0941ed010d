// State queries through the single table: the reply layouts, GetError's
// sequence, GetString's answers, the conversion rules, and a round trip
// that sets each variable through its request and reads it back through
// every Get form.
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>

#include "boardconfig.h"
#include "state/glstate.h"
#include "pixfmt/pixfmt.h"
#include "light/light.h"
#include "mapped_segment.h"
#include "state/queries.h"
#include "request_fixture.h"

namespace glsrv_double {
namespace {

using glx::RenderRequest;
using glx::Words;

using glx::F;  // a float as its bits

// The reply the server's reply writer left in the client's half for the
// last request: its 32 bytes, the data it put behind the read offset
// (length words), and whether a reply was written at all.
struct Reply {
    std::vector<std::uint8_t> header;
    std::vector<std::uint8_t> data;
    int count = 0;
};
Reply gReply;

ULONG HeaderWord(int at) {
    ULONG u;
    std::memcpy(&u, gReply.header.data() + at, 4);
    return u;
}

// What the data area of the half holds where the writer put nothing.
constexpr std::uint8_t kUntouched = 0xEE;

class QueryTest : public RequestTest {
  protected:
    void SetUp() override {
        RequestTest::SetUp();
        ASSERT_EQ(__glXCreateGLState(&gc_, TRUE), 0u);
        vis_.bRGBA = 1;
        vis_.cRedBits = 8;
        vis_.cStencilBits = 8;
        vis_.cDepthBits = 24;
        vis_.bDoubleBuffer = 1;
        gc_.pvis = &vis_;
        gc_.pdraw = &draw_;  // single requests run only on a context with a drawable
        gc_.renderMode = GL_RENDER;
        pgc_->sequenceNumber = 0x1234;
        header_ = MapRequestSegment(pgc_);
        gReply = Reply{};
        gRecord.calls.clear();
    }
    // Runs a single request through its table slot with the half cleared
    // of any earlier reply; the reply it wrote is read back into gReply.
    ULONG RunSingle(const std::vector<std::uint8_t>& req) {
        std::memset(header_->reply, 0, sizeof header_->reply);
        BYTE* pjData = pgc_->pHeader + SM_FIRST_COMMAND;
        std::memset(pjData, kUntouched, SM_LIMIT);
        const ULONG x = __glXSingleTable[req[1]](pgc_, req.data());
        gReply = Reply{};
        if (header_->reply[0] != X_Reply) return x;
        gReply.count = 1;
        gReply.header.assign(header_->reply, header_->reply + sizeof header_->reply);
        EXPECT_EQ(header_->replyInClientMemory, 0u) << "query data fit in the half";
        EXPECT_EQ(header_->status, 0u);
        const ULONG cj = 4 * HeaderWord(4);
        if (cj > SM_LIMIT) return x;
        gReply.data.assign(pjData, pjData + cj);
        EXPECT_EQ(pjData[cj], kUntouched) << "no data written beyond the reply's length";
        return x;
    }
    ULONG Single(std::uint8_t op, std::initializer_list<std::uint32_t> params) {
        std::vector<std::uint8_t> req = {1, op, static_cast<std::uint8_t>(2 + params.size()), 0, 0, 0, 0, 0};
        const auto body = Words(params);
        req.insert(req.end(), body.begin(), body.end());
        return RunSingle(req);
    }
    ULONG Render(std::uint16_t op, std::initializer_list<std::uint32_t> words) {
        return Run(__glXRenderTable, RenderRequest(op, static_cast<std::uint32_t>(words.size() * 4), Words(words)));
    }
    // The values of a Get reply of values of cjValue bytes (one from +16,
    // more after the reply).
    std::vector<std::uint8_t> Values(std::size_t cjValue = 4) const {
        if (HeaderWord(4) == 0)
            return {gReply.header.begin() + 16, gReply.header.begin() + 16 + static_cast<std::ptrdiff_t>(cjValue)};
        return gReply.data;
    }
    // Answers the lgi layer gives for what the requests sent it, so that a
    // value set reads back.
    void Reflect() {
        for (const Call& c : gRecord.calls) {
            if (c.name == "N_SetStateBlockAttr") gAnswers.attrs[static_cast<ULONG>(c.args[0])] = c.words;
            if (c.name == "N_SetStateBlockAttrWord")
                gAnswers.attrs[static_cast<ULONG>(c.args[0])] = {static_cast<ULONG>(c.args[1])};
        }
    }
    GLVisual vis_{};
    SMSegmentHeader* header_ = nullptr;
};

TEST_F(QueryTest, GetErrorReturnsTheFirstErrorThenNone) {
    Render(79, {0x408});  // INVALID_ENUM
    Render(95, {0});      // INVALID_VALUE, not kept: one is pending
    ASSERT_EQ(Single(115, {}), GLX_SUCCESS);
    ASSERT_EQ(gReply.header.size(), 32u);
    EXPECT_EQ(gReply.header[0], 1);
    EXPECT_EQ(gReply.header[2] | gReply.header[3] << 8, 0x1234);
    EXPECT_EQ(HeaderWord(8), GL_INVALID_ENUM);
    EXPECT_EQ(HeaderWord(4), 0u);
    Single(115, {});
    EXPECT_EQ(HeaderWord(8), GL_NO_ERROR);

    // Between Begin and End: 0, and the misplaced query stays pending.
    gc_.bInBegin = 1;
    EXPECT_EQ(Single(115, {}), GLX_SUCCESS);
    EXPECT_EQ(HeaderWord(8), 0u);
    EXPECT_EQ(gc_.error, GL_INVALID_OPERATION);
    gc_.bInBegin = 0;
    Single(115, {});
    EXPECT_EQ(HeaderWord(8), GL_INVALID_OPERATION);
}

TEST_F(QueryTest, GetStringAnswers) {
    BoardConfig bc{};
    gAnswers.board = &bc;
    struct {
        ULONG name, rasterizers;
        const char* text;
    } cases[] = {
        {0x1F00, 1, "Trelwick Inc."}, {0x1F01, 4, "Vornix Quad"}, {0x1F01, 2, "Vornix Duo"},
        {0x1F01, 1, "Vornix Solo"},   {0x1F01, 8, "Vornix Solo"}, {0x1F02, 1, "1.0 2.94"},
        {0x1F03, 1, ""},
    };
    for (const auto& c : cases) {
        bc.rasterizers = c.rasterizers;
        ASSERT_EQ(Single(129, {c.name}), GLX_SUCCESS) << c.text;
        const ULONG n = static_cast<ULONG>(std::strlen(c.text)) + 1;
        EXPECT_EQ(HeaderWord(12), n) << c.text;  // byte count with the NUL at +12
        EXPECT_EQ(HeaderWord(4), (n + 3) / 4) << c.text;
        ASSERT_EQ(gReply.data.size(), 4 * ((n + 3) / 4));
        EXPECT_STREQ(reinterpret_cast<const char*>(gReply.data.data()), c.text);
    }
    gAnswers.board = nullptr;
    gc_.error = 0;
    EXPECT_EQ(Single(129, {0x1F04}), GLX_BAD_VALUE);
    EXPECT_EQ(gc_.error, GL_INVALID_ENUM);
    EXPECT_EQ(gReply.count, 0) << "no reply";
}

TEST_F(QueryTest, RefusalsWriteNoReply) {
    gc_.bInBegin = 1;
    EXPECT_EQ(Single(117, {0x0B21}), GLX_BAD_ACCESS);
    EXPECT_EQ(gc_.error, GL_INVALID_OPERATION);
    gc_.bInBegin = 0;
    gc_.error = 0;
    EXPECT_EQ(Single(117, {0x1234}), GLX_BAD_VALUE);
    EXPECT_EQ(gc_.error, GL_INVALID_ENUM);
    gc_.error = 0;
    EXPECT_EQ(Single(140, {0x0B21}), GLX_BAD_VALUE) << "a state variable is no capability";
    EXPECT_EQ(gc_.error, GL_INVALID_ENUM);
    gc_.error = 0;
    EXPECT_EQ(Single(140, {0x0B44}), GLX_SUCCESS);
    EXPECT_EQ(gReply.count, 1);
    // A request too short for its parameter.
    EXPECT_EQ(RunSingle({1, 117, 2, 0, 0, 0, 0, 0}), GLX_BAD_LENGTH);
    EXPECT_EQ(gReply.count, 0);
    // No context.
    pgc_->gc = nullptr;
    EXPECT_EQ(Single(117, {0x0B21}), GLX_BAD_ACCESS);
    pgc_->gc = &gc_;
}

// A query attaches its context first: lights restored but not yet sent
// (after PopAttrib, say) reach the lgi layer before it reads them back; a
// context without a drawable answers nothing and changes nothing.
TEST_F(QueryTest, QueriesAttachTheContextFirst) {
    gc_.dirty |= GLX_DIRTY_LIGHTS;
    ASSERT_EQ(Single(118, {GL_LIGHT0, GL_POSITION}), GLX_SUCCESS);
    std::vector<std::string> order;
    for (const Call& c : gRecord.calls)
        if (c.name == "N_SetLights" || c.name == "N_GetLight") order.push_back(c.name);
    EXPECT_EQ(order, (std::vector<std::string>{"N_SetLights", "N_GetLight"}));
    EXPECT_EQ(gc_.dirty & GLX_DIRTY_LIGHTS, 0u);

    gc_.pdraw = nullptr;
    gc_.error = GL_INVALID_ENUM;
    gRecord.calls.clear();
    EXPECT_EQ(Single(117, {0x0B21}), static_cast<ULONG>(-1));
    EXPECT_EQ(Single(115, {}), static_cast<ULONG>(-1));
    EXPECT_EQ(gReply.count, 0);
    EXPECT_EQ(gc_.error, static_cast<ULONG>(GL_INVALID_ENUM)) << "GetError refused keeps the error";
    EXPECT_TRUE(gRecord.calls.empty());
    gc_.pdraw = &draw_;
}

TEST_F(QueryTest, ConversionRules) {
    struct {
        ULONG src;
        double in;
        ULONG dst;
        double out;
    } cases[] = {
        {GLX_TYPE_COLOR, 1.0, GLX_TYPE_INT, 2147483647.0},  {GLX_TYPE_COLOR, -1.0, GLX_TYPE_INT, -2147483647.0},
        {GLX_TYPE_COLOR, 0.5, GLX_TYPE_INT, 1073741824.0},  {GLX_TYPE_COLOR, -3.0, GLX_TYPE_INT, -2147483648.0},
        {GLX_TYPE_COLOR, 5.0, GLX_TYPE_INT, 2147483647.0},  {GLX_TYPE_COLOR, 0.25, GLX_TYPE_FLOAT, 0.25},
        {GLX_TYPE_FLOAT, -2.7, GLX_TYPE_INT, -3.0},         {GLX_TYPE_FLOAT, 3e10, GLX_TYPE_INT, 2147483647.0},
        {GLX_TYPE_FLOAT, 2.5, GLX_TYPE_INT, 3.0},          {GLX_TYPE_FLOAT, 2.49, GLX_TYPE_INT, 2.0},
        {GLX_TYPE_FLOAT, -0.5, GLX_TYPE_INT, -1.0},        {GLX_TYPE_COLOR, 0.25, GLX_TYPE_INT, 536870912.0},
        {GLX_TYPE_FLOAT, NAN, GLX_TYPE_INT, 0.0},           {GLX_TYPE_FLOAT, -0.0, GLX_TYPE_BOOLEAN, 0.0},
        {GLX_TYPE_FLOAT, -0.5, GLX_TYPE_BOOLEAN, 1.0},      {GLX_TYPE_INT, -7, GLX_TYPE_DOUBLE, -7.0},
        {GLX_TYPE_INT, 16777217, GLX_TYPE_DOUBLE, 16777217.0}, {GLX_TYPE_BOOLEAN, 1, GLX_TYPE_FLOAT, 1.0},
        {GLX_TYPE_BOOLEAN, 1, GLX_TYPE_INT, 1.0},
    };
    for (const auto& c : cases) {
        BYTE in[8] = {}, out[8] = {};
        if (c.src == GLX_TYPE_INT) {
            const LONG l = static_cast<LONG>(c.in);
            std::memcpy(in, &l, 4);
        } else if (c.src == GLX_TYPE_BOOLEAN) {
            in[0] = static_cast<BYTE>(c.in);
        } else {
            const float f = static_cast<float>(c.in);
            std::memcpy(in, &f, 4);
        }
        __glXConvertValues(c.src, in, 1, c.dst, out);
        double got;
        if (c.dst == GLX_TYPE_INT) {
            LONG l;
            std::memcpy(&l, out, 4);
            got = l;
        } else if (c.dst == GLX_TYPE_BOOLEAN) {
            got = out[0];
        } else if (c.dst == GLX_TYPE_DOUBLE) {
            std::memcpy(&got, out, 8);
        } else {
            float f;
            std::memcpy(&f, out, 4);
            got = f;
        }
        EXPECT_EQ(got, c.out) << c.src << " " << c.in << " -> " << c.dst;
    }
}

TEST_F(QueryTest, ReplyLayouts) {
    // One value of at most four bytes: in the reply, length 0, n 1.
    Render(95, {F(2.5f)});
    Reflect();
    Single(116, {0x0B21});
    EXPECT_EQ(HeaderWord(4), 0u);
    EXPECT_EQ(HeaderWord(12), 1u);
    EXPECT_EQ(HeaderWord(16), F(2.5f));
    EXPECT_TRUE(gReply.data.empty());
    // One double: in the reply too, at +16.
    Single(114, {0x0B21});
    EXPECT_EQ(HeaderWord(4), 0u);
    EXPECT_EQ(HeaderWord(12), 1u);
    EXPECT_TRUE(gReply.data.empty());
    double d;
    std::memcpy(&d, gReply.header.data() + 16, 8);
    EXPECT_EQ(d, 2.5);
    // More than one value: after the reply.
    Single(117, {0x0D3A});
    EXPECT_EQ(HeaderWord(4), 2u);
    EXPECT_EQ(HeaderWord(12), 2u);
    // Four flags: one byte each.
    Single(112, {0x0C23});
    EXPECT_EQ(HeaderWord(4), 1u);
    EXPECT_EQ(HeaderWord(12), 4u);
    EXPECT_EQ(gReply.data, (std::vector<std::uint8_t>{1, 1, 1, 1}));
}

TEST_F(QueryTest, CurrentColourAsIntegers) {
    Render(16, {F(1.0f), F(-1.0f), F(0.0f), F(0.5f)});
    Reflect();
    Single(117, {0x0B00});
    ASSERT_EQ(gReply.data.size(), 16u);
    LONG al[4];
    std::memcpy(al, gReply.data.data(), 16);
    EXPECT_EQ(al[0], INT_MAX);
    EXPECT_EQ(al[1], -INT_MAX);
    EXPECT_EQ(al[2], 0);
    EXPECT_EQ(al[3], 1 << 30);
}

// Every variable set through its request reads back through the four Get
// forms by GL's rules: {request, its words, pname, the values as doubles,
// is the value a colour (integers by the colour rule)}.
TEST_F(QueryTest, SetThenGetRoundTrip) {
    struct Trip {
        std::uint16_t op;
        std::vector<ULONG> words;
        ULONG pname;
        std::vector<double> want;
        bool bColor;
    } trips[] = {
        {16, {F(.5f), F(.25f), F(0), F(1)}, 0x0B00, {.5, .25, 0, 1}, true},
        {25, {F(3.0f)}, 0x0B01, {3}, false},
        {30, {F(0), F(0), F(-1)}, 0x0B02, {0, 0, -1}, true},  // a normal maps linearly, as a colour
        {62, {F(1), F(2), F(3), F(4)}, 0x0B03, {1, 2, 3, 4}, false},
        {22, {0}, 0x0B43, {0}, false},
        {100, {F(4.0f)}, 0x0B11, {4}, false},
        {95, {F(1.5f)}, 0x0B21, {1.5}, false},
        {94, {3, 0xF0F0}, 0x0B25, {0xF0F0}, false},
        {94, {3, 0xF0F0}, 0x0B26, {3}, false},
        {101, {0x408, 0x1B01}, 0x0B40, {0x1B01, 0x1B01}, false},
        {79, {0x404}, 0x0B45, {0x404}, false},
        {84, {0x900}, 0x0B46, {0x900}, false},
        {104, {0x1D00}, 0x0B54, {0x1D00}, false},
        {80, {0xB61, F(2.0f)}, 0x0B61, {2}, false},
        {80, {0xB62, F(0.5f)}, 0x0B62, {.5}, false},
        {80, {0xB63, F(-1.0f)}, 0x0B63, {-1}, false},
        {80, {0xB64, F(9.0f)}, 0x0B64, {9}, false},
        {82, {0xB65, 0x800}, 0x0B65, {0x800}, false},
        {81, {0xB66, F(.5f), F(0), F(0), F(1)}, 0x0B66, {.5, 0, 0, 1}, true},
        {135, {0}, 0x0B72, {0}, false},
        {164, {0x203}, 0x0B74, {0x203}, false},
        {128, {F(.5f), F(0), F(0), F(.25f)}, 0x0B80, {.5, 0, 0, .25}, true},
        {131, {7}, 0x0B91, {7}, false},
        {162, {0x206, 5, 0x3}, 0x0B92, {0x206}, false},
        {162, {0x206, 5, 0x3}, 0x0B93, {3}, false},
        {162, {0x206, 5, 0x3}, 0x0B97, {5}, false},
        {163, {0x1E01, 0x150A, 0x1E03}, 0x0B94, {0x1E01}, false},
        {163, {0x1E01, 0x150A, 0x1E03}, 0x0B95, {0x150A}, false},
        {163, {0x1E01, 0x150A, 0x1E03}, 0x0B96, {0x1E03}, false},
        {133, {0x5}, 0x0B98, {5}, false},
        {191, {1, 2, 300, 200}, 0x0BA2, {1, 2, 300, 200}, false},
        {159, {0x204, F(0.5f)}, 0x0BC1, {0x204}, false},
        {159, {0x204, F(0.5f)}, 0x0BC2, {.5}, true},
        {160, {0x302, 0x303}, 0x0BE1, {0x302}, false},
        {160, {0x302, 0x303}, 0x0BE0, {0x303}, false},
        {161, {0x1506}, 0x0BF0, {0x1506}, false},
        {103, {4, 5, 6, 7}, 0x0C10, {4, 5, 6, 7}, false},
        {129, {F(3.0f)}, 0x0C20, {3}, false},
        {130, {F(0), F(.5f), F(1), F(0)}, 0x0C22, {0, .5, 1, 0}, true},
        {85, {0xC52, 0x1102}, 0x0C52, {0x1102}, false},
        {165, {F(2.0f), F(-3.0f)}, 0x0D16, {2}, false},
        {165, {F(2.0f), F(-3.0f)}, 0x0D17, {-3}, false},
        {139, {0x0B44}, 0x0B44, {1}, false},
        {139, {0x0BE2}, 0x0BE2, {1}, false},
        {139, {0x0C61}, 0x0C61, {1}, false},
        {139, {0x3005}, 0x3005, {1}, false},
        {139, {0x4003}, 0x4003, {1}, false},
        {139, {0x0DB4}, 0x0DB4, {1}, false},
        {139, {0x0DE0}, 0x0DE0, {1}, false},
        {142, {GL_LINE_BIT}, 0x0BB0, {1}, false},
        // The matrix stacks: tops answered column-major, depths counting the top.
        {190, {F(1), F(2), F(3)}, 0x0BA6, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1}, false},
        {184, {}, 0x0BA3, {2}, false},
        {179, {0x1701}, 0x0BA4, {1}, false},
        {188, {F(2), F(3), F(4)}, 0x0BA7, {2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 1}, false},
        {179, {0x1702}, 0x0BA8, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, false},
        {184, {}, 0x0BA5, {2}, false},
    };
    for (const Trip& t : trips) {
        SCOPED_TRACE(testing::Message() << "op " << t.op << " pname 0x" << std::hex << t.pname);
        gRecord.calls.clear();
        std::vector<std::uint8_t> body(t.words.size() * 4);
        if (!body.empty()) std::memcpy(body.data(), t.words.data(), body.size());
        ASSERT_EQ(Run(__glXRenderTable, RenderRequest(t.op, static_cast<std::uint32_t>((body.size() + 3) & ~3u), body)),
                  GLX_SUCCESS);
        Reflect();
        const std::size_t n = t.want.size();
        // Doubles and floats: the values themselves.
        ASSERT_EQ(Single(114, {t.pname}), GLX_SUCCESS);
        ASSERT_EQ(Values(8).size(), 8 * n);
        for (std::size_t i = 0; i < n; ++i) {
            double d;
            std::memcpy(&d, Values(8).data() + 8 * i, 8);
            EXPECT_EQ(d, t.want[i]) << i;
        }
        ASSERT_EQ(Single(116, {t.pname}), GLX_SUCCESS);
        ASSERT_EQ(Values().size(), 4 * n);
        for (std::size_t i = 0; i < n; ++i) {
            float f;
            std::memcpy(&f, Values().data() + 4 * i, 4);
            EXPECT_EQ(f, static_cast<float>(t.want[i])) << i;
        }
        // Integers: rounded to the nearest, or a colour mapped linearly
        // onto the integer range.
        ASSERT_EQ(Single(117, {t.pname}), GLX_SUCCESS);
        ASSERT_EQ(Values().size(), 4 * n);
        for (std::size_t i = 0; i < n; ++i) {
            LONG l;
            std::memcpy(&l, Values().data() + 4 * i, 4);
            const double w = t.bColor ? std::round(t.want[i] * 2147483647.0) : std::round(t.want[i]);
            EXPECT_EQ(l, static_cast<LONG>(w)) << i;
        }
        // Booleans: non-zero.
        ASSERT_EQ(Single(112, {t.pname}), GLX_SUCCESS);
        ASSERT_EQ(n == 1 ? 4u : gReply.data.size(), n == 1 ? 4u : 4 * ((n + 3) / 4));
        for (std::size_t i = 0; i < n; ++i) EXPECT_EQ(Values()[i], t.want[i] != 0 ? 1 : 0) << i;
    }
    while (gc_.pState->iDepth > 0) Render(141, {});
}

TEST_F(QueryTest, PerObjectGetters) {
    // Clip plane: the stored equation as doubles, eight words.
    std::vector<std::uint8_t> body(36);
    const double eq[4] = {1, -2, 0.5, 4};
    std::memcpy(body.data(), eq, 32);
    const ULONG plane = 0x3002;
    std::memcpy(body.data() + 32, &plane, 4);
    ASSERT_EQ(Run(__glXRenderTable, RenderRequest(77, 36, body)), GLX_SUCCESS);
    ASSERT_EQ(Single(113, {0x3002}), GLX_SUCCESS);
    EXPECT_EQ(HeaderWord(4), 8u);
    ASSERT_EQ(gReply.data.size(), 32u);
    EXPECT_EQ(std::memcmp(gReply.data.data(), eq, 32), 0);
    EXPECT_EQ(Single(113, {0x3006}), GLX_BAD_VALUE);

    // Light: colours by the colour rule as integers, the rest rounded;
    // the position as the lgi layer keeps it.
    Render(87, {GL_LIGHT0 + 1, GL_DIFFUSE, F(1.0f), F(0.5f), F(0), F(-1.0f)});
    ASSERT_EQ(Single(119, {GL_LIGHT0 + 1, GL_DIFFUSE}), GLX_SUCCESS);
    LONG al[4];
    ASSERT_EQ(gReply.data.size(), 16u);
    std::memcpy(al, gReply.data.data(), 16);
    EXPECT_EQ(al[0], INT_MAX);
    EXPECT_EQ(al[1], 1 << 30);
    EXPECT_EQ(al[3], -INT_MAX);
    Render(86, {GL_LIGHT0 + 1, GL_SPOT_CUTOFF, F(45.5f)});
    Single(119, {GL_LIGHT0 + 1, GL_SPOT_CUTOFF});
    EXPECT_EQ(HeaderWord(16), 46u);
    gAnswers.eyeLight.position[0] = 7.0f;
    Single(118, {GL_LIGHT0, GL_POSITION});
    float af[4];
    ASSERT_EQ(gReply.data.size(), 16u);
    std::memcpy(af, gReply.data.data(), 16);
    EXPECT_EQ(af[0], 7.0f);
    EXPECT_EQ(Single(118, {GL_LIGHT0 + 8, GL_POSITION}), GLX_BAD_VALUE);
    EXPECT_EQ(Single(118, {GL_LIGHT0, 0x120A}), GLX_BAD_VALUE);

    // Material: FRONT or BACK only.
    gAnswers.attrs[N_ATTR_FRONT_SHININESS] = {F(20.0f)};
    ASSERT_EQ(Single(123, {GL_FRONT, GL_SHININESS}), GLX_SUCCESS);
    EXPECT_EQ(HeaderWord(16), F(20.0f));
    gAnswers.attrs[N_ATTR_BACK_AMBIENT] = {F(1.0f), 0, 0, F(1.0f)};
    ASSERT_EQ(Single(124, {GL_BACK, GL_AMBIENT}), GLX_SUCCESS);
    std::memcpy(al, gReply.data.data(), 16);
    EXPECT_EQ(al[0], INT_MAX);
    gc_.error = 0;
    EXPECT_EQ(Single(123, {GL_FRONT_AND_BACK, GL_SHININESS}), GLX_BAD_VALUE);
    EXPECT_EQ(gc_.error, GL_INVALID_ENUM);
    EXPECT_EQ(gReply.count, 0);

    // Texture environment: the mode's enumerant, the colour.
    gAnswers.attrs[N_ATTR_ENV_MODE] = {1};
    ASSERT_EQ(Single(131, {0x2300, 0x2200}), GLX_SUCCESS);
    EXPECT_EQ(HeaderWord(16), 0x2101u);  // DECAL
    EXPECT_EQ(Single(131, {0x2301, 0x2200}), GLX_BAD_VALUE);
}

// Evaluator maps: order, domain and coefficients; a size that comes from
// the map's words is checked before anything is sized by it.
TEST_F(QueryTest, GetMapSizesAreChecked) {
    ASSERT_EQ(Single(122, {0x0DB8, 0x0A01}), GLX_SUCCESS);  // MAP2_VERTEX_4 ORDER
    ASSERT_EQ(gReply.data.size(), 8u);
    EXPECT_EQ(HeaderWord(12), 2u);
    ASSERT_EQ(Single(121, {0x0D90, 0x0A02}), GLX_SUCCESS);  // MAP1_COLOR_4 DOMAIN
    float af[4];
    ASSERT_EQ(gReply.data.size(), 8u);
    std::memcpy(af, gReply.data.data(), 8);
    EXPECT_EQ(af[0], 0.0f);
    EXPECT_EQ(af[1], 1.0f);
    ASSERT_EQ(Single(121, {0x0D98, 0x0A00}), GLX_SUCCESS);  // MAP1_VERTEX_4 COEFF
    ASSERT_EQ(gReply.data.size(), 16u);
    std::memcpy(af, gReply.data.data(), 16);
    EXPECT_EQ(af[3], 1.0f);
    EXPECT_EQ(Single(121, {0x0D99, 0x0A00}), GLX_BAD_VALUE);
    EXPECT_EQ(Single(121, {0x0D90, 0x0A03}), GLX_BAD_VALUE);

    // A map of an order past the limit is refused and the old one stays;
    // the largest map answers after the reply.
    auto map2f = [&](ULONG order) {
        const ULONG c = 4 * order * order;
        std::vector<std::uint32_t> w = {0x0DB8, F(0), F(1), order, F(0), F(1), order};
        for (ULONG i = 0; i < c; ++i) w.push_back(F(static_cast<float>(i)));
        glx::Bytes body;
        for (std::uint32_t x : w) glx::Put32(body, x);
        return Run(__glXRenderTable, RenderRequest(146, static_cast<std::uint32_t>(body.size()), body));
    };
    gc_.error = 0;
    EXPECT_EQ(map2f(31), GLX_BAD_VALUE);
    EXPECT_EQ(gc_.error, GL_INVALID_VALUE);
    ASSERT_EQ(Single(122, {0x0DB8, 0x0A01}), GLX_SUCCESS);
    EXPECT_EQ(Values(), Words({1, 1}));
    ASSERT_EQ(map2f(30), GLX_SUCCESS);
    ASSERT_EQ(Single(120, {0x0DB8, 0x0A00}), GLX_SUCCESS);
    EXPECT_EQ(HeaderWord(12), 3600u);
    EXPECT_EQ(HeaderWord(4), 7200u);
    ASSERT_EQ(gReply.data.size(), 28800u);
    double d;
    std::memcpy(&d, gReply.data.data() + 8 * 3599, 8);
    EXPECT_EQ(d, 3599.0);
}

TEST_F(QueryTest, RasterPositionVariables) {
    // What the raster-position render function left in the lgi layer.
    gAnswers.attrs[N_ATTR_RASTER_POS] = {F(10), F(20), F(.5f), F(1)};
    gAnswers.attrs[N_ATTR_RASTER_DISTANCE] = {F(3)};
    gAnswers.attrs[N_ATTR_RASTER_COLOUR] = {F(1), F(.5f), F(0), F(1)};
    gAnswers.attrs[N_ATTR_RASTER_INDEX] = {F(7)};
    gAnswers.attrs[N_ATTR_RASTER_TEXCOORD] = {F(.25f), F(0), F(0), F(1)};
    gAnswers.attrs[N_ATTR_RASTER_POS_VALID] = {0};
    const struct {
        ULONG pname;
        std::vector<float> want;
    } cases[] = {
        {0x0B07, {10, 20, .5f, 1}}, {0x0B09, {3}}, {0x0B04, {1, .5f, 0, 1}}, {0x0B05, {7}},
        {0x0B06, {.25f, 0, 0, 1}},  {0x0B08, {0}},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(Single(116, {c.pname}), GLX_SUCCESS) << std::hex << c.pname;
        std::vector<float> got(c.want.size());
        ASSERT_EQ(Values().size(), 4 * got.size()) << std::hex << c.pname;
        std::memcpy(got.data(), Values().data(), 4 * got.size());
        EXPECT_EQ(got, c.want) << std::hex << c.pname;
    }
    // The valid flag as a boolean; the colour by the colour rule.
    ASSERT_EQ(Single(112, {0x0B08}), GLX_SUCCESS);
    EXPECT_EQ(Values()[0], 0);
    ASSERT_EQ(Single(117, {0x0B04}), GLX_SUCCESS);
    LONG l;
    std::memcpy(&l, Values().data(), 4);
    EXPECT_EQ(l, 2147483647);
}

TEST_F(QueryTest, LimitsAndVisual) {
    struct {
        ULONG pname;
        std::vector<LONG> want;
    } cases[] = {
        {0x0B31, {64}},   {0x0D30, {30}},   {0x0D31, {8}},    {0x0D32, {6}},    {0x0D33, {256}},
        {0x0D34, {32}},   {0x0D35, {16}},   {0x0D36, {32}},   {0x0D37, {1024}}, {0x0D38, {32}},
        {0x0D39, {32}},   {0x0D3A, {2048, 2048}}, {0x0D50, {0}}, {0x0B12, {0, 256}}, {0x0B13, {1}},
        {0x0B22, {0, 256}}, {0x0B23, {1}}, {0x0D52, {8}}, {0x0D56, {24}}, {0x0D57, {8}},
        {0x0C31, {1}},    {0x0C30, {0}},    {0x0C32, {1}},    {0x0C33, {0}},    {0x0C40, {GL_RENDER}},
        {0x0BA0, {0x1700}}, {0x0B46, {0x901}}, {0x0B45, {0x405}}, {0x0B30, {0}}, {0x0BB0, {0}},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(Single(117, {c.pname}), GLX_SUCCESS) << std::hex << c.pname;
        std::vector<LONG> got(c.want.size());
        ASSERT_EQ(Values().size(), 4 * got.size()) << std::hex << c.pname;
        std::memcpy(got.data(), Values().data(), 4 * got.size());
        EXPECT_EQ(got, c.want) << std::hex << c.pname;
    }
}

}  // namespace
}  // namespace glsrv_double
