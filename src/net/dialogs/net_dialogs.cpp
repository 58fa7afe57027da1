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

void StartUpdateCheckThread(ui::WindowImplBase* mainWindow, BatchBusyQuery busy) {
    std::thread(UpdateCheckThread, HandleOf(mainWindow), std::move(busy)).detach();
}

int CheckForUpdateFromMenu(ui::WindowImplBase* mainWindow, BatchBusyQuery busy) {
    GuiUpdateUi ui(HandleOf(mainWindow), std::move(busy));
    return CheckForUpdate(ui, true);
}

void ShowFeedbackDialog(ui::WindowImplBase* mainWindow, LoggedInQuery loggedIn,
                        LoginAction login) {
    ShowModalBox(
        std::make_unique<FeedbackDialog>(mainWindow, std::move(loggedIn), std::move(login)),
        HandleOf(mainWindow));
}

} // namespace velquist
