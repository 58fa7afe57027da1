#include "app_paths.h"

#include "config_file.h"
#include "util/text.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace velquist {
namespace {

std::string EnvOrEmpty(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string LocalAppDataBase() {
    const std::string xdg = EnvOrEmpty("XDG_DATA_HOME");
    // The XDG rules ignore relative values.
    if (!xdg.empty() && xdg.front() == '/') {
        return xdg;
    }
    const std::string home = HomeDir();
    return home.empty() ? std::string() : home + "/.local/share";
}

std::string ConfigHome() {
    const std::string xdg = EnvOrEmpty("XDG_CONFIG_HOME");
    if (!xdg.empty() && xdg.front() == '/') {
        return xdg;
    }
    return HomeDir() + "/.config";
}

// The value of XDG_PICTURES_DIR="..." with $HOME expanded; empty when absent or unusable.
std::string PicturesFromUserDirs(const std::string& home) {
    std::ifstream in(ConfigHome() + "/user-dirs.dirs");
    std::string line;
    const std::string prefix = "XDG_PICTURES_DIR=";
    while (std::getline(in, line)) {
        const auto start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, prefix.size(), prefix) != 0) {
            continue;
        }
        std::string value = line.substr(start + prefix.size());
        while (!value.empty() &&
               (value.back() == ' ' || value.back() == '\t' || value.back() == '\r')) {
            value.pop_back();
        }
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (value.rfind("$HOME", 0) == 0) {
            value = home + value.substr(5);
        }
        // "$HOME/" alone means the feature is switched off; xdg-user-dir then answers $HOME,
        // which would spill converted photos into the home folder, so fall back instead.
        if (value.empty() || value.front() != '/' || value == home || value == home + "/") {
            return {};
        }
        return value;
    }
    return {};
}

void ReportCreateFailure(const std::string& path, bool last) {
    const char* label = last ? "create dir error curPath: " : "create dir error fullPath: ";
    std::printf("%s%s\n", label, path.c_str());
    std::fflush(stdout);
}

} // namespace

std::string HomeDir() {
    const std::string home = EnvOrEmpty("HOME");
    if (!home.empty()) {
        return home;
    }
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_dir) {
        return {};
    }
    return found->pw_dir;
}

std::wstring CreateDirectoryTree(const std::wstring& path) {
    const std::string narrow = WideToPath(path);
    std::vector<std::string> levels;
    std::string current = narrow.rfind('/', 0) == 0 ? "/" : "";
    std::size_t start = current.size();
    while (start < narrow.size()) {
        auto end = narrow.find('/', start);
        if (end == std::string::npos) {
            end = narrow.size();
        }
        if (end > start) {
            if (!current.empty() && current.back() != '/') {
                current += '/';
            }
            current += narrow.substr(start, end - start);
            levels.push_back(current);
        }
        start = end + 1;
    }
    for (std::size_t i = 0; i < levels.size(); ++i) {
        if (IsDirectory(levels[i])) {
            continue;
        }
        // Another thread may create the same level in between; that is success too.
        if (::mkdir(levels[i].c_str(), 0777) != 0 && !(errno == EEXIST && IsDirectory(levels[i]))) {
            ReportCreateFailure(levels[i], i + 1 == levels.size());
        }
    }
    return path;
}

std::wstring EnsureAppDataDir(const std::wstring& subPath) {
    const std::wstring result = PathToWide(LocalAppDataBase()) + L"/" + subPath;
    return CreateDirectoryTree(result);
}

std::wstring GetPicturesDir() {
    const std::string home = HomeDir();
    std::string pictures = PicturesFromUserDirs(home);
    if (pictures.empty()) {
        pictures = home + "/Pictures";
    }
    return PathToWide(pictures);
}

std::wstring GetOutputDir() {
    std::wstring configured;
    ReadConfigValue(L"global", L"output-dir", L"", configured);
    configured = TrimWide(configured);
    if (!configured.empty()) {
        return CreateDirectoryTree(configured);
    }
    return CreateDirectoryTree(GetPicturesDir() + L"/Heic");
}

} // namespace velquist
