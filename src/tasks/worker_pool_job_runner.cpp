#include "worker_pool_job_runner.h"

#include "conversion_request.h"
#include "convert/atomic_output_file.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

namespace velquist {
namespace {

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string StartFailure(int error) {
    return std::string("cannot start the worker: ") + std::strerror(error);
}

// Why the file failed when its worker gave no usable answer.
std::string DescribeLoss(WorkerProcess::Outcome outcome, ChildResult end, const ChildLimits& limits,
                         const std::string& outputPath) {
    if (outcome == WorkerProcess::Outcome::kInvalid) {
        return "worker sent an invalid answer";
    }
    end.timedOut = outcome == WorkerProcess::Outcome::kTimedOut;
    end.cancelled = outcome == WorkerProcess::Outcome::kCancelled;
    if (!end.timedOut && !end.cancelled && end.exited && end.exitCode == 0) {
        return "worker ended without an answer";
    }
    return DescribeFailure(end, limits, outputPath);
}

// A worker's word on why it failed; a number it does not know of says nothing.
FailureKind KindOf(const std::string& field) {
    if (field.size() != 1 || field[0] < '0' || field[0] - '0' > kLastFailureKind) {
        return FailureKind::kOther;
    }
    return static_cast<FailureKind>(field[0] - '0');
}

} // namespace

WorkerPoolJobRunner::WorkerPoolJobRunner(WorkerOptions options)
    : options_(std::move(options)),
      launcher_([this] { EndLongIdleWorkers(); },
                std::clamp(options_.idleLife / 4, std::chrono::milliseconds(20),
                           std::chrono::milliseconds(1000))) {}

WorkerPoolJobRunner::~WorkerPoolJobRunner() {
    launcher_.Stop();
    EndIdleWorkers();
}

std::size_t WorkerPoolJobRunner::IdleWorkers() const {
    std::lock_guard lock(mutex_);
    return idle_.size();
}

void WorkerPoolJobRunner::EndIdleWorkers() {
    std::vector<std::unique_ptr<WorkerProcess>> ending;
    {
        std::lock_guard lock(mutex_);
        ending.swap(idle_);
    }
    // Destroying them ends them, outside the lock: reaping may take a moment.
}

void WorkerPoolJobRunner::EndLongIdleWorkers() {
    std::vector<std::unique_ptr<WorkerProcess>> ending;
    const auto oldest = WorkerProcess::Clock::now() - options_.idleLife;
    {
        std::lock_guard lock(mutex_);
        for (auto it = idle_.begin(); it != idle_.end();) {
            if ((*it)->LastUsed() < oldest) {
                ending.push_back(std::move(*it));
                it = idle_.erase(it);
            } else {
                ++it;
            }
        }
    }
}

std::unique_ptr<WorkerProcess> WorkerPoolJobRunner::StartWorker(std::uint64_t memoryLimit,
                                                                std::string* error) {
    std::vector<std::string> argv = options_.command;
    argv.push_back(kWorkerLoopFlag);
    int startError = 0;
    auto worker = WorkerProcess::Start(argv, memoryLimit, launcher_, &startError);
    if (!worker) {
        *error = StartFailure(startError);
        return nullptr;
    }
    ++started_;
    return worker;
}

std::unique_ptr<WorkerProcess> WorkerPoolJobRunner::TakeWorker(std::uint64_t memoryLimit,
                                                               std::string* error) {
    for (;;) {
        std::unique_ptr<WorkerProcess> worker;
        {
            std::lock_guard lock(mutex_);
            if (idle_.empty()) {
                break;
            }
            worker = std::move(idle_.back());
            idle_.pop_back();
        }
        // One that died while waiting, or whose limit cannot follow this file, is replaced.
        if (!worker->HasEnded() && worker->SetMemoryLimit(memoryLimit)) {
            return worker;
        }
    }
    return StartWorker(memoryLimit, error);
}

std::unique_ptr<WorkerProcess>
WorkerPoolJobRunner::SendRequest(std::unique_ptr<WorkerProcess> worker, const ConvertTask& task,
                                 std::uint64_t memoryLimit, std::string* error) {
    const std::vector<std::string> fields = ConversionRequestFields(task);
    if (worker->Send(fields)) {
        return worker;
    }
    // It went between its last file and this one: the file is not its fault.
    worker.reset();
    worker = StartWorker(memoryLimit, error);
    if (worker && !worker->Send(fields)) {
        *error = "the worker ended before it took the file";
        worker.reset();
    }
    return worker;
}

JobOutcome WorkerPoolJobRunner::Run(const ConvertTask& task, const std::atomic<bool>& cancel) {
    const ChildLimits limits{WorkerMemoryLimit(options_, task.memoryEstimate),
                             WorkerTimeLimit(options_, task)};
    std::string error;
    std::unique_ptr<WorkerProcess> worker = TakeWorker(limits.memoryBytes, &error);
    if (worker) {
        worker = SendRequest(std::move(worker), task, limits.memoryBytes, &error);
    }
    if (!worker) {
        return {kTaskFailed, error};
    }
    WorkerProcess::Answer answer =
        worker->Await(WorkerProcess::Clock::now() + limits.wallClock, cancel);
    return Conclude(std::move(worker), std::move(answer), task, limits, cancel);
}

JobOutcome WorkerPoolJobRunner::Conclude(std::unique_ptr<WorkerProcess> worker,
                                         WorkerProcess::Answer answer, const ConvertTask& task,
                                         const ChildLimits& limits,
                                         const std::atomic<bool>& cancel) {
    std::string reason;
    FailureKind kind = FailureKind::kOther;
    if (answer.outcome == WorkerProcess::Outcome::kAnswered) {
        const std::vector<std::string>& fields = answer.fields;
        if (fields.size() == 1 && fields[0] == kAnswerConverted) {
            if (IsRegularFile(task.outputPath)) {
                KeepOrRecycle(std::move(worker), cancel);
                return {kTaskSucceeded, {}};
            }
            reason = "worker reported success but wrote no output file";
        } else if ((fields.size() == 2 || fields.size() == 3) && fields[0] == kAnswerFailed) {
            reason = fields[1].empty() ? "conversion failed" : PrintableReason(fields[1]);
            kind = fields.size() == 3 ? KindOf(fields[2]) : FailureKind::kOther;
        } else {
            reason = "worker sent an invalid answer";
        }
        // After any failure the next file gets a fresh worker.
        worker->End();
    } else {
        reason = DescribeLoss(answer.outcome, worker->End(), limits, task.outputPath);
        if (answer.outcome == WorkerProcess::Outcome::kCancelled) {
            EndIdleWorkers();
        }
        if (answer.outcome == WorkerProcess::Outcome::kTimedOut) {
            kind = FailureKind::kTimedOut;
        }
    }
    // A worker ended mid-write on a file system without unnamed files leaves its named
    // temporary file; this job owns the output name, so it goes now.
    SweepTemporaryFiles(task.outputPath, std::chrono::seconds(0));
    return {kTaskFailed, std::move(reason), kind};
}

void WorkerPoolJobRunner::KeepOrRecycle(std::unique_ptr<WorkerProcess> worker,
                                        const std::atomic<bool>& cancel) {
    ChildMemory memory;
    const bool measured = worker->ReadMemory(&memory);
    const bool holdsTooMuch = !measured || memory.residentBytes > options_.recycleResidentBytes;
    // Under an address-space limit, a worker mapping more than the headroom could fail the
    // next file's estimate through what it kept.
    const bool mapsTooMuch =
        options_.memoryLimitBytes != 0 && memory.mappedBytes > kWorkerAddressHeadroom;
    if (cancel) {
        return;
    }
    if (holdsTooMuch || mapsTooMuch) {
        ++recycled_;
        return; // ended with the object
    }
    worker->MarkUsed();
    std::lock_guard lock(mutex_);
    idle_.push_back(std::move(worker));
}

} // namespace velquist
