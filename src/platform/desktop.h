#pragma once

namespace velquist {

// Whether the desktop shows tray icons; without one the program runs without it.
bool TrayAvailable();

// Whether translucent windows are blended with what lies beneath: on X11 only
// while a compositing manager owns the _NET_WM_CM_S0 selection; false elsewhere.
bool CanBlendTranslucentWindows();

} // namespace velquist
