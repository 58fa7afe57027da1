#include "config_file.h"

#include "app_paths.h"
#include "ini_document.h"
#include "util/fd_io.h"
#include "util/handles.h"
#include "util/text.h"

#include <cerrno>
#include <cstdio>
#include <cwctype>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace velquist {
namespace {

std::mutex& PathMutex() {
    static std::mutex mutex;
    return mutex;
}

std::optional<std::wstring>& SharedPath() {
    static std::optional<std::wstring> path;
    return path;
}

// Serializes whole read-modify-rename cycles so that two writers never lose each
// other's key.
std::mutex& WriteMutex() {
    static std::mutex mutex;
    return mutex;
}

// Only a regular file counts: a FIFO or a device in its place would block the reader or
// never end, so it reads as missing. Opened without blocking, then checked.
std::optional<std::string> ReadWholeFile(const std::string& path) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat info {};
    if (!fd || ::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    std::string text;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return std::nullopt;
        }
        if (n == 0) {
            return text;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

bool ReplaceFile(const std::string& path, const std::string& text) {
    std::string temp = path + ".XXXXXX";
    const int raw = ::mkstemp(temp.data());
    if (raw < 0) {
        return false;
    }
    UniqueFd fd(raw);
    ::fchmod(raw, 0644);
    if (!WriteAll(raw, text.data(), text.size()) || ::fsync(raw) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    fd.Reset();
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

} // namespace

std::wstring TrimWide(const std::wstring& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && std::iswspace(static_cast<wint_t>(text[first]))) {
        ++first;
    }
    while (last > first && std::iswspace(static_cast<wint_t>(text[last - 1]))) {
        --last;
    }
    return text.substr(first, last - first);
}

std::wstring GetConfigFilePath() {
    const std::wstring computed = EnsureAppDataDir(L"Morvane/Config") + L"/configure.ini";
    std::lock_guard lock(PathMutex());
    if (!SharedPath()) {
        SharedPath() = computed;
    }
    return *SharedPath();
}

bool ReadConfigValue(const std::wstring& section, const std::wstring& key,
                     const std::wstring& defaultValue, std::wstring& value) {
    value = defaultValue;
    const auto text = ReadWholeFile(WideToPath(GetConfigFilePath()));
    if (text) {
        const auto found = IniDocument::Parse(*text).Get(WideToUtf8(section), WideToUtf8(key));
        if (found) {
            // Values such as the output folder are file names: kept byte for byte.
            value = PathToWide(*found);
        }
    }
    if (value.size() > kMaxConfigValueLength) {
        value.resize(kMaxConfigValueLength);
    }
    return !value.empty();
}

bool WriteConfigValue(const std::wstring& section, const std::wstring& key,
                      const std::wstring& value) {
    const std::string path = WideToPath(GetConfigFilePath());
    std::lock_guard lock(WriteMutex());
    IniDocument doc = IniDocument::Parse(ReadWholeFile(path).value_or(std::string()));
    if (!doc.Set(WideToUtf8(section), WideToUtf8(key), WideToPath(value))) {
        return false;
    }
    return ReplaceFile(path, doc.Serialize());
}

} // namespace velquist
