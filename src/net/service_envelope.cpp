#include "net/service_envelope.h"

#include "net/json_fields.h"

#include <charconv>
#include <limits>

namespace velquist {

bool ParseDecimalInt(const std::string& text, std::int32_t* out) {
    if (text.empty()) {
        return false;
    }
    const char* first = text.data();
    const char* last = first + text.size();
    // from_chars takes a sign of "-" only, which is the strictness wanted here.
    std::int32_t value = 0;
    auto [end, error] = std::from_chars(first, last, value, 10);
    if (error != std::errc() || end != last) {
        return false;
    }
    *out = value;
    return true;
}

bool ReadDecimalInt(const Json::Value& value, std::int32_t* out) {
    if (value.isString()) {
        return ParseDecimalInt(value.asString(), out);
    }
    bool integral_type = value.type() == Json::intValue || value.type() == Json::uintValue;
    if (!integral_type || !value.isInt()) {
        return false;
    }
    *out = value.asInt();
    return true;
}

std::string WriteStyledUtf8(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "   ";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, value) + "\n";
}

ServiceEnvelope ParseServiceEnvelope(const std::string& text) {
    ServiceEnvelope envelope;
    if (!ParseJsonReply(text, &envelope.root) || !envelope.root.isObject()) {
        envelope.root = Json::Value();
        return envelope;
    }
    std::int32_t ret = 0;
    if (!ReadDecimalInt(MemberOf(envelope.root, "ret"), &ret)) {
        return envelope;
    }
    envelope.parsed = true;
    envelope.ret = ret;
    envelope.data = MemberOf(envelope.root, "data");
    return envelope;
}

} // namespace velquist
