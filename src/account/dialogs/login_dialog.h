#pragma once

#include "ui/notify.h"
#include "ui/window_impl_base.h"

#include <QString>

namespace velquist {

// Sign-in with phone number and password; the way to registration and password reset.
// Create with new and show with ShowModalBox; it deletes itself.
class LoginDialog : public ui::WindowImplBase {
  public:
    explicit LoginDialog(ui::WindowImplBase* mainWindow) : mainWindow_(mainWindow) {}

    QString GetWindowClassName() const override;
    QString GetSkinFile() override;
    void Notify(ui::TNotifyUI& msg) override;
    void OnFinalMessage(ui::HWND hWnd) override;

  private:
    QString ControlText(const char* name);
    void OnLoginClick();
    // Hides this dialog while the other one runs, then closes it.
    void HandOver(ui::WindowImplBase* next);

    ui::WindowImplBase* mainWindow_ = nullptr;
};

} // namespace velquist
