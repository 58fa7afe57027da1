#include "batch_progress.h"

#include <algorithm>
#include <cstdio>

namespace velquist {

void BatchProgress::Start(int total, Clock::time_point now) {
    start_ = now;
    total_ = std::max(total, 0);
    done_ = 0;
    failed_ = 0;
    skipped_ = 0;
    interrupted_ = 0;
    running_ = true;
    stopped_ = false;
}

void BatchProgress::Finished(bool failed) {
    if (done_ >= total_) {
        return;
    }
    ++done_;
    failed_ += failed ? 1 : 0;
}

void BatchProgress::Skipped() {
    if (done_ < total_) {
        ++done_;
        ++skipped_;
    }
}

void BatchProgress::Interrupted() {
    if (done_ < total_) {
        ++done_;
        ++interrupted_;
    }
}

std::optional<long long> BatchProgress::SecondsLeft(Clock::time_point now) const {
    if (done_ <= 0 || done_ >= total_) {
        return std::nullopt;
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - start_);
    const long long perJobMs = elapsed.count() / done_;
    // Rounded up: "0 秒" left while work remains would read as finished.
    return (perJobMs * (total_ - done_) + 999) / 1000;
}

std::string BatchProgress::ProgressLine(Clock::time_point now) const {
    std::string line = "已完成 " + std::to_string(done_) + " / " + std::to_string(total_);
    if (failed_ > 0) {
        line += ",失败 " + std::to_string(failed_);
    }
    if (const auto left = SecondsLeft(now)) {
        line += ",剩余约 " + DurationText(*left);
    }
    return line;
}

std::string BatchProgress::SummaryLine(Clock::time_point now) const {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - start_).count();
    std::string line =
        (stopped_ ? "转换已停止:成功 " : "转换完成:成功 ") + std::to_string(Converted()) + " 张,";
    if (skipped_ > 0) {
        line += "跳过 " + std::to_string(skipped_) + " 张,";
    }
    return line + "失败 " + std::to_string(failed_) + " 张,用时 " + DurationText(seconds);
}

std::string DurationText(long long seconds) {
    seconds = std::max(seconds, 0LL);
    char text[48];
    if (seconds < 60) {
        std::snprintf(text, sizeof text, "%lld 秒", seconds);
    } else if (seconds < 3600) {
        std::snprintf(text, sizeof text, "%lld 分 %02lld 秒", seconds / 60, seconds % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld 小时 %02lld 分", seconds / 3600, seconds / 60 % 60);
    }
    return text;
}

} // namespace velquist
