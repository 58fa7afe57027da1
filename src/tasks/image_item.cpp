#include "image_item.h"

#include <filesystem>
#include <system_error>

namespace velquist {

bool HasHeifExtension(const std::string& name) {
    const auto dot = name.rfind('.');
    if (dot == std::string::npos) {
        return false;
    }
    const std::string ext = name.substr(dot + 1);
    for (const char* known : {"heic", "HEIC", "heif", "HEIF", "hif", "HIF"}) {
        if (ext == known) {
            return true;
        }
    }
    return false;
}

std::vector<ImageItem> ScanImageFolder(const std::string& folder) {
    std::vector<ImageItem> staged;
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) {
        return staged;
    }
    for (const std::filesystem::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) {
            break;
        }
        std::string name = it->path().filename().native();
        std::error_code typeError;
        if (!HasHeifExtension(name) || !it->is_regular_file(typeError)) {
            continue;
        }
        std::error_code sizeError;
        const auto size = it->file_size(sizeError);
        ImageItem item;
        item.sourcePath = folder + "/" + name;
        item.fileName = std::move(name);
        item.fileSize = sizeError ? 0 : static_cast<std::int64_t>(size);
        staged.push_back(std::move(item));
    }
    return staged;
}

std::vector<ImageItem> ScanImageFolderTree(const std::string& folder) {
    std::vector<ImageItem> staged = ScanImageFolder(folder);
    std::vector<std::string> pending{""};
    while (!pending.empty()) {
        const std::string sub = pending.back();
        pending.pop_back();
        std::error_code ec;
        std::filesystem::directory_iterator it(sub.empty() ? folder : folder + "/" + sub, ec);
        std::vector<std::string> children;
        for (const std::filesystem::directory_iterator end; !ec && it != end; it.increment(ec)) {
            std::error_code typeError;
            if (it->is_directory(typeError) && !it->is_symlink(typeError)) {
                const std::string name = it->path().filename().native();
                children.push_back(sub.empty() ? name : sub + "/" + name);
            }
        }
        for (const std::string& child : children) {
            for (ImageItem& item : ScanImageFolder(folder + "/" + child)) {
                item.subFolder = child;
                staged.push_back(std::move(item));
            }
        }
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return staged;
}

} // namespace velquist
