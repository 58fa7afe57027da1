// The image list: adding files, folders and drops, selecting, removing and
// previewing entries.
#include "config/app_paths.h"
#include "config/config_file.h"
#include "dialogs/prompt_box_dialog.h"
#include "image_sources.h"
#include "list_thumbnails.h"
#include "mainwnd.h"
#include "natural_order.h"
#include "platform/path_text.h"
#include "platform/pickers.h"
#include "platform/shell_open.h"
#include "ui/messages.h"
#include "ui/paint_manager.h"
#include "ui/template_list.h"
#include "util/text.h"
#include "window_messages.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <thread>

namespace velquist {
namespace {

// The entry's check box part, as the entry skin names it.
constexpr const char* kEntryCheckBox = "imageCheckBox";

QString EntryName(int id) {
    return QStringLiteral("item-%1").arg(id);
}

std::vector<std::string> PathsFromText(const QStringList& paths) {
    std::vector<std::string> bytes;
    bytes.reserve(static_cast<std::size_t>(paths.size()));
    for (const QString& path : paths) {
        bytes.push_back(PathFromText(path));
    }
    return bytes;
}

// The dropped local files' names as the URLs carry their bytes.
std::vector<std::string> LocalPaths(const QMimeData* mime) {
    std::vector<std::string> paths;
    if (mime == nullptr || !mime->hasUrls()) {
        return paths;
    }
    const auto urls = mime->urls();
    for (const QUrl& url : urls) {
        if (std::string path = PathFromUrl(url); !path.empty()) {
            paths.push_back(std::move(path));
        }
    }
    return paths;
}

// Files and folders dropped anywhere on the window join the list.
class DropFilter final : public QObject {
  public:
    explicit DropFilter(std::function<void(const std::vector<std::string>&)> add)
        : add_(std::move(add)) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            auto* drag = static_cast<QDropEvent*>(event);
            if (!LocalPaths(drag->mimeData()).empty()) {
                drag->acceptProposedAction();
                return true;
            }
        } else if (event->type() == QEvent::Drop) {
            auto* drop = static_cast<QDropEvent*>(event);
            const std::vector<std::string> paths = LocalPaths(drop->mimeData());
            if (!paths.empty()) {
                drop->acceptProposedAction();
                add_(paths);
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    std::function<void(const std::vector<std::string>&)> add_;
};

} // namespace

void CMainWnd::InstallDropTarget() {
    QWidget* host = GetWidget();
    dropFilter_ = std::make_unique<DropFilter>(
        [this](const std::vector<std::string>& paths) { AddDroppedPaths(paths); });
    host->setAcceptDrops(true);
    host->installEventFilter(dropFilter_.get());
}

void CMainWnd::StartThumbnails() {
    auto* view = qobject_cast<ui::TemplateListView*>(imageList_->GetWidget());
    const QString worker =
        ui::CPaintManagerUI::GetInstancePath() + QStringLiteral("velquist-thumbnailer");
    // Without the worker every entry would show the broken mark; the plain icon is honest.
    if (view == nullptr || !QFileInfo(worker).isExecutable()) {
        return;
    }
    thumbnails_ = std::make_unique<ListThumbnails>(
        view, std::string(QFile::encodeName(worker).constData()),
        [this](int id) { return imageList_->FindSubControl(EntryName(id)); },
        [this](int id) {
            const auto item = engine_ ? engine_->GetImageItem(id) : std::nullopt;
            return item ? item->sourcePath : std::string();
        });
}

void CMainWnd::OnAddFiles(ui::TNotifyUI& /*msg*/) {
    const QStringList files =
        PickOpenFiles(GetWidget(), QString(), PickerStartFolder(),
                      QCoreApplication::translate(
                          "Velquist", "图片格式 (*.heic *.heif *.hif *.HEIC *.HEIF *.HIF)"));
    if (files.isEmpty()) {
        return;
    }
    RememberPickerFolder(QFileInfo(files.front()).absolutePath());
    AddImageFiles(files);
}

void CMainWnd::OnAddFolder(ui::TNotifyUI& /*msg*/) {
    const QString folder =
        PickFolder(GetWidget(), QCoreApplication::translate("Velquist", "选择图片存放目录"),
                   PickerStartFolder());
    if (folder.isEmpty()) {
        return;
    }
    RememberPickerFolder(folder);
    AddImageFolder(folder);
}

QString PickerStartFolder() {
    std::wstring folder;
    ReadConfigValue(L"global", kPickerFolderKey, L"", folder);
    const QString remembered = QString::fromStdWString(folder);
    if (!remembered.isEmpty() && QFileInfo(remembered).isDir()) {
        return remembered;
    }
    return QString::fromStdWString(GetPicturesDir());
}

void RememberPickerFolder(const QString& folder) {
    WriteConfigValue(L"global", kPickerFolderKey, folder.toStdWString());
}

void CMainWnd::AddImageFiles(const QStringList& paths) {
    AddImageFiles(PathsFromText(paths));
}

void CMainWnd::AddImageFiles(const std::vector<std::string>& paths) {
    std::vector<ImageItem> items = ItemsFromFiles(paths);
    if (pendingAdds_.empty()) {
        AddImageItems(std::move(items));
        return;
    }
    // Behind a scan still running: they join after its entries.
    pendingAdds_.push_back({nextAddSeq_++, true, std::move(items)});
}

void CMainWnd::AddImageFolder(const QString& folder) {
    AddImageFolder(PathFromText(folder));
}

void CMainWnd::AddImageFolder(const std::string& folder) {
    const bool tree = IncludeSubfolders();
    ScanInBackground([folder, tree] {
        std::vector<ImageItem> items = tree ? ScanImageFolderTree(folder) : ScanImageFolder(folder);
        SortNaturally(items);
        return items;
    });
}

void CMainWnd::AddDroppedPaths(const std::vector<std::string>& paths) {
    const bool tree = IncludeSubfolders();
    ScanInBackground([paths, tree] {
        std::vector<ImageItem> all;
        for (const std::string& path : paths) {
            // A folder's files in name order; a file alone stays as it is.
            std::vector<ImageItem> some = ItemsFromDrop({path}, tree);
            SortNaturally(some);
            std::move(some.begin(), some.end(), std::back_inserter(all));
        }
        return all;
    });
}

void CMainWnd::ScanInBackground(std::function<std::vector<ImageItem>()> scan) {
    const int seq = nextAddSeq_++;
    pendingAdds_.push_back({seq, false, {}});
    const ui::HWND target = GetHWND();
    // A large folder on a slow disk must not freeze the window meanwhile.
    // The window outlives its handle; a call that finds the window gone is dropped.
    std::thread([this, seq, target, scan = std::move(scan)] {
        ui::PostToWindow(target, [this, seq, items = scan()]() mutable {
            OnItemsScanned(seq, std::move(items));
        });
    }).detach();
}

void CMainWnd::OnItemsScanned(int seq, std::vector<ImageItem> items) {
    for (PendingAdd& add : pendingAdds_) {
        if (add.seq == seq) {
            add.ready = true;
            add.items = std::move(items);
            break;
        }
    }
    while (!pendingAdds_.empty() && pendingAdds_.front().ready) {
        std::vector<ImageItem> next = std::move(pendingAdds_.front().items);
        pendingAdds_.pop_front();
        AddImageItems(std::move(next));
    }
}

void CMainWnd::AddOpenedPaths(const std::vector<std::string>& paths) {
    std::vector<std::string> files;
    for (const std::string& path : paths) {
        if (IsFolderPath(path)) {
            AddImageFiles(files);
            files.clear();
            AddImageFolder(path);
        } else {
            files.push_back(path);
        }
    }
    AddImageFiles(files);
}

void CMainWnd::AddImageItems(std::vector<ImageItem> items) {
    if (items.empty()) {
        return;
    }
    // One layout pass for the whole batch instead of one per entry.
    QWidget* list = imageList_->GetWidget();
    list->setUpdatesEnabled(false);
    for (ImageItem& item : items) {
        AddOneItem(std::move(item));
    }
    list->setUpdatesEnabled(true);
    UpdateEmptyState();
}

void CMainWnd::AddOneItem(ImageItem item) {
    // Shown readably; the engine keeps the name's bytes for the work.
    // Files of a mirrored tree show where below the added folder they are.
    const QString name =
        ShownPath(item.subFolder.empty() ? item.fileName : item.subFolder + "/" + item.fileName);
    const QString size = QString::fromStdWString(FormatFileSize(item.fileSize));
    const int id = engine_->AddImageItem(std::move(item));
    ui::CControlUI* entry = imageList_->AddTemplateItem();
    if (entry == nullptr) {
        return;
    }
    entry->SetTag(id);
    entry->SetName(EntryName(id));
    ui::CControlUI* check = entry->FindSubControl(QLatin1String(kEntryCheckBox));
    const std::pair<const char*, QString> labels[] = {{"fileNameLabel", name},
                                                      {"fileSizeLabel", size}};
    for (const auto& [part, text] : labels) {
        if (ui::CControlUI* label = entry->FindSubControl(QLatin1String(part))) {
            label->SetText(text);
        }
    }
    if (check != nullptr) {
        check->SetCheck(true, false);
    }
    for (const char* part : {kEntryCheckBox, "preview", "image-remove"}) {
        if (ui::CControlUI* control = entry->FindSubControl(QLatin1String(part))) {
            control->SetTag(id);
        }
    }
}

void CMainWnd::UpdateEmptyState() {
    const bool empty = imageList_->GetCount() == 0;
    if (emptyPanel_ != nullptr) {
        emptyPanel_->SetVisible(empty);
    }
    imageList_->SetVisible(!empty);
    OnListChanged();
}

void CMainWnd::OnSelectAll(ui::TNotifyUI& msg) {
    const bool checked = msg.pSender->GetCheck();
    for (int i = 0, n = imageList_->GetCount(); i < n; ++i) {
        ui::CControlUI* check =
            imageList_->GetItemAt(i)->FindSubControl(QLatin1String(kEntryCheckBox));
        if (check != nullptr) {
            check->SetCheck(checked, false);
        }
    }
}

std::vector<int> CMainWnd::CheckedEntryIds() const {
    std::vector<int> ids;
    for (int i = 0, n = imageList_->GetCount(); i < n; ++i) {
        ui::CControlUI* check =
            imageList_->GetItemAt(i)->FindSubControl(QLatin1String(kEntryCheckBox));
        if (check != nullptr && check->GetCheck()) {
            ids.push_back(check->GetTag());
        }
    }
    return ids;
}

void CMainWnd::OnRemoveChecked(ui::TNotifyUI& /*msg*/) {
    if (engine_->IsBusy()) {
        ShowPrompt(QCoreApplication::translate("Velquist", "当前任务正在转换中!"));
        return;
    }
    const std::vector<int> ids = CheckedEntryIds();
    for (const int id : ids) {
        RemoveEntry(id);
    }
    UpdateEmptyState();
    UpdateRetryCommand();
}

void CMainWnd::OnRemoveOne(ui::TNotifyUI& msg) {
    if (engine_->IsBusy()) {
        ShowPrompt(QCoreApplication::translate("Velquist", "当前任务正在转换中!"));
        return;
    }
    const int id = msg.pSender->GetTag();
    if (!engine_->GetImageItem(id)) {
        return;
    }
    RemoveEntry(id);
    UpdateEmptyState();
    UpdateRetryCommand();
}

void CMainWnd::RemoveEntry(int id) {
    // The record stays: ids are never given again, and a job may still read it.
    if (ui::CControlUI* entry = imageList_->FindSubControl(EntryName(id))) {
        imageList_->Remove(entry);
    }
}

void CMainWnd::OnPreview(ui::TNotifyUI& msg) {
    const auto item = engine_->GetImageItem(msg.pSender->GetTag());
    if (!item) {
        return;
    }
    if (item->outputPath.empty() || !ShellOpenPath(item->outputPath)) {
        ShowPrompt(QCoreApplication::translate("Velquist", "图片预览失败!"));
    }
}

} // namespace velquist
