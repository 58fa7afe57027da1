#pragma once

#include "installer_files.h"
#include "reply.h"

#include <ctime>
#include <mutex>
#include <string>

namespace velquist::service {

// The update manifest: a JSON object keyed by "app_name", each entry with
// "app_version", "download_url" and "force_upgrade". Re-read whenever the
// file changes, so a new version can be published without a restart. An
// installer served from the installers folder is answered with its "size" and
// "sha256", so that a client can check what it downloaded, and with the
// maker's "signature" from the ".sig" file beside it.
class UpdateManifest {
  public:
    UpdateManifest(std::string path, std::string installer_dir)
        : path_(std::move(path)), digests_(std::move(installer_dir)) {}

    // `base_url` completes a "download_url" that starts with "/".
    Reply Lookup(const std::string& app_name, const std::string& base_url);
    // Writes a manifest offering `version` unless the file already exists.
    bool WriteDefaultIfMissing(const std::string& version);

  private:
    bool Refresh();
    // `stated` is the manifest entry.
    void AddChecks(const std::string& url, const Json::Value& stated, Json::Value* data);

    std::string path_;
    std::mutex mutex_;
    Json::Value entries_;
    bool loaded_ = false;
    std::timespec mtime_{};
    long long size_ = -1;
    InstallerDigests digests_;
};

} // namespace velquist::service
