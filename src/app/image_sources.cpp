#include "image_sources.h"

#include <sys/stat.h>

namespace velquist {
namespace {

std::string NameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool MatchesDialogFilter(const std::string& name) {
    const auto dot = name.rfind('.');
    if (dot == std::string::npos) {
        return false;
    }
    std::string ext = name.substr(dot + 1);
    for (char& c : ext) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return ext == "heic" || ext == "heif" || ext == "hif";
}

} // namespace

std::vector<ImageItem> ItemsFromFiles(const std::vector<std::string>& paths) {
    std::vector<ImageItem> items;
    items.reserve(paths.size());
    for (const std::string& path : paths) {
        struct stat info {};
        const std::int64_t size =
            ::stat(path.c_str(), &info) == 0 ? static_cast<std::int64_t>(info.st_size) : 0;
        items.push_back(ImageItem{NameOf(path), path, size, {}, {}});
    }
    return items;
}

std::vector<ImageItem> ItemsFromDrop(const std::vector<std::string>& paths, bool tree) {
    std::vector<ImageItem> items;
    for (const std::string& path : paths) {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) {
            continue;
        }
        if (S_ISDIR(info.st_mode)) {
            std::vector<ImageItem> found = tree ? ScanImageFolderTree(path) : ScanImageFolder(path);
            std::move(found.begin(), found.end(), std::back_inserter(items));
            continue;
        }
        if (S_ISREG(info.st_mode) && MatchesDialogFilter(NameOf(path))) {
            items.push_back(
                ImageItem{NameOf(path), path, static_cast<std::int64_t>(info.st_size), {}, {}});
        }
    }
    return items;
}

} // namespace velquist
