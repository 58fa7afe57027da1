#pragma once

#include "convert/conversion_settings.h"
#include "convert/convert_task.h"
#include "engine_job.h"
#include "image_item.h"
#include "job_runner.h"
#include "output_names.h"
#include "task_owner.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace velquist {

constexpr std::size_t kMaxRunningTasks = 3;

// How long the engine's destructor waits for its jobs to end their workers. A job still
// going after that (a worker stuck in the kernel) finishes unseen: it no longer reports.
constexpr std::chrono::milliseconds kShutdownWait{2000};

struct FinishResult {
    bool finished = false;   // the id was registered and is now finished
    bool batchEnded = false; // nothing is queued, dispatched or running any more
    std::size_t running = 0;
    std::size_t queued = 0;
};

class JobBoard;

// The conversion task engine: queued ids, a dispatcher thread that starts at most
// kMaxRunningTasks jobs at once, and the finishing of jobs. Every job posts its statuses
// (processing, then failed or succeeded) to the owner; the owner hands each final status
// back through FinishTask, which frees the place for the next queued id. The engine holds
// no Qt and no window: the main window, the command-line converter and the tests drive it
// alike.
class TaskEngine {
  public:
    // owner receives the status posts and must outlive the engine.
    TaskEngine(TaskOwner* owner, std::shared_ptr<JobRunner> runner,
               ThreadStarter startThread = StartDetachedThread);
    // Stops the batch and the dispatcher, ends the running jobs' workers and waits for the
    // jobs to go, at most kShutdownWait; the owner hears from none of them afterwards.
    ~TaskEngine();
    TaskEngine(const TaskEngine&) = delete;
    TaskEngine& operator=(const TaskEngine&) = delete;

    // The image list's records. Ids come from nextItemId and are never reused.
    int AddImageItem(ImageItem item);
    std::optional<ImageItem> GetImageItem(int id) const;
    bool RemoveImageItem(int id);

    // Read at every dispatch. An empty outputDir means the configured output folder
    // (GetOutputDir) at that moment.
    // Also read at every dispatch: existingFile (what to do when the output's name is
    // taken by a file from before the batch) and keepDate (the output's modification time
    // becomes the photo's capture time).
    void PublishSettings(const ConversionSettings& settings);

    // Appends the ids not queued or running yet, in order (each one's last status is
    // forgotten: it waits); wakes the dispatcher and returns true when the queue is not
    // empty afterwards (the batch runs).
    bool QueueTasks(const std::vector<int>& ids);

    // The final status of the id's last run: kTaskFailed, kTaskSucceeded, kTaskSkipped or
    // kTaskStopped; nothing while it has not run (or is running).
    std::optional<TaskStatus> LastStatus(int id) const;

    // For the owner's status handler: statuses of ids not registered are dropped.
    bool IsTaskRegistered(int id) const;
    // For a final status: deletes the task, frees its place and wakes the dispatcher.
    FinishResult FinishTask(int id);
    // True while any task runs or is on its way to run.
    bool IsBusy() const;
    // The failure reason of the id's last finished job, empty when there is none.
    std::string FailureReason(int id) const;
    // What kind of failure that was (FailureKind::kOther when there is none).
    FailureKind FailureKindOf(int id) const;

    // How many jobs the runner lets work at once when it holds back some of those the
    // engine starts (at most kMaxRunningTasks, the default). The cores are shared among the
    // jobs that run at once: each job's decoding threads follow from it.
    void SetParallelJobs(std::size_t jobs);

    // Read at every dispatch: the time limit of each conversion.
    void SetTimeLimit(const ConversionTimeLimit& limit);

    // The memory the jobs of a batch may use at once; 0 (the default) takes half of the
    // machine's available memory at the start of each batch.
    void SetMemoryBudget(std::uint64_t bytes);

    // Drops the queued ids (they get no status and simply wait again) and ends the running
    // jobs' workers; each job the stop interrupted posts kTaskStopped once its worker is
    // gone and its temporary file removed, and then waits to be queued again. Returns at
    // once (the window never waits on a worker). Whatever is queued afterwards runs as a
    // new batch, even while the stopped jobs are still going away.
    void StopBatch();

  private:
    // A queued id as the dispatcher took it, with what held at that moment.
    struct Dispatched {
        int id;
        std::optional<ImageItem> item; // none when the entry was removed meanwhile
        ConversionSettings settings;
        int decodeThreads;
        std::shared_ptr<std::atomic<bool>> cancel;
    };

    void TaskDispatchThread();
    // Turns the id into a running job, or finishes it at once (skipped, or failed before
    // it could start).
    void Dispatch(Dispatched next);
    // The entry's output folder, created as needed and cleaned of stale temporary files
    // once per batch; empty for a subfolder that would lead out of it.
    std::string OutputFolder(const Dispatched& next);
    ConvertTask NewTask(const Dispatched& next);
    // Claims the output name, notes it in the list and registers the id as running; true
    // when the entry is to be skipped (its output exists).
    bool Register(const Dispatched& next, const std::string& dir, ConvertTask& task,
                  ConversionTimeLimit* timeLimit);
    // under taskLock
    bool IsRunning(int id) const;
    // under taskLock: the decoding threads of a job dispatched now
    int DecodeThreadsNow() const;
    void FinishUnstarted(int id, TaskStatus status, const std::string& reason);

    TaskOwner* owner_;
    std::shared_ptr<JobRunner> runner_;
    ThreadStarter startThread_;
    std::shared_ptr<JobBoard> board_;

    mutable std::mutex taskLock;
    std::condition_variable taskWakeup;
    std::deque<int> idleTaskImageList;
    std::deque<int> busyTaskImageList; // registered ids, running or finishing
    ImageItemMap imageItems;
    OutputNames outputNames_; // inputs and the current batch's output names
    int nextItemId = 0;
    ConversionSettings settings_;
    // Ids taken from the queue but not registered as running yet: the batch is not over
    // while one is on its way.
    std::size_t dispatching_ = 0;
    std::set<std::string> sweptFolders_; // output folders cleaned in the current batch
    std::uint64_t fixedBudget_ = 0;
    std::size_t parallelJobs_ = kMaxRunningTasks;
    ConversionTimeLimit timeLimit_;
    bool stopping_ = false;
    // The running jobs' cancel flag: a stop sets it and gives the next jobs a fresh one.
    std::shared_ptr<std::atomic<bool>> batchCancel_;

    std::thread dispatcher_;
};

} // namespace velquist
