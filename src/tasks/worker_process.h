#pragma once

#include "child_process.h"
#include "line_forwarder.h"
#include "util/handles.h"
#include "worker_protocol.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velquist {

// Starts children from one thread that lives as long as this object. A child dies with the
// thread that started it (its parent-death signal follows the thread), and the engine's job
// threads end after every file, so long-lived workers must not be started from them.
class ProcessLauncher {
  public:
    // idle runs on the launcher's thread about every period while it has nothing to start.
    ProcessLauncher(std::function<void()> idle, std::chrono::milliseconds period);
    ~ProcessLauncher();
    ProcessLauncher(const ProcessLauncher&) = delete;
    ProcessLauncher& operator=(const ProcessLauncher&) = delete;

    StartedChild Start(const std::vector<std::string>& argv, const ChildLimits& limits,
                       const ChildStdio& stdio);
    // Ends the thread; children it started get their parent-death signal.
    void Stop();

  private:
    void Loop();

    std::function<void()> idle_;
    std::chrono::milliseconds period_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::packaged_task<StartedChild()>> queue_;
    bool stopping_ = false;
    std::thread thread_;
};

// One worker process that converts file after file: requests go to it over a socket, its
// answers come back over the same socket (its descriptor 3), and its standard output and
// error are passed on line by line while a file is in hand.
class WorkerProcess {
  public:
    using Clock = std::chrono::steady_clock;

    // argv already holds the loop flag. Nothing (and *error set to an errno) when it failed.
    static std::unique_ptr<WorkerProcess> Start(const std::vector<std::string>& argv,
                                                std::uint64_t memoryLimit,
                                                ProcessLauncher& launcher, int* error);
    ~WorkerProcess();
    WorkerProcess(const WorkerProcess&) = delete;
    WorkerProcess& operator=(const WorkerProcess&) = delete;

    pid_t Pid() const { return pid_; }
    bool HasEnded() const;
    // The (hard) address-space limit for the next file (0: unlimited); false when refused.
    bool SetMemoryLimit(std::uint64_t bytes);
    bool ReadMemory(ChildMemory* memory) const;

    // Hands the worker one request; false when it can take none (it has gone).
    bool Send(const std::vector<std::string>& fields);

    enum class Outcome { kAnswered, kLost, kTimedOut, kCancelled, kInvalid };
    struct Answer {
        Outcome outcome = Outcome::kLost;
        std::vector<std::string> fields;
    };
    // Waits for the answer to the request sent last, passing the worker's output on.
    Answer Await(Clock::time_point deadline, const std::atomic<bool>& cancel);

    // Kills the worker with its process group and reaps it; the result carries the last
    // diagnostic line of the file in hand. Further calls return the first result.
    ChildResult End();

    // Time the worker last finished a file (or started), for ending idle ones.
    Clock::time_point LastUsed() const { return lastUsed_; }
    void MarkUsed() { lastUsed_ = Clock::now(); }

  private:
    WorkerProcess(pid_t pid, UniqueFd channel, UniqueFd out, UniqueFd err);
    // Reads what the three streams hold now; false once the channel has closed.
    bool ReadAvailable(bool channelReady, bool outReady, bool errReady);
    void DrainOutput(std::chrono::milliseconds wait);

    pid_t pid_;
    UniqueFd channel_;
    UniqueFd out_;
    UniqueFd err_;
    LineForwarder outLines_{stdout};
    LineForwarder errLines_{stderr};
    RecordReader answers_;
    bool ended_ = false;
    ChildResult end_;
    Clock::time_point lastUsed_;
};

// A worker's answer text made safe to show: control characters replaced, length capped.
std::string PrintableReason(const std::string& text);

} // namespace velquist
