#pragma once

#include "net/httpdownload.h"
#include "util/translated_text.h"

#include <string>

namespace velquist {

// What the update check shows; the GUI implements it with its prompt, message box and
// download dialogs, all modal. Tests record the calls instead.
class UpdateUi {
  public:
    virtual ~UpdateUi() = default;
    // One-button prompt. owned: owned by the main window; otherwise without an owner, so
    // the main window stays usable. True when its button was pressed, false when it was
    // closed another way (Escape, the window frame).
    virtual bool Prompt(const std::wstring& text, bool owned) = 0;
    // Two-button message box owned by the main window; true when the user confirms.
    virtual bool AskUpgrade(const std::wstring& text) = 0;
    // The download dialog, run until it closes (or the process ends inside it).
    virtual void ShowDownload(const std::string& url, int force, const InstallerCheck& check) = 0;
    // Whether a conversion batch runs now; the installer would end it.
    virtual bool BatchRunning() { return false; }
    // The user turned a forced update down: the program may not go on without it.
    virtual void QuitWithoutForcedUpdate() = 0;
};

struct UpdateOffer {
    enum class Kind { kNoReply, kMalformed, kNotNewer, kNewer };
    Kind kind = Kind::kNoReply;
    std::string version; // "major.minor.revision", for the announcement
    std::string download_url;
    int force = 0;
    InstallerCheck check;
};

inline constexpr const wchar_t* kNoNewVersionText =
    L"" QT_TRANSLATE_NOOP("Velquist", "已是最新版本");
inline constexpr const wchar_t* kNewVersionText =
    L"" QT_TRANSLATE_NOOP("Velquist", "发现新版本啦!");
inline constexpr const wchar_t* kCheckNoAnswerText =
    L"" QT_TRANSLATE_NOOP("Velquist", "网络连接失败,请检查网络!");
inline constexpr const wchar_t* kCheckRefusedText =
    L"" QT_TRANSLATE_NOOP("Velquist", "检查更新失败,服务器回复无效!");

// The announcement: kNewVersionText, the version, that the program closes to install it,
// and during a batch that the installer waits for the batch to end.
std::wstring NewVersionText(const std::string& version, bool batch_running);

// The request body, exactly {"app_name":"Morvane"}.
std::string UpgradeCheckBody();

// Judges a reply. A reply that does not parse or has a non-zero "ret" is kNoReply; a
// malformed "app_version", "download_url" or "force_upgrade", or a "sha256" (64 hex
// digits), "size" (a positive whole number of bytes) or "signature" (Base64 of 64 bytes)
// that is present but malformed, is kMalformed. Neither offers anything; only the
// menu's check says that it could not check.
UpdateOffer JudgeUpgradeReply(const std::string& response);

// The whole check on the calling thread, including any announcement and download.
// announce: the menu's check, which always answers: up to date, or why it could not
// check. The start-up check shows only an offer. 0, or -1 when the request failed.
int CheckForUpdate(UpdateUi& ui, bool announce);

// The announcement, then the download dialog unless the user declines an optional one.
void AnnounceNewVersion(UpdateUi& ui, const UpdateOffer& offer);

} // namespace velquist
