#include "atomic_output_file.h"

#include "temp_names.h"
#include "util/shown_name.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velquist {
namespace {

constexpr size_t kBufferSize = 1 << 20;
// The names earlier versions gave their temporary files: ".NAME.velquist-XXXXXX".
constexpr char kOldTempMarker[] = ".velquist-";
constexpr size_t kOldTempSuffixLength = 6;
// Writers that cannot be asked whether they still run finish well within this.
constexpr std::chrono::seconds kUncheckedWriterAge{15 * 60};

// Steps of putting a finished file in place, as its diagnostic line names them.
constexpr char kCantLink[] = "Can't link";
constexpr char kCantRename[] = "Can't rename";
constexpr char kCantCreate[] = "Can't create";

thread_local OutputCommit threadCommitMode = OutputCommit::kReplace;

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string TemporaryPathBeside(const std::string& targetPath) {
    return FolderOf(targetPath) + "/" + NewTemporaryName();
}

mode_t DefaultFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

bool IsOldTemporaryName(const std::string& entry) {
    const size_t marker = std::strlen(kOldTempMarker);
    if (entry.size() < 1 + marker + kOldTempSuffixLength + 1 || entry[0] != '.') {
        return false;
    }
    const size_t at = entry.size() - kOldTempSuffixLength - marker;
    return entry.compare(at, marker, kOldTempMarker) == 0;
}

void SweepOldNames(const std::string& folder, std::chrono::seconds minAge) {
    const DirPtr dir(::opendir(folder.c_str()));
    if (!dir) {
        return;
    }
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(dir.get())) {
        struct stat info {};
        if (!IsOldTemporaryName(entry->d_name) ||
            ::fstatat(::dirfd(dir.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode) || now - info.st_mtime < minAge.count()) {
            continue;
        }
        ::unlinkat(::dirfd(dir.get()), entry->d_name, 0);
    }
}

// Refusals that mean the file system lacks the call, not that the name is taken.
bool Unsupported(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == EPERM;
}

} // namespace

ScopedOutputCommit::ScopedOutputCommit(OutputCommit mode) : previous_(threadCommitMode) {
    threadCommitMode = mode;
}

ScopedOutputCommit::~ScopedOutputCommit() {
    threadCommitMode = previous_;
}

AtomicOutputFile::AtomicOutputFile() : mode_(threadCommitMode) {}

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

bool AtomicOutputFile::Fail(const char* what, int error, Diagnostics& diag) {
    diag.NoteSystemError(error);
    diag.Printf("%s %s: %s\n", what, QuotedName(targetPath_).c_str(), std::strerror(error));
    Discard();
    return false;
}

AtomicOutputFile::Opened AtomicOutputFile::OpenUnnamed(Diagnostics& diag) {
    UniqueFd fd(::open(FolderOf(targetPath_).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (!fd) {
        const int error = errno;
        // Only a file system without unnamed files falls back; any other error is final.
        if (error == EOPNOTSUPP || error == EISDIR || error == EINVAL) {
            return Opened::kUnsupported;
        }
        Fail("Can't open", error, diag);
        return Opened::kFailed;
    }
    const int copy = ::fcntl(fd.Get(), F_DUPFD_CLOEXEC, 3);
    FilePtr stream(copy < 0 ? nullptr : ::fdopen(copy, "wb"));
    if (!stream) {
        const int error = errno;
        if (copy >= 0) {
            ::close(copy);
        }
        Fail("Can't open", error, diag);
        return Opened::kFailed;
    }
    fd_ = std::move(fd);
    stream_ = std::move(stream);
    return Opened::kYes;
}

bool AtomicOutputFile::OpenNamed(Diagnostics& diag) {
    UniqueFd fd;
    for (int attempt = 0; attempt < 100 && !fd; ++attempt) {
        tempPath_ = TemporaryPathBeside(targetPath_);
        fd.Reset(
            ::open(tempPath_.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, DefaultFileMode()));
        if (!fd && errno != EEXIST) {
            break;
        }
    }
    if (!fd) {
        const int error = errno;
        tempPath_.clear();
        return Fail("Can't open", error, diag);
    }
    stream_.reset(::fdopen(fd.Get(), "wb"));
    if (!stream_) {
        return Fail("Can't open", errno, diag);
    }
    fd.Release();
    return true;
}

bool AtomicOutputFile::LinkUnnamed(const std::string& name) {
    const std::string source = "/proc/self/fd/" + std::to_string(fd_.Get());
    return ::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

// Replacing: the unnamed file gets a temporary name first, which then moves over the
// target in one step. Returns the step that failed (errno tells why), or null.
const char* AtomicOutputFile::PutInPlace() {
    for (int attempt = 0; fd_ && attempt < 100; ++attempt) {
        const std::string name = TemporaryPathBeside(targetPath_);
        if (LinkUnnamed(name)) {
            tempPath_ = name;
            fd_.Reset();
        } else if (errno != EEXIST) {
            return kCantLink;
        }
    }
    if (fd_) {
        return kCantLink;
    }
    return std::rename(tempPath_.c_str(), targetPath_.c_str()) == 0 ? nullptr : kCantRename;
}

// Without replacing, the name is created in one step that fails when any file holds it.
const char* AtomicOutputFile::PutInPlaceWithoutReplacing() {
    if (fd_) {
        return LinkUnnamed(targetPath_) ? nullptr : kCantLink;
    }
    if (::renameat2(AT_FDCWD, tempPath_.c_str(), AT_FDCWD, targetPath_.c_str(), RENAME_NOREPLACE) ==
        0) {
        return nullptr;
    }
    if (!Unsupported(errno)) {
        return kCantRename;
    }
    // Some FUSE and network file systems refuse the flag: a second link is as exclusive.
    if (::linkat(AT_FDCWD, tempPath_.c_str(), AT_FDCWD, targetPath_.c_str(), 0) == 0) {
        ::unlink(tempPath_.c_str());
        return nullptr;
    }
    if (!Unsupported(errno)) {
        return kCantLink;
    }
    // Without links (FAT, exFAT) the name is taken empty, exclusively, and filled at once.
    if (!UniqueFd(::open(targetPath_.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC,
                         DefaultFileMode()))) {
        return kCantCreate;
    }
    if (std::rename(tempPath_.c_str(), targetPath_.c_str()) != 0) {
        const int error = errno;
        ::unlink(targetPath_.c_str());
        errno = error;
        return kCantRename;
    }
    return nullptr;
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
        return Fail("Error writing", writeFailed ? flushError : closeError, diag);
    }
    // The line names the step that failed: a refused rename or link is another matter
    // than a folder that cannot be written at all.
    const char* failed =
        mode_ == OutputCommit::kReplace ? PutInPlace() : PutInPlaceWithoutReplacing();
    if (failed != nullptr) {
        return Fail(failed, errno, diag);
    }
    fd_.Reset();
    tempPath_.clear();
    return true;
}

void AtomicOutputFile::Discard() {
    stream_.reset();
    fd_.Reset();
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}

void SweepTemporaryFiles(const std::string& targetPath, std::chrono::seconds minAge) {
    SweepFolderTemporaryFiles(FolderOf(targetPath), minAge);
}

void SweepFolderTemporaryFiles(const std::string& folder, std::chrono::seconds minAge) {
    // Another machine's writer may share a network folder: its files go only by age.
    SweepDeadTemporaryFiles(folder, std::max(minAge, kUncheckedWriterAge));
    SweepOldNames(folder, minAge);
}

} // namespace velquist
