#pragma once

#include "dialogs/box_dialog.h"

namespace velquist {

// A message with one confirm button "msgConfirm" (close code 1), from "PromptBox.xml".
class PromptBoxDialog : public BoxDialog {
  public:
    PromptBoxDialog(ui::WindowImplBase* /*owner*/, const QString& text)
        : BoxDialog(text, "PromptBoxDialog", "PromptBox.xml") {}
};

} // namespace velquist
