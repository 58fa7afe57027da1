#pragma once

#include <QString>
#include <QUrl>
#include <string>

namespace velquist {

// Hands a URL to the desktop. Tests replace it to see what would be opened.
class UrlOpener {
  public:
    virtual ~UrlOpener() = default;
    virtual bool Open(const QUrl& url) = 0;
};

// The opener in use (QDesktopServices by default). Passing nullptr restores the
// default; the caller keeps ownership of its opener and must reset before freeing it.
void SetUrlOpener(UrlOpener* opener);

// Opens a file, a folder or a web address with the user's default program.
// A local file or folder that does not exist fails before anything is started.
bool ShellOpen(const QString& target);

// Opens a local file or folder named by its bytes, which reach the desktop unchanged in
// the file: URL whether or not they are UTF-8. A path that does not exist fails before
// anything is started.
bool ShellOpenPath(const std::string& path);

} // namespace velquist
