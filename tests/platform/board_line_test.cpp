// The board's line primitives (0x03C) against the cosmetic-line rule written
// out in the test: pixels of every octant, negative ends clipped rather than
// wrapped, the clip pair, and lines split over the rasterizers' tiles.
#include <array>
#include <set>

#include "board_stream_util.h"
#include "line_reference.h"

namespace vnx::board::test {
namespace {

constexpr std::uint32_t kPid32 = 0xA000;  // 32 bits a pixel, space 0
constexpr std::uint32_t kCopyPen = 0x10360348;  // register 27 into 13, clipped

// A line end: signed 28.4 x and y packed.
std::uint32_t end(int x, int y) { return std::uint32_t(y) << 16 | (std::uint32_t(x) & 0xFFFF); }

class BoardLineTest : public BoardTest {
protected:
    void boot(const miniport::MachineConfig& cfg = miniport::MachineConfig()) {
        make(cfg);
        for (int r = 0; r < board->rasterizers(); ++r) {
            start(r);
            writers.push_back(writer(r));
            for (std::uint32_t s = 0; s < 4; ++s)
                board->write_register(r, VNX_REG_PAGE_SLOT0 + 4 * s, (s / 2) << 11 | (s % 2) << 5);
        }
    }
    // One line packet with the given clip pair, colour 1, lines a -> b.
    void draw(const std::vector<std::array<int, 4>>& lines, std::uint32_t clipMax = 256u << 16 | 256u,
              std::uint32_t clipMin = 0, std::uint32_t colour = 1) {
        std::vector<std::uint32_t> w = {0x0210103C, std::uint32_t(lines.size()), kPid32, kCopyPen,
                                        clipMin, clipMax, colour};
        for (const auto& l : lines) {
            w.push_back(end(l[0], l[1]));
            w.push_back(end(l[2], l[3]));
        }
        for (int r = 0; r < board->rasterizers(); ++r) {
            writers[size_t(r)].put(w);
            expose(r, writers[size_t(r)].hand_over());
        }
    }
    std::set<ref::Pixel> lit(int cx, int cy) {
        std::set<ref::Pixel> s;
        const auto px = board->read_pixels(0, kPid32, 0, 0, cx, cy);
        for (int y = 0; y < cy; ++y)
            for (int x = 0; x < cx; ++x)
                if (px[size_t(y * cx + x)] != 0) s.insert({x, y});
        return s;
    }
    void TearDown() override {
        if (board) EXPECT_EQ(error_text(), "");
    }
    std::vector<StreamWriter> writers;
};

TEST_F(BoardLineTest, LinesLightThePixelsOfTheRuleInsideTheClip) {
    std::vector<std::array<int, 4>> lines;
    const int fr[] = {0, 5, 8, -8};
    const int dirs[][2] = {{900, 0},  {900, 450},  {900, 900},  {450, 900},  {0, 900},   {-450, 900},
                           {-900, 900}, {-900, 450}, {-900, 0}, {-900, -450}, {-900, -900},
                           {-450, -900}, {0, -900}, {450, -900}, {900, -900}, {900, -450}, {777, 123}};
    for (const auto& d : dirs)
        for (int f : fr) lines.push_back({1600 + f, 1600 + 3 * f / 2, 1600 + f + d[0], 1600 + 3 * f / 2 + d[1]});
    for (int r : {1, 2, 4}) {
        miniport::MachineConfig cfg;
        cfg.rasterizers = r;
        boot(cfg);
        for (const auto& l : lines) {
            // Clipped to [20, 180) x [30, 200).
            draw({l}, 200u << 16 | 180u, 30u << 16 | 20u);
            std::set<ref::Pixel> want;
            for (const ref::Pixel& p : ref::line_pixels(l[0], l[1], l[2], l[3]))
                if (p.first >= 20 && p.first < 180 && p.second >= 30 && p.second < 200) want.insert(p);
            EXPECT_EQ(lit(256, 256), want) << r << " rasterizers, " << l[0] << "," << l[1] << " -> " << l[2]
                                          << "," << l[3];
            draw({l}, 200u << 16 | 180u, 30u << 16 | 20u, 0);  // erased again
        }
        board.reset();
        writers.clear();
    }
}

TEST_F(BoardLineTest, NegativeEndsAreLeftAndAboveNotWrapped) {
    boot();
    // From (-20, -10) px to (40, 20) px: only the part right of and below
    // the origin is drawn; nothing appears at the far side of the space.
    draw({{-320, -160, 640, 320}}, 0xFFFFu << 16 | 0xFFFFu);
    std::set<ref::Pixel> want;
    for (const ref::Pixel& p : ref::line_pixels(-320, -160, 640, 320))
        if (p.first >= 0 && p.second >= 0) want.insert(p);
    EXPECT_EQ(lit(256, 256), want);
    EXPECT_FALSE(want.empty());
    // A line whose ends round to one pixel draws nothing.
    draw({{100, 100, 104, 97}});
    EXPECT_EQ(lit(256, 256), want);
}

}  // namespace
}  // namespace vnx::board::test
