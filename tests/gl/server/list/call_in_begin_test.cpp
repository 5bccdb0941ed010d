// A display list called between Begin and End of a primitive the server
// accumulates itself: the list's requests run inside the open primitive and
// the vertices after the call go on in it. What is still pending when the
// last context is deleted is drawn before the device's cached surfaces are
// released, so nothing the drawing made is left behind (LeakSanitizer).
#include "gl/server/state/gl_client.h"

namespace {

using glsrv_client::GLClientTest;
using glx::F;

constexpr ULONG kTriangleFan = 6, kPolygon = 9, kCompile = 0x1300;
constexpr ULONG kCurrentColor = 0x0B00;

class CallInBeginTest : public GLClientTest {
  protected:
    // At 16 bits per pixel the board has room for the staging surfaces
    // the render programs take.
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(Start(vnx::miniport::MachineConfig(), 16)); }
};

// Lists with state only, with a primitive of their own, and empty; each
// called after 1 to 5 vertices of a fan or polygon of 7.
TEST_F(CallInBeginTest, ListCalledInsideAFanOrPolygon) {
    Single("NewList", {7, kCompile});
    Render("Color3fv", {F(0), F(1), F(0)});
    Single("EndList");
    Single("NewList", {8, kCompile});
    Render(glx::Stream({glx::Render("Begin", {4}), glx::Render("Vertex2fv", {F(0), F(0)}),
                        glx::Render("Vertex2fv", {F(1), F(0)}), glx::Render("Vertex2fv", {F(0), F(1)}),
                        glx::Render("End")}));
    Single("EndList");
    Single("NewList", {9, kCompile});
    Single("EndList");
    ASSERT_EQ(Error(), 0u);
    for (const ULONG list : {7u, 8u, 9u}) {
        for (const ULONG mode : {kTriangleFan, kPolygon}) {
            for (const ULONG before : {1u, 2u, 4u, 5u}) {
                SCOPED_TRACE(std::to_string(list) + " " + std::to_string(mode) + " " + std::to_string(before));
                std::vector<glx::Bytes> s = {glx::Render("Begin", {mode})};
                for (ULONG k = 0; k < before; ++k) s.push_back(glx::Render("Vertex2fv", {F(float(k)), F(0)}));
                s.push_back(glx::Render("Color3fv", {F(1), F(0), F(0)}));
                s.push_back(glx::Render("CallList", {list}));
                for (ULONG k = before; k < 7; ++k) s.push_back(glx::Render("Vertex2fv", {F(float(k)), F(0)}));
                s.push_back(glx::Render("End"));
                glx::Bytes out;
                for (const glx::Bytes& b : s) out.insert(out.end(), b.begin(), b.end());
                Render(out);
                EXPECT_EQ(Error(), 0u);
            }
        }
    }
}

// The primitive is still pending when its context, the device's last, goes.
TEST_F(CallInBeginTest, PendingFanDrawnBeforeTheLastContextGoes) {
    Single("NewList", {7, kCompile});
    Render("Color3fv", {F(0), F(1), F(0)});
    Single("EndList");
    Render(glx::Stream({glx::Render("Begin", {kTriangleFan}), glx::Render("Vertex2fv", {F(0), F(0)}),
                        glx::Render("CallList", {7}), glx::Render("Vertex2fv", {F(1), F(0)}),
                        glx::Render("Vertex2fv", {F(0), F(1)}), glx::Render("End")}));
    EXPECT_EQ(Cmd(GLCMD_DELETECONTEXT, 0, {dhrc_}), 1);
    dhrc_ = 0;
}

}  // namespace
