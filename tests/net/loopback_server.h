#pragma once

#include <arpa/inet.h>
#include <chrono>
#include <httplib.h>
#include <memory>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace velquist::testing {

// A cpp-httplib server on a free loopback port, running on its own thread. Routes are
// registered on server() before Start().
class LoopbackServer {
  public:
    LoopbackServer() : server_(std::make_unique<httplib::Server>()) {}
    // Takes a prepared server, e.g. an httplib::SSLServer.
    explicit LoopbackServer(std::unique_ptr<httplib::Server> server) : server_(std::move(server)) {}
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;
    ~LoopbackServer() { Stop(); }

    httplib::Server& server() { return *server_; }

    void Start() {
        port_ = server_->bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_->listen_after_bind(); });
        while (!server_->is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    void Stop() {
        if (thread_.joinable()) {
            server_->stop();
            thread_.join();
        }
    }

    int port() const { return port_; }
    std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::string SecureBaseUrl() const { return "https://127.0.0.1:" + std::to_string(port_); }

  private:
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
};

// A port on which nothing listens: bound without listening, then released.
inline int ClosedLoopbackPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    socklen_t length = sizeof(address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

} // namespace velquist::testing
