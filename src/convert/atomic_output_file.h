#pragma once

#include "diagnostics.h"
#include "util/handles.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

namespace velquist {

// An output file that appears under its final name only once it is complete. Data goes to
// an unnamed file in the target's folder (O_TMPFILE), which Commit links in under a unique
// hidden name and renames over the target; a process that dies before then leaves
// nothing. Where the file system has no unnamed files, a named hidden file of the form
// ".NAME.velquist-XXXXXX" takes its place; a failed or abandoned write removes it, and
// SweepTemporaryFiles removes what a killed process could not.
class AtomicOutputFile {
  public:
    AtomicOutputFile() = default;
    ~AtomicOutputFile();
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    // Writes "Can't open <path>: <reason>" on failure.
    bool Open(const std::string& targetPath, Diagnostics& diag);
    FILE* Stream() const { return stream_.get(); }
    // Flushes, closes and puts the file in place; false (with a diagnostic line) if any
    // write failed.
    bool Commit(Diagnostics& diag);

    // The named temporary file, empty while the data lives in an unnamed one.
    const std::string& TempPath() const { return tempPath_; }

  private:
    enum class Opened { kYes, kUnsupported, kFailed };
    Opened OpenUnnamed(Diagnostics& diag);
    bool OpenNamed(Diagnostics& diag);
    bool LinkUnnamed(Diagnostics& diag);
    void Discard();

    std::string targetPath_;
    std::string tempPath_;
    UniqueFd fd_; // the unnamed file, kept open until it is linked
    FilePtr stream_;
    std::unique_ptr<char[]> buffer_;
};

// Removes the temporary files this class may have left for targetPath, or, with an empty
// name, those of any target in the folder; only files older than minAge are taken, so a
// writer that is still at work keeps its own.
void SweepTemporaryFiles(const std::string& targetPath, std::chrono::seconds minAge);
void SweepFolderTemporaryFiles(const std::string& folder, std::chrono::seconds minAge);

} // namespace velquist
