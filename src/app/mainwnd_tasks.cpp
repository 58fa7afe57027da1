// Starting a batch and showing what the jobs report.
#include "mainwnd.h"
#include "platform/app_translations.h"
#include "platform/path_text.h"
#include "util/shown_name.h"
#include "window_messages.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QWidget>
#include <filesystem>
#include <memory>
#include <system_error>

namespace velquist {
namespace {

// Refreshes the estimate of the time left between two finished jobs.
constexpr ui::UINT kBatchTimer = 41;
constexpr ui::UINT kBatchTimerMs = 1000;

} // namespace

void CMainWnd::OnStart(ui::TNotifyUI& /*msg*/) {
    if (imageList_->GetCount() == 0) {
        ShowPrompt(QCoreApplication::translate("Velquist", "请先添加heic文件!"));
        return;
    }
    if (!StartBatch(CheckedEntryIds())) {
        ShowPrompt(QCoreApplication::translate("Velquist", "请先勾选要转换的文件!"));
    }
}

bool CMainWnd::StartBatch(const std::vector<int>& ids) {
    if (!engine_->QueueTasks(ids)) {
        return false;
    }
    // What an entry showed is about the last run; this run starts from waiting. Only the
    // entries that show something else are touched: a fresh list of thousands starts at once.
    for (const int id : ids) {
        if (marked_.count(id) != 0) {
            ShowEntryView(id, EntryView{});
        }
    }
    batch_.Start(ids, BatchPresenter::Clock::now());
    halting_ = false;
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
        EndBatch();
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
    // Removed entries stay in the batch's records; only those in the list count.
    for (const int id : batch_.FailedIds()) {
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
        QString::fromStdString(batch_.ProgressLine(BatchPresenter::Clock::now())));
    batchProgress_->SetVisible(true);
    if (summaryOpenDir_ != nullptr) {
        summaryOpenDir_->SetVisible(false);
    }
}

void CMainWnd::ShowBatchSummary() {
    KillTimer(kBatchTimer);
    batch_.End(BatchPresenter::Clock::now());
    if (const std::string halt = batch_.HaltMessage(); !halt.empty()) {
        // After the buttons are back: the box waits for the user.
        QMetaObject::invokeMethod(
            GetWidget(), [this, text = ShownText(halt.c_str())] { ShowPrompt(text); },
            Qt::QueuedConnection);
    }
    if (batchProgress_ == nullptr) {
        return;
    }
    batchProgress_->SetText(
        QString::fromStdString(batch_.SummaryLine(BatchPresenter::Clock::now())));
    batchProgress_->SetVisible(true);
    if (summaryOpenDir_ != nullptr) {
        summaryOpenDir_->SetVisible(batch_.Succeeded() > 0);
    }
}

void CMainWnd::EndBatch() {
    ShowBatchSummary();
    ShowConverting(false);
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
    TaskEnd end{id, static_cast<TaskStatus>(owned->status), {}, FailureKind::kOther};
    if (!IsFinalStatus(owned->status)) {
        ShowEntryView(id, ViewOf(end));
        return;
    }
    // From the status itself: the engine tells its last status only once the task is finished.
    end.reason = engine_->FailureReason(id);
    end.kind = engine_->FailureKindOf(id);
    const FinishResult finished = engine_->FinishTask(id);
    const bool counted = finished.finished && batch_.Running();
    ShowEntryView(id, counted ? batch_.Finished(end) : ViewOf(end));
    if (!counted) {
        return;
    }
    ShowBatchProgress();
    if (finished.batchEnded) {
        EndBatch();
    } else if (batch_.Halt() != BatchHalt::kNone && !halting_) {
        // Nothing after a full disk or a vanished folder could be written: the rest waits.
        halting_ = true;
        engine_->StopBatch();
        processingBtn_->SetEnabled(false);
        if (!engine_->IsBusy()) {
            EndBatch();
        }
    }
}

// The parts of an entry a status changes, by their place in the entry template: found by
// name once, since a lookup by name for each part of thousands of entries shows at a start.
ui::CControlUI* CMainWnd::EntryPart(ui::CControlUI* entry, EntryPartIndex part) {
    static const QString names[kEntryPartCount] = {
        QStringLiteral("status-waiting"), QStringLiteral("status-processing"),
        QStringLiteral("status-sucess"),  QStringLiteral("status-failed"),
        QStringLiteral("status-skipped"), QStringLiteral("failReason"),
        QStringLiteral("preview")};
    int& index = entryParts_[part];
    if (index < 0) {
        index = entry->GetItemIndex(entry->FindSubControl(names[part]));
        if (index < 0) {
            return entry->FindSubControl(names[part]);
        }
    }
    return entry->GetItemAt(index);
}

// The status mark, the second line with its tool tip, and the preview where the output is.
void CMainWnd::ShowEntryView(int id, const EntryView& view) {
    const bool fresh = view.look == EntryLook::kWaiting && view.note.empty() && !view.preview;
    if (fresh) {
        marked_.erase(id);
    } else {
        marked_.insert(id);
    }
    ui::CControlUI* entry = imageList_->FindSubControl(QStringLiteral("item-%1").arg(id));
    if (entry == nullptr) {
        return;
    }
    const std::pair<EntryPartIndex, EntryLook> marks[] = {{kPartWaiting, EntryLook::kWaiting},
                                                          {kPartProcessing, EntryLook::kProcessing},
                                                          {kPartSucceeded, EntryLook::kSucceeded},
                                                          {kPartFailed, EntryLook::kFailed},
                                                          {kPartSkipped, EntryLook::kSkipped}};
    for (const auto& [index, look] : marks) {
        ShowPart(EntryPart(entry, index), view.look == look);
    }
    if (view.look == EntryLook::kProcessing) {
        return;
    }
    // A reason may quote a name: its control characters are shown, not obeyed. The
    // presenter's own words come in the window's language; the worker's stay as they are.
    const auto shown = [](const std::string& text) {
        return text.empty() ? QString()
                            : QString::fromStdWString(
                                  VisibleControls(ShownText(text.c_str()).toStdWString()));
    };
    if (ui::CControlUI* failed = EntryPart(entry, kPartFailed)) {
        failed->SetToolTip(shown(view.detail));
    }
    if (ui::CControlUI* details = EntryPart(entry, kPartReason)) {
        details->SetText(shown(view.note));
        ShowPart(details, !view.note.empty());
    }
    // A skipped entry previews the file that made it skip, if that is still there.
    ShowPart(EntryPart(entry, kPartPreview),
             view.preview && (view.look != EntryLook::kSkipped || OutputExists(id)));
}

bool CMainWnd::OutputExists(int id) const {
    const auto item = engine_->GetImageItem(id);
    std::error_code error;
    return item && !item->outputPath.empty() &&
           std::filesystem::is_regular_file(item->outputPath, error);
}

void CMainWnd::ShowPart(ui::CControlUI* part, bool visible) {
    if (part != nullptr && part->IsVisible() != visible) {
        part->SetVisible(visible);
    }
}

} // namespace velquist
