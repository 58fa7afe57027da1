#include "support/testdata.h"

#include <cstdlib>
#include <filesystem>

namespace velquist::test {

std::string HeicTestdataDir() {
    // A work tree that does not sit beside the shared folder names it.
    const char* dir = std::getenv("VELQUIST_HEIC_TESTDATA");
    return dir != nullptr && *dir != '\0' ? std::string(dir) : VELQUIST_HEIC_TESTDATA_DIR;
}

bool HaveHeicTestdata() {
    std::error_code ignored;
    return std::filesystem::is_directory(HeicTestdataDir(), ignored);
}

std::string HeicTestdataFile(const std::string& name) {
    return HeicTestdataDir() + "/" + name;
}

} // namespace velquist::test
