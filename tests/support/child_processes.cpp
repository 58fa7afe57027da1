#include "support/child_processes.h"

#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <unistd.h>

namespace velquist::test {
namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// True when /proc/<pid>/stat names `wanted` ("(comm") and this process as the parent.
bool IsOwnChild(const char* pid, const std::string& wanted) {
    std::ifstream stat(std::string("/proc/") + pid + "/stat");
    std::string line;
    // "pid (comm) state ppid ..."
    const auto close = std::getline(stat, line) ? line.rfind(')') : std::string::npos;
    if (close == std::string::npos || line.find(wanted) == std::string::npos) {
        return false;
    }
    char state = 0;
    long parent = 0;
    return std::sscanf(line.c_str() + close + 1, " %c %ld", &state, &parent) == 2 &&
           parent == static_cast<long>(::getpid());
}

} // namespace

int LiveChildren(const std::string& name) {
    const std::string wanted = "(" + name.substr(0, 15);
    const std::unique_ptr<DIR, DirCloser> proc(::opendir("/proc"));
    int count = 0;
    for (const dirent* entry = proc ? ::readdir(proc.get()) : nullptr; entry != nullptr;
         entry = ::readdir(proc.get())) {
        count += IsOwnChild(entry->d_name, wanted) ? 1 : 0;
    }
    return count;
}

} // namespace velquist::test
