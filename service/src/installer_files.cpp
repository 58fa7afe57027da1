#include "installer_files.h"

#include <cerrno>
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
int OpenBeneath(const std::string& dir, const std::string& name) {
    const Fd folder(::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folder.fd < 0) {
        return -1;
    }
    open_how how{};
    how.flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    const long fd = ::syscall(SYS_openat2, folder.fd, name.c_str(), &how, sizeof how);
    if (fd >= 0 || errno != ENOSYS) {
        return static_cast<int>(fd);
    }
    return ::openat(folder.fd, name.c_str(),
                    O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
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
    unsigned char buffer[64 * 1024];
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, offset);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            break;
        }
        crypto_hash_sha256_update(&state, buffer, static_cast<unsigned long long>(n));
        offset += n;
    }
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256_final(&state, digest);
    *hex = Hex(digest, sizeof digest);
    return true;
}

} // namespace

int OpenInstaller(const std::string& dir, const std::string& name) {
    const int fd = OpenBeneath(dir, name);
    if (fd < 0) {
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    // Regular files never block; reads stay plain from here on.
    ::fcntl(fd, F_SETFL, 0);
    return fd;
}

std::optional<InstallerDigest> InstallerDigests::Of(const std::string& name) {
    const Fd file(OpenInstaller(dir_, name));
    struct stat info {};
    if (file.fd < 0 || ::fstat(file.fd, &info) != 0) {
        return std::nullopt;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    Entry& entry = entries_[name];
    const bool same = entry.device == info.st_dev && entry.inode == info.st_ino &&
                      entry.size == info.st_size && entry.mtime.tv_sec == info.st_mtim.tv_sec &&
                      entry.mtime.tv_nsec == info.st_mtim.tv_nsec;
    if (same) {
        return entry.digest;
    }
    InstallerDigest digest;
    digest.size = info.st_size;
    if (!Sha256Of(file.fd, &digest.sha256)) {
        entries_.erase(name);
        return std::nullopt;
    }
    entry = Entry{info.st_dev, info.st_ino, info.st_size, info.st_mtim, digest};
    return digest;
}

} // namespace velquist::service
