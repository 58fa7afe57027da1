#include "ui/dialog_builder.h"

#include "ui/notifier.h"
#include "ui/skin_loader.h"
#include "ui/widget_control.h"
#include "ui/window_impl_base.h"

#include <QWidget>

namespace velquist::ui {

CControlUI* CDialogBuilder::Create(const QString& file, void* /*callback*/,
                                   WindowImplBase* window) {
    error_.clear();
    QWidget* root = LoadSkinFile(file, nullptr, &error_);
    if (root == nullptr) {
        return nullptr;
    }
    WireNotifications(root, window);
    return WidgetControl::For(root);
}

} // namespace velquist::ui
