// Every test process gets a home of its own before anything reads the per-user folders,
// so the real user's files are never touched and parallel runs do not meet.

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

struct TestHome {
    TestHome() {
        // A death test's child runs in its parent's home and leaves the cleaning to it.
        if (const char* inherited = std::getenv("VELQUIST_NET_DIALOGS_HOME")) {
            (void)inherited;
            return;
        }
        char pattern[] = "/tmp/velquist-net-dialogs-XXXXXX";
        const char* home = mkdtemp(pattern);
        if (home == nullptr) {
            std::abort();
        }
        root = home;
        setenv("VELQUIST_NET_DIALOGS_HOME", home, 1);
        setenv("HOME", root.c_str(), 1);
        setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    }
    ~TestHome() {
        if (root.empty()) {
            return;
        }
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    std::string root;
};

const TestHome g_home;

} // namespace
