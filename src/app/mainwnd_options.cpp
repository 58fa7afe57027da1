// The conversion options beside the format, and the way folders are added: each is saved
// in configure.ini when the user changes it and read back at the next start.
#include "config/config_file.h"
#include "config/image_settings.h"
#include "config/setting_keys.h"
#include "main_settings.h"
#include "mainwnd.h"
#include "util/text.h"

namespace velquist {
namespace {

struct SwitchOption {
    ui::CControlUI* box;
    const wchar_t* key;
    bool fallback;
};

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
    // No control of its own yet: the saved long edge applies as on the command line.
    settings.maxSize = ReadMaxSizeSetting();
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

} // namespace velquist
