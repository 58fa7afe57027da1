#include "worker_loop.h"

#include "cli/cli_options.h"
#include "convert/convert_task.h"
#include "decode/thread_budget.h"
#include "tasks/worker_fence.h"
#include "tasks/worker_protocol.h"
#include "util/fd_io.h"

#include <cerrno>
#include <cstdio>
#include <malloc.h>
#include <optional>
#include <unistd.h>

namespace velquist {
namespace {

constexpr int kAnswerFd = 3;

// A long-lived worker converts photo after photo of much the same size. Buffers up to this
// size (the planes and rows of a 12-megapixel photo, 8-bit RGBA included) come from the
// heap instead of a mapping of their own...
constexpr int kHeapBufferBytes = 64 << 20;
// ...and up to this much freed heap stays with the worker for the next photo, instead of
// going back to the system after each one and being faulted in again page by page. It is
// below the resident memory that ends a worker after a file, so a photo that needs more
// still ends its worker.
constexpr int kKeptHeapBytes = 128 << 20;

// The next request, or nothing at the end of the input or on a malformed one.
std::optional<std::vector<std::string>> NextRequest(RecordReader& reader) {
    char buffer[4096];
    for (;;) {
        if (auto record = reader.Take()) {
            return record;
        }
        if (reader.Broken()) {
            return std::nullopt;
        }
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return std::nullopt;
        }
        reader.Feed(buffer, static_cast<std::size_t>(n));
    }
}

bool SendAnswer(const std::vector<std::string>& fields) {
    const std::string record = EncodeRecord(fields);
    return SendAll(kAnswerFd, record.data(), record.size());
}

std::string LastLine(std::string text) {
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    const auto lastBreak = text.rfind('\n');
    return lastBreak == std::string::npos ? text : text.substr(lastBreak + 1);
}

// Converts one request; the answer's fields.
std::vector<std::string> Serve(const std::vector<std::string>& request) {
    std::vector<std::string> args{"--worker"};
    args.insert(args.end(), request.begin(), request.end());
    const CliParseResult parsed = ParseCommandLine(args);
    if (!parsed.ok || parsed.options.mode != CliOptions::Mode::kWorker) {
        return {kAnswerFailed, "invalid request: " + parsed.error};
    }
    const CliOptions& options = parsed.options;
    std::string error;
    const std::optional<ConvertTask> task = WorkerTask(options, &error);
    if (!task) {
        return {kAnswerFailed, error};
    }
    const ConversionOutcome outcome = RunConversion(*task);
    if (outcome.status == kTaskSucceeded) {
        return {kAnswerConverted};
    }
    return {kAnswerFailed, LastLine(outcome.diagnostics),
            std::to_string(static_cast<int>(outcome.kind))};
}

} // namespace

std::optional<ConvertTask> WorkerTask(const CliOptions& options, std::string* error) {
    const std::string format = options.format.value_or("jpg");
    const std::optional<OutputFormat> outputFormat = ParseOutputFormat(format);
    if (!outputFormat) {
        *error = "Unknown output format: " + format;
        return std::nullopt;
    }
    ConvertTask task;
    task.inputPath = options.inputs.front();
    task.outputPath = options.workerOutput;
    task.settings.format = *outputFormat;
    task.settings.quality = options.quality.value_or(kDefaultQuality);
    task.settings.keepExif = options.keepExif.value_or(true);
    task.settings.stripLocation = options.stripLocation.value_or(false);
    task.settings.allImages = options.workerImages > 0;
    task.settings.maxSize = options.maxSize.value_or(0);
    task.imageOutputs = options.workerImages;
    task.replaceExisting = options.workerReplace.value_or(true);
    // A request without the engine's share converts as if it had the machine to itself.
    task.decodeThreads = options.decodeThreads.value_or(DecodeThreadsPerJob(1, AvailableCores()));
    return task;
}

int RunWorkerLoop() {
    // Few allocator arenas: the address-space limit follows each image's estimate, and
    // each idle arena would reserve 64 MiB of it.
    ::mallopt(M_ARENA_MAX, 2);
    ::mallopt(M_MMAP_THRESHOLD, kHeapBufferBytes);
    ::mallopt(M_TRIM_THRESHOLD, kKeptHeapBytes);
    // From the first request on, the worker handles untrusted files.
    if (std::string error; !FenceWorker(&error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    RecordReader reader;
    while (const auto request = NextRequest(reader)) {
        const std::vector<std::string> answer = Serve(*request);
        // Everything said about this file goes out before its answer.
        std::fflush(stdout);
        std::fflush(stderr);
        if (!SendAnswer(answer)) {
            return 1;
        }
    }
    return reader.Broken() ? 2 : 0;
}

} // namespace velquist
