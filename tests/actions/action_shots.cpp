// Not a test: saves the progress box of the file-manager actions for the README.
// Usage: velquist_action_shots OUTPUT_DIR
#include "actions/progress_box.h"

#include <QApplication>
#include <QPixmap>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: velquist_action_shots OUTPUT_DIR\n", stderr);
        return 2;
    }
    velquist::ProgressBox box(12);
    box.SetDone(5);
    box.show();
    QApplication::processEvents();
    const QString path = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/action-progress.png");
    return box.grab().save(path) ? 0 : 1;
}
