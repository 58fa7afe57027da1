#pragma once

#include "child_process.h"
#include "job_runner.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace velquist {

// Enough address space for a 200-megapixel photo decoded to 16 bits per channel with alpha.
constexpr std::uint64_t kDefaultWorkerMemoryLimit = std::uint64_t{4} << 30;
// The most any file may take: the engine's limit for a file follows its size within it.
// Stays below the age at which a temporary file counts as left behind by a killed run.
constexpr std::chrono::milliseconds kDefaultWorkerTimeLimit = std::chrono::minutes(10);

// Address space a worker needs beside the pixels of its estimate: libraries, thread
// stacks and the allocator's reservations.
constexpr std::uint64_t kWorkerAddressHeadroom = std::uint64_t{1} << 30;
// A worker's limit for a file with an estimate is a whole number of these.
constexpr std::uint64_t kWorkerLimitStep = std::uint64_t{512} << 20;

// A long-lived worker that keeps more than this resident after a file is replaced: memory it
// holds between files is outside what the admission counts. A 12-megapixel photo leaves
// far less behind.
constexpr std::uint64_t kDefaultRecycleResident = std::uint64_t{384} << 20;
constexpr std::chrono::milliseconds kDefaultWorkerIdleLife = std::chrono::seconds(30);

struct WorkerOptions {
    // argv prefix of the worker, e.g. {"/usr/bin/velquist-convert"}; the one-shot job
    // appends "--worker" and writes its request (conversion_request.h) to the worker's
    // standard input, the long-lived worker gets "--worker-loop".
    std::vector<std::string> command;
    // For a job without an estimate; a job with one gets the estimate plus the headroom.
    std::uint64_t memoryLimitBytes = kDefaultWorkerMemoryLimit; // 0: unlimited
    std::chrono::milliseconds timeLimit = kDefaultWorkerTimeLimit;
    // Long-lived workers only: the resident memory after a file that ends the worker, and
    // how long a worker may wait for its next file.
    std::uint64_t recycleResidentBytes = kDefaultRecycleResident;
    std::chrono::milliseconds idleLife = kDefaultWorkerIdleLife;
};

// Runs each conversion in a worker process, so that a decoder that crashes, hangs or
// exhausts memory on one file fails that file only.
class ProcessJobRunner : public JobRunner {
  public:
    explicit ProcessJobRunner(WorkerOptions options) : options_(std::move(options)) {}
    JobOutcome Run(const ConvertTask& task, const std::atomic<bool>& cancel) override;

    std::vector<std::string> WorkerArguments() const;

  private:
    WorkerOptions options_;
};

// The address-space limit of the worker for a job with the given estimate (0: unknown).
std::uint64_t WorkerMemoryLimit(const WorkerOptions& options, std::uint64_t estimate);
// The task's own time limit when the engine gave it one, within the runner's.
std::chrono::milliseconds WorkerTimeLimit(const WorkerOptions& options, const ConvertTask& task);

// What a job whose worker met its time limit ends with.
JobOutcome TimedOutOutcome();

// Why a finished child counts as failed, or empty when it succeeded. A worker that exits
// 0 without leaving the output file behind has failed, whatever it said.
std::string DescribeFailure(const ChildResult& result, const ChildLimits& limits,
                            const std::string& outputPath);

} // namespace velquist
