#pragma once

#include <string>

namespace velquist::test {

// Redirects the process's standard output or error (the file descriptor, so that
// stdio, iostreams and child processes that inherit it are all caught) into a
// temporary file until the matching Take* call, which restores the stream and
// returns what was written. One capture per stream at a time.
void CaptureStdout();
void CaptureStderr();
std::string TakeCapturedStdout();
std::string TakeCapturedStderr();

} // namespace velquist::test
