#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace velquist::service {

struct WatchLimits {
    // Headers and body of one request must be in within this time, counted
    // from the connection's start or the end of its previous answer.
    std::chrono::milliseconds request_timeout{10'000};
    // 0: no cap. Uncapped addresses (trusted proxies) are never capped.
    unsigned connections_per_address = 32;
    unsigned max_connections = 10'000;
    std::set<std::string> uncapped_addresses;
};

// What the HTTP library does not do for us: caps on open connections per
// address (an IPv6 client counts by its /64), and a deadline for a whole
// request rather than for each read, so that a client dripping one header
// line at a time is still cut. A connection over a cap, or late, is told so
// on its socket and shut down; the library then sees it close.
class ConnectionWatch {
  public:
    struct Entry;

    explicit ConnectionWatch(WatchLimits limits);
    ~ConnectionWatch();
    ConnectionWatch(const ConnectionWatch&) = delete;
    ConnectionWatch& operator=(const ConnectionWatch&) = delete;

    // A new connection on `fd` from `peer`. Over a cap it is refused with 503
    // at once; the entry is returned either way and must be closed.
    Entry* Open(int fd, const std::string& peer);
    void Close(Entry* entry);

    // The headers of a request are in; its body may still be coming.
    void RequestStarted(Entry* entry);
    // The request is whole: no deadline while it is answered.
    void RequestWhole(Entry* entry);
    // The answer went out; the next request's time starts now.
    void Answered(Entry* entry);
    // Answers `status` with `body` straight on the socket and shuts it; for
    // refusals in the middle of a body, when the library can queue no answer.
    void Refuse(Entry* entry, int status, const std::string& body);

    static const std::string& PeerOf(const Entry* entry);

  private:
    bool Admit(const Entry& entry);
    void Sweep();
    void RunSweeper();

    WatchLimits limits_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::set<Entry*> entries_;
    std::map<std::string, unsigned> per_group_;
    unsigned open_ = 0;
    std::thread sweeper_;
};

// "HTTP/1.1 <status> <reason>" with the body and a closing connection.
std::string RawAnswer(int status, const std::string& content_type, const std::string& body);

} // namespace velquist::service
