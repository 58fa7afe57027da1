#include "worker_fence.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <sched.h>
#include <seccomp.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

namespace velquist {
namespace {

// Locale and time zone shape the Exif dates and messages; the loader and libheif find
// their libraries and plugins through theirs; VELQUIST_* choose the decoder; the sanitizer
// runtimes read their options. Nothing else a user or desktop session exports (tokens,
// session bus addresses, proxies) is any of a decoder's business.
// clang-format off
constexpr const char* kPassedNames[] = {
    "PATH", "HOME", "LANG", "LANGUAGE", "TZ", "TMPDIR", "LD_LIBRARY_PATH", "LIBHEIF_PLUGIN_PATH",
    "ASAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS", "LSAN_OPTIONS",
};
// clang-format on
constexpr const char* kPassedPrefixes[] = {"LC_", "VELQUIST_"};

bool StartsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// Whether a NAME=value entry of our environment is passed on to a worker.
bool IsWorkerEnvironmentEntry(const char* entry) {
    const char* equals = std::strchr(entry, '=');
    if (equals == nullptr) {
        return false;
    }
    const auto nameLength = static_cast<std::size_t>(equals - entry);
    for (const char* name : kPassedNames) {
        if (std::strlen(name) == nameLength && std::strncmp(entry, name, nameLength) == 0) {
            return true;
        }
    }
    for (const char* prefix : kPassedPrefixes) {
        if (StartsWith(entry, prefix)) {
            return true;
        }
    }
    return false;
}

// What reading, decoding and writing photos needs, found by tracing workers through every
// kind of conversion. Names the architecture lacks are skipped.
// clang-format off
constexpr const char* kAllowed[] = {
    // Files: the input, the output with its temporary name, its date and mode.
    "read", "write", "readv", "writev", "pread64", "pwrite64", "preadv", "pwritev", "lseek",
    "open", "openat", "close", "stat", "fstat", "lstat", "newfstatat", "statx", "statfs",
    "fstatfs", "access", "faccessat", "faccessat2", "readlink", "readlinkat", "getdents64",
    "getcwd", "fchmod", "fchown", "linkat", "rename", "renameat", "renameat2", "unlink",
    "unlinkat", "fsync", "fdatasync", "ftruncate", "fallocate", "utimensat", "fadvise64",
    "dup", "dup2", "dup3", "fcntl", "pipe2", "poll", "ppoll",
    // The requests and answers, on the descriptors the worker was started with.
    "sendto", "recvfrom", "shutdown",
    // Memory, including what the loader does for the decoder library opened on first use.
    "mmap", "munmap", "mprotect", "mremap", "brk", "madvise", "mincore",
    // Threads of the decoders and their synchronisation.
    "futex", "set_robust_list", "get_robust_list", "rseq", "set_tid_address", "membarrier",
    "sched_getaffinity", "sched_yield", "exit", "exit_group",
    // Signals, time, identity and machine facts libraries ask for.
    "rt_sigreturn", "rt_sigprocmask", "rt_sigaction", "sigaltstack", "getpid", "gettid",
    "getppid", "getuid", "geteuid", "getgid", "getegid", "clock_gettime", "clock_getres",
    "gettimeofday", "time", "nanosleep", "clock_nanosleep", "getrandom", "getrlimit",
    "getrusage", "sysinfo", "uname",
};
// clang-format on

// Calls only a decoder that was taken over would make.
constexpr const char* kKilling[] = {
    "execve", "execveat", "fork", "vfork", "ptrace", "process_vm_readv", "process_vm_writev",
};

// Library probes (a name-service lookup, say) fail the usual way instead.
constexpr const char* kRefused[] = {
    "socket", "socketpair", "connect", "bind", "listen", "accept", "accept4",
};

struct FilterRelease {
    void operator()(void* filter) const { seccomp_release(filter); }
};
using Filter = std::unique_ptr<void, FilterRelease>;

// 0, or the negative errno of the first rule the library refused.
int AddRules(const Filter& filter, const char* const* names, std::size_t count, uint32_t action) {
    for (std::size_t i = 0; i < count; ++i) {
        const int call = seccomp_syscall_resolve_name(names[i]);
        if (call == __NR_SCMP_ERROR) {
            continue;
        }
        if (const int rc = seccomp_rule_add(filter.get(), action, call, 0); rc != 0) {
            return rc;
        }
    }
    return 0;
}

// Calls allowed only with some arguments: threads but no child processes, a look at our
// own limits but no change, terminal queries, naming threads, signals to ourselves.
int AddNarrowRules(const Filter& filter) {
    const auto thread = static_cast<scmp_datum_t>(CLONE_THREAD);
    const auto self = static_cast<scmp_datum_t>(::getpid());
    const struct {
        int call;
        uint32_t action;
        scmp_arg_cmp cmp;
    } rules[] = {
        {SCMP_SYS(clone), SCMP_ACT_ALLOW, SCMP_A0(SCMP_CMP_MASKED_EQ, thread, thread)},
        {SCMP_SYS(clone), SCMP_ACT_KILL_PROCESS, SCMP_A0(SCMP_CMP_MASKED_EQ, thread, 0)},
        {SCMP_SYS(prlimit64), SCMP_ACT_ALLOW, SCMP_A2(SCMP_CMP_EQ, 0)},
        {SCMP_SYS(ioctl), SCMP_ACT_ALLOW, SCMP_A1(SCMP_CMP_EQ, TCGETS)},
        {SCMP_SYS(ioctl), SCMP_ACT_ALLOW, SCMP_A1(SCMP_CMP_EQ, FIONREAD)},
        {SCMP_SYS(prctl), SCMP_ACT_ALLOW, SCMP_A0(SCMP_CMP_EQ, PR_SET_NAME)},
        {SCMP_SYS(prctl), SCMP_ACT_ALLOW, SCMP_A0(SCMP_CMP_EQ, PR_GET_NAME)},
        {SCMP_SYS(tgkill), SCMP_ACT_ALLOW, SCMP_A0(SCMP_CMP_EQ, self)},
    };
    for (const auto& rule : rules) {
        if (const int rc = seccomp_rule_add(filter.get(), rule.action, rule.call, 1, rule.cmp);
            rc != 0) {
            return rc;
        }
    }
    return 0;
}

int BuildAndLoad() {
    // Unlisted calls look absent, so libraries fall back to older ones (glibc's threads
    // to clone when clone3 is missing, whose flags the filter can read).
    const Filter filter(seccomp_init(SCMP_ACT_ERRNO(ENOSYS)));
    if (!filter) {
        return -ENOMEM;
    }
    int rc = seccomp_attr_set(filter.get(), SCMP_FLTATR_CTL_TSYNC, 1);
    if (rc == 0) {
        rc = AddRules(filter, kAllowed, std::size(kAllowed), SCMP_ACT_ALLOW);
    }
    if (rc == 0) {
        rc = AddRules(filter, kKilling, std::size(kKilling), SCMP_ACT_KILL_PROCESS);
    }
    if (rc == 0) {
        rc = AddRules(filter, kRefused, std::size(kRefused), SCMP_ACT_ERRNO(EPERM));
    }
    if (rc == 0) {
        rc = AddNarrowRules(filter);
    }
    return rc == 0 ? seccomp_load(filter.get()) : rc;
}

} // namespace

std::vector<std::string> WorkerEnvironment(char* const* environment) {
    std::vector<std::string> kept;
    for (char* const* entry = environment; entry != nullptr && *entry != nullptr; ++entry) {
        if (IsWorkerEnvironmentEntry(*entry)) {
            kept.emplace_back(*entry);
        }
    }
    return kept;
}

bool FenceWorker(std::string* error) {
    if (!kWorkerFilterEnabled) {
        return true;
    }
    const int rc = BuildAndLoad();
    if (rc != 0) {
        *error = std::string("cannot install the system-call filter: ") + std::strerror(-rc);
        return false;
    }
    return true;
}

} // namespace velquist
