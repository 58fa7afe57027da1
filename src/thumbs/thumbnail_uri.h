#pragma once

#include <optional>
#include <string>

namespace velquist {

// The local file a file manager names: a path as it is, or a file:// URI (host empty or
// "localhost") with its percent-escapes turned back into bytes, so a name that is not
// UTF-8 reaches the very file. Nothing for other schemes, broken escapes or a NUL byte.
std::optional<std::string> LocalPathOf(const std::string& input);

} // namespace velquist
