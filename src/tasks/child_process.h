#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace velquist {

struct ChildLimits {
    std::uint64_t memoryBytes = 0; // address-space limit; 0 leaves it unlimited
    std::chrono::milliseconds wallClock{std::chrono::minutes(10)};
};

struct ChildResult {
    bool started = false;
    int startError = 0; // errno of the failed start
    bool exited = false;
    int exitCode = -1;
    int signal = 0;
    bool timedOut = false;
    bool cancelled = false;
    std::string lastErrorLine; // last non-empty line on the child's stderr, made printable
};

// Runs argv (argv[0] is a path; no shell, no PATH search) as a child in its own process
// group, with stdin from /dev/null, no inherited descriptors beyond 0-2, no core dumps,
// the memory limit, and death on the parent's exit. Its stdout and stderr lines are
// forwarded to ours as they arrive (control characters replaced, volume capped). The child
// and anything it started are killed when the wall clock runs out or cancel turns true.
ChildResult RunChildProcess(const std::vector<std::string>& argv, const ChildLimits& limits,
                            const std::atomic<bool>& cancel);

} // namespace velquist
