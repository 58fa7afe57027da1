#pragma once

#include <functional>

class QWidget;

namespace velquist {

class CMainWnd;

// Points the skin library at "skin/" beside the executable and loads the
// skin's index "res.xml". False when the index cannot be read.
bool LoadSkinResources();

// Creates, centres and shows the main window; null when its skin cannot be
// built.
CMainWnd* CreateMainWindow();

// Watches start-up (benchmarks): called once with the main window's widget
// after it was painted for the first time.
using FirstPaintFn = std::function<void(QWidget*)>;

// The whole program after the QApplication exists: single instance, skin,
// main window, message loop, shutdown. Returns the process's exit code.
int RunVelquist(const FirstPaintFn& onFirstPaint = nullptr);

} // namespace velquist
