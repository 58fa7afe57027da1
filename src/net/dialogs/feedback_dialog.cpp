#include "net/dialogs/feedback_dialog.h"

#include "dialogs/dialog_base.h"
#include "dialogs/prompt_box_dialog.h"
#include "net/feedback.h"
#include "net/service_url.h"
#include "platform/shell_open.h"

#include <string>
#include <utility>

namespace velquist {
namespace {

using ClickHandler = bool (FeedbackDialog::*)();

} // namespace

FeedbackDialog::FeedbackDialog(ui::WindowImplBase* owner, LoggedInQuery loggedIn)
    : owner_(owner), loggedIn_(std::move(loggedIn)) {}

QString FeedbackDialog::GetWindowClassName() const {
    return QStringLiteral("意见反馈");
}

void FeedbackDialog::OnFinalMessage(ui::HWND hWnd) {
    Guarded("FeedbackDialog::OnFinalMessage", [this, hWnd] {
        WindowImplBase::OnFinalMessage(hWnd);
        delete this;
    });
}

void FeedbackDialog::InitWindow() {
    Guarded("FeedbackDialog::Init", [this] {
        content_ = FindControl(QStringLiteral("feedbackContent"));
        contact_ = FindControl(QStringLiteral("feedbackContact"));
        errorTips_ = FindControl(QStringLiteral("feedbackErrorTips"));
        submit_ = FindControl(QStringLiteral("feedbackBtn"));
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

bool FeedbackDialog::OnSubmit() {
    const std::wstring content = content_ != nullptr ? content_->GetText().toStdWString() : L"";
    const std::wstring contact = contact_ != nullptr ? contact_->GetText().toStdWString() : L"";
    const std::wstring problem = CheckFeedbackInput(content, contact, loggedIn_ && loggedIn_());
    if (!problem.empty()) {
        if (errorTips_ != nullptr) {
            errorTips_->SetText(QString::fromStdWString(problem));
        }
        return false;
    }
    // The form stays in its modal loop while hidden, so the main window stays disabled
    // until the answer has been shown.
    ShowWindow(false, true);
    const std::wstring answer = SubmitFeedback(content, contact);
    ShowModalBox(new PromptBoxDialog(owner_, QString::fromStdWString(answer)), GetHWND());
    Close(1);
    return true;
}

bool FeedbackDialog::OnContactUs() {
    ShellOpen(QString::fromStdString(HelpAudioPageUrl()));
    return true;
}

} // namespace velquist
