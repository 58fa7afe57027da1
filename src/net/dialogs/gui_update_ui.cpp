#include "net/dialogs/gui_update_ui.h"

#include "dialogs/dialog_base.h"
#include "dialogs/message_box_dialog.h"
#include "dialogs/prompt_box_dialog.h"
#include "net/dialogs/download_dialog.h"
#include "ui/gui_thread.h"
#include "ui/messages.h"

#include <QString>
#include <exception>
#include <iostream>

namespace velquist {
namespace {

// GUI thread only.
ui::WindowImplBase* LiveWindow(ui::HWND handle) {
    return handle == ui::kNoWindow ? nullptr : ui::WindowFromHandle(handle);
}

ui::HWND HandleOf(ui::WindowImplBase* window) {
    return window != nullptr ? window->GetHWND() : ui::kNoWindow;
}

} // namespace

void GuiUpdateUi::Prompt(const std::wstring& text, bool owned) {
    ui::RunOnGuiThread([this, &text, owned] {
        ui::WindowImplBase* owner = owned ? LiveWindow(mainWindow_) : nullptr;
        ShowModalBox(new PromptBoxDialog(owner, QString::fromStdWString(text)), HandleOf(owner));
    });
}

bool GuiUpdateUi::AskUpgrade(const std::wstring& text) {
    return ui::RunOnGuiThread([this, &text] {
        ui::WindowImplBase* owner = LiveWindow(mainWindow_);
        return ShowModalBox(new MessageBoxDialog(owner, QString::fromStdWString(text)),
                            HandleOf(owner)) == 1;
    });
}

void GuiUpdateUi::ShowDownload(const std::string& url, int force, const InstallerCheck& check) {
    ui::RunOnGuiThread([this, &url, force, &check] {
        ui::WindowImplBase* owner = LiveWindow(mainWindow_);
        ShowModalBox(new DownloadDialog(owner, url, force, check), HandleOf(owner));
    });
}

void UpdateCheckThread(ui::HWND mainWindow) {
    // An exception leaving a thread ends the whole program; whatever the check met, the
    // window goes on without it.
    try {
        GuiUpdateUi ui(mainWindow);
        CheckForUpdate(ui, false);
    } catch (const std::exception& error) {
        std::cerr << "update check failed: " << error.what() << std::endl;
    }
}

} // namespace velquist
