#pragma once

#include <QString>

class QWidget;

namespace velquist::ui {

// Builds a widget tree from a skin file below the resource path (or from an
// absolute path). Returns null with a readable reason in *error.
QWidget* LoadSkinFile(const QString& file, QWidget* parent, QString* error);

// The path a skin file name resolves to.
QString SkinFilePath(const QString& file);

} // namespace velquist::ui
