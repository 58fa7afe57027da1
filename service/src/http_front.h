#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <httplib.h>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace velquist::service {

// cpp-httplib parses, routes and answers; the front below only hands it
// requests that have arrived whole.
class Router : public httplib::Server {
  public:
    Router();
    ~Router() override;
    bool Handle(httplib::Stream& stream, bool close_connection, bool& connection_closed) {
        return process_request(stream, close_connection, connection_closed, nullptr);
    }
    // cpp-httplib streams a body from a content provider only while its own
    // server runs. It runs on a loopback port of its own that closes every
    // connection at once; the front is what clients talk to.
    bool Start();
    void Finish();

  private:
    bool process_and_close_socket(socket_t sock) override;

    std::thread idle_;
};

struct FrontLimits {
    // Headers and body of one request must be in within this time, counted
    // from the connection's start or the end of its previous answer.
    std::chrono::milliseconds request_timeout{10'000};
    std::chrono::milliseconds write_timeout{10'000};
    // 0: no cap. Trusted proxies are never capped.
    unsigned connections_per_address = 32;
    unsigned max_connections = 10'000;
    unsigned event_threads = 2;
    unsigned heavy_workers = 64;
    std::size_t max_header_bytes = 16 * 1024;
    std::size_t max_body_bytes = 16 * 1024;
    std::size_t keep_alive_max = 1000;
    std::set<std::string> uncapped_addresses;
};

// An event-driven front for the router. A few event threads wait on every
// connection with epoll and collect each request until it is complete; only
// then is it answered. A slow client therefore holds a few bytes of memory
// instead of a thread, and loses its connection when its request is not in
// by the deadline. Quick requests are answered on the event thread itself
// (their answers are queued when the peer does not read); requests that may
// wait on Argon2id or the disk go to a pool of workers, so a burst of logins
// never delays a help page or an update check.
class HttpFront {
  public:
    // True when the request target (the path) should run on the workers.
    using LaneOf = std::function<bool(std::string_view target)>;

    HttpFront(Router& router, FrontLimits limits, LaneOf heavy);
    ~HttpFront();
    HttpFront(const HttpFront&) = delete;
    HttpFront& operator=(const HttpFront&) = delete;

    // Port 0 picks a free port; port() tells which.
    bool Bind(const std::string& host, int port, std::string* error);
    int port() const { return port_; }
    // Runs until Stop().
    bool Serve();
    void Stop();

    struct Connection;
    struct Loop;

  private:
    class Workers;

    void RunLoop(Loop& loop);
    bool Stopping();
    void Accept(Loop& loop);
    void OnEvent(Loop& loop, int fd);
    void Continue(std::unique_ptr<Connection> conn);
    bool AnswerOne(Connection& conn, bool defer);
    void Process(std::unique_ptr<Connection> conn);
    void Release(std::unique_ptr<Connection> conn);
    void ExpireLate(Loop& loop);
    void Watch(std::unique_ptr<Connection> conn, bool added);
    bool Admit(const std::string& group, bool uncapped);

    Router& router_;
    FrontLimits limits_;
    LaneOf heavy_;
    int listen_fd_ = -1;
    int wake_fd_ = -1;
    int port_ = 0;
    std::mutex stop_mutex_;
    bool stopping_ = false;
    std::vector<std::unique_ptr<Loop>> loops_;
    std::mutex count_mutex_;
    std::map<std::string, unsigned> per_group_;
    unsigned open_ = 0;
    std::unique_ptr<Workers> workers_;
};

} // namespace velquist::service
