#include "util/fd_io.h"

#include <cerrno>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

namespace velquist {
namespace {

template <typename Put> bool PutAll(const void* data, std::size_t size, Put put) {
    const char* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = put(bytes + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool WriteAll(int fd, const void* data, std::size_t size) {
    return PutAll(data, size, [fd](const char* p, std::size_t n) { return ::write(fd, p, n); });
}

bool SendAll(int fd, const void* data, std::size_t size) {
    return PutAll(data, size, [fd](const char* p, std::size_t n) {
        const ssize_t sent = ::send(fd, p, n, MSG_NOSIGNAL);
        return sent < 0 && errno == ENOTSOCK ? ::write(fd, p, n) : sent;
    });
}

} // namespace velquist
