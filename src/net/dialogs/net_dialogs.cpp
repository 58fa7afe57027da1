#include "net/dialogs/net_dialogs.h"

#include "dialogs/dialog_base.h"
#include "net/dialogs/feedback_dialog.h"
#include "net/dialogs/gui_update_ui.h"
#include "net/update_check.h"

#include <thread>
#include <utility>

namespace velquist {
namespace {

ui::HWND HandleOf(ui::WindowImplBase* window) {
    return window != nullptr ? window->GetHWND() : ui::kNoWindow;
}

} // namespace

void StartUpdateCheckThread(ui::WindowImplBase* mainWindow) {
    std::thread(UpdateCheckThread, HandleOf(mainWindow)).detach();
}

int CheckForUpdateFromMenu(ui::WindowImplBase* mainWindow) {
    GuiUpdateUi ui(HandleOf(mainWindow));
    return CheckForUpdate(ui, true);
}

void ShowFeedbackDialog(ui::WindowImplBase* mainWindow, LoggedInQuery loggedIn) {
    ShowModalBox(new FeedbackDialog(mainWindow, std::move(loggedIn)), HandleOf(mainWindow));
}

} // namespace velquist
