#pragma once

#include "util/translated_text.h"

#include <string>

namespace velquist {

// The error-label text for a submit, checked in this order; empty when it may be sent.
// Texts are not trimmed: blanks count as content.
std::wstring CheckFeedbackInput(const std::wstring& content, const std::wstring& contact,
                                bool logged_in);

// The styled JSON body with "contact" and "content" in UTF-8.
std::string BuildFeedbackBody(const std::wstring& content, const std::wstring& contact);

inline constexpr const wchar_t* kFeedbackSentText =
    L"" QT_TRANSLATE_NOOP("Velquist", "反馈信息已提交!");
inline constexpr const wchar_t* kFeedbackLoginText =
    L"" QT_TRANSLATE_NOOP("Velquist", "请先登录后进行反馈!");

// Sends the feedback and returns the prompt text for the result: "反馈信息已提交!",
// "未知错误" for another "ret", or "网络错误!" when there is no usable reply.
std::wstring SubmitFeedback(const std::wstring& content, const std::wstring& contact);

// What the form keeps of an unsent feedback until the next opening (memory only).
struct FeedbackDraft {
    std::wstring content;
    std::wstring contact;
};

} // namespace velquist
