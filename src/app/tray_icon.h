#pragma once

#include "ui/ui_defs.h"

#include <QObject>
#include <QSystemTrayIcon>
#include <memory>

namespace velquist {

// The icon in the desktop's notification area. Clicks reach the window as the
// tray message (kMsgTrayNotify) with the mouse message in lParam.
class TrayIcon : public QObject {
    Q_OBJECT
  public:
    TrayIcon(ui::HWND window, const QIcon& icon, const QString& tip);
    ~TrayIcon() override;

    // False when the desktop has no notification area; the program then runs
    // without the icon.
    bool Add();

  private:
    void OnActivated(QSystemTrayIcon::ActivationReason reason);

    ui::HWND window_;
    std::unique_ptr<QSystemTrayIcon> icon_;
};

} // namespace velquist
