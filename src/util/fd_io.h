#pragma once

#include <cstddef>

namespace velquist {

// Writes all size bytes to fd, going on after interruptions by signals. False when the
// descriptor refuses the rest (closed pipe, full disk, ...).
bool WriteAll(int fd, const void* data, std::size_t size);

// The same for a socket whose peer may be gone: a closed peer is a false return, never
// SIGPIPE. A descriptor that is not a socket is written to as by WriteAll.
bool SendAll(int fd, const void* data, std::size_t size);

} // namespace velquist
