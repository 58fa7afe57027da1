#pragma once

#include "dialogs/dialog_base.h"
#include "dialogs/wnd_shadow.h"
#include "ui/control.h"
#include "ui/notify.h"
#include "ui/window_impl_base.h"

#include <QString>

namespace velquist {

// What the two general boxes share: a text label "msgText", a confirm button (close code
// 1), an optional cancel button (0), their own frame and a shadow. Shown with ShowModalBox,
// which owns the box.
class BoxDialog : public ui::WindowImplBase {
  public:
    QString GetWindowClassName() const override { return className_; }
    QString GetSkinFile() override;
    void InitWindow() override;
    void Notify(ui::TNotifyUI& msg) override;
    ui::LRESULT OnCreate(ui::UINT uMsg, ui::WPARAM wParam, ui::LPARAM lParam,
                         bool& bHandled) override;
    ui::LRESULT OnNcActivate(ui::UINT uMsg, ui::WPARAM wParam, ui::LPARAM lParam,
                             bool& bHandled) override;

    const CWndShadow& Shadow() const { return shadow_; }

  protected:
    BoxDialog(const QString& text, const char* className, const char* skinFile);

  private:
    std::string Label(const char* operation) const;

    CWndShadow shadow_;
    QString text_;
    QString className_;
    QString skinFile_;
    ui::CLabelUI* msgText_ = nullptr;
    ui::CButtonUI* msgCancel_ = nullptr;
    ui::CButtonUI* msgConfirm_ = nullptr;
};

} // namespace velquist
