#pragma once

#include "net/httpdownload.h"

#include <string>

namespace velquist {

// What the update check shows; the GUI implements it with its prompt, message box and
// download dialogs, all modal. Tests record the calls instead.
class UpdateUi {
  public:
    virtual ~UpdateUi() = default;
    // One-button prompt. owned: owned by the main window; otherwise without an owner, so
    // the main window stays usable.
    virtual void Prompt(const std::wstring& text, bool owned) = 0;
    // Two-button message box owned by the main window; true when the user confirms.
    virtual bool AskUpgrade(const std::wstring& text) = 0;
    // The download dialog, run until it closes (or the process ends inside it).
    virtual void ShowDownload(const std::string& url, int force, const InstallerCheck& check) = 0;
};

struct UpdateOffer {
    enum class Kind { kNoReply, kMalformed, kNotNewer, kNewer };
    Kind kind = Kind::kNoReply;
    std::string download_url;
    int force = 0;
    InstallerCheck check;
};

inline constexpr const wchar_t* kNoNewVersionText = L"没有发现新版本!";
inline constexpr const wchar_t* kNewVersionText = L"发现新版本啦!";

// The request body, exactly {"app_name":"Morvane"}.
std::string UpgradeCheckBody();

// Judges a reply. A reply that does not parse or has a non-zero "ret" is kNoReply; a
// malformed "app_version", "download_url" or "force_upgrade", or a "sha256" (64 hex
// digits), "size" (a positive whole number of bytes) or "signature" (Base64 of 64 bytes)
// that is present but malformed, is kMalformed. Neither is
// ever shown to the user: the offer counts as no newer version, silently.
UpdateOffer JudgeUpgradeReply(const std::string& response);

// The whole check on the calling thread, including any announcement and download.
// announce: the menu's check, which says when there is nothing new. 0, or -1 when the
// request failed.
int CheckForUpdate(UpdateUi& ui, bool announce);

// The announcement, then the download dialog unless the user declines an optional one.
void AnnounceNewVersion(UpdateUi& ui, const UpdateOffer& offer);

} // namespace velquist
