#include "login_dialog.h"

#include "account/account_forms.h"
#include "account_look.h"
#include "code_form_dialog.h"
#include "dialogs/dialog_base.h"
#include "ui/control.h"

namespace velquist {

QString LoginDialog::GetWindowClassName() const {
    return QStringLiteral("登陆");
}

QString LoginDialog::GetSkinFile() {
    return Guarded("LoginDialog::GetSkinFile", [] { return QStringLiteral("Login.xml"); });
}

void LoginDialog::Notify(ui::TNotifyUI& msg) {
    if (msg.sType == QLatin1String(ui::kNotifyClick) && msg.pSender != nullptr) {
        const QString name = msg.pSender->GetName();
        if (name.compare(QLatin1String("loginBtn"), Qt::CaseInsensitive) == 0) {
            OnLoginClick();
        } else if (name.compare(QLatin1String("register"), Qt::CaseInsensitive) == 0) {
            HandOver(new RegisterDialog(mainWindow_));
        } else if (name.compare(QLatin1String("forgotPwd"), Qt::CaseInsensitive) == 0) {
            HandOver(new ForgotDialog(mainWindow_));
        }
    }
    WindowImplBase::Notify(msg);
}

void LoginDialog::OnFinalMessage(ui::HWND hWnd) {
    Guarded("LoginDialog::OnFinalMessage", [this, hWnd] {
        WindowImplBase::OnFinalMessage(hWnd);
        delete this;
    });
}

QString LoginDialog::ControlText(const char* name) {
    ui::CControlUI* control = FindControl(QLatin1String(name));
    return control != nullptr ? control->GetText() : QString();
}

void LoginDialog::OnLoginClick() {
    const QString phone = ControlText("account");
    const QString password = ControlText("password");
    // The request blocks this thread; the dialog is frozen until it ends.
    ManualLoginResult result = ManualLogin(phone.toStdWString(), password.toStdWString());
    switch (result.step) {
    case ManualLoginResult::Step::kError:
        if (ui::CControlUI* tips = FindControl(QStringLiteral("errorTips"))) {
            tips->SetText(QString::fromStdWString(result.error));
        }
        return;
    case ManualLoginResult::Step::kSaveFailed:
        return;
    case ManualLoginResult::Step::kLoggedIn:
        ShowLoggedInState(mainWindow_, phone);
        Close(1);
        return;
    }
}

void LoginDialog::HandOver(ui::WindowImplBase* next) {
    ShowWindow(false, true);
    ShowModalBox(next, GetHWND());
    Close(1);
}

} // namespace velquist
