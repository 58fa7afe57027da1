#include "tasks/child_process.h"
#include "tasks/worker_fence.h"
#include "tasks/worker_process.h"
#include "tasks/worker_protocol.h"
#include "test_env.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <thread>

namespace velquist {
namespace {

using namespace std::chrono_literals;

// The value of a /proc/PID/status line such as "Seccomp"; empty when absent.
std::string StatusField(pid_t pid, const std::string& name) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(name + ":\t", 0) == 0) {
            return line.substr(name.size() + 2);
        }
    }
    return {};
}

#ifdef VELQUIST_WORKER
// The real conversion worker, idle before its first file: what any file it is handed meets.
TEST(WorkerFence, IdleWorkerIsFilteredAndCannotLiftItsLimitBeforeOrAfterTheEngineMovesIt) {
    ProcessLauncher launcher({}, 1s);
    const std::uint64_t limit = WorkerAddressLimit(std::uint64_t{3} << 30);
    int error = 0;
    auto worker = WorkerProcess::Start({VELQUIST_WORKER, kWorkerLoopFlag}, limit, launcher, &error);
    ASSERT_TRUE(worker) << error;
    const pid_t pid = worker->Pid();
    const std::string fenced = kWorkerFilterEnabled ? "2" : "0";
    for (int i = 0; i < 4000 && StatusField(pid, "Seccomp") != fenced; ++i) {
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(StatusField(pid, "Seccomp"), fenced);
    EXPECT_EQ(StatusField(pid, "NoNewPrivs"), "1");

    struct rlimit space {};
    ASSERT_EQ(::prlimit(pid, RLIMIT_AS, nullptr, &space), 0);
    EXPECT_EQ(space.rlim_cur, limit == 0 ? RLIM_INFINITY : limit);
    EXPECT_EQ(space.rlim_max, space.rlim_cur);
    if (limit != 0) {
        // A smaller next file: the limit follows it down and stays hard.
        ASSERT_TRUE(worker->SetMemoryLimit(limit / 2));
        ASSERT_EQ(::prlimit(pid, RLIMIT_AS, nullptr, &space), 0);
        EXPECT_EQ(space.rlim_cur, limit / 2);
        EXPECT_EQ(space.rlim_max, space.rlim_cur);
    }
}
#endif

TEST(WorkerFence, FencedProcessKeepsThreadsAndFilesButGetsNoSocketAndDiesStartingAProgram) {
    if (!kWorkerFilterEnabled) {
        GTEST_SKIP() << "sanitized build: workers run without the system-call filter";
    }
    const testing::TempDir dir;
    const std::atomic<bool> cancel{false};
    const auto probe = [&](const std::vector<std::string>& args) {
        std::vector<std::string> argv{VELQUIST_FENCE_PROBE};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunChildProcess(argv, ChildLimits{}, cancel);
    };
    const std::string output = dir.Path() + "/out.txt";
    const ChildResult work = probe({"work", output});
    EXPECT_TRUE(work.exited && work.exitCode == 0) << work.signal;
    EXPECT_EQ(testing::ReadFile(output), "decoded\n");
    const ChildResult socket = probe({"socket"});
    EXPECT_TRUE(socket.exited && socket.exitCode == 0) << socket.signal;
    for (const char* start : {"exec", "fork"}) {
        EXPECT_EQ(probe({start}).signal, SIGSYS) << start;
    }
}

} // namespace
} // namespace velquist
