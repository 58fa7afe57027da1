#include "output_names.h"

#include "config/app_paths.h"
#include "convert/temp_names.h"
#include "convert/top_level_images.h"
#include "util/handles.h"
#include "util/text.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <wctype.h>

namespace velquist {
namespace {

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ResolvedFolder(const std::string& folder) {
    char resolved[PATH_MAX];
    return ::realpath(folder.c_str(), resolved) != nullptr ? std::string(resolved) : folder;
}

FileIdentity IdentityFrom(const struct stat& info) {
    return FileIdentity{
        static_cast<unsigned long long>(info.st_dev), static_cast<unsigned long long>(info.st_ino),
        static_cast<long long>(info.st_size),
        static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec};
}

locale_t UnicodeCase() {
    static const locale_t locale = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    return locale;
}

} // namespace

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return IdentityFrom(info);
}

std::string NumberedPath(const std::string& path, int n) {
    const auto slash = path.rfind('/');
    const auto dot = path.rfind('.');
    const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    const auto cut = hasExt ? dot : path.size();
    return path.substr(0, cut) + " (" + std::to_string(n) + ")" + path.substr(cut);
}

std::string TargetFolder(const ImageItem& item, const std::string& outputDir) {
    if (item.subFolder.empty()) {
        return outputDir;
    }
    if (!IsSafeSubfolder(item.subFolder)) {
        return {};
    }
    return WideToPath(CreateDirectoryTree(PathToWide(outputDir + "/" + item.subFolder)));
}

bool FolderFoldsCase(const std::string& folder) {
    const std::string name = NewTemporaryName();
    const std::string path = folder + "/" + name;
    if (!UniqueFd(::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600))) {
        return true;
    }
    std::string upper = name;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    // Nothing else can bear the random name: finding it in other case is the answer, even
    // where the file system numbers the file differently under each name.
    struct stat info {};
    const bool folds = ::stat((folder + "/" + upper).c_str(), &info) == 0;
    ::unlink(path.c_str());
    return folds;
}

std::string CaseFolded(const std::string& name) {
    std::wstring wide = PathToWide(name);
    const locale_t locale = UnicodeCase();
    for (wchar_t& c : wide) {
        if (locale != static_cast<locale_t>(nullptr)) {
            c = static_cast<wchar_t>(::towupper_l(static_cast<wint_t>(c), locale));
        } else if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - L'a' + L'A');
        }
    }
    return WideToPath(wide);
}

void OutputNames::AddInput(int id, const std::string& path) {
    inputPaths_.insert(path);
    itemPaths_[id] = path;
    if (const std::optional<FileIdentity> file = IdentityOf(path)) {
        inputInodes_.emplace(file->device, file->inode);
        inputContents_.emplace(file->device, file->size, file->mtimeNs);
        itemFiles_.emplace(id, *file);
    }
}

void OutputNames::RemoveInput(int id) {
    if (const auto path = itemPaths_.find(id); path != itemPaths_.end()) {
        inputPaths_.erase(inputPaths_.find(path->second));
        itemPaths_.erase(path);
    }
    if (const auto found = itemFiles_.find(id); found != itemFiles_.end()) {
        const FileIdentity& file = found->second;
        inputInodes_.erase(inputInodes_.find({file.device, file.inode}));
        inputContents_.erase(inputContents_.find({file.device, file.size, file.mtimeNs}));
        itemFiles_.erase(found);
    }
}

bool OutputNames::IsInput(const FileIdentity& file) const {
    // A different inode proves nothing where inodes are not stable; a different size or
    // modification time does.
    return inputInodes_.count({file.device, file.inode}) != 0 ||
           inputContents_.count({file.device, file.size, file.mtimeNs}) != 0;
}

std::string OutputNames::RunKey(const std::string& path) {
    const std::string folder = FolderOf(path);
    auto found = folders_.find(folder);
    if (found == folders_.end()) {
        found = folders_.emplace(folder, std::pair(ResolvedFolder(folder), FolderFoldsCase(folder)))
                    .first;
    }
    const auto& [resolved, folds] = found->second;
    return resolved + "/" + (folds ? CaseFolded(NameOf(path)) : NameOf(path));
}

OutputNames::Taken OutputNames::WhoHolds(const std::string& name) {
    if (inputPaths_.count(name) != 0 || batchOutputs_.count(RunKey(name)) != 0) {
        return Taken::kByRun;
    }
    struct stat info {};
    if (::lstat(name.c_str(), &info) != 0) {
        return Taken::kFree;
    }
    const std::optional<FileIdentity> file = IdentityOf(name);
    return file && IsInput(*file) ? Taken::kByRun : Taken::kEarlier;
}

OutputClaim OutputNames::Claim(const std::string& path, std::size_t images, ExistingFile existing) {
    for (int n = 1;; ++n) {
        OutputClaim claim{n == 1 ? path : NumberedPath(path, n)};
        std::vector<Taken> holders;
        for (std::size_t i = 0; i < images; ++i) {
            holders.push_back(WhoHolds(NumberedImagePath(claim.path, i)));
        }
        bool byRun = false;
        bool earlier = false;
        for (const Taken holder : holders) {
            byRun = byRun || holder == Taken::kByRun;
            earlier = earlier || holder == Taken::kEarlier;
        }
        // Skipping is about the file's own name: an earlier file under one of its other
        // images' names moves the whole file to the next number, as renaming does.
        const bool primaryEarlier = holders.front() == Taken::kEarlier;
        if (byRun || (earlier && existing == ExistingFile::kRename) ||
            (earlier && !primaryEarlier && existing == ExistingFile::kSkip)) {
            continue;
        }
        for (std::size_t i = 0; i < images; ++i) {
            batchOutputs_.insert(RunKey(NumberedImagePath(claim.path, i)));
        }
        claim.skip = existing == ExistingFile::kSkip && primaryEarlier;
        claim.replace = earlier && existing == ExistingFile::kOverwrite;
        return claim;
    }
}

void OutputNames::EndBatch() {
    batchOutputs_.clear();
    folders_.clear();
}

} // namespace velquist
