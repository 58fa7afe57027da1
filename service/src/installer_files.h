#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace velquist::service {

// Opens `name` inside `dir` for reading, or gives -1. Only regular files
// qualify: a symlink may not lead out of the folder, and a FIFO or device
// is refused without ever blocking on it.
int OpenInstaller(const std::string& dir, const std::string& name);

struct InstallerDigest {
    std::int64_t size = 0;
    std::string sha256; // lower-case hex
};

// Which version of a file a cached answer belongs to.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    std::int64_t size = -1;
    std::timespec mtime{};

    static FileStamp Of(const struct stat& info);
    bool operator==(const FileStamp& other) const;
};

// Size and SHA-256 of the installers, and the signature beside each, each
// worked out once and again only when its file changes (another inode, size
// or modification time).
class InstallerDigests {
  public:
    explicit InstallerDigests(std::string dir) : dir_(std::move(dir)) {}
    ~InstallerDigests();
    InstallerDigests(const InstallerDigests&) = delete;
    InstallerDigests& operator=(const InstallerDigests&) = delete;
    std::optional<InstallerDigest> Of(const std::string& name);
    // The Base64 signature in `name` + ".sig", when that file holds one.
    std::optional<std::string> SignatureOf(const std::string& name);

  private:
    struct Entry {
        FileStamp stamp;
        InstallerDigest digest;
    };
    struct Signature {
        FileStamp stamp;
        std::optional<std::string> text;
    };

    int OpenFile(const std::string& name, struct stat* info);

    std::string dir_;
    std::mutex mutex_;
    int folder_ = -1;
    std::chrono::steady_clock::time_point opened_{};
    std::map<std::string, Entry> entries_;
    std::map<std::string, Signature> signatures_;
};

} // namespace velquist::service
