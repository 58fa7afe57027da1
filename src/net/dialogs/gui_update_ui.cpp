#include "net/dialogs/gui_update_ui.h"

#include "dialogs/dialog_base.h"
#include "dialogs/message_box_dialog.h"
#include "dialogs/prompt_box_dialog.h"
#include "net/dialogs/desktop_shell.h"
#include "net/dialogs/download_dialog.h"
#include "net/installer_file.h"
#include "net/version.h"
#include "platform/app_translations.h"
#include "ui/gui_thread.h"
#include "ui/messages.h"

#include <QEventLoop>
#include <QString>
#include <QTimer>
#include <chrono>
#include <thread>
#include <exception>
#include <iostream>
#include <utility>

namespace velquist {
namespace {

// GUI thread only.
ui::WindowImplBase* LiveWindow(ui::HWND handle) {
    return handle == ui::kNoWindow ? nullptr : ui::WindowFromHandle(handle);
}

ui::HWND HandleOf(ui::WindowImplBase* window) {
    return window != nullptr ? window->GetHWND() : ui::kNoWindow;
}

// A pause between two looks at the batch; the GUI thread keeps serving its window.
void WaitForBatchTick() {
    constexpr int kTickMs = 250;
    if (!ui::IsGuiThread()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kTickMs));
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(kTickMs, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

bool GuiUpdateUi::Prompt(const std::wstring& text, bool owned) {
    return ui::RunOnGuiThread([this, &text, owned] {
        ui::WindowImplBase* owner = owned ? LiveWindow(mainWindow_) : nullptr;
        return ShowModalBox(std::make_unique<PromptBoxDialog>(owner, ShownText(text)),
                            HandleOf(owner)) == 1;
    });
}

bool GuiUpdateUi::AskUpgrade(const std::wstring& text) {
    return ui::RunOnGuiThread([this, &text] {
        ui::WindowImplBase* owner = LiveWindow(mainWindow_);
        return ShowModalBox(std::make_unique<MessageBoxDialog>(owner, ShownText(text)),
                            HandleOf(owner)) == 1;
    });
}

void GuiUpdateUi::ShowDownload(const std::string& url, int force, const InstallerCheck& check) {
    ui::RunOnGuiThread([this, &url, force, &check] {
        ui::WindowImplBase* owner = LiveWindow(mainWindow_);
        auto dialog = std::make_unique<DownloadDialog>(owner, url, force, check);
        dialog->WaitForBatch(BusyFromAnyThread());
        ShowModalBox(std::move(dialog), HandleOf(owner));
    });
}

bool GuiUpdateUi::BatchRunning() {
    return BusyFromAnyThread()();
}

void GuiUpdateUi::QuitWithoutForcedUpdate() {
    // Declined, the program may not go on; a running batch still ends first.
    const std::function<bool()> busy = BusyFromAnyThread();
    while (busy()) {
        WaitForBatchTick();
    }
    DownloadShell().ExitProcess();
}

std::function<bool()> GuiUpdateUi::BusyFromAnyThread() const {
    return [handle = mainWindow_, busy = busy_] {
        if (!busy) {
            return false;
        }
        return ui::RunOnGuiThread(
            [handle, &busy] { return LiveWindow(handle) != nullptr && busy(); });
    };
}

void UpdateCheckThread(ui::HWND mainWindow, BatchBusyQuery busy) {
    // An exception leaving a thread ends the whole program; whatever the check met, the
    // window goes on without it.
    try {
        // Before the check, so a download it starts is never taken for an old one.
        RemoveStaleInstallers(InstallerTempDir(), LocalVersion);
        GuiUpdateUi ui(mainWindow, std::move(busy));
        CheckForUpdate(ui, false);
    } catch (const std::exception& error) {
        std::cerr << "update check failed: " << error.what() << std::endl;
    }
}

} // namespace velquist
