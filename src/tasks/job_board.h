#pragma once

#include "memory_budget.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <set>
#include <string>

namespace velquist {

// What the engine and its detached job threads share. Each job holds a reference, so the
// board outlives an engine that is torn down while a job thread finishes its last steps.
class JobBoard {
  public:
    std::atomic<bool> cancel{false};
    MemoryBudget memory;

    void Enter();
    void Leave();
    void WaitUntilIdle();

    // tooLarge: the job was refused for its memory, which the window names its own way.
    void SetReason(int id, std::string reason, bool tooLarge = false);
    std::string Reason(int id) const;
    bool TooLarge(int id) const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable idle_;
    std::size_t active_ = 0;
    std::map<int, std::string> reasons_;
    std::set<int> tooLarge_;
};

} // namespace velquist
