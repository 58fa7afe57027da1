#include "worker_process.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velquist {
namespace {

bool MakeNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// What read() gave: data, nothing for now, or the end of the stream.
enum class ReadState { kData, kEmpty, kEnd };

ReadState ReadInto(int fd, char* buffer, std::size_t size, std::size_t* got) {
    const ssize_t n = ::read(fd, buffer, size);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
        return ReadState::kEmpty;
    }
    if (n <= 0) {
        return ReadState::kEnd;
    }
    *got = static_cast<std::size_t>(n);
    return ReadState::kData;
}

// Passes on what an output stream holds; closes it at its end.
void Forward(UniqueFd& fd, LineForwarder& lines) {
    char buffer[16384];
    for (;;) {
        std::size_t got = 0;
        const ReadState state = ReadInto(fd.Get(), buffer, sizeof buffer, &got);
        if (state == ReadState::kEmpty) {
            return;
        }
        if (state == ReadState::kEnd) {
            lines.Finish();
            fd.Reset();
            return;
        }
        lines.Feed(buffer, got);
    }
}

} // namespace

ProcessLauncher::ProcessLauncher(std::function<void()> idle, std::chrono::milliseconds period)
    : idle_(std::move(idle)), period_(period) {
    thread_ = std::thread([this] { Loop(); });
}

ProcessLauncher::~ProcessLauncher() {
    Stop();
}

void ProcessLauncher::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

StartedChild ProcessLauncher::Start(const std::vector<std::string>& argv, const ChildLimits& limits,
                                    const ChildStdio& stdio) {
    std::packaged_task<StartedChild()> task(
        [&argv, &limits, &stdio] { return StartChildProcess(argv, limits, stdio); });
    std::future<StartedChild> started = task.get_future();
    {
        std::lock_guard lock(mutex_);
        if (stopping_) {
            return StartedChild{-1, ECANCELED};
        }
        queue_.push_back(std::move(task));
    }
    wake_.notify_all();
    return started.get();
}

void ProcessLauncher::Loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (queue_.empty() && !stopping_) {
            const bool woken =
                wake_.wait_for(lock, period_, [this] { return stopping_ || !queue_.empty(); });
            if (!woken && idle_) {
                lock.unlock();
                idle_();
                lock.lock();
                continue;
            }
        }
        if (!queue_.empty()) {
            auto task = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            task();
            lock.lock();
            continue;
        }
        if (stopping_) {
            return;
        }
    }
}

std::unique_ptr<WorkerProcess> WorkerProcess::Start(const std::vector<std::string>& argv,
                                                    std::uint64_t memoryLimit,
                                                    ProcessLauncher& launcher, int* error) {
    int sockets[2];
    int out[2];
    int err[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
        *error = errno;
        return nullptr;
    }
    UniqueFd channel(sockets[0]);
    UniqueFd childChannel(sockets[1]);
    if (::pipe2(out, O_CLOEXEC) != 0) {
        *error = errno;
        return nullptr;
    }
    UniqueFd outRead(out[0]);
    UniqueFd outWrite(out[1]);
    if (::pipe2(err, O_CLOEXEC) != 0) {
        *error = errno;
        return nullptr;
    }
    UniqueFd errRead(err[0]);
    UniqueFd errWrite(err[1]);
    const ChildStdio stdio{childChannel.Get(), outWrite.Get(), errWrite.Get(), childChannel.Get()};
    const StartedChild child = launcher.Start(argv, ChildLimits{memoryLimit, {}}, stdio);
    if (child.pid < 0) {
        *error = child.startError;
        return nullptr;
    }
    if (!MakeNonBlocking(outRead.Get()) || !MakeNonBlocking(errRead.Get()) ||
        !MakeNonBlocking(channel.Get())) {
        *error = errno;
        EndChildProcess(child.pid);
        return nullptr;
    }
    return std::unique_ptr<WorkerProcess>(
        new WorkerProcess(child.pid, std::move(channel), std::move(outRead), std::move(errRead)));
}

WorkerProcess::WorkerProcess(pid_t pid, UniqueFd channel, UniqueFd out, UniqueFd err)
    : pid_(pid), channel_(std::move(channel)), out_(std::move(out)), err_(std::move(err)),
      lastUsed_(Clock::now()) {}

WorkerProcess::~WorkerProcess() {
    End();
}

bool WorkerProcess::HasEnded() const {
    return ended_ || ChildHasEnded(pid_);
}

bool WorkerProcess::SetMemoryLimit(std::uint64_t bytes) {
    return !ended_ && SetChildMemoryLimit(pid_, bytes);
}

bool WorkerProcess::ReadMemory(ChildMemory* memory) const {
    return !ended_ && ReadChildMemory(pid_, memory);
}

bool WorkerProcess::Send(const std::vector<std::string>& fields) {
    if (ended_ || !channel_) {
        return false;
    }
    // Each file's diagnostics stand alone: its last line and its share of the volume.
    outLines_ = LineForwarder(stdout);
    errLines_ = LineForwarder(stderr);
    const std::string record = EncodeRecord(fields);
    std::size_t done = 0;
    while (done < record.size()) {
        const ssize_t n =
            ::send(channel_.Get(), record.data() + done, record.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            pollfd pfd{channel_.Get(), POLLOUT, 0};
            ::poll(&pfd, 1, 50);
            if (HasEnded()) {
                return false;
            }
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool WorkerProcess::ReadAvailable(bool channelReady, bool outReady, bool errReady) {
    if (outReady) {
        Forward(out_, outLines_);
    }
    if (errReady) {
        Forward(err_, errLines_);
    }
    if (!channelReady) {
        return true;
    }
    char buffer[4096];
    for (;;) {
        std::size_t got = 0;
        const ReadState state = ReadInto(channel_.Get(), buffer, sizeof buffer, &got);
        if (state == ReadState::kEmpty) {
            return true;
        }
        if (state == ReadState::kEnd) {
            return false;
        }
        answers_.Feed(buffer, got);
    }
}

WorkerProcess::Answer WorkerProcess::Await(Clock::time_point deadline,
                                           const std::atomic<bool>& cancel) {
    for (bool channelOpen = true;;) {
        if (auto fields = answers_.Take()) {
            // What the worker wrote before its answer is in the pipes by now.
            DrainOutput(std::chrono::milliseconds(0));
            outLines_.Finish();
            errLines_.Finish();
            return {Outcome::kAnswered, std::move(*fields)};
        }
        if (answers_.Broken()) {
            return {Outcome::kInvalid, {}};
        }
        if (!channelOpen) {
            return {Outcome::kLost, {}};
        }
        if (cancel) {
            return {Outcome::kCancelled, {}};
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return {Outcome::kTimedOut, {}};
        }
        pollfd fds[3] = {
            {channel_.Get(), POLLIN, 0}, {out_.Get(), POLLIN, 0}, {err_.Get(), POLLIN, 0}};
        const int ready =
            ::poll(fds, 3, static_cast<int>(std::min<std::int64_t>(left.count(), 50)));
        if (ready == 0 && HasEnded()) {
            // Gone, maybe with its answer sent just before: read what is left, then decide.
            ReadAvailable(true, true, true);
            channelOpen = false;
            continue;
        }
        if (ready > 0) {
            channelOpen =
                ReadAvailable(fds[0].revents != 0, fds[1].revents != 0, fds[2].revents != 0);
        }
    }
}

// Passes on what the output streams still hold; with a wait, until they end or it runs out.
void WorkerProcess::DrainOutput(std::chrono::milliseconds wait) {
    const auto until = Clock::now() + wait;
    do {
        if (out_) {
            Forward(out_, outLines_);
        }
        if (err_) {
            Forward(err_, errLines_);
        }
        if (!out_ && !err_) {
            return;
        }
        if (wait.count() > 0) {
            pollfd fds[2] = {{out_.Get(), POLLIN, 0}, {err_.Get(), POLLIN, 0}};
            ::poll(fds, 2, 10);
        }
    } while (Clock::now() < until);
}

ChildResult WorkerProcess::End() {
    if (ended_) {
        return end_;
    }
    ended_ = true;
    channel_.Reset();
    end_ = EndChildProcess(pid_);
    // The group is gone, so the pipes end soon; only a process that left the group could
    // keep them open, and it is not waited for long.
    DrainOutput(std::chrono::milliseconds(200));
    outLines_.Finish();
    errLines_.Finish();
    end_.lastErrorLine = errLines_.LastLine();
    out_.Reset();
    err_.Reset();
    return end_;
}

std::string PrintableReason(const std::string& text) {
    constexpr std::size_t kMaxReason = 4096;
    std::string shown;
    for (const char c : text.substr(0, kMaxReason)) {
        const auto byte = static_cast<unsigned char>(c);
        shown += (byte < 0x20 && byte != '\t') || byte == 0x7f ? '?' : c;
    }
    return shown;
}

} // namespace velquist
