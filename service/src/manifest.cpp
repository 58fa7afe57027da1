#include "manifest.h"

#include "installer_signing.h"
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
    Json::Value stated;
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
        stated = *entry;
    }
    reply.data["download_url"] = !given.empty() && given.front() == '/' ? base_url + given : given;
    AddChecks(given, stated, &reply.data);
    return reply;
}

void UpdateManifest::AddChecks(const std::string& url, const Json::Value& stated,
                               Json::Value* data) {
    static const std::string kLocal = "/download/";
    if (url.rfind(kLocal, 0) == 0) {
        // Worked out from the files we serve, never taken on trust.
        const std::string name = url.substr(kLocal.size());
        if (const auto digest = digests_.Of(name)) {
            (*data)["size"] = static_cast<Json::Int64>(digest->size);
            (*data)["sha256"] = digest->sha256;
        }
        if (const auto signature = digests_.SignatureOf(name)) {
            (*data)["signature"] = *signature;
        }
        return;
    }
    // An installer hosted elsewhere: the maker may state them in the manifest.
    const Json::Value& size = stated["size"];
    const Json::Value& sha256 = stated["sha256"];
    if (size.isIntegral() && sha256.isString()) {
        (*data)["size"] = size.asInt64();
        (*data)["sha256"] = sha256.asString();
    }
    const Json::Value& signature = stated["signature"];
    if (signature.isString()) {
        if (const auto text = SignatureText(signature.asString())) {
            (*data)["signature"] = *text;
        }
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
