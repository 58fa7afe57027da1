#pragma once

#include "account/account_forms.h"
#include "request_thread.h"
#include "ui/notify.h"
#include "ui/window_impl_base.h"

#include <QString>

namespace velquist {

// Sign-in with phone number and password; the way to registration and password reset.
// Shown with ShowModalBox, which owns it.
// The exchange runs off the GUI thread: the button shows the wait, the window keeps
// painting and may be closed, which abandons the answer.
class LoginDialog : public ui::WindowImplBase {
  public:
    explicit LoginDialog(ui::WindowImplBase* mainWindow) : mainWindow_(mainWindow) {}
    ~LoginDialog() override;

    QString GetWindowClassName() const override;
    QString GetSkinFile() override;
    void Notify(ui::TNotifyUI& msg) override;

  private:
    QString ControlText(const char* name);
    void OnLoginClick();
    void OnLoginAnswer(const ManualLoginResult& result, const QString& phone);
    void SetBusy(bool busy);
    // Hides this dialog while the other one runs, then closes it.
    void HandOver(std::unique_ptr<ui::WindowImplBase> next);

    ui::WindowImplBase* mainWindow_ = nullptr;
    DialogAlive alive_ = MakeDialogAlive();
    bool busy_ = false;
    QString idleButtonText_;
};

} // namespace velquist
