#include "connection_watch.h"

#include "validate.h"

#include <memory>
#include <sys/socket.h>

namespace velquist::service {

using SteadyClock = std::chrono::steady_clock;

namespace {

enum class Phase {
    kFresh,     // no request yet: cut late with 408
    kReceiving, // headers in, body coming: cut late with 408
    kIdle,      // between requests: a late one just ends
    kBusy,      // being answered: the library's inactivity time-out applies
    kCut,
};

const char* Reason(int status) {
    switch (status) {
    case 400:
        return "Bad Request";
    case 408:
        return "Request Timeout";
    case 413:
        return "Content Too Large";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

void SendAndShut(int fd, const std::string& text) {
    [[maybe_unused]] const ssize_t ignored =
        ::send(fd, text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::shutdown(fd, SHUT_RDWR);
}

} // namespace

struct ConnectionWatch::Entry {
    int fd = -1;
    std::string peer;
    std::string group;
    bool counted = false;
    Phase phase = Phase::kFresh;
    SteadyClock::time_point deadline;
};

std::string RawAnswer(int status, const std::string& content_type, const std::string& body) {
    std::string text =
        "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\nConnection: close\r\n";
    if (status == 503) {
        text += "Retry-After: 10\r\n";
    }
    if (!content_type.empty()) {
        text += "Content-Type: " + content_type + "\r\n";
    }
    return text + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

ConnectionWatch::ConnectionWatch(WatchLimits limits) : limits_(std::move(limits)) {
    sweeper_ = std::thread([this] { RunSweeper(); });
}

ConnectionWatch::~ConnectionWatch() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    sweeper_.join();
}

bool ConnectionWatch::Admit(const Entry& entry) {
    if (open_ >= limits_.max_connections) {
        return false;
    }
    const bool uncapped = limits_.uncapped_addresses.count(entry.peer) != 0;
    const auto it = per_group_.find(entry.group);
    const unsigned count = it == per_group_.end() ? 0 : it->second;
    return uncapped || limits_.connections_per_address == 0 ||
           count < limits_.connections_per_address;
}

ConnectionWatch::Entry* ConnectionWatch::Open(int fd, const std::string& peer) {
    // Owned by the library's connection from here on, and handed back to Close.
    Entry* entry = std::make_unique<Entry>(Entry{fd, peer, AddressGroup(peer)}).release();
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.insert(entry);
    if (!Admit(*entry)) {
        entry->phase = Phase::kCut;
        SendAndShut(fd, RawAnswer(503, "", ""));
        return entry;
    }
    entry->counted = true;
    ++per_group_[entry->group];
    ++open_;
    entry->deadline = SteadyClock::now() + limits_.request_timeout;
    return entry;
}

void ConnectionWatch::Close(Entry* closed) {
    const std::unique_ptr<Entry> entry(closed);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        entries_.erase(closed);
        if (entry->counted) {
            const auto it = per_group_.find(entry->group);
            if (it != per_group_.end() && --it->second == 0) {
                per_group_.erase(it);
            }
            --open_;
        }
    }
}

void ConnectionWatch::RequestStarted(Entry* entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (entry->phase != Phase::kCut) {
        entry->phase = Phase::kReceiving;
    }
}

void ConnectionWatch::RequestWhole(Entry* entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (entry->phase != Phase::kCut) {
        entry->phase = Phase::kBusy;
    }
}

void ConnectionWatch::Answered(Entry* entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (entry->phase != Phase::kCut) {
        entry->phase = Phase::kIdle;
        entry->deadline = SteadyClock::now() + limits_.request_timeout;
    }
}

void ConnectionWatch::Refuse(Entry* entry, int status, const std::string& body) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (entry->phase != Phase::kCut) {
        entry->phase = Phase::kCut;
        SendAndShut(entry->fd, RawAnswer(status, "application/json;charset=UTF-8", body));
    }
}

const std::string& ConnectionWatch::PeerOf(const Entry* entry) {
    return entry->peer;
}

// The library closes a socket only after telling us (Close), which takes the
// same lock: an entry's descriptor is still its own while we hold it here.
void ConnectionWatch::Sweep() {
    const auto now = SteadyClock::now();
    for (Entry* entry : entries_) {
        const bool timed = entry->phase == Phase::kFresh || entry->phase == Phase::kReceiving ||
                           entry->phase == Phase::kIdle;
        if (!timed || entry->deadline > now) {
            continue;
        }
        // An idle keep-alive connection just ends; a request cut short is told why.
        SendAndShut(entry->fd,
                    entry->phase == Phase::kIdle ? std::string() : RawAnswer(408, "", ""));
        entry->phase = Phase::kCut;
    }
}

void ConnectionWatch::RunSweeper() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        wake_.wait_for(lock, std::chrono::milliseconds(100));
        Sweep();
    }
}

} // namespace velquist::service
