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

inline constexpr const wchar_t* kNetworkFailureText = L"网络连接失败,请检查网络!";
inline constexpr const wchar_t* kSaveFailedText = L"登录信息保存失败!";

struct ManualLoginResult {
    enum class Step {
        kError,      // show error in "errorTips"
        kSaveFailed, // logged in, but "local.dat" could not be written: error says so in a
                     // box; the login holds (logged-in look, then close)
        kLoggedIn,   // show the logged-in look with the phone as typed and close
        kAbandoned,  // nobody waited for the answer any more: nothing was applied
    };
    Step step = Step::kError;
    std::wstring error;

    bool LoggedIn() const { return step == Step::kSaveFailed || step == Step::kLoggedIn; }
};

// Checks, logs in, fills UserInfo and writes the credential file. Blocks for the whole
// exchange, so a window calls it off its own thread. still_wanted (when given) is asked
// once the service has answered: false leaves UserInfo and the file as they were.
ManualLoginResult ManualLogin(const std::wstring& phone, const std::wstring& password,
                              const std::function<bool()>& still_wanted = {});

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

// The part of a click on the code button that needs no service: the phone check (as the
// login's), then, unless a countdown already runs, the countdown's start; requested tells
// that the SMS request is now due. start_timer gets the button text and starts the
// dialog's timer; the countdown runs its sixty seconds whether the request succeeds or not.
CodeButtonResult StartCodeButton(const std::wstring& phone, VerifyCodeCountdown& countdown,
                                 const std::function<void(const std::wstring&)>& start_timer);

// One SMS request (blocking); the prompt for a failure, empty when it went through.
std::wstring RequestSmsCode(CodeForm form, const std::wstring& phone);

// StartCodeButton and, when due, RequestSmsCode on the calling thread.
CodeButtonResult ClickCodeButton(CodeForm form, const std::wstring& phone,
                                 VerifyCodeCountdown& countdown,
                                 const std::function<void(const std::wstring&)>& start_timer);

} // namespace velquist
