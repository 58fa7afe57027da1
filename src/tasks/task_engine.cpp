#include "task_engine.h"

#include "config/app_paths.h"
#include "convert/atomic_output_file.h"
#include "convert/heif_header.h"
#include "convert/top_level_images.h"
#include "decode/thread_budget.h"
#include "job_board.h"
#include "output_names.h"
#include "util/text.h"

#include <algorithm>
#include <cstdio>
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

// Older than the longest a worker may run: no live writer still owns such a file.
constexpr std::chrono::seconds kStaleTemporaryAge{15 * 60};

// The engine's only reads and writes of an image list entry's fields.
std::string SourceOf(const ImageItem& item) {
    return item.sourcePath;
}

void RecordDispatch(ImageItem& item, const std::string& outputPath, int images) {
    item.outputPath = outputPath;
    item.imageCount = images;
}

// Output names a file of that many images needs: at least the primary's, at most as many
// as are ever written from one file.
std::size_t OutputsToReserve(int images) {
    return std::clamp(static_cast<std::size_t>(std::max(images, 1)), std::size_t{1},
                      kMaxImagesPerFile);
}

} // namespace

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
    const std::string path = SourceOf(item);
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
            if (waiting.insert(id).second && !IsRunning(id)) {
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
    return IsRunning(id);
}

bool TaskEngine::IsRunning(int id) const {
    return std::find(busyTaskImageList.begin(), busyTaskImageList.end(), id) !=
           busyTaskImageList.end();
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

std::optional<TaskStatus> TaskEngine::LastStatus(int id) const {
    {
        std::lock_guard lock(taskLock);
        if (IsRunning(id)) {
            return std::nullopt;
        }
    }
    return board_->Status(id);
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
    {
        std::lock_guard lock(taskLock);
        const auto pos = std::find(busyTaskImageList.begin(), busyTaskImageList.end(), id);
        if (pos == busyTaskImageList.end()) {
            return result;
        }
        busyTaskImageList.erase(pos);
        result.finished = true;
        result.running = busyTaskImageList.size();
        result.queued = idleTaskImageList.size();
        result.batchEnded = result.running == 0 && result.queued == 0 && dispatching_ == 0;
        if (result.batchEnded) {
            outputNames_.EndBatch();
            sweptFolders_.clear();
        }
    }
    PrintLine("busyTaskImageList task_id: %d\n", id);
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
        // The cancel flag is taken with the id: a stop from now on reaches this job too.
        Dispatched next{id, std::nullopt, settings_, DecodeThreadsNow(), batchCancel_};
        if (const auto found = imageItems.find(id); found != imageItems.end()) {
            next.item = found->second;
        }
        lock.unlock();
        PrintLine("idleTaskImageList task_id: %d\n", id);
        Dispatch(std::move(next));
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

std::string TaskEngine::OutputFolder(const Dispatched& next) {
    const ConversionSettings& settings = next.settings;
    const std::wstring outputDir =
        settings.outputDir.empty() ? GetOutputDir() : CreateDirectoryTree(settings.outputDir);
    const std::string dir =
        next.item ? TargetFolder(*next.item, WideToPath(outputDir)) : WideToPath(outputDir);
    bool sweep = false;
    {
        std::lock_guard lock(taskLock);
        sweep = !dir.empty() && sweptFolders_.insert(dir).second;
    }
    if (sweep) {
        // What killed runs left in this folder; a live writer's recent file stays.
        SweepFolderTemporaryFiles(dir, kStaleTemporaryAge);
    }
    return dir;
}

ConvertTask TaskEngine::NewTask(const Dispatched& next) {
    ConvertTask task{{}, {}, next.settings, next.id};
    task.settings.outputDir.clear();
    task.decodeThreads = next.decodeThreads;
    if (next.item) {
        task.inputPath = SourceOf(*next.item);
        // The one reading of our own header reader for this conversion: the admission, the
        // time limit and the worker all take it from the task.
        task.header = ReadHeifHeader(task.inputPath);
    }
    if (next.settings.allImages) {
        task.imageOutputs =
            static_cast<int>(OutputsToReserve(task.header ? task.header->imageCount : 0));
    }
    return task;
}

bool TaskEngine::Register(const Dispatched& next, const std::string& dir, ConvertTask& task,
                          ConversionTimeLimit* timeLimit) {
    const std::size_t outputs =
        next.settings.allImages ? static_cast<std::size_t>(task.imageOutputs) : 1;
    bool skip = false;
    std::lock_guard lock(taskLock);
    *timeLimit = timeLimit_;
    if (next.item && !dir.empty()) {
        const OutputClaim claim = outputNames_.Claim(
            BuildOutputPath(task.inputPath, dir, next.settings.format), outputs,
            next.settings.existingFile);
        task.outputPath = claim.path;
        task.replaceExisting = claim.replace;
        skip = claim.skip;
    }
    if (const auto entry = imageItems.find(next.id); entry != imageItems.end()) {
        RecordDispatch(entry->second, task.outputPath, task.header ? task.header->imageCount : 0);
    }
    // Registered before the job starts, so every status finds its task.
    busyTaskImageList.push_back(next.id);
    --dispatching_;
    return skip;
}

void TaskEngine::Dispatch(Dispatched next) {
    const std::string dir = OutputFolder(next);
    ConvertTask task = NewTask(next);
    ConversionTimeLimit timeLimit;
    const bool skip = Register(next, dir, task, &timeLimit);
    const int id = next.id;
    if (!next.item) {
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
    EngineJob job{owner_, std::move(task), runner_, board_, std::move(next.cancel), timeLimit};
    if (!startThread_([job = std::move(job)]() mutable { RunEngineJob(std::move(job)); })) {
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
