#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace velquist {

// Counts one conversion batch for the progress line and its summary. Plain C++:
// the window feeds it and shows its texts.
class BatchProgress {
  public:
    using Clock = std::chrono::steady_clock;

    void Start(int total, Clock::time_point now);
    // A job ended; failed or converted.
    void Finished(bool failed);
    // A job ended without converting: its output was there already, or a stop interrupted it.
    void Skipped();
    void Interrupted();
    // The user stopped the batch; the summary says so.
    void Stop() { stopped_ = true; }
    bool Running() const { return running_; }
    void End() { running_ = false; }

    int Total() const { return total_; }
    int Done() const { return done_; }
    int Failed() const { return failed_; }
    int Converted() const { return done_ - failed_ - skipped_ - interrupted_; }

    // "已完成 N / M", then the failures when there are any, then the estimate of the
    // time left once a job has ended.
    std::string ProgressLine(Clock::time_point now) const;
    // "转换完成: 成功 N 张, 失败 M 张, 用时 T"; "跳过 K 张" before the failures when files were
    // left alone; after a stop "转换已停止" in place of "转换完成".
    std::string SummaryLine(Clock::time_point now) const;
    // Seconds left at the pace so far; none before the first job ends.
    std::optional<long long> SecondsLeft(Clock::time_point now) const;

  private:
    Clock::time_point start_{};
    int total_ = 0;
    int done_ = 0;
    int failed_ = 0;
    int skipped_ = 0;
    int interrupted_ = 0;
    bool running_ = false;
    bool stopped_ = false;
};

// "42 秒", "3 分 05 秒", "1 小时 02 分".
std::string DurationText(long long seconds);

} // namespace velquist
