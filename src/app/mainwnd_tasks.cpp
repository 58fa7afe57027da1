// Starting a batch and showing what the jobs report.
#include "mainwnd.h"
#include "platform/path_text.h"
#include "util/shown_name.h"
#include "window_messages.h"

#include <filesystem>
#include <memory>
#include <system_error>

namespace velquist {
namespace {

// Refreshes the estimate of the time left between two finished jobs.
constexpr ui::UINT kBatchTimer = 41;
constexpr ui::UINT kBatchTimerMs = 1000;

struct StatusLook {
    bool waiting;
    bool processing;
    bool succeeded;
    bool failed;
    bool skipped;
};

} // namespace

void CMainWnd::OnStart(ui::TNotifyUI& /*msg*/) {
    if (imageList_->GetCount() == 0) {
        ShowPrompt(QStringLiteral("请先添加heic文件!"));
        return;
    }
    if (!StartBatch(CheckedEntryIds())) {
        ShowPrompt(QStringLiteral("请先勾选要转换的文件!"));
    }
}

bool CMainWnd::StartBatch(const std::vector<int>& ids) {
    if (!engine_->QueueTasks(ids)) {
        return false;
    }
    for (const int id : ids) {
        ClearFailure(imageList_->FindSubControl(QStringLiteral("item-%1").arg(id)));
    }
    batch_.Start(static_cast<int>(ids.size()), BatchProgress::Clock::now());
    SetTimer(kBatchTimer, kBatchTimerMs);
    ShowBatchProgress();
    ShowConverting(true);
    return true;
}

// The engine ends the workers on threads of its own; the window only asks and
// shows the entries come back as their jobs report.
void CMainWnd::OnStop(ui::TNotifyUI& /*msg*/) {
    if (!batch_.Running()) {
        return;
    }
    batch_.Stop();
    focusToStart_ = processingBtn_->IsFocused();
    engine_->StopBatch();
    if (!engine_->IsBusy()) {
        // Nothing had left the queue yet: no job will report, the batch ends here.
        ShowBatchSummary();
        ShowConverting(false);
        return;
    }
    // Once is enough; the button comes back as the start button when the last job is gone.
    processingBtn_->SetEnabled(false);
}

void CMainWnd::OnRetryFailed(ui::TNotifyUI& /*msg*/) {
    if (engine_->IsBusy()) {
        return;
    }
    // The button goes disabled while its batch runs; the keyboard moves on to 停止
    // rather than to whatever control Qt would pick next.
    const bool focused = retryFailed_->IsFocused();
    if (StartBatch(FailedEntries()) && focused) {
        processingBtn_->SetFocus();
    }
}

std::vector<int> CMainWnd::FailedEntries() const {
    std::vector<int> listed;
    // Removed entries keep their records in the engine; only those in the list count.
    for (const int id : engine_->FailedIds()) {
        if (imageList_->FindSubControl(QStringLiteral("item-%1").arg(id)) != nullptr) {
            listed.push_back(id);
        }
    }
    return listed;
}

void CMainWnd::UpdateRetryCommand() {
    retryFailed_->SetEnabled(engine_ && !batch_.Running() && !FailedEntries().empty());
}

void CMainWnd::ShowBatchProgress() {
    if (batchProgress_ == nullptr) {
        return;
    }
    batchProgress_->SetText(
        QString::fromStdString(batch_.ProgressLine(BatchProgress::Clock::now())));
    batchProgress_->SetVisible(true);
    if (summaryOpenDir_ != nullptr) {
        summaryOpenDir_->SetVisible(false);
    }
}

void CMainWnd::ShowBatchSummary() {
    KillTimer(kBatchTimer);
    batch_.End();
    if (batchProgress_ == nullptr) {
        return;
    }
    batchProgress_->SetText(
        QString::fromStdString(batch_.SummaryLine(BatchProgress::Clock::now())));
    batchProgress_->SetVisible(true);
    if (summaryOpenDir_ != nullptr) {
        summaryOpenDir_->SetVisible(batch_.Converted() > 0);
    }
}

void CMainWnd::OnBatchTick() {
    if (batch_.Running()) {
        ShowBatchProgress();
    }
}

// The start button turns into the stop button and back; the keyboard focus goes along,
// so that Enter or Space on the start button can stop what it started.
void CMainWnd::ShowConverting(bool converting) {
    ui::CControlUI* from = converting ? startBtn_ : processingBtn_;
    ui::CControlUI* to = converting ? processingBtn_ : startBtn_;
    const bool moveFocus = from->IsFocused() || (!converting && focusToStart_);
    focusToStart_ = false;
    processingBtn_->SetEnabled(converting);
    to->SetVisible(true);
    if (moveFocus) {
        to->SetFocus();
    }
    from->SetVisible(false);
    UpdateRetryCommand();
}

void CMainWnd::OnTaskStatus(const TaskStatusReport& report) {
    const TaskStatusReport* owned = &report;
    if (!engine_ || !engine_->IsTaskRegistered(owned->task_id)) {
        return;
    }
    const int id = owned->task_id;
    ui::CControlUI* entry = imageList_->FindSubControl(QStringLiteral("item-%1").arg(id));
    ShowEntryStatus(entry, owned->status);
    if (!IsFinalStatus(owned->status)) {
        return;
    }
    // From the status itself: the engine tells its last status only once the task is finished.
    if (owned->status == kTaskStopped) {
        ShowNote(entry, QString::fromWCharArray(kStoppedShown));
    }
    if (owned->status == kTaskFailed) {
        // The engine's own words for the window where it has them, the worker's otherwise.
        const std::wstring shown = engine_->ShownFailureReason(id);
        ShowFailure(entry, shown.empty() ? QString::fromStdString(engine_->FailureReason(id))
                                         : QString::fromStdWString(shown));
    }
    const FinishResult finished = engine_->FinishTask(id);
    if (finished.finished && batch_.Running()) {
        CountFinished(owned->status);
        ShowBatchProgress();
    }
    if (finished.batchEnded) {
        ShowBatchSummary();
        ShowConverting(false);
    }
}

void CMainWnd::CountFinished(int status) {
    if (status == kTaskSkipped) {
        batch_.Skipped();
    } else if (status == kTaskStopped) {
        batch_.Interrupted();
    } else {
        batch_.Finished(status == kTaskFailed);
    }
}

void CMainWnd::ShowFailure(ui::CControlUI* entry, const QString& reason) {
    if (entry == nullptr) {
        return;
    }
    // A reason may quote a name: its control characters are shown, not obeyed.
    const QString shown = reason.isEmpty()
                              ? QStringLiteral("原因不明")
                              : QString::fromStdWString(VisibleControls(reason.toStdWString()));
    if (ui::CControlUI* failed = entry->FindSubControl(QStringLiteral("status-failed"))) {
        failed->SetToolTip(shown);
    }
    if (ui::CControlUI* details = entry->FindSubControl(QStringLiteral("failReason"))) {
        details->SetText(shown);
        details->SetVisible(true);
    }
}

// "已停止": on the entry's second line, without the failure mark.
void CMainWnd::ShowNote(ui::CControlUI* entry, const QString& note) {
    if (entry == nullptr) {
        return;
    }
    if (ui::CControlUI* details = entry->FindSubControl(QStringLiteral("failReason"))) {
        details->SetText(note);
        details->SetVisible(!note.isEmpty());
    }
}

void CMainWnd::ClearFailure(ui::CControlUI* entry) {
    if (entry == nullptr) {
        return;
    }
    if (ui::CControlUI* failed = entry->FindSubControl(QStringLiteral("status-failed"))) {
        failed->SetToolTip(QString());
    }
    if (ui::CControlUI* details = entry->FindSubControl(QStringLiteral("failReason"))) {
        details->SetText(QString());
        details->SetVisible(false);
    }
}

bool CMainWnd::OutputExists(int id) const {
    const auto item = engine_->GetImageItem(id);
    if (!item || item->outputPath.empty()) {
        return false;
    }
    std::error_code error;
    return std::filesystem::is_regular_file(
        QStringToPathBytes(QString::fromStdWString(item->outputPath)), error);
}

void CMainWnd::ShowEntryStatus(ui::CControlUI* entry, int status) {
    if (entry == nullptr) {
        return;
    }
    StatusLook look{};
    switch (status) {
    case kTaskProcessing:
        look = {false, true, false, false, false};
        break;
    case kTaskFailed:
        look = {false, false, false, true, false};
        break;
    case kTaskSucceeded:
        look = {false, false, true, false, false};
        break;
    case kTaskStopped: // back to waiting; it can be started again
        look = {true, false, false, false, false};
        break;
    case kTaskSkipped: // its output was there already
        look = {false, false, false, false, true};
        break;
    default:
        return;
    }
    const std::pair<const char*, bool> parts[] = {{"status-waiting", look.waiting},
                                                  {"status-processing", look.processing},
                                                  {"status-sucess", look.succeeded},
                                                  {"status-failed", look.failed},
                                                  {"status-skipped", look.skipped}};
    for (const auto& [name, visible] : parts) {
        if (ui::CControlUI* part = entry->FindSubControl(QLatin1String(name))) {
            part->SetVisible(visible);
        }
    }
    // A failure leaves the preview button as it was; a skipped entry previews the
    // output that made it skip.
    if (ui::CControlUI* preview = entry->FindSubControl(QStringLiteral("preview"));
        preview != nullptr && status != kTaskFailed) {
        preview->SetVisible(status == kTaskSucceeded ||
                            (status == kTaskSkipped && OutputExists(entry->GetTag())));
    }
}

} // namespace velquist
