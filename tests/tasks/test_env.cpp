#include "test_env.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <sys/stat.h>

namespace velquist::testing {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "velquist-tasks-XXXXXX").string();
    const char* made = ::mkdtemp(pattern.data());
    path_ = made ? made : "/nonexistent";
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string TempDir::Write(const std::string& relative, const std::string& text) const {
    const fs::path path = fs::path(path_) / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

std::string TempDir::Script(const std::string& name, const std::string& body) const {
    const std::string path = Write(name, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
    return path;
}

std::string TempDir::WorkerScript(const std::string& name, const std::string& body) const {
    const std::string path = Write(name, std::string(R"SH(#!/bin/bash
[ "$*" = --worker ] || exit 9
IFS= read -r -d '' n || exit 3
fields=()
for ((i = 0; i < n; i++)); do IFS= read -r -d '' f || exit 3; fields+=("$f"); done
set -- "${fields[@]}"
)SH") + body);
    ::chmod(path.c_str(), 0755);
    return path;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto giveUp = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > giveUp) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

namespace {

bool IsZombie(const std::string& pid) {
    // "pid (name) state ...": the name may hold spaces and parentheses.
    const std::string stat = ReadFile("/proc/" + pid + "/stat");
    const std::size_t close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] == 'Z';
}

} // namespace

int LiveProcessesWith(const std::string& text) {
    int count = 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        const std::string pid = entry.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const std::string command = ReadFile("/proc/" + pid + "/cmdline");
        count += command.find(text) != std::string::npos && !IsZombie(pid) ? 1 : 0;
    }
    return count;
}

bool Exists(const std::string& path) {
    return fs::exists(path);
}

const std::string& FakeHome() {
    static TempDir home;
    return home.Path();
}

namespace {

const bool homeRedirected = [] {
    const std::string& home = FakeHome();
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    return true;
}();

} // namespace
} // namespace velquist::testing
