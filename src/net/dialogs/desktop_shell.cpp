#include "net/dialogs/desktop_shell.h"

#include "dialogs/dialog_base.h"
#include "dialogs/prompt_box_dialog.h"
#include "platform/app_translations.h"
#include "platform/shell_open.h"
#include "ui/gui_thread.h"

#include <QString>
#include <atomic>

namespace velquist {
namespace {

std::atomic<Shell*> g_shell{nullptr};

} // namespace

bool DesktopShell::Open(const std::string& path) {
    // The desktop services belong to the GUI thread; the download runs beside it.
    return ui::RunOnGuiThread([&path] { return ShellOpen(QString::fromStdString(path)); });
}

void DesktopShell::ExitProcess() {
    ExitProcessNow();
}

void DesktopShell::FailForcedUpgrade(const std::wstring& text) {
    // Without an owner: the download dialog is about to vanish with the process, and the
    // prompt must stay until the user has read why.
    ui::RunOnGuiThread([&text] {
        ShowModalBox(std::make_unique<PromptBoxDialog>(nullptr, ShownText(text)), ui::kNoWindow);
    });
    ExitProcessNow(kForcedUpgradeFailedExitCode);
}

void SetDownloadShell(Shell* shell) {
    g_shell = shell;
}

Shell& DownloadShell() {
    static DesktopShell desktop;
    Shell* shell = g_shell.load();
    return shell != nullptr ? *shell : desktop;
}

} // namespace velquist
