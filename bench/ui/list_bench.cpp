// Adds N entries to the long list the way the main window adds files, then
// scrolls through it page by page, and prints time and memory. With --thumbs every
// entry is a real HEIC file whose picture the list shows, made by the thumbnail
// worker; the list is then also scrolled as a user does (half a screen per 60 Hz
// frame) and the frames longer than 16 ms are counted.
#ifdef VELQUIST_UI_BENCH_THUMBS
#include "app/list_thumbnails.h"
#include "support/heic_fixture.h"
#endif
#include "ui/list_model.h"
#include "ui/paint_manager.h"
#include "ui/template_list.h"
#include "ui/window_impl_base.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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

// Peak resident memory of this process's child processes (the thumbnail worker).
long ChildrenPeakKb() {
    long total = 0;
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) {
        return 0;
    }
    while (dirent* task = readdir(tasks)) {
        std::ifstream children(std::string("/proc/self/task/") + task->d_name + "/children");
        long pid = 0;
        while (children >> pid) {
            std::ifstream status("/proc/" + std::to_string(pid) + "/status");
            std::string line;
            while (std::getline(status, line)) {
                if (line.rfind("VmHWM:", 0) == 0) {
                    total += std::strtol(line.c_str() + 6, nullptr, 10);
                }
            }
        }
    }
    closedir(tasks);
    return total;
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

#ifdef VELQUIST_UI_BENCH_THUMBS
// Copies of one photo of a phone's thumbnail size under the names the entries carry.
bool WritePhotos(const std::string& folder, int rows) {
    velquist::test::HeicImageSpec spec;
    spec.width = 320;
    spec.height = 240;
    const std::string seed = folder + "/seed.heic";
    if (!velquist::test::WriteHeic(seed, spec).empty()) {
        return false;
    }
    for (int id = 0; id < rows; ++id) {
        std::error_code error;
        std::filesystem::copy_file(seed, folder + "/" + std::to_string(id) + ".heic", error);
        if (error) {
            return false;
        }
    }
    return true;
}

bool AllOnScreenHavePictures(TemplateListView* view) {
    int first = 0;
    int last = 0;
    if (!view->VisibleRows(&first, &last)) {
        return false;
    }
    for (int r = first; r <= last; ++r) {
        auto* part = dynamic_cast<RowPart*>(
            view->Model()->At(r)->FindSubControl(QStringLiteral("fileIcon")));
        if (part == nullptr || part->Image() == nullptr) {
            return false;
        }
    }
    return true;
}
#endif

// Scrolls as a user does: half a screen per 60 Hz frame; the rest of each frame the
// loop runs idle, as it would wait for the display.
void ScrollLikeAUser(TemplateListView* view) {
    QScrollBar* bar = view->verticalScrollBar();
    const int step = std::max(1, bar->pageStep() / 2);
    int frames = 0;
    int late = 0;
    double worstMs = 0;
    for (int y = 0; y <= bar->maximum(); y += step) {
        QElapsedTimer frame;
        frame.start();
        bar->setValue(y);
        QApplication::processEvents();
        view->viewport()->repaint();
        const double ms = static_cast<double>(frame.nsecsElapsed()) / 1e6;
        worstMs = std::max(worstMs, ms);
        late += ms > 16.0 ? 1 : 0;
        ++frames;
        while (frame.nsecsElapsed() < 16'667'000) {
            QApplication::processEvents(QEventLoop::AllEvents, 2);
            QThread::usleep(500);
        }
    }
    std::printf("user scroll: %d frames of half a screen, %d longer than 16 ms, worst %.2f ms\n",
                frames, late, worstMs);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    CPaintManagerUI::SetInstance();
    CPaintManagerUI::SetResourcePath(QStringLiteral(VELQUIST_UI_BENCH_SKINS));
    int rows = 10000;
    bool thumbs = false;
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--thumbs") {
            thumbs = true;
        } else {
            rows = std::atoi(argv[i]);
        }
    }
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
    QTemporaryDir photos;
#ifdef VELQUIST_UI_BENCH_THUMBS
    std::unique_ptr<velquist::ListThumbnails> pictures;
    const std::string folder = QFile::encodeName(photos.path()).toStdString();
    if (thumbs) {
        if (!WritePhotos(folder, rows)) {
            std::fprintf(stderr, "cannot write the photos\n");
            return 1;
        }
        pictures = std::make_unique<velquist::ListThumbnails>(
            view, VELQUIST_THUMBNAILER,
            [list](int id) { return list->FindSubControl(QStringLiteral("item-%1").arg(id)); },
            [folder](int id) { return folder + "/" + std::to_string(id) + ".heic"; });
    }
#else
    if (thumbs) {
        std::fprintf(stderr, "built without the thumbnail loader\n");
        return 2;
    }
#endif
    QApplication::processEvents();
    const long rssBefore = StatusKb("VmRSS");

    QElapsedTimer clock;
    clock.start();
    for (int id = 0; id < rows; ++id) {
        AddEntry(list, id);
    }
    const double loopMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    QApplication::processEvents(); // the view lays the new rows out
    view->viewport()->repaint();
    const double addMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    const long rssAfter = StatusKb("VmRSS");
    std::printf("mode: %s\n", thumbs ? "thumbnails" : "plain");
    std::printf("rows: %d\n", list->GetCount());
    std::printf("list appears: %.1f ms (%.1f ms adding, the rest laying out and painting)\n", addMs,
                loopMs);
#ifdef VELQUIST_UI_BENCH_THUMBS
    if (thumbs) {
        while (!AllOnScreenHavePictures(view) && clock.elapsed() < 60000) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::usleep(500);
        }
        std::printf("first screen of pictures: %.1f ms after the adding began\n",
                    static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
#endif

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
    bar->setValue(0);
    ScrollLikeAUser(view);
    const long rssScrolled = StatusKb("VmRSS");

    std::printf("rss: %.1f MB before, %.1f MB after adding (+%.1f MB), %.1f MB after scrolling "
                "(+%.1f MB); peak %.1f MB\n",
                rssBefore / 1024.0, rssAfter / 1024.0, (rssAfter - rssBefore) / 1024.0,
                rssScrolled / 1024.0, (rssScrolled - rssBefore) / 1024.0,
                StatusKb("VmHWM") / 1024.0);
    std::printf("page scroll: %d pages, %.2f ms per page, worst %.2f ms\n", frames,
                frames > 0 ? scrollMs / frames : 0.0, worstMs);
#ifdef VELQUIST_UI_BENCH_THUMBS
    if (pictures) {
        std::printf("pictures: %d made, %d held at the end; thumbnail worker peak %.1f MB\n",
                    pictures->Received(), pictures->PicturesHeld(), ChildrenPeakKb() / 1024.0);
    }
#endif
    return 0;
}
