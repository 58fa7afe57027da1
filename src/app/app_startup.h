#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace velquist {

class CMainWnd;
class SingleInstance;

// The skin folder: "skin/" beside the executable (build tree), else
// "../share/velquist/skin/" from it (installed). Ends in "/".
QString FindSkinFolder();

// "--check-install": prints where the skin and the worker are; 0 when both
// are there, 1 otherwise.
int CheckInstall();

// Points the skin library at FindSkinFolder() and loads the skin's index
// "res.xml". False when the index cannot be read.
bool LoadSkinResources();

// Creates, centres and shows the main window; null when its skin cannot be
// built.
CMainWnd* CreateMainWindow();

// Watches start-up (benchmarks): called once with the main window's widget
// after it was painted for the first time.
using FirstPaintFn = std::function<void(QWidget*)>;

// Files a later start hands over join the window's list, then the window comes
// to the front.
void ConnectInstanceToWindow(SingleInstance& instance, CMainWnd* window);

// The whole program after the QApplication exists: single instance, skin,
// main window, message loop, shutdown. Returns the process's exit code.
// files: absolute paths (bytes) to open; handed to the running instance when there
// is one.
int RunVelquist(const FirstPaintFn& onFirstPaint = nullptr,
                const std::vector<std::string>& files = {});

} // namespace velquist
