#include "decode/hevc_nal.h"

#include <gtest/gtest.h>
#include <vector>

namespace velquist {
namespace {

TEST(HevcNal, SplitsLengthPrefixedUnitsAndWritesStartCodes) {
    const std::vector<uint8_t> data = {0, 0, 0, 2, 0x40, 0x01, 0, 0, 0, 0, 0, 0, 0, 3, 0x26, 1, 2};
    std::vector<NalUnit> units;
    ASSERT_TRUE(SplitLengthPrefixed(data, &units));
    ASSERT_EQ(units.size(), 2u); // the empty unit is dropped
    EXPECT_EQ(units[0].size, 2u);
    EXPECT_EQ(units[1].data[0], 0x26);
    const std::vector<uint8_t> expected = {0, 0, 0, 1, 0x40, 0x01, 0, 0, 0, 1, 0x26, 1, 2};
    EXPECT_EQ(ToAnnexB(units), expected);
}

TEST(HevcNal, RejectsLengthsThatRunPastTheEnd) {
    std::vector<NalUnit> units;
    EXPECT_FALSE(SplitLengthPrefixed({0, 0, 0, 5, 1, 2}, &units));
    EXPECT_FALSE(SplitLengthPrefixed({0, 0, 0, 1, 7, 0, 0}, &units));
    EXPECT_FALSE(SplitLengthPrefixed({0xff, 0xff, 0xff, 0xff, 1}, &units));
    EXPECT_FALSE(SplitLengthPrefixed({}, &units));
}

} // namespace
} // namespace velquist
