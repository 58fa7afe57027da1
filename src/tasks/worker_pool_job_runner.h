#pragma once

#include "job_runner.h"
#include "process_job_runner.h"
#include "worker_process.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace velquist {

// Runs conversions in long-lived worker processes: every job slot keeps its worker from file
// to file, so process start, library loading and the first touch of fresh buffers are paid
// once per slot instead of once per file. Isolation stays per file: a worker that crashes,
// overruns its time, breaks the protocol or fails a file is ended, and the next file starts
// in a fresh one. A worker that keeps much memory resident after a file is ended too.
//
// Memory: before each file the worker's address-space limit is set to what a fresh
// worker for that file would get (the file's estimate plus the headroom), so the admission's
// per-file guard holds whatever the worker converted before. A worker that already maps more
// than the headroom after a file is ended, so the file in hand always finds its estimate free.
class WorkerPoolJobRunner : public JobRunner {
  public:
    explicit WorkerPoolJobRunner(WorkerOptions options);
    ~WorkerPoolJobRunner() override;
    JobOutcome Run(const ConvertTask& task, const std::atomic<bool>& cancel) override;

    std::size_t WorkersStarted() const { return started_; }
    std::size_t WorkersRecycled() const { return recycled_; }
    std::size_t IdleWorkers() const;
    // Ends the workers waiting for a file (a stopped batch leaves none behind).
    void EndIdleWorkers();

  private:
    std::unique_ptr<WorkerProcess> TakeWorker(std::uint64_t memoryLimit, std::string* error);
    std::unique_ptr<WorkerProcess> StartWorker(std::uint64_t memoryLimit, std::string* error);
    std::unique_ptr<WorkerProcess> SendRequest(std::unique_ptr<WorkerProcess> worker,
                                               const ConvertTask& task, std::uint64_t memoryLimit,
                                               std::string* error);
    JobOutcome Conclude(std::unique_ptr<WorkerProcess> worker, WorkerProcess::Answer answer,
                        const ConvertTask& task, const ChildLimits& limits,
                        const std::atomic<bool>& cancel);
    void KeepOrRecycle(std::unique_ptr<WorkerProcess> worker, const std::atomic<bool>& cancel);
    void EndLongIdleWorkers();

    WorkerOptions options_;
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<WorkerProcess>> idle_; // the last one is the warmest
    std::atomic<std::size_t> started_{0};
    std::atomic<std::size_t> recycled_{0};
    ProcessLauncher launcher_; // last: its thread calls back into the members above
};

} // namespace velquist
