// The OpenGL command escape as an application reaches it: every sub-code at
// its least sizes and one byte short, unknown sub-codes, and the
// information escape.
#include <thread>

#include "gl/server/server_fixture.h"

namespace {

using glsrv_test::GLServerTest;
using glsrv_test::kClientFreedText;
using glsrv_test::Request;

struct SizeRow {
    ULONG code;
    ULONG cjIn;        // least input
    ULONG cjOut;       // least output (0: none)
    INT result;        // at the least sizes, all arguments 0, on a thread without a client
    const char* text;  // the debug text of that call
    bool bClient;      // the call leaves the thread a client record
    bool bReply;       // the call writes a context handle (0) to output +0
};

// All arguments 0: no context, no segment, no window, no client named.
// clang-format off
const SizeRow kRows[] = {
    {GLCMD_SETCONTEXT, 28, 0, 0, "ulCmdSetContext: no context 0\n", true, false},
    {GLCMD_PROCESSSMREQUESTS, 20, 0, -1, "ulCmdProcessRequests: no request segment\n", false, false},
    {GLCMD_CREATECONTEXT, 28, 4, 0, "Could not find visual 0, layer 0\n", false, true},
    {GLCMD_DELETECONTEXT, 24, 0, -1, "ulCmdDeleteContext: no context 0\n", false, false},
    {GLCMD_RELEASECONTEXT, 24, 0, 0, "ulCmdReleaseContext: no context 0\n", false, false},
    {GLCMD_CREATESMSEGMENT, 28, 0, -1, "__glMapSMSegment: section of 0 bytes\n", true, false},
    {GLCMD_RENDERLARGE, 20, 0, -1, "ulCmdRenderLarge: no request segment\n", false, false},
    {GLCMD_SINGLE, 20, 0, -1, "ulCmdSingle: no request segment\n", false, false},
    {GLCMD_CREATEPRIMSEGMENT, 28, 0, -1, "ulCmdCreatePrimSegment: no current context\n", false, false},
    {GLCMD_SETFORMATCOUNT, 24, 0, -1, "", false, false},
    {GLCMD_SHARELISTS, 28, 0, 0,
     "ulCmdShareLists: no context 0\nulCmdShareLists: no context 0\n", false, false},
    {GLCMD_WRAPSMREADPOINTER, 32, 0, -1, "ulCmdWrapReadPointer: no client 0\n", false, false},
    {GLCMD_COPYCONTEXT, 32, 0, 0,
     "ulCmdCopyContext: no context 0\nulCmdCopyContext: no context 0\n", false, false},
    {GLCMD_CREATELAYERCONTEXT, 32, 4, 0, "Could not find visual 0, layer 0\n", false, true},
    {GLCMD_DESCRIBELAYERPLANE, 32, 52, 0, "__glDrvDescribeLayerPlane: format index invalid\n",
     false, false},
    {GLCMD_GETLAYERPALETTEENTRIES, 32, 1044, 0, "ulCmdGetLayerPaletteEntries: no window\n", false,
     false},
    {GLCMD_REALIZELAYERPALETTE, 28, 0, 0, "ulCmdRealizeLayerPalette: no window\n", false, false},
    {GLCMD_SETLAYERPALETTEENTRIES, 1056, 0, 0, "ulCmdSetLayerPaletteEntries: no window\n", false,
     false},
    {GLCMD_SWAPLAYERBUFFERS, 24, 0, 0, "ulCmdSwapLayerBuffers: no window\n", false, false},
    {GLCMD_THREADDETACH, 4, 0, 0, "", false, false},
    {GLCMD_PROCESSDETACH, 4, 0, 0, "", false, false},
};
// clang-format on

// Each sub-code on a thread of its own (no client record yet): one byte
// short of input, and of output where it has a least output, is -1 with no
// effect at all; at the least sizes the sub-code runs.
TEST_F(GLServerTest, EverySubCodeAtItsLeastSizesAndOneByteShort) {
    ASSERT_EQ(sizeof kRows / sizeof kRows[0], GLCMD_LAST);
    for (const SizeRow& row : kRows) {
        SCOPED_TRACE("sub-code " + std::to_string(row.code));
        std::thread([&] {
            const std::vector<BYTE> full = Request(row.code, {}, row.cjIn);
            std::vector<BYTE> shortIn(full.begin(), full.end() - 1);
            std::vector<BYTE> out(row.cjOut, 0xCC);
            EXPECT_EQ(Cmd(shortIn, &out), -1);
            if (row.cjOut != 0) {
                std::vector<BYTE> shortOut(row.cjOut - 1, 0xCC);
                EXPECT_EQ(Cmd(full, &shortOut), -1);
                EXPECT_EQ(shortOut, std::vector<BYTE>(row.cjOut - 1, 0xCC));
            }
            EXPECT_EQ(out, std::vector<BYTE>(row.cjOut, 0xCC));
            EXPECT_EQ(Client(), nullptr);
            EXPECT_EQ(vnx::debug::take(), "");

            EXPECT_EQ(Cmd(full, &out), row.result);
            EXPECT_EQ(vnx::debug::take(), row.text);
            EXPECT_EQ(Client() != nullptr, row.bClient);
            if (row.bReply) {
                EXPECT_EQ(std::vector<BYTE>(out.begin(), out.begin() + 4), std::vector<BYTE>(4, 0));
                EXPECT_EQ(std::vector<BYTE>(out.begin() + 4, out.end()),
                          std::vector<BYTE>(row.cjOut - 4, 0xCC));
            } else {
                EXPECT_EQ(out, std::vector<BYTE>(row.cjOut, 0xCC));
            }
            if (row.bClient) {
                EXPECT_EQ(Cmd(Request(GLCMD_THREADDETACH)), 0);
                EXPECT_EQ(Client(), nullptr);
                EXPECT_EQ(vnx::debug::take(), kClientFreedText);
            }
        }).join();
    }
}

// Sub-codes outside 1..21, and inputs too short to hold a sub-code, are
// refused.
TEST_F(GLServerTest, UnknownSubCodesAndMissingSubCodeAreRefused) {
    for (ULONG code : {0u, 22u, 0xFFFFFFFFu, 0x80000001u}) {
        std::vector<BYTE> out(64, 0xCC);
        EXPECT_EQ(Cmd(Request(code, std::vector<ULONG>(400, 0)), &out), -1) << code;
        EXPECT_EQ(out, std::vector<BYTE>(64, 0xCC));
    }
    EXPECT_EQ(Cmd({}), -1);
    EXPECT_EQ(Cmd({GLCMD_THREADDETACH, 0, 0}), -1);
    EXPECT_EQ(vnx::debug::take(), "");
    EXPECT_NE(Client(), nullptr) << "the loading thread's client is still there";
}

// The sub-code's words come from the input the caller gave, not from
// whatever lies behind it: a layer-plane request whose byte count would
// not fit the output is refused before anything is written.
TEST_F(GLServerTest, DescribeLayerPlaneByteCountMustFitTheOutput) {
    std::vector<BYTE> out(52, 0xCC);
    EXPECT_EQ(Cmd(Request(GLCMD_DESCRIBELAYERPLANE, {1, 0, 33}), &out), 0);
    EXPECT_EQ(vnx::debug::take(), "ulCmdDescribeLayerPlane: 33 bytes do not fit the output\n");
    EXPECT_EQ(out, std::vector<BYTE>(52, 0xCC));
    // A byte count that fits is answered after the reply's 20 bytes.
    EXPECT_EQ(Cmd(Request(GLCMD_DESCRIBELAYERPLANE, {1, 0, 32}), &out), 1);
    EXPECT_EQ(vnx::debug::take(), "");
    EXPECT_EQ(std::vector<BYTE>(out.begin(), out.begin() + 20), std::vector<BYTE>(20, 0xCC));
    EXPECT_NE(std::vector<BYTE>(out.begin() + 20, out.end()), std::vector<BYTE>(32, 0xCC));
}

// OPENGL_GETINFO names the client driver in the published record; a
// request other than the name, a short input or a short output is refused
// and the output left alone.
TEST_F(GLServerTest, GetInfoAnswersTheClientDriverRecord) {
    auto getinfo = [&](std::vector<BYTE> in, std::vector<BYTE>* out) {
        vnx::process::Scope as(app_);
        return ExtEscape(hdc_, OPENGL_GETINFO, static_cast<INT>(in.size()),
                         reinterpret_cast<LPCSTR>(in.data()), static_cast<INT>(out->size()),
                         reinterpret_cast<LPSTR>(out->data()));
    };
    std::vector<BYTE> out(540, 0xCC);
    EXPECT_EQ(getinfo({0, 0, 0, 0}, &out), 1);
    OPENGL_INFO info;
    std::memcpy(&info, out.data(), sizeof info);
    EXPECT_EQ(info.ulVersion, 1u);
    EXPECT_EQ(info.ulDriverVersion, 2u);
    EXPECT_EQ(std::u16string(info.awch), u"VORNIX");
    for (size_t i = 6; i < OPENGL_INFO_NAME_CHARS; ++i) ASSERT_EQ(info.awch[i], 0) << i;
    EXPECT_EQ(std::vector<BYTE>(out.begin() + 532, out.end()), std::vector<BYTE>(8, 0xCC));

    struct Refused {
        std::vector<BYTE> in;
        size_t cjOut;
    };
    const Refused refused[] = {
        {{1, 0, 0, 0}, 532},  // not the name request
        {{0, 0, 0}, 532},     // no whole request word
        {{}, 532},
        {{0, 0, 0, 0}, 531},  // no room for the record
    };
    for (const Refused& r : refused) {
        std::vector<BYTE> o(r.cjOut, 0xCC);
        EXPECT_EQ(getinfo(r.in, &o), -1);
        EXPECT_EQ(o, std::vector<BYTE>(r.cjOut, 0xCC));
    }
    EXPECT_EQ(vnx::debug::take(), "");
}

}  // namespace
