// An application's queries, images and display lists through the system
// OpenGL library and GL/gl.h: the answers come back from the server, the
// images with the application's own pixel-store layout.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "display_boot.h"
#include "escapes.h"
#include "platform/debug.h"
#include "platform/engine.h"
#include "platform/gdi.h"
#include "platform/opengl32.h"
#include "platform/process.h"
#include "platform/windows.h"

namespace {

class AppQueriesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(BootDisplay(&device_));
        app_ = vnx::process::create("app");
        as_ = std::make_unique<vnx::process::Scope>(app_);
        HWND hwnd = vnx::windows::create({0, 0, 64, 64});
        hdc_ = hwnd != nullptr ? GetDC(hwnd) : nullptr;
        ASSERT_NE(hdc_, nullptr);
        ASSERT_GT(DescribePixelFormat(hdc_, 1, 0, nullptr), 0);
        ASSERT_TRUE(SetPixelFormat(hdc_, 1, nullptr));
        hglrc_ = wglCreateContext(hdc_);
        ASSERT_NE(hglrc_, nullptr);
        ASSERT_TRUE(wglMakeCurrent(hdc_, hglrc_));
    }
    void TearDown() override {
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(hglrc_);
        vnx::opengl32::unload_driver();
        ExtEscape(hdc_, ESC_UNLOADGLSERVER, 0, nullptr, 0, nullptr);
        as_.reset();
        vnx::process::terminate(app_);
        device_.reset();
        vnx::debug::clear();
    }
    std::unique_ptr<vnx::engine::Device> device_;
    std::unique_ptr<vnx::process::Scope> as_;
    DWORD app_ = 0;
    HDC hdc_ = nullptr;
    HGLRC hglrc_ = nullptr;
};

TEST_F(AppQueriesTest, StringsListsMapsAndTextures) {
    EXPECT_STREQ(reinterpret_cast<const char*>(glGetString(GL_VENDOR)), "Trelwick Inc.");
    EXPECT_STREQ(reinterpret_cast<const char*>(glGetString(GL_VERSION)), "1.0 2.94");

    const GLuint list = glGenLists(1);
    ASSERT_NE(list, 0u);
    glNewList(list, GL_COMPILE);
    glEndList();
    EXPECT_EQ(glIsList(list), GL_TRUE);
    glCallList(list);
    glDeleteLists(list, 1);
    EXPECT_EQ(glIsList(list), GL_FALSE);

    const GLfloat pts[6] = {1, 2, 3, 4, 5, 6};
    glMap1f(GL_MAP1_VERTEX_3, 0.0f, 1.0f, 3, 2, pts);
    GLfloat back[6] = {};
    glGetMapfv(GL_MAP1_VERTEX_3, GL_COEFF, back);
    EXPECT_EQ(std::vector<GLfloat>(back, back + 6), std::vector<GLfloat>(pts, pts + 6));

    // A 4 x 2 texture given in rows of 5 pixels with one-byte alignment,
    // read back into rows of 5 pixels padded to 4 bytes.
    GLubyte texels[24];
    for (int i = 0; i < 24; ++i) texels[i] = static_cast<GLubyte>(i + 1);
    std::vector<GLubyte> given(30, 0);
    std::memcpy(given.data(), texels, 12);
    std::memcpy(given.data() + 15, texels + 12, 12);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 5);
    glTexImage2D(GL_TEXTURE_2D, 0, 3, 4, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, given.data());
    glPixelStorei(GL_PACK_ROW_LENGTH, 5);
    GLint rowLength = 0;
    glGetIntegerv(GL_PACK_ROW_LENGTH, &rowLength);
    EXPECT_EQ(rowLength, 5);
    std::vector<GLubyte> image(40, 0xEE);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, image.data());
    EXPECT_EQ(std::memcmp(image.data(), texels, 12), 0);
    EXPECT_EQ(image[12], 0xEE);  // the rest of the first row is not the image's
    EXPECT_EQ(std::memcmp(image.data() + 16, texels + 12, 12), 0);  // 15 bytes a row, padded to 16
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    glFinish();
}

}  // namespace
