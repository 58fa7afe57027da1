#pragma once

#include "ui/window_impl_base.h"

#include <QString>

namespace velquist {

// The main window's account links: "username" with the account in place of "login",
// "separator" and "register". GUI thread only; a null window is left alone.
void ShowLoggedInState(ui::WindowImplBase* mainWindow, const QString& shownName);
void ShowLoggedOutState(ui::WindowImplBase* mainWindow);

} // namespace velquist
