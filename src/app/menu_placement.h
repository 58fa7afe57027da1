#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace velquist {

// Where a pop-up menu of the given size, asked for at point, ends up: it opens
// upwards when it would leave the work area at the bottom and leftwards when
// it would leave it on the right, shifts 6 pixels right and 6 up, and is then
// held inside the work area on every side (a tray may sit at any edge).
QPoint PlaceMenu(QPoint point, QSize size, const QRect& workArea);

// False where the display server grants windows no absolute positions and
// tells nothing of the pointer outside them (Wayland): what relies on positions
// (the tray menu at the pointer) steps aside there.
bool WindowPositionsKnown();

} // namespace velquist
