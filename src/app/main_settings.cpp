#include "main_settings.h"

#include "config/config_file.h"
#include "config/image_settings.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>

namespace velquist {
namespace {

constexpr std::array<const wchar_t*, 3> kFormats = {L"jpg", L"png", L"bmp"};
// In the order the window lists them: 覆盖, 跳过, 保留两者.
constexpr std::array<const wchar_t*, 3> kExistingFileChoices = {L"overwrite", L"skip", L"rename"};
constexpr std::array<const wchar_t*, 10> kQualities = {L"10", L"20", L"30", L"40", L"50",
                                                       L"60", L"70", L"80", L"90", L"100"};

template <std::size_t N>
int IndexOf(const std::array<const wchar_t*, N>& items, const std::wstring& stored) {
    const std::wstring value = TrimWide(stored);
    for (std::size_t i = 0; i < N; ++i) {
        if (value == items[i]) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool RemoveProbe(int fd, const std::string& path) {
    const bool closed = ::close(fd) == 0;
    return ::unlink(path.c_str()) == 0 && closed;
}

} // namespace

int FormatIndexFor(const std::wstring& stored) {
    return IndexOf(kFormats, stored);
}

int QualityIndexFor(const std::wstring& stored) {
    return IndexOf(kQualities, stored);
}

bool ExifCheckedFor(const std::wstring& stored) {
    return TrimWide(stored) == L"1";
}

int ExistingFileIndexFor(const std::wstring& stored) {
    return std::max(IndexOf(kExistingFileChoices, stored), 0);
}

std::wstring ExistingFileValueAt(int index) {
    if (index < 0 || index >= static_cast<int>(kExistingFileChoices.size())) {
        return kExistingFileChoices[0];
    }
    return kExistingFileChoices[static_cast<std::size_t>(index)];
}

int MaxSizeIndexFor(int maxSize) {
    if (maxSize == 0) {
        return 0;
    }
    const auto* found = std::find(std::begin(kMaxSizeChoices), std::end(kMaxSizeChoices), maxSize);
    if (found == std::end(kMaxSizeChoices)) {
        return -1;
    }
    return static_cast<int>(found - std::begin(kMaxSizeChoices)) + 1;
}

int MaxSizeValueAt(int index) {
    constexpr int kListed = static_cast<int>(std::size(kMaxSizeChoices));
    if (index < 0 || index > kListed) {
        return -1;
    }
    return index == 0 ? 0 : kMaxSizeChoices[index - 1];
}

std::optional<int> ParseCustomMaxSize(const std::wstring& typed) {
    const std::optional<int> value = ParseMaxSize(typed);
    if (!value || *value == 0) {
        return std::nullopt;
    }
    return value;
}

bool CanWriteInFolder(const std::string& folder) {
    std::string base = folder;
    if (base.empty() || base.back() != '/') {
        base += '/';
    }
    const std::string probe = base + "MorvaneTmp";
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        return RemoveProbe(fd, probe);
    }
    if (errno != EEXIST) {
        return false;
    }
    std::string unique = probe + ".XXXXXX";
    const int other = ::mkstemp(unique.data());
    if (other < 0) {
        return false;
    }
    return RemoveProbe(other, unique);
}

} // namespace velquist
