#pragma once

#include "accounts.h"
#include "http_message.h"
#include "manifest.h"

#include <cstddef>
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

// Where a request runs. Quick ones are answered on the event thread that
// read them; downloads too, sent from the file as the peer takes it; the rest
// wait for a worker, Argon2id checks in lanes of their own.
enum class Lane { kQuick, kDownload, kHash, kStore };

struct LaneChoice {
    Lane lane = Lane::kQuick;
    // Whose share the work counts against: the client's address (its /64 for
    // IPv6) and, for password checks, the phone number named in the body.
    std::string address;
    std::string phone;
};

// The address a request came from: the peer, or when the peer is a trusted
// proxy, the last address it added to X-Forwarded-For.
std::string ClientAddress(const HttpRequest& req, const std::set<std::string>& trusted);

// False only for the paths answered from memory; the rest may wait on
// Argon2id or the disk. `path` is the decoded path without its query.
bool IsHeavyPath(std::string_view path);

// The JSON envelope answered for a refused request (400, 404, 405, 408, 413...).
HttpResponse ErrorResponse(int status);

// Every endpoint. `parts` must outlive the routes.
class HttpRoutes {
  public:
    explicit HttpRoutes(const ApiParts& parts) : parts_(parts) {}

    LaneChoice LaneOf(const HttpRequest& req) const;
    HttpResponse Handle(const HttpRequest& req) const;

  private:
    HttpResponse HandlePost(const HttpRequest& req) const;
    HttpResponse HandleGet(const HttpRequest& req) const;

    ApiParts parts_;
};

} // namespace velquist::service
