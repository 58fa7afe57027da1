#include "support/testdata.h"

#include <filesystem>

namespace velquist::test {

std::string HeicTestdataDir() {
    return VELQUIST_HEIC_TESTDATA_DIR;
}

bool HaveHeicTestdata() {
    std::error_code ignored;
    return std::filesystem::is_directory(HeicTestdataDir(), ignored);
}

std::string HeicTestdataFile(const std::string& name) {
    return HeicTestdataDir() + "/" + name;
}

} // namespace velquist::test
