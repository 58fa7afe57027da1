#include "batch_run.h"

#include "tasks/status_queue.h"
#include "tasks/task_engine.h"
#include "throttled_job_runner.h"
#include "util/text.h"

#include <algorithm>
#include <deque>
#include <map>
#include <set>
#include <sys/stat.h>

namespace velquist {
namespace {

using Clock = std::chrono::steady_clock;

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    if (slash == 0) {
        return "/";
    }
    return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::int64_t SizeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_size : 0;
}

// The engine takes one output folder for whatever it dispatches next, so files whose
// outputs go to different folders run as consecutive groups, one folder each.
struct Group {
    std::string outputDir;
    std::vector<int> ids;
};

std::vector<Group> MakeGroups(TaskEngine& engine, const BatchJob& job,
                              std::map<int, std::size_t>* fileOf) {
    std::vector<Group> groups;
    std::map<std::string, std::size_t> byDir;
    for (std::size_t i = 0; i < job.files.size(); ++i) {
        const std::string& file = job.files[i];
        const std::string dir =
            job.settings.outputDir.empty() ? DirectoryOf(file) : WideToPath(job.settings.outputDir);
        const auto [it, added] = byDir.emplace(dir, groups.size());
        if (added) {
            groups.push_back({dir, {}});
        }
        const std::string sub = job.settings.outputDir.empty() || i >= job.subFolders.size()
                                    ? std::string()
                                    : job.subFolders[i];
        const int id = engine.AddImageItem({NameOf(file), file, SizeOf(file), {}, sub});
        groups[it->second].ids.push_back(id);
        (*fileOf)[id] = i;
    }
    return groups;
}

std::vector<int> AllIds(const std::vector<Group>& groups) {
    std::vector<int> ids;
    for (const Group& group : groups) {
        ids.insert(ids.end(), group.ids.begin(), group.ids.end());
    }
    return ids;
}

std::shared_ptr<JobRunner> Limited(const BatchJob& job) {
    if (job.jobs >= static_cast<int>(kMaxRunningTasks)) {
        return job.runner;
    }
    return std::make_shared<ThrottledJobRunner>(job.runner, job.jobs);
}

class BatchDriver {
  public:
    BatchDriver(const BatchJob& job, BatchObserver* observer)
        : job_(job), observer_(observer), engine_(&statuses_, Limited(job)) {
        engine_.SetMemoryBudget(job.memoryBudget);
        engine_.SetParallelJobs(static_cast<std::size_t>(std::max(job.jobs, 1)));
    }

    BatchReport Run() {
        groups_ = MakeGroups(engine_, job_, &report_.fileOf);
        report_.batch.Start(AllIds(groups_), Clock::now());
        StartNextGroup();
        // A stop is a flag nobody wakes us for: it is looked at this often.
        const auto wait = std::min(job_.tickInterval, std::chrono::milliseconds(50));
        auto nextTick = Clock::now() + job_.tickInterval;
        while (report_.batch.Done() < report_.batch.Total()) {
            if (!stopping_ && job_.stop != nullptr && *job_.stop != 0) {
                report_.batch.Stop();
                StopEngine();
            }
            if (stopping_ && !engine_.IsBusy()) {
                break;
            }
            if (const auto status = statuses_.Pop(wait)) {
                Handle(*status);
            } else if (Clock::now() >= nextTick) {
                nextTick = Clock::now() + job_.tickInterval;
                observer_->Tick(report_.batch);
            }
        }
        report_.batch.End(Clock::now());
        return std::move(report_);
    }

  private:
    void StopEngine() {
        stopping_ = true;
        engine_.StopBatch();
    }

    void StartNextGroup() {
        if (nextGroup_ >= groups_.size() || stopping_) {
            return;
        }
        const Group& group = groups_[nextGroup_++];
        ConversionSettings settings = job_.settings;
        settings.outputDir = PathToWide(group.outputDir);
        engine_.PublishSettings(settings);
        waiting_.clear();
        waiting_.insert(group.ids.begin(), group.ids.end());
        engine_.QueueTasks(group.ids);
    }

    FileResult ResultOf(int id, TaskStatus status) const {
        FileResult result;
        result.id = id;
        if (const auto item = engine_.GetImageItem(id)) {
            result.input = item->sourcePath;
            result.output = item->outputPath;
            result.subFolder = item->subFolder;
        }
        result.status = status;
        result.ok = status == kTaskSucceeded;
        if (status == kTaskFailed) {
            result.reason = engine_.FailureReason(id);
            if (result.reason.empty()) {
                result.reason = "unknown error";
            }
        }
        return result;
    }

    void Handle(const TaskStatusReport& status) {
        // A job's first post (or its only one, when it could not start) shows that the
        // dispatcher has taken its settings; once the whole group is past that point,
        // the next folder's settings cannot reach a file of this group.
        if (waiting_.erase(status.task_id) != 0 && waiting_.empty()) {
            StartNextGroup();
        }
        if (!IsFinalStatus(status.status)) {
            return;
        }
        engine_.FinishTask(status.task_id);
        const int id = status.task_id;
        FileResult result = ResultOf(id, static_cast<TaskStatus>(status.status));
        const EntryView view =
            report_.batch.Finished({id, result.status, result.reason, engine_.FailureKindOf(id)});
        if (result.status == kTaskFailed && view.look != EntryLook::kFailed) {
            // Met the full disk after the first one did: it waits, as the summary counts it.
            result.status = kTaskStopped;
            result.reason.clear();
        }
        report_.files.push_back(result);
        observer_->FileDone(result, report_.batch);
        // A full disk or a vanished folder fails every file after it: the rest waits.
        if (!stopping_ && report_.batch.Halt() != BatchHalt::kNone) {
            StopEngine();
        }
    }

    const BatchJob& job_;
    BatchObserver* observer_;
    StatusQueue statuses_;
    TaskEngine engine_;
    std::vector<Group> groups_;
    std::size_t nextGroup_ = 0;
    std::set<int> waiting_;
    bool stopping_ = false;
    BatchReport report_;
};

} // namespace

BatchReport RunBatch(const BatchJob& job, BatchObserver* observer) {
    BatchDriver driver(job, observer);
    return driver.Run();
}

} // namespace velquist
