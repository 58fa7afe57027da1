#pragma once

#include "accounts.h"
#include "manifest.h"

#include <cstddef>
#include <httplib.h>
#include <string>

namespace velquist::service {

inline constexpr std::size_t kMaxBodyBytes = 16 * 1024;

struct ApiParts {
    AccountService& accounts;
    FeedbackStore& feedback;
    UpdateManifest& manifest;
    std::string installer_dir;
    // Completes relative download URLs when a request carries no usable Host.
    std::string fallback_base_url;
};

// Limits, thread pool, JSON error answers and the access log.
void ConfigureServer(httplib::Server& server, unsigned threads, bool access_log);
// Every endpoint. `parts` must outlive the server.
void InstallRoutes(httplib::Server& server, const ApiParts& parts);

} // namespace velquist::service
