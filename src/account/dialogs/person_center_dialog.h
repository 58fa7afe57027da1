#pragma once

#include "dialogs/wnd_shadow.h"
#include "ui/control.h"
#include "ui/notify.h"
#include "ui/window_impl_base.h"

#include <QString>

namespace velquist {

// The caption-less panel under the main window's "username": the account and a logout
// button. Shown without a modal loop and kept (KeepUntilGone) until it closes, which it
// does as soon as it loses activation.
class PersonCenterDialog : public ui::WindowImplBase {
  public:
    explicit PersonCenterDialog(ui::WindowImplBase* mainWindow) : mainWindow_(mainWindow) {}

    QString GetWindowClassName() const override;
    QString GetSkinFile() override;
    void InitWindow() override;
    void Notify(ui::TNotifyUI& msg) override;
    ui::LRESULT OnCreate(ui::UINT uMsg, ui::WPARAM wParam, ui::LPARAM lParam,
                         bool& bHandled) override;
    ui::LRESULT OnNcActivate(ui::UINT uMsg, ui::WPARAM wParam, ui::LPARAM lParam,
                             bool& bHandled) override;

  private:
    void OnLogoutClick();

    CWndShadow shadow_;
    ui::WindowImplBase* mainWindow_ = nullptr;
    ui::CLabelUI* account_ = nullptr;
    ui::CButtonUI* logout_ = nullptr;
};

} // namespace velquist
