#include "atomic_output_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace velquist {
namespace {

constexpr size_t kBufferSize = 1 << 20;

std::string TempPattern(const std::string& targetPath) {
    const size_t slash = targetPath.rfind('/');
    const std::string dir =
        slash == std::string::npos ? std::string() : targetPath.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? targetPath : targetPath.substr(slash + 1);
    return dir + "." + name + ".XXXXXX";
}

mode_t DefaultFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

} // namespace

AtomicOutputFile::~AtomicOutputFile() {
    Discard();
}

bool AtomicOutputFile::Open(const std::string& targetPath, Diagnostics& diag) {
    Discard();
    targetPath_ = targetPath;
    std::string pattern = TempPattern(targetPath);
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        diag.Printf("Can't open %s: %s\n", targetPath.c_str(), std::strerror(errno));
        return false;
    }
    tempPath_ = name.data();
    // mkstemp creates the file private; an image should get the usual permissions.
    fchmod(fd, DefaultFileMode());
    stream_ = fdopen(fd, "wb");
    if (stream_ == nullptr) {
        const int error = errno;
        close(fd);
        unlink(tempPath_.c_str());
        tempPath_.clear();
        diag.Printf("Can't open %s: %s\n", targetPath.c_str(), std::strerror(error));
        return false;
    }
    // Large images: fewer, larger writes.
    buffer_ = std::make_unique<char[]>(kBufferSize);
    setvbuf(stream_, buffer_.get(), _IOFBF, kBufferSize);
    return true;
}

bool AtomicOutputFile::Commit(Diagnostics& diag) {
    if (stream_ == nullptr)
        return false;
    const bool writeFailed = std::fflush(stream_) != 0 || std::ferror(stream_) != 0;
    const int flushError = errno;
    const bool closeFailed = std::fclose(stream_) != 0;
    stream_ = nullptr;
    if (writeFailed || closeFailed) {
        diag.Printf("Error writing %s: %s\n", targetPath_.c_str(),
                    std::strerror(writeFailed ? flushError : errno));
        Discard();
        return false;
    }
    if (std::rename(tempPath_.c_str(), targetPath_.c_str()) != 0) {
        diag.Printf("Can't open %s: %s\n", targetPath_.c_str(), std::strerror(errno));
        Discard();
        return false;
    }
    tempPath_.clear();
    return true;
}

void AtomicOutputFile::Discard() {
    if (stream_ != nullptr) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    if (!tempPath_.empty()) {
        unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}

} // namespace velquist
