// The main window's links to the web service, the account and the tray.
#include "main_task_menu.h"
#include "mainwnd.h"
#include "net/dialogs/net_dialogs.h"
#include "net/service_url.h"
#include "platform/shell_open.h"
#include "window_messages.h"

#include <QCursor>
#include <QWidget>

namespace velquist {

void CMainWnd::OnLogin(ui::TNotifyUI& /*msg*/) {}

void CMainWnd::OnRegister(ui::TNotifyUI& /*msg*/) {}

void CMainWnd::OnUsername(ui::TNotifyUI& /*msg*/) {}

void CMainWnd::OnFeedback(ui::TNotifyUI& /*msg*/) {
    ShowFeedbackDialog();
}

void CMainWnd::ShowFeedbackDialog() {
    ::velquist::ShowFeedbackDialog(this);
}

int CMainWnd::CheckForUpdate() {
    return CheckForUpdateFromMenu(this);
}

// Where the account centre opens: under the "username" label, shifted left by
// half the label's width.
QPoint CMainWnd::AccountCentrePosition() const {
    const QRect label = username_->GetPos();
    const QRect window = GetWindowRect();
    return {window.left() + label.left() - label.width() / 2,
            window.top() + label.bottom() + 1 + 6};
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
    const QPoint cursor = QCursor::pos();
    if (QWidget* host = GetWidget()) {
        host->activateWindow();
    }
    auto* menu = new CMainTaskMenu(QStringLiteral("MainTaskMenu.xml"));
    menu->Popup(this, cursor.x(), cursor.y());
}

} // namespace velquist
