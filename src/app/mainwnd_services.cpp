// The main window's links to the web service, the account and the tray.
#include "account/dialogs/account_dialogs.h"
#include "account/user_info.h"
#include "main_task_menu.h"
#include "mainwnd.h"
#include "menu_placement.h"
#include "net/dialogs/net_dialogs.h"
#include "net/service_url.h"
#include "platform/shell_open.h"
#include "ui/window_keeper.h"
#include "window_messages.h"

#include <QCursor>
#include <QWidget>

namespace velquist {

void CMainWnd::OnLogin(ui::TNotifyUI& /*msg*/) {
    OpenLoginDialog(this);
}

void CMainWnd::OnRegister(ui::TNotifyUI& /*msg*/) {
    OpenRegisterDialog(this);
}

void CMainWnd::OnUsername(ui::TNotifyUI& /*msg*/) {
    OpenPersonCenter(this);
}

void CMainWnd::OnFeedback(ui::TNotifyUI& /*msg*/) {
    ShowFeedbackDialog();
}

void CMainWnd::ShowFeedbackDialog() {
    ::velquist::ShowFeedbackDialog(
        this, [] { return UserInfo::Instance()->LoggedIn(); }, [this] { OpenLoginDialog(this); });
}

int CMainWnd::CheckForUpdate() {
    return CheckForUpdateFromMenu(this, [this] { return engine_ && engine_->IsBusy(); });
}

void CMainWnd::OnHelp(ui::TNotifyUI& /*msg*/) {
    OpenHelpPage();
}

void CMainWnd::OpenHelpPage() {
    ShellOpen(QString::fromStdString(HelpPageUrl()));
}

void CMainWnd::ShowMainWindow() {
    ShowWindow(true, true);
}

void CMainWnd::OnTrayNotify(ui::LPARAM mouseMessage) {
    if (mouseMessage == kTrayLeftButtonDown) {
        ShowWindow(true, true);
        return;
    }
    if (mouseMessage != kTrayRightButtonDown) {
        return;
    }
    QPoint cursor = QCursor::pos();
    if (QWidget* host = GetWidget()) {
        if (!WindowPositionsKnown()) {
            // No pointer position to open at: the menu opens over the window,
            // which a pop-up needs shown as its anchor.
            ShowWindow(true, true);
            cursor = host->mapToGlobal(host->rect().center());
        }
        host->activateWindow();
    }
    auto menu = std::make_unique<CMainTaskMenu>(QStringLiteral("MainTaskMenu.xml"));
    if (menu->Popup(this, cursor.x(), cursor.y())) {
        ui::KeepUntilGone(std::move(menu));
    }
}

} // namespace velquist
