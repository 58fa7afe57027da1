#include "ui/notifier.h"

#include "ui/host_widget.h"
#include "ui/messages.h"
#include "ui/notify.h"
#include "ui/template_list.h"
#include "ui/widget_control.h"
#include "ui/window_impl_base.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCursor>
#include <QVariant>

namespace velquist::ui {
namespace {

constexpr const char* kWiredProperty = "_vq_wired";

// A fallback window may die before the tree it built; hold it by handle.
WindowImplBase* Resolve(QWidget* origin, HWND fallback) {
    if (auto* host = qobject_cast<HostWidget*>(origin->window())) {
        return host->window();
    }
    return fallback == kNoWindow ? nullptr : WindowFromHandle(fallback);
}

void Send(QWidget* origin, HWND fallback, const char* type) {
    const QPoint mouse = origin->window()->mapFromGlobal(QCursor::pos());
    SendNotifyFrom(origin, type, WidgetControl::For(origin), fallback, mouse);
}

void WireButton(QAbstractButton* button, HWND fallback) {
    if (button->property("menuitem").toBool()) {
        QObject::connect(button, &QAbstractButton::clicked, button, [button, fallback] {
            Send(button, fallback, kNotifyItemClick);
            Send(button, fallback, kNotifyItemSelect);
        });
        return;
    }
    if (button->isCheckable()) {
        QObject::connect(button, &QAbstractButton::toggled, button,
                         [button, fallback] { Send(button, fallback, kNotifySelectChanged); });
    }
    QObject::connect(button, &QAbstractButton::clicked, button,
                     [button, fallback] { Send(button, fallback, kNotifyClick); });
}

void WireOne(QWidget* w, HWND fallback) {
    if (w->property(kWiredProperty).toBool()) {
        return;
    }
    w->setProperty(kWiredProperty, true);
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        WireButton(button, fallback);
        return;
    }
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        QObject::connect(combo, &QComboBox::currentIndexChanged, combo,
                         [combo, fallback] { Send(combo, fallback, kNotifyItemSelect); });
        return;
    }
    if (auto* list = qobject_cast<TemplateListView*>(w)) {
        list->SetFallbackWindow(fallback);
    }
}

} // namespace

void WireNotifications(QWidget* root, WindowImplBase* fallback) {
    const HWND handle = fallback == nullptr ? kNoWindow : fallback->GetHWND();
    WireOne(root, handle);
    const auto children = root->findChildren<QWidget*>();
    for (QWidget* w : children) {
        WireOne(w, handle);
    }
}

void SendNotifyFrom(QWidget* origin, const char* type, CControlUI* sender, HWND fallback,
                    QPoint mouse) {
    WindowImplBase* window = Resolve(origin, fallback);
    if (window == nullptr) {
        return;
    }
    TNotifyUI msg;
    msg.sType = QString::fromLatin1(type);
    msg.pSender = sender;
    msg.ptMouse = mouse;
    window->SendNotify(msg);
}

} // namespace velquist::ui
