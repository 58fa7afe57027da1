#include "bench_support.h"

#include "app/app_startup.h"
#include "support/heic_fixture.h"
#include "ui/paint_manager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace velquist::bench {

std::string UseTemporaryHome() {
    char pattern[] = "/tmp/velquist-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("cannot create a temporary home");
    }
    const std::string home = pattern;
    for (const char* sub : {"/data", "/config", "/Pictures", "/runtime"}) {
        mkdir((home + sub).c_str(), 0700);
    }
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (home + "/runtime").c_str(), 1);
    return home;
}

void PrepareSkin() {
    ui::CPaintManagerUI::SetInstance();
    LoadSkinResources();
}

bool SpinUntil(const std::function<bool()>& pred, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!pred()) {
        if (clock.elapsed() > ms) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

void SpinFor(int ms) {
    SpinUntil([] { return false; }, ms);
}

bool WriteHeicFiles(const std::string& folder, const std::string& prefix, int count, int width,
                    int height) {
    test::HeicImageSpec spec;
    spec.width = width;
    spec.height = height;
    const std::string first = folder + "/" + prefix + "0000.heic";
    if (!test::WriteHeic(first, spec).empty()) {
        return false;
    }
    std::ifstream in(first, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (int i = 1; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%04d.heic", i);
        std::ofstream(folder + "/" + prefix + name, std::ios::binary) << bytes;
    }
    return true;
}

long CurrentRssKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

} // namespace velquist::bench
