#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <sys/types.h>
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
// group, with stdin from /dev/null (or, when input is given, a pipe holding it and then
// its end), no inherited descriptors beyond 0-2, only the worker's share of our environment
// (worker_fence.h), no core dumps, no gaining of privileges, the memory limit as a hard
// one, and death on the parent's exit. Its stdout and stderr lines are forwarded to ours as
// they arrive (control characters replaced, volume capped). The child and anything it
// started are killed when the wall clock runs out or cancel turns true.
ChildResult RunChildProcess(const std::vector<std::string>& argv, const ChildLimits& limits,
                            const std::atomic<bool>& cancel, const std::string& input = {});

// A child that keeps running beside the caller, who talks to it over `channel` (its
// stdin and stdout; a socket lets the caller write without risking SIGPIPE) and ends it
// with EndChildProcess. Same isolation and memory limit as RunChildProcess; stderr is
// shared with ours; the wall clock is the caller's to watch. The child dies with the
// thread that started it.
struct StartedChild {
    pid_t pid = -1;
    int startError = 0; // errno of the failed start
};
StartedChild StartChildProcess(const std::vector<std::string>& argv, const ChildLimits& limits,
                               int channel);
// True once the child has ended on its own (it stays unreaped until EndChildProcess).
bool ChildHasEnded(pid_t pid);
// Kills the child with its process group and reaps it.
ChildResult EndChildProcess(pid_t pid);

// The descriptors a long-lived child gets: its standard streams and, when extraFd is not
// -1, that one as descriptor 3.
struct ChildStdio {
    int stdinFd = -1;
    int stdoutFd = -1;
    int stderrFd = -1;
    int extraFd = -1;
};
// StartChildProcess with descriptors of the caller's choosing.
StartedChild StartChildProcess(const std::vector<std::string>& argv, const ChildLimits& limits,
                               const ChildStdio& stdio);
// Sets the address-space limit of a running child (0: unlimited), soft and hard alike so
// that the child cannot raise it; false when refused. Raising a hard limit takes
// CAP_SYS_RESOURCE, so without it only lowering succeeds.
bool SetChildMemoryLimit(pid_t pid, std::uint64_t bytes);
// What the child maps and what of it is resident, from /proc; false when it cannot be read.
struct ChildMemory {
    std::uint64_t mappedBytes = 0;
    std::uint64_t residentBytes = 0;
};
bool ReadChildMemory(pid_t pid, ChildMemory* memory);

} // namespace velquist
