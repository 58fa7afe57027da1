#pragma once

#include <QList>

class QAbstractButton;
class QWidget;

namespace velquist::ui {

// The controls of a window that Tab stops at (shown, enabled, taking focus by
// Tab), in the order a reader meets them: row by row from the top, left to
// right within a row.
QList<QWidget*> TabStopsInVisualOrder(QWidget* window);
// The stop after (or before) `from`, wrapping at the ends; null when the window
// has none. A `from` that is no stop (or null) starts at the first (or last).
QWidget* NextInVisualOrder(QWidget* window, QWidget* from, bool next);
// What Enter presses: the focused button, else the window's default button
// (the skin's "default" property), else null.
QAbstractButton* ButtonForEnter(QWidget* window);

} // namespace velquist::ui
