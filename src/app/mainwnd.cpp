#include "mainwnd.h"

#include "account/dialogs/account_dialogs.h"
#include "config/app_paths.h"
#include "config/config_file.h"
#include "convert/conversion_settings.h"
#include "dialogs/dialog_base.h"
#include "dialogs/message_box_dialog.h"
#include "dialogs/prompt_box_dialog.h"
#include "list_thumbnails.h"
#include "main_settings.h"
#include "net/dialogs/net_dialogs.h"
#include "platform/path_text.h"
#include "platform/pickers.h"
#include "platform/shell_open.h"
#include "tasks/worker_fence.h"
#include "tasks/worker_pool_job_runner.h"
#include "tray_icon.h"
#include "ui/messages.h"
#include "ui/paint_manager.h"
#include "util/text.h"
#include "window_messages.h"

#include <QCoreApplication>
#include <QIcon>
#include <QWidget>
#include <stdexcept>

namespace velquist {
namespace {

constexpr const wchar_t* kSection = L"global";

std::shared_ptr<JobRunner> DefaultRunner() {
    const QString worker =
        ui::CPaintManagerUI::GetInstancePath() + QStringLiteral("velquist-convert");
    return std::make_shared<WorkerPoolJobRunner>(
        WorkerOptions{{worker.toStdString()}, WorkerAddressLimit(kDefaultWorkerMemoryLimit)});
}

std::wstring ReadSetting(const wchar_t* key, const wchar_t* fallback) {
    std::wstring value;
    ReadConfigValue(kSection, key, fallback, value);
    return value;
}

void WriteSetting(const wchar_t* key, const QString& value) {
    WriteConfigValue(kSection, key, value.toStdWString());
}

ui::CControlUI* Find(ui::WindowImplBase& window, const char* name) {
    return window.FindControl(QLatin1String(name));
}

} // namespace

CMainWnd::CMainWnd(std::shared_ptr<JobRunner> runner) : runner_(std::move(runner)) {
    clickHandlers_ = {
        {QStringLiteral("choose-dir-btn"), &CMainWnd::OnChooseDir},
        {QStringLiteral("open-dir-btn"), &CMainWnd::OnOpenDir},
        {QStringLiteral("summary-open-dir"), &CMainWnd::OnOpenDir},
        {QStringLiteral("add-image-file"), &CMainWnd::OnAddFiles},
        {QStringLiteral("add-image-file-info"), &CMainWnd::OnAddFiles},
        {QStringLiteral("add-image-dir"), &CMainWnd::OnAddFolder},
        {QStringLiteral("add-image-dir-info"), &CMainWnd::OnAddFolder},
        {QStringLiteral("imagecheckboxall"), &CMainWnd::OnSelectAll},
        {QStringLiteral("imagecheckbox"), &CMainWnd::OnEntryTicked},
        {QStringLiteral("image-convert-start-btn"), &CMainWnd::OnStart},
        {QStringLiteral("image-remove-all"), &CMainWnd::OnRemoveChecked},
        {QStringLiteral("image-remove"), &CMainWnd::OnRemoveOne},
        {QStringLiteral("preview"), &CMainWnd::OnPreview},
        {QStringLiteral("image-convert-processing-btn"), &CMainWnd::OnStop},
        {QStringLiteral("retry-failed-btn"), &CMainWnd::OnRetryFailed},
    };
}

CMainWnd::~CMainWnd() {
    // First, while everything the jobs report to still exists.
    engine_.reset();
    thumbnails_.reset();
}

QString CMainWnd::GetWindowClassName() const {
    return QStringLiteral("HEIC图片转换器");
}

QString CMainWnd::GetSkinFile() {
    return Guarded("CMainWnd::GetSkinFile", [] { return QStringLiteral("MainWindow.xml"); });
}

void CMainWnd::InitWindow() {
    Guarded("CMainWnd::Init", [this] {
        GetWidget()->setProperty("Morvane", 1);
        SetIcon(QStringLiteral("images/logo-256.png"));
        tray_ = std::make_unique<TrayIcon>(GetHWND(), GetWidget()->windowIcon(),
                                           QStringLiteral("Velquist"));
        tray_->Add();
        statusTarget_ = GetHWND();
        LookUpControls();
        outputDirPath_->SetText(ShownPath(WideToPath(GetOutputDir())));
        RestoreSettings();
        InstallDropTarget();
        StartBackgroundThreads();
    });
}

void CMainWnd::LookUpControls() {
    login_ = Find(*this, "login");
    separator_ = Find(*this, "separator");
    register_ = Find(*this, "register");
    username_ = Find(*this, "username");
    feedback_ = Find(*this, "feedback");
    help_ = Find(*this, "help");
    imageFormat_ = Find(*this, "image-format");
    imageQuality_ = Find(*this, "image-quality");
    outputDirPath_ = Find(*this, "output-dir-path");
    chooseDirBtn_ = Find(*this, "choose-dir-btn");
    openDirBtn_ = Find(*this, "open-dir-btn");
    imageExif_ = Find(*this, "image-exif");
    stripLocation_ = Find(*this, "image-strip-location");
    keepDate_ = Find(*this, "keep-date");
    allImages_ = Find(*this, "image-all-images");
    includeSubfolders_ = Find(*this, "include-subfolders");
    existingFile_ = Find(*this, "existing-file");
    imageMaxSize_ = Find(*this, "image-max-size");
    retryFailed_ = Find(*this, "retry-failed-btn");
    addImageFile_ = Find(*this, "add-image-file");
    addImageDir_ = Find(*this, "add-image-dir");
    imageList_ = Find(*this, "image-list");
    startBtn_ = Find(*this, "image-convert-start-btn");
    processingBtn_ = Find(*this, "image-convert-processing-btn");
    emptyPanel_ = Find(*this, "image-list-empty");
    batchProgress_ = Find(*this, "batch-progress");
    summaryOpenDir_ = Find(*this, "summary-open-dir");
    const std::pair<const char*, ui::CControlUI*> required[] = {
        {"login", login_},
        {"separator", separator_},
        {"register", register_},
        {"username", username_},
        {"feedback", feedback_},
        {"help", help_},
        {"image-format", imageFormat_},
        {"image-quality", imageQuality_},
        {"output-dir-path", outputDirPath_},
        {"choose-dir-btn", chooseDirBtn_},
        {"open-dir-btn", openDirBtn_},
        {"image-exif", imageExif_},
        {"image-strip-location", stripLocation_},
        {"keep-date", keepDate_},
        {"image-all-images", allImages_},
        {"include-subfolders", includeSubfolders_},
        {"existing-file", existingFile_},
        {"image-max-size", imageMaxSize_},
        {"retry-failed-btn", retryFailed_},
        {"add-image-file", addImageFile_},
        {"add-image-dir", addImageDir_},
        {"image-list", imageList_},
        {"image-convert-start-btn", startBtn_},
        {"image-convert-processing-btn", processingBtn_}};
    std::string missing;
    for (const auto& [name, control] : required) {
        if (control == nullptr) {
            missing += missing.empty() ? name : std::string(", ") + name;
        }
    }
    if (!missing.empty()) {
        throw std::runtime_error("the main window's skin lacks " + missing);
    }
}

void CMainWnd::RestoreSettings() {
    const int format = FormatIndexFor(ReadSetting(L"image-format", L"jpg"));
    if (format >= 0) {
        imageFormat_->SelectItem(format, false, false);
    }
    const int quality =
        QualityIndexFor(ReadSetting(L"image-quality", std::to_wstring(kDefaultQuality).c_str()));
    if (quality >= 0) {
        imageQuality_->SelectItem(quality, false, false);
    }
    imageExif_->SetCheck(ExifCheckedFor(ReadSetting(L"image-exif", L"1")), false);
    RestoreOptions();
}

void CMainWnd::StartBackgroundThreads() {
    StartUpdateCheckThread(this, [this] { return engine_ && engine_->IsBusy(); });
    StartAutoLoginThread(this);
    // The engine's dispatcher thread is the third.
    engine_ = std::make_unique<TaskEngine>(this, runner_ ? runner_ : DefaultRunner());
    PublishSettings();
    StartThumbnails();
}

void CMainWnd::PublishSettings() {
    if (!engine_) {
        return;
    }
    ConversionSettings settings;
    settings.format =
        ParseOutputFormat(imageFormat_->GetText().toStdString()).value_or(OutputFormat::kJpg);
    settings.quality = imageQuality_->GetText().toInt();
    settings.keepExif = imageExif_->GetCheck();
    ReadOptions(settings);
    // Left empty: the engine asks for the configured folder at each dispatch.
    settings.outputDir.clear();
    engine_->PublishSettings(settings);
}

void CMainWnd::ShowPrompt(const QString& text) {
    ShowModalBox(std::make_unique<PromptBoxDialog>(this, text), GetHWND());
}

void CMainWnd::Notify(ui::TNotifyUI& msg) {
    if (msg.pSender != nullptr) {
        if (const Handler handler = HandlerFor(msg)) {
            (this->*handler)(msg);
        }
    }
    WindowImplBase::Notify(msg);
}

CMainWnd::Handler CMainWnd::HandlerFor(const ui::TNotifyUI& msg) const {
    using Table = std::vector<std::pair<ui::CControlUI*, Handler>>;
    const std::pair<const char*, Table> byType[] = {
        {ui::kNotifyClick,
         {{login_, &CMainWnd::OnLogin},
          {register_, &CMainWnd::OnRegister},
          {username_, &CMainWnd::OnUsername},
          {feedback_, &CMainWnd::OnFeedback},
          {help_, &CMainWnd::OnHelp}}},
        {ui::kNotifyItemSelect,
         {{imageFormat_, &CMainWnd::OnFormatSelected},
          {imageQuality_, &CMainWnd::OnQualitySelected},
          {existingFile_, &CMainWnd::OnExistingFileSelected},
          {imageMaxSize_, &CMainWnd::OnMaxSizeSelected}}},
        {ui::kNotifySelectChanged,
         {{imageExif_, &CMainWnd::OnExifChanged},
          {stripLocation_, &CMainWnd::OnOptionChanged},
          {keepDate_, &CMainWnd::OnOptionChanged},
          {allImages_, &CMainWnd::OnOptionChanged},
          {includeSubfolders_, &CMainWnd::OnOptionChanged}}},
    };
    for (const auto& [type, table] : byType) {
        if (msg.sType != QLatin1String(type)) {
            continue;
        }
        for (const auto& [control, handler] : table) {
            if (control != nullptr && control == msg.pSender) {
                return handler;
            }
        }
    }
    if (msg.sType != QLatin1String(ui::kNotifyClick)) {
        return nullptr;
    }
    // The rest by name: the entries' buttons share theirs, and two buttons may do one thing.
    const auto it = clickHandlers_.find(msg.pSender->GetName().toLower());
    return it == clickHandlers_.end() ? nullptr : it->second;
}

void CMainWnd::OnFormatSelected(ui::TNotifyUI& /*msg*/) {
    WriteSetting(L"image-format", imageFormat_->GetText());
    PublishSettings();
}

void CMainWnd::OnQualitySelected(ui::TNotifyUI& /*msg*/) {
    WriteSetting(L"image-quality", imageQuality_->GetText());
    PublishSettings();
}

void CMainWnd::OnExifChanged(ui::TNotifyUI& /*msg*/) {
    WriteSetting(L"image-exif", imageExif_->GetCheck() ? QStringLiteral("1") : QStringLiteral("0"));
    // Removing the location is a choice about the kept Exif data only.
    stripLocation_->SetEnabled(imageExif_->GetCheck());
    PublishSettings();
}

void CMainWnd::OnChooseDir(ui::TNotifyUI& /*msg*/) {
    const QString folder =
        PickFolder(GetWidget(), QCoreApplication::translate("Velquist", "选择存放目录"),
                   outputDirPath_->GetText());
    if (folder.isEmpty()) {
        return;
    }
    SetOutputFolder(folder);
}

bool CMainWnd::SetOutputFolder(const QString& folder) {
    if (!CanWriteInFolder(folder.toStdString())) {
        ShowPrompt(QCoreApplication::translate("Velquist", "该目录没有写入权限!"));
        return false;
    }
    outputDirPath_->SetText(folder);
    WriteSetting(L"output-dir", folder);
    return true;
}

void CMainWnd::OnEntryTicked(ui::TNotifyUI& /*msg*/) {
    OnListChanged();
}

// Entries came, went or were ticked: 全选 shows whether every entry is ticked, and the
// last batch's summary goes once none of its entries is left to speak of.
void CMainWnd::OnListChanged() {
    const int count = imageList_->GetCount();
    if (count == 0 && !batch_.Running()) {
        for (ui::CControlUI* summary : {batchProgress_, summaryOpenDir_}) {
            if (summary != nullptr) {
                summary->SetVisible(false);
            }
        }
    }
    if (ui::CControlUI* all = Find(*this, "imageCheckBoxAll")) {
        all->SetCheck(static_cast<int>(CheckedEntryIds().size()) == count, false);
    }
}

void CMainWnd::OnOpenDir(ui::TNotifyUI& /*msg*/) {
    // The folder the engine writes to, by its bytes: the shown text may have lost some.
    ShellOpenPath(WideToPath(GetOutputDir()));
}

ui::LRESULT CMainWnd::OnClose(ui::UINT, ui::WPARAM, ui::LPARAM, bool& bHandled) {
    bHandled = false;
    if (askingToClose_) {
        // A second close while the question is open: the open question decides.
        bHandled = true;
        return 0;
    }
    if (!engine_ || !engine_->IsBusy()) {
        return 0;
    }
    askingToClose_ = true;
    const int answer =
        ShowModalBox(std::make_unique<MessageBoxDialog>(
                         this, QCoreApplication::translate("Velquist", "正在转换中,确定要退出吗?")),
                     GetHWND());
    askingToClose_ = false;
    bHandled = answer != 1;
    return 0;
}

ui::LRESULT CMainWnd::OnDestroy(ui::UINT, ui::WPARAM, ui::LPARAM, bool& bHandled) {
    if (engine_) {
        engine_->StopBatch(); // the workers go while the window is torn down
    }
    tray_.reset();
    thumbnails_.reset();
    ui::PostQuitMessage(0);
    bHandled = false;
    return 0;
}

ui::LRESULT CMainWnd::HandleCustomMessage(ui::UINT uMsg, ui::WPARAM /*wParam*/, ui::LPARAM lParam,
                                          bool& bHandled) {
    bHandled = true;
    switch (uMsg) {
    case kMsgOpenOutputDir:
        ShellOpenPath(WideToPath(GetOutputDir()));
        return 0;
    case kMsgQuit:
        ui::PostMessage(GetHWND(), ui::WM_CLOSE, kMsgQuit, 0);
        return 0;
    case kMsgShowMain:
        ShowMainWindow();
        return 0;
    case kMsgOpenHelp:
        OpenHelpPage();
        return 0;
    case kMsgFeedback:
        ShowMainWindow();
        ShowFeedbackDialog();
        return 0;
    case kMsgCheckUpdate:
        return CheckForUpdate();
    case ui::WM_TIMER:
        OnBatchTick();
        return 0;
    case kMsgTrayNotify:
        OnTrayNotify(lParam);
        return 0;
    default:
        bHandled = false;
        return 0;
    }
}

bool CMainWnd::PostTaskStatus(TaskStatusReport* report) {
    // The window takes the status as a value; the record is freed here once the
    // post is accepted, and left to the job when it is refused.
    const TaskStatusReport status = *report;
    if (!ui::PostToWindow(statusTarget_.load(), [this, status] { OnTaskStatus(status); })) {
        return false;
    }
    delete report;
    return true;
}

} // namespace velquist
