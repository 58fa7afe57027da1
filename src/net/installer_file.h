#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace velquist {

// A download on its way to disk: written under a temporary name (mode 0600) in the
// target folder, hashed as it is written, and given its real name only by Commit. Until
// then nothing else can mistake it for a finished installer; destroying an uncommitted
// file removes it, so a failure or a cancel leaves nothing behind.
class PartialFile {
  public:
    // Creates the temporary file in folder; check Ok() afterwards.
    explicit PartialFile(const std::string& folder);
    ~PartialFile();
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    bool Ok() const { return file_ != nullptr; }
    const std::string& temp_path() const { return temp_path_; }

    bool Write(const char* data, std::size_t size);
    // Flushes the data to the disk; false when that fails.
    bool Finish();
    // The lower-case hex SHA-256 of everything written.
    std::string Sha256Hex();
    // Renames the file to final_path; false (and the file removed) when that fails.
    bool Commit(const std::string& final_path);

  private:
    struct Hasher;
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    std::string temp_path_;
    std::unique_ptr<std::FILE, FileCloser> file_;
    std::unique_ptr<Hasher> hasher_;
    bool committed_ = false;
};

// The first "major.minor.revision" in a file name ("velquist_1.2.3_amd64.deb" gives
// 1.2.3); false when there is none.
bool VersionInFileName(const std::string& name, int* major, int* minor, int* revision);

// Removes what earlier downloads left in folder (the installer folder, never below it):
// ".deb" files whose name carries a version no newer than running, and interrupted
// downloads. Names are taken as bytes; links and other kinds of entries stay. Returns
// how many files went.
int RemoveStaleInstallers(const std::string& folder, const std::string& running);

// True for 64 hex digits; *normalized gets them in lower case.
bool ParseSha256Hex(const std::string& text, std::string* normalized);

} // namespace velquist
