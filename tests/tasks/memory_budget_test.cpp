#include "tasks/memory_budget.h"

#include <chrono>
#include <future>
#include <gtest/gtest.h>

namespace velquist {
namespace {

using namespace std::chrono_literals;

TEST(MemoryBudget, AJobWaitsUntilItsMemoryFitsBesideTheRunningOnes) {
    MemoryBudget budget;
    budget.Reset(100);
    const std::atomic<bool> cancel{false};
    EXPECT_EQ(budget.Acquire(60, cancel), MemoryBudget::Admission::kAdmitted);
    auto second = std::async(std::launch::async, [&] { return budget.Acquire(60, cancel); });
    EXPECT_EQ(second.wait_for(200ms), std::future_status::timeout) << "60 + 60 exceed 100";
    EXPECT_EQ(budget.Acquire(40, cancel), MemoryBudget::Admission::kAdmitted) << "60 + 40 fit";
    budget.Release(60);
    budget.Release(40);
    EXPECT_EQ(second.get(), MemoryBudget::Admission::kAdmitted);
}

TEST(MemoryBudget, MoreThanTheWholeBudgetFailsAtOnceAndCancelEndsTheWait) {
    MemoryBudget budget;
    budget.Reset(100);
    std::atomic<bool> cancel{false};
    EXPECT_EQ(budget.Acquire(101, cancel), MemoryBudget::Admission::kTooLarge);
    EXPECT_EQ(budget.Acquire(100, cancel), MemoryBudget::Admission::kAdmitted);
    auto waiting = std::async(std::launch::async, [&] { return budget.Acquire(1, cancel); });
    EXPECT_EQ(waiting.wait_for(100ms), std::future_status::timeout);
    cancel = true;
    EXPECT_EQ(waiting.get(), MemoryBudget::Admission::kCancelled);
}

TEST(MemoryBudget, TheDefaultIsHalfOfWhatTheMachineHasAvailable) {
    const std::uint64_t available = AvailableMemory();
    ASSERT_GT(available, 0u) << "/proc/meminfo has MemAvailable on Linux";
    const std::uint64_t budget = DefaultMemoryBudget();
    EXPECT_GT(budget, 0u);
    EXPECT_LE(budget, available);
}

} // namespace
} // namespace velquist
