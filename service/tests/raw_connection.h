#pragma once

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace velquist::service::testing {

// A TCP connection to the service from a chosen loopback address (all of
// 127.0.0.0/8 reaches the local host), so tests can play several clients.
class RawConnection {
  public:
    RawConnection(const std::string& from, int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        ::inet_pton(AF_INET, from.c_str(), &local.sin_addr);
        sockaddr_in remote{};
        remote.sin_family = AF_INET;
        remote.sin_port = htons(static_cast<uint16_t>(port));
        remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = fd_ >= 0 &&
                     ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
                     ::connect(fd_, reinterpret_cast<sockaddr*>(&remote), sizeof remote) == 0;
    }
    ~RawConnection() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    bool connected() const { return connected_; }
    int fd() const { return fd_; }
    bool Send(const std::string& text) {
        return ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(text.size());
    }
    // Sends `chunk` again and again until `limit` bytes went out, the service
    // stops taking them for a second, or the connection ends; the bytes sent.
    std::size_t Flood(const std::string& chunk, std::size_t limit) {
        std::size_t sent = 0;
        while (sent < limit) {
            pollfd pfd{fd_, POLLOUT, 0};
            if (::poll(&pfd, 1, 1000) <= 0 || (pfd.revents & (POLLERR | POLLHUP)) != 0) {
                break;
            }
            const ssize_t n = ::send(fd_, chunk.data(), chunk.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n <= 0) {
                break;
            }
            sent += static_cast<std::size_t>(n);
        }
        return sent;
    }
    // What has arrived so far, without waiting.
    std::string ReadAvailable() {
        std::string text;
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
        }
        return text;
    }
    // Everything until the service closes, or until `patience` passes; sets
    // `closed` when the service did close.
    std::string ReadUntilClosed(std::chrono::milliseconds patience, bool* closed) {
        std::string text;
        *closed = false;
        const auto give_up = std::chrono::steady_clock::now() + patience;
        while (std::chrono::steady_clock::now() < give_up) {
            pollfd pfd{fd_, POLLIN, 0};
            if (::poll(&pfd, 1, 50) <= 0) {
                continue;
            }
            char buffer[1024];
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0) {
                *closed = true;
                break;
            }
            text.append(buffer, static_cast<std::size_t>(n));
        }
        return text;
    }

  private:
    int fd_ = -1;
    bool connected_ = false;
};

} // namespace velquist::service::testing
