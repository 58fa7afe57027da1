#include "http_front.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <microhttpd.h>
#include <netdb.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velquist::service {

struct HttpFront::Exchange {
    HttpRequest request;
    ConnectionWatch::Entry* entry = nullptr;
    MHD_Connection* conn = nullptr;
    bool parked = false;
    bool refused = false;
    bool close = false;
    std::atomic<bool> ready{false};
    HttpResponse answer;
    int status = 0;
};

namespace {

struct ResponseDeleter {
    void operator()(MHD_Response* response) const { MHD_destroy_response(response); }
};
using ResponsePtr = std::unique_ptr<MHD_Response, ResponseDeleter>;

struct AddrInfoDeleter {
    void operator()(addrinfo* info) const { ::freeaddrinfo(info); }
};

// Closes the listening socket unless the library took it.
struct SocketGuard {
    int fd = -1;
    ~SocketGuard() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

std::string AddressText(const sockaddr* addr, int* port) {
    char text[INET6_ADDRSTRLEN] = {};
    if (addr != nullptr && addr->sa_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(addr);
        ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        *port = ntohs(in->sin_port);
    } else if (addr != nullptr && addr->sa_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(addr);
        if (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr)) {
            ::inet_ntop(AF_INET, &in6->sin6_addr.s6_addr[12], text, sizeof text);
        } else {
            ::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
        }
        *port = ntohs(in6->sin6_port);
    }
    return text;
}

int BindListener(const std::string& host, int port, std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
        *error = "cannot resolve " + host;
        return -1;
    }
    std::unique_ptr<addrinfo, AddrInfoDeleter> owner(found);
    SocketGuard guard{::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)};
    const int yes = 1;
    if (guard.fd < 0 || ::setsockopt(guard.fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
        ::bind(guard.fd, found->ai_addr, found->ai_addrlen) != 0 || ::listen(guard.fd, 1024) != 0) {
        *error = std::strerror(errno);
        return -1;
    }
    return std::exchange(guard.fd, -1);
}

MHD_Result CollectHeader(void* cls, MHD_ValueKind, const char* key, const char* value) {
    auto* headers = static_cast<std::vector<std::pair<std::string, std::string>>*>(cls);
    headers->emplace_back(key != nullptr ? key : "", value != nullptr ? value : "");
    return MHD_YES;
}

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    const auto last = text.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

bool HasFraming(const HttpRequest& req) {
    return req.Header("Content-Length") != nullptr || req.Header("Transfer-Encoding") != nullptr;
}

MHD_Result AsResult(int value) {
    return value != 0 ? MHD_YES : MHD_NO;
}

MHD_Result RequestThunk(void* cls, MHD_Connection* conn, const char* url, const char* method,
                        const char*, const char* upload_data, size_t* upload_size, void** slot) {
    return AsResult(
        static_cast<HttpFront*>(cls)->OnRequest(conn, url, method, upload_data, upload_size, slot));
}

void CompletedThunk(void* cls, MHD_Connection* conn, void** slot, MHD_RequestTerminationCode) {
    static_cast<HttpFront*>(cls)->OnCompleted(conn, slot);
}

void ConnectionThunk(void* cls, MHD_Connection* conn, void** socket_slot,
                     MHD_ConnectionNotificationCode code) {
    static_cast<HttpFront*>(cls)->OnConnection(conn, socket_slot,
                                               code == MHD_CONNECTION_NOTIFY_STARTED);
}

} // namespace

int FramingProblem(const HttpRequest& req, std::size_t max_body) {
    int lengths = 0;
    int codings = 0;
    std::string length;
    std::string coding;
    for (const auto& [name, value] : req.headers) {
        if (::strcasecmp(name.c_str(), "Content-Length") == 0) {
            ++lengths;
            length = Trimmed(value);
        } else if (::strcasecmp(name.c_str(), "Transfer-Encoding") == 0) {
            ++codings;
            coding = Trimmed(value);
        }
    }
    if (lengths > 1 || codings > 1 || (lengths != 0 && codings != 0)) {
        return 400;
    }
    if (codings != 0) {
        return ::strcasecmp(coding.c_str(), "chunked") == 0 ? 0 : 400;
    }
    if (lengths == 0) {
        return req.method == "POST" ? 400 : 0;
    }
    if (length.empty() || length.size() > 18 ||
        length.find_first_not_of("0123456789") != std::string::npos) {
        return length.size() > 18 && length.find_first_not_of("0123456789") == std::string::npos
                   ? 413
                   : 400;
    }
    return std::stoull(length) > max_body ? 413 : 0;
}

HttpFront::HttpFront(FrontLimits limits, Served served)
    : limits_(std::move(limits)), served_(std::move(served)) {}

HttpFront::~HttpFront() {
    Shutdown();
    if (listen_fd_ >= 0) {
        ::close(listen_fd_);
    }
}

void HttpFront::DaemonDeleter::operator()(MHD_Daemon* daemon) const {
    MHD_stop_daemon(daemon);
}

bool HttpFront::Bind(const std::string& host, int port, std::string* error) {
    listen_fd_ = BindListener(host, port, error);
    if (listen_fd_ < 0) {
        return false;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&bound), &length);
    AddressText(reinterpret_cast<sockaddr*>(&bound), &port_);
    return true;
}

bool HttpFront::Start(const HttpRoutes& routes, std::string* error) {
    routes_ = &routes;
    watch_ = std::make_unique<ConnectionWatch>(limits_.watch);
    lanes_ = std::make_unique<WorkLanes>(limits_.lanes);
    const auto timeout = static_cast<unsigned>(std::max<long long>(
        1,
        std::chrono::duration_cast<std::chrono::seconds>(limits_.watch.request_timeout).count()));
    // Room above our own cap, so that beyond it clients hear 503 from us
    // instead of being dropped unanswered by the library.
    const unsigned library_cap = limits_.watch.max_connections + 64;
    const unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME;
    daemon_.reset(MHD_start_daemon(
        flags, 0, nullptr, nullptr, &RequestThunk, this, MHD_OPTION_LISTEN_SOCKET, listen_fd_,
        MHD_OPTION_THREAD_POOL_SIZE, std::max(1u, limits_.event_threads),
        MHD_OPTION_CONNECTION_TIMEOUT, timeout, MHD_OPTION_CONNECTION_LIMIT, library_cap,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<size_t>(64 * 1024),
        MHD_OPTION_NOTIFY_COMPLETED, &CompletedThunk, this, MHD_OPTION_NOTIFY_CONNECTION,
        &ConnectionThunk, this, MHD_OPTION_STRICT_FOR_CLIENT, 1, MHD_OPTION_END));
    if (!daemon_) {
        *error = "the HTTP server did not start";
        return false;
    }
    listen_fd_ = -1; // the daemon closes it
    return true;
}

bool HttpFront::Serve() {
    if (!daemon_) {
        return false;
    }
    std::unique_lock<std::mutex> lock(stop_mutex_);
    stop_cv_.wait(lock, [this] { return stopping_; });
    lock.unlock();
    Shutdown();
    return true;
}

void HttpFront::Stop() {
    {
        std::lock_guard<std::mutex> lock(stop_mutex_);
        stopping_ = true;
    }
    stop_cv_.notify_all();
}

// Parked requests are answered (503 for those never started) before the
// daemon goes, so that no connection stays suspended.
void HttpFront::Shutdown() {
    {
        std::lock_guard<std::mutex> lock(stop_mutex_);
        if (stopped_) {
            return;
        }
        stopped_ = true;
    }
    if (lanes_) {
        lanes_->Stop();
    }
    daemon_.reset();
    lanes_.reset();
    watch_.reset();
}

void HttpFront::OnConnection(MHD_Connection* conn, void** socket_slot, bool started) {
    if (!started) {
        if (*socket_slot != nullptr) {
            watch_->Close(static_cast<ConnectionWatch::Entry*>(*socket_slot));
            *socket_slot = nullptr;
        }
        return;
    }
    const MHD_ConnectionInfo* fd = MHD_get_connection_info(conn, MHD_CONNECTION_INFO_CONNECTION_FD);
    const MHD_ConnectionInfo* addr =
        MHD_get_connection_info(conn, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    int peer_port = 0;
    const std::string peer = AddressText(addr != nullptr ? addr->client_addr : nullptr, &peer_port);
    *socket_slot = watch_->Open(fd != nullptr ? fd->connect_fd : -1, peer);
}

int HttpFront::OnRequest(MHD_Connection* conn, const char* url, const char* method,
                         const char* upload_data, std::size_t* upload_size, void** slot) {
    auto* ex = static_cast<Exchange*>(*slot);
    if (ex == nullptr) {
        ex = new Exchange;
        *slot = ex;
        ex->conn = conn;
        ex->request.method = method;
        ex->request.path = url;
        const MHD_ConnectionInfo* info =
            MHD_get_connection_info(conn, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        ex->entry = static_cast<ConnectionWatch::Entry*>(info->socket_context);
        return OnHeaders(conn, *ex);
    }
    if (*upload_size != 0) {
        return upload_data != nullptr ? OnBody(*ex, upload_data, upload_size) : 1;
    }
    if (ex->parked) {
        // Woken by the worker; the answer is published before the wake-up.
        return ex->ready.load(std::memory_order_acquire)
                   ? Queue(conn, *ex, std::move(ex->answer), ex->close)
                   : 1;
    }
    return OnWhole(conn, *ex);
}

int HttpFront::OnHeaders(MHD_Connection* conn, Exchange& ex) {
    ex.request.peer = ConnectionWatch::PeerOf(ex.entry);
    MHD_get_connection_values(conn, MHD_HEADER_KIND, &CollectHeader, &ex.request.headers);
    watch_->RequestStarted(ex.entry);
    if (const int status = FramingProblem(ex.request, limits_.max_body_bytes); status != 0) {
        // Whatever follows on this connection cannot be told apart from this
        // request's body: it ends with the answer.
        return Queue(conn, ex, ErrorResponse(status), true);
    }
    // PUT and PATCH are refused anyway; without a length, what follows them
    // might be meant as their body, so their connection ends with the answer.
    ex.close =
        !HasFraming(ex.request) && (ex.request.method == "PUT" || ex.request.method == "PATCH");
    return 1;
}

// Bodies are read for every method, a GET's too, so that a body never runs
// as a request of its own; past the limit the connection ends at once.
int HttpFront::OnBody(Exchange& ex, const char* data, std::size_t* size) {
    if (ex.refused) {
        return 0;
    }
    if (ex.request.body.size() + *size > limits_.max_body_bytes) {
        ex.refused = true;
        ex.status = 413;
        watch_->Refuse(ex.entry, 413, ErrorResponse(413).body);
        return 0;
    }
    ex.request.body.append(data, *size);
    *size = 0;
    return 1;
}

int HttpFront::OnWhole(MHD_Connection* conn, Exchange& ex) {
    watch_->RequestWhole(ex.entry);
    const LaneChoice lane = routes_->LaneOf(ex.request);
    switch (lane.lane) {
    case Lane::kHash:
        Park(conn, ex, WorkLanes::Kind::kHash, lane);
        return 1;
    case Lane::kStore:
        Park(conn, ex, WorkLanes::Kind::kStore, lane);
        return 1;
    default:
        return Queue(conn, ex, routes_->Handle(ex.request), ex.close);
    }
}

void HttpFront::Park(MHD_Connection* conn, Exchange& ex, WorkLanes::Kind kind,
                     const LaneChoice& lane) {
    ex.parked = true;
    MHD_suspend_connection(conn);
    Exchange* parked = &ex;
    lanes_->Submit(kind, lane.address, lane.phone, [this, parked](bool run) {
        parked->answer = run ? routes_->Handle(parked->request) : ErrorResponse(503);
        parked->ready.store(true, std::memory_order_release);
        MHD_resume_connection(parked->conn);
    });
}

int HttpFront::Queue(MHD_Connection* conn, Exchange& ex, HttpResponse res, bool close) {
    ResponsePtr response;
    if (res.file_fd >= 0 && res.file_size != 0) {
        // The library owns the descriptor from here on and sends from it.
        response.reset(MHD_create_response_from_fd64(res.file_size, res.file_fd));
        if (response) {
            res.file_fd = -1;
        }
    } else {
        response.reset(MHD_create_response_from_buffer(res.body.size(), res.body.data(),
                                                       MHD_RESPMEM_MUST_COPY));
    }
    if (!response) {
        return 0;
    }
    if (!res.content_type.empty()) {
        MHD_add_response_header(response.get(), "Content-Type", res.content_type.c_str());
    }
    for (const auto& [name, value] : res.headers) {
        MHD_add_response_header(response.get(), name.c_str(), value.c_str());
    }
    if (close) {
        MHD_add_response_header(response.get(), "Connection", "close");
    }
    ex.status = res.status;
    return MHD_queue_response(conn, static_cast<unsigned>(res.status), response.get()) == MHD_YES;
}

void HttpFront::OnCompleted(MHD_Connection*, void** slot) {
    std::unique_ptr<Exchange> ex(static_cast<Exchange*>(*slot));
    *slot = nullptr;
    if (!ex) {
        return;
    }
    if (ex->status != 0 && served_) {
        served_(ex->request, ex->status);
    }
    watch_->Answered(ex->entry);
}

} // namespace velquist::service
