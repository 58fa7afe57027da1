#pragma once

#include "support/temp_dir.h"

#include <string>
#include <sys/resource.h>
#include <utility>
#include <vector>

namespace velquist::test {

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

using Env = std::vector<std::pair<std::string, std::string>>;

// Runs the converter with the given arguments and waits for it. fileSizeLimit > 0 caps
// the size of any file the child writes, the way a full disk would stop it. HOME and the
// XDG folders point at dir's "home" folder unless env says otherwise, so the user's own
// settings never take part.
ProcessResult RunConverter(const TempDir& dir, std::vector<std::string> args,
                           rlim_t fileSizeLimit = 0, const Env& env = {});

// The same in two steps, for a test that signals the running converter; cwd is the
// child's working folder when not empty.
pid_t StartConverter(const TempDir& dir, std::vector<std::string> args, rlim_t fileSizeLimit = 0,
                     const Env& env = {}, const std::string& cwd = {});
ProcessResult FinishConverter(const TempDir& dir, pid_t pid);

std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);
size_t EntryCount(const std::string& path);
size_t LineCount(const std::string& text);

} // namespace velquist::test
