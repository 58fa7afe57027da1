#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace velquist {

// Existing files chosen by the user (several at once), or an empty list when the
// dialog is cancelled. filter uses Qt's form, e.g. "图片 (*.heic *.heif)"; the dialog
// shows only its label ("图片").
QStringList PickOpenFiles(QWidget* owner, const QString& title, const QString& folder,
                          const QString& filter);

// A folder chosen by the user, or an empty text when the dialog is cancelled.
QString PickFolder(QWidget* owner, const QString& title, const QString& folder);

// The system message box. Returns the QMessageBox::StandardButton pressed.
enum class MessageIcon { kInformation, kWarning, kCritical, kQuestion };
int ShowSystemMessageBox(QWidget* owner, const QString& text, const QString& caption,
                         MessageIcon icon);

} // namespace velquist
