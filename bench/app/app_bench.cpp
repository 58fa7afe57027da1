// Measurements of the main window (not tests; numbers for people):
//   velquist-app-bench startup   start-up to the first painted main window, 10 runs
//   velquist-app-bench folder    a folder of 10,000 HEIC files added to the list
//   velquist-app-bench start     开始转换 on those 10,000 entries: until the click returns
//   velquist-app-bench batch     the window's responsiveness during a real batch
//   velquist-app-bench stop      停止 pressed during a batch of 30 photos, 10 times: until the
//                                batch is over and its last worker gone, and the GUI's pauses
// Run on a quiet machine, under Xvfb or with QT_QPA_PLATFORM=offscreen.
#include "app/app_startup.h"
#include "app/mainwnd.h"
#include "bench_support.h"
#include "support/child_processes.h"
#include "ui/control.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace velquist;
namespace fs = std::filesystem;

namespace {

// Longest pause of the GUI thread while it is watched: a 5 ms timer that
// notes how late each tick comes.
class StallMeter {
  public:
    StallMeter() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.elapsed();
            longest_ = std::max(longest_, now - last_);
            last_ = now;
            ++ticks_;
        });
    }
    void Start() {
        clock_.start();
        last_ = 0;
        longest_ = 0;
        timer_.start(5);
    }
    qint64 Longest() const { return longest_; }
    long Ticks() const { return ticks_; }

  private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
    long ticks_ = 0;
};

int StartupChild(int argc, char** argv) {
    QApplication app(argc, argv);
    return RunVelquist([](QWidget*) {
        std::printf("painted\n");
        std::fflush(stdout);
        std::_Exit(0);
    });
}

double OneStart(const char* self, const std::string& home, int run) {
    const std::string runtime = home + "/runtime-" + std::to_string(run);
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return -1;
    }
    const auto begin = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        execl(self, self, "startup-child", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    char buffer[64] = {};
    const ssize_t got = read(pipeFds[0], buffer, sizeof buffer - 1);
    const auto end = std::chrono::steady_clock::now();
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (got <= 0 || std::string(buffer).rfind("painted", 0) != 0) {
        return -1;
    }
    return std::chrono::duration<double, std::milli>(end - begin).count();
}

int Startup(const char* self) {
    const std::string home = bench::UseTemporaryHome();
    std::vector<double> times;
    for (int run = 0; run < 10; ++run) {
        const double ms = OneStart(self, home, run);
        std::printf("start %d: %.1f ms\n", run + 1, ms);
        if (ms >= 0) {
            times.push_back(ms);
        }
    }
    if (times.empty()) {
        return 1;
    }
    std::sort(times.begin(), times.end());
    std::printf("start-up to first paint: median %.1f ms, min %.1f ms, max %.1f ms (%zu runs)\n",
                times[times.size() / 2], times.front(), times.back(), times.size());
    return 0;
}

// A folder of 10,000 one-byte files named as a phone names its photos.
std::string ManyFiles(const std::string& home) {
    const std::string folder = home + "/many";
    fs::create_directories(folder);
    for (int i = 0; i < 10000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/IMG_%05d.heic", i);
        std::ofstream(folder + name) << "x";
    }
    return folder;
}

int Folder(int argc, char** argv) {
    const std::string home = bench::UseTemporaryHome();
    QApplication app(argc, argv);
    bench::PrepareSkin();
    const std::string folder = ManyFiles(home);
    CMainWnd* window = CreateMainWindow();
    bench::SpinFor(300);
    const long before = bench::CurrentRssKiB();
    StallMeter meter;
    meter.Start();
    QElapsedTimer clock;
    clock.start();
    window->AddImageFolder(QString::fromStdString(folder));
    const qint64 added = clock.elapsed();
    QApplication::processEvents();
    window->GetWidget()->repaint();
    const qint64 painted = clock.elapsed();
    bench::SpinFor(200);
    const long after = bench::CurrentRssKiB();
    const int count = window->FindControl(QStringLiteral("image-list"))->GetCount();
    std::printf(
        "10,000 files: %d entries in %lld ms, painted after %lld ms, longest GUI pause %lld ms, "
        "memory +%.1f MB\n",
        count, static_cast<long long>(added), static_cast<long long>(painted),
        static_cast<long long>(meter.Longest()), (after - before) / 1024.0);
    window->Close();
    bench::SpinFor(100);
    return 0;
}

// The GUI thread's time for 开始转换 on a list of 10,000 entries, then the batch stopped.
int StartMany(int argc, char** argv) {
    const std::string home = bench::UseTemporaryHome();
    QApplication app(argc, argv);
    bench::PrepareSkin();
    const std::string folder = ManyFiles(home);
    CMainWnd* window = CreateMainWindow();
    window->AddImageFolder(QString::fromStdString(folder));
    bench::SpinUntil([window] { return window->PendingScans() == 0; }, 60000);
    bench::SpinFor(300);
    auto* start = window->FindControl(QStringLiteral("image-convert-start-btn"));
    StallMeter meter;
    meter.Start();
    QElapsedTimer clock;
    clock.start();
    qobject_cast<QAbstractButton*>(start->GetWidget())->click();
    const qint64 clicked = clock.elapsed();
    bench::SpinFor(500);
    const qint64 pause = meter.Longest();
    auto* stop = window->FindControl(QStringLiteral("image-convert-processing-btn"));
    qobject_cast<QAbstractButton*>(stop->GetWidget())->click();
    bench::SpinUntil([start] { return start->IsVisible(); }, 60000);
    std::printf("开始转换 on %d entries: click returned after %lld ms, longest GUI pause %lld ms "
                "in the first 500 ms\n",
                window->FindControl(QStringLiteral("image-list"))->GetCount(),
                static_cast<long long>(clicked), static_cast<long long>(pause));
    window->Close();
    bench::SpinFor(100);
    return 0;
}

// A main window whose list holds a folder of that many new photos under home; null when
// they cannot be written. Call once the application is made.
CMainWnd* WindowWithPhotos(const std::string& home, int files, int width, int height) {
    const std::string input = home + "/input";
    fs::create_directories(input);
    if (!bench::WriteHeicFiles(input, "photo", files, width, height)) {
        return nullptr;
    }
    bench::PrepareSkin();
    CMainWnd* window = CreateMainWindow();
    window->AddImageFolder(QString::fromStdString(input));
    return window;
}

int Batch(int argc, char** argv) {
    const std::string home = bench::UseTemporaryHome();
    QApplication app(argc, argv);
    const int files = 30;
    CMainWnd* window = WindowWithPhotos(home, files, 1280, 960);
    if (window == nullptr) {
        return 1;
    }
    bench::SpinFor(300);
    StallMeter meter;
    QElapsedTimer clock;
    auto* start = window->FindControl(QStringLiteral("image-convert-start-btn"));
    meter.Start();
    clock.start();
    qobject_cast<QAbstractButton*>(start->GetWidget())->click();
    bench::SpinUntil([start] { return start->IsVisible(); }, 600000);
    const qint64 total = clock.elapsed();
    std::printf("%d files of 1280x960, three at a time: %lld ms, longest GUI pause %lld ms over "
                "%ld ticks\n",
                files, static_cast<long long>(total), static_cast<long long>(meter.Longest()),
                meter.Ticks());
    window->Close();
    bench::SpinFor(100);
    return 0;
}

bool AnyProcessing(CMainWnd* window, int count) {
    for (int id = 0; id < count; ++id) {
        ui::CControlUI* entry = window->FindControl(QStringLiteral("item-%1").arg(id));
        ui::CControlUI* part =
            entry != nullptr ? entry->FindSubControl(QStringLiteral("status-processing")) : nullptr;
        if (part != nullptr && part->IsVisible()) {
            return true;
        }
    }
    return false;
}

void Click(CMainWnd* window, const char* name) {
    qobject_cast<QAbstractButton*>(window->FindControl(QLatin1String(name))->GetWidget())->click();
}

struct StopRound {
    qint64 overMs = 0;
    qint64 goneMs = 0;
    qint64 pauseMs = 0;
};

// One batch started and stopped once its first conversions run.
StopRound StopOnce(CMainWnd* window, int files) {
    auto* start = window->FindControl(QStringLiteral("image-convert-start-btn"));
    Click(window, "image-convert-start-btn");
    bench::SpinUntil([&] { return AnyProcessing(window, files); }, 60000);
    bench::SpinFor(150); // the workers are decoding
    StallMeter meter;
    QElapsedTimer clock;
    meter.Start();
    clock.start();
    Click(window, "image-convert-processing-btn");
    StopRound round;
    bench::SpinUntil([start] { return start->IsVisible(); }, 60000);
    round.overMs = clock.elapsed();
    bench::SpinUntil([] { return test::LiveChildren("velquist-convert") == 0; }, 60000);
    round.goneMs = clock.elapsed();
    round.pauseMs = meter.Longest();
    return round;
}

qint64 Median(std::vector<qint64> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

int Stop(int argc, char** argv) {
    const std::string home = bench::UseTemporaryHome();
    QApplication app(argc, argv);
    const int files = 30;
    CMainWnd* window = WindowWithPhotos(home, files, 2048, 1536);
    if (window == nullptr) {
        return 1;
    }
    bench::SpinUntil([window] { return window->PendingScans() == 0; }, 10000);
    std::vector<qint64> over, gone, pauses;
    for (int run = 0; run < 10; ++run) {
        const StopRound round = StopOnce(window, files);
        over.push_back(round.overMs);
        gone.push_back(round.goneMs);
        pauses.push_back(round.pauseMs);
    }
    std::printf("stop of %d photos of 2048x1536, 10 runs: batch over %lld ms (max %lld), last "
                "worker gone %lld ms (max %lld), longest GUI pause %lld ms (max %lld)\n",
                files, static_cast<long long>(Median(over)),
                static_cast<long long>(*std::max_element(over.begin(), over.end())),
                static_cast<long long>(Median(gone)),
                static_cast<long long>(*std::max_element(gone.begin(), gone.end())),
                static_cast<long long>(Median(pauses)),
                static_cast<long long>(*std::max_element(pauses.begin(), pauses.end())));
    window->Close();
    bench::SpinFor(100);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "startup-child") {
        return StartupChild(argc, argv);
    }
    if (what == "startup") {
        return Startup(argv[0]);
    }
    if (what == "folder") {
        return Folder(argc, argv);
    }
    if (what == "start") {
        return StartMany(argc, argv);
    }
    if (what == "batch") {
        return Batch(argc, argv);
    }
    if (what == "stop") {
        return Stop(argc, argv);
    }
    std::fprintf(stderr, "usage: %s startup|folder|start|batch|stop\n", argv[0]);
    return 2;
}
