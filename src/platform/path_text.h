#pragma once

#include <QString>
#include <QUrl>
#include <string>

namespace velquist {

// File names are bytes, carried as std::string from the folder scan and the command line
// to open(). Qt's own conversions of names (QFile::decodeName, QUrl::toLocalFile) replace
// every byte that is not UTF-8, so a name that must stay a name goes through these.

// For showing: undecodable bytes become U+FFFD, control characters visible symbols.
QString ShownPath(const std::string& path);

// A name Qt handed over as text (a file picker's answer). Only names that are text can
// arrive that way, and for them this is exact.
std::string PathFromText(const QString& path);

// The local path of a file: URL (a drop, a file manager's argument) as the bytes its
// percent-encoding carries; empty when the URL is not a local file.
std::string PathFromUrl(const QUrl& url);
// The file: URL of the path, percent-encoded from its bytes, so that whoever receives it
// decodes exactly that name.
QUrl UrlFromPath(const std::string& path);

// "." parts, ".." parts with what they undo, and doubled or trailing "/" left out, as
// QDir::cleanPath does for text; every other byte is kept.
std::string CleanPath(const std::string& path);

// True when the path names a folder (following links).
bool IsFolderPath(const std::string& path);

} // namespace velquist
