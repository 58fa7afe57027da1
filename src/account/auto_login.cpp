#include "account/auto_login.h"

#include "account/credential_store.h"
#include "account/login.h"
#include "account/reply_reader.h"
#include "account/user_info.h"
#include "util/text.h"

#include <glog/logging.h>
#include <json/json.h>

namespace velquist {
namespace {

// These lines have always been filed under the main window, whose thread ran this.
void LogMainWindowError(const char* text) {
    google::LogMessage("mainwnd.cpp", __LINE__, google::GLOG_ERROR).stream() << text;
}

std::string TextMember(const Json::Value& root, const char* key) {
    const Json::Value& value = root[key];
    return value.isString() ? value.asString() : std::string();
}

} // namespace

AutoLoginResult AutoLogin() {
    AutoLoginResult result;
    std::optional<LoadedCredentials> loaded = LoadCredentialsWithKeyInfo();
    if (!loaded) {
        return result;
    }
    Json::Value root;
    if (!ParseJsonObject(loaded->plaintext, &root)) {
        LogMainWindowError("json parse err");
        return result;
    }
    std::string account = TextMember(root, "account");
    std::string password = TextMember(root, "password");
    if (account.empty() || password.empty()) {
        return result;
    }
    Json::Value reply;
    LoginOutcome outcome = SendLogin(account, password, &reply);
    if (outcome == LoginOutcome::kTransferFailed) {
        LogMainWindowError("账号或密码错误!");
        return result;
    }
    if (outcome != LoginOutcome::kAccepted || !ApplyLoginData(reply)) {
        return result;
    }
    result.logged_in = true;
    result.shown_name = AnsiToWide(account);
    // Nothing is written back here, not even a file still under the fixed key: storing a
    // key may make the keyring ask for a password, which only a save the user asked for
    // from the login dialog may do.
    return result;
}

void LogoutAccount() {
    DeleteCredentials();
    UserInfo::Instance()->ClearMobilephone();
}

} // namespace velquist
