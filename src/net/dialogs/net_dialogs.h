#pragma once

#include "net/dialogs/feedback_dialog.h"
#include "ui/window_impl_base.h"

namespace velquist {

// Entry points for the main window. All are called on the GUI thread.

// The start-up check on a thread of its own; silent unless a newer version exists.
void StartUpdateCheckThread(ui::WindowImplBase* mainWindow);

// The menu's check, run on the GUI thread; says so when there is nothing new.
// 0, or -1 when the request failed (the result of the upgrade command message).
int CheckForUpdateFromMenu(ui::WindowImplBase* mainWindow);

// The feedback form, modal over the main window; loggedIn tells it whether it may send.
void ShowFeedbackDialog(ui::WindowImplBase* mainWindow, LoggedInQuery loggedIn);

} // namespace velquist
