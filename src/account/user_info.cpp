#include "account/user_info.h"

namespace velquist {

UserInfo* UserInfo::Instance() {
    // Created once even when threads race, and never destroyed: detached threads may
    // still read it while the process ends.
    static UserInfo* const instance = new UserInfo();
    return instance;
}

UserRecord UserInfo::Get() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return record_;
}

void UserInfo::Set(const UserRecord& record) {
    std::lock_guard<std::mutex> lock(mutex_);
    record_ = record;
}

std::string UserInfo::mobilephone() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return record_.mobilephone;
}

bool UserInfo::LoggedIn() const {
    return !mobilephone().empty();
}

void UserInfo::ClearMobilephone() {
    std::lock_guard<std::mutex> lock(mutex_);
    record_.mobilephone.clear();
}

} // namespace velquist
