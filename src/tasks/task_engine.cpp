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
};

// Runs the job once its estimated memory fits beside the running ones.
JobOutcome AdmitAndRun(Job& job, bool& tooLarge) {
    const HeifHeader header = ReadHeifHeader(job.task.inputPath);
    const std::uint64_t estimate = EstimateJobMemory(header, job.task.settings);
    switch (job.board->memory.Acquire(estimate, *job.cancel)) {
    case MemoryBudget::Admission::kTooLarge:
        tooLarge = true;
        return {kTaskFailed, TooLargeText(header, estimate)};
    case MemoryBudget::Admission::kCancelled:
        return {kTaskFailed, "conversion cancelled"};
    case MemoryBudget::Admission::kAdmitted:
        break;
    }
    job.task.memoryEstimate = estimate;
    JobOutcome outcome = job.runner->Run(job.task, *job.cancel);
    job.board->memory.Release(estimate);
    return outcome;
}

// A job that did not succeed while its batch was being stopped was interrupted, not
// refused by its photo: it waits to be started again.
TaskStatus FinalStatus(const Job& job, const JobOutcome& outcome) {
    if (outcome.status == kTaskSucceeded) {
        if (job.task.settings.keepDate) {
            StampCaptureTime(job.task.inputPath, job.task.outputPath);
        }
        return kTaskSucceeded;
    }
    if (!*job.cancel) {
        return outcome.status;
    }
    // The worker is gone; where the folder has no unnamed files it may have left its
    // named temporary file, which nobody else writes for this batch's own output name.
    SweepTemporaryFiles(job.task.outputPath, std::chrono::seconds(0));
    return kTaskStopped;
}

void RunJob(Job job) {
    PostStatus(job.owner, job.task.task_id, kTaskProcessing);
    bool tooLarge = false;
    JobOutcome outcome = AdmitAndRun(job, tooLarge);
    job.runner.reset();
    const TaskStatus status = FinalStatus(job, outcome);
    job.board->SetReason(job.task.task_id, std::move(outcome.reason), tooLarge);
    job.board->SetStatus(job.task.task_id, status);
    PostStatus(job.owner, job.task.task_id, status);
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
    }
    taskWakeup.notify_all();
    dispatcher_.join();
    // Earlier batches' flags were set by their stops; the dispatcher is gone, so this is
    // the last one jobs can hold.
    *batchCancel_ = true;
    board_->WaitUntilIdle();
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
        for (const int id : ids) {
            const bool waiting = std::find(idleTaskImageList.begin(), idleTaskImageList.end(),
                                           id) != idleTaskImageList.end();
            if (!waiting && busyTaskMap.count(id) == 0) {
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

std::wstring TaskEngine::ShownFailureReason(int id) const {
    return board_->TooLarge(id) ? std::wstring(kTooLargeShown) : std::wstring();
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
    {
        std::lock_guard lock(taskLock);
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
    Job job{owner_, std::move(task), runner_, board_, std::move(cancel)};
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
