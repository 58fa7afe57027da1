#pragma once

#include "support/testdata.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace velquist::test {

// The shared real-world files; VELQUIST_HEIC_TESTDATA points elsewhere, e.g. from a work
// tree that does not sit beside the shared folder.
inline std::string RealFilesDir() {
    const char* dir = std::getenv("VELQUIST_HEIC_TESTDATA");
    return dir != nullptr && *dir != '\0' ? std::string(dir) : HeicTestdataDir();
}

inline std::string RealFile(const std::string& name) {
    return RealFilesDir() + "/" + name;
}

} // namespace velquist::test

#define VELQUIST_REQUIRE_REAL_FILES()                                                              \
    do {                                                                                           \
        std::error_code missing;                                                                   \
        if (!std::filesystem::is_directory(::velquist::test::RealFilesDir(), missing))             \
            GTEST_SKIP() << "real-world HEIF files not found in "                                  \
                         << ::velquist::test::RealFilesDir();                                      \
    } while (0)
