#include "batch_presenter.h"

#include "util/shown_name.h"
#include "util/text.h"
#include "util/translated_text.h"

#include <algorithm>
#include <cstdio>

namespace velquist {
namespace {

constexpr int kBarWidth = 24;

std::string MinutesAndSeconds(double seconds) {
    const long whole = static_cast<long>(std::max(seconds, 0.0));
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

std::string Printed(const char* format, auto... values) {
    char text[256];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

// A marked pattern in the window's language, with the numbers put in.
std::string Composed(const char* pattern, std::initializer_list<std::wstring> args) {
    return WideToUtf8(FillText(TranslatedText(pattern), args));
}

std::wstring Number(long long value) {
    return std::to_wstring(value);
}

} // namespace

void BatchPresenter::Start(const std::vector<int>& ids, Clock::time_point now) {
    start_ = now;
    end_.reset();
    order_.clear();
    taken_.clear();
    for (const int id : ids) {
        if (taken_.insert(id).second) {
            order_.push_back(id);
            failedIds_.erase(id);
        }
    }
    done_.clear();
    finishedOk_.clear();
    failures_.clear();
    succeeded_ = failed_ = skipped_ = interrupted_ = 0;
    running_ = true;
    stopped_ = false;
    halt_ = BatchHalt::kNone;
}

EntryView BatchPresenter::Finished(const TaskEnd& end) {
    if (!IsFinalStatus(end.status) || taken_.count(end.id) == 0 || !done_.insert(end.id).second) {
        return ViewOf(end);
    }
    return Count(end);
}

EntryView BatchPresenter::Count(const TaskEnd& end) {
    TaskEnd counted = end;
    // Once the disk is full or the folder gone, the jobs still running meet the same wall:
    // they wait like the rest instead of adding failures that say nothing new.
    if (end.status == kTaskFailed && halt_ != BatchHalt::kNone &&
        HaltOf(end.kind) != BatchHalt::kNone) {
        counted.status = kTaskStopped;
    }
    switch (counted.status) {
    case kTaskSucceeded:
        ++succeeded_;
        finishedOk_.insert(end.id);
        break;
    case kTaskSkipped:
        ++skipped_;
        finishedOk_.insert(end.id);
        break;
    case kTaskStopped:
        ++interrupted_;
        break;
    default:
        ++failed_;
        failedIds_.insert(end.id);
        failures_.emplace_back(end.id, end.reason.empty() ? "unknown error" : end.reason);
        if (halt_ == BatchHalt::kNone) {
            halt_ = HaltOf(end.kind);
        }
        break;
    }
    return ViewOf(counted);
}

void BatchPresenter::End(Clock::time_point now) {
    if (running_) {
        end_ = now;
    }
    running_ = false;
}

std::vector<int> BatchPresenter::NotDoneIds() const {
    std::vector<int> ids;
    for (const int id : order_) {
        if (finishedOk_.count(id) == 0) {
            ids.push_back(id);
        }
    }
    return ids;
}

double BatchPresenter::Seconds(Clock::time_point now) const {
    return std::chrono::duration<double>(end_.value_or(now) - start_).count();
}

std::optional<long long> BatchPresenter::SecondsLeft(Clock::time_point now) const {
    const auto done = static_cast<long long>(Done());
    const auto total = static_cast<long long>(Total());
    if (done <= 0 || done >= total) {
        return std::nullopt;
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - start_);
    const long long perJobMs = elapsed.count() / done;
    // Rounded up: "0 秒" left while work remains would read as finished.
    return (perJobMs * (total - done) + 999) / 1000;
}

std::string BatchPresenter::ProgressLine(Clock::time_point now) const {
    std::string line = Composed(QT_TRANSLATE_NOOP("Velquist", "已完成 %1 / %2"),
                                {Number(Done()), Number(Total())});
    if (failed_ > 0) {
        line += Composed(QT_TRANSLATE_NOOP("Velquist", ",失败 %1"), {Number(failed_)});
    }
    if (const auto left = SecondsLeft(now)) {
        line += Composed(QT_TRANSLATE_NOOP("Velquist", ",剩余约 %1"),
                         {AnsiToWide(DurationText(*left))});
    }
    return line;
}

std::string BatchPresenter::SummaryLine(Clock::time_point now) const {
    const auto seconds = static_cast<long long>(Seconds(now));
    std::string line =
        Composed(WasStopped() ? QT_TRANSLATE_NOOP("Velquist", "转换已停止:成功 %1 张,")
                              : QT_TRANSLATE_NOOP("Velquist", "转换完成:成功 %1 张,"),
                 {Number(succeeded_)});
    if (skipped_ > 0) {
        line += Composed(QT_TRANSLATE_NOOP("Velquist", "跳过 %1 张,"), {Number(skipped_)});
    }
    return line + Composed(QT_TRANSLATE_NOOP("Velquist", "失败 %1 张,用时 %2"),
                           {Number(failed_), AnsiToWide(DurationText(seconds))});
}

std::string BatchPresenter::HaltMessage() const {
    switch (halt_) {
    case BatchHalt::kDiskFull:
        return QT_TRANSLATE_NOOP("Velquist",
                                 "磁盘空间不足,转换已停止。请清理磁盘空间后再继续转换。");
    case BatchHalt::kOutputFolderGone:
        return QT_TRANSLATE_NOOP(
            "Velquist", "输出文件夹已不存在,转换已停止。请重新选择输出文件夹后再继续转换。");
    case BatchHalt::kNone:
        break;
    }
    return {};
}

std::string BatchPresenter::BarLine(Clock::time_point now) const {
    const std::size_t total = Total();
    const std::size_t done = Done();
    const int filled = total == 0 ? kBarWidth : static_cast<int>(done * kBarWidth / total);
    const double seconds = Seconds(now);
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
    return "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') + "]" +
           Printed(" %zu/%zu files, %zu failed, %.2f files/s, %s", done, total, failed_, rate,
                   MinutesAndSeconds(seconds).c_str());
}

std::string BatchPresenter::SummaryText(Clock::time_point now,
                                        const std::function<std::string(int)>& nameOf) const {
    const double seconds = Seconds(now);
    const double rate = seconds > 0 ? static_cast<double>(succeeded_) / seconds : 0.0;
    std::string text = Printed("%zu of %zu files converted in %.1f s (%.2f files/s)", succeeded_,
                               Total(), seconds, rate);
    if (skipped_ != 0) {
        text += Printed("; %zu skipped (output exists)", skipped_);
    }
    if (WasStopped() && NotConverted() != 0) {
        text += Printed("; stopped, %zu not converted", NotConverted());
    }
    if (failed_ == 0) {
        return text + ".\n";
    }
    text += Printed("; %zu failed:\n", failed_);
    for (const auto& [id, reason] : failures_) {
        text += "  " + nameOf(id) + ": " + EscapedControls(reason) + "\n";
    }
    return text;
}

std::string BatchPresenter::HaltLine() const {
    switch (halt_) {
    case BatchHalt::kDiskFull:
        return "stopped: no space left on the output disk";
    case BatchHalt::kOutputFolderGone:
        return "stopped: the output folder is gone";
    case BatchHalt::kNone:
        break;
    }
    return {};
}

EntryView ViewOf(const TaskEnd& end) {
    switch (end.status) {
    case kTaskProcessing:
        return {EntryLook::kProcessing, {}, {}, false};
    case kTaskSucceeded:
        return {EntryLook::kSucceeded, {}, {}, true};
    case kTaskSkipped: // its output was there already and stays
        return {EntryLook::kSkipped, {}, {}, true};
    case kTaskStopped: // it waits to be started again
        return {EntryLook::kWaiting, QT_TRANSLATE_NOOP("Velquist", "已停止"), {}, false};
    case kTaskFailed:
        break;
    }
    std::string shown = ShortReason(end.kind, end.reason);
    return {EntryLook::kFailed, shown, end.reason.empty() ? shown : end.reason, false};
}

std::string ShortReason(FailureKind kind, const std::string& reason) {
    switch (kind) {
    case FailureKind::kTooLarge:
        return QT_TRANSLATE_NOOP("Velquist", "图片尺寸过大");
    case FailureKind::kTimedOut:
        return QT_TRANSLATE_NOOP("Velquist", "转换超时");
    case FailureKind::kNotHeic:
        return QT_TRANSLATE_NOOP("Velquist", "不是有效的 HEIC 图片");
    case FailureKind::kUnreadable:
        return QT_TRANSLATE_NOOP("Velquist", "文件无法读取");
    case FailureKind::kDiskFull:
        return QT_TRANSLATE_NOOP("Velquist", "磁盘空间不足");
    case FailureKind::kCannotWrite:
        return QT_TRANSLATE_NOOP("Velquist", "无法写入输出文件");
    case FailureKind::kOutputFolderGone:
        return QT_TRANSLATE_NOOP("Velquist", "输出文件夹已不存在");
    case FailureKind::kOther:
        break;
    }
    return reason.empty() ? QT_TRANSLATE_NOOP("Velquist", "原因不明")
                          : QT_TRANSLATE_NOOP("Velquist", "转换失败");
}

BatchHalt HaltOf(FailureKind kind) {
    switch (kind) {
    case FailureKind::kDiskFull:
        return BatchHalt::kDiskFull;
    case FailureKind::kOutputFolderGone:
        return BatchHalt::kOutputFolderGone;
    default:
        return BatchHalt::kNone;
    }
}

std::string DurationText(long long seconds) {
    seconds = std::max(seconds, 0LL);
    if (seconds < 60) {
        return Composed(QT_TRANSLATE_NOOP("Velquist", "%1 秒"), {Number(seconds)});
    }
    if (seconds < 3600) {
        return Composed(QT_TRANSLATE_NOOP("Velquist", "%1 分 %2 秒"),
                        {Number(seconds / 60), AnsiToWide(Printed("%02lld", seconds % 60))});
    }
    return Composed(QT_TRANSLATE_NOOP("Velquist", "%1 小时 %2 分"),
                    {Number(seconds / 3600), AnsiToWide(Printed("%02lld", seconds / 60 % 60))});
}

} // namespace velquist
