#include "image_item.h"

#include "util/text.h"

#include <filesystem>
#include <system_error>

namespace velquist {

bool HasHeifExtension(const std::wstring& name) {
    const auto dot = name.rfind(L'.');
    if (dot == std::wstring::npos) {
        return false;
    }
    const std::wstring ext = name.substr(dot + 1);
    return ext == L"heic" || ext == L"HEIC" || ext == L"heif" || ext == L"HEIF";
}

std::vector<ImageItem> ScanImageFolder(const std::wstring& folder) {
    std::vector<ImageItem> staged;
    std::error_code ec;
    std::filesystem::directory_iterator it(WideToPath(folder), ec);
    if (ec) {
        return staged;
    }
    for (const std::filesystem::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) {
            break;
        }
        const std::wstring name = PathToWide(it->path().filename().string());
        std::error_code typeError;
        if (!HasHeifExtension(name) || !it->is_regular_file(typeError)) {
            continue;
        }
        std::error_code sizeError;
        const auto size = it->file_size(sizeError);
        staged.push_back(
            {name, folder + L"/" + name, sizeError ? 0 : static_cast<std::int64_t>(size), {}});
    }
    return staged;
}

std::vector<ImageItem> ScanImageFolderTree(const std::wstring& folder) {
    std::vector<ImageItem> staged = ScanImageFolder(folder);
    std::vector<std::wstring> pending{L""};
    while (!pending.empty()) {
        const std::wstring sub = pending.back();
        pending.pop_back();
        const std::string dir = WideToPath(sub.empty() ? folder : folder + L"/" + sub);
        std::error_code ec;
        std::filesystem::directory_iterator it(dir, ec);
        std::vector<std::wstring> children;
        for (const std::filesystem::directory_iterator end; !ec && it != end; it.increment(ec)) {
            std::error_code typeError;
            if (it->is_directory(typeError) && !it->is_symlink(typeError)) {
                const std::wstring name = PathToWide(it->path().filename().string());
                children.push_back(sub.empty() ? name : sub + L"/" + name);
            }
        }
        for (const std::wstring& child : children) {
            for (ImageItem& item : ScanImageFolder(folder + L"/" + child)) {
                item.subFolder = child;
                staged.push_back(std::move(item));
            }
        }
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return staged;
}

} // namespace velquist
