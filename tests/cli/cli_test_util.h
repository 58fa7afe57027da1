#pragma once

#include "convert/conversion_settings.h"
#include "support/heic_fixture.h"
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

// The fields of a request to convert input to output in the format, at quality 90 with
// the Exif data kept; a test changes fields to send what the engine would not.
std::vector<std::string> WorkerRequest(OutputFormat format, const std::string& input,
                                       const std::string& output);
// Runs the converter as the one-shot worker ("--worker") with the request on its
// standard input, as the engine's one-shot runner does; otherwise like RunConverter.
ProcessResult RunWorker(const TempDir& dir, const std::vector<std::string>& request,
                        rlim_t fileSizeLimit = 0, const Env& env = {});
pid_t StartWorker(const TempDir& dir, const std::vector<std::string>& request);
// A shell script standing in for the worker: when the request it reads holds pattern
// (a shell case pattern), action runs first; then the real worker gets the request.
std::string RequestWatchingWorker(const TempDir& dir, const std::string& name,
                                  const std::string& pattern, const std::string& action);

std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);
size_t EntryCount(const std::string& path);
size_t LineCount(const std::string& text);
bool Has(const std::string& text, const std::string& part);

// Writes a HEIC fixture at dir/name, making its folders first.
std::string MakeHeic(const TempDir& dir, const std::string& name,
                     const HeicImageSpec& spec = HeicImageSpec{});
std::string MakeHeic(const TempDir& dir, const std::string& name, int width);

// The width of a JPEG file, or -1 when it does not read as one.
int JpegWidth(const std::string& path);
bool IsJpeg(const std::string& path);

// Replaces the configure.ini the converter reads under dir's "home" folder.
void SaveSettings(const TempDir& dir, const std::string& body);

} // namespace velquist::test
