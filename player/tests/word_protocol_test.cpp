#include "player/word_protocol.h"

#include <gtest/gtest.h>

namespace player {
namespace {

TEST(WordProtocol, UnitsRoundUp) {
    EXPECT_EQ(UnitCount(528), 9u);
    EXPECT_EQ(UnitCount(528 * 32), 264u);
    EXPECT_EQ(RoundUpToUnits(3), 64u);
    EXPECT_EQ(RoundUpToUnits(1536), 1536u);
}

}  // namespace
}  // namespace player
