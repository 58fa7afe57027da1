// velquist-action: what the file managers' "转换为 JPG" / "转换为 PNG" run.
#include "actions/action_plan.h"
#include "actions/action_run.h"
#include "actions/stop_signals.h"
#include "platform/app_translations.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // The paths are taken from argv as bytes: QApplication's arguments() would decode them.
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "-h" || args[0] == "--help")) {
        std::fputs(velquist::ActionUsage().c_str(), stdout);
        return 0;
    }
    const velquist::ActionParse parsed = velquist::ParseActionArgs(args);
    if (!parsed.ok) {
        std::fprintf(stderr, "velquist-action: %s\n%s", parsed.error.c_str(),
                     velquist::ActionUsage().c_str());
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velquist"));
    QApplication::setQuitOnLastWindowClosed(false);
    velquist::SetUpUiLanguage();
    velquist::ActionRun run(parsed.request);
    velquist::StopSignals stopSignals;
    QObject::connect(&stopSignals, &velquist::StopSignals::Received, &run,
                     &velquist::ActionRun::Cancel);
    QObject::connect(&run, &velquist::ActionRun::Finished, &app, &QApplication::exit,
                     Qt::QueuedConnection);
    QTimer::singleShot(0, &run, &velquist::ActionRun::Start);
    return QApplication::exec();
}
