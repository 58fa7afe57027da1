// The batch converter on 12 copies of one photo, three at a time, against the in-process
// floor (libheif decode plus our encoder on three threads, no engine), ImageMagick and
// libvips run three at a time by xargs, and the same engine with the in-process runner, a
// worker process per file and long-lived workers.
// Peak memory counts the whole batch: the converter plus its workers, sampled together.
#include "cli/batch_run.h"
#include "convert/convert_task.h"
#include "decode/hevc_decoder.h"
#include "decode/thread_budget.h"
#include "tasks/conversion_request.h"
#include "tasks/in_process_job_runner.h"
#include "tasks/process_job_runner.h"
#include "tasks/worker_pool_job_runner.h"
#include "util/text.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Measure {
    double seconds = 0;
    bool ok = false;
    long peakKb = 0; // whole batch, 0 when not measured
    double cpu = 0;  // user + system seconds of all threads and processes involved
};

// CPU time spent by this process and by every child it has waited for. On a machine shared
// with other work it moves far less than the wall clock does.
double CpuSeconds() {
    double total = 0;
    for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        ::getrusage(who, &usage);
        for (const timeval& t : {usage.ru_utime, usage.ru_stime}) {
            total += static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
        }
    }
    return total;
}

template <typename F> Measure WithCpu(F measure) {
    const double before = CpuSeconds();
    Measure m = measure();
    m.cpu = CpuSeconds() - before;
    return m;
}

class NullObserver : public velquist::BatchObserver {
  public:
    void FileDone(const velquist::FileResult&, const velquist::BatchPresenter&) override {}
    void Tick(const velquist::BatchPresenter&) override {}
};

std::vector<std::string> Inputs(const std::string& dir) {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string FreshDir(const std::string& path) {
    fs::remove_all(path);
    fs::create_directories(path);
    return path;
}

// An empty output folder for the next measurement. The outputs of the earlier ones are
// deleted and everything else written is flushed first, so that no measurement pays for
// the write-back of another's hundreds of megabytes.
std::string Settled(const std::string& dir, const std::string& name) {
    fs::remove_all(dir);
    ::sync();
    return FreshDir(dir + "/" + name);
}

bool AllWritten(const std::string& dir, std::size_t count) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {})) == count;
}

// libheif decode and our encoder on three threads, nothing else.
Measure Floor(const std::vector<std::string>& inputs, const std::string& out,
              const std::string& format) {
    std::atomic<std::size_t> next{0};
    std::atomic<bool> ok{true};
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&] {
            for (std::size_t i = next++; i < inputs.size(); i = next++) {
                velquist::ConvertTask task;
                task.inputPath = inputs[i];
                task.outputPath = out + "/" + std::to_string(i) + "." + format;
                task.settings.format =
                    velquist::ParseOutputFormat(format).value_or(velquist::OutputFormat::kJpg);
                // The engine's share of the cores for three jobs at once.
                task.decodeThreads = velquist::DecodeThreadsPerJob(3, velquist::AvailableCores());
                if (velquist::RunConversion(task, false).status != velquist::kTaskSucceeded) {
                    ok = false;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return {SecondsSince(start), ok && AllWritten(out, inputs.size()), 0};
}

Measure Engine(const std::vector<std::string>& inputs, const std::string& out,
               const std::string& format, std::shared_ptr<velquist::JobRunner> runner) {
    velquist::BatchJob job;
    job.files = inputs;
    job.settings = {velquist::ParseOutputFormat(format).value_or(velquist::OutputFormat::kJpg),
                    velquist::kDefaultQuality, true, velquist::PathToWide(out)};
    job.runner = std::move(runner);
    NullObserver observer;
    const auto start = Clock::now();
    const velquist::BatchReport report = velquist::RunBatch(job, &observer);
    return {SecondsSince(start), report.batch.Failed() == 0 && AllWritten(out, inputs.size()), 0};
}

// /proc files are read with stdio: a process that exits while it is being read makes the
// read fail with ESRCH, which an ifstream turns into an exception that ends the benchmark.
std::string ProcFile(const std::string& pid, const char* name) {
    std::unique_ptr<FILE, decltype(&std::fclose)> file(
        std::fopen(("/proc/" + pid + "/" + name).c_str(), "r"), &std::fclose);
    std::string text;
    char buffer[4096];
    size_t count = 0;
    while (file && (count = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        text.append(buffer, count);
    }
    return text;
}

long RssKb(const std::string& pid) {
    const std::string status = ProcFile(pid, "status");
    const auto at = status.find("\nVmRSS:");
    return at == std::string::npos ? 0 : std::strtol(status.c_str() + at + 7, nullptr, 10);
}

pid_t ParentOf(const std::string& pid) {
    const std::string text = ProcFile(pid, "stat");
    const auto close = text.rfind(')');
    if (close == std::string::npos || close + 2 >= text.size()) {
        return 0;
    }
    std::istringstream rest(text.substr(close + 2));
    char state = 0;
    pid_t parent = 0;
    rest >> state >> parent;
    return parent;
}

// The engine and the conversions print their own lines on standard output; the figures
// go to a copy of it taken before it is pointed at /dev/null.
std::FILE* ResultStream() {
    std::fflush(stdout);
    std::FILE* results = ::fdopen(::dup(STDOUT_FILENO), "w");
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::close(null);
    return results ? results : stderr;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// RSS of pid and its direct children (the workers) together.
long TreeRssKb(pid_t pid) {
    long total = RssKb(std::to_string(pid));
    std::unique_ptr<DIR, DirCloser> proc(::opendir("/proc"));
    if (!proc) {
        return total;
    }
    while (const dirent* entry = ::readdir(proc.get())) {
        const std::string name = entry->d_name;
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        if (ParentOf(name) == pid) {
            total += RssKb(name);
        }
    }
    return total;
}

// A child with forceLibde265 decodes HEVC with libheif's own libde265 (the baseline).
pid_t Spawn(std::vector<std::string> args, bool forceLibde265 = false,
            const std::string& stdinPath = {}) {
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        if (!stdinPath.empty()) {
            ::dup2(::open(stdinPath.c_str(), O_RDONLY), 0);
        }
        if (forceLibde265) {
            ::setenv(velquist::kHevcDecoderVariable, "libde265", 1);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

// A child process timed from start to exit. With sample, its tree's RSS is read every
// 10 ms meanwhile; the reading costs CPU, so timed runs go without it.
Measure Process(std::vector<std::string> args, bool sample, bool forceLibde265 = false) {
    const auto start = Clock::now();
    const pid_t pid = Spawn(std::move(args), forceLibde265);
    long peak = 0;
    int status = 0;
    if (!sample) {
        ::waitpid(pid, &status, 0);
    }
    while (sample && ::waitpid(pid, &status, WNOHANG) == 0) {
        peak = std::max(peak, TreeRssKb(pid));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {SecondsSince(start), WIFEXITED(status) && WEXITSTATUS(status) == 0, peak};
}

// Several runs of one measurement: the fastest time, the highest peak.
void Keep(Measure* best, const Measure& run, bool first) {
    if (first) {
        *best = run;
        return;
    }
    best->seconds = std::min(best->seconds, run.seconds);
    best->cpu = std::min(best->cpu, run.cpu);
    best->ok = best->ok && run.ok;
    best->peakKb = std::max(best->peakKb, run.peakKb);
}

// One conversion on its own: the worker's peak RSS. A child's peak starts at what its
// parent had resident when it forked, so this runs before the benchmark's own conversions
// have made it large.
long SingleWorkerPeakKb(const std::string& worker, const std::string& input, const std::string& out,
                        const std::string& format) {
    // The one-shot worker reads its request on standard input.
    velquist::ConvertTask task{input, out};
    task.settings.format = *velquist::ParseOutputFormat(format);
    const std::string request = out + ".request";
    std::ofstream(request, std::ios::binary) << velquist::EncodeConversionRequest(task);
    const pid_t pid = Spawn({worker, "--worker"}, false, request);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    fs::remove(request);
    return usage.ru_maxrss;
}

Measure Shell(const std::string& command) {
    const auto start = Clock::now();
    const int rc = std::system(command.c_str());
    return {SecondsSince(start), rc == 0, 0};
}

std::string PeerCommand(const std::string& tool, const std::string& in, const std::string& out,
                        const std::string& format) {
    const std::string target = "\"" + out + "/$(basename \"$1\" .heic)." + format;
    std::string convert;
    if (tool == "magick") {
        convert =
            "convert \"$1\" " + std::string(format == "jpg" ? "-quality 90 " : "") + target + "\"";
    } else {
        convert = "vips copy \"$1\" " + target + (format == "jpg" ? "[Q=90]" : "") + "\"";
    }
    return "ls \"" + in + "\"/*.heic | xargs -P3 -n1 sh -c '" + convert + "' _ >/dev/null 2>&1";
}

void Row(std::FILE* out, const char* name, const Measure& m, double floor) {
    std::fprintf(out, "  %-28s %7.2f s  %5.2fx floor  cpu %6.2f s%s", name, m.seconds,
                 m.seconds / floor, m.cpu, m.ok ? "" : "  (FAILED)");
    if (m.peakKb > 0) {
        std::fprintf(out, "  peak %.1f MiB", m.peakKb / 1024.0);
    }
    std::fprintf(out, "\n");
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s INPUT.heic [COPIES] [FORMATS] [RUNS]\n", argv[0]);
        return 2;
    }
    velquist::RegisterHevcDecoder();
    const std::string input = argv[1];
    const int copies = argc > 2 ? std::atoi(argv[2]) : 12;
    const std::string formats = argc > 3 ? argv[3] : "jpg,png,bmp";
    const int runs = std::max(1, argc > 4 ? std::atoi(argv[4]) : 1);
    const std::string worker = VELQUIST_CONVERT_BIN;
    const std::string root = FreshDir(
        (fs::temp_directory_path() / ("velquist-batch-bench-" + std::to_string(::getpid())))
            .string());
    const std::string in = FreshDir(root + "/in");
    for (int i = 0; i < copies; ++i) {
        fs::copy_file(input, in + "/photo" + std::to_string(100 + i) + ".heic");
    }
    const std::vector<std::string> inputs = Inputs(in);
    std::map<std::string, long> singleKb;
    std::istringstream early(formats);
    for (std::string format; std::getline(early, format, ',');) {
        singleKb[format] = SingleWorkerPeakKb(worker, input, root + "/single." + format, format);
    }
    std::FILE* out = ResultStream();
    std::fprintf(out, "%d copies of %s, three at a time, %u cores\n", copies, input.c_str(),
                 std::thread::hardware_concurrency());
    std::fprintf(out,
                 "HEVC decoder: %s in the floor and the engine rows, as named in the "
                 "velquist-convert rows\n",
                 velquist::HevcDecoderName());

    const velquist::WorkerOptions workerOptions{
        {worker}, velquist::kDefaultWorkerMemoryLimit, velquist::kDefaultWorkerTimeLimit};
    auto processRunner = std::make_shared<velquist::ProcessJobRunner>(workerOptions);
    auto inProcessRunner = std::make_shared<velquist::InProcessJobRunner>();
    int failures = 0;
    std::istringstream list(formats);
    for (std::string format; std::getline(list, format, ',');) {
        const std::string dir = root + "/out";
        Measure floor, inProcess, workers, longLived, cli, cliDe265, memory, magick, vips;
        // Interleaved runs, so that a burst of load elsewhere spreads over all of them.
        for (int run = 0; run < runs; ++run) {
            const bool first = run == 0;
            std::string to = Settled(dir, "floor");
            Keep(&floor, WithCpu([&] { return Floor(inputs, to, format); }), first);
            to = Settled(dir, "inproc");
            Keep(&inProcess, WithCpu([&] { return Engine(inputs, to, format, inProcessRunner); }),
                 first);
            to = Settled(dir, "workers");
            Keep(&workers, WithCpu([&] { return Engine(inputs, to, format, processRunner); }),
                 first);
            // A pool per batch, ended with it: its workers' CPU time counts once they are reaped.
            to = Settled(dir, "longlived");
            Keep(&longLived, WithCpu([&] {
                return Engine(inputs, to, format,
                              std::make_shared<velquist::WorkerPoolJobRunner>(workerOptions));
            }),
                 first);
            to = Settled(dir, "cli");
            Keep(&cli, WithCpu([&] {
                return Process({worker, "-f", format, "-q", "90", "-o", to, in}, false);
            }),
                 first);
            to = Settled(dir, "cli-libde265");
            Keep(&cliDe265, WithCpu([&] {
                return Process({worker, "-f", format, "-q", "90", "-o", to, in}, false, true);
            }),
                 first);
            std::string command = PeerCommand("magick", in, Settled(dir, "magick"), format);
            Keep(&magick, WithCpu([&] { return Shell(command); }), first);
            command = PeerCommand("vips", in, Settled(dir, "vips"), format);
            Keep(&vips, WithCpu([&] { return Shell(command); }), first);
        }
        memory = Process({worker, "-f", format, "-q", "90", "-o", Settled(dir, "cli"), in}, true);
        cli.ok = cli.ok && memory.ok;
        cli.peakKb = memory.peakKb;

        std::fprintf(out, "%s%s\n", format.c_str(), format == "jpg" ? " q90" : "");
        Row(out, "floor (3 threads)", floor, floor.seconds);
        Row(out, "engine, in-process runner", inProcess, floor.seconds);
        Row(out, "engine, a worker per file", workers, floor.seconds);
        Row(out, "engine, long-lived workers", longLived, floor.seconds);
        Row(out, "velquist-convert, libavcodec", cli, floor.seconds);
        Row(out, "velquist-convert, libde265", cliDe265, floor.seconds);
        Row(out, "ImageMagick convert -P3", magick, floor.seconds);
        Row(out, "libvips copy -P3", vips, floor.seconds);
        std::fprintf(out,
                     "  velquist-convert / libvips: libde265 %.2fx (cpu %.2fx), libavcodec %.2fx "
                     "(cpu %.2fx); libavcodec / libde265 %.2fx (cpu %.2fx)\n",
                     cliDe265.seconds / vips.seconds, cliDe265.cpu / vips.cpu,
                     cli.seconds / vips.seconds, cli.cpu / vips.cpu, cli.seconds / cliDe265.seconds,
                     cli.cpu / cliDe265.cpu);
        std::fprintf(out, "  a worker per file / in-process %.3fx (cpu %.3fx)\n",
                     workers.seconds / inProcess.seconds, workers.cpu / inProcess.cpu);
        std::fprintf(out,
                     "  long-lived workers / in-process %.3fx (cpu %.3fx); long-lived / a worker "
                     "per file %.3fx (cpu %.3fx)\n",
                     longLived.seconds / inProcess.seconds, longLived.cpu / inProcess.cpu,
                     longLived.seconds / workers.seconds, longLived.cpu / workers.cpu);
        std::fprintf(out,
                     "  peak memory of the batch %.1f MiB; one conversion %.1f MiB; "
                     "3x one + 30 MiB = %.1f MiB\n",
                     cli.peakKb / 1024.0, singleKb[format] / 1024.0,
                     3 * singleKb[format] / 1024.0 + 30);
        for (const Measure* m :
             {&floor, &inProcess, &workers, &longLived, &cli, &cliDe265, &magick, &vips}) {
            failures += m->ok ? 0 : 1;
        }
        std::fflush(out);
    }
    fs::remove_all(root);
    return failures == 0 ? 0 : 1;
}
