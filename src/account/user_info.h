#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace velquist {

// The logged-in user as the service last described it.
struct UserRecord {
    std::int32_t id = 0;
    std::string mobilephone;
    std::string last_login_ip;
    std::int32_t last_login_time = 0;
    std::int32_t register_time = 0;
};

// The one record of the logged-in user. A user is logged in exactly when mobilephone is
// not empty. Guarded by a lock: the automatic login writes it on its own thread while the
// windows read it.
class UserInfo {
  public:
    static UserInfo* Instance();

    UserRecord Get() const;
    void Set(const UserRecord& record);
    std::string mobilephone() const;
    bool LoggedIn() const;
    // Logging out forgets the phone number only; the other fields stay as they were.
    void ClearMobilephone();

  private:
    UserInfo() = default;

    mutable std::mutex mutex_;
    UserRecord record_;
};

} // namespace velquist
