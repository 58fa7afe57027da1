#pragma once

#include "ui/control.h"
#include "ui/notify.h"
#include "ui/ui_defs.h"
#include "ui/window_impl_base.h"

#include <QString>
#include <functional>

namespace velquist {

// Moves the focus into the content box once the window is up.
inline constexpr ui::UINT kFeedbackFocusTimer = 1008;
inline constexpr ui::UINT kFeedbackFocusDelayMs = 100;

// Whether someone is logged in, asked at the moment of sending (an automatic login may
// finish while the form is open). The window that opens the form provides it.
using LoggedInQuery = std::function<bool()>;

// The feedback form. Create with new, show with ShowModalBox; it deletes itself.
class FeedbackDialog : public ui::WindowImplBase {
  public:
    FeedbackDialog(ui::WindowImplBase* owner, LoggedInQuery loggedIn);

    QString GetWindowClassName() const override;
    void OnFinalMessage(ui::HWND hWnd) override;
    void InitWindow() override;
    QString GetSkinFile() override;
    ui::LRESULT HandleCustomMessage(ui::UINT uMsg, ui::WPARAM wParam, ui::LPARAM lParam,
                                    bool& bHandled) override;
    void Notify(ui::TNotifyUI& msg) override;

  private:
    // False when the click ended in a validation message and goes no further.
    bool OnSubmit();
    bool OnContactUs();

    ui::WindowImplBase* owner_ = nullptr;
    LoggedInQuery loggedIn_;
    ui::CEditUI* content_ = nullptr;
    ui::CEditUI* contact_ = nullptr;
    ui::CLabelUI* errorTips_ = nullptr;
    ui::CButtonUI* submit_ = nullptr;
};

} // namespace velquist
