#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>
#include <string>
#include <vector>

class QLocalSocket;
class QWidget;

namespace velquist {

// One running instance per user session. The first start holds a lock file and
// listens on a local socket; a later start asks it over the socket to bring its
// window to the front and then ends. A later start that was given files hands
// them over first: one "open <the absolute path's bytes, percent-encoded>" line each
// (bytes, since a file name need not be UTF-8), then
// the "raise" line; a running instance of an older build ignores nothing it
// understood before.
class SingleInstance : public QObject {
    Q_OBJECT
  public:
    enum class Role {
        kFirst,         // this process runs the program
        kHandedOver,    // the running instance took the files and was asked to raise
        kOtherStarting, // another instance holds the lock but does not answer yet
        kFailed,        // neither lock nor socket could be set up
    };

    // Name and folder default to the user's own; tests pass their own.
    explicit SingleInstance(QString name = DefaultName(), QString folder = DefaultFolder(),
                            QObject* parent = nullptr);
    ~SingleInstance() override;

    // files: absolute paths (bytes) for the running instance when there is one.
    Role Acquire(const std::vector<std::string>& files = {});
    QString ServerPath() const;

    // "velquist-<uid>"
    static QString DefaultName();
    // $XDG_RUNTIME_DIR (private to the user), else the temporary folder.
    static QString DefaultFolder();

  signals:
    // Emitted before RaiseRequested when the later start carried files.
    void FilesReceived(const std::vector<std::string>& files);
    void RaiseRequested();

  private:
    bool Listen();
    Role AskRunningInstance(const std::vector<std::string>& files);
    // Sends the request and reads the answer; false when it could not be sent.
    bool Exchange(const QByteArray& request, QByteArray* answer) const;
    void OnConnection();
    void ServeConnection(QLocalSocket* socket);

    QString name_;
    QString folder_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
};

// Restores a minimised window, shows it, raises it and gives it the focus, then
// does the same for the modal dialog open above it, if any.
void RaiseWindowAndDialog(QWidget* window);

} // namespace velquist
