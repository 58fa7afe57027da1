#include "net/http_client.h"

#include "net/curl_handle.h"
#include "net/json_fields.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <curl/curl.h>
#include <iostream>
#include <memory>
#include <sys/time.h>

namespace velquist {
namespace {

constexpr long kDefaultTimeoutMs = 10000;

std::atomic<long> g_total_timeout_ms{kDefaultTimeoutMs};
std::atomic<long> g_connect_timeout_ms{kDefaultTimeoutMs};

struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

HeaderList MakeJsonHeaders() {
    curl_slist* list = curl_slist_append(nullptr, "Accept: application/json");
    if (list == nullptr) {
        return nullptr;
    }
    HeaderList owned(list);
    curl_slist* grown = curl_slist_append(list, "Content-Type:application/json;charset=UTF-8");
    if (grown == nullptr) {
        return nullptr;
    }
    return owned;
}

thread_local long t_last_status = 0;

// Success needs all three: a finished transfer, a 2xx status and some body.
int JudgeTransfer(CURL* handle, CURLcode code, const std::string& response) {
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    t_last_status = status;
    if (code != CURLE_OK) {
        return -1;
    }
    if (status < 200 || status > 299 || response.empty()) {
        return -1;
    }
    return 0;
}

void SetWriteTarget(CURL* handle, std::string* response) {
    // An announced length past the cap is refused before the body; AppendResponse stops
    // a body that comes without one.
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxReplyBytes));
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, AppendResponse);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, response);
}

} // namespace

HttpClient::HttpClient() = default;

long HttpClient::LastStatus() {
    return t_last_status;
}

HttpClient* HttpClient::Instance() {
    // A function-local static is created once even when threads race; the global
    // initialisation runs inside that one creation. The client is never destroyed.
    static HttpClient* const instance = [] {
        auto* client = new HttpClient();
        curl_global_init(CURL_GLOBAL_ALL);
        return client;
    }();
    return instance;
}

int HttpClient::PostJson(std::string body, std::string url, std::string* response) {
    t_last_status = 0;
    HeaderList headers = MakeJsonHeaders();
    CurlEasy handle = MakeCurlEasy();
    if (!handle || !headers) {
        return -1;
    }
    CURL* h = handle.get();
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    // Peer and host verification stay at libcurl's defaults (on): the login sends the
    // account password through here.
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, g_total_timeout_ms.load());
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, g_connect_timeout_ms.load());
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.c_str());
    SetWriteTarget(h, response);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);

    CURLcode code = curl_easy_perform(h);
    std::cout << "curl code:" << static_cast<int>(code) << ",strerror:" << curl_easy_strerror(code)
              << std::endl;
    return JudgeTransfer(h, code, *response);
}

int HttpClient::Get(std::string url, std::string* response) {
    t_last_status = 0;
    CurlEasy handle = MakeCurlEasy();
    if (!handle) {
        return 2;
    }
    CURL* h = handle.get();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, g_total_timeout_ms.load());
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 1L);
    SetWriteTarget(h, response);
    CURLcode code = curl_easy_perform(h);
    return JudgeTransfer(h, code, *response);
}

void HttpClient::SetTimeouts(std::chrono::milliseconds total, std::chrono::milliseconds connect) {
    g_total_timeout_ms = static_cast<long>(total.count());
    g_connect_timeout_ms = static_cast<long>(connect.count());
}

void HttpClient::ResetTimeouts() {
    g_total_timeout_ms = kDefaultTimeoutMs;
    g_connect_timeout_ms = kDefaultTimeoutMs;
}

size_t AppendResponse(char* data, size_t size, size_t count, void* target) {
    size_t bytes = size * count;
    if (target == nullptr) {
        return bytes;
    }
    auto* response = static_cast<std::string*>(target);
    // Returning less than was offered makes libcurl end the transfer as failed.
    if (bytes > kMaxReplyBytes - std::min(response->size(), kMaxReplyBytes)) {
        return 0;
    }
    response->append(data, bytes);
    return bytes;
}

std::string FormatTimestampQuery(unsigned long long milliseconds) {
    auto wrapped = static_cast<std::uint32_t>(milliseconds);
    return "?timestamp=" + std::to_string(wrapped);
}

std::string MakeTimestampQuery() {
    timeval now{};
    gettimeofday(&now, nullptr);
    // The calendar part goes through local time and mktime, as the service expects.
    std::tm local{};
    localtime_r(&now.tv_sec, &local);
    local.tm_isdst = -1;
    std::time_t seconds = std::mktime(&local);
    auto millis = static_cast<unsigned long long>(seconds) * 1000ULL +
                  static_cast<unsigned long long>(now.tv_usec / 1000);
    return FormatTimestampQuery(millis);
}

} // namespace velquist
