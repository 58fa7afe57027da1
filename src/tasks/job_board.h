#pragma once

#include "convert/task_status.h"
#include "memory_budget.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace velquist {

// What the engine and its detached job threads share. Each job holds a reference, so the
// board outlives an engine that is torn down while a job thread finishes its last steps.
class JobBoard {
  public:
    MemoryBudget memory;

    void Enter();
    void Leave();
    void WaitUntilIdle();

    // tooLarge: the job was refused for its memory, which the window names its own way.
    void SetReason(int id, std::string reason, bool tooLarge = false);
    std::string Reason(int id) const;
    bool TooLarge(int id) const;

    // The final status of each id's last run.
    void SetStatus(int id, TaskStatus status);
    std::optional<TaskStatus> Status(int id) const;
    void ForgetStatus(int id);

  private:
    mutable std::mutex mutex_;
    std::condition_variable idle_;
    std::size_t active_ = 0;
    std::map<int, std::string> reasons_;
    std::set<int> tooLarge_;
    std::map<int, TaskStatus> statuses_;
};

} // namespace velquist
