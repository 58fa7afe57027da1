#include "app_startup.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velquist"));
    // The command line carries nothing for the window.
    return velquist::RunVelquist();
}
