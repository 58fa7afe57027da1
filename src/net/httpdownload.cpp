#include "net/httpdownload.h"

#include "config/app_paths.h"
#include "net/curl_handle.h"
#include "net/installer_file.h"
#include "net/installer_signature.h"
#include "util/text.h"
#include "util/translated_text.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <glog/logging.h>
#include <iostream>
#include <memory>
#include <thread>

namespace velquist {
namespace {

constexpr long kDefaultConnectTimeoutMs = 30000;
// A transfer slower than HttpDownload::kMinBytesPerSecond for this long fails: a server
// that drips a few bytes a second would otherwise hold the dialog open for ever.
constexpr long kDefaultStallTimeoutMs = 30000;

std::atomic<long> g_connect_timeout_ms{kDefaultConnectTimeoutMs};
std::atomic<long> g_stall_timeout_ms{kDefaultStallTimeoutMs};
std::atomic<long> g_min_bytes_per_second{HttpDownload::kMinBytesPerSecond};
std::atomic<std::uint64_t> g_default_limit{kDefaultInstallerLimit};
constexpr long kDefaultBatchPollMs = 250;
std::atomic<long> g_batch_poll_ms{kDefaultBatchPollMs};

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct CurlTextDeleter {
    void operator()(char* text) const { curl_free(text); }
};

bool IsHttps(const std::string& url) {
    std::string scheme = url.substr(0, 6);
    for (char& c : scheme) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return scheme == "https:";
}

CurlEasy MakeHandle(const std::string& url, curl_off_t limit) {
    CurlEasy handle = MakeCurlEasy();
    if (!handle) {
        return handle;
    }
    CURL* h = handle.get();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    // The address comes from the network: a manifest must not make us read local files
    // (file://) or talk any other protocol libcurl knows.
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    // An empty proxy string switches off proxies, including those from the environment.
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, g_connect_timeout_ms.load());
    // Installers often sit behind a redirect; follow it, but never from TLS down to
    // plain HTTP.
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, IsHttps(url) ? "https" : "http,https");
    // Refuses an announced length beyond the limit before any byte is written; the write
    // callback enforces it for bodies without a length.
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, limit);
    long stall_ms = g_stall_timeout_ms.load();
    if (stall_ms > 0) {
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, g_min_bytes_per_second.load());
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
// A length beyond the limit is still reported, so it can fail the download early.
curl_off_t AnnouncedLength(const std::string& url) {
    CurlEasy handle = MakeHandle(url, 0);
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
    PartialFile* file = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    DownloadProgress* progress = nullptr;
    curl_off_t length = 0; // expected bytes; 0: unknown
    curl_off_t limit = 0;
    curl_off_t total = 0;
    int last_percent = 0;
    DownloadFailure failure = DownloadFailure::kNone;

    bool Cancelled() const { return cancel != nullptr && cancel->load(); }

    void Report() {
        if (length <= 0) {
            return;
        }
        // Single precision as the progress always was; it can reach 100 a little early
        // on very large files, and it is capped so the label never passes 100.
        auto percent =
            static_cast<int>(static_cast<float>(total) / static_cast<float>(length) * 100.0f);
        percent = std::clamp(percent, 0, 100);
        if (percent == last_percent) {
            return;
        }
        last_percent = percent;
        progress->ShowPercent(percent);
    }

    // False (with the reason kept) when the block must not be written.
    bool Admit(curl_off_t bytes) {
        if (Cancelled()) {
            failure = DownloadFailure::kCancelled;
            return false;
        }
        if (total + bytes > limit) {
            failure = DownloadFailure::kTooLarge;
            return false;
        }
        if (length > 0 && total + bytes > length) {
            failure = DownloadFailure::kSizeMismatch;
            return false;
        }
        return true;
    }
};

namespace {

size_t WriteBlock(char* data, size_t size, size_t count, void* target) {
    auto* transfer = static_cast<HttpDownload::Transfer*>(target);
    size_t bytes = size * count;
    if (!transfer->Admit(static_cast<curl_off_t>(bytes))) {
        return 0;
    }
    if (!transfer->file->Write(data, bytes)) {
        transfer->failure = DownloadFailure::kCannotSave;
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

DownloadFailure JudgeTransfer(CURL* handle, CURLcode code, const HttpDownload::Transfer& transfer) {
    if (transfer.Cancelled()) {
        return DownloadFailure::kCancelled;
    }
    if (transfer.failure != DownloadFailure::kNone) {
        return transfer.failure;
    }
    switch (code) {
    case CURLE_OK:
        break;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
        return DownloadFailure::kBadAddress;
    case CURLE_FILESIZE_EXCEEDED:
        return DownloadFailure::kTooLarge;
    case CURLE_PARTIAL_FILE:
        return DownloadFailure::kIncomplete;
    default:
        return DownloadFailure::kNetwork;
    }
    if (!StatusOk(handle)) {
        return DownloadFailure::kNetwork;
    }
    // Without any announced length the finished transfer is the whole file.
    if (transfer.length > 0 && transfer.total != transfer.length) {
        return DownloadFailure::kIncomplete;
    }
    return DownloadFailure::kNone;
}

// The length the file must have (0: unknown), or a failure when the HEAD already shows
// that it cannot be right.
DownloadFailure ExpectedLength(const DownloadRequest& request, curl_off_t limit,
                               curl_off_t* length) {
    curl_off_t announced = AnnouncedLength(request.url);
    if (announced > limit) {
        return DownloadFailure::kTooLarge;
    }
    if (request.check.size != 0) {
        *length = limit;
        return announced != 0 && announced != limit ? DownloadFailure::kSizeMismatch
                                                    : DownloadFailure::kNone;
    }
    *length = announced;
    return DownloadFailure::kNone;
}

// The file is opened by the desktop, which would run anything it understands: only a
// Debian package the maker signed gets that far.
bool IsTrustedInstaller(const std::string& path, const std::string& signature) {
    if (!IsDebianPackage(path)) {
        LOG(ERROR) << "installer refused: not a Debian package";
        return false;
    }
    if (!VerifyInstallerSignature(path, signature, UpdatePublicKeys())) {
        LOG(ERROR) << "installer refused: no built-in key verifies its signature";
        return false;
    }
    return true;
}

} // namespace

[[noreturn]] void ExitProcessNow(int code) {
    std::cout.flush();
    std::fflush(nullptr);
    std::_Exit(code);
}

std::string InstallerTempDir() {
    return WideToAnsi(EnsureAppDataDir(L"Plivern/Temp"));
}

std::string FormatPercent(int percent) {
    return std::to_string(percent) + "%";
}

// Marked texts, translated here: the reason goes into the composed failure text.
std::wstring DownloadFailureReason(DownloadFailure failure) {
    switch (failure) {
    case DownloadFailure::kNone:
        return {};
    case DownloadFailure::kCancelled:
        return TranslatedText(QT_TRANSLATE_NOOP("Velquist", "已取消"));
    case DownloadFailure::kBadAddress:
        return TranslatedText(QT_TRANSLATE_NOOP("Velquist", "下载地址无效"));
    case DownloadFailure::kNetwork:
        return TranslatedText(QT_TRANSLATE_NOOP("Velquist", "网络错误"));
    case DownloadFailure::kIncomplete:
        return TranslatedText(QT_TRANSLATE_NOOP("Velquist", "文件不完整"));
    case DownloadFailure::kSizeMismatch:
        return TranslatedText(QT_TRANSLATE_NOOP("Velquist", "文件大小不符"));
    case DownloadFailure::kTooLarge:
        return TranslatedText(QT_TRANSLATE_NOOP("Velquist", "文件过大"));
    case DownloadFailure::kChecksum:
        return TranslatedText(QT_TRANSLATE_NOOP("Velquist", "文件校验失败"));
    case DownloadFailure::kCannotSave:
        return TranslatedText(QT_TRANSLATE_NOOP("Velquist", "无法保存文件"));
    }
    return TranslatedText(QT_TRANSLATE_NOOP("Velquist", "未知错误"));
}

std::wstring ForcedUpgradeFailedText(DownloadFailure failure) {
    return FillText(TranslatedText(QT_TRANSLATE_NOOP("Velquist", "升级失败,%1!")),
                    {DownloadFailureReason(failure)});
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

std::string InstallerFileName(const std::string& url) {
    std::string name = DownloadFileName(url);
    if (name.empty()) {
        return name;
    }
    std::string ending = name.size() >= 4 ? name.substr(name.size() - 4) : std::string();
    for (char& c : ending) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return ending == ".deb" ? name : name + ".deb";
}

void HttpDownload::SetConnectTimeoutMs(long ms) {
    g_connect_timeout_ms = ms;
}
void HttpDownload::SetStallTimeoutMs(long stall_ms, long min_bytes_per_second) {
    g_stall_timeout_ms = stall_ms;
    g_min_bytes_per_second = min_bytes_per_second;
}
void HttpDownload::SetDefaultLimit(std::uint64_t bytes) {
    g_default_limit = bytes != 0 ? bytes : kDefaultInstallerLimit;
}
void HttpDownload::SetBatchPollMs(long ms) {
    g_batch_poll_ms = ms > 0 ? ms : kDefaultBatchPollMs;
}

// The batch belongs to the window's engine, which announces no end to this thread; a
// look every quarter second costs nothing beside a conversion. False when cancelled. A
// forced update's cancel ends the program, so it too waits for the batch to end.
bool HttpDownload::WaitForBatchEnd(const DownloadRequest& request, DownloadProgress& progress) {
    auto cancelled = [&request] { return request.cancel != nullptr && request.cancel->load(); };
    if (!request.batch_running || !request.batch_running()) {
        return true;
    }
    progress.ShowWaitingForBatch();
    while ((request.force != 0 || !cancelled()) && request.batch_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(g_batch_poll_ms.load()));
    }
    return !cancelled();
}

DownloadFailure HttpDownload::Fetch(const DownloadRequest& request, const std::string& path,
                                    DownloadProgress& progress) {
    std::uint64_t limit_bytes =
        request.check.size != 0 ? request.check.size : g_default_limit.load();
    auto limit = static_cast<curl_off_t>(limit_bytes);
    Transfer transfer;
    transfer.limit = limit;
    if (DownloadFailure early = ExpectedLength(request, limit, &transfer.length);
        early != DownloadFailure::kNone) {
        return early;
    }
    CurlEasy handle = MakeHandle(request.url, limit);
    PartialFile file(request.folder);
    if (!handle) {
        return DownloadFailure::kNetwork;
    }
    if (!file.Ok()) {
        return DownloadFailure::kCannotSave;
    }
    transfer.file = &file;
    transfer.cancel = request.cancel;
    transfer.progress = &progress;
    CURL* h = handle.get();
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteBlock);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, CheckCancel);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
    CURLcode code = curl_easy_perform(h);
    if (DownloadFailure failure = JudgeTransfer(h, code, transfer);
        failure != DownloadFailure::kNone) {
        return failure;
    }
    if (!file.Finish()) {
        return DownloadFailure::kCannotSave;
    }
    // Verified before the file gets the name anything would open.
    if (!request.check.sha256.empty() && file.Sha256Hex() != request.check.sha256) {
        return DownloadFailure::kChecksum;
    }
    if (!IsTrustedInstaller(file.temp_path(), request.check.signature)) {
        return DownloadFailure::kChecksum;
    }
    return file.Commit(path) ? DownloadFailure::kNone : DownloadFailure::kCannotSave;
}

DownloadOutcome HttpDownload::Fail(const DownloadRequest& request, DownloadFailure failure,
                                   Shell& shell) {
    failure_ = failure;
    if (request.force == 0) {
        return DownloadOutcome::kClosed;
    }
    // A forced upgrade that did not finish ends the program. The user's own cancel needs
    // no explanation; anything else says why, and the exit code tells scripts.
    if (failure == DownloadFailure::kCancelled) {
        shell.ExitProcess();
    } else {
        shell.FailForcedUpgrade(ForcedUpgradeFailedText(failure));
    }
    return DownloadOutcome::kExited;
}

DownloadOutcome HttpDownload::Download(const DownloadRequest& request, DownloadProgress& progress,
                                       Shell& shell) {
    failure_ = DownloadFailure::kNone;
    std::string name = InstallerFileName(request.url);
    if (name.empty()) {
        return Fail(request, DownloadFailure::kBadAddress, shell);
    }
    // Nothing could pass the check after the transfer; no need to fetch it first.
    if (request.check.signature.empty() || UpdatePublicKeys().empty()) {
        LOG(ERROR) << "installer refused: no maker's signature or no key to check it with";
        return Fail(request, DownloadFailure::kChecksum, shell);
    }
    std::string path = request.folder + "/" + name;
    if (DownloadFailure failure = Fetch(request, path, progress);
        failure != DownloadFailure::kNone) {
        return Fail(request, failure, shell);
    }
    if (!WaitForBatchEnd(request, progress)) {
        std::remove(path.c_str()); // turned down: nothing to keep it for
        return Fail(request, DownloadFailure::kCancelled, shell);
    }
    if (shell.Open(path)) {
        shell.ExitProcess();
        return DownloadOutcome::kExited;
    }
    LOG(ERROR) << "升级失败";
    return DownloadOutcome::kStartFailed;
}

} // namespace velquist
