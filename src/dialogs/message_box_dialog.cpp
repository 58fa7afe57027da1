#include "message_box_dialog.h"

namespace velquist {

MessageBoxDialog::MessageBoxDialog(ui::WindowImplBase* owner, const QString& text)
    : owner_(owner), text_(text) {}

QString MessageBoxDialog::GetWindowClassName() const {
    return QStringLiteral("MessageBoxDialog");
}

QString MessageBoxDialog::GetSkinFile() {
    return Guarded("MessageBoxDialog::GetSkinFile",
                   [] { return QStringLiteral("MessageBox.xml"); });
}

void MessageBoxDialog::InitWindow() {
    Guarded("MessageBoxDialog::Init", [this] {
        msgText_ = FindControl(QStringLiteral("msgText"));
        msgCancel_ = FindControl(QStringLiteral("msgCancel"));
        msgConfirm_ = FindControl(QStringLiteral("msgConfirm"));
        // A skin without the label still gives a box that can be answered.
        if (msgText_ != nullptr) {
            msgText_->SetText(text_);
        }
    });
}

void MessageBoxDialog::Notify(ui::TNotifyUI& msg) {
    if (msg.sType == QLatin1String(ui::kNotifyClick)) {
        if (msg.pSender != nullptr && msg.pSender == msgConfirm_) {
            Close(1);
        } else if (msg.pSender != nullptr && msg.pSender == msgCancel_) {
            Close(0);
        }
    }
    WindowImplBase::Notify(msg);
}

ui::LRESULT MessageBoxDialog::OnCreate(ui::UINT uMsg, ui::WPARAM wParam, ui::LPARAM lParam,
                                       bool& bHandled) {
    const ui::LRESULT result = WindowImplBase::OnCreate(uMsg, wParam, lParam, bHandled);
    if (result == -1) {
        return result;
    }
    AttachBoxFrame(*this, shadow_);
    return 0;
}

// The box draws its own frame; the system's active/inactive frame stays out.
ui::LRESULT MessageBoxDialog::OnNcActivate(ui::UINT, ui::WPARAM, ui::LPARAM, bool&) {
    return 0;
}

void MessageBoxDialog::OnFinalMessage(ui::HWND hWnd) {
    Guarded("MessageBoxDialog::OnFinalMessage", [this, hWnd] {
        WindowImplBase::OnFinalMessage(hWnd);
        delete this;
    });
}

} // namespace velquist
