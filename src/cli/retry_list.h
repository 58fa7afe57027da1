#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace velquist {

// A list of files a later run converts again (--retry-from). File names are bytes that may
// hold anything but NUL, so the list is a sequence of NUL-terminated fields: the marker
// kRetryListMarker, then two fields per file: its path and its subfolder below the output
// folder (empty for none).
inline constexpr char kRetryListMarker[] = "velquist-retry-1";
// A list larger than this was not written by us.
inline constexpr std::size_t kMaxRetryListBytes = std::size_t{64} << 20;

using ListedFile = std::pair<std::string, std::string>; // path, subfolder

// Writes the list into folder under a new name, all or nothing; the list's path, or empty
// with *error set.
std::string WriteRetryList(const std::string& folder, const std::vector<ListedFile>& files,
                           std::string* error);

// The files of a list written by WriteRetryList; nothing, with *error set, for a file that
// is not such a list or names a subfolder leading out of the output folder.
std::optional<std::vector<ListedFile>> ReadRetryList(const std::string& path, std::string* error);

// arg in single quotes for a POSIX shell, quotes inside it escaped; bytes kept as they are.
std::string ShellQuote(const std::string& arg);

// program, the options and "--retry-from LIST", each quoted for the shell.
std::string RetryCommand(const std::string& program, const std::vector<std::string>& optionArgs,
                         const std::string& listPath);

} // namespace velquist
