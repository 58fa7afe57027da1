#include "manifest.h"

#include "ret_codes.h"

#include <cstdio>
#include <fstream>
#include <json/reader.h>
#include <json/writer.h>
#include <sstream>
#include <sys/stat.h>

namespace velquist::service {
namespace {

bool SameTime(const std::timespec& a, const std::timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool ParseJson(const std::string& text, Json::Value* out) {
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    std::string errors;
    std::istringstream in(text);
    return Json::parseFromStream(builder, in, out, &errors);
}

Json::Value ForceValue(const Json::Value& value) {
    if (value.isBool()) {
        return value.asBool() ? 1 : 0;
    }
    if (value.isIntegral()) {
        return value.asInt() != 0 ? 1 : 0;
    }
    return 0;
}

} // namespace

bool UpdateManifest::Refresh() {
    struct stat info {};
    if (::stat(path_.c_str(), &info) != 0) {
        loaded_ = false;
        return false;
    }
    if (loaded_ && SameTime(info.st_mtim, mtime_) && info.st_size == size_) {
        return true;
    }
    std::ifstream file(path_, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    Json::Value root;
    if (!file || !ParseJson(text.str(), &root) || !root.isObject()) {
        std::fprintf(stderr, "manifest %s: not a JSON object\n", path_.c_str());
        loaded_ = false;
        return false;
    }
    entries_ = root;
    mtime_ = info.st_mtim;
    size_ = info.st_size;
    loaded_ = true;
    return true;
}

Reply UpdateManifest::Lookup(const std::string& app_name, const std::string& base_url) {
    Reply reply;
    std::string given;
    Json::Value stated_size;
    Json::Value stated_sha256;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!Refresh()) {
            return Fail(kRetNoManifest);
        }
        const Json::Value* entry =
            entries_.find(app_name.data(), app_name.data() + app_name.size());
        if (entry == nullptr || !entry->isObject() || !(*entry)["app_version"].isString()) {
            return Fail(kRetUnknownApp);
        }
        const Json::Value& url = (*entry)["download_url"];
        given = url.isString() ? url.asString() : std::string();
        reply.data["app_version"] = (*entry)["app_version"].asString();
        reply.data["force_upgrade"] = ForceValue((*entry)["force_upgrade"]);
        stated_size = (*entry)["size"];
        stated_sha256 = (*entry)["sha256"];
    }
    reply.data["download_url"] = !given.empty() && given.front() == '/' ? base_url + given : given;
    AddDigest(given, stated_size, stated_sha256, &reply.data);
    return reply;
}

void UpdateManifest::AddDigest(const std::string& url, const Json::Value& size,
                               const Json::Value& sha256, Json::Value* data) {
    static const std::string kLocal = "/download/";
    if (url.rfind(kLocal, 0) == 0) {
        // Worked out from the file we serve, never taken on trust.
        if (const auto digest = digests_.Of(url.substr(kLocal.size()))) {
            (*data)["size"] = static_cast<Json::Int64>(digest->size);
            (*data)["sha256"] = digest->sha256;
        }
        return;
    }
    // An installer hosted elsewhere: the maker may state both in the manifest.
    if (size.isIntegral() && sha256.isString()) {
        (*data)["size"] = size.asInt64();
        (*data)["sha256"] = sha256.asString();
    }
}

bool UpdateManifest::WriteDefaultIfMissing(const std::string& version) {
    struct stat info {};
    if (::stat(path_.c_str(), &info) == 0) {
        return true;
    }
    Json::Value entry;
    entry["app_version"] = version;
    entry["download_url"] = "/download/Velquist-" + version + ".run";
    entry["force_upgrade"] = 0;
    Json::Value root;
    root["Morvane"] = entry;
    std::ofstream file(path_, std::ios::binary | std::ios::trunc);
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "  ";
    file << Json::writeString(builder, root) << "\n";
    return static_cast<bool>(file);
}

} // namespace velquist::service
