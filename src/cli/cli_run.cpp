#include "cli_run.h"

#include "batch_inputs.h"
#include "batch_run.h"
#include "batch_settings.h"
#include "config/app_paths.h"
#include "convert/convert_task.h"
#include "progress_display.h"
#include "retry_list.h"
#include "tasks/process_job_runner.h"
#include "tasks/worker_fence.h"
#include "tasks/worker_pool_job_runner.h"
#include "util/handles.h"
#include "util/shown_name.h"
#include "util/text.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace velquist {
namespace {

constexpr std::uint64_t kWorkerMemory = WorkerAddressLimit(kDefaultWorkerMemoryLimit);

// The stream our own output goes to, kept apart from the descriptor behind it.
FilePtr Duplicate(int fd) {
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (copy < 0) {
        return nullptr;
    }
    FilePtr file(::fdopen(copy, "w"));
    if (!file) {
        ::close(copy);
    }
    return file;
}

void SilenceDescriptor(int fd) {
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0) {
        return;
    }
    ::dup2(null, fd);
    ::close(null);
}

// Our messages, result lines and summary travel on copies of the original standard
// streams. The engine's bookkeeping lines and the workers' own chatter, which would
// otherwise be passed through to standard output, go nowhere; the workers' diagnostics
// too unless asked for, since every failure's reason is in the summary anyway.
struct Streams {
    FilePtr out;
    FilePtr err;
    bool ok() const { return out && err; }
};

Streams TakeStreams(bool verbose) {
    std::fflush(stdout);
    std::fflush(stderr);
    Streams streams{Duplicate(STDOUT_FILENO), Duplicate(STDERR_FILENO)};
    if (!streams.ok()) {
        return streams;
    }
    SilenceDescriptor(STDOUT_FILENO);
    if (!verbose) {
        SilenceDescriptor(STDERR_FILENO);
    }
    return streams;
}

std::string WorkerProgram(const CliOptions& options, const std::string& program) {
    if (!options.workerCommand.empty()) {
        return options.workerCommand;
    }
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        return std::string(self, static_cast<size_t>(length));
    }
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(program.c_str(), nullptr),
                                                         &std::free);
    return resolved ? std::string(resolved.get()) : program;
}

// Each job slot keeps a long-lived worker. A worker command given for tests takes one file
// per process, with the file on its command line where a wrapper script can see it.
std::shared_ptr<JobRunner> MakeRunner(const CliOptions& options, const std::string& program) {
    WorkerOptions worker{{WorkerProgram(options, program)}, kWorkerMemory, kDefaultWorkerTimeLimit};
    if (!options.workerCommand.empty()) {
        return std::make_shared<ProcessJobRunner>(std::move(worker));
    }
    return std::make_shared<WorkerPoolJobRunner>(std::move(worker));
}

// Empty when the folder exists (or was made) and takes new files, else why not.
std::string PrepareOutputDir(const std::string& dir) {
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        return "cannot create output folder " + QuotedName(dir) + ": " + error.message();
    }
    struct stat info {};
    if (::stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return "output folder " + QuotedName(dir) + " is not a folder";
    }
    if (::access(dir.c_str(), W_OK | X_OK) != 0) {
        return "cannot write to output folder " + QuotedName(dir) + ": " + std::strerror(errno);
    }
    return {};
}

std::FILE* BarStream(const Streams& streams, bool verbose) {
    if (verbose) {
        return nullptr;
    }
    if (::isatty(::fileno(streams.err.get()))) {
        return streams.err.get();
    }
    if (::isatty(::fileno(streams.out.get()))) {
        return streams.out.get();
    }
    return nullptr;
}

// Everything that has to hold before a file is touched; false after one message.
bool CheckBeforeStart(const BatchInputs& inputs, const ConversionSettings& settings, std::FILE* err,
                      const std::string& program) {
    for (const std::string& error : inputs.errors) {
        std::fprintf(err, "%s: %s\n", program.c_str(), error.c_str());
    }
    if (!inputs.errors.empty()) {
        return false;
    }
    if (!settings.outputDir.empty()) {
        const std::string problem = PrepareOutputDir(WideToPath(settings.outputDir));
        if (!problem.empty()) {
            std::fprintf(err, "%s: %s\n", program.c_str(), problem.c_str());
            return false;
        }
    }
    return true;
}

// Only atomics: the watcher below may outlive the run by a moment, up to the process's end.
std::atomic<int> stopSignal{0};
std::atomic<bool> runEnded{false};

// How long an orderly stop may take before the process ends without it. Workers die with
// it (their parent-death signal) and outputs only ever appear complete, so nothing half
// written stays; only the summary is lost.
constexpr std::chrono::milliseconds kStopGrace{600};

sigset_t StopSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

void WatchStopSignals() {
    const sigset_t set = StopSignalSet();
    while (!runEnded) {
        const timespec poll{0, 50'000'000};
        const int signal = ::sigtimedwait(&set, nullptr, &poll);
        if (signal <= 0) {
            continue;
        }
        stopSignal = signal;
        const auto deadline = std::chrono::steady_clock::now() + kStopGrace;
        while (!runEnded && std::chrono::steady_clock::now() < deadline) {
            const timespec step{0, 10'000'000};
            ::nanosleep(&step, nullptr);
        }
        if (!runEnded) {
            ::_exit(128 + signal);
        }
    }
}

// SIGINT and SIGTERM stop the run in order (nothing more starts, running workers are ended,
// the summary is printed) instead of killing it with files half done; and whatever a file
// does, the process ends within kStopGrace of the signal. The signals are blocked before
// any thread starts, so only the watcher takes them.
void CatchStopSignals() {
    const sigset_t set = StopSignalSet();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread(WatchStopSignals).detach();
}

// Marks the run ended when it goes out of scope, after everything the run made is gone.
struct RunEnd {
    ~RunEnd() { runEnded = true; }
};

// The files of the run that are not done: the failed ones, and after a stop also those it
// interrupted or never started.
std::vector<ListedFile> FilesToRetry(const BatchJob& job, const BatchReport& report) {
    std::vector<ListedFile> files;
    for (const int id : report.batch.NotDoneIds()) {
        const std::size_t i = report.fileOf.at(id);
        files.emplace_back(job.files[i], i < job.subFolders.size() ? job.subFolders[i] : "");
    }
    return files;
}

void OfferRetry(std::FILE* out, std::FILE* err, const CliOptions& options,
                const std::string& program, const BatchJob& job, const BatchReport& report) {
    const std::vector<ListedFile> files = FilesToRetry(job, report);
    if (files.empty()) {
        return;
    }
    std::string error;
    const std::string list =
        WriteRetryList(WideToPath(EnsureAppDataDir(L"Morvane/Retry")), files, &error);
    if (list.empty()) {
        std::fprintf(err, "%s: cannot write the list of files to retry: %s\n", program.c_str(),
                     error.c_str());
        return;
    }
    std::fprintf(out, "To convert the %zu file%s not converted again, run:\n  %s\n", files.size(),
                 files.size() == 1 ? "" : "s",
                 RetryCommand(program, options.optionArgs, list).c_str());
    std::fflush(out);
}

// The named inputs, then those of the retry list.
BatchInputs GatherInputs(const CliOptions& options) {
    BatchInputs inputs = CollectInputs(options.inputs, options.recursive);
    if (options.retryFrom.empty()) {
        return inputs;
    }
    std::string error;
    const auto listed = ReadRetryList(options.retryFrom, &error);
    if (!listed) {
        inputs.errors.push_back(error);
    } else {
        AddListedFiles(*listed, &inputs);
    }
    return inputs;
}

} // namespace

int RunConvertMode(const CliOptions& options, const std::string& program) {
    CatchStopSignals();
    const RunEnd runEnd;
    Streams streams = TakeStreams(options.verbose);
    if (!streams.ok()) {
        std::fprintf(stderr, "%s: cannot set up the output streams\n", program.c_str());
        return 2;
    }
    std::FILE* out = streams.out.get();
    std::FILE* err = streams.err.get();
    const BatchInputs inputs = GatherInputs(options);
    const ConversionSettings settings = ResolveSettings(options);
    if (!CheckBeforeStart(inputs, settings, err, program)) {
        return 2;
    }
    for (const std::string& warning : inputs.warnings) {
        std::fprintf(err, "%s: %s\n", program.c_str(), warning.c_str());
    }
    if (options.jobsClamped) {
        std::fprintf(err, "%s: -j reduced to %d, the most files converted at once\n",
                     program.c_str(), kMaxJobs);
    }
    if (inputs.files.empty()) {
        std::fputs("No HEIF files found.\n", out);
        return 0;
    }

    BatchJob job;
    job.files = inputs.files;
    job.subFolders = inputs.subFolders;
    job.settings = settings;
    job.jobs = options.jobs;
    job.memoryBudget = options.memoryBudgetMib << 20;
    job.stop = &stopSignal;
    job.runner = MakeRunner(options, program);
    ProgressDisplay display(out, ::isatty(::fileno(out)) != 0, BarStream(streams, options.verbose));
    const BatchReport report = RunBatch(job, &display);
    display.Clear();
    PrintSummary(out, job, report);
    if (const std::string halt = report.batch.HaltLine(); !halt.empty()) {
        std::fprintf(err, "%s: %s\n", program.c_str(), halt.c_str());
    }
    OfferRetry(out, err, options, program, job, report);
    if (const int signal = stopSignal.load(); signal != 0) {
        return 128 + signal;
    }
    return report.batch.Failed() == 0 ? 0 : 1;
}

} // namespace velquist
