#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace velquist {

// The one JSON-over-HTTP client of the process. Each call is one blocking transfer on its
// own easy handle; nothing (connection, cookie) is kept from one call to the next.
class HttpClient {
  public:
    static HttpClient* Instance();

    // 0 on a completed transfer with a 2xx status and a non-empty body, else -1. A body
    // that arrived with a failing status stays in *response. A reply longer than
    // kMaxReplyBytes fails without being read further.
    int PostJson(std::string body, std::string url, std::string* response);
    // As PostJson; 2 when no transfer handle could be made.
    int Get(std::string url, std::string* response);
    // The HTTP status of the calling thread's last request, also when it failed (an error
    // status, a reply past the cap); 0 when no answer came at all.
    static long LastStatus();

    // The service's time-outs are 10 s each; tests shorten them.
    static void SetTimeouts(std::chrono::milliseconds total, std::chrono::milliseconds connect);
    static void ResetTimeouts();

  private:
    HttpClient();
};

// libcurl write callback: appends to the std::string behind target, and ends the transfer
// (returns 0) when the reply would pass kMaxReplyBytes. Without a target it drops the data.
size_t AppendResponse(char* data, size_t size, size_t count, void* target);

// "?timestamp=" and the local wall-clock time in milliseconds, wrapped modulo 2^32.
std::string MakeTimestampQuery();
// The same text for a given millisecond count, so the wrap can be checked.
std::string FormatTimestampQuery(unsigned long long milliseconds);

} // namespace velquist
