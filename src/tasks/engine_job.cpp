#include "engine_job.h"

#include "convert/atomic_output_file.h"
#include "convert/capture_time.h"
#include "convert/heif_header.h"
#include "convert/memory_estimate.h"
#include "convert/top_level_images.h"
#include "job_board.h"

#include <algorithm>
#include <pthread.h>
#include <sys/stat.h>

namespace velquist {
namespace {

// The file at path as it stands. A committed output is a new file put in place during the
// job, so its size or times differ from what was there before. Inode numbers are left out:
// FUSE and exFAT mounts may renumber a file that did not change.
struct FileStamp {
    bool exists = false;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
};

bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

FileStamp StampOf(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return {};
    }
    return {true, info.st_size, info.st_mtim, info.st_ctim};
}

bool OutputLanded(const FileStamp& before, const std::string& path) {
    const FileStamp after = StampOf(path);
    return after.exists &&
           (!before.exists || after.size != before.size ||
            !SameTime(after.modified, before.modified) || !SameTime(after.changed, before.changed));
}

// The megapixels a conversion writes as the header claims them, or unknown when it cannot
// tell: the primary image, or with every image written the images it may write.
std::uint64_t ClaimedMegapixels(const HeifHeader& header, const ConvertTask& task,
                                std::uint64_t unknown) {
    if (!header.parsed) {
        return unknown;
    }
    std::uint64_t pixels = std::uint64_t{header.width} * header.height;
    if (task.settings.allImages) {
        const auto images = static_cast<std::uint64_t>(
            std::clamp(task.imageOutputs > 0 ? std::min(task.imageOutputs, header.imageCount)
                                             : header.imageCount,
                       1, static_cast<int>(kMaxImagesPerFile)));
        pixels = std::max(pixels, header.largestPixels) * images;
    }
    return (pixels + 999'999) / 1'000'000;
}

std::chrono::milliseconds TimeLimitFor(const HeifHeader& header, const ConvertTask& task,
                                       const ConversionTimeLimit& limit) {
    // Claims past what any admitted photo holds are cut, so the product cannot overflow.
    constexpr std::uint64_t kMostMegapixels = 1'000'000;
    const std::uint64_t megapixels =
        std::min(ClaimedMegapixels(header, task, limit.unknownMegapixels), kMostMegapixels);
    const auto perMegapixel =
        static_cast<std::uint64_t>(std::max<std::int64_t>(limit.perMegapixel.count(), 0));
    return limit.base +
           std::chrono::milliseconds(static_cast<std::int64_t>(megapixels * perMegapixel));
}

// Runs the job once its estimated memory fits beside the running ones.
JobOutcome AdmitAndRun(EngineJob& job, FileStamp& before) {
    const HeifHeader header = job.task.header.value_or(HeifHeader{});
    const std::uint64_t estimate = EstimateJobMemory(header, job.task.settings);
    switch (job.board->memory.Acquire(estimate, *job.cancel)) {
    case MemoryBudget::Admission::kTooLarge:
        return {kTaskFailed, TooLargeText(header, estimate), FailureKind::kTooLarge};
    case MemoryBudget::Admission::kCancelled:
        return {kTaskFailed, "conversion cancelled"};
    case MemoryBudget::Admission::kAdmitted:
        break;
    }
    job.task.memoryEstimate = estimate;
    job.task.timeLimit = TimeLimitFor(header, job.task, job.timeLimit);
    before = StampOf(job.task.outputPath);
    JobOutcome outcome = job.runner->Run(job.task, *job.cancel);
    job.board->memory.Release(estimate);
    return outcome;
}

// A job that did not succeed while its batch was being stopped was interrupted, not
// refused by its photo: it waits to be started again. Unless the stop came after the
// worker had put the output in place: then what is on disk says it was converted.
TaskStatus FinalStatus(const EngineJob& job, const JobOutcome& outcome, const FileStamp& before) {
    const bool stopped = outcome.status != kTaskSucceeded && *job.cancel;
    const bool landed = stopped && OutputLanded(before, job.task.outputPath);
    if (outcome.status == kTaskSucceeded || landed) {
        if (job.task.settings.keepDate) {
            StampCaptureTime(job.task.inputPath, job.task.outputPath);
        }
        return kTaskSucceeded;
    }
    if (!stopped) {
        return outcome.status;
    }
    // The worker is gone; where the folder has no unnamed files it may have left its
    // named temporary file, which nobody else writes for this batch's own output name.
    SweepTemporaryFiles(job.task.outputPath, std::chrono::seconds(0));
    return kTaskStopped;
}

void* ThreadEntry(void* arg) {
    std::unique_ptr<std::function<void()>> fn(static_cast<std::function<void()>*>(arg));
    (*fn)();
    return nullptr;
}

} // namespace

void RunEngineJob(EngineJob job) {
    const int id = job.task.task_id;
    job.board->Post(job.owner, id, kTaskProcessing);
    FileStamp before;
    JobOutcome outcome = AdmitAndRun(job, before);
    job.runner.reset();
    const TaskStatus status = FinalStatus(job, outcome, before);
    if (status == kTaskSucceeded) {
        outcome = {};
    }
    job.board->SetReason(id, std::move(outcome.reason), outcome.kind);
    job.board->SetStatus(id, status);
    job.board->Post(job.owner, id, status);
    // Nothing of the engine or the owner is touched after this.
    job.board->Leave();
}

bool StartDetachedThread(std::function<void()> fn) {
    auto heap = std::make_unique<std::function<void()>>(std::move(fn));
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) {
        return false;
    }
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    const int rc = pthread_create(&thread, &attr, ThreadEntry, heap.get());
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        return false;
    }
    heap.release();
    return true;
}

} // namespace velquist
