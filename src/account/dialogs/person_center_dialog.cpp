#include "person_center_dialog.h"

#include "account/auto_login.h"
#include "account/user_info.h"
#include "account_look.h"
#include "dialogs/dialog_base.h"
#include "util/text.h"

namespace velquist {

QString PersonCenterDialog::GetWindowClassName() const {
    return QStringLiteral("个人中心");
}

QString PersonCenterDialog::GetSkinFile() {
    return Guarded("PersonCenterDialog::GetSkinFile",
                   [] { return QStringLiteral("PersonCenter.xml"); });
}

void PersonCenterDialog::InitWindow() {
    Guarded("PersonCenterDialog::Init", [this] {
        account_ = FindControl(QStringLiteral("account"));
        logout_ = FindControl(QStringLiteral("logout"));
        if (account_ != nullptr) {
            const std::string phone = UserInfo::Instance()->mobilephone();
            account_->SetText(QString::fromStdWString(AnsiToWide(phone)));
        }
    });
}

void PersonCenterDialog::Notify(ui::TNotifyUI& msg) {
    if (msg.sType == QLatin1String(ui::kNotifyClick) && msg.pSender != nullptr &&
        msg.pSender == logout_) {
        OnLogoutClick();
    }
    WindowImplBase::Notify(msg);
}

ui::LRESULT PersonCenterDialog::OnCreate(ui::UINT uMsg, ui::WPARAM wParam, ui::LPARAM lParam,
                                         bool& bHandled) {
    const ui::LRESULT result = WindowImplBase::OnCreate(uMsg, wParam, lParam, bHandled);
    if (result == -1) {
        return result;
    }
    // The panel draws its own frame, like the boxes: no title bar whatever the style.
    AttachBoxFrame(*this, shadow_);
    return 0;
}

ui::LRESULT PersonCenterDialog::OnNcActivate(ui::UINT uMsg, ui::WPARAM wParam, ui::LPARAM, bool&) {
    if (uMsg == ui::WM_NCACTIVATE && wParam != 1) {
        Close(1);
    }
    return 0;
}

void PersonCenterDialog::OnLogoutClick() {
    LogoutAccount();
    ShowWindow(false, true);
    ShowLoggedOutState(mainWindow_);
    Close(1);
}

} // namespace velquist
