#include "child_process.h"

#include "line_forwarder.h"
#include "util/handles.h"
#include "worker_fence.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace velquist {
namespace {

using Clock = std::chrono::steady_clock;

struct Pipe {
    UniqueFd read;
    UniqueFd write;
};

bool MakePipe(Pipe& pipe) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return false;
    }
    pipe.read.Reset(fds[0]);
    pipe.write.Reset(fds[1]);
    return true;
}

// Everything the child needs, prepared before fork: after fork only async-signal-safe
// calls are allowed in a threaded process, so nothing may allocate there.
struct ChildSetup {
    std::vector<char*> argv;
    std::vector<std::string> environment; // what envp points into
    std::vector<char*> envp;
    pid_t parent = 0;
    int stdinFd = -1;
    int stdoutFd = -1;
    int stderrFd = -1;
    int execErrorFd = -1;
    int extraFd = -1;       // becomes descriptor 3
    rlim_t memoryBytes = 0; // soft and hard alike, so the child cannot raise it
    int maxFd = 1024;

    ChildSetup(const std::vector<std::string>& args, const ChildLimits& limits)
        : environment(WorkerEnvironment(environ)), parent(::getpid()),
          memoryBytes(static_cast<rlim_t>(limits.memoryBytes)),
          maxFd(static_cast<int>(std::min<long>(::sysconf(_SC_OPEN_MAX), 65536))) {
        for (const auto& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        for (auto& entry : environment) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);
    }
    ChildSetup(const ChildSetup&) = delete;
    ChildSetup& operator=(const ChildSetup&) = delete;
};

[[noreturn]] void ExecChild(const ChildSetup& setup) {
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != setup.parent) {
        ::_exit(127);
    }
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    ::sigaction(SIGPIPE, &dfl, nullptr);
    if (::dup2(setup.stdinFd, 0) < 0 || ::dup2(setup.stdoutFd, 1) < 0 ||
        ::dup2(setup.stderrFd, 2) < 0) {
        ::_exit(127);
    }
    int firstClosed = 3;
    if (setup.extraFd >= 0) {
        // dup2 onto itself keeps close-on-exec, so that case clears it by hand.
        if (setup.extraFd == 3 ? ::fcntl(3, F_SETFD, 0) != 0 : ::dup2(setup.extraFd, 3) < 0) {
            ::_exit(127);
        }
        firstClosed = 4;
    }
    const struct rlimit noCore {
        0, 0
    };
    ::setrlimit(RLIMIT_CORE, &noCore);
    if (setup.memoryBytes != 0) {
        const struct rlimit memory {
            setup.memoryBytes, setup.memoryBytes
        };
        ::setrlimit(RLIMIT_AS, &memory);
    }
    // Neither the worker nor anything it could start gains privileges (set-id bits, file
    // capabilities); it is also what lets the worker install its system-call filter.
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        ::_exit(127);
    }
    // Descriptors other threads opened without close-on-exec must not leak into the child.
    if (::close_range(static_cast<unsigned>(firstClosed), ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
        for (int fd = firstClosed; fd < setup.maxFd; ++fd) {
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
    }
    ::execve(setup.argv[0], setup.argv.data(), setup.envp.data());
    const int error = errno;
    [[maybe_unused]] const auto ignored = ::write(setup.execErrorFd, &error, sizeof error);
    ::_exit(127);
}

// The errno the child reported before exec, or 0 when exec succeeded.
int ReadExecError(int fd) {
    int error = 0;
    for (;;) {
        const ssize_t n = ::read(fd, &error, sizeof error);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n == static_cast<ssize_t>(sizeof error) ? error : 0;
    }
}

struct Stream {
    UniqueFd fd;
    LineForwarder forwarder;
};

// Reads what is there; false once the stream reached its end.
bool Drain(Stream& stream) {
    char buffer[16384];
    const ssize_t n = ::read(stream.fd.Get(), buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
        return true;
    }
    if (n <= 0) {
        stream.forwarder.Finish();
        stream.fd.Reset();
        return false;
    }
    stream.forwarder.Feed(buffer, static_cast<std::size_t>(n));
    return true;
}

class ChildWatch {
  public:
    ChildWatch(pid_t pid, const ChildLimits& limits, const std::atomic<bool>& cancel)
        : pid_(pid), deadline_(Clock::now() + limits.wallClock), cancel_(cancel) {}

    // False when the child had to be killed (time limit or cancel).
    bool StillAllowed(ChildResult& result) {
        if (cancel_) {
            result.cancelled = true;
            return false;
        }
        if (Clock::now() >= deadline_) {
            result.timedOut = true;
            return false;
        }
        return true;
    }

    int PollTimeoutMs() const {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now());
        return static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, 50));
    }

    // True once the child is a zombie; it stays unreaped so that its process group id
    // cannot be taken by another process before the group is killed.
    bool HasEnded() const {
        siginfo_t info{};
        return ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == pid_;
    }

    pid_t Pid() const { return pid_; }

  private:
    pid_t pid_;
    Clock::time_point deadline_;
    const std::atomic<bool>& cancel_;
};

// Forwards output until both streams end; false when the child must be killed first.
bool PumpOutput(ChildWatch& watch, Stream& out, Stream& err, ChildResult& result) {
    bool outOpen = true;
    bool errOpen = true;
    while (outOpen || errOpen) {
        if (!watch.StillAllowed(result)) {
            return false;
        }
        pollfd fds[2] = {{outOpen ? out.fd.Get() : -1, POLLIN, 0},
                         {errOpen ? err.fd.Get() : -1, POLLIN, 0}};
        const int ready = ::poll(fds, 2, watch.PollTimeoutMs());
        if (ready <= 0) {
            continue;
        }
        if (outOpen && fds[0].revents != 0) {
            outOpen = Drain(out);
        }
        if (errOpen && fds[1].revents != 0) {
            errOpen = Drain(err);
        }
    }
    return true;
}

// The streams are closed but the child may still run (it closed them itself).
bool AwaitExit(ChildWatch& watch, ChildResult& result) {
    while (!watch.HasEnded()) {
        if (!watch.StillAllowed(result)) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void Reap(pid_t pid, ChildResult& result) {
    // Grandchildren the worker left behind go with it.
    ::kill(-pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        result.exited = true;
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
}

// What the child reads on its standard input: /dev/null, or a pipe that already holds all
// of input and is closed behind it. The bytes are in the pipe before the child starts, so
// nobody has to feed it while it runs; what does not fit the pipe at once is refused.
UniqueFd ChildInput(const std::string& input) {
    if (input.empty()) {
        return UniqueFd(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    }
    Pipe pipe;
    if (!MakePipe(pipe) || ::fcntl(pipe.write.Get(), F_SETFL, O_NONBLOCK) != 0) {
        return UniqueFd();
    }
    const ssize_t written = ::write(pipe.write.Get(), input.data(), input.size());
    if (written < 0 || static_cast<std::size_t>(written) != input.size()) {
        errno = written < 0 ? errno : E2BIG;
        return UniqueFd();
    }
    return std::move(pipe.read);
}

} // namespace

ChildResult RunChildProcess(const std::vector<std::string>& argv, const ChildLimits& limits,
                            const std::atomic<bool>& cancel, const std::string& input) {
    ChildResult result;
    if (argv.empty()) {
        result.startError = EINVAL;
        return result;
    }
    Pipe out;
    Pipe err;
    Pipe execError;
    UniqueFd childInput = ChildInput(input);
    if (!childInput || !MakePipe(out) || !MakePipe(err) || !MakePipe(execError)) {
        result.startError = errno;
        return result;
    }
    ChildSetup setup(argv, limits);
    setup.stdinFd = childInput.Get();
    setup.stdoutFd = out.write.Get();
    setup.stderrFd = err.write.Get();
    setup.execErrorFd = execError.write.Get();

    const pid_t pid = ::fork();
    if (pid < 0) {
        result.startError = errno;
        return result;
    }
    if (pid == 0) {
        ExecChild(setup);
    }
    out.write.Reset();
    err.write.Reset();
    execError.write.Reset();
    result.startError = ReadExecError(execError.read.Get());
    result.started = result.startError == 0;

    Stream outStream{std::move(out.read), LineForwarder(stdout)};
    Stream errStream{std::move(err.read), LineForwarder(stderr)};
    ChildWatch watch(pid, limits, cancel);
    if (result.started && PumpOutput(watch, outStream, errStream, result)) {
        AwaitExit(watch, result);
    }
    outStream.forwarder.Finish();
    errStream.forwarder.Finish();
    Reap(pid, result);
    result.lastErrorLine = errStream.forwarder.LastLine();
    return result;
}

namespace {

StartedChild Start(const std::vector<std::string>& argv, const ChildLimits& limits,
                   const ChildStdio& stdio) {
    StartedChild started;
    Pipe execError;
    if (argv.empty() || !MakePipe(execError)) {
        started.startError = argv.empty() ? EINVAL : errno;
        return started;
    }
    ChildSetup setup(argv, limits);
    setup.stdinFd = stdio.stdinFd;
    setup.stdoutFd = stdio.stdoutFd;
    setup.stderrFd = stdio.stderrFd;
    setup.extraFd = stdio.extraFd;
    setup.execErrorFd = execError.write.Get();
    const pid_t pid = ::fork();
    if (pid < 0) {
        started.startError = errno;
        return started;
    }
    if (pid == 0) {
        ExecChild(setup);
    }
    execError.write.Reset();
    started.startError = ReadExecError(execError.read.Get());
    started.pid = pid;
    if (started.startError != 0) {
        EndChildProcess(pid);
        started.pid = -1;
    }
    return started;
}

} // namespace

StartedChild StartChildProcess(const std::vector<std::string>& argv, const ChildLimits& limits,
                               int channel) {
    return Start(argv, limits, ChildStdio{channel, channel, STDERR_FILENO, -1});
}

StartedChild StartChildProcess(const std::vector<std::string>& argv, const ChildLimits& limits,
                               const ChildStdio& stdio) {
    return Start(argv, limits, stdio);
}

bool SetChildMemoryLimit(pid_t pid, std::uint64_t bytes) {
    const rlim_t limit = bytes == 0 ? RLIM_INFINITY : static_cast<rlim_t>(bytes);
    const struct rlimit wanted {
        limit, limit
    };
    return ::prlimit(pid, RLIMIT_AS, &wanted, nullptr) == 0;
}

bool ReadChildMemory(pid_t pid, ChildMemory* memory) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/statm", static_cast<int>(pid));
    const UniqueFd fd(::open(path, O_RDONLY | O_CLOEXEC));
    char text[256];
    const ssize_t n = fd ? ::read(fd.Get(), text, sizeof text - 1) : -1;
    if (n <= 0) {
        return false;
    }
    text[n] = '\0';
    unsigned long long size = 0;
    unsigned long long resident = 0;
    if (std::sscanf(text, "%llu %llu", &size, &resident) != 2) {
        return false;
    }
    const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    memory->mappedBytes = size * page;
    memory->residentBytes = resident * page;
    return true;
}

bool ChildHasEnded(pid_t pid) {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid;
}

ChildResult EndChildProcess(pid_t pid) {
    ChildResult result;
    result.started = true;
    Reap(pid, result);
    return result;
}

} // namespace velquist
