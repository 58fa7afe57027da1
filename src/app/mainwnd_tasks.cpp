// Starting a batch and showing what the jobs report.
#include "mainwnd.h"
#include "window_messages.h"

#include <memory>

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
};

} // namespace

void CMainWnd::OnStart(ui::TNotifyUI& /*msg*/) {
    if (imageList_->GetCount() == 0) {
        ShowPrompt(QStringLiteral("请先添加heic文件!"));
        return;
    }
    std::vector<int> ids;
    for (int i = 0, n = imageList_->GetCount(); i < n; ++i) {
        ui::CControlUI* check =
            imageList_->GetItemAt(i)->FindSubControl(QStringLiteral("imageCheckBox"));
        if (check != nullptr && check->GetCheck()) {
            ids.push_back(check->GetTag());
        }
    }
    if (!engine_->QueueTasks(ids)) {
        ShowPrompt(QStringLiteral("请先勾选要转换的文件!"));
        return;
    }
    for (const int id : ids) {
        ClearFailure(imageList_->FindSubControl(QStringLiteral("item-%1").arg(id)));
    }
    batch_.Start(static_cast<int>(ids.size()), BatchProgress::Clock::now());
    SetTimer(kBatchTimer, kBatchTimerMs);
    ShowBatchProgress();
    ShowConverting(true);
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
        summaryOpenDir_->SetVisible(batch_.Done() > batch_.Failed());
    }
}

void CMainWnd::OnBatchTick() {
    if (batch_.Running()) {
        ShowBatchProgress();
    }
}

void CMainWnd::ShowConverting(bool converting) {
    startBtn_->SetVisible(!converting);
    processingBtn_->SetVisible(converting);
    processingBtn_->SetMouseEnabled(false);
}

void CMainWnd::OnTaskStatus(TaskStatusReport* report) {
    const std::unique_ptr<TaskStatusReport> owned(report);
    if (owned == nullptr || !engine_ || !engine_->IsTaskRegistered(owned->task_id)) {
        return;
    }
    const int id = owned->task_id;
    ui::CControlUI* entry = imageList_->FindSubControl(QStringLiteral("item-%1").arg(id));
    ShowEntryStatus(entry, owned->status);
    if (!IsFinalStatus(owned->status)) {
        return;
    }
    if (owned->status == kTaskStopped || owned->status == kTaskSkipped) {
        ShowNote(entry, QString::fromStdWString(engine_->ShownStatusText(id)));
    }
    if (owned->status == kTaskFailed) {
        // The engine's own words for the window where it has them, the worker's otherwise.
        const std::wstring shown = engine_->ShownFailureReason(id);
        ShowFailure(entry, shown.empty() ? QString::fromStdString(engine_->FailureReason(id))
                                         : QString::fromStdWString(shown));
    }
    const FinishResult finished = engine_->FinishTask(id);
    if (finished.finished && batch_.Running()) {
        batch_.Finished(owned->status == kTaskFailed);
        ShowBatchProgress();
    }
    if (finished.batchEnded) {
        ShowConverting(false);
        ShowBatchSummary();
    }
}

void CMainWnd::ShowFailure(ui::CControlUI* entry, const QString& reason) {
    if (entry == nullptr) {
        return;
    }
    const QString shown = reason.isEmpty() ? QStringLiteral("原因不明") : reason;
    if (ui::CControlUI* failed = entry->FindSubControl(QStringLiteral("status-failed"))) {
        failed->SetToolTip(shown);
    }
    if (ui::CControlUI* details = entry->FindSubControl(QStringLiteral("failReason"))) {
        details->SetText(shown);
        details->SetVisible(true);
    }
}

// "已停止", "已跳过": on the entry's second line, without the failure mark.
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

void CMainWnd::ShowEntryStatus(ui::CControlUI* entry, int status) {
    if (entry == nullptr) {
        return;
    }
    StatusLook look{};
    switch (status) {
    case kTaskProcessing:
        look = {false, true, false, false};
        break;
    case kTaskFailed:
        look = {false, false, false, true};
        break;
    case kTaskSucceeded:
        look = {false, false, true, false};
        break;
    case kTaskStopped: // back to waiting; it can be started again
    case kTaskSkipped: // its output was there already
        look = {true, false, false, false};
        break;
    default:
        return;
    }
    const std::pair<const char*, bool> parts[] = {{"status-waiting", look.waiting},
                                                  {"status-processing", look.processing},
                                                  {"status-sucess", look.succeeded},
                                                  {"status-failed", look.failed}};
    for (const auto& [name, visible] : parts) {
        if (ui::CControlUI* part = entry->FindSubControl(QLatin1String(name))) {
            part->SetVisible(visible);
        }
    }
    // A failure leaves the preview button as it was.
    if (ui::CControlUI* preview = entry->FindSubControl(QStringLiteral("preview"));
        preview != nullptr && status != kTaskFailed) {
        preview->SetVisible(status == kTaskSucceeded);
    }
}

} // namespace velquist
