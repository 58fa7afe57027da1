#pragma once

#include <QString>
#include <string>

namespace velquist {

// File names are bytes. The engine carries them as wide strings in which each byte that
// is not valid UTF-8 is a lone code unit U+DC80..U+DCFF (util/text.h). A QString holds
// such a unit as it is, but Qt's own conversions replace it (toStdWString, toLocal8Bit,
// QFile::encodeName), so a path that passes through the window goes through these.

// The name as bytes (argv, a socket, getcwd) to a QString that keeps every byte.
QString PathBytesToQString(const std::string& bytes);
// Back to exactly the bytes the name was made from.
std::string QStringToPathBytes(const QString& path);
// To the engine's wide form, lone units kept.
std::wstring QStringToPathWide(const QString& path);
// For showing: undecodable bytes become U+FFFD, control characters visible symbols.
QString ShownPath(const std::wstring& path);

// True when the path names a folder (following links), asked with the original bytes.
bool IsFolderPath(const QString& path);

} // namespace velquist
