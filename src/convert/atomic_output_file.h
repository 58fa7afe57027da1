#pragma once

#include "diagnostics.h"
#include "util/handles.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

namespace velquist {

// How a finished output takes its name: over whatever file holds it, or only where no
// file is (the file system decides, whatever the spelling of the name that holds it).
enum class OutputCommit { kReplace, kNoReplace };

// Sets the calling thread's commit mode while it lives: the encoders open their outputs
// without knowing whether the run may replace an earlier file.
class ScopedOutputCommit {
  public:
    explicit ScopedOutputCommit(OutputCommit mode);
    ~ScopedOutputCommit();
    ScopedOutputCommit(const ScopedOutputCommit&) = delete;
    ScopedOutputCommit& operator=(const ScopedOutputCommit&) = delete;

  private:
    OutputCommit previous_;
};

// An output file that appears under its final name only once it is complete. Data goes to
// an unnamed file in the target's folder (O_TMPFILE), which Commit links in; a process that
// dies before then leaves nothing. Where the file system has no unnamed files, a hidden
// file with a short name telling its writer (see temp_names.h) takes its place; a failed
// or abandoned write removes it, and the sweeps remove what a killed process could not.
class AtomicOutputFile {
  public:
    AtomicOutputFile();
    ~AtomicOutputFile();
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    // Writes "Can't open <path>: <reason>" on failure.
    bool Open(const std::string& targetPath, Diagnostics& diag);
    FILE* Stream() const { return stream_.get(); }
    // Flushes, closes and puts the file in place; false (with a diagnostic line naming the
    // step that failed: writing, linking, renaming) if any write failed or, without
    // replacing, the name was taken.
    bool Commit(Diagnostics& diag);

    // The named temporary file, empty while the data lives in an unnamed one.
    const std::string& TempPath() const { return tempPath_; }

  private:
    enum class Opened { kYes, kUnsupported, kFailed };
    Opened OpenUnnamed(Diagnostics& diag);
    bool OpenNamed(Diagnostics& diag);
    bool LinkUnnamed(const std::string& name);
    const char* PutInPlace();
    const char* PutInPlaceWithoutReplacing();
    bool Fail(const char* what, int error, Diagnostics& diag);
    void Discard();

    OutputCommit mode_;
    std::string targetPath_;
    std::string tempPath_;
    UniqueFd fd_; // the unnamed file, kept open until it is linked
    FilePtr stream_;
    std::unique_ptr<char[]> buffer_;
};

// Removes the temporary files whose writers are gone from the folder of targetPath (or
// from folder): at once for writers of this machine's boot, and after minAge for those
// that cannot be checked. Also the longer names earlier versions used, after minAge.
void SweepTemporaryFiles(const std::string& targetPath, std::chrono::seconds minAge);
void SweepFolderTemporaryFiles(const std::string& folder, std::chrono::seconds minAge);

} // namespace velquist
