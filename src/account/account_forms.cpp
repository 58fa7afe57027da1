#include "account/account_forms.h"

#include "account/credential_store.h"
#include "account/login.h"
#include "account/reply_reader.h"
#include "net/http_client.h"
#include "net/service_envelope.h"
#include "net/service_url.h"
#include "protocol/ret_codes.h"
#include "util/text.h"
#include "util/translated_text.h"

#include <iostream>
#include <json/json.h>

namespace velquist {
namespace {

// Characters past U+FFFF take two UTF-16 units.
std::size_t Utf16Length(const std::wstring& text) {
    std::size_t units = 0;
    for (wchar_t c : text) {
        units += static_cast<std::uint32_t>(c) > 0xFFFF ? 2 : 1;
    }
    return units;
}

bool AllDigits(const std::wstring& text) {
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return false;
        }
    }
    return true;
}

// Only a reply that carries the service's verdict may blame the account or password.
std::wstring LoginFailureText(LoginOutcome outcome) {
    switch (outcome) {
    case LoginOutcome::kTransferFailed:
        return kNetworkFailureText;
    case LoginOutcome::kRejected:
        return L"" QT_TRANSLATE_NOOP("Velquist", "账号或密码错误!");
    default:
        return L"" QT_TRANSLATE_NOOP("Velquist", "未知错误!");
    }
}

const char* FormPath(CodeForm form) {
    return form == CodeForm::kRegister ? "/v1/register" : "/v1/forgot";
}

const char* SmsPath(CodeForm form) {
    return form == CodeForm::kRegister ? "/v1/smsnotify/register/" : "/v1/smsnotify/forgot/";
}

CodeFormReply Reshow(const wchar_t* prompt) {
    return CodeFormReply{prompt, false, false};
}

CodeFormReply JudgeRegisterRet(int ret) {
    switch (ret) {
    case service::kRetOk:
        return CodeFormReply{L"" QT_TRANSLATE_NOOP("Velquist", "用户注册成功!"), true, false};
    case service::kRetUserExists:
        return Reshow(L"" QT_TRANSLATE_NOOP("Velquist", "该用户已注册过!"));
    case service::kRetCodeWrong:
        return Reshow(L"" QT_TRANSLATE_NOOP("Velquist", "验证码错误!"));
    case service::kRetCodeExpired:
    case service::kRetCodeUnusable:
        return Reshow(L"" QT_TRANSLATE_NOOP("Velquist", "验证码无效!"));
    default:
        // A code this client does not know (a newer service, a server fault) is still a
        // failure: keep what the user typed so they can try again.
        return Reshow(L"" QT_TRANSLATE_NOOP("Velquist", "注册失败,请稍后重试!"));
    }
}

CodeFormReply JudgeForgotRet(int ret) {
    switch (ret) {
    case service::kRetOk:
        return CodeFormReply{L"" QT_TRANSLATE_NOOP("Velquist", "密码重置成功!"), true, true};
    case service::kRetUnknownUser:
        return Reshow(L"" QT_TRANSLATE_NOOP("Velquist", "用户不存在!"));
    case service::kRetCodeWrong:
        return Reshow(L"" QT_TRANSLATE_NOOP("Velquist", "验证码错误!"));
    case service::kRetCodeExpired:
    case service::kRetCodeUnusable:
        return Reshow(L"" QT_TRANSLATE_NOOP("Velquist", "验证码无效!"));
    default:
        return Reshow(L"" QT_TRANSLATE_NOOP("Velquist", "密码重置失败!"));
    }
}

} // namespace

std::wstring CheckPhoneInput(const std::wstring& phone) {
    if (phone.empty()) {
        return L"" QT_TRANSLATE_NOOP("Velquist", "手机号不能为空!");
    }
    if (Utf16Length(phone) != 11) {
        return L"" QT_TRANSLATE_NOOP("Velquist", "非法的手机号!");
    }
    if (!AllDigits(phone)) {
        return L"" QT_TRANSLATE_NOOP("Velquist", "手机号只能为数字!");
    }
    return {};
}

std::wstring CheckLoginInput(const std::wstring& phone, const std::wstring& password) {
    if (std::wstring problem = CheckPhoneInput(phone); !problem.empty()) {
        return problem;
    }
    if (password.empty()) {
        return L"" QT_TRANSLATE_NOOP("Velquist", "密码不能为空!");
    }
    if (Utf16Length(password) > 32) {
        return L"" QT_TRANSLATE_NOOP("Velquist", "密码不能超过32位!");
    }
    return {};
}

ManualLoginResult ManualLogin(const std::wstring& phone, const std::wstring& password,
                              const std::function<bool()>& still_wanted,
                              const std::function<void()>& logged_in) {
    ManualLoginResult result;
    result.error = CheckLoginInput(phone, password);
    if (!result.error.empty()) {
        return result;
    }
    std::string narrow_phone = WideToAnsi(phone);
    std::string narrow_password = WideToAnsi(password);
    Json::Value reply;
    LoginOutcome outcome = SendLogin(narrow_phone, narrow_password, &reply);
    if (still_wanted && !still_wanted()) {
        result.error.clear();
        result.step = ManualLoginResult::Step::kAbandoned;
        return result;
    }
    if (outcome != LoginOutcome::kAccepted || !ApplyLoginData(reply)) {
        result.error = LoginFailureText(outcome);
        return result;
    }
    if (logged_in) {
        logged_in();
    }
    if (!SaveCredentials(narrow_phone, narrow_password)) {
        std::cout << "open file error" << std::endl;
        result.step = ManualLoginResult::Step::kSaveFailed;
        result.error = kSaveFailedText;
        return result;
    }
    result.step = ManualLoginResult::Step::kLoggedIn;
    return result;
}

std::wstring CheckCodeFormInput(const std::wstring& phone, const std::wstring& password,
                                const std::wstring& confirm, const std::wstring& code) {
    if (phone.empty()) {
        return L"" QT_TRANSLATE_NOOP("Velquist", "手机号不能为空!");
    }
    if (password.empty()) {
        return L"" QT_TRANSLATE_NOOP("Velquist", "密码不能为空!");
    }
    if (confirm.empty()) {
        return L"" QT_TRANSLATE_NOOP("Velquist", "确认密码不能为空!");
    }
    if (code.empty()) {
        return L"" QT_TRANSLATE_NOOP("Velquist", "验证码不能为空!");
    }
    if (password != confirm) {
        return L"" QT_TRANSLATE_NOOP("Velquist", "确认密码不一致!");
    }
    return {};
}

std::string BuildCodeFormBody(const std::string& phone, const std::string& password,
                              const std::string& code) {
    Json::Value body(Json::objectValue);
    body["mobilephone"] = phone;
    body["password"] = password;
    body["code"] = code;
    return Json::StyledWriter().write(body);
}

CodeFormReply JudgeCodeFormReply(CodeForm form, const std::string& response) {
    ServiceEnvelope envelope = ReadServiceReply(response);
    if (!envelope.parsed) {
        return CodeFormReply{L"" QT_TRANSLATE_NOOP("Velquist", "网络错误!"), true, false};
    }
    return form == CodeForm::kRegister ? JudgeRegisterRet(envelope.ret)
                                       : JudgeForgotRet(envelope.ret);
}

CodeFormReply SubmitCodeForm(CodeForm form, const std::wstring& phone, const std::wstring& password,
                             const std::wstring& code) {
    std::string body = BuildCodeFormBody(WideToAnsi(phone), WideToAnsi(password), WideToAnsi(code));
    std::string response;
    // A failed transfer leaves the response empty, which judges as a network error; a
    // service that answers an error status with its envelope is still understood.
    HttpClient::Instance()->PostJson(body, ServiceBaseUrl() + FormPath(form), &response);
    return JudgeCodeFormReply(form, response);
}

std::wstring CountdownText(int seconds) {
    return FillText(TranslatedText(QT_TRANSLATE_NOOP("Velquist", "%1 秒")),
                    {std::to_wstring(seconds)});
}

std::wstring VerifyCodeCountdown::Start() {
    running_ = true;
    seconds_left_ = kSeconds;
    return CountdownText(seconds_left_);
}

std::wstring VerifyCodeCountdown::Tick(bool* finished) {
    *finished = false;
    if (!running_) {
        *finished = true;
        return kCountdownAgainText;
    }
    --seconds_left_;
    if (seconds_left_ > 0) {
        return CountdownText(seconds_left_);
    }
    running_ = false;
    seconds_left_ = kSeconds;
    *finished = true;
    return kCountdownAgainText;
}

CodeButtonResult StartCodeButton(const std::wstring& phone, VerifyCodeCountdown& countdown) {
    CodeButtonResult result;
    // The number becomes part of the request's path: only a well-formed one is sent.
    result.error_tip = CheckPhoneInput(phone);
    if (!result.error_tip.empty() || countdown.running() || countdown.requesting()) {
        return result;
    }
    countdown.SetRequesting(true);
    result.requested = true;
    return result;
}

void FinishCodeRequest(VerifyCodeCountdown& countdown, const std::wstring& prompt,
                       const std::function<void(const std::wstring&)>& start_timer) {
    countdown.SetRequesting(false);
    if (prompt.empty()) {
        start_timer(countdown.Start());
    }
}

std::wstring JudgeSmsCodeReply(CodeForm form, int transfer, const std::string& response) {
    ServiceEnvelope envelope = ReadServiceReply(response);
    if (!envelope.parsed) {
        return kCodeSendFailedText;
    }
    if (envelope.ret == service::kRetOk) {
        // Success under an error status is no promise that a code is on its way.
        return transfer == 0 ? std::wstring() : kCodeSendFailedText;
    }
    if (envelope.ret == service::kRetCodeTooSoon) {
        return kCodeTooOftenText;
    }
    // The service sends no code for a request whose form could never succeed.
    if (form == CodeForm::kRegister && envelope.ret == service::kRetUserExists) {
        return L"" QT_TRANSLATE_NOOP("Velquist", "该用户已注册过!");
    }
    if (form == CodeForm::kForgot && envelope.ret == service::kRetUnknownUser) {
        return L"" QT_TRANSLATE_NOOP("Velquist", "用户不存在!");
    }
    return kCodeSendFailedText;
}

std::wstring RequestSmsCode(CodeForm form, const std::wstring& phone) {
    std::string url = ServiceBaseUrl() + SmsPath(form) + PercentEncodeSegment(WideToAnsi(phone));
    std::string response;
    int transfer = HttpClient::Instance()->Get(url, &response);
    return JudgeSmsCodeReply(form, transfer, response);
}

CodeButtonResult ClickCodeButton(CodeForm form, const std::wstring& phone,
                                 VerifyCodeCountdown& countdown,
                                 const std::function<void(const std::wstring&)>& start_timer) {
    CodeButtonResult result = StartCodeButton(phone, countdown);
    if (result.requested) {
        result.prompt = RequestSmsCode(form, phone);
        FinishCodeRequest(countdown, result.prompt, start_timer);
    }
    return result;
}

} // namespace velquist
