#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace velquist {

// Where the download dialog shows its progress. Called on the download thread; the GUI
// posts the value to the dialog instead of touching widgets here.
class DownloadProgress {
  public:
    virtual ~DownloadProgress() = default;
    // A whole percentage, only when it differs from the one shown before.
    virtual void ShowPercent(int percent) = 0;
    // The installer is ready but waits for the running batch to end.
    virtual void ShowWaitingForBatch() {}
};

// The desktop shell and the process, replaceable in tests.
class Shell {
  public:
    virtual ~Shell() = default;
    // Opens the file with its default handler; false when that is refused.
    virtual bool Open(const std::string& path) = 0;
    // Ends the process at once with code 0. Does not return outside tests.
    virtual void ExitProcess() = 0;
    // A forced upgrade failed: shows text in a one-button prompt, then ends the process
    // with a non-zero code. Does not return outside tests.
    virtual void FailForcedUpgrade(const std::wstring& text) = 0;
};

// Flushes standard output and ends the process with the code without running
// destructors (other threads are still using them).
[[noreturn]] void ExitProcessNow(int code = 0);

// The per-user folder the installer is saved in ("Plivern/Temp"), created if missing.
std::string InstallerTempDir();

// Label text of the progress, "%d%%".
std::string FormatPercent(int percent);

// The file name for a download URL: its last path segment, without query or fragment.
// Empty when there is none or it is "." or "..", so nothing is written outside the folder.
std::string DownloadFileName(const std::string& url);
// The name the installer is saved under: DownloadFileName, ending in ".deb" so that the
// desktop hands it to its package installer whatever the address was called.
std::string InstallerFileName(const std::string& url);

// What the manifest says about the installer beyond its address. sha256 and size are
// optional; without a signature no installer is opened.
struct InstallerCheck {
    std::string sha256;     // lower-case hex; empty: not published
    std::uint64_t size = 0; // bytes; 0: not published
    std::string signature;  // the maker's 64-byte Ed25519 signature; empty: not published
};

struct DownloadRequest {
    std::string url;
    int force = 0;
    std::string folder; // the installer's temp folder, existing
    const std::atomic<bool>* cancel = nullptr;
    InstallerCheck check;
    // Whether a conversion batch runs; the installer, which ends the program, is started
    // only once it has ended. Empty: nothing to wait for.
    std::function<bool()> batch_running;
};

// Why a download did not give a verified installer.
enum class DownloadFailure {
    kNone,
    kCancelled,
    kBadAddress,   // no file name, or a scheme other than http/https
    kNetwork,      // connection, TLS or an error status
    kIncomplete,   // fewer bytes than announced
    kSizeMismatch, // more bytes than announced
    kTooLarge,     // beyond the manifest's size or the default limit
    kChecksum,     // the SHA-256 differs, no maker's signature verifies, or no Debian package
    kCannotSave,   // the folder or the disk refused the file
};

// The short phrase for the prompt ("网络错误", "文件不完整", ...); empty for kNone.
std::wstring DownloadFailureReason(DownloadFailure failure);
// The prompt text of a failed forced upgrade: "升级失败," + reason + "!".
std::wstring ForcedUpgradeFailedText(DownloadFailure failure);

// Without a "size" in the manifest no installer may be larger than this.
inline constexpr std::uint64_t kDefaultInstallerLimit = std::uint64_t{1} << 30;

enum class DownloadOutcome {
    kExited,      // installer started, or a forced upgrade was stopped: process end asked
    kStartFailed, // complete file, but the shell refused it; logged
    kClosed,      // cancelled or failed optional upgrade: the dialog closes
};

class HttpDownload {
  public:
    // The whole transfer and what follows it. The dialog closes (result 1) for any outcome
    // the process survives.
    DownloadOutcome Download(const DownloadRequest& request, DownloadProgress& progress,
                             Shell& shell);

    // Why the last Download gave no installer; kNone after a verified one.
    DownloadFailure failure() const { return failure_; }

    // Time-outs in tests; 0 means none (a stalled read waits for a cancel). A transfer
    // slower than min_bytes_per_second for stall_ms fails.
    static void SetConnectTimeoutMs(long ms);
    static void SetStallTimeoutMs(long stall_ms, long min_bytes_per_second = kMinBytesPerSecond);
    static constexpr long kMinBytesPerSecond = 1024;
    // The limit without a manifest "size"; tests lower it. 0 restores the default.
    static void SetDefaultLimit(std::uint64_t bytes);
    // How often a finished download looks whether the batch has ended; tests shorten it.
    static void SetBatchPollMs(long ms);

    struct Transfer; // implementation detail of the read loop

  private:
    DownloadFailure Fetch(const DownloadRequest& request, const std::string& path,
                          DownloadProgress& progress);
    DownloadOutcome Fail(const DownloadRequest& request, DownloadFailure failure, Shell& shell);
    static bool WaitForBatchEnd(const DownloadRequest& request, DownloadProgress& progress);

    DownloadFailure failure_ = DownloadFailure::kNone;
};

} // namespace velquist
