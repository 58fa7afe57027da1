#include "box_dialog.h"

namespace velquist {

BoxDialog::BoxDialog(const QString& text, const char* className, const char* skinFile)
    : text_(text), className_(QString::fromLatin1(className)),
      skinFile_(QString::fromLatin1(skinFile)) {}

std::string BoxDialog::Label(const char* operation) const {
    return className_.toStdString() + "::" + operation;
}

QString BoxDialog::GetSkinFile() {
    return Guarded(Label("GetSkinFile").c_str(), [this] { return skinFile_; });
}

void BoxDialog::InitWindow() {
    Guarded(Label("Init").c_str(), [this] {
        msgText_ = FindControl(QStringLiteral("msgText"));
        msgCancel_ = FindControl(QStringLiteral("msgCancel"));
        msgConfirm_ = FindControl(QStringLiteral("msgConfirm"));
        // A skin without the label still gives a box that can be answered.
        if (msgText_ != nullptr) {
            msgText_->SetText(text_);
        }
    });
}

void BoxDialog::Notify(ui::TNotifyUI& msg) {
    if (msg.sType == QLatin1String(ui::kNotifyClick) && msg.pSender != nullptr) {
        if (msg.pSender == msgConfirm_) {
            Close(1);
        } else if (msg.pSender == msgCancel_) {
            Close(0);
        }
    }
    WindowImplBase::Notify(msg);
}

ui::LRESULT BoxDialog::OnCreate(ui::UINT uMsg, ui::WPARAM wParam, ui::LPARAM lParam,
                                bool& bHandled) {
    const ui::LRESULT result = WindowImplBase::OnCreate(uMsg, wParam, lParam, bHandled);
    if (result == -1) {
        return result;
    }
    AttachBoxFrame(*this, shadow_);
    return 0;
}

// The box draws its own frame; the system's active/inactive frame stays out.
ui::LRESULT BoxDialog::OnNcActivate(ui::UINT, ui::WPARAM, ui::LPARAM, bool&) {
    return 0;
}

} // namespace velquist
