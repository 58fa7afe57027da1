#include "account_look.h"

#include "ui/control.h"

namespace velquist {
namespace {

void SetShown(ui::WindowImplBase* window, const char* name, bool shown) {
    if (ui::CControlUI* control = window->FindControl(QLatin1String(name))) {
        control->SetVisible(shown);
    }
}

} // namespace

void ShowLoggedInState(ui::WindowImplBase* mainWindow, const QString& shownName) {
    if (mainWindow == nullptr) {
        return;
    }
    if (ui::CControlUI* username = mainWindow->FindControl(QStringLiteral("username"))) {
        username->SetText(shownName);
        username->SetVisible(true);
    }
    SetShown(mainWindow, "login", false);
    SetShown(mainWindow, "separator", false);
    SetShown(mainWindow, "register", false);
}

void ShowLoggedOutState(ui::WindowImplBase* mainWindow) {
    if (mainWindow == nullptr) {
        return;
    }
    SetShown(mainWindow, "login", true);
    SetShown(mainWindow, "username", false);
    SetShown(mainWindow, "separator", true);
    SetShown(mainWindow, "register", true);
}

} // namespace velquist
