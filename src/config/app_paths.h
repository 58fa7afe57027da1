#pragma once

#include <string>

namespace velquist {

// Per-user folder below the local application-data folder ($XDG_DATA_HOME, else
// ~/.local/share), e.g. L"Morvane/Config"; every missing level is created.
std::wstring EnsureAppDataDir(const std::wstring& subPath);

// Creates every missing directory along the path and returns the path unchanged. A level
// that cannot be created gets one "create dir error ..." line on standard output.
std::wstring CreateDirectoryTree(const std::wstring& path);

// The user's picture folder: XDG_PICTURES_DIR from user-dirs.dirs, else ~/Pictures.
// Not created here.
std::wstring GetPicturesDir();

// The output folder: the configured "output-dir" (trimmed), else the picture folder +
// "/Heic"; created on every call.
std::wstring GetOutputDir();

// The home folder: $HOME, else the password database's entry.
std::string HomeDir();

} // namespace velquist
