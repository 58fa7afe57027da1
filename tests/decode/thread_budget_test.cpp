#include "decode/thread_budget.h"

#include <gtest/gtest.h>

namespace velquist {
namespace {

TEST(ThreadBudget, TilesStayOnTheJobThreadWhenEveryCoreHasAJob) {
    EXPECT_EQ(DecodeThreadsPerJob(3, 2), 0); // the engine's three jobs on two cores
    EXPECT_EQ(DecodeThreadsPerJob(2, 2), 0);
    EXPECT_EQ(DecodeThreadsPerJob(2, 3), 0); // one spare thread each would only be waited for
    EXPECT_EQ(DecodeThreadsPerJob(1, 2), 2);
    EXPECT_EQ(DecodeThreadsPerJob(1, 8), 8);
}

TEST(ThreadBudget, UnknownCoreCountOrNoJobsCountAsOne) {
    EXPECT_EQ(DecodeThreadsPerJob(3, 0), 0);
    EXPECT_EQ(DecodeThreadsPerJob(0, 4), 4);
}

} // namespace
} // namespace velquist
