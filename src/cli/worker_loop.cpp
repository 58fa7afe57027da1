#include "worker_loop.h"

#include "convert/convert_task.h"
#include "decode/thread_budget.h"
#include "tasks/conversion_request.h"
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

// The task of a request, ready for this worker; nullopt with *error set for a refused one.
std::optional<ConvertTask> WorkerTask(const std::vector<std::string>& request, std::string* error) {
    std::optional<ConvertTask> task = DecodeConversionRequest(request, error);
    if (task && task->decodeThreads == kLibheifDecodeThreads) {
        // A request without the engine's share converts as if it had the machine to itself.
        task->decodeThreads = DecodeThreadsPerJob(1, AvailableCores());
    }
    return task;
}

// Converts one request; the answer's fields.
std::vector<std::string> Serve(const std::vector<std::string>& request) {
    std::string error;
    const std::optional<ConvertTask> task = WorkerTask(request, &error);
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

// Both workers hold few allocator arenas: the address-space limit follows each image's
// estimate, and each idle arena would reserve 64 MiB of it. From the first request on, a
// worker handles untrusted files.
bool PrepareWorker() {
    ::mallopt(M_ARENA_MAX, 2);
    if (std::string error; !FenceWorker(&error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    return true;
}

} // namespace

int RunOneShotWorker() {
    if (!PrepareWorker()) {
        return 1;
    }
    RecordReader reader;
    const std::optional<std::vector<std::string>> request = NextRequest(reader);
    if (!request) {
        std::fprintf(stderr, "invalid request: no complete record on standard input\n");
        return 1;
    }
    std::string error;
    const std::optional<ConvertTask> task = WorkerTask(*request, &error);
    if (!task) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return RunConversion(*task).status == kTaskSucceeded ? 0 : 1;
}

int RunWorkerLoop() {
    ::mallopt(M_MMAP_THRESHOLD, kHeapBufferBytes);
    ::mallopt(M_TRIM_THRESHOLD, kKeptHeapBytes);
    if (!PrepareWorker()) {
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
