#include "ui/paint_manager.h"

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace fs = std::filesystem;

// Every test process gets its own HOME and data folder, so nothing reaches the real
// user's credential file and parallel runs do not meet. The skin folder is the shipped
// skin plus the small main window of these tests.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    std::string pattern = (fs::temp_directory_path() / "velquist-accountui-XXXXXX").string();
    const char* home = mkdtemp(pattern.data());
    if (home == nullptr) {
        return 2;
    }
    setenv("HOME", home, 1);
    setenv("XDG_DATA_HOME", (std::string(home) + "/data").c_str(), 1);
    // Keeps the saved login away from the user's own keyring: no secret store answers.
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + std::string(home) + "/no-bus").c_str(), 1);
    const fs::path skin = fs::path(home) / "skin";
    fs::copy(VELQUIST_SKIN_DIR, skin, fs::copy_options::recursive);
    fs::copy(VELQUIST_ACCOUNT_TEST_SKINS, skin, fs::copy_options::recursive);

    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    velquist::ui::CPaintManagerUI::SetResourcePath(QString::fromStdString(skin.string() + "/"));
    int result = RUN_ALL_TESTS();
    std::error_code ignored;
    fs::remove_all(home, ignored);
    return result;
}
