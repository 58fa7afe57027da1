#pragma once

#include "tasks/worker_fence.h"
#include "thumbnail.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace velquist {

inline constexpr uint64_t kThumbnailWorkerMemory = WorkerAddressLimit(uint64_t{1536} << 20);

struct ThumbnailClientOptions {
    std::string workerPath; // the velquist-thumbnailer executable
    int maxSide = 96;
    uint64_t memoryLimitBytes = kThumbnailWorkerMemory;
    std::chrono::milliseconds timeLimit{std::chrono::seconds(20)}; // per file
};

// Gets thumbnails from a velquist-thumbnailer process, so that a file that crashes or
// hangs the decoder or eats its memory fails only that file: the worker is then killed
// and the next file starts a fresh one. One thread uses a client at a time; the worker
// dies with the thread that started it, so that thread should be the client's owner.
class ThumbnailClient {
  public:
    explicit ThumbnailClient(ThumbnailClientOptions options);
    ~ThumbnailClient();
    ThumbnailClient(const ThumbnailClient&) = delete;
    ThumbnailClient& operator=(const ThumbnailClient&) = delete;

    ThumbnailResult Fetch(const std::string& path);

    // For tests and diagnostics.
    int WorkersStarted() const { return workersStarted_; }
    pid_t WorkerPid() const { return pid_; }

  private:
    bool EnsureWorker(std::string* error);
    void StopWorker();
    ThumbnailResult Exchange(const std::string& path, bool* workerLost);

    ThumbnailClientOptions options_;
    pid_t pid_ = -1;
    int channel_ = -1;
    int workersStarted_ = 0;
};

} // namespace velquist
