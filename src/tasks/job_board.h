#pragma once

#include "convert/task_status.h"
#include "memory_budget.h"
#include "task_owner.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
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
    // False when jobs are still active after the wait.
    bool WaitUntilIdle(std::chrono::milliseconds wait);

    // Hands a job's status to the owner, unless the engine has let the owner go.
    bool Post(TaskOwner* owner, int id, TaskStatus status);
    // From now on no job reaches the owner: an engine torn down while some job still ends
    // its worker leaves it this way, and its owner may go.
    void ReleaseOwner();

    // kind: the reason the window names its own way (too large, timed out), if any.
    void SetReason(int id, std::string reason, FailureKind kind = FailureKind::kOther);
    std::string Reason(int id) const;
    FailureKind Kind(int id) const;

    // The final status of each id's last run.
    void SetStatus(int id, TaskStatus status);
    std::optional<TaskStatus> Status(int id) const;
    void ForgetStatus(int id);

  private:
    mutable std::mutex mutex_;
    std::condition_variable idle_;
    std::size_t active_ = 0;
    std::mutex ownerMutex_;
    bool ownerReleased_ = false; // under ownerMutex_
    std::map<int, std::string> reasons_;
    std::map<int, FailureKind> kinds_;
    std::map<int, TaskStatus> statuses_;
};

} // namespace velquist
