#pragma once

#include "diagnostics.h"

#include <cstdio>
#include <memory>
#include <string>

namespace velquist {

// An output file that appears under its final name only once it is complete: data goes
// to a unique temporary file in the same folder, which Commit renames over the target.
// A failed or abandoned write removes the temporary file and leaves any earlier file of
// the target name untouched, so a reader never sees a half-written image.
class AtomicOutputFile {
  public:
    AtomicOutputFile() = default;
    ~AtomicOutputFile();
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    // Writes "Can't open <path>: <reason>" on failure.
    bool Open(const std::string& targetPath, Diagnostics& diag);
    FILE* Stream() const { return stream_; }
    // Flushes, closes and renames; false (with a diagnostic line) if any write failed.
    bool Commit(Diagnostics& diag);

    const std::string& TempPath() const { return tempPath_; }

  private:
    void Discard();

    std::string targetPath_;
    std::string tempPath_;
    FILE* stream_ = nullptr;
    std::unique_ptr<char[]> buffer_;
};

} // namespace velquist
