#include "net/dialogs/feedback_dialog.h"

#include "dialogs/dialog_base.h"
#include "dialogs/prompt_box_dialog.h"
#include "net/feedback.h"
#include "net/service_url.h"
#include "platform/app_translations.h"
#include "platform/shell_open.h"

#include <string>
#include <utility>

namespace velquist {
namespace {

using ClickHandler = bool (FeedbackDialog::*)();

// GUI thread only, as the form itself.
FeedbackDraft g_draft;

QString TextOf(ui::CEditUI* edit) {
    return edit != nullptr ? edit->GetText() : QString();
}

} // namespace

void ClearFeedbackDraft() {
    g_draft = FeedbackDraft{};
}

FeedbackDialog::FeedbackDialog(ui::WindowImplBase* owner, LoggedInQuery loggedIn, LoginAction login)
    : owner_(owner), loggedIn_(std::move(loggedIn)), login_(std::move(login)) {}

QString FeedbackDialog::GetWindowClassName() const {
    return QStringLiteral("意见反馈");
}

void FeedbackDialog::InitWindow() {
    Guarded("FeedbackDialog::Init", [this] {
        content_ = FindControl(QStringLiteral("feedbackContent"));
        contact_ = FindControl(QStringLiteral("feedbackContact"));
        errorTips_ = FindControl(QStringLiteral("feedbackErrorTips"));
        submit_ = FindControl(QStringLiteral("feedbackBtn"));
        if (content_ != nullptr && contact_ != nullptr) {
            content_->SetText(QString::fromStdWString(g_draft.content));
            contact_->SetText(QString::fromStdWString(g_draft.contact));
        }
        // Said before anything is typed, not after.
        if (!LoggedIn()) {
            ShowError(kFeedbackLoginText);
        }
        SetTimer(kFeedbackFocusTimer, kFeedbackFocusDelayMs);
    });
}

QString FeedbackDialog::GetSkinFile() {
    return Guarded("FeedbackDialog::GetSkinFile", [] { return QStringLiteral("Feedback.xml"); });
}

ui::LRESULT FeedbackDialog::HandleCustomMessage(ui::UINT uMsg, ui::WPARAM wParam, ui::LPARAM,
                                                bool&) {
    if (uMsg == ui::WM_TIMER && wParam == kFeedbackFocusTimer) {
        KillTimer(kFeedbackFocusTimer);
        if (content_ != nullptr) {
            content_->SetFocus();
        }
    }
    return 0;
}

// Escape and the frame's close button come here too: what was typed is kept.
ui::LRESULT FeedbackDialog::OnClose(ui::UINT, ui::WPARAM, ui::LPARAM, bool& bHandled) {
    g_draft = FeedbackDraft{};
    if (!sent_) {
        g_draft = {TextOf(content_).toStdWString(), TextOf(contact_).toStdWString()};
    }
    bHandled = false;
    return 0;
}

void FeedbackDialog::Notify(ui::TNotifyUI& msg) {
    static const std::pair<const char*, ClickHandler> kClicks[] = {
        {"feedbackBtn", &FeedbackDialog::OnSubmit},
        {"contact-us", &FeedbackDialog::OnContactUs},
    };
    if (msg.sType == QLatin1String(ui::kNotifyClick) && msg.pSender != nullptr) {
        const QString name = msg.pSender->GetName();
        for (const auto& [sender, handler] : kClicks) {
            if (name.compare(QLatin1String(sender), Qt::CaseInsensitive) == 0 &&
                !(this->*handler)()) {
                return;
            }
        }
    }
    WindowImplBase::Notify(msg);
}

void FeedbackDialog::ShowError(const std::wstring& text) {
    if (errorTips_ != nullptr) {
        errorTips_->SetText(ShownText(text));
    }
}

bool FeedbackDialog::EnsureLoggedIn() {
    if (!LoggedIn() && login_) {
        login_();
    }
    return LoggedIn();
}

bool FeedbackDialog::OnSubmit() {
    const std::wstring content = TextOf(content_).toStdWString();
    const std::wstring contact = TextOf(contact_).toStdWString();
    std::wstring problem = CheckFeedbackInput(content, contact, true);
    if (problem.empty() && !EnsureLoggedIn()) {
        problem = kFeedbackLoginText;
    }
    if (!problem.empty()) {
        ShowError(problem);
        return false;
    }
    ShowError(L"");
    const std::wstring answer = SubmitFeedback(content, contact);
    if (answer != kFeedbackSentText) {
        // Undelivered: the form stays with its text, so the user can send it again.
        ShowError(answer);
        return false;
    }
    sent_ = true;
    // The form stays in its modal loop while hidden, so the main window stays disabled
    // until the answer has been shown.
    ShowWindow(false, true);
    ShowModalBox(std::make_unique<PromptBoxDialog>(owner_, ShownText(answer)), GetHWND());
    Close(1);
    return true;
}

bool FeedbackDialog::OnContactUs() {
    ShellOpen(QString::fromStdString(HelpAudioPageUrl()));
    return true;
}

} // namespace velquist
