#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

namespace velquist {

// The desktop's notification server (org.freedesktop.Notifications on the session bus).
class DesktopNotifier : public QObject {
    Q_OBJECT

  public:
    explicit DesktopNotifier(QObject* parent = nullptr);

    // Asks the server what it can do; false when no server answers.
    bool Connect();
    bool HasActions() const { return capabilities_.contains(QStringLiteral("actions")); }
    // Shows the notification, with 打开文件夹 when offerFolder and the server has actions;
    // false when the server refused it.
    bool Show(const QString& summary, const QString& body, bool offerFolder);

  signals:
    void FolderRequested();
    // The notification went away (or was never shown with something to wait for).
    void Closed();

  private slots:
    void OnActionInvoked(uint id, const QString& key);
    void OnNotificationClosed(uint id, uint reason);

  private:
    QStringList capabilities_;
    uint id_ = 0;
};

} // namespace velquist
