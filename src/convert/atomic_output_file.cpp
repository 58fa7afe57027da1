#include "atomic_output_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace velquist {
namespace {

constexpr size_t kBufferSize = 1 << 20;
constexpr char kTempMarker[] = ".velquist-";
constexpr size_t kTempSuffixLength = 6; // the XXXXXX of mkstemp

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string TempPattern(const std::string& targetPath) {
    const size_t slash = targetPath.rfind('/');
    const std::string dir =
        slash == std::string::npos ? std::string() : targetPath.substr(0, slash + 1);
    return dir + "." + NameOf(targetPath) + kTempMarker + "XXXXXX";
}

mode_t DefaultFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

// True for ".NAME.velquist-XXXXXX"; with an empty target any NAME matches.
bool IsTemporaryName(const std::string& entry, const std::string& targetName) {
    const size_t marker = std::strlen(kTempMarker);
    if (entry.size() < 1 + marker + kTempSuffixLength + 1 || entry[0] != '.') {
        return false;
    }
    const size_t at = entry.size() - kTempSuffixLength - marker;
    if (entry.compare(at, marker, kTempMarker) != 0) {
        return false;
    }
    return targetName.empty() || entry.compare(1, at - 1, targetName) == 0;
}

void Sweep(const std::string& folder, const std::string& targetName, std::chrono::seconds minAge) {
    const DirPtr dir(::opendir(folder.c_str()));
    if (!dir) {
        return;
    }
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (!IsTemporaryName(name, targetName)) {
            continue;
        }
        struct stat info {};
        if (::fstatat(::dirfd(dir.get()), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode) || now - info.st_mtime < minAge.count()) {
            continue;
        }
        ::unlinkat(::dirfd(dir.get()), name.c_str(), 0);
    }
}

} // namespace

AtomicOutputFile::~AtomicOutputFile() {
    Discard();
}

bool AtomicOutputFile::Open(const std::string& targetPath, Diagnostics& diag) {
    Discard();
    targetPath_ = targetPath;
    const Opened unnamed = OpenUnnamed(diag);
    if (unnamed == Opened::kFailed || (unnamed == Opened::kUnsupported && !OpenNamed(diag))) {
        return false;
    }
    // Large images: fewer, larger writes.
    buffer_ = std::make_unique<char[]>(kBufferSize);
    setvbuf(stream_.get(), buffer_.get(), _IOFBF, kBufferSize);
    return true;
}

AtomicOutputFile::Opened AtomicOutputFile::OpenUnnamed(Diagnostics& diag) {
    UniqueFd fd(::open(FolderOf(targetPath_).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (!fd) {
        const int error = errno;
        // Only a file system without unnamed files falls back; any other error is final.
        if (error == EOPNOTSUPP || error == EISDIR || error == EINVAL) {
            return Opened::kUnsupported;
        }
        diag.NoteSystemError(error);
        diag.Printf("Can't open %s: %s\n", targetPath_.c_str(), std::strerror(error));
        return Opened::kFailed;
    }
    const int copy = ::fcntl(fd.Get(), F_DUPFD_CLOEXEC, 3);
    FilePtr stream(copy < 0 ? nullptr : ::fdopen(copy, "wb"));
    if (!stream) {
        const int error = errno;
        if (copy >= 0) {
            ::close(copy);
        }
        diag.NoteSystemError(error);
        diag.Printf("Can't open %s: %s\n", targetPath_.c_str(), std::strerror(error));
        return Opened::kFailed;
    }
    fd_ = std::move(fd);
    stream_ = std::move(stream);
    return Opened::kYes;
}

bool AtomicOutputFile::OpenNamed(Diagnostics& diag) {
    std::string pattern = TempPattern(targetPath_);
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    UniqueFd fd(mkstemp(name.data()));
    if (!fd) {
        const int error = errno;
        diag.NoteSystemError(error);
        diag.Printf("Can't open %s: %s\n", targetPath_.c_str(), std::strerror(error));
        return false;
    }
    tempPath_ = name.data();
    // mkstemp creates the file private; an image should get the usual permissions.
    fchmod(fd.Get(), DefaultFileMode());
    stream_.reset(fdopen(fd.Get(), "wb"));
    if (!stream_) {
        const int error = errno;
        diag.NoteSystemError(error);
        diag.Printf("Can't open %s: %s\n", targetPath_.c_str(), std::strerror(error));
        Discard();
        return false;
    }
    fd.Release();
    return true;
}

bool AtomicOutputFile::LinkUnnamed(Diagnostics& diag) {
    const std::string source = "/proc/self/fd/" + std::to_string(fd_.Get());
    std::string pattern = TempPattern(targetPath_);
    const size_t suffix = pattern.size() - kTempSuffixLength;
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<size_t> pick(0, sizeof kLetters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (size_t i = 0; i < kTempSuffixLength; ++i) {
            pattern[suffix + i] = kLetters[pick(random)];
        }
        if (::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, pattern.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            tempPath_ = pattern;
            fd_.Reset();
            return true;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    const int error = errno;
    diag.NoteSystemError(error);
    diag.Printf("Can't open %s: %s\n", targetPath_.c_str(), std::strerror(error));
    Discard();
    return false;
}

bool AtomicOutputFile::Commit(Diagnostics& diag) {
    if (!stream_) {
        return false;
    }
    errno = 0;
    const bool writeFailed = std::fflush(stream_.get()) != 0 || std::ferror(stream_.get()) != 0;
    const int flushError = errno;
    const bool closeFailed = std::fclose(stream_.release()) != 0;
    const int closeError = errno;
    if (writeFailed || closeFailed) {
        const int error = writeFailed ? flushError : closeError;
        diag.NoteSystemError(error);
        diag.Printf("Error writing %s: %s\n", targetPath_.c_str(), std::strerror(error));
        Discard();
        return false;
    }
    if (fd_ && !LinkUnnamed(diag)) {
        return false;
    }
    if (std::rename(tempPath_.c_str(), targetPath_.c_str()) != 0) {
        const int error = errno;
        diag.NoteSystemError(error);
        diag.Printf("Can't open %s: %s\n", targetPath_.c_str(), std::strerror(error));
        Discard();
        return false;
    }
    tempPath_.clear();
    return true;
}

void AtomicOutputFile::Discard() {
    stream_.reset();
    fd_.Reset();
    if (!tempPath_.empty()) {
        unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}

void SweepTemporaryFiles(const std::string& targetPath, std::chrono::seconds minAge) {
    Sweep(FolderOf(targetPath), NameOf(targetPath), minAge);
}

void SweepFolderTemporaryFiles(const std::string& folder, std::chrono::seconds minAge) {
    Sweep(folder, std::string(), minAge);
}

} // namespace velquist
