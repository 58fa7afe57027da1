// Starting a batch and showing what the jobs report.
#include "mainwnd.h"
#include "window_messages.h"

#include <memory>

namespace velquist {
namespace {

struct StatusLook {
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
    ShowConverting(true);
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
    ShowEntryStatus(imageList_->FindSubControl(QStringLiteral("item-%1").arg(id)), owned->status);
    if (!IsFinalStatus(owned->status)) {
        return;
    }
    if (engine_->FinishTask(id).batchEnded) {
        ShowConverting(false);
    }
}

void CMainWnd::ShowEntryStatus(ui::CControlUI* entry, int status) {
    if (entry == nullptr) {
        return;
    }
    StatusLook look{};
    switch (status) {
    case kTaskProcessing:
        look = {true, false, false};
        break;
    case kTaskFailed:
        look = {false, false, true};
        break;
    case kTaskSucceeded:
        look = {false, true, false};
        break;
    default:
        return;
    }
    const std::pair<const char*, bool> parts[] = {{"status-waiting", false},
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
