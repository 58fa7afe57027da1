#include "support/output_capture.h"
#include "tasks/status_queue.h"
#include "tasks/task_engine.h"
#include "tasks/worker_pool_job_runner.h"
#include "tasks/worker_protocol.h"
#include "test_env.h"
#include "util/text.h"

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <tuple>

namespace velquist {
namespace {

using namespace std::chrono_literals;
using testing::ReadFile;
using testing::TempDir;

TEST(WorkerProtocol, RecordsKeepEveryByteWhateverPiecesTheyArriveIn) {
    const std::vector<std::string> request{"--format", "png",    "--", "a\nb\xFF\x01 c.heic",
                                           "",         "out.png"};
    const std::string bytes = EncodeRecord(request) + EncodeRecord({"0"});
    RecordReader reader;
    for (const char c : bytes) {
        reader.Feed(&c, 1);
    }
    EXPECT_EQ(reader.Take(), request);
    EXPECT_EQ(reader.Take(), (std::vector<std::string>{"0"}));
    EXPECT_FALSE(reader.Take());
    EXPECT_FALSE(reader.Broken());
    EXPECT_FALSE(reader.Pending());

    RecordReader partial;
    partial.Feed("2\0one\0tw", 8);
    EXPECT_FALSE(partial.Take());
    EXPECT_TRUE(partial.Pending());
}

TEST(WorkerProtocol, MalformedOrOversizedRecordsBreakTheStream) {
    const std::vector<std::string> bad = {std::string("x\0", 2), std::string("-1\0", 3),
                                          std::string("99\0", 3), "123456789012",
                                          std::string(" 1\0a\0", 5)};
    for (const std::string& bytes : bad) {
        RecordReader reader;
        reader.Feed(bytes.data(), bytes.size());
        EXPECT_TRUE(reader.Broken()) << bytes;
        EXPECT_FALSE(reader.Take());
    }
    RecordReader flood;
    const std::string head("1\0", 2);
    flood.Feed(head.data(), head.size());
    const std::string chunk(64 * 1024, 'z');
    for (int i = 0; i < 5; ++i) {
        flood.Feed(chunk.data(), chunk.size());
    }
    EXPECT_TRUE(flood.Broken()) << "an endless field must not grow without bound";
}

// A long-lived worker stand-in speaking the request protocol (conversion_request.h: the
// version, format, quality and Exif choice first, INPUT and OUTPUT last). An input whose
// name holds "gate" waits for INPUT.go; "crash", "hang", "garbage", "babble" (noise on the
// answer channel), "bad" and "quit" misbehave; "big" keeps 40 MB resident. A converted file
// holds the settings, the worker's pid and its address-space limit in KiB.
constexpr const char* kLoopWorker = R"SH(#!/bin/bash
[ "$1" = --worker-loop ] || exit 9
answer() { printf '%s\0' "$#" "$@" >&3; }
while IFS= read -r -d '' n; do
  args=()
  for ((i = 0; i < n; i++)); do IFS= read -r -d '' f || exit 3; args+=("$f"); done
  set -- "${args[@]}"
  in=${@: -2:1}; out=${@: -1}
  case "$in" in *gate*) while [ ! -e "$in.go" ]; do sleep 0.01; done ;; esac
  case "$in" in
    *crash*) echo "decoding..." >&2; kill -SEGV $$ ;;
    *hang*) echo $$ > "$in.pid"; sleep 30 ;;
    *garbage*) head -c 3000 /dev/urandom; head -c 3000 /dev/urandom >&2; answer 0; continue ;;
    *babble*) head -c 3000 /dev/urandom >&3; sleep 30 ;;
    *bad*) echo "Not a HEIF file: $in" >&2; answer 1 "Not a HEIF file: $in"; continue ;;
    *quit*) exit 0 ;;
    *big*) printf -v big '%*s' 40000000 '' ;;
  esac
  printf '%s %s %s %s %s' "$2" "$3" "$4" "$$" "$(ulimit -v)" > "$out"
  echo "Written to $out"
  answer 0
done
)SH";

class WorkerPool : public ::testing::Test {
  protected:
    WorkerPool() {
        worker_ = dir_.Write("loop-worker.sh", kLoopWorker);
        ::chmod(worker_.c_str(), 0755);
    }

    WorkerOptions Options(std::chrono::milliseconds limit = 10s) const {
        WorkerOptions options{{worker_}, 0, limit};
        return options;
    }

    ConvertTask Task(const std::string& name, std::uint64_t estimate = 0) {
        const std::string input = dir_.Write("src/" + name, "not really heif");
        return ConvertTask{input,
                           dir_.Path() + "/out-" + name + ".png",
                           {OutputFormat::kPng, 70, false, {}},
                           ++nextId_,
                           estimate};
    }

    // Runs the file; the fields its output holds (format quality exif pid limit), or the
    // failure reason as the only field.
    std::vector<std::string> Convert(WorkerPoolJobRunner& runner, const ConvertTask& task) {
        velquist::test::CaptureStdout();
        velquist::test::CaptureStderr();
        const JobOutcome outcome = runner.Run(task, cancel_);
        velquist::test::TakeCapturedStdout();
        velquist::test::TakeCapturedStderr();
        if (outcome.status != kTaskSucceeded) {
            return {outcome.reason};
        }
        std::vector<std::string> fields;
        std::istringstream text(ReadFile(task.outputPath));
        for (std::string field; text >> field;) {
            fields.push_back(field);
        }
        return fields;
    }

    static std::string Pid(const std::vector<std::string>& fields) {
        return fields.size() == 5 ? fields[3] : "failed: " + fields.front();
    }

    TempDir dir_;
    std::string worker_;
    std::atomic<bool> cancel_{false};
    int nextId_ = 0;
};

bool ProcessGone(const std::string& pid) {
    return ::kill(std::stoi(pid), 0) != 0 && errno == ESRCH;
}

TEST_F(WorkerPool, OneWorkerConvertsFileAfterFile) {
    WorkerPoolJobRunner runner(Options());
    const auto first = Convert(runner, Task("a.heic"));
    ASSERT_EQ(first.size(), 5u) << first.front();
    EXPECT_EQ(first[0] + " " + first[1] + " " + first[2], "png 70 0");
    EXPECT_EQ(first[4], "unlimited");
    for (const char* name : {"b.heic", "c\n d\xFF.heic"}) {
        EXPECT_EQ(Pid(Convert(runner, Task(name))), first[3]) << name;
    }
    EXPECT_EQ(runner.WorkersStarted(), 1u);
    EXPECT_EQ(runner.IdleWorkers(), 1u);
}

TEST_F(WorkerPool, CrashMidBatchFailsOneFileAndTheRestConvertInANewWorker) {
    WorkerPoolJobRunner runner(Options());
    const std::string before = Pid(Convert(runner, Task("good1.heic")));
    EXPECT_EQ(Pid(Convert(runner, Task("good2.heic"))), before);
    const auto crashed = Convert(runner, Task("crash.heic"));
    ASSERT_EQ(crashed.size(), 1u);
    EXPECT_EQ(crashed[0], "worker killed by signal 11 (Segmentation fault): decoding...");
    const std::string after = Pid(Convert(runner, Task("good3.heic")));
    EXPECT_EQ(Pid(Convert(runner, Task("good4.heic"))), after);
    EXPECT_NE(after, before);
    EXPECT_EQ(runner.WorkersStarted(), 2u);
    EXPECT_TRUE(ProcessGone(before));
}

TEST_F(WorkerPool, HangFailsOneFileAtTheTimeLimit) {
    WorkerPoolJobRunner runner(Options(300ms));
    const std::string before = Pid(Convert(runner, Task("good1.heic")));
    const auto hung = Convert(runner, Task("hang.heic"));
    ASSERT_EQ(hung.size(), 1u);
    EXPECT_EQ(hung[0], "timed out");
    EXPECT_TRUE(ProcessGone(before)) << "the hung worker is ended";
    const std::string after = Pid(Convert(runner, Task("good2.heic")));
    EXPECT_NE(after, before);
    EXPECT_EQ(runner.WorkersStarted(), 2u);
}

TEST_F(WorkerPool, EveryKindOfFailureFailsItsFileAndTheNextStartsFresh) {
    WorkerPoolJobRunner runner(Options(1s));
    const std::map<std::string, std::string> expected = {
        {"bad.heic", "Not a HEIF file: " + dir_.Path() + "/src/bad.heic"},
        {"garbage.heic", "worker reported success but wrote no output file"},
        {"babble.heic", "worker sent an invalid answer"},
        {"quit.heic", "worker ended without an answer"},
    };
    std::set<std::string> pids;
    for (const auto& [name, reason] : expected) {
        pids.insert(Pid(Convert(runner, Task("good-before-" + name))));
        EXPECT_EQ(Convert(runner, Task(name)), std::vector<std::string>{reason}) << name;
    }
    EXPECT_EQ(pids.size(), expected.size()) << "a worker served a file after a failure";
}

TEST_F(WorkerPool, WorkerThatStaysLargeAfterAFileIsRecycled) {
    WorkerOptions options = Options();
    options.recycleResidentBytes = std::uint64_t{24} << 20;
    WorkerPoolJobRunner runner(options);
    const std::string first = Pid(Convert(runner, Task("small1.heic")));
    EXPECT_EQ(Pid(Convert(runner, Task("big.heic"))), first) << "the large file converts";
    EXPECT_EQ(runner.WorkersRecycled(), 1u);
    EXPECT_TRUE(ProcessGone(first));
    const std::string second = Pid(Convert(runner, Task("small2.heic")));
    EXPECT_NE(second, first);
    EXPECT_EQ(Pid(Convert(runner, Task("small3.heic"))), second);
    EXPECT_EQ(runner.WorkersRecycled(), 1u);
}

TEST_F(WorkerPool, AddressSpaceLimitFollowsTheFileInHand) {
    WorkerOptions options = Options();
    options.memoryLimitBytes = kDefaultWorkerMemoryLimit;
    WorkerPoolJobRunner runner(options);
    constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
    std::vector<std::string> pids;
    // estimate -> the worker's limit: the estimate plus the headroom, rounded up to a step;
    // the limit for unknown sizes without an estimate.
    for (const auto& [name, estimate, limit] :
         std::vector<std::tuple<std::string, std::uint64_t, std::uint64_t>>{
             {"a.heic", 100 * kMiB, 1536 * kMiB},
             {"b.heic", 300 * kMiB, 1536 * kMiB},
             {"c.heic", 6144 * kMiB, 7168 * kMiB}, // above the limit for unknown sizes
             {"d.heic", 0, kDefaultWorkerMemoryLimit},
             {"e.heic", 100 * kMiB, 1536 * kMiB}}) {
        const auto fields = Convert(runner, Task(name, estimate));
        ASSERT_EQ(fields.size(), 5u) << fields.front();
        EXPECT_EQ(fields[4], std::to_string(limit >> 10)) << name;
        pids.push_back(fields[3]);
    }
    // The limit is hard: lowering it or keeping it keeps the worker; raising it takes
    // CAP_SYS_RESOURCE, without which the larger file gets a fresh worker.
    EXPECT_EQ(pids[0], pids[1]);
    EXPECT_EQ(pids[2], pids[3]);
    EXPECT_EQ(pids[3], pids[4]);
}

TEST_F(WorkerPool, CancelEndsTheBusyWorkerAtOnceAndTheIdleOnes) {
    WorkerPoolJobRunner runner(Options());
    const ConvertTask gate = Task("gate.heic");
    std::thread gated([&] {
        const JobOutcome outcome = runner.Run(gate, cancel_);
        EXPECT_EQ(outcome.status, kTaskSucceeded);
    });
    // While the gated file holds one worker, a second one serves this file.
    const ConvertTask other = Task("other.heic");
    EXPECT_EQ(runner.Run(other, cancel_).status, kTaskSucceeded);
    const std::string otherPid = Pid(Convert(runner, Task("again.heic")));
    { std::ofstream(dir_.Path() + "/src/gate.heic.go"); }
    gated.join();
    ASSERT_EQ(runner.IdleWorkers(), 2u);

    const ConvertTask hang = Task("hang.heic");
    // Cancelled once the worker holds the file, which it never finishes on its own.
    std::thread canceller([this, &hang] {
        testing::WaitUntil([&hang] { return testing::Exists(hang.inputPath + ".pid"); });
        cancel_ = true;
    });
    velquist::test::CaptureStdout();
    const JobOutcome outcome = runner.Run(hang, cancel_);
    velquist::test::TakeCapturedStdout();
    canceller.join();
    EXPECT_EQ(outcome.reason, "conversion cancelled");
    EXPECT_EQ(runner.IdleWorkers(), 0u);
    EXPECT_TRUE(ProcessGone(ReadFile(hang.inputPath + ".pid").substr(0, 10)));
    EXPECT_TRUE(ProcessGone(otherPid));
    EXPECT_FALSE(testing::Exists(hang.outputPath));
}

TEST_F(WorkerPool, IdleWorkersEndAfterTheirIdleLife) {
    WorkerOptions options = Options();
    options.idleLife = 100ms;
    WorkerPoolJobRunner runner(options);
    const std::string pid = Pid(Convert(runner, Task("a.heic")));
    // A loaded machine may be slow to end and reap it: wait for both.
    testing::WaitUntil([&] { return runner.IdleWorkers() == 0 && ProcessGone(pid); });
    EXPECT_EQ(runner.IdleWorkers(), 0u);
    EXPECT_TRUE(ProcessGone(pid));
}

TEST_F(WorkerPool, MissingProgramFailsTheFileWithTheReason) {
    WorkerPoolJobRunner runner(WorkerOptions{{dir_.Path() + "/nope"}, 0, 1s});
    EXPECT_EQ(runner.Run(Task("a.heic"), cancel_).reason,
              "cannot start the worker: No such file or directory");
}

// The engine over long-lived workers, as the window and the command line run it.
class EngineOverWorkerPool : public WorkerPool {
  protected:
    void Make(std::chrono::milliseconds limit = 10s) {
        runner_ = std::make_shared<WorkerPoolJobRunner>(Options(limit));
        engine_ = std::make_unique<TaskEngine>(&statuses_, runner_);
        engine_->PublishSettings({OutputFormat::kJpg, 90, true, AnsiToWide(OutDir())});
    }
    std::string OutDir() const { return dir_.Path() + "/out"; }
    int Add(const std::string& name) {
        const std::string path = dir_.Write("src/" + name, "not really heif");
        return engine_->AddImageItem({name, path, 15, {}, {}});
    }
    std::map<int, int> RunToEnd() {
        std::map<int, int> finals;
        for (;;) {
            const auto report = statuses_.Pop(10s);
            if (!report) {
                ADD_FAILURE() << "no status arrived";
                return finals;
            }
            if (report->status == kTaskProcessing) {
                continue;
            }
            finals[report->task_id] = report->status;
            if (engine_->FinishTask(report->task_id).batchEnded) {
                return finals;
            }
        }
    }

    std::shared_ptr<WorkerPoolJobRunner> runner_;
    StatusQueue statuses_;
    std::unique_ptr<TaskEngine> engine_;
};

TEST_F(EngineOverWorkerPool, MisbehavingWorkersFailOnlyTheirOwnFiles) {
    Make(400ms);
    std::vector<int> good;
    for (int i = 0; i < 6; ++i) {
        good.push_back(Add("good" + std::to_string(i) + ".heic"));
    }
    const int crash = Add("crash.heic");
    const int hang = Add("hang.heic");
    const int garbage = Add("garbage.heic");
    velquist::test::CaptureStdout();
    velquist::test::CaptureStderr();
    engine_->QueueTasks(
        {good[0], good[1], crash, good[2], hang, good[3], garbage, good[4], good[5]});
    const auto finals = RunToEnd();
    velquist::test::TakeCapturedStdout();
    velquist::test::TakeCapturedStderr();
    ASSERT_EQ(finals.size(), 9u);
    for (const int id : good) {
        EXPECT_EQ(finals.at(id), kTaskSucceeded) << engine_->FailureReason(id);
    }
    EXPECT_NE(engine_->FailureReason(crash).find("signal 11"), std::string::npos);
    EXPECT_EQ(engine_->FailureReason(hang), "timed out");
    EXPECT_EQ(engine_->FailureKindOf(hang), FailureKind::kTimedOut);
    EXPECT_EQ(engine_->FailureReason(garbage), "worker reported success but wrote no output file");
    EXPECT_LE(runner_->WorkersStarted(), 6u) << "three slots plus one per failure at most";
}

TEST_F(EngineOverWorkerPool, StopBatchEndsTheWorkersAndTheNextBatchRuns) {
    Make();
    std::vector<int> ids;
    for (int i = 0; i < 5; ++i) {
        ids.push_back(Add("gate" + std::to_string(i) + ".heic"));
    }
    engine_->QueueTasks(ids);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(statuses_.Pop(10s)->status, kTaskProcessing);
    }
    // The gated jobs never end on their own: every final status comes from the stop.
    engine_->StopBatch();
    const auto finals = RunToEnd();
    EXPECT_EQ(finals.size(), 3u);
    for (const auto& [id, status] : finals) {
        EXPECT_EQ(status, kTaskStopped);
    }
    EXPECT_EQ(runner_->IdleWorkers(), 0u);
    EXPECT_TRUE(!testing::Exists(OutDir()) || std::filesystem::is_empty(OutDir()));

    const int next = Add("after.heic");
    velquist::test::CaptureStdout();
    engine_->QueueTasks({next});
    EXPECT_EQ(RunToEnd().at(next), kTaskSucceeded);
    velquist::test::TakeCapturedStdout();
}

} // namespace
} // namespace velquist
