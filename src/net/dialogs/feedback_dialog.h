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
// Opens the login, modally; the form asks LoggedInQuery again once it returns.
using LoginAction = std::function<void()>;

// What the user typed and did not send survives a close until the next opening; a sent
// feedback clears it. Tests start from an empty one.
void ClearFeedbackDraft();

// The feedback form. Shown with ShowModalBox, which owns it. It says
// up front when nobody is logged in, opens the login on a send that needs it, and stays
// open with the error shown when the feedback could not be delivered.
class FeedbackDialog : public ui::WindowImplBase {
  public:
    FeedbackDialog(ui::WindowImplBase* owner, LoggedInQuery loggedIn, LoginAction login = {});

    QString GetWindowClassName() const override;
    void InitWindow() override;
    QString GetSkinFile() override;
    ui::LRESULT HandleCustomMessage(ui::UINT uMsg, ui::WPARAM wParam, ui::LPARAM lParam,
                                    bool& bHandled) override;
    ui::LRESULT OnClose(ui::UINT uMsg, ui::WPARAM wParam, ui::LPARAM lParam,
                        bool& bHandled) override;
    void Notify(ui::TNotifyUI& msg) override;

  private:
    // False when the click ended in a message on the form and goes no further.
    bool OnSubmit();
    bool OnContactUs();
    bool LoggedIn() const { return loggedIn_ && loggedIn_(); }
    void ShowError(const std::wstring& text);
    // The login, when one is needed and can be opened; true when someone is logged in.
    bool EnsureLoggedIn();

    ui::WindowImplBase* owner_ = nullptr;
    LoggedInQuery loggedIn_;
    LoginAction login_;
    bool sent_ = false;
    ui::CEditUI* content_ = nullptr;
    ui::CEditUI* contact_ = nullptr;
    ui::CLabelUI* errorTips_ = nullptr;
    ui::CButtonUI* submit_ = nullptr;
};

} // namespace velquist
