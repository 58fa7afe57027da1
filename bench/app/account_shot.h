#pragma once

#include "ui/window_impl_base.h"

#include <QString>

namespace velquist::bench {

// The registration form after its code button asked for a number that is already
// registered: the service's refusal in a prompt over the form, the button free again.
// A loopback stand-in answers for the service meanwhile.
bool ShotCodeRefusal(ui::WindowImplBase* mainWindow, const QString& file);

// The login dialog with its line on why the keyring may ask for a password.
bool ShotLoginDialog(ui::WindowImplBase* mainWindow, const QString& file);

} // namespace velquist::bench
