#pragma once

#include <functional>
#include <string>

namespace velquist {

// --- Login dialog ---

// The error text for a typed phone number: empty, not 11 UTF-16 units, or not all ASCII
// digits; empty when it is well-formed.
std::wstring CheckPhoneInput(const std::wstring& phone);

// The "errorTips" text for the typed phone and password, checked in the dialog's order;
// empty when they may be sent. Lengths count UTF-16 units, as the dialog's edits do.
std::wstring CheckLoginInput(const std::wstring& phone, const std::wstring& password);

struct ManualLoginResult {
    enum class Step {
        kError,      // show error in "errorTips"
        kSaveFailed, // logged in, but "local.dat" could not be written: dialog stays as is
        kLoggedIn,   // show the logged-in look with the phone as typed and close
    };
    Step step = Step::kError;
    std::wstring error;
};

// Checks, logs in, fills UserInfo and writes the credential file.
ManualLoginResult ManualLogin(const std::wstring& phone, const std::wstring& password);

// --- Registration and password reset ---

enum class CodeForm { kRegister, kForgot };

// The error-label text for the four boxes, in the dialogs' order; empty when complete.
std::wstring CheckCodeFormInput(const std::wstring& phone, const std::wstring& password,
                                const std::wstring& confirm, const std::wstring& code);

struct CodeFormReply {
    std::wstring prompt;     // empty: no prompt
    bool close = true;       // false: the dialog is shown again
    bool open_login = false; // after a reset: a new login dialog, then close
};

// The styled JSON body {"code", "mobilephone", "password"}.
std::string BuildCodeFormBody(const std::string& phone, const std::string& password,
                              const std::string& code);

// What a reply means for the dialog; anything without an integer "ret" is a network error.
CodeFormReply JudgeCodeFormReply(CodeForm form, const std::string& response);

// Sends the registration or reset and judges the reply.
CodeFormReply SubmitCodeForm(CodeForm form, const std::wstring& phone, const std::wstring& password,
                             const std::wstring& code);

// The sixty-second wait on the button that asks for an SMS code. Counts timer ticks.
class VerifyCodeCountdown {
  public:
    static constexpr unsigned kTimerId = 1000;
    static constexpr int kPeriodMs = 1000;
    static constexpr int kSeconds = 60;

    bool running() const { return running_; }
    int seconds_left() const { return seconds_left_; }

    // Starts counting; returns the button text ("60 秒").
    std::wstring Start();
    // One tick; returns the new button text. *finished: stop the timer now.
    std::wstring Tick(bool* finished);

  private:
    bool running_ = false;
    int seconds_left_ = kSeconds;
};

std::wstring CountdownText(int seconds); // "%d 秒"
inline constexpr const wchar_t* kCountdownAgainText = L"重新获取";

struct CodeButtonResult {
    std::wstring error_tip; // non-empty: show in the error label, nothing else
    bool requested = false; // a countdown started and an SMS request went out
    std::wstring prompt;    // non-empty: the request failed, show in a prompt box
};

// A click on the code button: the phone check (as the login's), then, unless a countdown already
// runs, the countdown's start and one SMS request. start_timer gets the button text and
// starts the dialog's timer before the request blocks; the countdown runs its sixty
// seconds whether the request succeeds or not.
CodeButtonResult ClickCodeButton(CodeForm form, const std::wstring& phone,
                                 VerifyCodeCountdown& countdown,
                                 const std::function<void(const std::wstring&)>& start_timer);

} // namespace velquist
