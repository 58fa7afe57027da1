#include "net/version.h"

#include "net/service_envelope.h"
#include "util/text.h"

#include <cstdint>
#include <vector>

namespace velquist {

bool ParseVersionTriple(const std::string& text, VersionTriple* out) {
    std::vector<std::string> pieces = SplitString(text.c_str(), ".");
    if (pieces.size() < 3) {
        return false;
    }
    std::int32_t parts[3] = {};
    for (int i = 0; i < 3; ++i) {
        if (!ParseDecimalInt(pieces[i], &parts[i])) {
            return false;
        }
    }
    *out = VersionTriple{parts[0], parts[1], parts[2]};
    return true;
}

bool IsNewerVersion(const VersionTriple& offered, const VersionTriple& local) {
    if (offered.major != local.major) {
        return offered.major > local.major;
    }
    if (offered.minor != local.minor) {
        return offered.minor > local.minor;
    }
    return offered.revision > local.revision;
}

} // namespace velquist
