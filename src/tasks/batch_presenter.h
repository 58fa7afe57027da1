#pragma once

#include "convert/task_status.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace velquist {

// What ended a batch before its queue was empty, besides the user's stop: nothing after
// it could be written either, so the rest waits instead of failing one by one.
enum class BatchHalt { kNone, kDiskFull, kOutputFolderGone };

// The status mark an entry of the window's list shows.
enum class EntryLook { kWaiting, kProcessing, kSucceeded, kFailed, kSkipped };

// One job's final status as the engine tells it.
struct TaskEnd {
    int id = 0;
    TaskStatus status = kTaskFailed;
    std::string reason; // the worker's or the system's own words
    FailureKind kind = FailureKind::kOther;
};

// What an entry shows once its job is over. Texts are UTF-8.
struct EntryView {
    EntryLook look = EntryLook::kWaiting;
    std::string note;   // the second line: "已停止", "已跳过" or the short failure reason
    std::string detail; // the tool tip: the full reason of a failure
    bool preview = false; // the output is on disk
};

// One conversion batch as the window and the command line show it: its progress, its
// counts, the failed entries and the files left to convert again, and every text about
// them. It runs nothing: its driver feeds it the engine's final statuses and shows what it
// answers, so each rule lives here once for both faces.
class BatchPresenter {
  public:
    using Clock = std::chrono::steady_clock;

    // A new run of ids, in the order they were queued; they leave the failed list until
    // they fail again.
    void Start(const std::vector<int>& ids, Clock::time_point now);
    // A final status of the run. Statuses of ids outside the run, or told twice, count
    // nothing; their view is still the status's own.
    EntryView Finished(const TaskEnd& end);
    // The user stopped the run; the summary says so.
    void Stop() { stopped_ = true; }
    // The run is over: the texts keep the time it took.
    void End(Clock::time_point now);
    bool Running() const { return running_; }
    // Set by the first failure that leaves the rest no chance (a full disk, a vanished
    // output folder); the driver stops the engine once it appears.
    BatchHalt Halt() const { return halt_; }

    std::size_t Total() const { return order_.size(); }
    std::size_t Done() const { return done_.size(); }
    std::size_t Succeeded() const { return succeeded_; }
    std::size_t Failed() const { return failed_; }
    std::size_t Skipped() const { return skipped_; }
    // Interrupted by a stop, plus those a stop kept from starting.
    std::size_t NotConverted() const { return interrupted_ + Total() - Done(); }
    bool WasStopped() const { return stopped_ || halt_ != BatchHalt::kNone; }

    // Ids whose last run failed, over every run, in id order.
    std::vector<int> FailedIds() const { return {failedIds_.begin(), failedIds_.end()}; }
    // An entry left the list.
    void Forget(int id) { failedIds_.erase(id); }
    // This run's ids neither converted nor skipped (failed, interrupted, never started),
    // in run order.
    std::vector<int> NotDoneIds() const;

    // Window: "已完成 N / M", the failures when there are any, then the time left once a
    // job has ended.
    std::string ProgressLine(Clock::time_point now) const;
    // Window: "转换完成:成功 N 张,失败 M 张,用时 T"; "跳过 K 张" before the failures when
    // files were left alone; "转换已停止" in place of "转换完成" after a stop.
    std::string SummaryLine(Clock::time_point now) const;
    // Window: the one message a halt shows; empty without one.
    std::string HaltMessage() const;
    // Seconds left at the pace so far; none before the first job ends.
    std::optional<long long> SecondsLeft(Clock::time_point now) const;

    // Command line: "[#####.....]  5/10 files, 1 failed, 1.30 files/s, 0:04".
    std::string BarLine(Clock::time_point now) const;
    // Command line: "N of M files converted in S s (R files/s)", what was skipped, stopped
    // or failed, then one line per failed file with its reason, names from nameOf.
    std::string SummaryText(Clock::time_point now,
                            const std::function<std::string(int)>& nameOf) const;
    // Command line: the one line a halt prints; empty without one.
    std::string HaltLine() const;

  private:
    double Seconds(Clock::time_point now) const;
    EntryView Count(const TaskEnd& end);

    Clock::time_point start_{};
    std::optional<Clock::time_point> end_;
    std::vector<int> order_;
    std::set<int> taken_;
    std::set<int> done_;
    std::set<int> finishedOk_; // converted or skipped
    std::vector<std::pair<int, std::string>> failures_; // this run's, in the order they ended
    std::set<int> failedIds_;
    std::size_t succeeded_ = 0;
    std::size_t failed_ = 0;
    std::size_t skipped_ = 0;
    std::size_t interrupted_ = 0;
    bool running_ = false;
    bool stopped_ = false;
    BatchHalt halt_ = BatchHalt::kNone;
};

// What an entry shows for a final status (and kTaskProcessing while it runs).
EntryView ViewOf(const TaskEnd& end);
// The window's short reason for a failure: by its kind, else "原因不明" without a reason;
// empty when the full reason is what to show.
std::string ShortReason(FailureKind kind, const std::string& reason);
// The halt a failure of that kind means.
BatchHalt HaltOf(FailureKind kind);

// "42 秒", "3 分 05 秒", "1 小时 02 分".
std::string DurationText(long long seconds);

} // namespace velquist
