#include "process_job_runner.h"

#include "conversion_request.h"
#include "convert/atomic_output_file.h"
#include "worker_protocol.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace velquist {
namespace {

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string WithLastLine(std::string what, const std::string& lastLine) {
    if (!lastLine.empty()) {
        what += ": " + lastLine;
    }
    return what;
}

// strsignal may hand back a shared buffer; the descriptions table is safe on any thread.
std::string SignalName(int signal) {
    const char* name = ::sigdescr_np(signal);
    return name ? name : "unknown signal";
}

} // namespace

std::vector<std::string> ProcessJobRunner::WorkerArguments() const {
    std::vector<std::string> argv = options_.command;
    argv.push_back(kWorkerFlag);
    return argv;
}

std::uint64_t WorkerMemoryLimit(const WorkerOptions& options, std::uint64_t estimate) {
    if (options.memoryLimitBytes == 0 || estimate == 0) {
        return options.memoryLimitBytes;
    }
    // In steps most photos share: a hard limit can be lowered for the next file but raised
    // only with CAP_SYS_RESOURCE, and a worker whose limit cannot follow is replaced.
    const std::uint64_t limit = estimate + kWorkerAddressHeadroom;
    return (limit + kWorkerLimitStep - 1) / kWorkerLimitStep * kWorkerLimitStep;
}

std::chrono::milliseconds WorkerTimeLimit(const WorkerOptions& options, const ConvertTask& task) {
    if (task.timeLimit.count() <= 0) {
        return options.timeLimit;
    }
    return std::min(task.timeLimit, options.timeLimit);
}

JobOutcome TimedOutOutcome() {
    return {kTaskFailed, kTimedOutReason, FailureKind::kTimedOut};
}

JobOutcome ProcessJobRunner::Run(const ConvertTask& task, const std::atomic<bool>& cancel) {
    const ChildLimits limits{WorkerMemoryLimit(options_, task.memoryEstimate),
                             WorkerTimeLimit(options_, task)};
    const ChildResult result =
        RunChildProcess(WorkerArguments(), limits, cancel, EncodeConversionRequest(task));
    std::string reason = DescribeFailure(result, limits, task.outputPath);
    if (reason.empty()) {
        return {kTaskSucceeded, {}};
    }
    if (result.started && (!result.exited || result.exitCode != 0)) {
        // A worker killed mid-write on a file system without unnamed files leaves its
        // named temporary file; this job owns the output name, so it goes now.
        SweepTemporaryFiles(task.outputPath, std::chrono::seconds(0));
    }
    if (result.timedOut && !result.cancelled) {
        return TimedOutOutcome();
    }
    return {kTaskFailed, std::move(reason)};
}

std::string DescribeFailure(const ChildResult& result, const ChildLimits& /*limits*/,
                            const std::string& outputPath) {
    if (!result.started) {
        return std::string("cannot start the worker: ") + std::strerror(result.startError);
    }
    if (result.cancelled) {
        return "conversion cancelled";
    }
    if (result.timedOut) {
        return kTimedOutReason;
    }
    if (result.signal != 0) {
        return WithLastLine("worker killed by signal " + std::to_string(result.signal) + " (" +
                                SignalName(result.signal) + ")",
                            result.lastErrorLine);
    }
    if (result.exitCode != 0) {
        if (!result.lastErrorLine.empty()) {
            return result.lastErrorLine;
        }
        return "worker exited with code " + std::to_string(result.exitCode);
    }
    if (!IsRegularFile(outputPath)) {
        return "worker reported success but wrote no output file";
    }
    return {};
}

} // namespace velquist
