#pragma once

#include "account/account_forms.h"
#include "request_thread.h"
#include "ui/control.h"
#include "ui/notify.h"
#include "ui/window_impl_base.h"

#include <QString>

namespace velquist {

// The control names of one code form, in the order the dialog looks them up.
struct CodeFormNames {
    const char* phone;
    const char* codeButton;
    const char* password;
    const char* confirm;
    const char* code;
    const char* errorTips;
    const char* submit;
};

// A form that asks the service for an SMS code and then submits phone, password and code:
// registration and password reset differ only in names, endpoints and replies.
// Shown with ShowModalBox, which owns it. Requests run off the GUI
// thread; closing the form meanwhile abandons their answers.
class CodeFormDialog : public ui::WindowImplBase {
  public:
    ~CodeFormDialog() override;
    void InitWindow() override;
    void Notify(ui::TNotifyUI& msg) override;
    ui::LRESULT HandleCustomMessage(ui::UINT uMsg, ui::WPARAM wParam, ui::LPARAM lParam,
                                    bool& bHandled) override;

    // The countdown's timer period; tests shorten it.
    void SetTickInterval(int ms) { tickMs_ = ms; }
    const VerifyCodeCountdown& Countdown() const { return countdown_; }

  protected:
    CodeFormDialog(ui::WindowImplBase* mainWindow, CodeForm form, const CodeFormNames& names,
                   const char* className);

  private:
    static QString Text(ui::CControlUI* control);
    void ShowError(const std::wstring& text);
    void ShowPrompt(const std::wstring& text);
    void OnCodeButtonClick();
    void OnCodeAnswer(const std::wstring& prompt);
    void SetCodeButtonSending(bool sending);
    void OnSubmitClick();
    void OnSubmitAnswer(const CodeFormReply& reply);
    void SetSubmitBusy(bool busy);
    void OnTick();

    VerifyCodeCountdown countdown_;
    ui::WindowImplBase* mainWindow_ = nullptr;
    CodeForm form_;
    CodeFormNames names_;
    const char* className_;
    int tickMs_ = VerifyCodeCountdown::kPeriodMs;
    DialogAlive alive_ = MakeDialogAlive();
    bool submitting_ = false;
    QString idleSubmitText_;
    QString idleCodeText_;
    ui::CEditUI* phone_ = nullptr;
    ui::CButtonUI* codeButton_ = nullptr;
    ui::CEditUI* password_ = nullptr;
    ui::CEditUI* confirm_ = nullptr;
    ui::CEditUI* code_ = nullptr;
    ui::CLabelUI* errorTips_ = nullptr;
    ui::CButtonUI* submit_ = nullptr;
};

class RegisterDialog : public CodeFormDialog {
  public:
    explicit RegisterDialog(ui::WindowImplBase* mainWindow);
    QString GetWindowClassName() const override;
    QString GetSkinFile() override;
};

// After a successful reset it opens a new login dialog, then closes.
class ForgotDialog : public CodeFormDialog {
  public:
    explicit ForgotDialog(ui::WindowImplBase* mainWindow);
    QString GetWindowClassName() const override;
    QString GetSkinFile() override;
};

} // namespace velquist
