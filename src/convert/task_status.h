#pragma once

#include <cstdint>

namespace velquist {

// Where one conversion stands; the numbers travel in status posts and exit reports.
enum TaskStatus : std::int32_t {
    kTaskProcessing = 0,
    kTaskFailed = 1,
    kTaskSucceeded = 2,
};

} // namespace velquist
