#include "service_app.h"

#include "http_api.h"

#include <cerrno>
#include <sys/stat.h>

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

} // namespace

bool ServiceApp::OpenStorage(const ServiceOptions& options, std::string* error) {
    for (const std::string* file : {&options.database, &options.manifest, &options.outbox}) {
        if (!MakeParent(*file)) {
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
        *error = options.database + ": " + *error;
        return false;
    }
    manifest_ = std::make_unique<UpdateManifest>(options.manifest);
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
    codes_ = std::make_unique<VerificationCodes>(*db_, *sender_, clock);
    accounts_ = std::make_unique<AccountService>(*db_, *hasher_, *codes_, clock);
    feedback_ = std::make_unique<FeedbackStore>(*db_, clock);
    server_ = std::make_unique<httplib::Server>();
    ConfigureServer(*server_, options.threads, options.access_log);
    if (options.port == 0) {
        port_ = server_->bind_to_any_port(options.host);
    } else {
        port_ = server_->bind_to_port(options.host, options.port) ? options.port : -1;
    }
    if (port_ <= 0) {
        *error = "cannot listen on " + options.host + ":" + std::to_string(options.port);
        return false;
    }
    InstallRoutes(*server_,
                  ApiParts{*accounts_, *feedback_, *manifest_, options.installers, BaseUrl()});
    return true;
}

std::string ServiceApp::BaseUrl() const {
    const bool v6 = options_.host.find(':') != std::string::npos;
    const std::string host = v6 ? "[" + options_.host + "]" : options_.host;
    return "http://" + host + ":" + std::to_string(port_);
}

bool ServiceApp::Serve() {
    return server_ && server_->listen_after_bind();
}

void ServiceApp::Stop() {
    if (server_) {
        server_->stop();
    }
}

} // namespace velquist::service
