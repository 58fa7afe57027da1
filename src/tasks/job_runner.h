#pragma once

#include "convert/convert_task.h"

#include <atomic>
#include <string>

namespace velquist {

// What one job ended with. reason is empty on success; on failure it is the diagnostic
// that best explains it (for the command-line summary).
struct JobOutcome {
    TaskStatus status = kTaskFailed;
    std::string reason;
    FailureKind kind = FailureKind::kOther;
};

// Runs one conversion on the calling job thread. cancel turns true when the engine shuts
// down; a runner that can stop early does so and reports failure.
class JobRunner {
  public:
    virtual ~JobRunner() = default;
    virtual JobOutcome Run(const ConvertTask& task, const std::atomic<bool>& cancel) = 0;
};

} // namespace velquist
