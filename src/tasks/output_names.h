#pragma once

#include "convert/conversion_settings.h"
#include "image_item.h"

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>

namespace velquist {

// What tells a file apart: its device and inode, and its size and modification time for
// file systems (FUSE, network mounts) that may number the same file differently from one
// look to the next.
struct FileIdentity {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    long long size = 0;
    long long mtimeNs = 0;
    auto operator<=>(const FileIdentity&) const = default;
};
// The identity of the file path names after following links; nothing when it is missing.
std::optional<FileIdentity> IdentityOf(const std::string& path);

// "dir/name.ext" -> "dir/name (n).ext"
std::string NumberedPath(const std::string& path, int n);

// The folder the item's output goes to, created as needed; empty for an unsafe subfolder.
std::string TargetFolder(const ImageItem& item, const std::string& outputDir);

// Whether the file system of folder takes names that differ only in case for one file:
// asked with a hidden file of its own. A folder that cannot be asked counts as folding.
bool FolderFoldsCase(const std::string& folder);
// The name as a folder that folds case sees it: upper case, by Unicode's simple mapping.
std::string CaseFolded(const std::string& name);

// What a claim decided for a file's outputs.
struct OutputClaim {
    std::string path;     // the primary image's output name
    bool skip = false;    // the name is taken by an earlier file and the policy leaves it
    bool replace = false; // earlier files under its names may be written over
};

// The output names of a run. Whether a name is taken, and by what, is asked of the file
// system where the output lands: a name is an input's when the file it names is one of the
// inputs; it is another output's when it is that output's name as the folder compares
// names (by case too, where the folder folds case). No output replaces an input or another
// output of the run; the existing-file policy decides only about files from before it,
// and an existing file not proven different from every input counts as an input. Not
// locked: the engine calls it under its own lock.
class OutputNames {
  public:
    void AddInput(int id, const std::string& path);
    void RemoveInput(int id);

    // Names for a file of that many images whose primary output would be `path`: path or
    // its first " (n)" variant whose names (the primary's and the numbered images') are
    // free for it.
    OutputClaim Claim(const std::string& path, std::size_t images, ExistingFile existing);
    // The batch is over: its outputs are earlier files for the next one.
    void EndBatch();

  private:
    enum class Taken { kFree, kByRun, kEarlier };
    Taken WhoHolds(const std::string& name);
    bool IsInput(const FileIdentity& file) const;
    std::string RunKey(const std::string& path);

    std::multiset<std::string> inputPaths_;
    std::multiset<std::tuple<unsigned long long, unsigned long long>> inputInodes_;
    std::multiset<std::tuple<unsigned long long, long long, long long>> inputContents_;
    std::map<int, std::string> itemPaths_;
    std::map<int, FileIdentity> itemFiles_;
    // The current batch's output names, as their folders compare names.
    std::set<std::string> batchOutputs_;
    // Per folder of the batch: its resolved path and whether it folds case.
    std::map<std::string, std::pair<std::string, bool>> folders_;
};

} // namespace velquist
