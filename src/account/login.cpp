#include "account/login.h"

#include "account/reply_reader.h"
#include "net/http_client.h"
#include "net/service_envelope.h"
#include "net/service_url.h"
#include "protocol/ret_codes.h"

namespace velquist {
namespace {

// Only what JSON requires is escaped; every other byte goes out as typed, so ordinary
// input gives the same body as it always did.
std::string JsonString(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string quoted = "\"";
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (byte < 0x20) {
            quoted += "\\u00";
            quoted += kHex[byte >> 4];
            quoted += kHex[byte & 0x0f];
        } else {
            quoted += c;
        }
    }
    quoted += '"';
    return quoted;
}

} // namespace

std::string BuildLoginBody(const std::string& phone, const std::string& password) {
    return "{\"mobilephone\":" + JsonString(phone) + ",\"password\":" + JsonString(password) + "}";
}

bool ReadLoginData(const Json::Value& reply, UserRecord* record) {
    if (!reply.isObject()) {
        return false;
    }
    const Json::Value& data = reply["data"];
    if (!data.isObject()) {
        return false;
    }
    UserRecord read;
    bool complete = ReadDecimalInt(data["id"], &read.id) &&
                    ReadTextMember(data, "mobilephone", &read.mobilephone) &&
                    !read.mobilephone.empty() &&
                    ReadTextMember(data, "last_login_ip", &read.last_login_ip) &&
                    ReadDecimalInt(data["last_login_time"], &read.last_login_time) &&
                    ReadDecimalInt(data["register_time"], &read.register_time);
    if (!complete) {
        return false;
    }
    *record = read;
    return true;
}

LoginOutcome SendLogin(const std::string& phone, const std::string& password, Json::Value* reply) {
    std::string url = ServiceBaseUrl() + "/v1/login" + MakeTimestampQuery();
    std::string response;
    const bool transferred =
        HttpClient::Instance()->PostJson(BuildLoginBody(phone, password), url, &response) == 0;
    // The reply carries the user's number and address: it is judged, never logged.
    ServiceEnvelope envelope = ReadServiceReply(response);
    if (!envelope.parsed) {
        return LoginOutcome::kTransferFailed;
    }
    if (envelope.ret != service::kRetOk) {
        return LoginOutcome::kRejected;
    }
    if (!transferred) {
        return LoginOutcome::kTransferFailed;
    }
    UserRecord record;
    if (!ReadLoginData(envelope.root, &record)) {
        return LoginOutcome::kUnparsable;
    }
    *reply = envelope.root;
    return LoginOutcome::kAccepted;
}

bool ApplyLoginData(const Json::Value& reply) {
    UserRecord record;
    if (!ReadLoginData(reply, &record)) {
        return false;
    }
    UserInfo::Instance()->Set(record);
    return true;
}

} // namespace velquist
