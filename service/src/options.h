#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace velquist::service {

struct ServiceOptions {
    std::string host = "127.0.0.1";
    int port = 8360;
    std::string data_dir;
    std::string database;
    std::string installers;
    std::string manifest;
    std::string outbox;
    unsigned threads = 64;
    unsigned long long hash_ops = 0;
    std::size_t hash_memory_bytes = 0;
    unsigned hash_parallel = 0;
    bool access_log = true;
    bool show_help = false;
};

// "$XDG_DATA_HOME/Morvane/Service", else "~/.local/share/Morvane/Service".
std::string DefaultDataDir();

// Defaults, then the configuration file ("--config", else "service.conf" in
// the data folder when present), then the flags: each later source wins.
bool LoadOptions(const std::vector<std::string>& args, ServiceOptions* options, std::string* error);

const char* UsageText();

} // namespace velquist::service
