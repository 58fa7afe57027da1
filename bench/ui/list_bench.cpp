// Adds N entries to the long list the way the main window adds files, then
// scrolls through it page by page, and prints time and memory.
#include "ui/paint_manager.h"
#include "ui/template_list.h"
#include "ui/window_impl_base.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

using namespace velquist::ui;

long StatusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(in, line)) {
        if (line.rfind(prefix, 0) == 0) {
            return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
        }
    }
    return -1;
}

class BenchWindow final : public WindowImplBase {
  public:
    QString GetWindowClassName() const override { return QStringLiteral("BenchWindow"); }
    QString GetSkinFile() override { return QStringLiteral("List.xml"); }
};

void AddEntry(CControlUI* list, int id) {
    CControlUI* entry = list->AddTemplateItem();
    entry->SetTag(id);
    entry->SetName(QStringLiteral("item-%1").arg(id));
    entry->FindSubControl(QStringLiteral("imageCheckBox"))->SetCheck(true);
    entry->FindSubControl(QStringLiteral("fileNameLabel"))
        ->SetText(QStringLiteral("IMG_%1.HEIC").arg(id, 5, 10, QLatin1Char('0')));
    entry->FindSubControl(QStringLiteral("fileSizeLabel"))->SetText(QStringLiteral("2.41M"));
    for (const char* part : {"imagecheckBox", "preview", "image-remove"}) {
        entry->FindSubControl(QString::fromLatin1(part))->SetTag(id);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    CPaintManagerUI::SetInstance();
    CPaintManagerUI::SetResourcePath(QStringLiteral(VELQUIST_UI_BENCH_SKINS));
    const int rows = argc > 1 ? std::atoi(argv[1]) : 10000;
    // With the product's stylesheet: style-sheet painting is the slower path.
    QFile sheet(QStringLiteral(VELQUIST_UI_PRODUCT_STYLE));
    if (sheet.open(QIODevice::ReadOnly)) {
        app.setStyleSheet(QString::fromUtf8(sheet.readAll()));
    }

    BenchWindow window;
    if (window.Create(kNoWindow, QStringLiteral("bench"), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0) ==
        kNoWindow) {
        std::fprintf(stderr, "%s\n", qPrintable(window.GetSkinError()));
        return 1;
    }
    CControlUI* list = window.FindControl(QStringLiteral("image-list"));
    auto* view = qobject_cast<TemplateListView*>(list->GetWidget());
    view->Template(); // the entry skin is read once, before the first file
    QApplication::processEvents();
    const long rssBefore = StatusKb("VmRSS");

    QElapsedTimer clock;
    clock.start();
    for (int id = 0; id < rows; ++id) {
        AddEntry(list, id);
    }
    const double loopMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    QApplication::processEvents(); // the view lays the new rows out
    const double addMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    const long rssAfter = StatusKb("VmRSS");

    QScrollBar* bar = view->verticalScrollBar();
    const int page = std::max(1, bar->pageStep());
    int frames = 0;
    double worstMs = 0;
    clock.restart();
    for (int y = 0; y <= bar->maximum(); y += page) {
        QElapsedTimer frame;
        frame.start();
        bar->setValue(y);
        view->viewport()->repaint();
        worstMs = std::max(worstMs, static_cast<double>(frame.nsecsElapsed()) / 1e6);
        ++frames;
    }
    const double scrollMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;

    std::printf("rows: %d\n", list->GetCount());
    std::printf("add: %.1f ms (%.1f ms adding, the rest laying out and painting)\n", addMs, loopMs);
    std::printf("rss: %.1f MB before, %.1f MB after, +%.1f MB; peak %.1f MB\n", rssBefore / 1024.0,
                rssAfter / 1024.0, (rssAfter - rssBefore) / 1024.0, StatusKb("VmHWM") / 1024.0);
    std::printf("scroll: %d pages, %.2f ms per page, worst %.2f ms\n", frames,
                frames > 0 ? scrollMs / frames : 0.0, worstMs);
    return 0;
}
