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

// Why a job failed, where the window names the reason its own way rather than showing the
// diagnostic: a photo too large for the memory budget, a conversion past its time limit, an
// input that cannot be read or is no HEIF file, an output that cannot be written. The
// numbers travel in the worker's answers.
enum class FailureKind : std::int32_t {
    kOther = 0,
    kTooLarge = 1,
    kTimedOut = 2,
    kNotHeic = 3,
    kUnreadable = 4,
    kDiskFull = 5,
    kCannotWrite = 6,
    kOutputFolderGone = 7,
};
inline constexpr std::int32_t kLastFailureKind = 7;
// The reason of a conversion ended at its time limit.
inline constexpr char kTimedOutReason[] = "timed out";

// A status after which the job is over and its task must be finished.
constexpr bool IsFinalStatus(std::int32_t status) {
    return status == kTaskFailed || status == kTaskSucceeded || status == kTaskSkipped ||
           status == kTaskStopped;
}

} // namespace velquist
