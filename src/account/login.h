#pragma once

#include "account/user_info.h"

#include <json/json.h>
#include <string>

namespace velquist {

enum class LoginOutcome {
    kTransferFailed, // nothing the service said came back: no transfer, or no envelope
    kUnparsable,     // the service accepted, but its user record cannot be read
    kRejected,       // the envelope's "ret" is not 0
    kAccepted,
};

// {"mobilephone":"...","password":"..."} without blanks; both values escaped as JSON
// strings, so a quote or backslash in a password cannot add members or break the body.
std::string BuildLoginBody(const std::string& phone, const std::string& password);

// The user record in an accepted reply's "data". False when "data" is not an object or
// "id", "last_login_time" or "register_time" is missing, empty or not a decimal integer,
// or "mobilephone" is missing or empty (the session counts as logged in by that number).
bool ReadLoginData(const Json::Value& reply, UserRecord* record);

// One login exchange. kAccepted leaves the parsed reply in *reply and guarantees that
// ReadLoginData succeeds on it; a "ret" 0 reply with a malformed record is kUnparsable.
// An envelope that came with an error status still counts by its "ret", but success
// needs a completed transfer. Does not touch UserInfo and writes nothing of the reply
// anywhere.
LoginOutcome SendLogin(const std::string& phone, const std::string& password, Json::Value* reply);

// Copies the reply's record into UserInfo; changes nothing and returns false when the
// record is malformed.
bool ApplyLoginData(const Json::Value& reply);

} // namespace velquist
