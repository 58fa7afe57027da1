// The batch's counts, lists and texts, for the window and the command line alike.
#include "tasks/batch_presenter.h"

#include <gtest/gtest.h>

namespace velquist {
namespace {

using namespace std::chrono_literals;
using Clock = BatchPresenter::Clock;

TaskEnd Ended(int id, TaskStatus status, FailureKind kind = FailureKind::kOther,
              std::string reason = "boom") {
    return {id, status, status == kTaskFailed ? std::move(reason) : std::string(), kind};
}

std::string NameOf(int id) {
    return "'" + std::to_string(id) + ".heic'";
}

TEST(BatchPresenter, CountsEstimatesAndSumsForTheWindow) {
    BatchPresenter batch;
    const auto t0 = Clock::now();
    batch.Start({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, t0);
    EXPECT_EQ(batch.ProgressLine(t0), "已完成 0 / 10"); // no estimate before a job ends
    batch.Finished(Ended(0, kTaskSucceeded));
    batch.Finished(Ended(1, kTaskFailed));
    // Two jobs in 8 s: eight more take about 32 s.
    EXPECT_EQ(batch.ProgressLine(t0 + 8s), "已完成 2 / 10,失败 1,剩余约 32 秒");
    for (int id = 2; id < 10; ++id) {
        batch.Finished(Ended(id, kTaskSucceeded));
    }
    batch.Finished(Ended(9, kTaskSucceeded)); // told twice: counted once
    batch.Finished(Ended(42, kTaskFailed));   // not of this run
    EXPECT_EQ(batch.Done(), 10u);
    EXPECT_EQ(batch.ProgressLine(t0 + 75s), "已完成 10 / 10,失败 1");
    batch.End(t0 + 75s);
    // The time stays that of the end, however late the summary is shown again.
    EXPECT_EQ(batch.SummaryLine(t0 + 300s), "转换完成:成功 9 张,失败 1 张,用时 1 分 15 秒");
    EXPECT_EQ(DurationText(3 * 3600 + 4 * 60 + 5), "3 小时 04 分");
    EXPECT_EQ(DurationText(-3), "0 秒");
}

TEST(BatchPresenter, SkippedAndStoppedFilesAreNotConvertedAndAStopIsSaid) {
    BatchPresenter batch;
    const auto t0 = Clock::now();
    batch.Start({1, 2, 3, 4, 5, 6}, t0);
    batch.Finished(Ended(1, kTaskSucceeded));
    batch.Finished(Ended(2, kTaskSkipped));
    batch.Finished(Ended(3, kTaskFailed, FailureKind::kOther, "No 'ftyp' box"));
    EXPECT_EQ(batch.SummaryLine(t0 + 3s), "转换完成:成功 1 张,跳过 1 张,失败 1 张,用时 3 秒");
    batch.Stop();
    batch.Finished(Ended(4, kTaskStopped));
    batch.End(t0 + 4s);
    EXPECT_EQ(batch.SummaryLine(t0 + 4s), "转换已停止:成功 1 张,跳过 1 张,失败 1 张,用时 4 秒");
    // Failed, interrupted and never started wait for another run, in the run's order.
    EXPECT_EQ(batch.NotDoneIds(), (std::vector<int>{3, 4, 5, 6}));
    EXPECT_EQ(batch.NotConverted(), 3u);
    EXPECT_EQ(batch.SummaryText(t0 + 4s, NameOf),
              "1 of 6 files converted in 4.0 s (0.25 files/s); 1 skipped (output exists); "
              "stopped, 3 not converted; 1 failed:\n  '3.heic': No 'ftyp' box\n");

    batch.Start({5, 6}, t0); // a new run forgets the stop
    batch.Finished(Ended(5, kTaskSucceeded));
    batch.Finished(Ended(6, kTaskSucceeded));
    batch.End(t0 + 2s);
    EXPECT_EQ(batch.SummaryLine(t0 + 2s), "转换完成:成功 2 张,失败 0 张,用时 2 秒");
    EXPECT_EQ(batch.SummaryText(t0 + 2s, NameOf),
              "2 of 2 files converted in 2.0 s (1.00 files/s).\n");
}

TEST(BatchPresenter, TheBarShowsCountsRateAndTime) {
    BatchPresenter batch;
    const auto t0 = Clock::now();
    batch.Start({1, 2, 3, 4}, t0);
    EXPECT_EQ(batch.BarLine(t0), "[........................] 0/4 files, 0 failed, 0.00 files/s, 0:00");
    batch.Finished(Ended(1, kTaskFailed, FailureKind::kOther, "a\nb"));
    batch.Finished(Ended(2, kTaskSucceeded));
    EXPECT_EQ(batch.BarLine(t0 + 65s),
              "[############............] 2/4 files, 1 failed, 0.03 files/s, 1:05");
    // A reason cannot talk to the terminal.
    EXPECT_EQ(batch.SummaryText(t0 + 2s, NameOf).find("a\nb"), std::string::npos);
}

TEST(BatchPresenter, FailedListLastsOverRunsUntilRetakenOrForgotten) {
    BatchPresenter batch;
    const auto t0 = Clock::now();
    batch.Start({1, 2, 3}, t0);
    for (const int id : {1, 2, 3}) {
        batch.Finished(Ended(id, kTaskFailed));
    }
    batch.End(t0);
    batch.Start({4}, t0); // another run leaves the earlier failures listed
    batch.Finished(Ended(4, kTaskSucceeded));
    batch.End(t0);
    EXPECT_EQ(batch.FailedIds(), (std::vector<int>{1, 2, 3}));
    batch.Forget(2);
    batch.Start({3, 1}, t0); // retaken: not failed while they run
    EXPECT_TRUE(batch.FailedIds().empty());
    batch.Finished(Ended(3, kTaskFailed));
    batch.Finished(Ended(1, kTaskSucceeded));
    EXPECT_EQ(batch.FailedIds(), (std::vector<int>{3}));
}

TEST(BatchPresenter, AFullDiskOrAVanishedFolderHaltsAndTheRestWaits) {
    struct Case {
        FailureKind kind;
        BatchHalt halt;
        std::string message;
        std::string line;
    };
    const Case cases[] = {
        {FailureKind::kDiskFull, BatchHalt::kDiskFull,
         "磁盘空间不足,转换已停止。请清理磁盘空间后再继续转换。",
         "stopped: no space left on the output disk"},
        {FailureKind::kOutputFolderGone, BatchHalt::kOutputFolderGone,
         "输出文件夹已不存在,转换已停止。请重新选择输出文件夹后再继续转换。",
         "stopped: the output folder is gone"},
        {FailureKind::kCannotWrite, BatchHalt::kNone, "", ""},
    };
    for (const Case& c : cases) {
        BatchPresenter batch;
        const auto t0 = Clock::now();
        batch.Start({1, 2, 3, 4}, t0);
        batch.Finished(Ended(1, kTaskSucceeded));
        batch.Finished(Ended(2, kTaskFailed, c.kind));
        EXPECT_EQ(batch.Halt(), c.halt);
        // The job that ran beside it meets the same wall.
        const EntryView second = batch.Finished(Ended(3, kTaskFailed, c.kind));
        batch.End(t0 + 1s);
        EXPECT_EQ(batch.HaltMessage(), c.message);
        EXPECT_EQ(batch.HaltLine(), c.line);
        if (c.halt == BatchHalt::kNone) {
            EXPECT_EQ(batch.Failed(), 2u);
            continue;
        }
        EXPECT_EQ(batch.Failed(), 1u);
        EXPECT_EQ(second.look, EntryLook::kWaiting);
        EXPECT_EQ(batch.SummaryLine(t0 + 1s), "转换已停止:成功 1 张,失败 1 张,用时 1 秒");
        EXPECT_EQ(batch.NotDoneIds(), (std::vector<int>{2, 3, 4}));
        EXPECT_EQ(batch.FailedIds(), (std::vector<int>{2}));
    }
}

TEST(BatchPresenter, EntriesShowWhatIsOnDiskAndShortReasonsWithTheFullOneBeside) {
    struct Case {
        TaskEnd end;
        EntryLook look;
        std::string note;
        std::string detail;
        bool preview;
    };
    const std::string disk = "could not write image: No space left on device";
    const Case cases[] = {
        {{1, kTaskProcessing, {}, {}}, EntryLook::kProcessing, "", "", false},
        {{1, kTaskSucceeded, {}, {}}, EntryLook::kSucceeded, "", "", true},
        {{1, kTaskSkipped, {}, {}}, EntryLook::kSkipped, "", "", true},
        {{1, kTaskStopped, {}, {}}, EntryLook::kWaiting, "已停止", "", false},
        {{1, kTaskFailed, "No 'ftyp' box", FailureKind::kNotHeic}, EntryLook::kFailed,
         "不是有效的 HEIC 图片", "No 'ftyp' box", false},
        {{1, kTaskFailed, disk, FailureKind::kDiskFull}, EntryLook::kFailed, "磁盘空间不足", disk,
         false},
        {{1, kTaskFailed, "timed out", FailureKind::kTimedOut}, EntryLook::kFailed, "转换超时",
         "timed out", false},
        {{1, kTaskFailed, "odd", FailureKind::kOther}, EntryLook::kFailed, "转换失败", "odd", false},
        {{1, kTaskFailed, "", FailureKind::kOther}, EntryLook::kFailed, "原因不明", "原因不明",
         false},
    };
    for (const Case& c : cases) {
        const EntryView view = ViewOf(c.end);
        EXPECT_EQ(view.look, c.look) << c.end.reason;
        EXPECT_EQ(view.note, c.note) << c.end.reason;
        EXPECT_EQ(view.detail, c.detail) << c.end.reason;
        EXPECT_EQ(view.preview, c.preview) << c.end.reason;
    }
}

} // namespace
} // namespace velquist
