#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

// Every test process gets its own HOME and data folder, so nothing reaches the real
// user's files and parallel runs do not meet.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::GTEST_FLAG(death_test_style) = "threadsafe";
    std::string pattern =
        (std::filesystem::temp_directory_path() / "velquist-account-XXXXXX").string();
    const char* home = mkdtemp(pattern.data());
    if (home == nullptr) {
        return 2;
    }
    setenv("HOME", home, 1);
    setenv("XDG_DATA_HOME", (std::string(home) + "/data").c_str(), 1);
    // No secret store answers here (the keyring tests have their own program): a bus
    // address that leads nowhere, so the user's own keyring is never reached either.
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + std::string(home) + "/no-bus").c_str(), 1);
    int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return result;
}
