#pragma once

#include "accounts.h"
#include "manifest.h"

#include <cstddef>
#include <httplib.h>
#include <set>
#include <string>
#include <string_view>

namespace velquist::service {

inline constexpr std::size_t kMaxBodyBytes = 16 * 1024;

struct ApiParts {
    AccountService& accounts;
    FeedbackStore& feedback;
    UpdateManifest& manifest;
    std::string installer_dir;
    // Completes relative download URLs; a request's Host header never does.
    std::string public_base_url;
    std::set<std::string> trusted_proxies;
};

// The address a request came from: the peer, or when the peer is a trusted
// proxy, the last address it added to X-Forwarded-For.
std::string ClientAddress(const httplib::Request& req, const std::set<std::string>& trusted);

// False only for the paths answered from memory; the rest may wait on
// Argon2id or the disk. `path` is the raw request target without its query.
bool IsHeavyPath(std::string_view path);

// Limits, JSON error answers and the access log.
void ConfigureServer(httplib::Server& server, bool access_log,
                     const std::set<std::string>& trusted_proxies);
// Every endpoint. `parts` must outlive the server.
void InstallRoutes(httplib::Server& server, const ApiParts& parts);

} // namespace velquist::service
