#pragma once

#include "convert/task_status.h"

#include <cstdint>

namespace velquist {

// One status post. A job allocates a fresh record for every post; the receiver frees it.
struct TaskStatusReport {
    std::int32_t task_id = 0;
    std::int32_t status = kTaskProcessing;
};

// Whoever receives a job's status posts: the main window (through its window messages),
// the command-line converter and the tests (through a queue). PostTaskStatus takes
// ownership of the record when it returns true; on false the caller frees it.
class TaskOwner {
  public:
    virtual ~TaskOwner() = default;
    virtual bool PostTaskStatus(TaskStatusReport* report) = 0;
};

} // namespace velquist
