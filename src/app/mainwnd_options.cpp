// The conversion options beside the format, and the way folders are added: each is saved
// in configure.ini when the user changes it and read back at the next start.
#include "config/config_file.h"
#include "config/image_settings.h"
#include "config/setting_keys.h"
#include "dialogs/prompt_box_dialog.h"
#include "main_settings.h"
#include "mainwnd.h"
#include "max_size_dialog.h"
#include "util/text.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QSignalBlocker>
#include <iterator>
#include <memory>

namespace velquist {
namespace {

struct SwitchOption {
    ui::CControlUI* box;
    const wchar_t* key;
    bool fallback;
};

// 原始 and the listed long edges; the item after them is 自定义…, or the custom value in
// use with 自定义… after it.
constexpr int kListedSizes = static_cast<int>(std::size(kMaxSizeChoices)) + 1;

QComboBox* ComboOf(ui::CControlUI* control) {
    return control != nullptr ? qobject_cast<QComboBox*>(control->GetWidget()) : nullptr;
}

// Each item carries its long edge; 自定义… carries none, which is what tells it apart.
void ShowMaxSize(QComboBox* combo, int maxSize) {
    const QSignalBlocker quiet(combo);
    if (combo->count() > kListedSizes + 1) {
        combo->removeItem(kListedSizes);
    }
    for (int i = 0; i < kListedSizes; ++i) {
        combo->setItemData(i, MaxSizeValueAt(i));
    }
    const int listed = MaxSizeIndexFor(maxSize);
    if (listed >= 0) {
        combo->setCurrentIndex(listed);
        return;
    }
    combo->insertItem(kListedSizes,
                      QCoreApplication::translate("Velquist", "自定义 (%1)").arg(maxSize), maxSize);
    combo->setCurrentIndex(kListedSizes);
}

int ShownMaxSize(const QComboBox* combo) {
    const QVariant value = combo->currentData();
    return value.isValid() ? value.toInt() : ReadMaxSizeSetting();
}

QString MaxSizeQuestion() {
    return QCoreApplication::translate("Velquist", "请输入照片长边的最大像素数（1～%1）：")
        .arg(kMaxSizeCeiling);
}

QString MaxSizeRefusal() {
    return QCoreApplication::translate("Velquist",
                                       "尺寸须为 1～%1 之间的整数像素，已保留原来的选择。")
        .arg(kMaxSizeCeiling);
}

} // namespace

void CMainWnd::RestoreOptions() {
    const SwitchOption switches[] = {{stripLocation_, kStripLocationKey, false},
                                     {keepDate_, kKeepDateKey, true},
                                     {allImages_, kAllImagesKey, false},
                                     {includeSubfolders_, kIncludeSubfoldersKey, false}};
    for (const SwitchOption& option : switches) {
        option.box->SetCheck(ReadSwitchSetting(option.key, option.fallback), false);
    }
    stripLocation_->SetEnabled(imageExif_->GetCheck());
    std::wstring existing;
    ReadConfigValue(L"global", kExistingFileKey, L"", existing);
    existingFile_->SelectItem(ExistingFileIndexFor(existing), false, false);
    ShowMaxSize(ComboOf(imageMaxSize_), ReadMaxSizeSetting());
}

void CMainWnd::SaveOption(ui::CControlUI* box) {
    const std::pair<ui::CControlUI*, const wchar_t*> keys[] = {
        {stripLocation_, kStripLocationKey},
        {keepDate_, kKeepDateKey},
        {allImages_, kAllImagesKey},
        {includeSubfolders_, kIncludeSubfoldersKey}};
    for (const auto& [control, key] : keys) {
        if (control == box) {
            WriteSwitchSetting(key, box->GetCheck());
            return;
        }
    }
}

void CMainWnd::ReadOptions(ConversionSettings& settings) const {
    settings.stripLocation = stripLocation_->GetCheck();
    settings.keepDate = keepDate_->GetCheck();
    settings.allImages = allImages_->GetCheck();
    const std::wstring existing = ExistingFileValueAt(existingFile_->GetCurSel());
    settings.existingFile =
        ParseExistingFile(WideToUtf8(existing)).value_or(ExistingFile::kOverwrite);
    settings.maxSize = ShownMaxSize(ComboOf(imageMaxSize_));
}

bool CMainWnd::IncludeSubfolders() const {
    return includeSubfolders_->GetCheck();
}

void CMainWnd::OnOptionChanged(ui::TNotifyUI& msg) {
    SaveOption(msg.pSender);
    PublishSettings();
}

void CMainWnd::OnExistingFileSelected(ui::TNotifyUI& /*msg*/) {
    WriteConfigValue(L"global", kExistingFileKey, ExistingFileValueAt(existingFile_->GetCurSel()));
    PublishSettings();
}

void CMainWnd::OnMaxSizeSelected(ui::TNotifyUI& /*msg*/) {
    QComboBox* combo = ComboOf(imageMaxSize_);
    if (combo->currentData().isValid()) {
        // A listed choice puts a custom item of an earlier choice away.
        const int chosen = combo->currentData().toInt();
        ShowMaxSize(combo, chosen);
        WriteMaxSizeSetting(chosen);
        PublishSettings();
        return;
    }
    // 自定义…: every choice is saved as it is made, so the saved one is the one to go back to.
    const int previous = ReadMaxSizeSetting();
    QString typed;
    const QString initial = previous > 0 ? QString::number(previous) : QString();
    const int answer =
        ShowModalBox(std::make_unique<MaxSizeDialog>(MaxSizeQuestion(), initial, &typed), GetHWND());
    const std::optional<int> custom =
        answer == 1 ? ParseCustomMaxSize(typed.toStdWString()) : std::nullopt;
    if (answer == 1 && !custom) {
        ShowPrompt(MaxSizeRefusal());
    }
    ShowMaxSize(combo, custom.value_or(previous));
    if (custom) {
        WriteMaxSizeSetting(*custom);
        PublishSettings();
    }
}

} // namespace velquist
