#pragma once

#include "tasks/batch_presenter.h"
#include "tasks/job_runner.h"
#include "tasks/task_engine.h"
#include "tasks/task_owner.h"
#include "ui/control.h"
#include "ui/notify.h"
#include "ui/window_impl_base.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

class QObject;

namespace velquist {

class ListThumbnails;
class TrayIcon;

// The configuration key of the folder the image pickers opened last.
inline constexpr const wchar_t* kPickerFolderKey = L"picker-dir";
// Where the image pickers open: the folder used last, the first time (or when
// that folder is gone) the user's Pictures folder.
QString PickerStartFolder();
void RememberPickerFolder(const QString& folder);
// "1" or "0" (off by default): an added folder brings its subfolders' photos too, and their
// outputs mirror the folder's tree below the output folder.
inline constexpr wchar_t kIncludeSubfoldersKey[] = L"include-subfolders";

// The program's one top-level window: the image list, the conversion settings,
// the start button, the account and service links and the tray icon. It owns
// the conversion engine; jobs report back through ui::PostToWindow (kMsgTaskStatus's
// handler, OnTaskStatus).
// Its opener keeps it until its window is gone (ui::KeepUntilGone).
class CMainWnd : public ui::WindowImplBase, public TaskOwner {
  public:
    // runner: how jobs convert; by default the worker process "velquist-convert"
    // beside the executable.
    explicit CMainWnd(std::shared_ptr<JobRunner> runner = nullptr);
    ~CMainWnd() override;

    QString GetWindowClassName() const override;
    void InitWindow() override;
    QString GetSkinFile() override;
    ui::LRESULT OnClose(ui::UINT uMsg, ui::WPARAM wParam, ui::LPARAM lParam,
                        bool& bHandled) override;
    ui::LRESULT OnDestroy(ui::UINT uMsg, ui::WPARAM wParam, ui::LPARAM lParam,
                          bool& bHandled) override;
    ui::LRESULT HandleCustomMessage(ui::UINT uMsg, ui::WPARAM wParam, ui::LPARAM lParam,
                                    bool& bHandled) override;
    void Notify(ui::TNotifyUI& msg) override;

    // Any thread: a job's status, handed to the window's own thread.
    bool PostTaskStatus(TaskStatusReport* report) override;

    // What the file dialog, the folder picker and a drop feed into the list. Paths are
    // the names' bytes; the text forms are for what Qt's pickers answer.
    void AddImageFiles(const std::vector<std::string>& paths);
    void AddImageFiles(const QStringList& paths);
    void AddImageFolder(const std::string& folder);
    void AddImageFolder(const QString& folder);
    void AddDroppedPaths(const std::vector<std::string>& paths);
    // Files handed to the program to open (command line, a later start): files
    // join as the add-files command adds them, folders by the folder rule.
    void AddOpenedPaths(const std::vector<std::string>& paths);
    // The output folder after the write test; false (and nothing changed) when
    // the folder is not writable.
    bool SetOutputFolder(const QString& folder);

    TaskEngine* Engine() const { return engine_.get(); }
    // Folders and drops still being scanned; their entries join when done.
    int PendingScans() const { return static_cast<int>(pendingAdds_.size()); }
    // The pictures in the list; null when the thumbnail worker is not installed.
    ListThumbnails* Thumbnails() const { return thumbnails_.get(); }

  private:
    using Handler = void (CMainWnd::*)(ui::TNotifyUI&);

    void LookUpControls();
    // What handles the notification: by control for the window's own, by name for the
    // list entries' buttons; null for none.
    Handler HandlerFor(const ui::TNotifyUI& msg) const;
    void RestoreSettings();
    void StartBackgroundThreads();
    void PublishSettings();
    void ShowPrompt(const QString& text);

    // Commands by sender.
    void OnLogin(ui::TNotifyUI& msg);
    void OnRegister(ui::TNotifyUI& msg);
    void OnUsername(ui::TNotifyUI& msg);
    void OnFeedback(ui::TNotifyUI& msg);
    void OnHelp(ui::TNotifyUI& msg);
    void OnChooseDir(ui::TNotifyUI& msg);
    void OnOpenDir(ui::TNotifyUI& msg);
    void OnAddFiles(ui::TNotifyUI& msg);
    void OnAddFolder(ui::TNotifyUI& msg);
    void OnSelectAll(ui::TNotifyUI& msg);
    void OnEntryTicked(ui::TNotifyUI& msg);
    void OnListChanged();
    void OnStart(ui::TNotifyUI& msg);
    void OnRemoveChecked(ui::TNotifyUI& msg);
    // The ids of the entries whose check box is ticked, in list order.
    std::vector<int> CheckedEntryIds() const;
    void OnRemoveOne(ui::TNotifyUI& msg);
    void OnPreview(ui::TNotifyUI& msg);
    void OnFormatSelected(ui::TNotifyUI& msg);
    void OnQualitySelected(ui::TNotifyUI& msg);
    void OnExifChanged(ui::TNotifyUI& msg);
    void OnStop(ui::TNotifyUI& msg);
    void OnRetryFailed(ui::TNotifyUI& msg);
    void OnExistingFileSelected(ui::TNotifyUI& msg);
    void OnMaxSizeSelected(ui::TNotifyUI& msg);
    void OnOptionChanged(ui::TNotifyUI& msg);

    // The options beside the format and the folder: restored, saved, and read into settings.
    void RestoreOptions();
    void SaveOption(ui::CControlUI* box);
    void ReadOptions(ConversionSettings& settings) const;
    bool IncludeSubfolders() const;

    // Services that arrive with the account, feedback and update work.
    void ShowFeedbackDialog();
    int CheckForUpdate();

    // The image list.
    void AddImageItems(std::vector<ImageItem> items);
    void AddOneItem(ImageItem item);
    void RemoveEntry(int id);
    void UpdateEmptyState();
    void InstallDropTarget();
    void StartThumbnails();
    // Scans off the GUI thread; the entries join in the order the adds were asked.
    void ScanInBackground(std::function<std::vector<ImageItem>()> scan);
    // kMsgItemsScanned's handler: the entries one scan found, by its sequence number.
    void OnItemsScanned(int seq, std::vector<ImageItem> items);

    // Conversion status and the tray.
    // kMsgTaskStatus's handler.
    void OnTaskStatus(const TaskStatusReport& report);
    void ShowEntryView(int id, const EntryView& view);
    enum EntryPartIndex {
        kPartWaiting,
        kPartProcessing,
        kPartSucceeded,
        kPartFailed,
        kPartSkipped,
        kPartReason,
        kPartPreview,
        kEntryPartCount
    };
    ui::CControlUI* EntryPart(ui::CControlUI* entry, EntryPartIndex part);
    static void ShowPart(ui::CControlUI* part, bool visible);
    // The entry's output file is on disk.
    bool OutputExists(int id) const;
    void ShowConverting(bool converting);
    // Queues the ids as one batch; false when none could be queued.
    bool StartBatch(const std::vector<int>& ids);
    // The failed entries still in the list.
    std::vector<int> FailedEntries() const;
    void UpdateRetryCommand();
    // The summary, and the start button back.
    void EndBatch();
    void ShowBatchProgress();
    void ShowBatchSummary();
    void OnBatchTick();
    void OnTrayNotify(ui::LPARAM mouseMessage);
    void ShowMainWindow();
    void OpenHelpPage();

    // Controls, looked up once in InitWindow.
    ui::CButtonUI* login_ = nullptr;
    ui::CLabelUI* separator_ = nullptr;
    ui::CButtonUI* register_ = nullptr;
    ui::CButtonUI* username_ = nullptr;
    ui::CButtonUI* feedback_ = nullptr;
    ui::CButtonUI* help_ = nullptr;
    ui::CComboUI* imageFormat_ = nullptr;
    ui::CComboUI* imageQuality_ = nullptr;
    ui::CLabelUI* outputDirPath_ = nullptr;
    ui::CButtonUI* chooseDirBtn_ = nullptr;
    ui::CButtonUI* openDirBtn_ = nullptr;
    ui::CCheckBoxUI* imageExif_ = nullptr;
    ui::CCheckBoxUI* stripLocation_ = nullptr;
    ui::CCheckBoxUI* keepDate_ = nullptr;
    ui::CCheckBoxUI* allImages_ = nullptr;
    ui::CCheckBoxUI* includeSubfolders_ = nullptr;
    ui::CComboUI* existingFile_ = nullptr;
    ui::CComboUI* imageMaxSize_ = nullptr;
    ui::CButtonUI* retryFailed_ = nullptr;
    ui::CButtonUI* addImageFile_ = nullptr;
    ui::CButtonUI* addImageDir_ = nullptr;
    ui::CListUI* imageList_ = nullptr;
    ui::CButtonUI* startBtn_ = nullptr;
    ui::CButtonUI* processingBtn_ = nullptr;
    ui::CControlUI* emptyPanel_ = nullptr;
    ui::CLabelUI* batchProgress_ = nullptr;
    ui::CButtonUI* summaryOpenDir_ = nullptr;

    std::map<QString, Handler> clickHandlers_;
    std::unique_ptr<TrayIcon> tray_;
    std::unique_ptr<QObject> dropFilter_;
    std::shared_ptr<JobRunner> runner_;
    std::unique_ptr<TaskEngine> engine_;
    std::unique_ptr<ListThumbnails> thumbnails_;
    // Jobs post here from their own threads; handles are never reused, so a
    // post after the window is gone is refused rather than misdelivered.
    std::atomic<ui::HWND> statusTarget_{ui::kNoWindow};
    bool askingToClose_ = false;
    // The stop button had the keyboard focus when it was pressed; the start button takes it.
    bool focusToStart_ = false;
    BatchPresenter batch_;
    // Entries that show more than "waiting": a run resets these among those it takes.
    std::set<int> marked_;
    int entryParts_[kEntryPartCount] = {-1, -1, -1, -1, -1, -1, -1};
    bool halting_ = false; // the batch is being stopped for a full disk or a vanished folder
    struct PendingAdd {
        int seq = 0;
        bool ready = false;
        std::vector<ImageItem> items;
    };
    std::deque<PendingAdd> pendingAdds_;
    int nextAddSeq_ = 0;
};

} // namespace velquist
