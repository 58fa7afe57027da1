#include "net/json_fields.h"

#include <memory>

namespace velquist {
namespace {

// Bytes after a lead byte, and the smallest code point that form may carry (anything
// smaller is an overlong encoding); 0 continuation bytes for a bad lead.
struct Utf8Lead {
    int continuation = 0;
    char32_t minimum = 0;
    char32_t bits = 0;
};

Utf8Lead ClassifyLead(unsigned char byte) {
    if (byte < 0x80) {
        return {0, 0, byte};
    }
    if ((byte & 0xe0) == 0xc0) {
        return {1, 0x80, static_cast<char32_t>(byte & 0x1f)};
    }
    if ((byte & 0xf0) == 0xe0) {
        return {2, 0x800, static_cast<char32_t>(byte & 0x0f)};
    }
    if ((byte & 0xf8) == 0xf0) {
        return {3, 0x10000, static_cast<char32_t>(byte & 0x07)};
    }
    return {-1, 0, 0};
}

} // namespace

bool IsValidUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        Utf8Lead lead = ClassifyLead(static_cast<unsigned char>(text[i++]));
        if (lead.continuation < 0 ||
            text.size() - i < static_cast<std::size_t>(lead.continuation)) {
            return false;
        }
        char32_t code = lead.bits;
        for (int k = 0; k < lead.continuation; ++k) {
            auto byte = static_cast<unsigned char>(text[i++]);
            if ((byte & 0xc0) != 0x80) {
                return false;
            }
            code = (code << 6) | (byte & 0x3f);
        }
        bool surrogate = code >= 0xd800 && code <= 0xdfff;
        if (code < lead.minimum || surrogate || code > 0x10ffff) {
            return false;
        }
    }
    return true;
}

bool ParseJsonReply(const std::string& text, Json::Value* root) {
    if (text.size() > kMaxReplyBytes || !IsValidUtf8(text)) {
        return false;
    }
    Json::CharReaderBuilder builder;
    Json::CharReaderBuilder::strictMode(&builder.settings_);
    builder["stackLimit"] = kMaxReplyDepth;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value parsed;
    std::string errors;
    // jsoncpp reports nesting beyond stackLimit by throwing; it must end here, as a reply
    // that is simply not understood.
    try {
        if (!reader->parse(text.data(), text.data() + text.size(), &parsed, &errors)) {
            return false;
        }
    } catch (const Json::Exception&) {
        return false;
    }
    *root = std::move(parsed);
    return true;
}

const Json::Value& MemberOf(const Json::Value& object, const char* key) {
    static const Json::Value kNull;
    if (!object.isObject()) {
        return kNull;
    }
    const Json::Value* found = object.find(key, key + std::char_traits<char>::length(key));
    return found != nullptr ? *found : kNull;
}

bool ReadString(const Json::Value& object, const char* key, std::string* out) {
    const Json::Value& value = MemberOf(object, key);
    if (!value.isString()) {
        return false;
    }
    std::string text = value.asString();
    // A \u escape can still make a lone surrogate after the reply itself was checked.
    if (!IsValidUtf8(text)) {
        return false;
    }
    *out = std::move(text);
    return true;
}

bool ReadInt(const Json::Value& object, const char* key, std::int32_t* out) {
    const Json::Value& value = MemberOf(object, key);
    bool integral = value.type() == Json::intValue || value.type() == Json::uintValue;
    if (!integral || !value.isInt()) {
        return false;
    }
    *out = value.asInt();
    return true;
}

bool ReadBool(const Json::Value& object, const char* key, bool* out) {
    const Json::Value& value = MemberOf(object, key);
    if (!value.isBool()) {
        return false;
    }
    *out = value.asBool();
    return true;
}

bool ReadObject(const Json::Value& object, const char* key, Json::Value* out) {
    const Json::Value& value = MemberOf(object, key);
    if (!value.isObject()) {
        return false;
    }
    *out = value;
    return true;
}

} // namespace velquist
