#include "net/update_check.h"

#include "net/http_client.h"
#include "net/httpdownload.h"
#include "net/installer_file.h"
#include "net/installer_signature.h"
#include "net/json_fields.h"
#include "net/service_envelope.h"
#include "net/service_url.h"
#include "net/version.h"
#include "util/text.h"
#include "util/translated_text.h"

#include <cstdint>
#include <iostream>

namespace velquist {
namespace {

void PrintVersions(const VersionTriple& route, const VersionTriple& local) {
    std::cout << "routeMajorVersion: " << route.major << " routeMinorVersion: " << route.minor
              << " routeRevisionVersion: " << route.revision << "\n";
    std::cout << "localMajorVersion: " << local.major << " localMinorVersion: " << local.minor
              << " localRevisionVersion: " << local.revision << std::endl;
}

// "size": a positive whole number, as a JSON number or a decimal text.
bool ReadSize(const Json::Value& value, std::uint64_t* size) {
    if (value.isString()) {
        const std::string text = value.asString();
        if (text.empty() || text.size() > 18 ||
            text.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        *size = std::stoull(text);
        return *size > 0;
    }
    if (!value.isUInt64() || !value.isIntegral()) {
        return false;
    }
    *size = value.asUInt64();
    return *size > 0;
}

// All three members are optional here; one that is present must be well-formed, or the
// installer could not be checked as the service meant. The download refuses an installer
// without a signature.
bool ReadInstallerCheck(const Json::Value& data, InstallerCheck* check) {
    std::string text;
    if (data.isMember("sha256") &&
        (!ReadString(data, "sha256", &text) || !ParseSha256Hex(text, &check->sha256))) {
        return false;
    }
    if (data.isMember("signature") && (!ReadString(data, "signature", &text) ||
                                       !DecodeInstallerSignature(text, &check->signature))) {
        return false;
    }
    return !data.isMember("size") || ReadSize(MemberOf(data, "size"), &check->size);
}

UpdateOffer JudgeOfferData(const Json::Value& data) {
    UpdateOffer offer;
    offer.kind = UpdateOffer::Kind::kMalformed;
    std::string offered_text;
    VersionTriple offered;
    VersionTriple local;
    if (!data.isObject() || !ReadString(data, "app_version", &offered_text) ||
        !ParseVersionTriple(offered_text, &offered) || !ParseVersionTriple(LocalVersion, &local)) {
        return offer;
    }
    PrintVersions(offered, local);
    // The parsed numbers, not the service's text: only they were judged.
    offer.version = std::to_string(offered.major) + "." + std::to_string(offered.minor) + "." +
                    std::to_string(offered.revision);
    if (!IsNewerVersion(offered, local)) {
        offer.kind = UpdateOffer::Kind::kNotNewer;
        return offer;
    }
    std::int32_t force = 0;
    // An address that names no file could never be downloaded; a forced upgrade would
    // then end the program at every start.
    if (!ReadString(data, "download_url", &offer.download_url) ||
        DownloadFileName(offer.download_url).empty() ||
        !ReadDecimalInt(MemberOf(data, "force_upgrade"), &force) ||
        !ReadInstallerCheck(data, &offer.check)) {
        return offer;
    }
    offer.force = force;
    offer.kind = UpdateOffer::Kind::kNewer;
    return offer;
}

} // namespace

std::string UpgradeCheckBody() {
    return "{\"app_name\":\"Morvane\"}";
}

UpdateOffer JudgeUpgradeReply(const std::string& response) {
    ServiceEnvelope envelope = ParseServiceEnvelope(response);
    if (!envelope.Succeeded()) {
        return UpdateOffer{};
    }
    return JudgeOfferData(envelope.data);
}

namespace {

// What the menu's check says when it offers nothing.
const wchar_t* NothingOfferedText(const UpdateOffer& offer) {
    return offer.kind == UpdateOffer::Kind::kNotNewer ? kNoNewVersionText : kCheckRefusedText;
}

} // namespace

std::wstring NewVersionText(const std::string& version, bool batch_running) {
    std::wstring text = FillText(TranslatedText(QT_TRANSLATE_NOOP(
                                     "Velquist", "发现新版本啦!\n新版本:%1,安装时程序将关闭。")),
                                 {AnsiToWide(version)});
    if (batch_running) {
        text += TranslatedText(
            QT_TRANSLATE_NOOP("Velquist", "\n当前正在转换,下载完成后将等转换结束再安装。"));
    }
    return text;
}

int CheckForUpdate(UpdateUi& ui, bool announce) {
    std::string body = UpgradeCheckBody();
    std::cout << "message: " << body << std::endl;
    std::string url = ServiceBaseUrl() + "/v1/upgrade_check" + MakeTimestampQuery();
    std::string response;
    if (HttpClient::Instance()->PostJson(body, url, &response) != 0) {
        // Something that answered, but with an error status or a reply too large to read,
        // is not a missing network.
        if (announce) {
            ui.Prompt(HttpClient::LastStatus() == 0 ? kCheckNoAnswerText : kCheckRefusedText,
                      false);
        }
        return -1;
    }
    std::cout << "response: " << response << std::endl;
    UpdateOffer offer = JudgeUpgradeReply(response);
    if (offer.kind == UpdateOffer::Kind::kNewer) {
        AnnounceNewVersion(ui, offer);
    } else if (announce) {
        ui.Prompt(NothingOfferedText(offer), false);
    }
    return 0;
}

void AnnounceNewVersion(UpdateUi& ui, const UpdateOffer& offer) {
    const std::wstring text = NewVersionText(offer.version, ui.BatchRunning());
    if (offer.force != 0) {
        // Closing the prompt any other way than its button turns the update down, as the
        // forced download's cancel does: neither a silent start nor a skipped update.
        if (!ui.Prompt(text, true)) {
            ui.QuitWithoutForcedUpdate();
            return;
        }
        ui.ShowDownload(offer.download_url, offer.force, offer.check);
        return;
    }
    if (!ui.AskUpgrade(text)) {
        return;
    }
    ui.ShowDownload(offer.download_url, 0, offer.check);
}

} // namespace velquist
