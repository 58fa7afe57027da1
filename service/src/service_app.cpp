#include "service_app.h"

#include "http_api.h"
#include "log_text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <thread>

namespace velquist::service {
namespace {

// The version the desktop program carries; a fresh manifest offers nothing newer.
constexpr const char* kShippedVersion = "1.0.1";

bool MakeDirs(const std::string& path) {
    std::string partial;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (partial.empty()) {
            continue;
        }
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return true;
}

std::string ParentOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

bool MakeParent(const std::string& path) {
    const std::string parent = ParentOf(path);
    return parent.empty() || MakeDirs(parent);
}

FrontLimits FrontLimitsOf(const ServiceOptions& options) {
    FrontLimits limits;
    limits.watch.request_timeout = std::chrono::seconds(options.request_timeout_seconds);
    limits.watch.connections_per_address = options.connections_per_address;
    limits.watch.max_connections = options.max_connections;
    // A proxy in front carries many clients over its own connections.
    limits.watch.uncapped_addresses.insert(options.trusted_proxies.begin(),
                                           options.trusted_proxies.end());
    // A waiting event thread costs nothing; several per core keep answers
    // flowing while one is descheduled on a busy machine.
    limits.event_threads = options.event_threads != 0
                               ? options.event_threads
                               : std::clamp(4 * std::thread::hardware_concurrency(), 4u, 32u);
    // Password checks get as many workers as may hash at once, and one
    // address at most half of them (a quarter when there are enough), so that
    // a few addresses never hold them all. The other workers store
    // feedback and send codes.
    const unsigned hashing = std::max(1u, options.hash_parallel);
    limits.lanes.hash_workers = hashing;
    limits.lanes.hash_per_address = std::max(1u, hashing >= 8 ? hashing / 4 : hashing / 2);
    limits.lanes.store_workers =
        std::max(2u, options.threads > hashing ? options.threads - hashing : options.threads);
    limits.max_body_bytes = kMaxBodyBytes;
    return limits;
}

// Only the path, its phone numbers masked: bodies carry passwords and codes,
// and stay out of the log. Every field is escaped, so a request cannot write
// a line of its own.
HttpFront::Served AccessLog(bool enabled, std::set<std::string> trusted) {
    if (!enabled) {
        return nullptr;
    }
    return [trusted = std::move(trusted)](const HttpRequest& req, int status) {
        const std::string line = LogField(ClientAddress(req, trusted)) + " " +
                                 LogField(req.method) + " " + LogField(req.path) + " " +
                                 std::to_string(status) + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
    };
}

} // namespace

bool ServiceApp::OpenStorage(const ServiceOptions& options, std::string* error) {
    const bool local_db = !IsPostgresUrl(options.database);
    for (const std::string* file : {&options.database, &options.manifest, &options.outbox}) {
        if ((file != &options.database || local_db) && !MakeParent(*file)) {
            *error = "cannot create the folder of " + *file;
            return false;
        }
    }
    if (!MakeDirs(options.installers)) {
        *error = "cannot create " + options.installers;
        return false;
    }
    db_ = Database::Open(options.database, error);
    if (!db_) {
        // A database URL may carry a password: it stays out of the message.
        *error = (local_db ? options.database : std::string("database")) + ": " + *error;
        return false;
    }
    manifest_ = std::make_unique<UpdateManifest>(options.manifest, options.installers);
    if (!manifest_->WriteDefaultIfMissing(kShippedVersion)) {
        *error = "cannot write " + options.manifest;
        return false;
    }
    return true;
}

bool ServiceApp::Open(const ServiceOptions& options, Clock clock, std::string* error) {
    options_ = options;
    if (!OpenStorage(options, error)) {
        return false;
    }
    hasher_ = std::make_unique<PasswordHasher>(
        HashCost{options.hash_ops, options.hash_memory_bytes}, options.hash_parallel);
    sender_ = std::make_unique<OutboxSmsSender>(options.outbox);
    CodeRules rules;
    rules.per_number_day = options.sms_per_number_day;
    rules.per_address_hour = options.sms_per_address_hour;
    rules.per_service_hour = options.sms_per_hour;
    codes_ = std::make_unique<VerificationCodes>(*db_, *sender_, clock, rules);
    if (!codes_->ok()) {
        *error = "cannot read or store the code key in the database";
        return false;
    }
    accounts_ = std::make_unique<AccountService>(*db_, *hasher_, *codes_, clock);
    feedback_ = std::make_unique<FeedbackStore>(*db_, clock);
    const std::set<std::string> trusted(options.trusted_proxies.begin(),
                                        options.trusted_proxies.end());
    front_ =
        std::make_unique<HttpFront>(FrontLimitsOf(options), AccessLog(options.access_log, trusted));
    std::string why;
    if (!front_->Bind(options.host, options.port, &why)) {
        *error =
            "cannot listen on " + options.host + ":" + std::to_string(options.port) + ": " + why;
        return false;
    }
    port_ = front_->port();
    public_url_ = options.public_url.empty() ? BaseUrl() : options.public_url;
    routes_ = std::make_unique<HttpRoutes>(
        ApiParts{*accounts_, *feedback_, *manifest_, options.installers, public_url_, trusted});
    if (!front_->Start(*routes_, &why)) {
        *error = why;
        return false;
    }
    return true;
}

std::string ServiceApp::BaseUrl() const {
    const bool v6 = options_.host.find(':') != std::string::npos;
    const std::string host = v6 ? "[" + options_.host + "]" : options_.host;
    return "http://" + host + ":" + std::to_string(port_);
}

bool ServiceApp::Serve() {
    return front_ && front_->Serve();
}

void ServiceApp::Stop() {
    if (front_) {
        front_->Stop();
    }
}

} // namespace velquist::service
