#include "max_size_dialog.h"

#include <QLineEdit>

namespace velquist {

MaxSizeDialog::MaxSizeDialog(const QString& question, const QString& initial, QString* typed)
    : BoxDialog(question, "MaxSizeDialog", "MaxSizeBox.xml"), initial_(initial), typed_(typed) {}

void MaxSizeDialog::InitWindow() {
    BoxDialog::InitWindow();
    input_ = FindControl(QStringLiteral("msgInput"));
    auto* edit = input_ != nullptr ? qobject_cast<QLineEdit*>(input_->GetWidget()) : nullptr;
    if (edit == nullptr) {
        return;
    }
    // Ready to type over: the value shown is the one in use, replaced by the first key.
    edit->setText(initial_);
    edit->selectAll();
    edit->setFocus(Qt::OtherFocusReason);
}

void MaxSizeDialog::Notify(ui::TNotifyUI& msg) {
    if (msg.sType == QLatin1String(ui::kNotifyClick) && msg.pSender != nullptr &&
        msg.pSender->GetName() == QLatin1String("msgConfirm") && typed_ != nullptr) {
        *typed_ = input_ != nullptr ? input_->GetText() : QString();
    }
    BoxDialog::Notify(msg);
}

} // namespace velquist
