#pragma once

#include "net/service_envelope.h"

#include <json/json.h>
#include <string>

namespace velquist {

// Replies from the service, and the credential file, are read without letting jsoncpp
// throw: the size and depth limits and the strict parse are net's (json_fields.h).

// The envelope of a reply; one too large or nested too deeply counts as unparsable.
ServiceEnvelope ReadServiceReply(const std::string& text);

// JSON text of an object within the reply limits; false (and root untouched) for
// anything else.
bool ParseJsonObject(const std::string& text, Json::Value* root);

// The member as text when it is a string, number or boolean; a missing or null member
// reads as empty. False for arrays and objects, and when object is not an object.
bool ReadTextMember(const Json::Value& object, const char* key, std::string* out);

} // namespace velquist
