#include "http_message.h"

#include <strings.h>
#include <unistd.h>

namespace velquist::service {

const std::string* HttpRequest::Header(const std::string& name) const {
    const std::string* found = nullptr;
    for (const auto& [key, value] : headers) {
        if (::strcasecmp(key.c_str(), name.c_str()) == 0) {
            found = &value;
        }
    }
    return found;
}

HttpResponse::HttpResponse(HttpResponse&& other) noexcept
    : status(other.status), content_type(std::move(other.content_type)),
      body(std::move(other.body)), headers(std::move(other.headers)),
      file_fd(std::exchange(other.file_fd, -1)), file_size(other.file_size) {}

HttpResponse& HttpResponse::operator=(HttpResponse&& other) noexcept {
    if (this != &other) {
        if (file_fd >= 0) {
            ::close(file_fd);
        }
        status = other.status;
        content_type = std::move(other.content_type);
        body = std::move(other.body);
        headers = std::move(other.headers);
        file_fd = std::exchange(other.file_fd, -1);
        file_size = other.file_size;
    }
    return *this;
}

HttpResponse::~HttpResponse() {
    if (file_fd >= 0) {
        ::close(file_fd);
    }
}

} // namespace velquist::service
