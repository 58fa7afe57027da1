#pragma once

#include "task_owner.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

namespace velquist {

// A TaskOwner for owners without a window: the command-line converter and the tests.
// Reports wait in posting order until Pop takes them.
class StatusQueue : public TaskOwner {
  public:
    bool PostTaskStatus(TaskStatusReport* report) override;

    // The oldest report, or nothing when none arrives within the timeout.
    std::optional<TaskStatusReport> Pop(std::chrono::milliseconds timeout);

  private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::unique_ptr<TaskStatusReport>> reports_;
};

} // namespace velquist
