#pragma once

#include "reply.h"

#include <ctime>
#include <mutex>
#include <string>

namespace velquist::service {

// The update manifest: a JSON object keyed by "app_name", each entry with
// "app_version", "download_url" and "force_upgrade". Re-read whenever the
// file changes, so a new version can be published without a restart.
class UpdateManifest {
  public:
    explicit UpdateManifest(std::string path) : path_(std::move(path)) {}

    // `base_url` completes a "download_url" that starts with "/".
    Reply Lookup(const std::string& app_name, const std::string& base_url);
    // Writes a manifest offering `version` unless the file already exists.
    bool WriteDefaultIfMissing(const std::string& version);

  private:
    bool Refresh();

    std::string path_;
    std::mutex mutex_;
    Json::Value entries_;
    bool loaded_ = false;
    std::timespec mtime_{};
    long long size_ = -1;
};

} // namespace velquist::service
