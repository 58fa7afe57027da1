#pragma once

#include "protocol/ret_codes.h"

#include <cstdint>
#include <json/json.h>
#include <string>

namespace velquist {

// The reply shape every service operation answers with: an integer "ret" (0 = success)
// and a "data" object with the payload.
struct ServiceEnvelope {
    bool parsed = false; // JSON that parsed and carried an integer "ret"
    int ret = 0;
    Json::Value root;
    Json::Value data;

    bool Succeeded() const { return parsed && ret == service::kRetOk; }
};

// A reply counts as parsed only when it is JSON whose "ret" is a JSON integer or a
// decimal string; a missing, null or otherwise typed "ret" makes it unparsable, so an
// empty object can never pass for success. The text is read as ParseJsonReply reads it
// (size, depth and UTF-8 checked); nothing a reply holds makes this throw.
ServiceEnvelope ParseServiceEnvelope(const std::string& text);

// A JSON integer, or a text of an optional "-" and decimal digits, that fits 32 bits.
bool ReadDecimalInt(const Json::Value& value, std::int32_t* out);
bool ParseDecimalInt(const std::string& text, std::int32_t* out);

// The indented form of Json::StyledWriter, but with non-ASCII text left as UTF-8 bytes
// instead of \u escapes.
std::string WriteStyledUtf8(const Json::Value& value);

} // namespace velquist
