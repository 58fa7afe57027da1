#pragma once

#include "net/update_check.h"
#include "ui/ui_defs.h"
#include "ui/window_impl_base.h"

#include <string>

namespace velquist {

// The update check's prompts and download dialog, shown modally on the GUI thread. From
// another thread each call waits until its dialog has closed, so the user sees the same
// order as when the check runs on the GUI thread.
class GuiUpdateUi : public UpdateUi {
  public:
    // The main window is kept by handle: a check that outlives it shows its dialogs
    // without an owner instead of touching a deleted window.
    explicit GuiUpdateUi(ui::HWND mainWindow) : mainWindow_(mainWindow) {}

    void Prompt(const std::wstring& text, bool owned) override;
    bool AskUpgrade(const std::wstring& text) override;
    void ShowDownload(const std::string& url, int force, const InstallerCheck& check) override;

  private:
    ui::HWND mainWindow_ = ui::kNoWindow;
};

// The start-up check: runs one check with the announcement of "nothing new" off.
void UpdateCheckThread(ui::HWND mainWindow);

} // namespace velquist
