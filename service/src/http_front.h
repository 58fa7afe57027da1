#pragma once

#include "connection_watch.h"
#include "http_api.h"
#include "http_message.h"
#include "work_lanes.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

struct MHD_Daemon;
struct MHD_Connection;

namespace velquist::service {

struct FrontLimits {
    WatchLimits watch;
    WorkLanes::Limits lanes;
    unsigned event_threads = 2;
    std::size_t max_body_bytes = kMaxBodyBytes;
};

// The service's HTTP server, on GNU libmicrohttpd. A few event threads wait
// on every connection with epoll, read requests, check their framing and
// answer the quick ones (help pages, update checks, refusals) and downloads
// themselves. A request that may wait on Argon2id or the database parks its
// connection (suspended: it costs no thread) and goes to the work lanes; the
// worker's answer wakes the connection up again.
class HttpFront {
  public:
    // Called once per answered request, for the access log.
    using Served = std::function<void(const HttpRequest& req, int status)>;

    HttpFront(FrontLimits limits, Served served);
    ~HttpFront();
    HttpFront(const HttpFront&) = delete;
    HttpFront& operator=(const HttpFront&) = delete;

    // Port 0 picks a free port; port() tells which.
    bool Bind(const std::string& host, int port, std::string* error);
    int port() const { return port_; }
    // Starts answering with `routes`, which must outlive the front.
    bool Start(const HttpRoutes& routes, std::string* error);
    // Waits until Stop(), then lets go of every connection.
    bool Serve();
    void Stop();

    struct Exchange;
    // Entry points for the library's callbacks.
    int OnRequest(MHD_Connection* conn, const char* url, const char* method,
                  const char* upload_data, std::size_t* upload_size, void** slot);
    void OnCompleted(MHD_Connection* conn, void** slot);
    void OnConnection(MHD_Connection* conn, void** socket_slot, bool started);

  private:
    struct DaemonDeleter {
        void operator()(MHD_Daemon* daemon) const;
    };

    int OnHeaders(MHD_Connection* conn, Exchange& ex);
    int OnBody(Exchange& ex, const char* data, std::size_t* size);
    int OnWhole(MHD_Connection* conn, Exchange& ex);
    void Park(MHD_Connection* conn, Exchange& ex, WorkLanes::Kind kind, const LaneChoice& lane);
    int Queue(MHD_Connection* conn, Exchange& ex, HttpResponse res, bool close);
    void Shutdown();

    const HttpRoutes* routes_ = nullptr;
    int listen_fd_ = -1;
    FrontLimits limits_;
    Served served_;
    int port_ = 0;
    std::unique_ptr<ConnectionWatch> watch_;
    std::unique_ptr<WorkLanes> lanes_;
    std::unique_ptr<MHD_Daemon, DaemonDeleter> daemon_;
    std::mutex stop_mutex_;
    std::condition_variable stop_cv_;
    bool stopping_ = false;
    bool stopped_ = false;
};

// What is wrong with a request's framing, as the status to refuse it with
// (400 or 413), or 0 when nothing is. Both a length and a transfer coding,
// two lengths, a coding other than chunked, or a POST that does not say how
// long its body is: each leaves where the next request begins
// open to interpretation, and a proxy in front may read it otherwise.
int FramingProblem(const HttpRequest& req, std::size_t max_body);

} // namespace velquist::service
