#include "net/httpdownload.h"

#include "config/app_paths.h"
#include "util/text.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <curl/curl.h>
#include <glog/logging.h>
#include <iostream>
#include <memory>

namespace velquist {
namespace {

constexpr long kDefaultConnectTimeoutMs = 30000;
// A read that gets no byte for this long ends the download as failed.
constexpr long kDefaultStallTimeoutMs = 60000;

std::atomic<long> g_connect_timeout_ms{kDefaultConnectTimeoutMs};
std::atomic<long> g_stall_timeout_ms{kDefaultStallTimeoutMs};

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
struct CurlTextDeleter {
    void operator()(char* text) const { curl_free(text); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

bool IsHttps(const std::string& url) {
    std::string scheme = url.substr(0, 6);
    for (char& c : scheme) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return scheme == "https:";
}

EasyHandle MakeHandle(const std::string& url) {
    EasyHandle handle(curl_easy_init());
    if (!handle) {
        return handle;
    }
    CURL* h = handle.get();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    // An empty proxy string switches off proxies, including those from the environment.
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, g_connect_timeout_ms.load());
    // Installers often sit behind a redirect; follow it, but never from TLS down to
    // plain HTTP.
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, IsHttps(url) ? "https" : "http,https");
    long stall_ms = g_stall_timeout_ms.load();
    if (stall_ms > 0) {
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, (stall_ms + 999) / 1000);
    }
    return handle;
}

bool StatusOk(CURL* handle) {
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    return status >= 200 && status <= 299;
}

// The announced length from a HEAD; 0 when the server gives none or the HEAD fails.
curl_off_t AnnouncedLength(const std::string& url) {
    EasyHandle handle = MakeHandle(url);
    if (!handle) {
        return 0;
    }
    curl_easy_setopt(handle.get(), CURLOPT_NOBODY, 1L);
    if (curl_easy_perform(handle.get()) != CURLE_OK || !StatusOk(handle.get())) {
        return 0;
    }
    curl_off_t length = -1;
    curl_easy_getinfo(handle.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    return length > 0 ? length : 0;
}

} // namespace

struct HttpDownload::Transfer {
    std::FILE* file = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    DownloadProgress* progress = nullptr;
    curl_off_t length = 0;
    curl_off_t total = 0;
    int last_percent = 0;
    bool write_failed = false;

    bool Cancelled() const { return cancel != nullptr && cancel->load(); }

    void Report() {
        if (length <= 0) {
            return;
        }
        // Single precision as the progress always was; it can reach 100 a little early
        // on very large files, which only the label shows.
        auto percent =
            static_cast<int>(static_cast<float>(total) / static_cast<float>(length) * 100.0f);
        if (percent == last_percent) {
            return;
        }
        last_percent = percent;
        progress->ShowPercent(percent);
    }
};

namespace {

size_t WriteBlock(char* data, size_t size, size_t count, void* target) {
    auto* transfer = static_cast<HttpDownload::Transfer*>(target);
    size_t bytes = size * count;
    if (transfer->Cancelled()) {
        return 0;
    }
    if (std::fwrite(data, 1, bytes, transfer->file) != bytes) {
        transfer->write_failed = true;
        return 0;
    }
    transfer->total += static_cast<curl_off_t>(bytes);
    transfer->Report();
    return bytes;
}

// Lets a cancel take effect while the transfer waits for data.
int CheckCancel(void* target, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* transfer = static_cast<HttpDownload::Transfer*>(target);
    return transfer->Cancelled() ? 1 : 0;
}

} // namespace

[[noreturn]] void ExitProcessNow() {
    std::cout.flush();
    std::fflush(nullptr);
    std::_Exit(0);
}

std::string InstallerTempDir() {
    return WideToAnsi(EnsureAppDataDir(L"Plivern/Temp"));
}

std::string FormatPercent(int percent) {
    return std::to_string(percent) + "%";
}

std::string DownloadFileName(const std::string& url) {
    std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
        return {};
    }
    char* raw_path = nullptr;
    if (curl_url_get(parsed.get(), CURLUPART_PATH, &raw_path, 0) != CURLUE_OK) {
        return {};
    }
    std::unique_ptr<char, CurlTextDeleter> path(raw_path);
    std::string text(path.get());
    std::string name = text.substr(text.rfind('/') + 1);
    if (name == "." || name == "..") {
        return {};
    }
    return name;
}

void HttpDownload::SetConnectTimeoutMs(long ms) {
    g_connect_timeout_ms = ms;
}
void HttpDownload::SetStallTimeoutMs(long ms) {
    g_stall_timeout_ms = ms;
}

bool HttpDownload::Fetch(const DownloadRequest& request, const std::string& path,
                         DownloadProgress& progress) {
    curl_off_t length = AnnouncedLength(request.url);
    EasyHandle handle = MakeHandle(request.url);
    FileHandle file(std::fopen(path.c_str(), "wb"));
    if (!handle || !file) {
        return false;
    }
    Transfer transfer;
    transfer.file = file.get();
    transfer.cancel = request.cancel;
    transfer.progress = &progress;
    transfer.length = length;
    CURL* h = handle.get();
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteBlock);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, CheckCancel);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
    CURLcode code = curl_easy_perform(h);
    if (code != CURLE_OK || !StatusOk(h) || transfer.write_failed) {
        return false;
    }
    if (std::fflush(file.get()) != 0) {
        return false;
    }
    // Without an announced length the finished transfer is the whole file.
    return length == 0 || transfer.total == length;
}

DownloadOutcome HttpDownload::Download(const DownloadRequest& request, DownloadProgress& progress,
                                       Shell& shell) {
    std::string name = DownloadFileName(request.url);
    std::string path = request.folder + "/" + name;
    bool complete = !name.empty() && Fetch(request, path, progress);
    if (!complete) {
        // A forced upgrade that did not finish (cancel or failure) ends the program.
        if (request.force != 0) {
            shell.ExitProcess();
            return DownloadOutcome::kExited;
        }
        return DownloadOutcome::kClosed;
    }
    if (shell.Open(path)) {
        shell.ExitProcess();
        return DownloadOutcome::kExited;
    }
    LOG(ERROR) << "升级失败";
    return DownloadOutcome::kStartFailed;
}

} // namespace velquist
