#pragma once

#include <cstdint>

namespace velquist {

// Window message a conversion job posts to its owner (WM_USER + 240).
constexpr unsigned kMsgTaskStatus = 0x0400 + 240;

enum TaskStatus : std::int32_t {
    kTaskProcessing = 0,
    kTaskFailed = 1,
    kTaskSucceeded = 2,
};

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
