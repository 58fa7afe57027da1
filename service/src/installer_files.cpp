#include "installer_files.h"

#include "installer_signing.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sodium.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace velquist::service {
namespace {

struct Fd {
    int fd;
    explicit Fd(int value) : fd(value) {}
    ~Fd() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

// openat2 with RESOLVE_BENEATH: every step of the name, symlinks included,
// must stay below the folder. Kernels before 5.6 lack it; there no symlink
// is followed at all.
int OpenBeneath(int folder, const std::string& name) {
    open_how how{};
    how.flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    const long fd = ::syscall(SYS_openat2, folder, name.c_str(), &how, sizeof how);
    if (fd >= 0 || errno != ENOSYS) {
        return static_cast<int>(fd);
    }
    return ::openat(folder, name.c_str(),
                    O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
}

int OpenFolder(const std::string& dir) {
    return ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

// `fd` when it is a regular file (its status in `info`), else closed and -1.
int KeepRegular(int fd, struct stat* info) {
    if (fd < 0) {
        return -1;
    }
    if (::fstat(fd, info) != 0 || !S_ISREG(info->st_mode)) {
        ::close(fd);
        return -1;
    }
    // Regular files never block; reads stay plain from here on.
    ::fcntl(fd, F_SETFL, 0);
    return fd;
}

std::string Hex(const unsigned char* bytes, std::size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        out.push_back(kDigits[bytes[i] >> 4]);
        out.push_back(kDigits[bytes[i] & 15]);
    }
    return out;
}

bool Sha256Of(int fd, std::string* hex) {
    crypto_hash_sha256_state state;
    crypto_hash_sha256_init(&state);
    if (!ReadChunks(fd, [&state](const unsigned char* data, std::size_t size) {
            crypto_hash_sha256_update(&state, data, static_cast<unsigned long long>(size));
        })) {
        return false;
    }
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256_final(&state, digest);
    *hex = Hex(digest, sizeof digest);
    return true;
}

} // namespace

int OpenInstaller(const std::string& dir, const std::string& name) {
    const Fd folder(OpenFolder(dir));
    struct stat info {};
    return folder.fd < 0 ? -1 : KeepRegular(OpenBeneath(folder.fd, name), &info);
}

InstallerDigests::~InstallerDigests() {
    if (folder_ >= 0) {
        ::close(folder_);
    }
}

// The folder stays open between update checks; it is opened anew (at most
// once a second) when a file is not found, in case the folder was replaced.
int InstallerDigests::OpenFile(const std::string& name, struct stat* info) {
    const auto now = std::chrono::steady_clock::now();
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (folder_ >= 0) {
            const int fd = OpenBeneath(folder_, name);
            if (fd >= 0 || errno != ENOENT) {
                return KeepRegular(fd, info);
            }
        }
        if (folder_ >= 0 && now - opened_ < std::chrono::seconds(1)) {
            return -1;
        }
        if (folder_ >= 0) {
            ::close(folder_);
        }
        folder_ = OpenFolder(dir_);
        opened_ = now;
    }
    return -1;
}

std::optional<InstallerDigest> InstallerDigests::Of(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    struct stat info {};
    const Fd file(OpenFile(name, &info));
    if (file.fd < 0) {
        return std::nullopt;
    }
    Entry& entry = entries_[name];
    if (entry.stamp == FileStamp::Of(info)) {
        return entry.digest;
    }
    InstallerDigest digest;
    digest.size = info.st_size;
    if (!Sha256Of(file.fd, &digest.sha256)) {
        entries_.erase(name);
        return std::nullopt;
    }
    entry = Entry{FileStamp::Of(info), digest};
    return digest;
}

std::optional<std::string> InstallerDigests::SignatureOf(const std::string& name) {
    const std::string sig_name = name + ".sig";
    std::lock_guard<std::mutex> lock(mutex_);
    struct stat info {};
    const Fd file(OpenFile(sig_name, &info));
    if (file.fd < 0) {
        signatures_.erase(sig_name);
        return std::nullopt;
    }
    Signature& entry = signatures_[sig_name];
    if (entry.stamp == FileStamp::Of(info)) {
        return entry.text;
    }
    // One line of Base64; anything much longer is no signature.
    char buffer[512];
    const ssize_t n = ::pread(file.fd, buffer, sizeof buffer, 0);
    if (n < 0) {
        signatures_.erase(sig_name);
        return std::nullopt;
    }
    entry.stamp = FileStamp::Of(info);
    entry.text =
        n > 0 ? SignatureText(std::string_view(buffer, static_cast<std::size_t>(n))) : std::nullopt;
    return entry.text;
}

FileStamp FileStamp::Of(const struct stat& info) {
    return FileStamp{info.st_dev, info.st_ino, info.st_size, info.st_mtim};
}

bool FileStamp::operator==(const FileStamp& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           mtime.tv_sec == other.mtime.tv_sec && mtime.tv_nsec == other.mtime.tv_nsec;
}

} // namespace velquist::service
