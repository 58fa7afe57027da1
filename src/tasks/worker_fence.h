#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What a decoding worker is denied. The decoders parse files from anywhere, so a worker is
// treated as a process that may be taken over by the file in hand: it starts with only the
// environment it needs, cannot gain privileges or raise its address-space limit, and once
// ready to serve it cannot open sockets or start programs.
namespace velquist {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitizedBuild = true;
#else
inline constexpr bool kSanitizedBuild = false;
#endif

// The address-space limit a worker gets for `limit`. Sanitizer runtimes reserve terabytes
// of address space up front, so a sanitized worker cannot live under a limit meant for real
// decoders and runs without one.
constexpr std::uint64_t WorkerAddressLimit(std::uint64_t limit) {
    return kSanitizedBuild ? 0 : limit;
}

// The entries of `environment` (null-terminated, like environ) a worker starts with.
std::vector<std::string> WorkerEnvironment(char* const* environment);

// Sanitizer runtimes start a symbolizer program and make calls decoding never does, so in
// sanitized builds the system-call filter is left out (the rest of the fence stays).
inline constexpr bool kWorkerFilterEnabled = !kSanitizedBuild;

// Confines the calling process, all its threads included, to the system calls decoding and
// writing the outputs need. Starting a program, forking or tracing kills the process;
// opening a socket fails with EPERM; anything else unlisted fails with ENOSYS. Does nothing
// where kWorkerFilterEnabled is false. False with *error set when the filter was refused.
bool FenceWorker(std::string* error);

} // namespace velquist
