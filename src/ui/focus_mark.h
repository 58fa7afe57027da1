#pragma once

#include <QColor>

class QWidget;

namespace velquist::ui {

// The product's focus mark: a rounded frame in the accent colour drawn around
// the focused control once the user moves by keyboard (Tab, arrows), gone again
// at the next mouse press, so that mouse users see the designed look unchanged.
// Installed once for the whole application; idempotent.
void InstallFocusMarks();
// The control the mark currently frames, or null (tests, screenshots).
QWidget* MarkedControl();

inline const QColor kFocusMarkColor(0x2f, 0x88, 0xe8);

} // namespace velquist::ui
