#pragma once

#include <atomic>
#include <string>

namespace velquist {

// Where the download dialog shows its progress. Called on the download thread; the GUI
// posts the value to the dialog instead of touching widgets here.
class DownloadProgress {
  public:
    virtual ~DownloadProgress() = default;
    // A whole percentage, only when it differs from the one shown before.
    virtual void ShowPercent(int percent) = 0;
};

// The desktop shell and the process, replaceable in tests.
class Shell {
  public:
    virtual ~Shell() = default;
    // Opens the file with its default handler; false when that is refused.
    virtual bool Open(const std::string& path) = 0;
    // Ends the process at once with code 0. Does not return outside tests.
    virtual void ExitProcess() = 0;
};

// Flushes standard output and ends the process with code 0 without running destructors
// (other threads are still using them).
[[noreturn]] void ExitProcessNow();

// The per-user folder the installer is saved in ("Plivern/Temp"), created if missing.
std::string InstallerTempDir();

// Label text of the progress, "%d%%".
std::string FormatPercent(int percent);

// The file name for a download URL: its last path segment, without query or fragment.
// Empty when there is none or it is "." or "..", so nothing is written outside the folder.
std::string DownloadFileName(const std::string& url);

struct DownloadRequest {
    std::string url;
    int force = 0;
    std::string folder; // the installer's temp folder, existing
    const std::atomic<bool>* cancel = nullptr;
};

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

    // Time-outs in tests; 0 means none (a stalled read waits for a cancel).
    static void SetConnectTimeoutMs(long ms);
    static void SetStallTimeoutMs(long ms);

    struct Transfer; // implementation detail of the read loop

  private:
    bool Fetch(const DownloadRequest& request, const std::string& path, DownloadProgress& progress);
};

} // namespace velquist
