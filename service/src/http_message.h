#pragma once

#include <string>
#include <utility>
#include <vector>

namespace velquist::service {

// One request as the routes see it: already whole, its framing checked.
struct HttpRequest {
    std::string method;
    // Percent-decoded, without the query.
    std::string path;
    // In arrival order; names as the client spelled them.
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // The TCP peer (a proxy, when one is in front).
    std::string peer;

    // The last header of that name (case-insensitive), or nullptr.
    const std::string* Header(const std::string& name) const;
};

struct HttpResponse {
    int status = 200;
    std::string content_type;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    // A download: the open file (owned by the response) and its size. The
    // event threads send it as the peer takes it, so an unread download holds
    // no worker.
    int file_fd = -1;
    unsigned long long file_size = 0;

    HttpResponse() = default;
    HttpResponse(const HttpResponse&) = delete;
    HttpResponse& operator=(const HttpResponse&) = delete;
    HttpResponse(HttpResponse&& other) noexcept;
    HttpResponse& operator=(HttpResponse&& other) noexcept;
    ~HttpResponse();
};

} // namespace velquist::service
