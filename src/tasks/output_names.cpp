#include "output_names.h"

#include "config/app_paths.h"
#include "convert/top_level_images.h"
#include "util/text.h"

#include <sys/stat.h>

namespace velquist {
namespace {

bool Exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

} // namespace

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return FileIdentity{static_cast<unsigned long long>(info.st_dev),
                        static_cast<unsigned long long>(info.st_ino)};
}

std::string NumberedPath(const std::string& path, int n) {
    const auto slash = path.rfind('/');
    const auto dot = path.rfind('.');
    const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    const auto cut = hasExt ? dot : path.size();
    return path.substr(0, cut) + " (" + std::to_string(n) + ")" + path.substr(cut);
}

std::wstring TargetFolder(const ImageItem& item, const std::wstring& outputDir) {
    if (item.subFolder.empty()) {
        return outputDir;
    }
    if (!IsSafeSubfolder(WideToPath(item.subFolder))) {
        return {};
    }
    return CreateDirectoryTree(outputDir + L"/" + item.subFolder);
}

void OutputNames::AddInput(int id, const std::string& path) {
    inputPaths_.insert(path);
    itemPaths_[id] = path;
    if (const std::optional<FileIdentity> identity = IdentityOf(path)) {
        inputFiles_.insert(*identity);
        itemFiles_.emplace(id, *identity);
    }
}

void OutputNames::RemoveInput(int id) {
    if (const auto path = itemPaths_.find(id); path != itemPaths_.end()) {
        inputPaths_.erase(inputPaths_.find(path->second));
        itemPaths_.erase(path);
    }
    if (const auto file = itemFiles_.find(id); file != itemFiles_.end()) {
        inputFiles_.erase(inputFiles_.find(file->second));
        itemFiles_.erase(file);
    }
}

OutputClaim OutputNames::Claim(const std::string& path, std::size_t images,
                               ExistingFile existing) {
    OutputClaim claim{path};
    for (int n = 2; !Reserve(claim.path, images, existing); ++n) {
        claim.path = NumberedPath(path, n);
    }
    claim.skip = existing == ExistingFile::kSkip && Exists(claim.path);
    claim.replace = existing == ExistingFile::kOverwrite;
    return claim;
}

void OutputNames::EndBatch() {
    batchOutputs_.clear();
}

bool OutputNames::NamesAnInput(const std::string& path) const {
    if (inputPaths_.count(path) != 0) {
        return true;
    }
    const std::optional<FileIdentity> identity = IdentityOf(path);
    return identity && inputFiles_.count(*identity) != 0;
}

bool OutputNames::Reserve(const std::string& primary, std::size_t images, ExistingFile existing) {
    // The numbered names of a file's other images are its outputs too: none may land on
    // an input or on another output of the batch.
    for (std::size_t i = 0; i < images; ++i) {
        const std::string name = NumberedImagePath(primary, i);
        if (NamesAnInput(name) || batchOutputs_.count(name) != 0 ||
            (existing == ExistingFile::kRename && Exists(name))) {
            return false;
        }
    }
    for (std::size_t i = 0; i < images; ++i) {
        batchOutputs_.insert(NumberedImagePath(primary, i));
    }
    return true;
}

} // namespace velquist
