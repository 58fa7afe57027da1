#include "sms_sender.h"

#include "log_text.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace velquist::service {
namespace {

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool OutboxSmsSender::Send(const std::string& phone, const std::string& code) {
    const std::string line = phone + " " + code + "\n";
    std::lock_guard<std::mutex> lock(mutex_);
    FdCloser file{::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600)};
    if (file.fd < 0 || !WriteAll(file.fd, line)) {
        std::fprintf(stderr, "sms outbox %s: cannot write\n", EscapeLogField(path_).c_str());
        return false;
    }
    std::fprintf(stderr, "sms code for %s written to the outbox\n", LogField(phone).c_str());
    return true;
}

} // namespace velquist::service
