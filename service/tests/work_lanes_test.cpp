// How the workers are shared: addresses take turns, one phone number's
// password checks never run side by side, and stopping answers what waits.
#include "work_lanes.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velquist::service::testing {
namespace {

using Kind = WorkLanes::Kind;

// What the tasks did, in order, and a gate that holds the first of them.
class Journal {
  public:
    WorkLanes::Task Held(const std::string& name) {
        return [this, name](bool run) {
            Note(name + (run ? "" : " dropped"));
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return open_; });
        };
    }
    WorkLanes::Task Quick(const std::string& name) {
        return [this, name](bool run) { Note(name + (run ? "" : " dropped")); };
    }
    void Open() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    // Waits until `count` entries are in (a generous bound against hangs).
    std::vector<std::string> WaitFor(std::size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(10), [&] { return entries_.size() >= count; });
        return entries_;
    }
    std::vector<std::string> Now() {
        std::lock_guard<std::mutex> lock(mutex_);
        return entries_;
    }

  private:
    void Note(const std::string& entry) {
        std::lock_guard<std::mutex> lock(mutex_);
        entries_.push_back(entry);
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> entries_;
    bool open_ = false;
};

std::size_t PositionOf(const std::vector<std::string>& order, const std::string& name) {
    return static_cast<std::size_t>(std::find(order.begin(), order.end(), name) - order.begin());
}

TEST(WorkLanes, AnotherAddressWaitsBehindOneTaskOfABusyOneAtMost) {
    Journal journal;
    WorkLanes lanes({1, 1, 1});
    lanes.Submit(Kind::kHash, "10.0.0.1", "", journal.Held("a0"));
    journal.WaitFor(1);
    for (int i = 1; i <= 5; ++i) {
        lanes.Submit(Kind::kHash, "10.0.0.1", "", journal.Quick("a" + std::to_string(i)));
    }
    lanes.Submit(Kind::kHash, "10.0.0.2", "", journal.Quick("b0"));
    journal.Open();
    const auto order = journal.WaitFor(7);
    ASSERT_EQ(order.size(), 7u);
    EXPECT_LE(PositionOf(order, "b0"), 2u);
}

TEST(WorkLanes, OnePhoneIsCheckedOnceAtATimeAndOthersPassIt) {
    Journal journal;
    WorkLanes lanes({2, 1, 2});
    lanes.Submit(Kind::kHash, "10.0.0.1", "13800000001", journal.Held("first"));
    journal.WaitFor(1);
    lanes.Submit(Kind::kHash, "10.0.0.2", "13800000001", journal.Quick("same phone"));
    lanes.Submit(Kind::kHash, "10.0.0.3", "13800000002", journal.Quick("other phone"));
    EXPECT_EQ(journal.WaitFor(2).back(), "other phone");
    // Stored work has workers of its own.
    lanes.Submit(Kind::kStore, "10.0.0.1", "", journal.Quick("feedback"));
    EXPECT_EQ(journal.WaitFor(3).back(), "feedback");
    EXPECT_EQ(PositionOf(journal.Now(), "same phone"), journal.Now().size());
    journal.Open();
    EXPECT_EQ(journal.WaitFor(4).back(), "same phone");
}

TEST(WorkLanes, StoppingDropsWhatWaitsAndLetsRunningWorkFinish) {
    Journal journal;
    WorkLanes lanes({1, 1, 1});
    lanes.Submit(Kind::kHash, "10.0.0.1", "", journal.Held("running"));
    journal.WaitFor(1);
    lanes.Submit(Kind::kHash, "10.0.0.2", "", journal.Quick("waiting"));
    std::thread stopper([&lanes] { lanes.Stop(); });
    EXPECT_EQ(journal.WaitFor(2).back(), "waiting dropped");
    journal.Open();
    stopper.join();
    lanes.Submit(Kind::kStore, "10.0.0.3", "", journal.Quick("late"));
    EXPECT_EQ(journal.WaitFor(3).back(), "late dropped");
}

} // namespace
} // namespace velquist::service::testing
