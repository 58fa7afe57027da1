#include "installer_signing.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velquist::service {
namespace {

constexpr const char* kWhiteSpace = " \t\r\n";

class UniqueFd {
  public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }
    // Closes now, so that a failing close (a full disk on some file systems) is seen.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

// Wiped when it goes, so the secret does not linger in freed memory.
struct SecretKey {
    unsigned char bytes[crypto_sign_SECRETKEYBYTES];
    SecretKey() = default;
    ~SecretKey() { sodium_memzero(bytes, sizeof bytes); }
    SecretKey(const SecretKey&) = delete;
    SecretKey& operator=(const SecretKey&) = delete;
};

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

std::string ToBase64(const unsigned char* bytes, std::size_t size) {
    std::string text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
    text.resize(std::strlen(text.c_str()));
    return text;
}

// True when `text` (white space around it dropped) is the Base64 of exactly
// `size` bytes, which land in `out`.
bool FromBase64(std::string_view text, unsigned char* out, std::size_t size) {
    const std::size_t first = text.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos) {
        return false;
    }
    text = text.substr(first, text.find_last_not_of(kWhiteSpace) - first + 1);
    std::size_t decoded = 0;
    const char* end = nullptr;
    return sodium_base642bin(out, size, text.data(), text.size(), nullptr, &decoded, &end,
                             sodium_base64_VARIANT_ORIGINAL) == 0 &&
           decoded == size && end == text.data() + text.size();
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Creates `path` holding `text`; fails rather than touch an existing file.
bool WriteNewFile(const std::string& path, const std::string& text, mode_t mode,
                  std::string* error) {
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode));
    if (fd.get() < 0) {
        *error = SystemError("cannot create " + path);
        return false;
    }
    // The umask may only narrow the mode; the secret key must be exactly private.
    if (::fchmod(fd.get(), mode) != 0 || !WriteAll(fd.get(), text) || ::fsync(fd.get()) != 0 ||
        !fd.Close()) {
        *error = SystemError("cannot write " + path);
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

bool ReadSmallFile(const std::string& path, std::string* out, std::string* error) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        *error = SystemError("cannot open " + path);
        return false;
    }
    char buffer[1024];
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
        *error = SystemError("cannot read " + path);
        return false;
    }
    out->assign(buffer, static_cast<std::size_t>(n));
    sodium_memzero(buffer, sizeof buffer);
    return true;
}

// A libsodium secret key is the seed followed by its public key; a file
// damaged anywhere fails here rather than in the users' update check.
bool LoadSecretKey(const std::string& path, SecretKey* key, std::string* error) {
    std::string text;
    if (!ReadSmallFile(path, &text, error)) {
        return false;
    }
    const bool decoded = FromBase64(text, key->bytes, sizeof key->bytes);
    sodium_memzero(text.data(), text.size());
    SecretKey again;
    unsigned char public_key[crypto_sign_PUBLICKEYBYTES];
    if (!decoded || crypto_sign_seed_keypair(public_key, again.bytes, key->bytes) != 0 ||
        sodium_memcmp(again.bytes, key->bytes, sizeof key->bytes) != 0) {
        *error = path + " holds no Ed25519 secret key";
        return false;
    }
    return true;
}

bool SignFile(int fd, const SecretKey& key, unsigned char* signature) {
    crypto_sign_state state;
    crypto_sign_init(&state);
    if (!ReadChunks(fd, [&state](const unsigned char* data, std::size_t size) {
            crypto_sign_update(&state, data, static_cast<unsigned long long>(size));
        })) {
        return false;
    }
    unsigned long long length = 0;
    return crypto_sign_final_create(&state, signature, &length, key.bytes) == 0 &&
           length == crypto_sign_BYTES;
}

// A temporary file beside `path`, renamed over it once complete.
bool ReplaceFile(const std::string& path, const std::string& text, std::string* error) {
    std::string temp = path + ".XXXXXX";
    UniqueFd fd(::mkstemp(temp.data()));
    if (fd.get() < 0) {
        *error = SystemError("cannot create a file beside " + path);
        return false;
    }
    if (::fchmod(fd.get(), 0644) != 0 || !WriteAll(fd.get(), text) || ::fsync(fd.get()) != 0 ||
        !fd.Close() || ::rename(temp.c_str(), path.c_str()) != 0) {
        *error = SystemError("cannot write " + path);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

constexpr const char* kSigningUsage =
    "usage: velquist-service keygen --secret-key FILE --public-key FILE\n"
    "       velquist-service sign-installer --secret-key FILE INSTALLER\n";

struct Command {
    std::map<std::string, std::string> flags;
    std::vector<std::string> operands;
};

// "--name VALUE" or "--name=VALUE" for the flags the command knows.
bool ParseCommand(const std::vector<std::string>& args, const std::vector<std::string>& known,
                  Command* command) {
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) != 0) {
            command->operands.push_back(arg);
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(2, equals == std::string::npos ? equals : equals - 2);
        bool is_known = false;
        for (const std::string& k : known) {
            is_known = is_known || k == name;
        }
        if (!is_known || (equals == std::string::npos && i + 1 == args.size())) {
            return false;
        }
        command->flags[name] = equals != std::string::npos ? arg.substr(equals + 1) : args[++i];
    }
    return true;
}

int Finish(bool done, const std::string& error) {
    if (!done) {
        std::fprintf(stderr, "velquist-service: %s\n", error.c_str());
    }
    return done ? 0 : 1;
}

} // namespace

bool MakeSigningKeys(const std::string& secret_key_path, const std::string& public_key_path,
                     std::string* error) {
    unsigned char public_key[crypto_sign_PUBLICKEYBYTES];
    SecretKey secret;
    crypto_sign_keypair(public_key, secret.bytes);
    std::string secret_text = ToBase64(secret.bytes, sizeof secret.bytes) + "\n";
    const bool secret_written = WriteNewFile(secret_key_path, secret_text, 0600, error);
    sodium_memzero(secret_text.data(), secret_text.size());
    if (!secret_written) {
        return false;
    }
    if (!WriteNewFile(public_key_path, ToBase64(public_key, sizeof public_key) + "\n", 0644,
                      error)) {
        // Half a pair is no use: the secret key just made goes again.
        ::unlink(secret_key_path.c_str());
        return false;
    }
    return true;
}

bool SignInstaller(const std::string& secret_key_path, const std::string& installer_path,
                   std::string* error) {
    SecretKey key;
    if (!LoadSecretKey(secret_key_path, &key, error)) {
        return false;
    }
    UniqueFd installer(::open(installer_path.c_str(), O_RDONLY | O_CLOEXEC));
    if (installer.get() < 0) {
        *error = SystemError("cannot open " + installer_path);
        return false;
    }
    unsigned char signature[crypto_sign_BYTES];
    if (!SignFile(installer.get(), key, signature)) {
        *error = SystemError("cannot read " + installer_path);
        return false;
    }
    return ReplaceFile(installer_path + ".sig", ToBase64(signature, sizeof signature) + "\n",
                       error);
}

std::optional<std::string> SignatureText(std::string_view contents) {
    unsigned char signature[crypto_sign_BYTES];
    if (!FromBase64(contents, signature, sizeof signature)) {
        return std::nullopt;
    }
    return ToBase64(signature, sizeof signature);
}

std::optional<int> RunSigningCommand(const std::vector<std::string>& args) {
    if (args.empty() || (args[0] != "keygen" && args[0] != "sign-installer")) {
        return std::nullopt;
    }
    const bool keygen = args[0] == "keygen";
    Command command;
    const bool parsed = ParseCommand(args,
                                     keygen ? std::vector<std::string>{"secret-key", "public-key"}
                                            : std::vector<std::string>{"secret-key"},
                                     &command);
    const std::size_t operands = keygen ? 0 : 1;
    if (!parsed || command.operands.size() != operands ||
        command.flags.size() != (keygen ? 2u : 1u)) {
        std::fputs(kSigningUsage, stderr);
        return 2;
    }
    if (sodium_init() < 0) {
        return Finish(false, "libsodium failed to start");
    }
    std::string error;
    if (keygen) {
        return Finish(
            MakeSigningKeys(command.flags["secret-key"], command.flags["public-key"], &error),
            error);
    }
    return Finish(SignInstaller(command.flags["secret-key"], command.operands[0], &error), error);
}

bool ReadChunks(int fd, const std::function<void(const unsigned char*, std::size_t)>& take) {
    static thread_local unsigned char buffer[64 * 1024];
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
            return true;
        }
        take(buffer, static_cast<std::size_t>(n));
        offset += n;
    }
}

} // namespace velquist::service
