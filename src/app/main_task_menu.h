#pragma once

#include "ui/notify.h"
#include "ui/window_impl_base.h"

#include <QString>

namespace velquist {

// The tray icon's pop-up menu. It does nothing itself: each item posts its
// command to the owner window. Whoever opens it keeps it until it closes (KeepUntilGone).
class CMainTaskMenu : public ui::WindowImplBase {
  public:
    explicit CMainTaskMenu(QString skinFile);

    QString GetWindowClassName() const override;
    QString GetSkinFile() override;
    ui::LRESULT OnKillFocus(ui::UINT uMsg, ui::WPARAM wParam, ui::LPARAM lParam,
                            bool& bHandled) override;
    void Notify(ui::TNotifyUI& msg) override;

    // Opens the menu at the screen point (x, y), kept inside the work area.
    // False when the menu cannot be built.
    bool Popup(ui::WindowImplBase* owner, int x, int y);

  private:
    QString skinFile_;
    ui::HWND owner_ = ui::kNoWindow;
    int x_ = 0;
    int y_ = 0;
};

} // namespace velquist
