#include "tasks/child_process.h"
#include "tasks/worker_fence.h"
#include "tasks/worker_process.h"
#include "tasks/worker_protocol.h"
#include "test_env.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/resource.h>
#include <thread>

namespace velquist {
namespace {

using namespace std::chrono_literals;

// A line of /proc/PID/status such as "Seccomp", without its name; empty when absent.
std::string StatusField(pid_t pid, const std::string& name) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(name + ":", 0) == 0) {
            std::istringstream value(line.substr(name.size() + 1));
            std::string word;
            value >> word;
            return word;
        }
    }
    return {};
}

std::vector<std::string> EnvironmentOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/environ");
    std::vector<std::string> entries;
    for (std::string entry; std::getline(in, entry, '\0');) {
        entries.push_back(entry);
    }
    return entries;
}

bool Contains(const std::vector<std::string>& entries, const std::string& entry) {
    return std::find(entries.begin(), entries.end(), entry) != entries.end();
}

// Variables set for one test and removed after it.
class ScopedVariables {
  public:
    explicit ScopedVariables(std::vector<std::pair<std::string, std::string>> variables)
        : variables_(std::move(variables)) {
        for (const auto& [name, value] : variables_) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
    }
    ~ScopedVariables() {
        for (const auto& variable : variables_) {
            ::unsetenv(variable.first.c_str());
        }
    }

  private:
    std::vector<std::pair<std::string, std::string>> variables_;
};

#ifdef VELQUIST_WORKER
// The real conversion worker, idle between files: the state any file it is handed meets.
TEST(WorkerFence, IdleWorkerHasOnlyItsVariablesNoPrivilegesToGainAndLimitsItCannotLift) {
    const ScopedVariables variables({{"VELQUIST_FENCE_TEST", "kept"},
                                     {"SESSION_TOKEN_FOR_FENCE_TEST", "secret"},
                                     {"LC_TIME", "C"}});
    ProcessLauncher launcher({}, 1s);
    const std::uint64_t limit = WorkerAddressLimit(std::uint64_t{3} << 30);
    int error = 0;
    auto worker = WorkerProcess::Start({VELQUIST_WORKER, kWorkerLoopFlag}, limit, launcher, &error);
    ASSERT_TRUE(worker) << error;
    const pid_t pid = worker->Pid();
    const std::string fenced = kWorkerFilterEnabled ? "2" : "0";
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (StatusField(pid, "Seccomp") != fenced && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(StatusField(pid, "Seccomp"), fenced);
    EXPECT_EQ(StatusField(pid, "NoNewPrivs"), "1");

    const std::vector<std::string> environment = EnvironmentOf(pid);
    EXPECT_TRUE(Contains(environment, "VELQUIST_FENCE_TEST=kept"));
    EXPECT_TRUE(Contains(environment, "LC_TIME=C"));
    EXPECT_FALSE(Contains(environment, "SESSION_TOKEN_FOR_FENCE_TEST=secret"));

    struct rlimit space {};
    ASSERT_EQ(::prlimit(pid, RLIMIT_AS, nullptr, &space), 0);
    EXPECT_EQ(space.rlim_cur, space.rlim_max);
    EXPECT_EQ(space.rlim_cur, limit == 0 ? RLIM_INFINITY : limit);
    if (limit != 0) {
        // The next, smaller file: the limit follows it down and stays hard.
        ASSERT_TRUE(worker->SetMemoryLimit(limit - (std::uint64_t{1} << 30)));
        ASSERT_EQ(::prlimit(pid, RLIMIT_AS, nullptr, &space), 0);
        EXPECT_EQ(space.rlim_cur, limit - (std::uint64_t{1} << 30));
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
    EXPECT_TRUE(work.exited && work.exitCode == 0) << work.signal << " " << work.lastErrorLine;
    EXPECT_EQ(testing::ReadFile(output), "decoded\n");

    const ChildResult socket = probe({"socket"});
    EXPECT_TRUE(socket.exited && socket.exitCode == 0) << socket.signal;
    for (const char* start : {"exec", "fork"}) {
        const ChildResult result = probe({start});
        EXPECT_FALSE(result.exited) << start;
        EXPECT_EQ(result.signal, SIGSYS) << start;
    }
}

} // namespace
} // namespace velquist
