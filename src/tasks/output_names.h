#pragma once

#include "convert/conversion_settings.h"
#include "image_item.h"

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>

namespace velquist {

// Device and inode of a file; equal identities are one file whatever the names.
struct FileIdentity {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    auto operator<=>(const FileIdentity&) const = default;
};
// The identity of the file path names after following links; nothing when it is missing.
std::optional<FileIdentity> IdentityOf(const std::string& path);

// "dir/name.ext" -> "dir/name (n).ext"
std::string NumberedPath(const std::string& path, int n);

// The folder the item's output goes to, created as needed; empty for an unsafe subfolder.
std::wstring TargetFolder(const ImageItem& item, const std::wstring& outputDir);

// What a claim decided for a file's outputs.
struct OutputClaim {
    std::string path;     // the primary image's output name
    bool skip = false;    // the name is taken by an earlier file and the policy leaves it
    bool replace = false; // files from before the run under its names may be written over
};

// The output names of a run: which files are inputs, which names the run's outputs hold,
// and the collision rules between them and the files already there. Not locked: the
// engine calls it under its own lock.
class OutputNames {
  public:
    void AddInput(int id, const std::string& path);
    void RemoveInput(int id);

    // Names for a file of that many images whose primary output would be `path`: path or
    // its first " (n)" variant whose names (the primary's and the numbered images') are
    // no input and no other output of the run; the existing-file policy decides about
    // files from before the run.
    OutputClaim Claim(const std::string& path, std::size_t images, ExistingFile existing);
    // The batch is over: its outputs are earlier files for the next one.
    void EndBatch();

  private:
    bool NamesAnInput(const std::string& path) const;
    bool Reserve(const std::string& primary, std::size_t images, ExistingFile existing);

    // What every entry of the list points at, so that no output lands on an input: by
    // name, and by file identity for hard links, links and other spellings.
    std::multiset<std::string> inputPaths_;
    std::multiset<FileIdentity> inputFiles_;
    std::map<int, std::string> itemPaths_;
    std::map<int, FileIdentity> itemFiles_;
    // Output paths handed out in the current batch.
    std::set<std::string> batchOutputs_;
};

} // namespace velquist
