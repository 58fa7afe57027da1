#pragma once

#include "net/dialogs/feedback_dialog.h"
#include "net/dialogs/gui_update_ui.h"
#include "ui/window_impl_base.h"

namespace velquist {

// Entry points for the main window. All are called on the GUI thread.

// The start-up check on a thread of its own; silent unless a newer version exists. busy
// tells whether a batch runs, which an accepted installer waits for.
void StartUpdateCheckThread(ui::WindowImplBase* mainWindow, BatchBusyQuery busy = {});

// The menu's check, run on the GUI thread; always answers, also when there is nothing new
// or the service could not be asked. 0, or -1 when the request failed (the result of the
// upgrade command message).
int CheckForUpdateFromMenu(ui::WindowImplBase* mainWindow, BatchBusyQuery busy = {});

// The feedback form, modal over the main window; loggedIn tells it whether it may send,
// login opens the login dialog when it may not.
void ShowFeedbackDialog(ui::WindowImplBase* mainWindow, LoggedInQuery loggedIn,
                        LoginAction login = {});

} // namespace velquist
