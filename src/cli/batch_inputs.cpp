#include "batch_inputs.h"

#include "tasks/image_item.h"
#include "util/handles.h"
#include "util/shown_name.h"
#include "util/text.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace velquist {
namespace {

std::string CannotRead(const std::string& path, int error) {
    return "cannot read " + QuotedName(path) + ": " + std::strerror(error);
}

// The folders below folder, depth first, not following links to folders.
void CollectSubfolders(const std::string& folder, std::vector<std::string>* out,
                       std::vector<std::string>* warnings);

struct Found {
    std::string path;
    std::string subFolder;
};

// dir is folder itself or was made by joining names onto it.
std::string RelativeFolder(const std::string& folder, const std::string& dir) {
    if (dir.size() <= folder.size()) {
        return {};
    }
    return dir.substr(folder.size() + (folder.back() == '/' ? 0 : 1));
}

void AddFolder(const std::string& folder, bool recursive, std::vector<Found>* files,
               std::vector<std::string>* warnings) {
    std::vector<std::string> folders{folder};
    if (recursive) {
        CollectSubfolders(folder, &folders, warnings);
    }
    for (const std::string& dir : folders) {
        const std::string sub = RelativeFolder(folder, dir);
        for (ImageItem& item : ScanImageFolder(dir)) {
            files->push_back({std::move(item.sourcePath), sub});
        }
    }
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') {
        return folder + name;
    }
    return folder + "/" + name;
}

bool IsRealFolder(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void CollectSubfolders(const std::string& folder, std::vector<std::string>* out,
                       std::vector<std::string>* warnings) {
    DirPtr dir(::opendir(folder.c_str()));
    if (!dir) {
        warnings->push_back(CannotRead(folder, errno) + " (skipped)");
        return;
    }
    std::vector<std::string> children;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        const std::string path = JoinPath(folder, name);
        if (IsRealFolder(path)) {
            children.push_back(path);
        }
    }
    dir.reset();
    for (const std::string& child : children) {
        out->push_back(child);
        CollectSubfolders(child, out, warnings);
    }
}

// Two spellings of one file ("a.heic", "./a.heic") are the same input.
std::string IdentityOf(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                         &std::free);
    return resolved ? std::string(resolved.get()) : path;
}

} // namespace

BatchInputs CollectInputs(const std::vector<std::string>& paths, bool recursive) {
    BatchInputs result;
    std::vector<Found> found;
    for (const std::string& path : paths) {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) {
            result.errors.push_back(CannotRead(path, errno));
            continue;
        }
        if (::access(path.c_str(), R_OK) != 0) {
            result.errors.push_back(CannotRead(path, errno));
            continue;
        }
        if (S_ISDIR(info.st_mode)) {
            AddFolder(path, recursive, &found, &result.warnings);
            continue;
        }
        if (!S_ISREG(info.st_mode)) {
            result.errors.push_back("cannot read " + QuotedName(path) + ": not a regular file");
            continue;
        }
        found.push_back({path, {}});
    }
    std::set<std::string> seen;
    for (Found& file : found) {
        if (seen.insert(IdentityOf(file.path)).second) {
            result.files.push_back(std::move(file.path));
            result.subFolders.push_back(std::move(file.subFolder));
        }
    }
    return result;
}

void AddListedFiles(const std::vector<std::pair<std::string, std::string>>& listed,
                    BatchInputs* inputs) {
    std::set<std::string> seen;
    for (const std::string& file : inputs->files) {
        seen.insert(IdentityOf(file));
    }
    std::vector<std::string> files;
    std::vector<std::string> subFolders;
    for (const auto& [path, sub] : listed) {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0 || ::access(path.c_str(), R_OK) != 0) {
            inputs->errors.push_back(CannotRead(path, errno));
            continue;
        }
        if (!S_ISREG(info.st_mode)) {
            inputs->errors.push_back("cannot read " + QuotedName(path) + ": not a regular file");
            continue;
        }
        if (seen.insert(IdentityOf(path)).second) {
            files.push_back(path);
            subFolders.push_back(sub);
        }
    }
    inputs->files.insert(inputs->files.begin(), files.begin(), files.end());
    inputs->subFolders.insert(inputs->subFolders.begin(), subFolders.begin(), subFolders.end());
}

} // namespace velquist
