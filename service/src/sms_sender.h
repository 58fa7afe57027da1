#pragma once

#include <mutex>
#include <string>

namespace velquist::service {

// Delivers a verification code to a phone. The built-in sender writes to an
// outbox file; a real SMS gateway implements the same call.
class SmsSender {
  public:
    virtual ~SmsSender() = default;
    virtual bool Send(const std::string& phone, const std::string& code) = 0;
};

// Appends "phone code" lines to the outbox file, so that someone running the
// service on their own desktop can register. The log only notes that a code
// went out, to a masked number: logs get shown to people who must not see codes.
class OutboxSmsSender : public SmsSender {
  public:
    explicit OutboxSmsSender(std::string path) : path_(std::move(path)) {}
    bool Send(const std::string& phone, const std::string& code) override;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    std::mutex mutex_;
};

} // namespace velquist::service
