#include "http_front.h"

#include "validate.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velquist::service {

using Clock = std::chrono::steady_clock;

struct HttpFront::Connection {
    int fd = -1;
    std::string peer;
    int peer_port = 0;
    std::string local;
    int local_port = 0;
    std::string group;
    bool uncapped = false;
    std::string buffer;
    std::size_t consumed = 0;
    Clock::time_point deadline;
    std::size_t served = 0;
    bool continue_sent = false;
    // Answer bytes the peer has not taken yet (answers made on an event thread).
    std::string pending_out;
    bool close_after_flush = false;
    bool peer_closed = false;
    HttpFront::Loop* loop = nullptr;
};

struct HttpFront::Loop {
    int epoll_fd = -1;
    std::mutex mutex;
    std::map<int, std::unique_ptr<Connection>> connections;
    std::chrono::steady_clock::time_point accept_paused_until{};
    std::thread thread;
};

namespace {

enum class Completeness { kNeedMore, kReady };

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// The value of the named header in a lower-cased raw head; false when absent.
bool HeaderValue(std::string_view head_lower, std::string_view name, std::string* value) {
    std::size_t pos = 0;
    while ((pos = head_lower.find('\n', pos)) != std::string_view::npos) {
        ++pos;
        if (head_lower.substr(pos, name.size()) != name ||
            head_lower.substr(pos + name.size(), 1) != ":") {
            continue;
        }
        const std::size_t start = pos + name.size() + 1;
        const std::size_t end = head_lower.find('\r', start);
        std::string_view raw = head_lower.substr(start, end - start);
        while (!raw.empty() && (raw.front() == ' ' || raw.front() == '\t')) {
            raw.remove_prefix(1);
        }
        *value = std::string(raw);
        return true;
    }
    return false;
}

struct HeadFacts {
    std::size_t head_end = 0; // just past the blank line
    bool chunked = false;
    bool expects_continue = false;
    unsigned long long content_length = 0;
};

bool ReadHead(std::string_view data, HeadFacts* facts) {
    const std::size_t blank = data.find("\r\n\r\n");
    if (blank == std::string_view::npos) {
        return false;
    }
    facts->head_end = blank + 4;
    const std::string head = Lower(data.substr(0, blank + 2));
    std::string value;
    facts->chunked = HeaderValue(head, "transfer-encoding", &value) &&
                     value.find("chunked") != std::string::npos;
    facts->expects_continue = HeaderValue(head, "expect", &value) && value == "100-continue";
    if (HeaderValue(head, "content-length", &value)) {
        // An unreadable length is left to the parser to refuse.
        facts->content_length = std::strtoull(value.c_str(), nullptr, 10);
    }
    return true;
}

// Whether the buffer holds a whole request, or enough to let the parser
// refuse it. Oversized parts are handed on as they are: the parser answers
// 413 or 400 without waiting for the rest.
Completeness CheckComplete(std::string_view data, const FrontLimits& limits, HeadFacts* facts) {
    if (!ReadHead(data, facts)) {
        return data.size() > limits.max_header_bytes ? Completeness::kReady
                                                     : Completeness::kNeedMore;
    }
    const std::size_t body = data.size() - facts->head_end;
    if (facts->chunked) {
        const bool last_chunk = data.find("\n0\r\n\r\n", facts->head_end - 2) != std::string::npos;
        return last_chunk || body > limits.max_body_bytes + 1024 ? Completeness::kReady
                                                                 : Completeness::kNeedMore;
    }
    if (facts->content_length > limits.max_body_bytes || body >= facts->content_length) {
        return Completeness::kReady;
    }
    return Completeness::kNeedMore;
}

// The request target of the buffered request line, for choosing a lane.
std::string_view TargetOf(std::string_view data) {
    const std::size_t space = data.find(' ');
    if (space == std::string_view::npos) {
        return {};
    }
    const std::size_t end = data.find_first_of(" ?\r\n", space + 1);
    return data.substr(space + 1, end == std::string_view::npos ? 0 : end - space - 1);
}

void SendBestEffort(int fd, std::string_view text) {
    [[maybe_unused]] const ssize_t ignored =
        ::send(fd, text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

constexpr std::string_view kTimedOut = "HTTP/1.1 408 Request Timeout\r\nConnection: close\r\n"
                                       "Content-Length: 0\r\n\r\n";
constexpr std::string_view kTooMany = "HTTP/1.1 503 Service Unavailable\r\nConnection: close\r\n"
                                      "Retry-After: 10\r\nContent-Length: 0\r\n\r\n";
constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";

void AddressOf(const sockaddr_storage& addr, std::string* ip, int* port) {
    char text[INET6_ADDRSTRLEN] = {};
    if (addr.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&addr);
        ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        *port = ntohs(in->sin_port);
    } else if (addr.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&addr);
        if (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr)) {
            ::inet_ntop(AF_INET, &in6->sin6_addr.s6_addr[12], text, sizeof text);
        } else {
            ::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
        }
        *port = ntohs(in6->sin6_port);
    }
    *ip = text;
}

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 60'000));
}

bool WaitFor(int fd, short events, int timeout_ms) {
    pollfd pfd{fd, events, 0};
    int rc = 0;
    do {
        rc = ::poll(&pfd, 1, timeout_ms);
    } while (rc < 0 && errno == EINTR);
    return rc > 0;
}

// What cpp-httplib reads from and writes to: the bytes the front collected,
// then the socket itself (only for requests handed on unfinished, which the
// deadline still bounds).
class ConnectionStream : public httplib::Stream {
  public:
    // `defer`: never wait for the peer; what it does not take at once is kept
    // in the connection for the event thread to send later.
    ConnectionStream(HttpFront::Connection& conn, std::chrono::milliseconds write_timeout,
                     bool defer)
        : conn_(conn), write_timeout_ms_(static_cast<int>(write_timeout.count())), defer_(defer) {}

    bool is_readable() const override {
        return conn_.consumed < conn_.buffer.size() ||
               (!defer_ && WaitFor(conn_.fd, POLLIN, RemainingMs(conn_.deadline)));
    }
    bool is_writable() const override {
        return defer_ || WaitFor(conn_.fd, POLLOUT, write_timeout_ms_);
    }

    ssize_t read(char* ptr, size_t size) override {
        if (conn_.consumed < conn_.buffer.size()) {
            const std::size_t n = std::min(size, conn_.buffer.size() - conn_.consumed);
            std::memcpy(ptr, conn_.buffer.data() + conn_.consumed, n);
            conn_.consumed += n;
            return static_cast<ssize_t>(n);
        }
        if (defer_ || !WaitFor(conn_.fd, POLLIN, RemainingMs(conn_.deadline))) {
            return -1;
        }
        ssize_t n = 0;
        do {
            n = ::recv(conn_.fd, ptr, size, 0);
        } while (n < 0 && errno == EINTR);
        return n;
    }

    ssize_t write(const char* ptr, size_t size) override {
        if (defer_ && !conn_.pending_out.empty()) {
            conn_.pending_out.append(ptr, size);
            return static_cast<ssize_t>(size);
        }
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::send(conn_.fd, ptr + done, size - done, MSG_NOSIGNAL);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            const bool full = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
            if (full && defer_) {
                conn_.pending_out.append(ptr + done, size - done);
                return static_cast<ssize_t>(size);
            }
            if (full && WaitFor(conn_.fd, POLLOUT, write_timeout_ms_)) {
                continue;
            }
            return -1;
        }
        return static_cast<ssize_t>(size);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = conn_.peer;
        port = conn_.peer_port;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip = conn_.local;
        port = conn_.local_port;
    }
    socket_t socket() const override { return conn_.fd; }

  private:
    HttpFront::Connection& conn_;
    int write_timeout_ms_;
    bool defer_;
};

// Sends what is queued; false when the peer is gone.
bool Flush(HttpFront::Connection& conn) {
    while (!conn.pending_out.empty()) {
        const ssize_t n = ::send(conn.fd, conn.pending_out.data(), conn.pending_out.size(),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            conn.pending_out.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return true;
}

} // namespace

namespace {

// Runs each accepted connection's task at once, on the accepting thread.
class InlineQueue : public httplib::TaskQueue {
  public:
    void enqueue(std::function<void()> fn) override { fn(); }
    void shutdown() override {}
};

} // namespace

Router::Router() {
    new_task_queue = [] { return new InlineQueue; };
}

Router::~Router() {
    Finish();
}

bool Router::Start() {
    if (bind_to_any_port("127.0.0.1") <= 0) {
        return false;
    }
    idle_ = std::thread([this] { listen_after_bind(); });
    const auto give_up = Clock::now() + std::chrono::seconds(5);
    while (!is_running() && Clock::now() < give_up) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return is_running();
}

void Router::Finish() {
    if (idle_.joinable()) {
        stop();
        idle_.join();
    }
}

bool Router::process_and_close_socket(socket_t sock) {
    ::close(sock);
    return true;
}

// A fixed set of threads for the requests that may wait.
class HttpFront::Workers {
  public:
    Workers(HttpFront& front, unsigned threads) : front_(front) {
        for (unsigned i = 0; i < threads; ++i) {
            threads_.emplace_back([this] { Run(); });
        }
    }
    ~Workers() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        ready_.notify_all();
        for (auto& t : threads_) {
            t.join();
        }
        for (auto& conn : queue_) {
            front_.Release(std::move(conn));
        }
    }
    void Push(std::unique_ptr<Connection> conn) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(std::move(conn));
        }
        ready_.notify_one();
    }

  private:
    void Run() {
        for (;;) {
            std::unique_ptr<Connection> conn;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                ready_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
                if (stopping_) {
                    return;
                }
                conn = std::move(queue_.front());
                queue_.pop_front();
            }
            front_.Process(std::move(conn));
        }
    }

    HttpFront& front_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::unique_ptr<Connection>> queue_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

HttpFront::HttpFront(Router& router, FrontLimits limits, LaneOf heavy)
    : router_(router), limits_(std::move(limits)), heavy_(std::move(heavy)) {}

HttpFront::~HttpFront() {
    Stop();
    for (auto& loop : loops_) {
        if (loop->thread.joinable()) {
            loop->thread.join();
        }
    }
    workers_.reset();
    for (auto& loop : loops_) {
        for (auto& [fd, conn] : loop->connections) {
            ::close(fd);
        }
        if (loop->epoll_fd >= 0) {
            ::close(loop->epoll_fd);
        }
    }
    for (int fd : {listen_fd_, wake_fd_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

bool HttpFront::Bind(const std::string& host, int port, std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
        *error = "cannot resolve " + host;
        return false;
    }
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owner(found, ::freeaddrinfo);
    listen_fd_ = ::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int yes = 1;
    if (listen_fd_ < 0 ||
        ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
        ::bind(listen_fd_, found->ai_addr, found->ai_addrlen) != 0 ||
        ::listen(listen_fd_, 1024) != 0) {
        *error = std::strerror(errno);
        return false;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&bound), &length);
    std::string ignored;
    AddressOf(bound, &ignored, &port_);
    wake_fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake_fd_ < 0) {
        *error = std::strerror(errno);
        return false;
    }
    for (unsigned i = 0; i < std::max(1u, limits_.event_threads); ++i) {
        auto loop = std::make_unique<Loop>();
        loop->epoll_fd = ::epoll_create1(EPOLL_CLOEXEC);
        // Every loop accepts; EPOLLEXCLUSIVE wakes only one of them per connection.
        epoll_event listen_event{EPOLLIN | EPOLLEXCLUSIVE, {.fd = listen_fd_}};
        epoll_event wake_event{EPOLLIN, {.fd = wake_fd_}};
        if (loop->epoll_fd < 0 ||
            ::epoll_ctl(loop->epoll_fd, EPOLL_CTL_ADD, listen_fd_, &listen_event) != 0 ||
            ::epoll_ctl(loop->epoll_fd, EPOLL_CTL_ADD, wake_fd_, &wake_event) != 0) {
            *error = std::strerror(errno);
            return false;
        }
        loops_.push_back(std::move(loop));
    }
    return true;
}

bool HttpFront::Stopping() {
    std::lock_guard<std::mutex> lock(stop_mutex_);
    return stopping_;
}

bool HttpFront::Serve() {
    if (loops_.empty()) {
        return false;
    }
    workers_ = std::make_unique<Workers>(*this, limits_.heavy_workers);
    for (std::size_t i = 1; i < loops_.size(); ++i) {
        Loop& loop = *loops_[i];
        loop.thread = std::thread([this, &loop] { RunLoop(loop); });
    }
    RunLoop(*loops_[0]);
    for (std::size_t i = 1; i < loops_.size(); ++i) {
        loops_[i]->thread.join();
    }
    workers_.reset();
    return true;
}

void HttpFront::RunLoop(Loop& loop) {
    epoll_event events[256];
    auto next_sweep = Clock::now();
    while (!Stopping()) {
        const int n = ::epoll_wait(loop.epoll_fd, events, 256, 100);
        for (int i = 0; i < n; ++i) {
            const int fd = events[i].data.fd;
            if (fd == listen_fd_) {
                Accept(loop);
            } else if (fd != wake_fd_) {
                OnEvent(loop, fd);
            }
        }
        const auto now = Clock::now();
        if (loop.accept_paused_until != Clock::time_point{} && now >= loop.accept_paused_until) {
            epoll_event listen_event{EPOLLIN | EPOLLEXCLUSIVE, {.fd = listen_fd_}};
            ::epoll_ctl(loop.epoll_fd, EPOLL_CTL_ADD, listen_fd_, &listen_event);
            loop.accept_paused_until = {};
        }
        if (now >= next_sweep) {
            ExpireLate(loop);
            next_sweep = now + std::chrono::milliseconds(100);
        }
    }
}

void HttpFront::Stop() {
    {
        std::lock_guard<std::mutex> lock(stop_mutex_);
        stopping_ = true;
    }
    // Left unread, so that every loop sees it.
    const std::uint64_t one = 1;
    if (wake_fd_ >= 0) {
        [[maybe_unused]] const ssize_t put = ::write(wake_fd_, &one, sizeof one);
    }
}

bool HttpFront::Admit(const std::string& group, bool uncapped) {
    std::lock_guard<std::mutex> lock(count_mutex_);
    if (open_ >= limits_.max_connections) {
        return false;
    }
    const auto it = per_group_.find(group);
    const unsigned count = it == per_group_.end() ? 0 : it->second;
    if (!uncapped && limits_.connections_per_address != 0 &&
        count >= limits_.connections_per_address) {
        return false;
    }
    ++per_group_[group];
    ++open_;
    return true;
}

void HttpFront::Accept(Loop& loop) {
    for (;;) {
        sockaddr_storage addr{};
        socklen_t length = sizeof addr;
        const int fd = ::accept4(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // Out of descriptors: stop accepting for a moment instead of
                // spinning on a listening socket that stays readable.
                ::epoll_ctl(loop.epoll_fd, EPOLL_CTL_DEL, listen_fd_, nullptr);
                loop.accept_paused_until = Clock::now() + std::chrono::milliseconds(100);
            }
            return;
        }
        auto conn = std::make_unique<Connection>();
        conn->fd = fd;
        conn->loop = &loop;
        AddressOf(addr, &conn->peer, &conn->peer_port);
        conn->group = AddressGroup(conn->peer);
        conn->uncapped = limits_.uncapped_addresses.count(conn->peer) != 0;
        if (!Admit(conn->group, conn->uncapped)) {
            SendBestEffort(fd, kTooMany);
            ::close(fd);
            continue;
        }
        sockaddr_storage local{};
        socklen_t local_length = sizeof local;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &local_length);
        AddressOf(local, &conn->local, &conn->local_port);
        const int yes = 1;
        // Headers and body go out in separate writes; without this, Nagle and
        // the peer's delayed ACK add ~40 ms to every keep-alive answer.
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        conn->deadline = Clock::now() + limits_.request_timeout;
        Watch(std::move(conn), false);
    }
}

// Connections are armed for one event at a time (EPOLLONESHOT), so whoever
// holds one, an event thread or a worker, has it alone; a worker hands it
// back by re-arming it.
void HttpFront::Watch(std::unique_ptr<Connection> conn, bool added) {
    Loop& loop = *conn->loop;
    const int fd = conn->fd;
    const std::uint32_t wanted = conn->pending_out.empty() ? EPOLLIN : EPOLLOUT;
    {
        std::lock_guard<std::mutex> lock(loop.mutex);
        loop.connections[fd] = std::move(conn);
    }
    epoll_event event{wanted | EPOLLRDHUP | EPOLLONESHOT, {.fd = fd}};
    if (::epoll_ctl(loop.epoll_fd, added ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &event) == 0) {
        return;
    }
    std::unique_ptr<Connection> failed;
    {
        std::lock_guard<std::mutex> lock(loop.mutex);
        const auto it = loop.connections.find(fd);
        if (it == loop.connections.end()) {
            return;
        }
        failed = std::move(it->second);
        loop.connections.erase(it);
    }
    Release(std::move(failed));
}

void HttpFront::OnEvent(Loop& loop, int fd) {
    std::unique_ptr<Connection> conn;
    {
        std::lock_guard<std::mutex> lock(loop.mutex);
        const auto it = loop.connections.find(fd);
        if (it == loop.connections.end()) {
            return;
        }
        conn = std::move(it->second);
        loop.connections.erase(it);
    }
    if (!conn->pending_out.empty()) {
        if (!Flush(*conn)) {
            Release(std::move(conn));
        } else if (!conn->pending_out.empty()) {
            Watch(std::move(conn), true);
        } else if (conn->close_after_flush) {
            Release(std::move(conn));
        } else {
            Continue(std::move(conn));
        }
        return;
    }
    const std::size_t limit = limits_.max_header_bytes + limits_.max_body_bytes + 2048;
    char chunk[16 * 1024];
    while (conn->buffer.size() < limit) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n > 0) {
            conn->buffer.append(chunk, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        conn->peer_closed = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
        break;
    }
    Continue(std::move(conn));
}

// Answers the buffered requests that are whole, then waits for more. Quick
// requests are answered right here; the rest go to the workers.
void HttpFront::Continue(std::unique_ptr<Connection> conn) {
    const std::size_t limit = limits_.max_header_bytes + limits_.max_body_bytes + 2048;
    for (;;) {
        HeadFacts facts;
        const bool complete =
            CheckComplete(conn->buffer, limits_, &facts) == Completeness::kReady ||
            conn->buffer.size() >= limit;
        // A peer that half-closed after a partial request still gets the
        // parser's answer.
        if (!complete && (!conn->peer_closed || conn->buffer.empty())) {
            if (conn->peer_closed) {
                Release(std::move(conn));
                return;
            }
            if (facts.head_end != 0 && facts.expects_continue && !conn->continue_sent) {
                SendBestEffort(conn->fd, kContinue);
                conn->continue_sent = true;
            }
            Watch(std::move(conn), true);
            return;
        }
        if (heavy_ && heavy_(TargetOf(conn->buffer))) {
            workers_->Push(std::move(conn));
            return;
        }
        const bool closing = !AnswerOne(*conn, true);
        if (!conn->pending_out.empty()) {
            // The peer reads slowly: nothing more from it until it took this answer.
            conn->close_after_flush = closing;
            conn->deadline = Clock::now() + limits_.write_timeout;
            Watch(std::move(conn), true);
            return;
        }
        if (closing) {
            Release(std::move(conn));
            return;
        }
    }
}

// One request through the router; false when the connection is to close.
bool HttpFront::AnswerOne(Connection& conn, bool defer) {
    ++conn.served;
    const bool last = conn.served >= limits_.keep_alive_max || conn.peer_closed;
    bool connection_closed = false;
    ConnectionStream stream(conn, limits_.write_timeout, defer);
    const bool ok = router_.Handle(stream, last, connection_closed);
    conn.buffer.erase(0, conn.consumed);
    conn.consumed = 0;
    conn.continue_sent = false;
    conn.deadline = Clock::now() + limits_.request_timeout;
    return ok && !last && !connection_closed;
}

void HttpFront::Process(std::unique_ptr<Connection> conn) {
    for (;;) {
        if (!AnswerOne(*conn, false)) {
            Release(std::move(conn));
            return;
        }
        HeadFacts facts;
        if (conn->buffer.empty() ||
            CheckComplete(conn->buffer, limits_, &facts) != Completeness::kReady) {
            break;
        }
        // A pipelined request is already here: no event would announce it.
    }
    Watch(std::move(conn), true);
}

void HttpFront::ExpireLate(Loop& loop) {
    const auto now = Clock::now();
    std::vector<std::unique_ptr<Connection>> late;
    {
        std::lock_guard<std::mutex> lock(loop.mutex);
        for (auto it = loop.connections.begin(); it != loop.connections.end();) {
            if (it->second->deadline > now) {
                ++it;
                continue;
            }
            late.push_back(std::move(it->second));
            it = loop.connections.erase(it);
        }
    }
    for (auto& conn : late) {
        // An idle keep-alive connection just ends; a request cut short is told why.
        if (!conn->buffer.empty() && conn->pending_out.empty()) {
            SendBestEffort(conn->fd, kTimedOut);
        }
        Release(std::move(conn));
    }
}

void HttpFront::Release(std::unique_ptr<Connection> conn) {
    {
        std::lock_guard<std::mutex> lock(count_mutex_);
        const auto it = per_group_.find(conn->group);
        if (it != per_group_.end() && --it->second == 0) {
            per_group_.erase(it);
        }
        --open_;
    }
    ::shutdown(conn->fd, SHUT_RDWR);
    ::close(conn->fd);
}

} // namespace velquist::service
