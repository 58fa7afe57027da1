#pragma once

#include <cstdint>

namespace velquist {

// Where one conversion stands; the numbers travel in status posts and exit reports.
enum TaskStatus : std::int32_t {
    kTaskProcessing = 0,
    kTaskFailed = 1,
    kTaskSucceeded = 2,
    // Not converted because its output file was there already (the "skip" choice).
    kTaskSkipped = 3,
    // Interrupted by a stop before it finished; the entry waits to be started again.
    kTaskStopped = 4,
};

// A status after which the job is over and its task must be finished.
constexpr bool IsFinalStatus(std::int32_t status) {
    return status == kTaskFailed || status == kTaskSucceeded || status == kTaskSkipped ||
           status == kTaskStopped;
}

} // namespace velquist
