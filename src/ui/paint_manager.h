#pragma once

#include "ui/ui_defs.h"

#include <QString>

namespace velquist::ui {

// Process-wide skin library state. Call from the GUI thread, after the
// QApplication exists.
class CPaintManagerUI {
  public:
    // Remembers the program folder; the resource path defaults to it + "skin/".
    static void SetInstance();
    // The folder of the executable, ending in "/".
    static QString GetInstancePath();
    static void SetResourcePath(const QString& path);
    // Ends in "/".
    static QString GetResourcePath();
    // The GUI thread's loop until PostQuitMessage; returns its code.
    static int MessageLoop();
    // Releases what the library holds (stylesheet, loaded fonts).
    static void Term();
};

// The skin index ("res.xml" below the resource path): stylesheets and fonts.
//   <res>
//     <stylesheet file="style.qss"/>
//     <font file="fonts/some.ttf"/>
//     <defaultfont family="WenQuanYi Micro Hei" size="9"/>
//   </res>
// Returns false (with a reason in *error when given) when the index or a
// stylesheet it names cannot be read; the stylesheets that could be read
// still apply. A font that fails to load is skipped.
class CResourceManager {
  public:
    static bool LoadResource(const QString& indexFile, QString* error = nullptr);
};

// Ends MessageLoop (and every nested loop) with this code.
void PostQuitMessage(int code);

} // namespace velquist::ui
