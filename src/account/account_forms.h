#pragma once

#include "util/translated_text.h"

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

inline constexpr const wchar_t* kNetworkFailureText =
    L"" QT_TRANSLATE_NOOP("Velquist", "网络连接失败,请检查网络!");
inline constexpr const wchar_t* kSaveFailedText =
    L"" QT_TRANSLATE_NOOP("Velquist", "登录信息保存失败!");

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
// logged_in (when given) runs as soon as the login holds, before the file is written:
// storing the file's key may wait on the keyring's own password dialog, and the window
// shows the login meanwhile.
ManualLoginResult ManualLogin(const std::wstring& phone, const std::wstring& password,
                              const std::function<bool()>& still_wanted = {},
                              const std::function<void()>& logged_in = {});

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

// The sixty-second wait on the button that asks for an SMS code, started once the
// service has sent a code. Counts timer ticks.
class VerifyCodeCountdown {
  public:
    static constexpr unsigned kTimerId = 1000;
    static constexpr int kPeriodMs = 1000;
    static constexpr int kSeconds = 60;

    bool running() const { return running_; }
    int seconds_left() const { return seconds_left_; }
    // A code request is out and unanswered: no second one goes out meanwhile.
    bool requesting() const { return requesting_; }
    void SetRequesting(bool requesting) { requesting_ = requesting; }

    // Starts counting; returns the button text ("60 秒").
    std::wstring Start();
    // One tick; returns the new button text. *finished: stop the timer now.
    std::wstring Tick(bool* finished);

  private:
    bool running_ = false;
    bool requesting_ = false;
    int seconds_left_ = kSeconds;
};

std::wstring CountdownText(int seconds); // "%d 秒"
inline constexpr const wchar_t* kCountdownAgainText = L"" QT_TRANSLATE_NOOP("Velquist", "重新获取");
inline constexpr const wchar_t* kCodeSendingText = L"" QT_TRANSLATE_NOOP("Velquist", "发送中...");
inline constexpr const wchar_t* kCodeSendFailedText =
    L"" QT_TRANSLATE_NOOP("Velquist", "验证码发送失败!");
inline constexpr const wchar_t* kCodeTooOftenText =
    L"" QT_TRANSLATE_NOOP("Velquist", "获取验证码过于频繁,请稍后再试!");

struct CodeButtonResult {
    std::wstring error_tip; // non-empty: show in the error label, nothing else
    bool requested = false; // an SMS request is due (and marked out on the countdown)
    std::wstring prompt;    // non-empty: no code was sent, show in a prompt box
};

// The part of a click on the code button that needs no service: the phone check (as the
// login's), then, unless a countdown runs or a request is already out, marks the request
// out; requested tells that the SMS request is now due.
CodeButtonResult StartCodeButton(const std::wstring& phone, VerifyCodeCountdown& countdown);

// The request's answer: a sent code (empty prompt) starts the countdown through
// start_timer, which gets the button text and starts the dialog's timer. A refused or
// failed request starts nothing: no code is on its way, so the button is free at once.
void FinishCodeRequest(VerifyCodeCountdown& countdown, const std::wstring& prompt,
                       const std::function<void(const std::wstring&)>& start_timer);

// What the service's answer to a code request means: empty when a code went out, else the
// reason for the prompt. transfer is HttpClient's result; a refusal arrives with its
// envelope even under an error status.
std::wstring JudgeSmsCodeReply(CodeForm form, int transfer, const std::string& response);

// One SMS request (blocking), judged as above.
std::wstring RequestSmsCode(CodeForm form, const std::wstring& phone);

// StartCodeButton and, when due, RequestSmsCode and FinishCodeRequest on the calling thread.
CodeButtonResult ClickCodeButton(CodeForm form, const std::wstring& phone,
                                 VerifyCodeCountdown& countdown,
                                 const std::function<void(const std::wstring&)>& start_timer);

} // namespace velquist
