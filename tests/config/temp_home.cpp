#include "temp_home.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace velquist::testing {

const std::string& TempHome() {
    static const std::string home = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "velquist-config-XXXXXX").string();
        const char* made = ::mkdtemp(pattern.data());
        std::string path = made ? made : "/nonexistent";
        ::setenv("HOME", path.c_str(), 1);
        ::setenv("XDG_DATA_HOME", (path + "/data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (path + "/cfg").c_str(), 1);
        std::atexit([] { std::filesystem::remove_all(TempHome()); });
        return path;
    }();
    return home;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteText(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

bool IsDir(const std::string& path) { return std::filesystem::is_directory(path); }

} // namespace velquist::testing
