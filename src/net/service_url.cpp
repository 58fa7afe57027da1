#include "net/service_url.h"

#include "config/config_file.h"
#include "util/text.h"

#include <mutex>

namespace velquist {
namespace {

std::mutex g_url_mutex;
// Set on first use or by SetServiceBaseUrl; never freed, as detached threads may still
// be asking for it while the process ends.
std::string* g_url = nullptr;

std::string TrimTrailingSlashes(std::string url) {
    while (!url.empty() && url.back() == '/') {
        url.pop_back();
    }
    return url;
}

std::string ConfiguredOrDefault() {
    std::wstring configured;
    ReadConfigValue(L"global", L"service-url", L"", configured);
    std::string url = TrimTrailingSlashes(WideToUtf8(TrimWide(configured)));
    return url.empty() ? DefaultServiceBaseUrl() : url;
}

} // namespace

std::string DefaultServiceBaseUrl() {
    return TrimTrailingSlashes(VELQUIST_SERVICE_URL);
}

void SetServiceBaseUrl(const std::string& url) {
    std::lock_guard<std::mutex> lock(g_url_mutex);
    if (g_url == nullptr) {
        g_url = new std::string();
    }
    *g_url = url.empty() ? DefaultServiceBaseUrl() : TrimTrailingSlashes(url);
}

void ReloadServiceBaseUrl() {
    std::string url = ConfiguredOrDefault();
    std::lock_guard<std::mutex> lock(g_url_mutex);
    if (g_url == nullptr) {
        g_url = new std::string();
    }
    *g_url = url;
}

std::string ServiceBaseUrl() {
    std::lock_guard<std::mutex> lock(g_url_mutex);
    if (g_url == nullptr) {
        g_url = new std::string(ConfiguredOrDefault());
    }
    return *g_url;
}

std::string HelpPageUrl() {
    return ServiceBaseUrl() + "/help";
}
std::string HelpAudioPageUrl() {
    return ServiceBaseUrl() + "/help/audio";
}

std::string PercentEncodeSegment(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                          (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' ||
                          c == '~';
        if (unreserved) {
            encoded += c;
            continue;
        }
        encoded += '%';
        encoded += kHex[byte >> 4];
        encoded += kHex[byte & 0x0f];
    }
    return encoded;
}

} // namespace velquist
