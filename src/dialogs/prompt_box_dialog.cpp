#include "prompt_box_dialog.h"

namespace velquist {

PromptBoxDialog::PromptBoxDialog(ui::WindowImplBase* owner, const QString& text)
    : owner_(owner), text_(text) {}

QString PromptBoxDialog::GetWindowClassName() const {
    return QStringLiteral("PromptBoxDialog");
}

QString PromptBoxDialog::GetSkinFile() {
    return Guarded("PromptBoxDialog::GetSkinFile", [] { return QStringLiteral("PromptBox.xml"); });
}

void PromptBoxDialog::InitWindow() {
    Guarded("PromptBoxDialog::Init", [this] {
        msgText_ = FindControl(QStringLiteral("msgText"));
        msgConfirm_ = FindControl(QStringLiteral("msgConfirm"));
        // A skin without the label still gives a box that can be answered.
        if (msgText_ != nullptr) {
            msgText_->SetText(text_);
        }
    });
}

void PromptBoxDialog::Notify(ui::TNotifyUI& msg) {
    if (msg.sType == QLatin1String(ui::kNotifyClick)) {
        if (msg.pSender != nullptr && msg.pSender == msgConfirm_) {
            Close(1);
        }
    }
    WindowImplBase::Notify(msg);
}

ui::LRESULT PromptBoxDialog::OnCreate(ui::UINT uMsg, ui::WPARAM wParam, ui::LPARAM lParam,
                                      bool& bHandled) {
    const ui::LRESULT result = WindowImplBase::OnCreate(uMsg, wParam, lParam, bHandled);
    if (result == -1) {
        return result;
    }
    AttachBoxFrame(*this, shadow_);
    return 0;
}

// The box draws its own frame; the system's active/inactive frame stays out.
ui::LRESULT PromptBoxDialog::OnNcActivate(ui::UINT, ui::WPARAM, ui::LPARAM, bool&) {
    return 0;
}

void PromptBoxDialog::OnFinalMessage(ui::HWND hWnd) {
    Guarded("PromptBoxDialog::OnFinalMessage", [this, hWnd] {
        WindowImplBase::OnFinalMessage(hWnd);
        delete this;
    });
}

} // namespace velquist
