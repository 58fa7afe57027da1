#pragma once

#include "ui/control.h"

#include <QString>

namespace velquist::ui {

class WindowImplBase;

// Builds a fresh control tree from a skin file (below the resource path). The
// tree belongs to nobody until it is added to a container of a window; its
// notifications go to `window` (when given) from the moment it is built.
class CDialogBuilder {
  public:
    CControlUI* Create(const QString& file, void* callback = nullptr,
                       WindowImplBase* window = nullptr);
    QString GetLastError() const { return error_; }

  private:
    QString error_;
};

} // namespace velquist::ui
