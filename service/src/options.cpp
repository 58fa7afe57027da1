#include "options.h"

#include "validate.h"

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sodium.h>
#include <thread>

namespace velquist::service {
namespace {

using Setter = std::function<bool(ServiceOptions*, const std::string&)>;

template <typename T> bool ParseNumber(const std::string& text, T* out) {
    T value{};
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end) {
        return false;
    }
    *out = value;
    return true;
}

bool ParseListen(const std::string& text, ServiceOptions* options) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        return false;
    }
    int port = 0;
    if (!ParseNumber(text.substr(colon + 1), &port) || port < 0 || port > 65535) {
        return false;
    }
    options->host = text.substr(0, colon);
    options->port = port;
    return true;
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool ParseSwitch(const std::string& text, bool* out) {
    if (text == "on" || text == "true" || text == "1") {
        *out = true;
        return true;
    }
    if (text == "off" || text == "false" || text == "0") {
        *out = false;
        return true;
    }
    return false;
}

bool ParseAddressList(const std::string& text, std::vector<std::string>* out) {
    std::vector<std::string> list;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto comma = text.find(',', start);
        const std::string item = Trim(text.substr(start, comma - start));
        if (!item.empty()) {
            if (!IsIpAddress(item)) {
                return false;
            }
            list.push_back(item);
        }
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    *out = std::move(list);
    return true;
}

bool ParsePublicUrl(const std::string& text, std::string* out) {
    const bool scheme = text.rfind("http://", 0) == 0 || text.rfind("https://", 0) == 0;
    if (!scheme || text.find_first_of(" \t\r\n\"") != std::string::npos) {
        return false;
    }
    std::string url = text;
    while (!url.empty() && url.back() == '/') {
        url.pop_back();
    }
    *out = url;
    return true;
}

Setter Count(unsigned ServiceOptions::*field, unsigned min, unsigned max) {
    return [field, min, max](ServiceOptions* o, const std::string& v) {
        unsigned value = 0;
        if (!ParseNumber(v, &value) || value < min || value > max) {
            return false;
        }
        o->*field = value;
        return true;
    };
}

const std::map<std::string, Setter>& Setters() {
    static const std::map<std::string, Setter> setters = {
        {"listen", [](ServiceOptions* o, const std::string& v) { return ParseListen(v, o); }},
        {"data-dir",
         [](ServiceOptions* o, const std::string& v) {
             o->data_dir = v;
             return !v.empty();
         }},
        {"database",
         [](ServiceOptions* o, const std::string& v) {
             o->database = v;
             return !v.empty();
         }},
        {"installers",
         [](ServiceOptions* o, const std::string& v) {
             o->installers = v;
             return !v.empty();
         }},
        {"manifest",
         [](ServiceOptions* o, const std::string& v) {
             o->manifest = v;
             return !v.empty();
         }},
        {"outbox",
         [](ServiceOptions* o, const std::string& v) {
             o->outbox = v;
             return !v.empty();
         }},
        {"threads", Count(&ServiceOptions::threads, 1, 1024)},
        {"event-threads", Count(&ServiceOptions::event_threads, 0, 64)},
        {"public-url",
         [](ServiceOptions* o, const std::string& v) { return ParsePublicUrl(v, &o->public_url); }},
        {"request-timeout", Count(&ServiceOptions::request_timeout_seconds, 1, 3600)},
        {"connections-per-address", Count(&ServiceOptions::connections_per_address, 0, 1000000)},
        {"max-connections", Count(&ServiceOptions::max_connections, 1, 1000000)},
        {"trusted-proxies",
         [](ServiceOptions* o, const std::string& v) {
             return ParseAddressList(v, &o->trusted_proxies);
         }},
        {"sms-per-address-hour", Count(&ServiceOptions::sms_per_address_hour, 1, 1000000)},
        {"sms-per-hour", Count(&ServiceOptions::sms_per_hour, 0, 100000000)},
        {"sms-per-number-day", Count(&ServiceOptions::sms_per_number_day, 1, 1000)},
        {"hash-ops",
         [](ServiceOptions* o, const std::string& v) {
             return ParseNumber(v, &o->hash_ops) && o->hash_ops >= crypto_pwhash_OPSLIMIT_MIN;
         }},
        {"hash-mem-kib",
         [](ServiceOptions* o, const std::string& v) {
             std::size_t kib = 0;
             if (!ParseNumber(v, &kib) || kib * 1024 < crypto_pwhash_MEMLIMIT_MIN) {
                 return false;
             }
             o->hash_memory_bytes = kib * 1024;
             return true;
         }},
        {"hash-parallel",
         [](ServiceOptions* o, const std::string& v) {
             return ParseNumber(v, &o->hash_parallel) && o->hash_parallel >= 1;
         }},
        {"access-log",
         [](ServiceOptions* o, const std::string& v) { return ParseSwitch(v, &o->access_log); }},
    };
    return setters;
}

bool Apply(const std::string& key, const std::string& value, ServiceOptions* options,
           std::string* error) {
    const auto it = Setters().find(key);
    if (it == Setters().end()) {
        *error = "unknown setting: " + key;
        return false;
    }
    if (!it->second(options, value)) {
        *error = "bad value for " + key + ": " + value;
        return false;
    }
    return true;
}

// "key = value" lines; "#" starts a comment line.
bool LoadFile(const std::string& path, ServiceOptions* options, std::string* error) {
    std::ifstream file(path);
    if (!file) {
        *error = "cannot read " + path;
        return false;
    }
    std::string line;
    while (std::getline(file, line)) {
        line = Trim(line);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
            *error = path + ": expected key = value: " + line;
            return false;
        }
        if (!Apply(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)), options, error)) {
            return false;
        }
    }
    return true;
}

bool FileExists(const std::string& path) {
    return static_cast<bool>(std::ifstream(path));
}

std::string ConfigFlag(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "--config") {
            return args[i + 1];
        }
    }
    return {};
}

bool ApplyFlags(const std::vector<std::string>& args, ServiceOptions* options, std::string* error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options->show_help = true;
            continue;
        }
        if (arg.rfind("--", 0) != 0 || i + 1 >= args.size()) {
            *error = "unexpected argument: " + arg;
            return false;
        }
        const std::string value = args[++i];
        if (arg == "--config") {
            continue;
        }
        if (!Apply(arg.substr(2), value, options, error)) {
            return false;
        }
    }
    return true;
}

void FillDefaults(ServiceOptions* options) {
    const std::string& dir = options->data_dir;
    if (options->database.empty()) {
        options->database = dir + "/service.db";
    }
    if (options->installers.empty()) {
        options->installers = dir + "/installers";
    }
    if (options->manifest.empty()) {
        options->manifest = dir + "/manifest.json";
    }
    if (options->outbox.empty()) {
        options->outbox = dir + "/sms-outbox.txt";
    }
    if (options->hash_ops == 0) {
        options->hash_ops = crypto_pwhash_OPSLIMIT_INTERACTIVE;
    }
    if (options->hash_memory_bytes == 0) {
        options->hash_memory_bytes = crypto_pwhash_MEMLIMIT_INTERACTIVE;
    }
    if (options->hash_parallel == 0) {
        options->hash_parallel = std::max(2u, std::thread::hardware_concurrency());
    }
}

} // namespace

std::string DefaultDataDir() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return std::string(xdg) + "/Morvane/Service";
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : ".") + "/.local/share/Morvane/Service";
}

bool LoadOptions(const std::vector<std::string>& args, ServiceOptions* options,
                 std::string* error) {
    options->data_dir = DefaultDataDir();
    const std::string flagged = ConfigFlag(args);
    const std::string config = flagged.empty() ? options->data_dir + "/service.conf" : flagged;
    if ((!flagged.empty() || FileExists(config)) && !LoadFile(config, options, error)) {
        return false;
    }
    if (!ApplyFlags(args, options, error)) {
        return false;
    }
    FillDefaults(options);
    return true;
}

const char* UsageText() {
    return "usage: velquist-service [--config FILE] [--listen HOST:PORT] [--data-dir DIR]\n"
           "       [--database FILE|postgresql://...] [--installers DIR] [--manifest FILE]\n"
           "       [--outbox FILE] [--threads N] [--event-threads N] [--hash-ops N]\n"
           "       [--hash-mem-kib N] [--hash-parallel N] [--access-log on|off]\n"
           "       [--public-url URL] [--request-timeout SECONDS]\n"
           "       [--connections-per-address N] [--max-connections N]\n"
           "       [--trusted-proxies IP,IP...] [--sms-per-address-hour N]\n"
           "       [--sms-per-hour N] [--sms-per-number-day N]\n"
           "The configuration file holds the same settings as \"key = value\" lines.\n"
           "Port 0 picks a free port; the chosen address is printed on standard output.\n";
}

} // namespace velquist::service
