#include "account/reply_reader.h"

#include "net/json_fields.h"

namespace velquist {

ServiceEnvelope ReadServiceReply(const std::string& text) {
    return ParseServiceEnvelope(text);
}

bool ParseJsonObject(const std::string& text, Json::Value* root) {
    Json::Value parsed;
    if (!ParseJsonReply(text, &parsed) || !parsed.isObject()) {
        return false;
    }
    *root = parsed;
    return true;
}

bool ReadTextMember(const Json::Value& object, const char* key, std::string* out) {
    if (!object.isObject()) {
        return false;
    }
    const Json::Value& value = object[key];
    if (value.isArray() || value.isObject()) {
        return false;
    }
    *out = value.isNull() ? std::string() : value.asString();
    return true;
}

} // namespace velquist
