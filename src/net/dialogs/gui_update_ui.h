#pragma once

#include "net/update_check.h"
#include "ui/ui_defs.h"
#include "ui/window_impl_base.h"

#include <functional>
#include <string>
#include <utility>

namespace velquist {

// The update check's prompts and download dialog, shown modally on the GUI thread. From
// another thread each call waits until its dialog has closed, so the user sees the same
// order as when the check runs on the GUI thread.
// Whether the main window's batch runs; asked on the GUI thread, only while the window
// lives.
using BatchBusyQuery = std::function<bool()>;

class GuiUpdateUi : public UpdateUi {
  public:
    // The main window is kept by handle: a check that outlives it shows its dialogs
    // without an owner instead of touching a deleted window.
    explicit GuiUpdateUi(ui::HWND mainWindow, BatchBusyQuery busy = {})
        : mainWindow_(mainWindow), busy_(std::move(busy)) {}

    bool Prompt(const std::wstring& text, bool owned) override;
    bool AskUpgrade(const std::wstring& text) override;
    void ShowDownload(const std::string& url, int force, const InstallerCheck& check) override;
    bool BatchRunning() override;
    void QuitWithoutForcedUpdate() override;

  private:
    // Safe from any thread: hops to the GUI thread and asks only a living window.
    std::function<bool()> BusyFromAnyThread() const;

    ui::HWND mainWindow_ = ui::kNoWindow;
    BatchBusyQuery busy_;
};

// The start-up check: clears old installers, then runs one check that shows only an
// offer.
void UpdateCheckThread(ui::HWND mainWindow, BatchBusyQuery busy);

} // namespace velquist
