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

} // namespace velquist
