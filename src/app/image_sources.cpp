#include "image_sources.h"

#include "util/text.h"

#include <algorithm>
#include <cwctype>
#include <sys/stat.h>

namespace velquist {
namespace {

std::wstring NameOf(const std::wstring& path) {
    const auto slash = path.rfind(L'/');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool StatPath(const std::wstring& path, struct stat* info) {
    return ::stat(WideToPath(path).c_str(), info) == 0;
}

bool MatchesDialogFilter(const std::wstring& name) {
    const auto dot = name.rfind(L'.');
    if (dot == std::wstring::npos) {
        return false;
    }
    std::wstring ext = name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return ext == L"heic" || ext == L"heif";
}

} // namespace

std::vector<ImageItem> ItemsFromFiles(const std::vector<std::wstring>& paths) {
    std::vector<ImageItem> items;
    items.reserve(paths.size());
    for (const std::wstring& path : paths) {
        struct stat info {};
        const std::int64_t size =
            StatPath(path, &info) ? static_cast<std::int64_t>(info.st_size) : 0;
        items.push_back(ImageItem{NameOf(path), path, size, {}});
    }
    return items;
}

std::vector<ImageItem> ItemsFromDrop(const std::vector<std::wstring>& paths, bool tree) {
    std::vector<ImageItem> items;
    for (const std::wstring& path : paths) {
        struct stat info {};
        if (!StatPath(path, &info)) {
            continue;
        }
        if (S_ISDIR(info.st_mode)) {
            std::vector<ImageItem> found = tree ? ScanImageFolderTree(path) : ScanImageFolder(path);
            std::move(found.begin(), found.end(), std::back_inserter(items));
            continue;
        }
        if (S_ISREG(info.st_mode) && MatchesDialogFilter(NameOf(path))) {
            items.push_back(
                ImageItem{NameOf(path), path, static_cast<std::int64_t>(info.st_size), {}});
        }
    }
    return items;
}

} // namespace velquist
