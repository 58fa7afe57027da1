#include "login_dialog.h"

#include "account/account_forms.h"
#include "account_look.h"
#include "code_form_dialog.h"
#include "dialogs/dialog_base.h"
#include "dialogs/prompt_box_dialog.h"
#include "platform/app_translations.h"
#include "ui/control.h"
#include "ui/messages.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace velquist {
namespace {

QString BusyText() {
    return QCoreApplication::translate("Velquist", "登录中...");
}

// The header shows the login while the credential file is still being saved: that save
// may wait on the keyring's own password dialog for as long as the user leaves it open.
void ShowLoginBeforeSave(ui::HWND mainHandle, const QString& phone) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return;
    }
    QMetaObject::invokeMethod(
        app, [mainHandle, phone] { ShowLoggedInState(ui::WindowFromHandle(mainHandle), phone); },
        Qt::QueuedConnection);
}

} // namespace

LoginDialog::~LoginDialog() {
    alive_->store(false);
}

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
        } else if (busy_) {
            // The answer on its way would close this dialog under the other one.
        } else if (name.compare(QLatin1String("register"), Qt::CaseInsensitive) == 0) {
            HandOver(std::make_unique<RegisterDialog>(mainWindow_));
        } else if (name.compare(QLatin1String("forgotPwd"), Qt::CaseInsensitive) == 0) {
            HandOver(std::make_unique<ForgotDialog>(mainWindow_));
        }
    }
    WindowImplBase::Notify(msg);
}

QString LoginDialog::ControlText(const char* name) {
    ui::CControlUI* control = FindControl(QLatin1String(name));
    return control != nullptr ? control->GetText() : QString();
}

void LoginDialog::SetBusy(bool busy) {
    if (busy == busy_) {
        return;
    }
    busy_ = busy;
    ui::CControlUI* button = FindControl(QStringLiteral("loginBtn"));
    if (button == nullptr) {
        return;
    }
    if (busy) {
        idleButtonText_ = button->GetText();
    }
    button->SetText(busy ? BusyText() : idleButtonText_);
    button->SetEnabled(!busy);
}

void LoginDialog::OnLoginClick() {
    if (busy_) {
        return;
    }
    const QString phone = ControlText("account");
    const std::wstring widePhone = phone.toStdWString();
    const std::wstring password = ControlText("password").toStdWString();
    if (std::wstring problem = CheckLoginInput(widePhone, password); !problem.empty()) {
        OnLoginAnswer(ManualLoginResult{ManualLoginResult::Step::kError, problem}, phone);
        return;
    }
    SetBusy(true);
    const ui::HWND mainHandle = mainWindow_ != nullptr ? mainWindow_->GetHWND() : ui::kNoWindow;
    RunOffGuiThread<ManualLoginResult>(
        [alive = alive_, widePhone, password, mainHandle, phone] {
            return ManualLogin(
                widePhone, password, [alive] { return alive->load(); },
                [mainHandle, phone] { ShowLoginBeforeSave(mainHandle, phone); });
        },
        [this, alive = alive_, mainHandle, phone](const ManualLoginResult& result) {
            if (alive->load()) {
                OnLoginAnswer(result, phone);
            } else if (result.LoggedIn()) {
                // Closed while the login went through: the session holds, so the main
                // window still shows it.
                ShowLoggedInState(ui::WindowFromHandle(mainHandle), phone);
            }
        });
}

void LoginDialog::OnLoginAnswer(const ManualLoginResult& result, const QString& phone) {
    SetBusy(false);
    switch (result.step) {
    case ManualLoginResult::Step::kError:
        if (ui::CControlUI* tips = FindControl(QStringLiteral("errorTips"))) {
            tips->SetText(ShownText(result.error));
        }
        return;
    case ManualLoginResult::Step::kSaveFailed: {
        ShowLoggedInState(mainWindow_, phone);
        const DialogAlive alive = alive_;
        ShowModalBox(std::make_unique<PromptBoxDialog>(mainWindow_, ShownText(result.error)),
                     GetHWND());
        if (alive->load()) {
            Close(1);
        }
        return;
    }
    case ManualLoginResult::Step::kLoggedIn:
        ShowLoggedInState(mainWindow_, phone);
        Close(1);
        return;
    case ManualLoginResult::Step::kAbandoned:
        return;
    }
}

void LoginDialog::HandOver(std::unique_ptr<ui::WindowImplBase> next) {
    const DialogAlive alive = alive_;
    ShowWindow(false, true);
    ShowModalBox(std::move(next), GetHWND());
    if (alive->load()) {
        Close(1);
    }
}

} // namespace velquist
