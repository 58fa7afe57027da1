#include "thumbnail_client.h"

#include "tasks/child_process.h"
#include "thumbnail_protocol.h"
#include "util/fd_io.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace velquist {
namespace {

using Clock = std::chrono::steady_clock;

enum class Received { kComplete, kTimedOut, kClosed };

Received ReceiveAll(int fd, uint8_t* data, size_t size, Clock::time_point deadline) {
    size_t done = 0;
    while (done < size) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return Received::kTimedOut;
        }
        pollfd pfd{fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(std::min<int64_t>(left.count(), 1000)));
        if (ready < 0 && errno != EINTR) {
            return Received::kClosed;
        }
        if (ready <= 0) {
            continue;
        }
        const ssize_t n = ::recv(fd, data + done, size - done, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (n <= 0) {
            return Received::kClosed;
        }
        done += static_cast<size_t>(n);
    }
    return Received::kComplete;
}

std::string DescribeEnd(const ChildResult& end) {
    if (end.signal != 0) {
        return "thumbnail worker killed by signal " + std::to_string(end.signal);
    }
    if (end.exited) {
        return "thumbnail worker exited with code " + std::to_string(end.exitCode);
    }
    return "thumbnail worker ended";
}

} // namespace

ThumbnailClient::ThumbnailClient(ThumbnailClientOptions options) : options_(std::move(options)) {}

ThumbnailClient::~ThumbnailClient() {
    StopWorker();
}

bool ThumbnailClient::EnsureWorker(std::string* error) {
    if (pid_ > 0 && !ChildHasEnded(pid_)) {
        return true;
    }
    StopWorker();
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        *error = std::string("cannot start the thumbnail worker: ") + std::strerror(errno);
        return false;
    }
    const ChildLimits limits{options_.memoryLimitBytes, options_.timeLimit};
    const StartedChild child = StartChildProcess({options_.workerPath}, limits, fds[1]);
    ::close(fds[1]);
    if (child.pid < 0) {
        ::close(fds[0]);
        *error =
            std::string("cannot start the thumbnail worker: ") + std::strerror(child.startError);
        return false;
    }
    pid_ = child.pid;
    channel_ = fds[0];
    ++workersStarted_;
    return true;
}

void ThumbnailClient::StopWorker() {
    if (channel_ >= 0) {
        ::close(std::exchange(channel_, -1));
    }
    if (pid_ > 0) {
        EndChildProcess(std::exchange(pid_, -1));
    }
}

ThumbnailResult ThumbnailClient::Fetch(const std::string& path) {
    if (path.find('\0') != std::string::npos || path.size() > kMaxRequestPath) {
        return ThumbnailResult::Failure("invalid file name");
    }
    std::string error;
    if (!EnsureWorker(&error)) {
        return ThumbnailResult::Failure(error);
    }
    bool workerLost = false;
    ThumbnailResult result = Exchange(path, &workerLost);
    if (workerLost) {
        StopWorker();
    }
    return result;
}

ThumbnailResult ThumbnailClient::Exchange(const std::string& path, bool* workerLost) {
    const Clock::time_point deadline = Clock::now() + options_.timeLimit;
    *workerLost = true;
    const std::vector<uint8_t> request = EncodeRequest({options_.maxSide, path});
    if (!SendAll(channel_, request.data(), request.size())) {
        return ThumbnailResult::Failure(DescribeEnd(EndChildProcess(std::exchange(pid_, -1))));
    }
    uint8_t head[kResponseHeaderSize];
    Received received = ReceiveAll(channel_, head, sizeof head, deadline);
    ResponseHeader header;
    std::vector<uint8_t> payload;
    if (received == Received::kComplete) {
        if (!ParseResponseHeader(head, options_.maxSide, &header)) {
            return ThumbnailResult::Failure("thumbnail worker sent an invalid answer");
        }
        payload.resize(header.payloadLength);
        received = ReceiveAll(channel_, payload.data(), payload.size(), deadline);
    }
    if (received == Received::kTimedOut) {
        return ThumbnailResult::Failure("thumbnail worker stopped after the time limit");
    }
    if (received == Received::kClosed) {
        return ThumbnailResult::Failure(DescribeEnd(EndChildProcess(std::exchange(pid_, -1))));
    }
    *workerLost = false;
    return MakeResult(header, std::move(payload));
}

} // namespace velquist
