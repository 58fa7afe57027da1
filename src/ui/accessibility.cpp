#include "ui/accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QList>
#include <QWidget>

namespace velquist::ui {
namespace {

// A container whose accessible children are its shown child widgets. Windows
// of their own (dialogs, menus) are reached through their own roots.
class ShownChildrenAccessible final : public QAccessibleWidget {
  public:
    explicit ShownChildrenAccessible(QWidget* widget)
        : QAccessibleWidget(widget,
                            widget->isWindow() ? QAccessible::Window : QAccessible::Client) {}

    int childCount() const override { return static_cast<int>(Shown().size()); }

    QAccessibleInterface* child(int index) const override {
        const QList<QWidget*> shown = Shown();
        return index >= 0 && index < shown.size()
                   ? QAccessible::queryAccessibleInterface(shown[index])
                   : nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        auto* widget = child != nullptr ? qobject_cast<QWidget*>(child->object()) : nullptr;
        return widget != nullptr ? static_cast<int>(Shown().indexOf(widget)) : -1;
    }

  private:
    QList<QWidget*> Shown() const {
        QList<QWidget*> shown;
        for (QObject* object : widget()->children()) {
            auto* child = qobject_cast<QWidget*>(object);
            // Hidden on its own, not merely because the window is not up yet.
            if (child != nullptr && !child->isWindow() && !child->isHidden()) {
                shown.append(child);
            }
        }
        return shown;
    }
};

// Only plain containers: Qt's own interfaces of buttons, fields and lists stay.
QAccessibleInterface* ContainerFactory(const QString& className, QObject* object) {
    if (object == nullptr || !object->isWidgetType()) {
        return nullptr;
    }
    if (className == QLatin1String("velquist::ui::HostWidget") ||
        className == QLatin1String("QWidget") || className == QLatin1String("QFrame")) {
        return new ShownChildrenAccessible(static_cast<QWidget*>(object));
    }
    return nullptr;
}

} // namespace

void InstallShownOnlyAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(ContainerFactory);
        return true;
    }();
    (void)installed;
}

} // namespace velquist::ui
