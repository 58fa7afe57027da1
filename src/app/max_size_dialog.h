#pragma once

#include "dialogs/box_dialog.h"

#include <QString>

namespace velquist {

// Asks for a custom long edge in pixels, from "MaxSizeBox.xml": the question in "msgText",
// the number in "msgInput", 确定 (close code 1) and 取消 (0). What was typed when 确定 was
// pressed lands in *typed; the caller judges it. Create with new, show with ShowModalBox.
class MaxSizeDialog : public BoxDialog {
  public:
    MaxSizeDialog(const QString& question, const QString& initial, QString* typed);

    void InitWindow() override;
    void Notify(ui::TNotifyUI& msg) override;

  private:
    QString initial_;
    QString* typed_;
    ui::CEditUI* input_ = nullptr;
};

} // namespace velquist
