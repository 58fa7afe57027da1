#pragma once

#include "dialogs/dialog_base.h"
#include "dialogs/wnd_shadow.h"
#include "ui/control.h"
#include "ui/notify.h"
#include "ui/window_impl_base.h"

#include <QString>

namespace velquist {

// A message with one confirm button (close code 1).
// Create with new and show with ShowModalBox; it deletes itself.
class PromptBoxDialog : public ui::WindowImplBase {
  public:
    PromptBoxDialog(ui::WindowImplBase* owner, const QString& text);

    QString GetWindowClassName() const override;
    QString GetSkinFile() override;
    void InitWindow() override;
    void Notify(ui::TNotifyUI& msg) override;
    ui::LRESULT OnCreate(ui::UINT uMsg, ui::WPARAM wParam, ui::LPARAM lParam,
                         bool& bHandled) override;
    ui::LRESULT OnNcActivate(ui::UINT uMsg, ui::WPARAM wParam, ui::LPARAM lParam,
                             bool& bHandled) override;
    void OnFinalMessage(ui::HWND hWnd) override;

    const CWndShadow& Shadow() const { return shadow_; }

  private:
    CWndShadow shadow_;
    ui::WindowImplBase* owner_ = nullptr;
    QString text_;
    ui::CLabelUI* msgText_ = nullptr;
    ui::CButtonUI* msgConfirm_ = nullptr;
};

} // namespace velquist
