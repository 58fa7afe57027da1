#include "net/feedback.h"

#include "net/http_client.h"
#include "net/service_envelope.h"
#include "net/service_url.h"
#include "protocol/ret_codes.h"
#include "util/text.h"
#include "util/translated_text.h"

#include <json/json.h>

namespace velquist {

std::wstring CheckFeedbackInput(const std::wstring& content, const std::wstring& contact,
                                bool logged_in) {
    if (content.empty()) {
        return L"" QT_TRANSLATE_NOOP("Velquist", "反馈内容不能为空!");
    }
    if (contact.empty()) {
        return L"" QT_TRANSLATE_NOOP("Velquist", "联系方式不能为空!");
    }
    if (!logged_in) {
        return kFeedbackLoginText;
    }
    return {};
}

std::string BuildFeedbackBody(const std::wstring& content, const std::wstring& contact) {
    Json::Value body(Json::objectValue);
    body["content"] = WideToUtf8(content);
    body["contact"] = WideToUtf8(contact);
    return WriteStyledUtf8(body);
}

std::wstring SubmitFeedback(const std::wstring& content, const std::wstring& contact) {
    std::string response;
    int sent = HttpClient::Instance()->PostJson(BuildFeedbackBody(content, contact),
                                                ServiceBaseUrl() + "/v1/feedback", &response);
    // An error page may carry JSON too; only a successful transfer's reply counts.
    ServiceEnvelope envelope = ParseServiceEnvelope(sent == 0 ? response : std::string());
    if (!envelope.parsed) {
        return L"" QT_TRANSLATE_NOOP("Velquist", "网络错误!");
    }
    return envelope.ret == service::kRetOk ? kFeedbackSentText
                                           : L"" QT_TRANSLATE_NOOP("Velquist", "未知错误");
}

} // namespace velquist
