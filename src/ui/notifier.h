#pragma once

#include "ui/ui_defs.h"

#include <QPoint>

class QWidget;

namespace velquist::ui {

class CControlUI;
class WindowImplBase;

// Connects the Qt signals of every widget in root's subtree to window
// notifications ("click", "selectchanged", "itemselect", "itemclick"). The
// receiving window is the one the widget lives in at the time of the signal,
// or `fallback` for a tree not yet placed in a window. Wiring twice is
// harmless.
void WireNotifications(QWidget* root, WindowImplBase* fallback);

// Delivers a notification to the window that `origin` lives in (or fallback).
// `mouse` is the pointer in the window's client area when the notification
// comes from the mouse; asking the display for it costs a round trip, which
// thousands of programmatic changes must not pay.
void SendNotifyFrom(QWidget* origin, const char* type, CControlUI* sender,
                    HWND fallback = kNoWindow, QPoint mouse = QPoint());

} // namespace velquist::ui
