// The board models tests run on: rasterizers per board and boards (two
// boards drive two screens side by side).
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace vnx::test {

struct BoardModel {
    const char* name;
    int rasterizers;
    int boards;
};
inline void PrintTo(const BoardModel& m, std::ostream* os) { *os << m.name; }

inline constexpr BoardModel kSolo{"Solo", 1, 1};
inline constexpr BoardModel kDuo{"Duo", 2, 1};
inline constexpr BoardModel kQuad{"Quad", 4, 1};
inline constexpr BoardModel kSplitSolo{"SplitSolo", 1, 2};
inline constexpr BoardModel kSplitDuo{"SplitDuo", 2, 2};
inline constexpr BoardModel kSplitQuad{"SplitQuad", 4, 2};
// Every model, for tests that run on each.
inline constexpr BoardModel kBoardModels[] = {kSolo,      kDuo,      kQuad,
                                              kSplitSolo, kSplitDuo, kSplitQuad};
// The name of a parameterised test on a board model.
inline std::string BoardModelName(const ::testing::TestParamInfo<BoardModel>& info) {
    return info.param.name;
}

}  // namespace vnx::test
