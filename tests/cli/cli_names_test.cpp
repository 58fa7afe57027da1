#include "cli_test_util.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sstream>

namespace velquist::test {
namespace {

bool AnyLineStartsWith(const std::string& text, const std::string& start) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(start, 0) == 0) {
            return true;
        }
    }
    return false;
}

// A name is printed so that it can neither forge a line of its own nor reach the
// terminal as an escape: in the shell's $'...' form, as ls shows it.
TEST(CliNames, ControlCharactersInNamesArePrintedEscaped) {
    TempDir dir;
    const std::string forging = "a\nOK  forged.heic -> forged.jpg";
    MakeHeic(dir, "in/" + forging + ".heic");
    MakeHeic(dir, "in/red\x1b[31m.heic");
    MakeHeic(dir, "in/plain.heic");
    WriteText(dir.File("in/bad\tname.heic"), "not a photo");

    const ProcessResult r = RunConverter(dir, {"-o", dir.File("out"), dir.File("in")});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "OK  $'" + dir.File("in/a\\nOK  forged.heic -> forged.jpg.heic") +
                               "' -> $'" + dir.File("out/a\\nOK  forged.heic -> forged.jpg.jpg") +
                               "'\n"))
        << r.out;
    EXPECT_FALSE(AnyLineStartsWith(r.out, "OK  forged")) << r.out;
    EXPECT_TRUE(Has(r.out, "OK  $'" + dir.File("in/red\\033[31m.heic") + "' -> $'")) << r.out;
    EXPECT_TRUE(
        Has(r.out, "OK  " + dir.File("in/plain.heic") + " -> " + dir.File("out/plain.jpg") + "\n"))
        << r.out;
    EXPECT_TRUE(Has(r.out, "FAILED $'" + dir.File("in/bad\\tname.heic") + "': ")) << r.out;
    EXPECT_TRUE(Has(r.out, "  $'" + dir.File("in/bad\\tname.heic") + "': ")) << r.out;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
    EXPECT_EQ(r.out.find('\t'), std::string::npos);

    const ProcessResult missing = RunConverter(dir, {dir.File("gone\x1b[2J.heic")});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(Has(missing.err, "cannot read $'" + dir.File("gone\\033[2J.heic") + "': "))
        << missing.err;
}

} // namespace
} // namespace velquist::test
