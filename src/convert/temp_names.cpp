#include "temp_names.h"

#include "util/handles.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <ctype.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace velquist {
namespace {

constexpr char kPrefix[] = ".vq-";
constexpr char kSuffix[] = ".tmp";
constexpr std::size_t kBootTagLength = 4;
constexpr std::size_t kRandomLength = 6;

std::string ReadSmallFile(const std::string& path) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        return {};
    }
    char buffer[1024];
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

std::string BootTag() {
    std::string tag;
    for (const char c : ReadSmallFile("/proc/sys/kernel/random/boot_id")) {
        if (std::isxdigit(static_cast<unsigned char>(c)) && tag.size() < kBootTagLength) {
            tag += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return tag.size() == kBootTagLength ? tag : std::string(kBootTagLength, '0');
}

struct ProcessFacts {
    char state = 0;
    unsigned long long start = 0;
};

// Fields 3 (state) and 22 (start time) of /proc/PID/stat; the name in field 2 may hold
// spaces and parentheses, so the fields are counted from its last ')'.
std::optional<ProcessFacts> FactsOf(long pid) {
    const std::string text = ReadSmallFile("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos || close + 2 >= text.size()) {
        return std::nullopt;
    }
    ProcessFacts facts;
    facts.state = text[close + 2];
    const char* p = text.c_str() + close + 2;
    for (int field = 3; field < 22 && *p != '\0'; ++field) {
        p = std::strchr(p, ' ');
        if (p == nullptr) {
            return std::nullopt;
        }
        ++p;
    }
    facts.start = std::strtoull(p, nullptr, 10);
    return facts;
}

const TemporaryOwner& Self() {
    static const TemporaryOwner self = [] {
        TemporaryOwner owner{BootTag(), static_cast<long>(::getpid()), 0};
        if (const std::optional<ProcessFacts> facts = FactsOf(owner.pid)) {
            owner.start = facts->start;
        }
        return owner;
    }();
    return self;
}

bool AllOf(const std::string& text, int (*test)(int)) {
    for (const char c : text) {
        if (!test(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return !text.empty();
}

} // namespace

std::string NewTemporaryName() {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    const TemporaryOwner& self = Self();
    std::string name = kPrefix + self.boot + "-" + std::to_string(self.pid) + "-" +
                       std::to_string(self.start) + "-";
    for (std::size_t i = 0; i < kRandomLength; ++i) {
        name += kLetters[pick(random)];
    }
    return name + kSuffix;
}

std::optional<TemporaryOwner> OwnerOfTemporaryName(const std::string& name) {
    const std::size_t prefix = std::strlen(kPrefix);
    const std::size_t suffix = std::strlen(kSuffix);
    if (name.size() <= prefix + suffix || name.compare(0, prefix, kPrefix) != 0 ||
        name.compare(name.size() - suffix, suffix, kSuffix) != 0) {
        return std::nullopt;
    }
    const std::string body = name.substr(prefix, name.size() - prefix - suffix);
    std::string parts[4];
    std::size_t from = 0;
    for (int i = 0; i < 4; ++i) {
        const std::size_t dash = i < 3 ? body.find('-', from) : body.size();
        if (dash == std::string::npos) {
            return std::nullopt;
        }
        parts[i] = body.substr(from, dash - from);
        from = dash + 1;
    }
    if (parts[0].size() != kBootTagLength || !AllOf(parts[0], ::isxdigit) ||
        !AllOf(parts[1], ::isdigit) || !AllOf(parts[2], ::isdigit) || parts[1].size() > 9 ||
        parts[2].size() > 19 || !AllOf(parts[3], ::isalnum)) {
        return std::nullopt;
    }
    return TemporaryOwner{parts[0], std::atol(parts[1].c_str()),
                          std::strtoull(parts[2].c_str(), nullptr, 10)};
}

OwnerState StateOf(const TemporaryOwner& owner) {
    if (owner.boot != Self().boot) {
        return OwnerState::kUnknown;
    }
    const std::optional<ProcessFacts> facts = FactsOf(owner.pid);
    // A zombie has stopped writing for good; a new process under the old pid is not the
    // writer.
    if (!facts || facts->start != owner.start || facts->state == 'Z' || facts->state == 'X') {
        return OwnerState::kGone;
    }
    return OwnerState::kAlive;
}

void SweepDeadTemporaryFiles(const std::string& folder, std::chrono::seconds minAge) {
    const DirPtr dir(::opendir(folder.c_str()));
    if (!dir) {
        return;
    }
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::optional<TemporaryOwner> owner = OwnerOfTemporaryName(entry->d_name);
        if (!owner) {
            continue;
        }
        const OwnerState state = StateOf(*owner);
        struct stat info {};
        if (state == OwnerState::kAlive ||
            ::fstatat(::dirfd(dir.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode) ||
            (state == OwnerState::kUnknown && now - info.st_mtime < minAge.count())) {
            continue;
        }
        ::unlinkat(::dirfd(dir.get()), entry->d_name, 0);
    }
}

} // namespace velquist
