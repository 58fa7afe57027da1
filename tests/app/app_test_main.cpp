#include "app/app_startup.h"
#include "app_test_util.h"
#include "support/temp_dir.h"
#include "ui/paint_manager.h"

#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace velquist::test {
namespace {
std::string g_home;
}

const std::string& TestHome() {
    return g_home;
}

} // namespace velquist::test

int main(int argc, char** argv) {
    // Every test process gets a home of its own before anything reads the
    // configuration, whose path is fixed at its first use.
    velquist::test::TempDir home;
    velquist::test::g_home = home.Path();
    for (const char* sub : {"/data", "/config", "/Pictures", "/runtime"}) {
        mkdir((home.Path() + sub).c_str(), 0700);
    }
    setenv("HOME", home.Path().c_str(), 1);
    setenv("XDG_DATA_HOME", (home.Path() + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home.Path() + "/config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (home.Path() + "/runtime").c_str(), 1);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    velquist::ui::CPaintManagerUI::SetInstance();
    velquist::LoadSkinResources();
    return RUN_ALL_TESTS();
}
