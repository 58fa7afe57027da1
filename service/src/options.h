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
    // Base of the download URLs the update check answers; empty: the listen address.
    std::string public_url;
    // Workers for requests that may wait on Argon2id or the database:
    // `hash_parallel` of them check passwords, the rest send codes and store
    // feedback.
    unsigned threads = 64;
    // Threads that wait on the connections, answer quick requests and send
    // downloads; 0: four per core.
    unsigned event_threads = 0;
    unsigned request_timeout_seconds = 10;
    unsigned connections_per_address = 32;
    unsigned max_connections = 10000;
    // Peers whose X-Forwarded-For names the client (a reverse proxy in front).
    std::vector<std::string> trusted_proxies;
    // Verification codes sent: per client address an hour, for the whole
    // service an hour (0: no limit) and per phone number a day.
    unsigned sms_per_address_hour = 5;
    unsigned sms_per_hour = 1000;
    unsigned sms_per_number_day = 10;
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
