#pragma once

#include "dialogs/box_dialog.h"

namespace velquist {

// A question with a confirm button "msgConfirm" (close code 1) and a cancel button
// "msgCancel" (0), from "MessageBox.xml".
class MessageBoxDialog : public BoxDialog {
  public:
    MessageBoxDialog(ui::WindowImplBase* /*owner*/, const QString& text)
        : BoxDialog(text, "MessageBoxDialog", "MessageBox.xml") {}
};

} // namespace velquist
