#include "support/output_capture.h"
#include "tasks/child_process.h"
#include "tasks/line_forwarder.h"
#include "tasks/process_job_runner.h"
#include "test_env.h"

#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace velquist {
namespace {

using namespace std::chrono_literals;
using testing::TempDir;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

std::string Contents(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) {
        text.append(buffer, n);
    }
    return text;
}

TEST(LineForwarder, PassesLinesMakesThemPrintableAndCapsTheVolume) {
    std::unique_ptr<std::FILE, FileCloser> sink(std::tmpfile());
    LineForwarder forwarder(sink.get());
    const std::string input = "one\r\ntw\x1b[2Jo\nno end";
    forwarder.Feed(input.data(), input.size());
    forwarder.Finish();
    EXPECT_EQ(Contents(sink.get()), "one\ntw?[2Jo\nno end\n");
    EXPECT_EQ(forwarder.LastLine(), "no end");

    std::unique_ptr<std::FILE, FileCloser> big(std::tmpfile());
    LineForwarder flood(big.get());
    const std::string chunk(10000, 'x');
    for (int i = 0; i < 20; ++i) {
        flood.Feed(chunk.data(), chunk.size());
    }
    flood.Feed("\nlast\n", 6);
    const std::string text = Contents(big.get());
    EXPECT_LE(text.size(), LineForwarder::kBudget + 64);
    EXPECT_NE(text.find("(further worker output dropped)\n"), std::string::npos);
    EXPECT_EQ(flood.LastLine(), "last");
}

class ChildProcess : public ::testing::Test {
  protected:
    ChildResult Run(const std::string& body, ChildLimits limits = {}) {
        return RunChildProcess({dir_.Script("worker.sh", body)}, limits, cancel_);
    }
    TempDir dir_;
    std::atomic<bool> cancel_{false};
};

TEST_F(ChildProcess, ReportsExitCodeAndLastDiagnosticLine) {
    velquist::test::CaptureStderr();
    const auto result = Run("echo first >&2\necho 'bad input' >&2\nexit 3\n");
    const std::string forwarded = velquist::test::TakeCapturedStderr();
    EXPECT_TRUE(result.started);
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.lastErrorLine, "bad input");
    EXPECT_EQ(forwarded, "first\nbad input\n");
}

TEST_F(ChildProcess, CrashIsASignalNotAnExit) {
    const auto result = Run("kill -SEGV $$\n");
    EXPECT_FALSE(result.exited);
    EXPECT_EQ(result.signal, SIGSEGV);
}

TEST_F(ChildProcess, HangIsKilledWithEverythingItStarted) {
    const std::string marker = dir_.Path() + "/grandchild-alive";
    const auto result =
        Run("(sleep 1; touch '" + marker + "') &\nsleep 30\n", ChildLimits{0, 200ms});
    EXPECT_TRUE(result.timedOut);
    EXPECT_EQ(result.signal, SIGKILL);
    // The forked shell carries the script's name; one that outlived the kill would
    // still run, or would have left its marker.
    EXPECT_TRUE(
        testing::WaitUntil([this] { return testing::LiveProcessesWith(dir_.Path()) == 0; }));
    EXPECT_FALSE(testing::Exists(marker));
}

TEST_F(ChildProcess, ChildThatClosesItsStreamsIsStillTimed) {
    const auto result = Run("exec >/dev/null 2>&1\nsleep 30\n", ChildLimits{0, 200ms});
    EXPECT_TRUE(result.timedOut);
}

TEST_F(ChildProcess, CancelStopsTheChild) {
    const std::string started = dir_.Path() + "/started";
    std::thread canceller([this, started] {
        testing::WaitUntil([&started] { return testing::Exists(started); });
        cancel_ = true;
    });
    const auto result = Run("touch '" + started + "'\nsleep 30\n");
    canceller.join();
    EXPECT_TRUE(result.cancelled);
}

TEST_F(ChildProcess, MissingProgramFailsToStart) {
    const auto result = RunChildProcess({dir_.Path() + "/nope"}, {}, cancel_);
    EXPECT_FALSE(result.started);
    EXPECT_EQ(result.startError, ENOENT);
}

// A request is in the child's input before it starts, NUL bytes and all, and the input
// ends behind it; one that would not fit the pipe at once is refused instead of blocking.
TEST_F(ChildProcess, InputArrivesWholeAndEndsOrIsRefusedWhenTooLarge) {
    const std::string out = dir_.Path() + "/input";
    const std::string input("2\0a b\0\xFF\n\0", 9);
    const auto result = RunChildProcess({dir_.Script("cat.sh", "cat > '" + out + "'\n")}, {},
                                        cancel_, input);
    EXPECT_TRUE(result.exited && result.exitCode == 0) << result.lastErrorLine;
    EXPECT_EQ(testing::ReadFile(out), input);
    const std::string huge(1 << 20, 'x');
    const auto tooLarge = RunChildProcess({dir_.Script("cat.sh", "exit 0\n")}, {}, cancel_, huge);
    EXPECT_FALSE(tooLarge.started);
    EXPECT_EQ(tooLarge.startError, E2BIG);
}

// The memory limit is hard, and of our variables only those a worker reads get through.
TEST_F(ChildProcess, SeesNoStdinNoCoreLimitAFencedMemoryLimitAndOnlyItsVariables) {
    const std::string out = dir_.Path() + "/limits";
    ::setenv("VELQUIST_FENCE_TEST", "kept", 1);
    ::setenv("SESSION_TOKEN_FOR_FENCE_TEST", "secret", 1);
    const auto result = Run("exec > '" + out + "'\ncat\nulimit -c\nulimit -v\nulimit -Hv\n" +
                                "grep NoNewPrivs /proc/$$/status\n" +
                                "echo \"$VELQUIST_FENCE_TEST$SESSION_TOKEN_FOR_FENCE_TEST\"\n",
                            ChildLimits{std::uint64_t{512} << 20, 5s});
    ::unsetenv("VELQUIST_FENCE_TEST");
    ::unsetenv("SESSION_TOKEN_FOR_FENCE_TEST");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(testing::ReadFile(out), "0\n524288\n524288\nNoNewPrivs:\t1\nkept\n");
}

TEST_F(ChildProcess, MemoryLimitStopsARunawayWorker) {
    // The shell has to hold 100 MB in one variable; 48 MB of address space cannot.
    const auto result = Run("x=$(head -c 100000000 /dev/zero | tr '\\0' a)\necho survived\n",
                            ChildLimits{std::uint64_t{48} << 20, 10s});
    EXPECT_FALSE(result.exited && result.exitCode == 0) << "the shell got its 100 MB";
}

// The request travels on standard input (conversion_request_test.cpp covers its fields).
TEST(ProcessJobRunner, StartsTheOneShotWorkerWithoutTheRequestInItsArguments) {
    ProcessJobRunner runner({{"/opt/w", "--x"}, 0, 1s});
    EXPECT_EQ(runner.WorkerArguments(), (std::vector<std::string>{"/opt/w", "--x", "--worker"}));
}

TEST(ProcessJobRunner, ExitZeroWithoutOutputFileIsAFailure) {
    TempDir dir;
    ChildResult clean;
    clean.started = true;
    clean.exited = true;
    clean.exitCode = 0;
    EXPECT_EQ(DescribeFailure(clean, {}, dir.Path() + "/missing.jpg"),
              "worker reported success but wrote no output file");
    EXPECT_EQ(DescribeFailure(clean, {}, dir.Write("out.jpg", "x")), "");
    EXPECT_EQ(DescribeFailure(clean, {}, dir.Path()), // a folder is no output file
              "worker reported success but wrote no output file");
}

} // namespace
} // namespace velquist
