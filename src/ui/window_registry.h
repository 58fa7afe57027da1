#pragma once

#include "ui/ui_defs.h"

namespace velquist::ui {

class HostWidget;

// The live windows, by handle. Guarded by one mutex so that any thread may
// post; a window leaves the registry before its widget can go away.
HWND RegisterWindow(HostWidget* host);
void UnregisterWindow(HWND hwnd);
HostWidget* HostFromHandle(HWND hwnd);

} // namespace velquist::ui
