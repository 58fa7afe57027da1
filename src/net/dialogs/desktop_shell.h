#pragma once

#include "net/httpdownload.h"

namespace velquist {

// Starts the installer through the desktop and ends the process; a failed forced
// upgrade is explained in a prompt first.
class DesktopShell : public Shell {
  public:
    bool Open(const std::string& path) override;
    void ExitProcess() override;
    void FailForcedUpgrade(const std::wstring& text) override;
};

// The exit code of a forced upgrade that failed.
inline constexpr int kForcedUpgradeFailedExitCode = 1;

// The shell the download uses. Tests put their own in place; nullptr restores the
// desktop's. The caller keeps ownership and resets it before freeing its shell.
void SetDownloadShell(Shell* shell);
Shell& DownloadShell();

} // namespace velquist
