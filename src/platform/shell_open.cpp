#include "shell_open.h"

#include "path_text.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace velquist {

namespace {

class DesktopOpener : public UrlOpener {
  public:
    bool Open(const QUrl& url) override { return QDesktopServices::openUrl(url); }
};

DesktopOpener& DefaultOpener() {
    static DesktopOpener opener;
    return opener;
}

UrlOpener* g_opener = nullptr;

// Only these count as addresses; anything else is a path, so "C:"-like or
// colon-containing file names are never mistaken for URLs.
bool IsWebAddress(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
           scheme == QLatin1String("mailto");
}

} // namespace

void SetUrlOpener(UrlOpener* opener) {
    g_opener = opener;
}

bool ShellOpen(const QString& target) {
    if (target.isEmpty()) {
        return false;
    }
    UrlOpener& opener = g_opener != nullptr ? *g_opener : DefaultOpener();
    const QUrl url(target, QUrl::StrictMode);
    if (url.isValid() && IsWebAddress(url)) {
        return opener.Open(url);
    }
    const QString path = url.isLocalFile() ? url.toLocalFile() : target;
    const QFileInfo info(path);
    if (!info.exists()) {
        return false;
    }
    return opener.Open(QUrl::fromLocalFile(info.absoluteFilePath()));
}

bool ShellOpenPath(const std::string& path) {
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0) {
        return false;
    }
    UrlOpener& opener = g_opener != nullptr ? *g_opener : DefaultOpener();
    if (path.front() == '/') {
        return opener.Open(UrlFromPath(path));
    }
    // The desktop may run the program from another folder: the absolute name goes.
    const std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
    return cwd && opener.Open(UrlFromPath(std::string(cwd.get()) + "/" + path));
}
} // namespace velquist
