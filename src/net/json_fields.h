#pragma once

#include <cstddef>
#include <cstdint>
#include <json/json.h>
#include <string>

namespace velquist {

// Replies come from the network, so every read here fails with false instead of throwing
// as jsoncpp's own accessors do on a wrong type; *out is left alone on failure.

// No service reply is larger than this; more is refused before it is parsed.
inline constexpr std::size_t kMaxReplyBytes = 64 * 1024;
// Service replies nest a few levels; this is far beyond that and far below a stack's end.
inline constexpr int kMaxReplyDepth = 32;

// Strict JSON whose root is an object or array, within the size and depth limits, valid
// UTF-8 throughout. False for anything else, never an exception.
bool ParseJsonReply(const std::string& text, Json::Value* root);

bool IsValidUtf8(const std::string& text);

// The member key of an object, when it is a string of valid UTF-8.
bool ReadString(const Json::Value& object, const char* key, std::string* out);
// The member key of an object, when it is a JSON integer that fits 32 bits.
bool ReadInt(const Json::Value& object, const char* key, std::int32_t* out);
// The member key of an object, when it is true or false.
bool ReadBool(const Json::Value& object, const char* key, bool* out);
// The member key of an object, when it is an object itself.
bool ReadObject(const Json::Value& object, const char* key, Json::Value* out);
// The member key of an object (null when absent or when object is no object).
const Json::Value& MemberOf(const Json::Value& object, const char* key);

} // namespace velquist
