#include "temp_home.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace velquist::testing {

namespace {

struct Home {
    Home() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "velquist-config-XXXXXX").string();
        const char* made = ::mkdtemp(pattern.data());
        path = made ? made : "/nonexistent";
        ::setenv("HOME", path.c_str(), 1);
        ::setenv("XDG_DATA_HOME", (path + "/data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (path + "/cfg").c_str(), 1);
    }
    ~Home() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

} // namespace

const std::string& TempHome() {
    static const Home home;
    return home.path;
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

bool IsDir(const std::string& path) {
    return std::filesystem::is_directory(path);
}

} // namespace velquist::testing
