#include "net/installer_file.h"

#include <cctype>
#include <cstdlib>
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

} // namespace velquist
