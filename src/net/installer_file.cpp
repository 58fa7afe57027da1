#include "net/installer_file.h"

#include "net/version.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <openssl/evp.h>
#include <unistd.h>

namespace velquist {

struct PartialFile::Hasher {
    struct ContextFree {
        void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
    };
    std::unique_ptr<EVP_MD_CTX, ContextFree> context{EVP_MD_CTX_new()};
    bool ok = context && EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) == 1;
};

PartialFile::PartialFile(const std::string& folder) : hasher_(std::make_unique<Hasher>()) {
    std::string pattern = folder + "/.partial-XXXXXX";
    // mkstemp creates the file readable and writable by its owner only.
    int fd = mkstemp(pattern.data());
    if (fd < 0) {
        return;
    }
    temp_path_ = pattern;
    file_.reset(fdopen(fd, "wb"));
    if (!file_) {
        close(fd);
    }
}

PartialFile::~PartialFile() {
    file_.reset();
    if (!committed_ && !temp_path_.empty()) {
        unlink(temp_path_.c_str());
    }
}

bool PartialFile::Write(const char* data, std::size_t size) {
    if (!file_ || std::fwrite(data, 1, size, file_.get()) != size) {
        return false;
    }
    hasher_->ok = hasher_->ok && EVP_DigestUpdate(hasher_->context.get(), data, size) == 1;
    return true;
}

bool PartialFile::Finish() {
    return file_ && std::fflush(file_.get()) == 0 && fsync(fileno(file_.get())) == 0;
}

std::string PartialFile::Sha256Hex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!hasher_->ok || EVP_DigestFinal_ex(hasher_->context.get(), digest, &length) != 1) {
        return {};
    }
    hasher_->ok = false; // a digest is final; a second call must not pass as valid
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0x0f];
    }
    return hex;
}

bool PartialFile::Commit(const std::string& final_path) {
    if (!file_ || std::fclose(file_.release()) != 0) {
        return false;
    }
    if (std::rename(temp_path_.c_str(), final_path.c_str()) != 0) {
        return false;
    }
    committed_ = true;
    return true;
}

bool ParseSha256Hex(const std::string& text, std::string* normalized) {
    if (text.size() != 64) {
        return false;
    }
    std::string lower;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return false;
        }
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    *normalized = lower;
    return true;
}

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// One number of at most nine digits at *pos, then the separator when one must follow.
bool ReadVersionPiece(const std::string& name, std::size_t* pos, bool dot_follows, int* value) {
    const std::size_t start = *pos;
    *value = 0;
    while (*pos < name.size() && IsDigit(name[*pos]) && *pos - start < 9) {
        *value = *value * 10 + (name[(*pos)++] - '0');
    }
    if (*pos == start || (*pos < name.size() && IsDigit(name[*pos]))) {
        return false;
    }
    if (!dot_follows) {
        return true;
    }
    return *pos < name.size() && name[(*pos)++] == '.';
}

bool EndsWithDeb(const std::string& name) {
    return name.size() > 4 && name.compare(name.size() - 4, 4, ".deb") == 0;
}

bool IsInterruptedDownload(const std::string& name) {
    return name.size() == 15 && name.compare(0, 9, ".partial-") == 0;
}

bool IsStale(const std::string& name, const VersionTriple& running) {
    if (IsInterruptedDownload(name)) {
        return true;
    }
    VersionTriple found;
    return EndsWithDeb(name) &&
           VersionInFileName(name, &found.major, &found.minor, &found.revision) &&
           !IsNewerVersion(found, running);
}

} // namespace

bool VersionInFileName(const std::string& name, int* major, int* minor, int* revision) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (!IsDigit(name[i]) || (i > 0 && IsDigit(name[i - 1]))) {
            continue;
        }
        std::size_t pos = i;
        if (ReadVersionPiece(name, &pos, true, major) &&
            ReadVersionPiece(name, &pos, true, minor) &&
            ReadVersionPiece(name, &pos, false, revision)) {
            return true;
        }
    }
    return false;
}

int RemoveStaleInstallers(const std::string& folder, const std::string& running) {
    VersionTriple local;
    if (folder.empty() || !ParseVersionTriple(running, &local)) {
        return 0;
    }
    std::error_code error;
    std::filesystem::directory_iterator entries(std::filesystem::path(folder), error);
    int removed = 0;
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        const std::filesystem::directory_entry& entry = *entries;
        std::error_code kind_error;
        if (!entry.is_regular_file(kind_error) || entry.is_symlink(kind_error) ||
            !IsStale(entry.path().filename().native(), local)) {
            continue;
        }
        std::error_code remove_error;
        removed += std::filesystem::remove(entry.path(), remove_error) ? 1 : 0;
    }
    return removed;
}

} // namespace velquist
