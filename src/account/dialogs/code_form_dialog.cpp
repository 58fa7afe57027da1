#include "code_form_dialog.h"

#include "dialogs/dialog_base.h"
#include "dialogs/prompt_box_dialog.h"
#include "login_dialog.h"
#include "platform/app_translations.h"

#include <QCoreApplication>
#include <string>

namespace velquist {
namespace {

constexpr CodeFormNames kRegisterNames{
    "registerMobilePhone", "registerVerifyCodeBtn", "registerPwd", "registerConfirmPwd",
    "registerVerifyCode",  "registerErrorTips",     "registerBtn",
};

constexpr CodeFormNames kForgotNames{
    "forgotMobilePhone", "forgotVerifyCodeBtn", "forgotPwd", "forgotConfirmPwd",
    "forgotVerifyCode",  "forgotErrorTips",     "forgotBtn",
};

QString BusyText() {
    return QCoreApplication::translate("Velquist", "提交中...");
}

std::string Label(const char* className, const char* operation) {
    return std::string(className) + "::" + operation;
}

} // namespace

CodeFormDialog::CodeFormDialog(ui::WindowImplBase* mainWindow, CodeForm form,
                               const CodeFormNames& names, const char* className)
    : mainWindow_(mainWindow), form_(form), names_(names), className_(className) {}

CodeFormDialog::~CodeFormDialog() {
    alive_->store(false);
}

void CodeFormDialog::InitWindow() {
    const std::string label = Label(className_, "Init");
    Guarded(label.c_str(), [this] {
        phone_ = FindControl(QLatin1String(names_.phone));
        codeButton_ = FindControl(QLatin1String(names_.codeButton));
        password_ = FindControl(QLatin1String(names_.password));
        confirm_ = FindControl(QLatin1String(names_.confirm));
        code_ = FindControl(QLatin1String(names_.code));
        errorTips_ = FindControl(QLatin1String(names_.errorTips));
        submit_ = FindControl(QLatin1String(names_.submit));
    });
}

void CodeFormDialog::Notify(ui::TNotifyUI& msg) {
    if (msg.sType == QLatin1String(ui::kNotifyClick) && msg.pSender != nullptr) {
        if (msg.pSender == codeButton_) {
            OnCodeButtonClick();
        } else if (msg.pSender == submit_) {
            OnSubmitClick();
        }
    }
    WindowImplBase::Notify(msg);
}

ui::LRESULT CodeFormDialog::HandleCustomMessage(ui::UINT uMsg, ui::WPARAM wParam, ui::LPARAM,
                                                bool&) {
    if (uMsg == ui::WM_TIMER && wParam == VerifyCodeCountdown::kTimerId) {
        OnTick();
    }
    return 0;
}

QString CodeFormDialog::Text(ui::CControlUI* control) {
    return control != nullptr ? control->GetText() : QString();
}

void CodeFormDialog::ShowError(const std::wstring& text) {
    if (errorTips_ != nullptr) {
        errorTips_->SetText(ShownText(text));
    }
}

void CodeFormDialog::ShowPrompt(const std::wstring& text) {
    ShowModalBox(std::make_unique<PromptBoxDialog>(mainWindow_, ShownText(text)), GetHWND());
}

void CodeFormDialog::OnCodeButtonClick() {
    const std::wstring phone = Text(phone_).toStdWString();
    CodeButtonResult result = StartCodeButton(phone, countdown_);
    if (!result.error_tip.empty()) {
        ShowError(result.error_tip);
        return;
    }
    if (!result.requested) {
        return;
    }
    SetCodeButtonSending(true);
    RunOffGuiThread<std::wstring>([form = form_, phone] { return RequestSmsCode(form, phone); },
                                  [this, alive = alive_](const std::wstring& prompt) {
                                      if (alive->load()) {
                                          OnCodeAnswer(prompt);
                                      }
                                  });
}

// The countdown stands for a code on its way; a refusal leaves the button free and says
// why, so nobody waits a minute for a message that will not come.
void CodeFormDialog::OnCodeAnswer(const std::wstring& prompt) {
    SetCodeButtonSending(false);
    FinishCodeRequest(countdown_, prompt, [this](const std::wstring& text) {
        if (codeButton_ != nullptr) {
            codeButton_->SetText(ShownText(text));
        }
        SetTimer(VerifyCodeCountdown::kTimerId, static_cast<ui::UINT>(tickMs_));
    });
    if (!prompt.empty()) {
        ShowPrompt(prompt);
    }
}

void CodeFormDialog::SetCodeButtonSending(bool sending) {
    if (codeButton_ == nullptr) {
        return;
    }
    if (sending) {
        idleCodeText_ = codeButton_->GetText();
    }
    codeButton_->SetText(sending ? ShownText(kCodeSendingText) : idleCodeText_);
    codeButton_->SetEnabled(!sending);
}

void CodeFormDialog::OnTick() {
    bool finished = false;
    const std::wstring text = countdown_.Tick(&finished);
    if (finished) {
        KillTimer(VerifyCodeCountdown::kTimerId);
    }
    if (codeButton_ != nullptr) {
        codeButton_->SetText(ShownText(text));
    }
}

void CodeFormDialog::SetSubmitBusy(bool busy) {
    if (busy == submitting_) {
        return;
    }
    submitting_ = busy;
    if (submit_ == nullptr) {
        return;
    }
    if (busy) {
        idleSubmitText_ = submit_->GetText();
    }
    submit_->SetText(busy ? BusyText() : idleSubmitText_);
    submit_->SetEnabled(!busy);
}

void CodeFormDialog::OnSubmitClick() {
    if (submitting_) {
        return;
    }
    const std::wstring phone = Text(phone_).toStdWString();
    const std::wstring password = Text(password_).toStdWString();
    const std::wstring code = Text(code_).toStdWString();
    const std::wstring error =
        CheckCodeFormInput(phone, password, Text(confirm_).toStdWString(), code);
    if (!error.empty()) {
        ShowError(error);
        return;
    }
    SetSubmitBusy(true);
    RunOffGuiThread<CodeFormReply>([form = form_, phone, password,
                                    code] { return SubmitCodeForm(form, phone, password, code); },
                                   [this, alive = alive_](const CodeFormReply& reply) {
                                       if (alive->load()) {
                                           OnSubmitAnswer(reply);
                                       }
                                   });
}

// The form steps aside for the prompt and any login that follows, then closes or comes
// back as typed.
void CodeFormDialog::OnSubmitAnswer(const CodeFormReply& reply) {
    SetSubmitBusy(false);
    const DialogAlive alive = alive_;
    ShowWindow(false, true);
    if (!reply.prompt.empty()) {
        ShowPrompt(reply.prompt);
    }
    if (alive->load() && reply.open_login) {
        ShowModalBox(std::make_unique<LoginDialog>(mainWindow_), GetHWND());
    }
    if (!alive->load()) {
        return;
    }
    if (reply.close) {
        Close(1);
        return;
    }
    ShowWindow(true, true);
}

RegisterDialog::RegisterDialog(ui::WindowImplBase* mainWindow)
    : CodeFormDialog(mainWindow, CodeForm::kRegister, kRegisterNames, "RegisterDialog") {}

QString RegisterDialog::GetWindowClassName() const {
    return QStringLiteral("用户注册");
}

QString RegisterDialog::GetSkinFile() {
    return Guarded("RegisterDialog::GetSkinFile", [] { return QStringLiteral("Register.xml"); });
}

ForgotDialog::ForgotDialog(ui::WindowImplBase* mainWindow)
    : CodeFormDialog(mainWindow, CodeForm::kForgot, kForgotNames, "ForgotDialog") {}

QString ForgotDialog::GetWindowClassName() const {
    return QStringLiteral("找回密码");
}

QString ForgotDialog::GetSkinFile() {
    return Guarded("ForgotDialog::GetSkinFile", [] { return QStringLiteral("Forgot.xml"); });
}

} // namespace velquist
