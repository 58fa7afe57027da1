#include "decode/thread_budget.h"
#include "tasks/process_job_runner.h"
#include "tasks/status_queue.h"
#include "tasks/task_engine.h"
#include "test_env.h"
#ifdef VELQUIST_HAVE_TEST_SUPPORT
#include "support/heic_fixture.h"
#endif
#include "support/output_capture.h"
#include "util/text.h"

#include <atomic>
#include <condition_variable>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace velquist {
namespace {

using namespace std::chrono_literals;
using testing::ReadFile;
using testing::TempDir;

// Worker stand-ins, reading their request (conversion_request.h). An input whose name holds
// "gate" waits until INPUT.go exists; "crash", "hang" and "garbage" misbehave; "landed"
// writes its output and then hangs; "args" leaves the request's decode threads in
// INPUT.args; everything else writes its format, quality and Exif choice into the output.
constexpr const char* kFakeWorker = R"(
for arg; do in=$out; out=$arg; done
case "$in" in
  *gate*) while [ ! -e "$in.go" ]; do sleep 0.01; done ;;
  *args*) printf '%s' "$9" > "$in.args" ;;
esac
case "$in" in
  *crash*) echo "decoding..." >&2; kill -SEGV $$ ;;
  *hang*) sleep 30 ;;
  *landed*) printf done > "$out"; sleep 30 ;;
  *garbage*) head -c 3000 /dev/urandom; head -c 3000 /dev/urandom >&2; exit 0 ;;
  *bad*) echo "Not a HEIF file: $in" >&2; exit 1 ;;
esac
printf '%s %s %s' "$2" "$3" "$4" > "$out"
echo "Written to $out"
)";

class TaskEngineTest : public ::testing::Test {
  protected:
    TaskEngineTest() { worker_ = dir_.WorkerScript("worker.sh", kFakeWorker); }

    std::shared_ptr<JobRunner> Runner(std::chrono::milliseconds limit = 10s) {
        return std::make_shared<ProcessJobRunner>(WorkerOptions{{worker_}, 0, limit});
    }

    void Make(ThreadStarter starter = StartDetachedThread, std::chrono::milliseconds limit = 10s) {
        engine_ = std::make_unique<TaskEngine>(&statuses_, Runner(limit), std::move(starter));
        engine_->PublishSettings({OutputFormat::kJpg, 90, true, AnsiToWide(OutDir())});
    }

    std::string OutDir() const { return dir_.Path() + "/out"; }

    int Add(const std::string& relative) {
        const std::string path = dir_.Write("src/" + relative, "not really heif");
        const auto slash = path.rfind('/');
        return engine_->AddImageItem({path.substr(slash + 1), path, 15, {}, {}});
    }

    // Adds files gate0.heic .. gate<n-1>.heic, whose jobs wait for Release.
    std::vector<int> AddGated(int n) {
        std::vector<int> ids;
        for (int i = 0; i < n; ++i) {
            ids.push_back(Add("gate" + std::to_string(i) + ".heic"));
        }
        return ids;
    }

    void Release(int id) {
        const auto item = engine_->GetImageItem(id);
        ASSERT_TRUE(item);
        std::string path = item->sourcePath + ".go";
        std::FILE* f = std::fopen(path.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }

    TaskStatusReport Next() {
        const auto report = statuses_.Pop(10s);
        EXPECT_TRUE(report) << "no status arrived";
        return report.value_or(TaskStatusReport{-1, -1});
    }

    // Plays the main window's status handler until the batch ends; returns final statuses.
    std::map<int, int> RunToEnd() {
        std::map<int, int> finals;
        for (;;) {
            const auto report = Next();
            if (report.task_id < 0) {
                return finals;
            }
            if (report.status == kTaskProcessing) {
                continue;
            }
            EXPECT_TRUE(engine_->IsTaskRegistered(report.task_id));
            finals[report.task_id] = report.status;
            if (engine_->FinishTask(report.task_id).batchEnded) {
                return finals;
            }
        }
    }

    std::string OutputOf(int id) { return engine_->GetImageItem(id)->outputPath; }

    // The names in a folder, hidden ones included; empty when it is missing.
    static std::set<std::string> ListDir(const std::string& folder) {
        std::set<std::string> names;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    TempDir dir_;
    std::string worker_;
    StatusQueue statuses_; // declared before the engine: it must outlive the job threads
    std::unique_ptr<TaskEngine> engine_;
};

TEST_F(TaskEngineTest, FiveItemsStartThreeThenOnePerFinishedJob) {
    Make();
    const std::vector<int> ids = AddGated(5);
    ASSERT_TRUE(engine_->QueueTasks(ids));
    std::set<int> processing;
    for (int i = 0; i < 3; ++i) {
        const auto report = Next();
        EXPECT_EQ(report.status, kTaskProcessing);
        processing.insert(report.task_id);
    }
    EXPECT_EQ(processing, (std::set<int>{0, 1, 2}));
    EXPECT_TRUE(engine_->IsBusy());
    EXPECT_FALSE(statuses_.Pop(300ms)) << "a fourth job started while three ran";
    EXPECT_TRUE(OutputOf(3).empty());

    Release(0);
    auto report = Next();
    EXPECT_EQ(report.task_id, 0);
    EXPECT_EQ(report.status, kTaskSucceeded);
    const auto first = engine_->FinishTask(0);
    EXPECT_TRUE(first.finished);
    EXPECT_FALSE(first.batchEnded);
    EXPECT_EQ(first.running, 2u);
    EXPECT_EQ(first.queued, 2u);
    report = Next();
    EXPECT_EQ(report.task_id, 3);
    EXPECT_EQ(report.status, kTaskProcessing);
    EXPECT_FALSE(statuses_.Pop(200ms));

    Release(1);
    EXPECT_EQ(Next().task_id, 1);
    engine_->FinishTask(1);
    report = Next();
    EXPECT_EQ(report.task_id, 4);
    EXPECT_EQ(report.status, kTaskProcessing);

    for (int id : {2, 3, 4}) {
        Release(id);
    }
    const auto finals = RunToEnd();
    EXPECT_EQ(finals, (std::map<int, int>{{2, 2}, {3, 2}, {4, 2}}));
    EXPECT_FALSE(engine_->IsBusy());
    EXPECT_FALSE(engine_->FinishTask(4).finished) << "finished twice";
}

TEST_F(TaskEngineTest, BatchEndsOnlyWithTheLastFinalStatusWhateverTheOrder) {
    Make();
    const std::vector<int> ids{Add("gate0.heic"), Add("gate1.heic"), Add("gate2.heic")};
    engine_->QueueTasks(ids);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Next().status, kTaskProcessing);
    }
    for (int id : {1, 2, 0}) {
        Release(id);
        const auto report = Next();
        EXPECT_EQ(report.task_id, id);
        const auto result = engine_->FinishTask(id);
        EXPECT_EQ(result.batchEnded, id == 0);
        EXPECT_EQ(engine_->IsBusy(), id != 0);
    }
}

TEST_F(TaskEngineTest, FormatChangeMidBatchAppliesToItemsNotYetDispatched) {
    Make();
    const std::vector<int> ids = AddGated(5);
    engine_->QueueTasks(ids);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Next().status, kTaskProcessing);
    }
    engine_->PublishSettings({OutputFormat::kPng, 50, false, AnsiToWide(OutDir())});
    for (int id : ids) {
        Release(id);
    }
    EXPECT_EQ(RunToEnd().size(), 5u);
    for (int id : {0, 1, 2}) {
        EXPECT_EQ(OutputOf(id), OutDir() + "/gate" + std::to_string(id) + ".jpg");
        EXPECT_EQ(ReadFile(OutputOf(id)), "jpg 90 1");
    }
    for (int id : {3, 4}) {
        EXPECT_EQ(OutputOf(id), OutDir() + "/gate" + std::to_string(id) + ".png");
        EXPECT_EQ(ReadFile(OutputOf(id)), "png 50 0");
    }
}

TEST_F(TaskEngineTest, AllFailingBatchStillEndsAndKeepsReasons) {
    Make();
    std::vector<int> ids;
    for (int i = 0; i < 4; ++i) {
        ids.push_back(Add("bad" + std::to_string(i) + ".heic"));
    }
    velquist::test::CaptureStderr();
    engine_->QueueTasks(ids);
    const auto finals = RunToEnd();
    const std::string forwarded = velquist::test::TakeCapturedStderr();
    EXPECT_EQ(finals, (std::map<int, int>{{0, 1}, {1, 1}, {2, 1}, {3, 1}}));
    EXPECT_FALSE(engine_->IsBusy());
    const std::string source = dir_.Path() + "/src/bad2.heic";
    EXPECT_EQ(engine_->FailureReason(2), "Not a HEIF file: " + source);
    EXPECT_NE(forwarded.find("Not a HEIF file: " + source + "\n"), std::string::npos);
}

TEST_F(TaskEngineTest, MisbehavingWorkerFailsOnlyItsOwnFile) {
    Make(StartDetachedThread, 400ms);
    const int good1 = Add("good1.heic");
    const int crash = Add("crash.heic");
    const int hang = Add("hang.heic");
    const int garbage = Add("garbage.heic");
    const int good2 = Add("good2.heic");
    velquist::test::CaptureStdout();
    velquist::test::CaptureStderr();
    engine_->QueueTasks({good1, crash, hang, garbage, good2});
    const auto finals = RunToEnd();
    velquist::test::TakeCapturedStdout();
    velquist::test::TakeCapturedStderr();
    EXPECT_EQ(finals, (std::map<int, int>{{good1, kTaskSucceeded},
                                          {crash, kTaskFailed},
                                          {hang, kTaskFailed},
                                          {garbage, kTaskFailed},
                                          {good2, kTaskSucceeded}}));
    EXPECT_NE(engine_->FailureReason(crash).find("signal 11"), std::string::npos)
        << engine_->FailureReason(crash);
    EXPECT_EQ(engine_->FailureReason(hang), "timed out");
    EXPECT_EQ(engine_->FailureKindOf(hang), FailureKind::kTimedOut);
    EXPECT_EQ(engine_->FailureReason(garbage), "worker reported success but wrote no output file");
    EXPECT_EQ(engine_->FailureReason(good1), "");
    EXPECT_TRUE(testing::Exists(OutputOf(good2)));
}

TEST_F(TaskEngineTest, SameBaseNameInOneBatchGetsNumberedNamesAndALaterBatchOverwrites) {
    Make();
    const int a = Add("a/photo.heic");
    const int b = Add("b/photo.heic");
    const int c = Add("c/photo.HEIF");
    engine_->QueueTasks({a, b, c});
    EXPECT_EQ(RunToEnd().size(), 3u);
    std::set<std::string> names{OutputOf(a), OutputOf(b), OutputOf(c)};
    EXPECT_EQ(names, (std::set<std::string>{OutDir() + "/photo.jpg", OutDir() + "/photo (2).jpg",
                                            OutDir() + "/photo (3).jpg"}));
    for (const auto& name : names) {
        EXPECT_EQ(ReadFile(name), "jpg 90 1");
    }

    engine_->PublishSettings({OutputFormat::kJpg, 40, true, AnsiToWide(OutDir())});
    engine_->QueueTasks({b});
    EXPECT_EQ(RunToEnd().size(), 1u);
    EXPECT_EQ(OutputOf(b), OutDir() + "/photo.jpg");
    EXPECT_EQ(ReadFile(OutDir() + "/photo.jpg"), "jpg 40 1");
}

TEST_F(TaskEngineTest, NoOutputLandsOnAnInputOfTheListWhateverItsName) {
    Make();
    const std::string src = dir_.Path() + "/src";
    engine_->PublishSettings({OutputFormat::kJpg, 90, true, AnsiToWide(src)});
    const int heic = Add("a.heic");
    const int jpg = Add("a.jpg"); // a HEIF photo named like a JPEG, as phones do
    const int linked = Add("b.heic");
    const int viaSymlink = Add("c.heic");
    const int other = Add("d.heic");
    ASSERT_EQ(::link((src + "/a.jpg").c_str(), (src + "/b.jpg").c_str()), 0);
    ASSERT_EQ(::symlink((src + "/c.heic").c_str(), (src + "/c.jpg").c_str()), 0);
    // Not queued, still in the list: its file is protected as well.
    const int waiting = Add("e.png");
    ASSERT_EQ(::link((src + "/e.png").c_str(), (src + "/d.jpg").c_str()), 0);
    engine_->QueueTasks({heic, jpg, linked, viaSymlink, other});
    EXPECT_EQ(RunToEnd().size(), 5u);

    EXPECT_EQ(OutputOf(heic), src + "/a (2).jpg");
    EXPECT_EQ(OutputOf(jpg), src + "/a (3).jpg");
    EXPECT_EQ(OutputOf(linked), src + "/b (2).jpg");
    EXPECT_EQ(OutputOf(viaSymlink), src + "/c (2).jpg");
    EXPECT_EQ(OutputOf(other), src + "/d (2).jpg");
    for (const char* input : {"a.heic", "a.jpg", "b.heic", "c.heic", "d.heic", "e.png"}) {
        EXPECT_EQ(ReadFile(src + "/" + input), "not really heif") << input;
    }
    EXPECT_TRUE(engine_->GetImageItem(waiting));
}

TEST_F(TaskEngineTest, NamesThatAreNotUtf8ReachTheWorkerAsTheirBytes) {
    Make();
    const std::vector<std::string> names = {"x\xFF.heic", "x\xFE.heic", "lone\x80.heic",
                                            "over\xC0\xAF.heic"};
    std::vector<int> ids;
    for (const std::string& name : names) {
        const std::string path = dir_.Write("src/" + name, "not really heif");
        ids.push_back(engine_->AddImageItem({name, path, 15, {}, {}}));
    }
    engine_->QueueTasks(ids);
    const auto finals = RunToEnd();
    ASSERT_EQ(finals.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(finals.at(ids[i]), kTaskSucceeded) << i;
        const std::string base = names[i].substr(0, names[i].size() - 5);
        EXPECT_EQ(engine_->GetImageItem(ids[i])->outputPath, OutDir() + "/" + base + ".jpg");
        EXPECT_EQ(ReadFile(OutDir() + "/" + base + ".jpg"), "jpg 90 1") << i;
    }
}

TEST_F(TaskEngineTest, JobThreadThatCannotStartFailsItsTaskAndTheBatchEnds) {
    Make([](std::function<void()>) { return false; });
    const int a = Add("a.heic");
    const int b = Add("b.heic");
    engine_->QueueTasks({a, b});
    EXPECT_EQ(RunToEnd(), (std::map<int, int>{{a, kTaskFailed}, {b, kTaskFailed}}));
    EXPECT_EQ(engine_->FailureReason(a), "cannot start a thread for the conversion");
    EXPECT_FALSE(engine_->IsBusy());
}

TEST_F(TaskEngineTest, ItemRemovedWhileQueuedFailsWithoutHarm) {
    Make();
    const int gone = Add("gone.heic");
    const int kept = Add("kept.heic");
    ASSERT_TRUE(engine_->RemoveImageItem(gone));
    engine_->QueueTasks({gone, kept});
    EXPECT_EQ(RunToEnd(), (std::map<int, int>{{gone, kTaskFailed}, {kept, kTaskSucceeded}}));
    EXPECT_FALSE(engine_->GetImageItem(gone));
}

TEST_F(TaskEngineTest, QueueingSkipsIdsAlreadyQueuedAndEmptyStartsNothing) {
    Make();
    EXPECT_FALSE(engine_->QueueTasks({}));
    const int a = Add("gate-a.heic");
    EXPECT_TRUE(engine_->QueueTasks({a, a}));
    EXPECT_EQ(Next().status, kTaskProcessing);
    EXPECT_FALSE(engine_->QueueTasks({a})) << "a running id was queued again";
    Release(a);
    EXPECT_EQ(RunToEnd().size(), 1u);
    EXPECT_FALSE(statuses_.Pop(200ms));
    EXPECT_EQ(Add("next.heic"), a + 1) << "ids are never reused";
}

TEST_F(TaskEngineTest, LogLinesFollowTheQueueAndTheRunningList) {
    Make();
    const int a = Add("a.heic");
    velquist::test::CaptureStdout();
    engine_->QueueTasks({a});
    RunToEnd();
    const std::string out = velquist::test::TakeCapturedStdout();
    const auto idle = out.find("idleTaskImageList task_id: 0\n");
    const auto busy = out.find("busyTaskImageList task_id: 0\n");
    const auto size = out.find("ImageConvert,size: 0,0\n");
    EXPECT_NE(idle, std::string::npos);
    EXPECT_NE(out.find("Written to " + OutDir() + "/a.jpg\n"), std::string::npos);
    ASSERT_NE(busy, std::string::npos);
    EXPECT_LT(idle, busy);
    EXPECT_LT(busy, size);
}

TEST_F(TaskEngineTest, EmptyOutputFolderMeansTheConfiguredOne) {
    Make();
    engine_->PublishSettings({OutputFormat::kBmp, 90, true, L""});
    const int a = Add("a.heic");
    engine_->QueueTasks({a});
    RunToEnd();
    EXPECT_EQ(OutputOf(a), testing::FakeHome() + "/Pictures/Heic/a.bmp");
    EXPECT_TRUE(testing::Exists(OutputOf(a)));
}

TEST_F(TaskEngineTest, StopEndsTheRunningAsStoppedLeavesNoFileAndTheBatchStartsAgain) {
    Make();
    const std::vector<int> ids = AddGated(5);
    engine_->QueueTasks(ids);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Next().status, kTaskProcessing);
    }
    engine_->StopBatch();
    const auto finals = RunToEnd();
    EXPECT_EQ(finals.size(), 3u) << "queued ids get no status";
    for (const auto& [id, status] : finals) {
        EXPECT_EQ(status, kTaskStopped);
        EXPECT_EQ(engine_->LastStatus(id), kTaskStopped);
    }
    for (const int id : ids) {
        if (finals.count(id) == 0) {
            EXPECT_FALSE(engine_->LastStatus(id)) << "a dropped entry simply waits";
        }
    }
    EXPECT_FALSE(engine_->IsBusy());
    EXPECT_EQ(ListDir(OutDir()), std::set<std::string>{}) << "nothing half written";

    // Started again: every entry runs, the stopped ones included.
    for (const int id : ids) {
        Release(id);
    }
    engine_->QueueTasks(ids);
    const auto again = RunToEnd();
    ASSERT_EQ(again.size(), 5u);
    for (const auto& [id, status] : again) {
        EXPECT_EQ(status, kTaskSucceeded);
    }
}

TEST_F(TaskEngineTest, ABatchQueuedRightAfterAStopIsNotCaughtByIt) {
    Make();
    const int a = Add("hang-a.heic");
    const int b = Add("hang-b.heic");
    engine_->QueueTasks({a, b});
    EXPECT_EQ(Next().status, kTaskProcessing);
    EXPECT_EQ(Next().status, kTaskProcessing);
    engine_->StopBatch();
    const int next = Add("after.heic");
    engine_->QueueTasks({next}); // before the stopped ones are gone
    std::map<int, int> finals;
    while (finals.size() < 3) {
        const TaskStatusReport report = Next();
        if (report.task_id < 0) {
            break;
        }
        if (IsFinalStatus(report.status)) {
            finals[report.task_id] = report.status;
            engine_->FinishTask(report.task_id);
        }
    }
    EXPECT_EQ(finals,
              (std::map<int, int>{{a, kTaskStopped}, {b, kTaskStopped}, {next, kTaskSucceeded}}));
    EXPECT_FALSE(engine_->IsBusy());
}

TEST_F(TaskEngineTest, AnEntryQueuedAgainForgetsItsLastStatus) {
    Make();
    const int bad1 = Add("bad1.heic");
    const int good = Add("good.heic");
    const int bad2 = Add("bad2.heic");
    const int idle = Add("never-queued.heic");
    engine_->QueueTasks({bad1, good, bad2});
    RunToEnd();
    EXPECT_EQ(engine_->LastStatus(bad1), kTaskFailed);
    EXPECT_EQ(engine_->LastStatus(bad2), kTaskFailed);
    EXPECT_EQ(engine_->LastStatus(good), kTaskSucceeded);
    EXPECT_FALSE(engine_->LastStatus(idle));

    // A failed entry queued again and dropped by a stop waits; it is no longer failed.
    engine_->QueueTasks({Add("hang.heic"), Add("hang2.heic"), Add("hang3.heic"), bad1});
    EXPECT_EQ(Next().status, kTaskProcessing);
    EXPECT_FALSE(engine_->LastStatus(bad1));
    engine_->StopBatch();
    RunToEnd();
    EXPECT_FALSE(engine_->LastStatus(bad1));
    EXPECT_EQ(engine_->LastStatus(bad2), kTaskFailed);
}

TEST_F(TaskEngineTest, ExistingOutputIsOverwrittenSkippedOrKeptBesideANumberedOne) {
    struct Case {
        ExistingFile mode;
        TaskStatus first;
        std::string firstOutput;
        std::string secondOutput;
        std::string oldFileAfter;
    };
    const Case cases[] = {
        {ExistingFile::kOverwrite, kTaskSucceeded, "photo.jpg", "photo (2).jpg", "jpg 90 1"},
        {ExistingFile::kSkip, kTaskSkipped, "photo.jpg", "photo (2).jpg", "old"},
        {ExistingFile::kRename, kTaskSucceeded, "photo (2).jpg", "photo (3).jpg", "old"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ExistingFileName(c.mode));
        Make();
        ConversionSettings settings{OutputFormat::kJpg, 90, true, AnsiToWide(OutDir())};
        settings.existingFile = c.mode;
        engine_->PublishSettings(settings);
        dir_.Write("out/photo.jpg", "old");
        const int first = Add("x/photo.heic");
        const int second = Add("y/photo.heic"); // the batch's own outputs keep their numbering
        engine_->QueueTasks({first, second});
        const auto finals = RunToEnd();
        EXPECT_EQ(finals.at(first), c.first);
        EXPECT_EQ(finals.at(second), kTaskSucceeded);
        EXPECT_EQ(OutputOf(first), OutDir() + "/" + c.firstOutput);
        EXPECT_EQ(OutputOf(second), OutDir() + "/" + c.secondOutput);
        EXPECT_EQ(ReadFile(OutDir() + "/photo.jpg"), c.oldFileAfter);
        EXPECT_EQ(ReadFile(OutDir() + "/" + c.secondOutput), "jpg 90 1");
        if (c.mode == ExistingFile::kSkip) {
            EXPECT_EQ(engine_->LastStatus(first), kTaskSkipped);
        }
        engine_.reset();
        std::filesystem::remove_all(OutDir());
    }
}

TEST_F(TaskEngineTest, RenameNeverPicksTheNameOfAnInput) {
    Make();
    ConversionSettings settings{OutputFormat::kJpg, 90, true, AnsiToWide(dir_.Path() + "/src")};
    settings.existingFile = ExistingFile::kRename;
    engine_->PublishSettings(settings);
    dir_.Write("src/a.jpg", "old");
    const int a = Add("a.heic");
    const int input = Add("a (2).jpg"); // an input of the list, named like the first number
    engine_->QueueTasks({a});
    RunToEnd();
    EXPECT_EQ(OutputOf(a), dir_.Path() + "/src/a (3).jpg");
    EXPECT_EQ(ReadFile(dir_.Path() + "/src/a (2).jpg"), "not really heif");
    EXPECT_EQ(ReadFile(dir_.Path() + "/src/a.jpg"), "old");
    (void)input;
}

TEST_F(TaskEngineTest, OutputKeepsTheInputsDateUnlessTurnedOff) {
    for (const bool keep : {true, false}) {
        SCOPED_TRACE(keep);
        Make();
        ConversionSettings settings{OutputFormat::kJpg, 90, true, AnsiToWide(OutDir())};
        settings.keepDate = keep;
        engine_->PublishSettings(settings);
        const int id = Add(keep ? "kept.heic" : "fresh.heic"); // no Exif: the file's own date
        const std::string input = engine_->GetImageItem(id)->sourcePath;
        const timespec old[2] = {{981173106, 0}, {981173106, 0}}; // 2001-02-03 04:05:06 UTC
        ASSERT_EQ(::utimensat(AT_FDCWD, input.c_str(), old, 0), 0);
        engine_->QueueTasks({id});
        EXPECT_EQ(RunToEnd().at(id), kTaskSucceeded);
        struct stat info {};
        ASSERT_EQ(::stat(OutputOf(id).c_str(), &info), 0);
        if (keep) {
            EXPECT_EQ(info.st_mtime, 981173106);
        } else {
            EXPECT_GT(info.st_mtime, 981173106 + 3600);
        }
        engine_.reset();
    }
}

TEST_F(TaskEngineTest, SubfoldersAreMirroredAndCannotLeadOutOfTheOutputFolder) {
    Make();
    const auto add = [&](const std::string& relative, const std::string& sub) {
        const std::string path = dir_.Write("Phone/" + relative, "not really heif");
        return engine_->AddImageItem({"IMG_1.heic", path, 15, {}, sub});
    };
    const int deep = add("2023/May/IMG_1.heic", "2023/May");
    const int other = add("2024/IMG_1.heic", "2024");
    const int flat = add("IMG_1.heic", "");
    const int escape = add("x/IMG_1.heic", "../escape");
    const int absolute = add("y/IMG_1.heic", "/tmp");
    engine_->QueueTasks({deep, other, flat, escape, absolute});
    const auto finals = RunToEnd();
    EXPECT_EQ(OutputOf(deep), OutDir() + "/2023/May/IMG_1.jpg");
    EXPECT_EQ(OutputOf(other), OutDir() + "/2024/IMG_1.jpg");
    EXPECT_EQ(OutputOf(flat), OutDir() + "/IMG_1.jpg");
    for (const int id : {deep, other, flat}) {
        EXPECT_EQ(finals.at(id), kTaskSucceeded);
        EXPECT_EQ(ReadFile(OutputOf(id)), "jpg 90 1");
    }
    for (const int id : {escape, absolute}) {
        EXPECT_EQ(finals.at(id), kTaskFailed);
        EXPECT_EQ(engine_->FailureReason(id),
                  "the entry's subfolder leads out of the output folder");
    }
    EXPECT_FALSE(testing::Exists(dir_.Path() + "/escape"));
}

#ifdef VELQUIST_HAVE_TEST_SUPPORT
TEST_F(TaskEngineTest, APhotoWhoseEstimateExceedsTheBudgetFailsAtOnceWithItsReason) {
    Make();
    engine_->SetMemoryBudget(std::uint64_t{32} << 20);
    const std::string photo = dir_.Write("src/photo.heic", "");
    ASSERT_EQ(test::WriteHeic(photo, test::HeicImageSpec{}), "");
    const int id = engine_->AddImageItem({"photo.heic", photo, 1, {}, {}});
    engine_->QueueTasks({id});
    EXPECT_EQ(RunToEnd().at(id), kTaskFailed);
    EXPECT_EQ(engine_->FailureReason(id), "image too large: 64x48 needs about 0.1 GB");
    EXPECT_EQ(engine_->FailureKindOf(id), FailureKind::kTooLarge);
    EXPECT_FALSE(testing::Exists(OutputOf(id))) << "no worker ran";

    engine_->SetMemoryBudget(0); // the machine's: plenty for 64x48
    engine_->QueueTasks({id});
    EXPECT_EQ(RunToEnd().at(id), kTaskSucceeded);
}
#endif

// The cores are shared among the jobs that run at once: a photo converted alone gets the
// decoding threads of a job that has the machine to itself, the first photos of a longer
// batch (and every photo where the runner lets one job work at a time) their share.
TEST_F(TaskEngineTest, DecodingThreadsFollowTheJobsThatRunAtOnce) {
    const auto threadsOf = [this](const std::string& name) {
        return ReadFile(dir_.Path() + "/src/" + name + ".args");
    };
    const int cores = AvailableCores();
    Make();
    engine_->QueueTasks({Add("args-alone.heic")});
    RunToEnd();
    EXPECT_EQ(threadsOf("args-alone.heic"), std::to_string(DecodeThreadsPerJob(1, cores)));
    std::vector<int> ids;
    for (int i = 0; i < 5; ++i) {
        ids.push_back(Add("args-" + std::to_string(i) + ".heic"));
    }
    engine_->QueueTasks(ids);
    RunToEnd();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(threadsOf("args-" + std::to_string(i) + ".heic"),
                  std::to_string(DecodeThreadsPerJob(3, cores)))
            << i;
    }
    engine_->SetParallelJobs(1);
    engine_->QueueTasks({Add("args-one-a.heic"), Add("args-one-b.heic")});
    RunToEnd();
    EXPECT_EQ(threadsOf("args-one-a.heic"), std::to_string(DecodeThreadsPerJob(1, cores)));
}

TEST_F(TaskEngineTest, DestroyingTheEngineStopsRunningWorkers) {
    Make();
    const int a = Add("gate-held.heic"); // never ends unless let go
    engine_->QueueTasks({a});
    EXPECT_EQ(Next().status, kTaskProcessing);
    // Should the engine wait for its worker instead, the worker is let go after a long
    // while so that the test ends, and fails.
    std::atomic<bool> destroyed{false};
    std::atomic<bool> letGo{false};
    std::thread watchdog([&] {
        if (!testing::WaitUntil([&destroyed] { return destroyed.load(); }, 60s)) {
            letGo = true;
            dir_.Write("src/gate-held.heic.go", "");
        }
    });
    engine_.reset();
    destroyed = true;
    watchdog.join();
    EXPECT_FALSE(letGo) << "destroying the engine waited for its worker's own end";
    EXPECT_TRUE(testing::WaitUntil([this] { return testing::LiveProcessesWith(worker_) == 0; }));
}

// A runner that keeps what it was given and holds each job until let go; it ignores the
// cancel flag, as a job stuck in the kernel would.
class HeldRunner : public JobRunner {
  public:
    JobOutcome Run(const ConvertTask& task, const std::atomic<bool>& /*cancel*/) override {
        std::unique_lock lock(mutex_);
        limits_.push_back(task.timeLimit);
        changed_.notify_all();
        changed_.wait(lock, [this] { return released_; });
        return {kTaskFailed, "held"};
    }
    std::vector<std::chrono::milliseconds> Limits() {
        std::lock_guard lock(mutex_);
        return limits_;
    }
    void Release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::chrono::milliseconds> limits_;
    bool released_ = false;
};

#ifdef VELQUIST_HAVE_TEST_SUPPORT
TEST_F(TaskEngineTest, TimeLimitFollowsTheClaimedMegapixels) {
    auto runner = std::make_shared<HeldRunner>();
    runner->Release();
    engine_ = std::make_unique<TaskEngine>(&statuses_, runner);
    engine_->PublishSettings({OutputFormat::kJpg, 90, true, AnsiToWide(OutDir())});
    engine_->SetTimeLimit({10s, 2s, 40});
    const std::string photo = dir_.Write("src/photo.heic", "");
    test::HeicImageSpec spec;
    spec.width = 1024;
    spec.height = 1000; // a little over one megapixel counts as two
    ASSERT_EQ(test::WriteHeic(photo, spec), "");
    engine_->QueueTasks({engine_->AddImageItem({"photo.heic", photo, 1, {}, {}})});
    RunToEnd();
    engine_->QueueTasks({Add("unreadable.heic")});
    RunToEnd();
    EXPECT_EQ(runner->Limits(), (std::vector<std::chrono::milliseconds>{14s, 90s}));
}
#endif

TEST_F(TaskEngineTest, ConversionPastItsTimeLimitTimesOutAndTheNextRuns) {
    Make(); // the runner's own limit is far off: the engine's applies
    engine_->SetTimeLimit({300ms, 0ms, 0});
    const int hang = Add("hang.heic");
    const int good = Add("good.heic");
    engine_->QueueTasks({hang, good});
    EXPECT_EQ(RunToEnd(), (std::map<int, int>{{hang, kTaskFailed}, {good, kTaskSucceeded}}));
    EXPECT_EQ(engine_->FailureReason(hang), "timed out");
    EXPECT_EQ(engine_->FailureKindOf(hang), FailureKind::kTimedOut);
}

// The worker put its output in place, and the stop came before its answer did. An output
// from before the batch that the stop left alone says nothing of the kind.
TEST_F(TaskEngineTest, StopAfterTheOutputLandedReportsItConverted) {
    Make();
    const int landed = Add("landed.heic");
    const int gated = Add("gate.heic");
    const std::string earlier = dir_.Write("out/gate.jpg", "earlier");
    engine_->QueueTasks({landed, gated});
    ASSERT_TRUE(testing::WaitUntil([&] {
        const auto item = engine_->GetImageItem(landed);
        return item && !item->outputPath.empty() && testing::Exists(OutputOf(landed));
    }));
    engine_->StopBatch();
    EXPECT_EQ(RunToEnd(), (std::map<int, int>{{landed, kTaskSucceeded}, {gated, kTaskStopped}}));
    EXPECT_EQ(engine_->FailureReason(landed), "");
    EXPECT_EQ(ReadFile(OutputOf(landed)), "done");
    EXPECT_EQ(OutputOf(gated), earlier);
    EXPECT_EQ(ReadFile(earlier), "earlier");
}

// A job that does not end when told must not keep the window (or the command line) from
// closing: the engine goes without it, and the job, once it ends, reports to nobody.
TEST_F(TaskEngineTest, DestroyingTheEngineDoesNotWaitForAJobThatWillNotEnd) {
    auto runner = std::make_shared<HeldRunner>();
    auto threadEnded = std::make_shared<std::atomic<bool>>(false);
    const ThreadStarter starter = [threadEnded](std::function<void()> fn) {
        return StartDetachedThread([fn = std::move(fn), threadEnded] {
            fn();
            *threadEnded = true;
        });
    };
    engine_ = std::make_unique<TaskEngine>(&statuses_, runner, starter);
    engine_->PublishSettings({OutputFormat::kJpg, 90, true, AnsiToWide(OutDir())});
    engine_->QueueTasks({Add("held.heic")});
    EXPECT_EQ(Next().status, kTaskProcessing);
    ASSERT_TRUE(testing::WaitUntil([&] { return runner->Limits().size() == 1; }));
    velquist::test::CaptureStderr();
    engine_.reset(); // returns although the job is held
    EXPECT_NE(velquist::test::TakeCapturedStderr().find("still ending"), std::string::npos);
    runner->Release();
    ASSERT_TRUE(testing::WaitUntil([&] { return threadEnded->load(); }));
    EXPECT_FALSE(statuses_.Pop(0ms)) << "no status after the engine is gone";
}

} // namespace
} // namespace velquist
