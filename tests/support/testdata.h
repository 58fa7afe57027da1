#pragma once

#include <gtest/gtest.h>
#include <string>

namespace velquist::test {

// The shared folder of real-world HEIF files (see its MANIFEST.md), or the one the
// environment variable VELQUIST_HEIC_TESTDATA names.
std::string HeicTestdataDir();
bool HaveHeicTestdata();
// HeicTestdataDir() + "/" + name
std::string HeicTestdataFile(const std::string& name);

} // namespace velquist::test

// Skips the calling test when the shared HEIF files are not on this machine.
#define VELQUIST_REQUIRE_HEIC_TESTDATA()                                                           \
    do {                                                                                           \
        if (!::velquist::test::HaveHeicTestdata())                                                 \
            GTEST_SKIP() << "real-world HEIF files not found in "                                  \
                         << ::velquist::test::HeicTestdataDir();                                   \
    } while (0)
