#pragma once

#include "net/service_envelope.h"

#include <cstddef>
#include <json/json.h>
#include <string>

namespace velquist {

// Replies from the service are read without letting jsoncpp throw: its reader gives up
// with an exception on deep nesting, and its accessors on a value of the wrong type.

// Deeper than any reply the service sends, far below the nesting jsoncpp rejects.
inline constexpr std::size_t kReplyDepthLimit = 64;

// True when no array or object in text (brackets inside strings do not count) nests
// deeper than limit.
bool NestingWithin(const std::string& text, std::size_t limit = kReplyDepthLimit);

// The envelope of a reply; one nested too deeply counts as unparsable.
ServiceEnvelope ReadServiceReply(const std::string& text);

// JSON text of an object; false (and root untouched) for anything else.
bool ParseJsonObject(const std::string& text, Json::Value* root);

// The member as text when it is a string, number or boolean; a missing or null member
// reads as empty. False for arrays and objects, and when object is not an object.
bool ReadTextMember(const Json::Value& object, const char* key, std::string* out);

} // namespace velquist
