#pragma once

// What the main window calls for the account: its links "login", "register" and
// "username", and the automatic login at start-up. All functions but AutoLoginThread run
// on the GUI thread.

#include "account_look.h"
#include "ui/ui_defs.h"
#include "ui/window_impl_base.h"

#include <QPoint>

namespace velquist {

// Starts the automatic login from the stored credentials on a detached thread.
void StartAutoLoginThread(ui::WindowImplBase* mainWindow);

// The thread's body: logs in from the credential file on the calling thread and, when the
// service accepts, brings the window behind the handle into the logged-in look on the GUI
// thread (nothing happens to a window that is gone by then).
void AutoLoginThread(ui::HWND mainWindow);

// Modal, owned by the main window, centred.
void OpenLoginDialog(ui::WindowImplBase* mainWindow);
void OpenRegisterDialog(ui::WindowImplBase* mainWindow);

// The account centre, without a modal loop, just below the "username" control.
void OpenPersonCenter(ui::WindowImplBase* mainWindow);

// Screen position of the account centre: half the control's width to the left of it and
// six pixels below it.
QPoint PersonCenterPosition(ui::WindowImplBase* mainWindow);

// Ends the login: credential file deleted, phone number forgotten, logged-out look.
void Logout(ui::WindowImplBase* mainWindow);

} // namespace velquist
