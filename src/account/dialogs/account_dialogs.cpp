#include "account_dialogs.h"

#include "account/auto_login.h"
#include "code_form_dialog.h"
#include "dialogs/dialog_base.h"
#include "login_dialog.h"
#include "person_center_dialog.h"
#include "ui/control.h"
#include "ui/gui_thread.h"
#include "ui/messages.h"
#include "ui/window_keeper.h"

#include <QCoreApplication>
#include <QWidget>
#include <thread>

namespace velquist {

void StartAutoLoginThread(ui::WindowImplBase* mainWindow) {
    if (mainWindow == nullptr) {
        return;
    }
    // The handle, not the object: the window may be gone when the login ends.
    std::thread(AutoLoginThread, mainWindow->GetHWND()).detach();
}

void AutoLoginThread(ui::HWND mainWindow) {
    const AutoLoginResult result = AutoLogin();
    if (!result.logged_in || QCoreApplication::instance() == nullptr) {
        return;
    }
    const QString shownName = QString::fromStdWString(result.shown_name);
    ui::RunOnGuiThread([mainWindow, &shownName] {
        ShowLoggedInState(ui::WindowFromHandle(mainWindow), shownName);
    });
}

void OpenLoginDialog(ui::WindowImplBase* mainWindow) {
    ShowModalBox(std::make_unique<LoginDialog>(mainWindow),
                 mainWindow != nullptr ? mainWindow->GetHWND() : ui::kNoWindow);
}

void OpenRegisterDialog(ui::WindowImplBase* mainWindow) {
    ShowModalBox(std::make_unique<RegisterDialog>(mainWindow),
                 mainWindow != nullptr ? mainWindow->GetHWND() : ui::kNoWindow);
}

QPoint PersonCenterPosition(ui::WindowImplBase* mainWindow) {
    QWidget* window = mainWindow->GetWidget();
    ui::CControlUI* username = mainWindow->FindControl(QStringLiteral("username"));
    if (window == nullptr || username == nullptr) {
        return {};
    }
    // Measured from the client area, so a system title bar does not lift the panel over
    // the control it belongs to.
    const QPoint client = window->mapToGlobal(QPoint(0, 0));
    const QRect label = username->GetPos();
    return {client.x() + label.left() - label.width() / 2,
            client.y() + label.top() + label.height() + 6};
}

void OpenPersonCenter(ui::WindowImplBase* mainWindow) {
    if (mainWindow == nullptr) {
        return;
    }
    const QPoint at = PersonCenterPosition(mainWindow);
    auto panel = std::make_unique<PersonCenterDialog>(mainWindow);
    if (panel->Create(mainWindow->GetHWND(), QString(), kDialogStyle, kDialogExStyle, at.x(),
                      at.y()) == ui::kNoWindow) {
        return;
    }
    panel->ShowWindow(true, true);
    ui::KeepUntilGone(std::move(panel));
}

void Logout(ui::WindowImplBase* mainWindow) {
    LogoutAccount();
    ShowLoggedOutState(mainWindow);
}

} // namespace velquist
