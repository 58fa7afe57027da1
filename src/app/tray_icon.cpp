#include "tray_icon.h"

#include "platform/desktop.h"
#include "ui/messages.h"
#include "window_messages.h"

namespace velquist {

TrayIcon::TrayIcon(ui::HWND window, const QIcon& icon, const QString& tip)
    : window_(window), icon_(std::make_unique<QSystemTrayIcon>(icon)) {
    icon_->setToolTip(tip);
    connect(icon_.get(), &QSystemTrayIcon::activated, this, &TrayIcon::OnActivated);
}

TrayIcon::~TrayIcon() = default;

bool TrayIcon::Add() {
    if (!TrayAvailable()) {
        return false;
    }
    icon_->show();
    return true;
}

void TrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger) {
        ui::PostMessage(window_, kMsgTrayNotify, 0, kTrayLeftButtonDown);
    } else if (reason == QSystemTrayIcon::Context) {
        ui::PostMessage(window_, kMsgTrayNotify, 0, kTrayRightButtonDown);
    }
}

} // namespace velquist
