#include "account/reply_reader.h"

namespace velquist {

bool NestingWithin(const std::string& text, std::size_t limit) {
    std::size_t depth = 0;
    bool in_string = false;
    bool escaped = false;
    for (char c : text) {
        if (in_string) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                in_string = false;
            }
            continue;
        }
        if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) {
                return false;
            }
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return true;
}

ServiceEnvelope ReadServiceReply(const std::string& text) {
    if (!NestingWithin(text)) {
        return ServiceEnvelope{};
    }
    return ParseServiceEnvelope(text);
}

bool ParseJsonObject(const std::string& text, Json::Value* root) {
    Json::Value parsed;
    if (!NestingWithin(text) || !Json::Reader().parse(text, parsed, false) || !parsed.isObject()) {
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
