#pragma once

#include "accounts.h"
#include "clock.h"
#include "database.h"
#include "http_api.h"
#include "http_front.h"
#include "manifest.h"
#include "options.h"
#include "password_hasher.h"
#include "sms_sender.h"
#include "verification_codes.h"

#include <memory>
#include <string>

namespace velquist::service {

// The whole service put together: storage, accounts, manifest and the HTTP
// server bound to its address.
class ServiceApp {
  public:
    ServiceApp() = default;
    ServiceApp(const ServiceApp&) = delete;
    ServiceApp& operator=(const ServiceApp&) = delete;

    // Creates folders, opens the database and binds the listening socket.
    bool Open(const ServiceOptions& options, Clock clock, std::string* error);
    int port() const { return port_; }
    std::string BaseUrl() const;
    // Serves until Stop(); returns false when the server could not run.
    bool Serve();
    void Stop();
    Database& database() { return *db_; }

  private:
    bool OpenStorage(const ServiceOptions& options, std::string* error);

    ServiceOptions options_;
    std::unique_ptr<Database> db_;
    std::unique_ptr<PasswordHasher> hasher_;
    std::unique_ptr<OutboxSmsSender> sender_;
    std::unique_ptr<VerificationCodes> codes_;
    std::unique_ptr<AccountService> accounts_;
    std::unique_ptr<FeedbackStore> feedback_;
    std::unique_ptr<UpdateManifest> manifest_;
    std::unique_ptr<HttpRoutes> routes_;
    std::unique_ptr<HttpFront> front_;
    std::string public_url_;
    int port_ = 0;
};

} // namespace velquist::service
