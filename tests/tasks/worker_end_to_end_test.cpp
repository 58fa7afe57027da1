#include "tasks/process_job_runner.h"
#include "tasks/status_queue.h"
#include "tasks/task_engine.h"
#include "tasks/worker_pool_job_runner.h"
#include "test_env.h"
#include "util/text.h"

#include <gtest/gtest.h>

#if defined(VELQUIST_WORKER) && defined(VELQUIST_HAVE_TEST_SUPPORT)
#include "support/heic_fixture.h"
#include "support/image_readers.h"
#include "support/testdata.h"
#if defined(VELQUIST_HAVE_IN_PROCESS)
#include "support/output_capture.h"
#include "tasks/in_process_job_runner.h"
#endif

namespace velquist {
namespace {

using namespace std::chrono_literals;

// Sanitizer runtimes reserve terabytes of address space up front, so a sanitized worker
// cannot live under the production memory limit.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::uint64_t kWorkerMemory = 0;
#else
constexpr std::uint64_t kWorkerMemory = kDefaultWorkerMemoryLimit;
#endif

TEST(WorkerEndToEnd, RealWorkerConvertsAGoodFileAndFailsABrokenOne) {
    testing::TempDir dir;
    const std::string good = dir.Path() + "/good.heic";
    test::HeicImageSpec spec;
    ASSERT_EQ(test::WriteHeic(good, spec), "");
    const std::string broken = dir.Write("broken.heic", std::string(4000, '\x5a'));

    StatusQueue statuses;
    TaskEngine engine(&statuses, std::make_shared<ProcessJobRunner>(
                                     WorkerOptions{{VELQUIST_WORKER}, kWorkerMemory, 60s}));
    engine.PublishSettings({OutputFormat::kPng, 90, true, AnsiToWide(dir.Path() + "/out")});
    const int goodId = engine.AddImageItem({"good.heic", good, 0, {}, {}});
    const int badId = engine.AddImageItem({"broken.heic", broken, 0, {}, {}});
    velquist::test::CaptureStderr();
    engine.QueueTasks({goodId, badId});
    std::map<int, int> finals;
    while (finals.size() < 2) {
        const auto report = statuses.Pop(60s);
        ASSERT_TRUE(report);
        if (report->status != kTaskProcessing) {
            finals[report->task_id] = report->status;
            engine.FinishTask(report->task_id);
        }
    }
    velquist::test::TakeCapturedStderr();
    EXPECT_EQ(finals[goodId], kTaskSucceeded) << engine.FailureReason(goodId);
    EXPECT_EQ(finals[badId], kTaskFailed);
    EXPECT_FALSE(engine.FailureReason(badId).empty());

    test::DecodedImage image;
    ASSERT_EQ(test::ReadPng(engine.GetImageItem(goodId)->outputPath, &image), "");
    EXPECT_EQ(image.width, spec.width);
    EXPECT_EQ(image.height, spec.height);
}

TEST(WorkerEndToEnd, LongLivedWorkerConvertsFileAfterFileAndIsReplacedAfterAFailure) {
    testing::TempDir dir;
    const std::string good = dir.Path() + "/good.heic";
    test::HeicImageSpec spec;
    ASSERT_EQ(test::WriteHeic(good, spec), "");
    const std::string broken = dir.Write("broken.heic", std::string(4000, '\x5a'));
    WorkerPoolJobRunner runner(WorkerOptions{{VELQUIST_WORKER}, kWorkerMemory, 60s});
    const std::atomic<bool> cancel{false};
    const std::vector<std::pair<std::string, std::string>> files = {
        {good, "a.png"}, {good, "b.png"}, {broken, "c.png"}, {good, "d.png"}};
    std::vector<JobOutcome> outcomes;
    velquist::test::CaptureStdout();
    velquist::test::CaptureStderr();
    for (const auto& [input, output] : files) {
        ConvertTask task{
            input, dir.Path() + "/" + output, {OutputFormat::kPng}, 0, std::uint64_t{200} << 20};
        outcomes.push_back(runner.Run(task, cancel));
    }
    const std::string out = velquist::test::TakeCapturedStdout();
    velquist::test::TakeCapturedStderr();
    EXPECT_EQ(outcomes[0].status, kTaskSucceeded) << outcomes[0].reason;
    EXPECT_EQ(outcomes[1].status, kTaskSucceeded) << outcomes[1].reason;
    EXPECT_EQ(outcomes[2].status, kTaskFailed);
    EXPECT_NE(outcomes[2].reason.find("Could not read HEIF file"), std::string::npos)
        << outcomes[2].reason;
    EXPECT_EQ(outcomes[3].status, kTaskSucceeded) << outcomes[3].reason;
    EXPECT_EQ(runner.WorkersStarted(), 2u);
    EXPECT_NE(out.find("Written to " + dir.Path() + "/b.png\n"), std::string::npos) << out;
    for (const char* name : {"a.png", "b.png", "d.png"}) {
        test::DecodedImage image;
        ASSERT_EQ(test::ReadPng(dir.Path() + "/" + name, &image), "") << name;
        EXPECT_EQ(image.width, spec.width);
    }
}

// A worker keeps the buffers of a 12-megapixel photo for the next one, under the memory a
// worker may keep; what it keeps still counts, and a worker allowed to keep less is ended.
TEST(WorkerEndToEnd, LongLivedWorkerKeepsAPhotosBuffersWithinWhatItMayKeep) {
    VELQUIST_REQUIRE_HEIC_TESTDATA();
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer's allocator hands large buffers back at once: what a "
                    "worker keeps is glibc malloc's behaviour";
#endif
    testing::TempDir dir;
    const std::string photo = test::HeicTestdataFile("mde_IMG_1034.heic");
    const std::atomic<bool> cancel{false};
    const auto convert = [&](WorkerPoolJobRunner& runner, const std::string& name) {
        ConvertTask task{
            photo, dir.Path() + "/" + name, {OutputFormat::kBmp}, 0, std::uint64_t{200} << 20};
        task.decodeThreads = 0;
        return runner.Run(task, cancel);
    };
    velquist::test::CaptureStdout();
    WorkerPoolJobRunner keeping(WorkerOptions{{VELQUIST_WORKER}, kWorkerMemory, 60s});
    const JobOutcome first = convert(keeping, "a.bmp");
    const JobOutcome second = convert(keeping, "b.bmp");
    WorkerOptions small{{VELQUIST_WORKER}, kWorkerMemory, 60s};
    small.recycleResidentBytes = std::uint64_t{64} << 20;
    WorkerPoolJobRunner ending(small);
    const JobOutcome third = convert(ending, "c.bmp");
    velquist::test::TakeCapturedStdout();
    EXPECT_EQ(first.status, kTaskSucceeded) << first.reason;
    EXPECT_EQ(second.status, kTaskSucceeded) << second.reason;
    EXPECT_EQ(keeping.WorkersStarted(), 1u);
    EXPECT_EQ(keeping.WorkersRecycled(), 0u);
    EXPECT_EQ(third.status, kTaskSucceeded) << third.reason;
    EXPECT_EQ(ending.WorkersRecycled(), 1u);
}

#if defined(VELQUIST_HAVE_IN_PROCESS)
TEST(WorkerEndToEnd, InProcessRunnerConvertsOnTheJobThread) {
    testing::TempDir dir;
    const std::string good = dir.Path() + "/good.heic";
    ASSERT_EQ(test::WriteHeic(good, test::HeicImageSpec{}), "");
    const std::string broken = dir.Write("broken.heic", "not a photo");
    InProcessJobRunner runner;
    const std::atomic<bool> cancel{false};
    ConvertTask task{good, dir.Path() + "/good.bmp", {OutputFormat::kBmp}, 0};
    EXPECT_EQ(runner.Run(task, cancel).status, kTaskSucceeded);
    EXPECT_TRUE(testing::Exists(task.outputPath));
    task.inputPath = broken;
    velquist::test::CaptureStderr();
    const JobOutcome failed = runner.Run(task, cancel);
    velquist::test::TakeCapturedStderr();
    EXPECT_EQ(failed.status, kTaskFailed);
    EXPECT_FALSE(failed.reason.empty());
    EXPECT_EQ(failed.reason.find('\n'), std::string::npos);
}
#endif

} // namespace
} // namespace velquist
#endif
