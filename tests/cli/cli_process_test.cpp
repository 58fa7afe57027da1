#include "support/heic_fixture.h"
#include "support/image_readers.h"
#include "support/temp_dir.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velquist::test {
namespace {

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadText(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// Runs the converter with the given arguments; fileSizeLimit > 0 caps the size of any
// file the child writes, the way a full disk would stop it.
ProcessResult RunConverter(const TempDir& dir, std::vector<std::string> args,
                           rlim_t fileSizeLimit = 0) {
    args.insert(args.begin(), VELQUIST_CONVERT_BIN);
    const std::string outPath = dir.File(".stdout");
    const std::string errPath = dir.File(".stderr");
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        dup2(err, 2);
        if (fileSizeLimit > 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{fileSizeLimit, fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    ProcessResult result;
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadText(outPath);
    result.err = ReadText(errPath);
    std::filesystem::remove(outPath);
    std::filesystem::remove(errPath);
    return result;
}

size_t EntryCount(const std::string& path) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(path), {}));
}

TEST(CliProcess, HelpAndBadUsage) {
    TempDir dir;
    ProcessResult r = RunConverter(dir, {"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("Usage: "), std::string::npos);
    r = RunConverter(dir, {});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("no input files"), std::string::npos);
    EXPECT_EQ(RunConverter(dir, {"-f", "gif", "x.heic"}).exitCode, 2);
    EXPECT_EQ(RunConverter(dir, {"--worker", "only-input.heic"}).exitCode, 2);
}

TEST(CliProcess, ConvertsEachFileAndSummarises) {
    TempDir dir;
    const std::string good = dir.File("good.heic");
    ASSERT_EQ(WriteHeic(good, HeicImageSpec()), "");
    std::ofstream(dir.File("bad.heic")) << "not an image";
    std::filesystem::create_directory(dir.File("out"));

    ProcessResult r = RunConverter(dir, {good, "-f", "png", "-o", dir.File("out")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "OK  " + good + " -> " + dir.File("out/good.png") + "\n");
    DecodedImage image;
    EXPECT_EQ(ReadPng(dir.File("out/good.png"), &image), "");

    r = RunConverter(dir, {good, dir.File("bad.heic"), "-q", "50"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out.rfind("OK  " + good + " -> " + dir.File("good.jpg") + "\nFAILED " +
                              dir.File("bad.heic") + ": Could not read HEIF file: ",
                          0),
              0u)
        << r.out;
    EXPECT_TRUE(std::filesystem::exists(dir.File("good.jpg")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("bad.jpg")));
}

TEST(CliProcess, WorkerModeReportsThroughStreamsAndExitCode) {
    TempDir dir;
    const std::string good = dir.File("good.heic");
    ASSERT_EQ(WriteHeic(good, HeicImageSpec()), "");
    const std::string out = dir.File("any-name.bin");
    ProcessResult r = RunConverter(
        dir, {"--worker", "--format", "bmp", "--quality", "90", "--exif", "1", good, out});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "Written to " + out + "\n");
    EXPECT_EQ(r.err, "");
    DecodedImage image;
    EXPECT_EQ(ReadBmp(out, &image), "");

    r = RunConverter(dir, {"--worker", "--format", "jpg", "--quality", "90", "--exif", "1",
                           dir.File("none.heic"), out});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("Could not read HEIF file: ", 0), 0u) << r.err;

    r = RunConverter(dir,
                     {"--worker", "--format", "webp", "--quality", "90", "--exif", "1", good, out});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Unknown output format: webp\n");
}

TEST(CliProcess, FullDiskKeepsTheEarlierFileAndLeavesNoTemporaryFile) {
    TempDir dir;
    const std::string good = dir.File("good.heic");
    HeicImageSpec spec;
    spec.width = 256;
    spec.height = 256;
    ASSERT_EQ(WriteHeic(good, spec), "");
    for (const char* format : {"jpg", "png", "bmp"}) {
        SCOPED_TRACE(format);
        const std::string out = dir.File(std::string("photo.") + format);
        std::ofstream(out) << "earlier";
        const ProcessResult r = RunConverter(
            dir, {"--worker", "--format", format, "--quality", "90", "--exif", "1", good, out},
            300);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, "");
        // libjpeg flushes the stream itself and reports in its own words.
        const std::string reason = std::string(format) == "jpg"
                                       ? "Output file write error --- out of disk space?\n"
                                       : "Error writing " + out + ": File too large\n";
        EXPECT_EQ(r.err, reason + "could not write image\n");
        EXPECT_EQ(ReadText(out), "earlier");
    }
    EXPECT_EQ(EntryCount(dir.Path()), 4u) << "only the input and the three earlier files";
}

} // namespace
} // namespace velquist::test
