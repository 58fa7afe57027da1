#include "task_engine.h"

#include "config/app_paths.h"
#include "convert/atomic_output_file.h"
#include "convert/capture_time.h"
#include "convert/heif_header.h"
#include "convert/memory_estimate.h"
#include "convert/top_level_images.h"
#include "decode/thread_budget.h"
#include "job_board.h"
#include "output_names.h"
#include "util/text.h"

#include <algorithm>
#include <cstdio>
#include <pthread.h>
#include <sys/stat.h>
#include <unordered_set>

namespace velquist {
namespace {

bool PostStatus(TaskOwner* owner, int id, TaskStatus status) {
    auto* report = new TaskStatusReport{id, status};
    if (owner && owner->PostTaskStatus(report)) {
        return true;
    }
    delete report;
    return false;
}

void PrintLine(const char* format, int a, int b = 0) {
    std::printf(format, a, b);
    std::fflush(stdout);
}

struct Job {
    TaskOwner* owner;
    ConvertTask task;
    std::shared_ptr<JobRunner> runner;
    std::shared_ptr<JobBoard> board;
    std::shared_ptr<std::atomic<bool>> cancel;
    ConversionTimeLimit timeLimit;
};

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
JobOutcome AdmitAndRun(Job& job, FileStamp& before) {
    const HeifHeader header = ReadHeifHeader(job.task.inputPath);
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
TaskStatus FinalStatus(const Job& job, const JobOutcome& outcome, const FileStamp& before) {
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

void RunJob(Job job) {
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

void* ThreadEntry(void* arg) {
    std::unique_ptr<std::function<void()>> fn(static_cast<std::function<void()>*>(arg));
    (*fn)();
    return nullptr;
}

// Older than the longest a worker may run: no live writer still owns such a file.
constexpr std::chrono::seconds kStaleTemporaryAge{15 * 60};

// The top-level images the file's header lists, 0 when it cannot be read.
int ImageCount(const std::string& path) {
    return ReadHeifHeader(path).imageCount;
}

// Output names a file of that many images needs: at least the primary's, at most as many
// as are ever written from one file.
std::size_t OutputsToReserve(int images) {
    return std::clamp(static_cast<std::size_t>(std::max(images, 1)), std::size_t{1},
                      kMaxImagesPerFile);
}

} // namespace

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

TaskEngine::TaskEngine(TaskOwner* owner, std::shared_ptr<JobRunner> runner,
                       ThreadStarter startThread)
    : owner_(owner), runner_(std::move(runner)), startThread_(std::move(startThread)),
      board_(std::make_shared<JobBoard>()),
      batchCancel_(std::make_shared<std::atomic<bool>>(false)) {
    dispatcher_ = std::thread([this] { TaskDispatchThread(); });
}

TaskEngine::~TaskEngine() {
    {
        std::lock_guard lock(taskLock);
        stopping_ = true;
        idleTaskImageList.clear();
        *batchCancel_ = true;
    }
    taskWakeup.notify_all();
    // What the dispatcher does between two waits is bounded: the header reader is, and the
    // rest is file system calls.
    dispatcher_.join();
    // Earlier batches' flags were set by their stops; the dispatcher is gone, so this is
    // the last one jobs can hold.
    *batchCancel_ = true;
    if (!board_->WaitUntilIdle(kShutdownWait)) {
        // A job whose worker does not go (stuck in the kernel) must not keep the window or
        // the command line from ending: it finishes on its own, without reporting.
        std::fprintf(stderr, "velquist: jobs still ending their workers at shutdown\n");
    }
    board_->ReleaseOwner();
}

int TaskEngine::AddImageItem(ImageItem item) {
    const std::string path = WideToPath(item.sourcePath);
    std::lock_guard lock(taskLock);
    const int id = nextItemId++;
    item.outputPath.clear();
    imageItems.emplace(id, std::move(item));
    outputNames_.AddInput(id, path);
    return id;
}

std::optional<ImageItem> TaskEngine::GetImageItem(int id) const {
    std::lock_guard lock(taskLock);
    const auto it = imageItems.find(id);
    if (it == imageItems.end()) {
        return std::nullopt;
    }
    return it->second;
}

bool TaskEngine::RemoveImageItem(int id) {
    std::lock_guard lock(taskLock);
    const auto item = imageItems.find(id);
    if (item == imageItems.end()) {
        return false;
    }
    imageItems.erase(item);
    board_->ForgetStatus(id);
    outputNames_.RemoveInput(id);
    return true;
}

void TaskEngine::PublishSettings(const ConversionSettings& settings) {
    std::lock_guard lock(taskLock);
    settings_ = settings;
}

bool TaskEngine::QueueTasks(const std::vector<int>& ids) {
    bool queued = false;
    {
        std::lock_guard lock(taskLock);
        // One pass over the queue, not one per id: a list of thousands starts at once.
        std::unordered_set<int> waiting(idleTaskImageList.begin(), idleTaskImageList.end());
        for (const int id : ids) {
            if (waiting.insert(id).second && busyTaskMap.count(id) == 0) {
                idleTaskImageList.push_back(id);
                // Waiting again: what its last run ended with no longer describes it.
                board_->ForgetStatus(id);
            }
        }
        queued = !idleTaskImageList.empty();
    }
    if (queued) {
        taskWakeup.notify_one();
    }
    return queued;
}

bool TaskEngine::IsTaskRegistered(int id) const {
    std::lock_guard lock(taskLock);
    return busyTaskMap.count(id) != 0;
}

bool TaskEngine::IsBusy() const {
    std::lock_guard lock(taskLock);
    return !busyTaskImageList.empty() || dispatching_ != 0;
}

std::string TaskEngine::FailureReason(int id) const {
    return board_->Reason(id);
}

FailureKind TaskEngine::FailureKindOf(int id) const {
    return board_->Kind(id);
}

std::wstring TaskEngine::ShownFailureReason(int id) const {
    switch (board_->Kind(id)) {
    case FailureKind::kTooLarge:
        return kTooLargeShown;
    case FailureKind::kTimedOut:
        return kTimedOutShown;
    default:
        break;
    }
    return {};
}

std::optional<TaskStatus> TaskEngine::LastStatus(int id) const {
    {
        std::lock_guard lock(taskLock);
        if (busyTaskMap.count(id) != 0) {
            return std::nullopt;
        }
    }
    return board_->Status(id);
}

std::vector<int> TaskEngine::FailedIds() const {
    std::vector<int> ids;
    std::lock_guard lock(taskLock);
    for (const auto& [id, item] : imageItems) {
        if (busyTaskMap.count(id) == 0 && board_->Status(id) == kTaskFailed) {
            ids.push_back(id);
        }
    }
    return ids;
}

std::size_t TaskEngine::RetryFailed() {
    const std::vector<int> ids = FailedIds();
    QueueTasks(ids);
    return ids.size();
}

std::wstring TaskEngine::ShownStatusText(int id) const {
    switch (LastStatus(id).value_or(kTaskProcessing)) {
    case kTaskStopped:
        return kStoppedShown;
    case kTaskSkipped:
        return kSkippedShown;
    case kTaskFailed:
        return ShownFailureReason(id);
    default:
        return {};
    }
}

void TaskEngine::SetTimeLimit(const ConversionTimeLimit& limit) {
    std::lock_guard lock(taskLock);
    timeLimit_ = limit;
}

void TaskEngine::SetMemoryBudget(std::uint64_t bytes) {
    std::lock_guard lock(taskLock);
    fixedBudget_ = bytes;
}

void TaskEngine::StopBatch() {
    {
        std::lock_guard lock(taskLock);
        idleTaskImageList.clear();
        if (busyTaskImageList.empty() && dispatching_ == 0) {
            return;
        }
        *batchCancel_ = true;
        batchCancel_ = std::make_shared<std::atomic<bool>>(false);
    }
    taskWakeup.notify_all();
}

FinishResult TaskEngine::FinishTask(int id) {
    FinishResult result;
    bool wasRunning = false;
    {
        std::lock_guard lock(taskLock);
        const auto task = busyTaskMap.find(id);
        if (task == busyTaskMap.end()) {
            return result;
        }
        busyTaskMap.erase(task);
        result.finished = true;
        const auto pos = std::find(busyTaskImageList.begin(), busyTaskImageList.end(), id);
        if (pos != busyTaskImageList.end()) {
            busyTaskImageList.erase(pos);
            wasRunning = true;
        }
        result.running = busyTaskImageList.size();
        result.queued = idleTaskImageList.size();
        result.batchEnded = result.running == 0 && result.queued == 0 && dispatching_ == 0;
        if (result.batchEnded) {
            outputNames_.EndBatch();
            sweptFolders_.clear();
        }
    }
    if (wasRunning) {
        PrintLine("busyTaskImageList task_id: %d\n", id);
    }
    PrintLine("ImageConvert,size: %d,%d\n", static_cast<int>(result.running),
              static_cast<int>(result.queued));
    taskWakeup.notify_one();
    return result;
}

void TaskEngine::TaskDispatchThread() {
    std::unique_lock lock(taskLock);
    for (;;) {
        taskWakeup.wait(lock, [this] {
            return stopping_ ||
                   (busyTaskImageList.size() < kMaxRunningTasks && !idleTaskImageList.empty());
        });
        if (stopping_) {
            return;
        }
        const int id = idleTaskImageList.front();
        idleTaskImageList.pop_front();
        if (busyTaskImageList.empty() && dispatching_ == 0) {
            // A batch starts: its memory budget follows what the machine has now.
            board_->memory.Reset(fixedBudget_ != 0 ? fixedBudget_ : DefaultMemoryBudget());
        }
        ++dispatching_;
        std::optional<ImageItem> item;
        if (const auto found = imageItems.find(id); found != imageItems.end()) {
            item = found->second;
        }
        const ConversionSettings settings = settings_;
        const int decodeThreads = DecodeThreadsNow();
        // Taken with the id: a stop from now on reaches this job too.
        std::shared_ptr<std::atomic<bool>> cancel = batchCancel_;
        lock.unlock();
        PrintLine("idleTaskImageList task_id: %d\n", id);
        Dispatch(id, item, settings, decodeThreads, std::move(cancel));
        lock.lock();
    }
}

int TaskEngine::DecodeThreadsNow() const {
    // The jobs that will run beside this one: those running or on their way (this one
    // included) and those queued behind it, as many as may run at once. A batch of one
    // photo gets the whole machine, the photos of a long batch a share each.
    const std::size_t pending = busyTaskImageList.size() + dispatching_ + idleTaskImageList.size();
    const std::size_t jobs = std::min({pending, parallelJobs_, kMaxRunningTasks});
    return DecodeThreadsPerJob(static_cast<int>(jobs), AvailableCores());
}

void TaskEngine::SetParallelJobs(std::size_t jobs) {
    std::lock_guard lock(taskLock);
    parallelJobs_ = std::clamp(jobs, std::size_t{1}, kMaxRunningTasks);
}

void TaskEngine::Dispatch(int id, const std::optional<ImageItem>& item,
                          const ConversionSettings& settings, int decodeThreads,
                          std::shared_ptr<std::atomic<bool>> cancel) {
    const std::wstring outputDir =
        settings.outputDir.empty() ? GetOutputDir() : CreateDirectoryTree(settings.outputDir);
    const std::wstring dir = item ? TargetFolder(*item, outputDir) : outputDir;
    bool sweep = false;
    {
        std::lock_guard lock(taskLock);
        sweep = !dir.empty() && sweptFolders_.insert(dir).second;
    }
    if (sweep) {
        // What killed runs left in this folder; a live writer's recent file stays.
        SweepFolderTemporaryFiles(WideToPath(dir), kStaleTemporaryAge);
    }
    ConvertTask task{{}, {}, settings, id};
    task.settings.outputDir.clear();
    task.decodeThreads = decodeThreads;
    const int images = item ? ImageCount(WideToPath(item->sourcePath)) : 0;
    const std::size_t outputs = settings.allImages ? OutputsToReserve(images) : 1;
    if (settings.allImages) {
        task.imageOutputs = static_cast<int>(outputs);
    }
    bool skip = false;
    ConversionTimeLimit timeLimit;
    {
        std::lock_guard lock(taskLock);
        timeLimit = timeLimit_;
        if (item && !dir.empty()) {
            task.inputPath = WideToPath(item->sourcePath);
            const OutputClaim claim = outputNames_.Claim(
                BuildOutputPath(task.inputPath, WideToPath(dir), settings.format), outputs,
                settings.existingFile);
            task.outputPath = claim.path;
            task.replaceExisting = claim.replace;
            skip = claim.skip;
        }
        if (const auto entry = imageItems.find(id); entry != imageItems.end()) {
            entry->second.outputPath = PathToWide(task.outputPath);
            entry->second.imageCount = images;
        }
        // Registered before the job starts, so every status finds its task.
        busyTaskMap[id] = std::make_unique<ConvertTask>(task);
        busyTaskImageList.push_back(id);
        --dispatching_;
    }
    if (!item) {
        FinishUnstarted(id, kTaskFailed,
                        "the image list entry was removed before its conversion started");
        return;
    }
    if (dir.empty()) {
        FinishUnstarted(id, kTaskFailed, "the entry's subfolder leads out of the output folder");
        return;
    }
    if (skip) {
        FinishUnstarted(id, kTaskSkipped, "the output file exists");
        return;
    }
    board_->Enter();
    Job job{owner_, std::move(task), runner_, board_, std::move(cancel), timeLimit};
    if (!startThread_([job = std::move(job)]() mutable { RunJob(std::move(job)); })) {
        board_->Leave();
        FinishUnstarted(id, kTaskFailed, "cannot start a thread for the conversion");
    }
}

void TaskEngine::FinishUnstarted(int id, TaskStatus status, const std::string& reason) {
    board_->SetReason(id, reason);
    board_->SetStatus(id, status);
    if (!PostStatus(owner_, id, status)) {
        FinishTask(id);
    }
}

} // namespace velquist
