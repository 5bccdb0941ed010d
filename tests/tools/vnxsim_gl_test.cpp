// vnxsim's OpenGL programs: the scene and every example run through the
// client driver on the board model in a window on the desktop; the run
// succeeds, names the program drawn, counts 3D packets on every rasterizer,
// and the picture shows the scene.
#include <gtest/gtest.h>
#include <png.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <regex>
#include <set>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

struct VnxsimRun {
    int status = -1;
    std::string out;
};

// Runs vnxsim with the arguments; its standard output and exit status.
VnxsimRun RunVnxsim(const std::string& args) {
    VnxsimRun run;
    const std::string command = std::string(VNXSIM_PATH) + " " + args + " 2>&1";
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return run;
    char buf[4096];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) run.out.append(buf, n);
    const int raw = pclose(p);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

// The 3D packets each rasterizer reported, in order (the submatch: 1 all of
// them, 2 the polygon packets among them).
std::vector<unsigned long long> PacketsPerRasterizer(const std::string& out, int submatch = 1) {
    std::vector<unsigned long long> counts;
    const std::regex line(R"(rasterizer \d+ \(board \d+\): (\d+) 3D packets: (\d+) polygons)");
    for (auto it = std::sregex_iterator(out.begin(), out.end(), line); it != std::sregex_iterator();
         ++it)
        counts.push_back(std::stoull((*it)[submatch].str()));
    return counts;
}

struct Picture {
    unsigned width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
    std::uint32_t at(unsigned x, unsigned y) const {
        const std::uint8_t* p = &rgb[3 * (static_cast<size_t>(y) * width + x)];
        return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
    }
};

bool ReadPng(const std::string& path, Picture* pic) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    pic->width = image.width;
    pic->height = image.height;
    pic->rgb.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, pic->rgb.data(), 0, nullptr) != 0;
}

std::string TempPng(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("vnxsim_gl_" + name + "_" + std::to_string(getpid()) + ".png"))
        .string();
}

struct ProgramCase {
    const char* program;
    const char* machine;  // vnxsim options
    int rasterizers;
};
void PrintTo(const ProgramCase& c, std::ostream* os) { *os << c.program << " " << c.machine; }

class VnxsimGlTest : public ::testing::TestWithParam<ProgramCase> {};

// Every program draws on each board model, and every rasterizer carries out
// 3D packets of it (the window spans tiles of all four on a quad).
TEST_P(VnxsimGlTest, DrawsAndCountsPacketsPerRasterizer) {
    const ProgramCase& c = GetParam();
    const VnxsimRun run = RunVnxsim(std::string("--gl ") + c.program + " " + c.machine);
    EXPECT_EQ(run.status, 0) << run.out;
    // The window lies in the middle of the first screen.
    EXPECT_TRUE(std::regex_search(run.out, std::regex(std::string("OpenGL: ") + c.program +
                                                      R"( in a 320x240 window at \(\d+, \d+\): drawn)")))
        << run.out;
    EXPECT_EQ(run.out.find("board error"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("driver unloaded"), std::string::npos) << run.out;
    const std::vector<unsigned long long> counts = PacketsPerRasterizer(run.out);
    ASSERT_EQ(counts.size(), static_cast<size_t>(c.rasterizers)) << run.out;
    for (size_t r = 0; r < counts.size(); ++r) EXPECT_GT(counts[r], 0u) << "rasterizer " << r;
    // The scene's objects reach every rasterizer as polygons.
    if (std::string(c.program) == "scene") {
        const std::vector<unsigned long long> polygons = PacketsPerRasterizer(run.out, 2);
        for (size_t r = 0; r < polygons.size(); ++r) EXPECT_GT(polygons[r], 0u) << "rasterizer " << r;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Programs, VnxsimGlTest,
    ::testing::Values(ProgramCase{"scene", "--mode 640x480x32", 1},
                      ProgramCase{"scene", "--board quad --mode 640x480x16", 4},
                      ProgramCase{"cube", "--mode 640x480x32", 1},
                      ProgramCase{"plot", "--board duo --mode 640x480x16", 2},
                      ProgramCase{"text", "--mode 640x480x32", 1},
                      // The window's buffers leave no page slot for the
                      // server's scratch pixmap: drawn all the same.
                      ProgramCase{"scene", "--boards 2 --board duo --mode 1024x768x32", 4},
                      ProgramCase{"scene", "--mode 800x600x32", 1}),
    [](const ::testing::TestParamInfo<ProgramCase>& info) {
        // The program and the machine's options, spelt with letters and digits.
        std::string name = std::string(info.param.program) + "_" + info.param.machine;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

// The picture holds the scene: the window's clear colour, the caption's
// white letters along its bottom, and the lit objects in shades of more
// than a few colours in its middle; outside the window, the desktop.
TEST(VnxsimGlPicture, ShowsTheScene) {
    const std::string path = TempPng("scene");
    const VnxsimRun run = RunVnxsim("--gl scene --mode 640x480x32 --out " + path);
    ASSERT_EQ(run.status, 0) << run.out;
    Picture pic;
    ASSERT_TRUE(ReadPng(path, &pic));
    std::filesystem::remove(path);
    ASSERT_EQ(pic.width, 640u);
    ASSERT_EQ(pic.height, 480u);
    // The window: (160, 120) to (480, 360); the caption's 17 characters of
    // 6 pixels from x 8, rows 8 to 14 up from the window's bottom.
    const unsigned left = 160, bottom = 360;
    unsigned white = 0;
    for (unsigned y = bottom - 15; y < bottom - 8; ++y)
        for (unsigned x = left + 8; x < left + 8 + 17 * 6; ++x) white += pic.at(x, y) == 0xFFFFFF;
    EXPECT_GT(white, 100u);
    // The clear colour (0.05, 0.05, 0.2) is left in a corner.
    const std::uint32_t corner = pic.at(left + 2, bottom - 2);
    EXPECT_LE((corner >> 16) & 0xFF, 0x10u);
    EXPECT_GE(corner & 0xFF, 0x30u);
    EXPECT_LE(corner & 0xFF, 0x40u);
    // The objects: many shades, red ones and blue ones.
    std::set<std::uint32_t> shades;
    unsigned red = 0, blue = 0;
    for (unsigned y = 160; y < 320; ++y)
        for (unsigned x = 220; x < 420; ++x) {
            const std::uint32_t p = pic.at(x, y);
            shades.insert(p);
            const unsigned r = p >> 16, g = (p >> 8) & 0xFF, b = p & 0xFF;
            red += r > 2 * b + 20 && r > 2 * g;
            blue += b > r + 40 && b > 0x60;
        }
    EXPECT_GT(shades.size(), 10u);
    EXPECT_GT(red, 500u);
    EXPECT_GT(blue, 500u);
}

// Without a GL program the run reports no 3D packets.
TEST(VnxsimGlPicture, NoneDrawsNothing) {
    const VnxsimRun run = RunVnxsim("--gl none --mode 640x480x32");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out.find("3D packets"), std::string::npos) << run.out;
}

}  // namespace
