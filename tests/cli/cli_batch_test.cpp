#include "cli_test_util.h"
#include "support/heic_fixture.h"
#include "support/image_readers.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>

namespace velquist::test {
namespace {

namespace fs = std::filesystem;

// A shell script standing in for the worker: inputs whose names contain "crash" kill it
// with SIGSEGV, everything else goes to the real worker.
std::string CrashingWorker(const TempDir& dir) {
    return RequestWatchingWorker(dir, "crashing-worker.sh", "*crash*", "kill -SEGV $$");
}

TEST(CliBatch, MixedBatchConvertsEveryGoodFileAndFailsEveryBadOneWithItsReason) {
    TempDir dir;
    const std::string good1 = MakeHeic(dir, "in/good1.heic");
    const std::string good2 = MakeHeic(dir, "in/good2.HEIC", 80);
    WriteText(dir.File("in/empty.heic"), "");
    const std::string whole = ReadText(good1);
    WriteText(dir.File("in/truncated.heic"), whole.substr(0, whole.size() / 2));
    MakeHeic(dir, "in/crash-me.heic");
    // A JPEG that only carries a HEIC name.
    ASSERT_EQ(
        RunWorker(dir, WorkerRequest(OutputFormat::kJpg, good1, dir.File("in/jpeg-inside.heic")))
            .exitCode,
        0);

    const ProcessResult r = RunConverter(
        dir, {"-o", dir.File("out"), "--worker-command", CrashingWorker(dir), dir.File("in")});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "2 of 6 files converted")) << r.out;
    EXPECT_TRUE(Has(r.out, "; 4 failed:\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "  " + dir.File("in/empty.heic") + ": ")) << r.out;
    EXPECT_TRUE(Has(r.out, "  " + dir.File("in/truncated.heic") + ": ")) << r.out;
    EXPECT_TRUE(Has(r.out, "  " + dir.File("in/jpeg-inside.heic") + ": ")) << r.out;
    EXPECT_TRUE(Has(r.out, "  " + dir.File("in/crash-me.heic") +
                               ": worker killed by signal 11 (Segmentation fault)"))
        << r.out;
    // Not a terminal: one line per file, nothing of the engine's own bookkeeping.
    EXPECT_TRUE(Has(r.out, "OK  " + good1 + " -> " + dir.File("out/good1.jpg") + "\n"));
    EXPECT_TRUE(Has(r.out, "OK  " + good2 + " -> " + dir.File("out/good2.jpg") + "\n"));
    EXPECT_FALSE(Has(r.out, "task_id")) << r.out;
    EXPECT_FALSE(Has(r.out, "ImageConvert")) << r.out;
    EXPECT_FALSE(Has(r.out, "Written to")) << r.out;
    EXPECT_EQ(r.err, "");

    DecodedImage image;
    EXPECT_EQ(ReadJpeg(dir.File("out/good1.jpg"), &image), "");
    EXPECT_EQ(ReadJpeg(dir.File("out/good2.jpg"), &image), "");
    EXPECT_EQ(image.width, 80);
    EXPECT_EQ(EntryCount(dir.File("out")), 2u);
}

TEST(CliBatch, VerboseLetsTheWorkersDiagnosticsThrough) {
    TempDir dir;
    WriteText(dir.File("in/bad.heic"), "not a photo at all");
    const ProcessResult r = RunConverter(dir, {"-v", dir.File("in/bad.heic")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "Could not read HEIF file")) << r.err;
    EXPECT_FALSE(Has(r.out, "task_id")) << r.out;
}

TEST(CliBatch, FolderScanTakesHeifNamesOnlyAndGoesDeeperWithR) {
    TempDir dir;
    MakeHeic(dir, "photos/a.heic");
    MakeHeic(dir, "photos/b.HEIF");
    WriteText(dir.File("photos/notes.txt"), "x");
    WriteText(dir.File("photos/c.Heic"), "not matched: the name rule is exact");
    MakeHeic(dir, "photos/sub/d.heic");
    ::mkfifo(dir.File("photos/pipe.heic").c_str(), 0600);

    ProcessResult r = RunConverter(dir, {"-f", "png", dir.File("photos")});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "2 of 2 files converted")) << r.out;
    // Without -o and without a saved folder each output lands beside its input.
    EXPECT_TRUE(fs::exists(dir.File("photos/a.png")));
    EXPECT_TRUE(fs::exists(dir.File("photos/b.png")));
    EXPECT_FALSE(fs::exists(dir.File("photos/sub/d.png")));

    // A link back up the tree is not followed.
    fs::create_directory_symlink(dir.File("photos"), dir.File("photos/sub/loop"));
    r = RunConverter(dir, {"-r", "-f", "bmp", dir.File("photos")});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "3 of 3 files converted")) << r.out;
    DecodedImage image;
    EXPECT_EQ(ReadBmp(dir.File("photos/sub/d.bmp"), &image), "");
    EXPECT_TRUE(fs::exists(dir.File("photos/a.bmp")));

    // A file named on the command line is taken whatever its name.
    fs::copy_file(dir.File("photos/a.heic"), dir.File("photos/renamed.dat"));
    r = RunConverter(dir, {dir.File("photos/renamed.dat")});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_TRUE(fs::exists(dir.File("photos/renamed.jpg")));

    fs::create_directories(dir.File("empty"));
    r = RunConverter(dir, {dir.File("empty")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "No HEIF files found.\n");
}

TEST(CliBatch, DuplicateBaseNamesGetNumberedInsteadOfOverwritten) {
    TempDir dir;
    MakeHeic(dir, "one/photo.heic", 40);
    MakeHeic(dir, "two/photo.heic", 56);
    MakeHeic(dir, "two/photo.HEIF", 72);
    const ProcessResult r =
        RunConverter(dir, {"-o", dir.File("out"), dir.File("one"), dir.File("two/photo.heic"),
                           dir.File("two/photo.HEIF"), dir.File("one/./photo.heic")});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    // The same file named twice is converted once.
    EXPECT_TRUE(Has(r.out, "3 of 3 files converted")) << r.out;
    std::set<int> widths;
    for (const char* name : {"out/photo.jpg", "out/photo (2).jpg", "out/photo (3).jpg"}) {
        DecodedImage image;
        EXPECT_EQ(ReadJpeg(dir.File(name), &image), "") << name;
        widths.insert(image.width);
    }
    EXPECT_EQ(widths, (std::set<int>{40, 56, 72}));

    // Beside the inputs as well.
    const ProcessResult beside = RunConverter(dir, {"-f", "png", dir.File("two")});
    EXPECT_EQ(beside.exitCode, 0);
    EXPECT_TRUE(fs::exists(dir.File("two/photo.png")));
    EXPECT_TRUE(fs::exists(dir.File("two/photo (2).png")));
}

TEST(CliBatch, UnsetOptionsFallBackToTheSavedSettingsThenToTheDefaults) {
    TempDir dir;
    const std::string photo = MakeHeic(dir, "in/photo.heic");
    SaveSettings(dir, "[Global]\nImage-Format = png\nimage-exif=0\noutput-dir= " +
                          dir.File("saved out") + " \n");
    ProcessResult r = RunConverter(dir, {photo});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    DecodedImage image;
    EXPECT_EQ(ReadPng(dir.File("saved out/photo.png"), &image), "");

    // The command line wins over what is saved.
    r = RunConverter(dir, {"-f", "bmp", "-o", dir.File("cli out"), photo});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(ReadBmp(dir.File("cli out/photo.bmp"), &image), "");

    // Values the window never writes are ignored in favour of the defaults.
    SaveSettings(dir, "[global]\nimage-format=gif\nimage-quality=5\noutput-dir=\n");
    r = RunConverter(dir, {photo});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(ReadJpeg(dir.File("in/photo.jpg"), &image), "");
}

TEST(CliBatch, UsageErrorsExitTwoWithOneLine) {
    TempDir dir;
    const std::string photo = MakeHeic(dir, "in/photo.heic");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"--bogus", photo},
             {"-f", "gif", photo},
             {"-q", "5", photo},
             {"-j", "0", photo},
             {photo, dir.File("in/missing.heic")},
             {"-o", dir.File("in/photo.heic/out"), photo},
         }) {
        const ProcessResult r = RunConverter(dir, args);
        EXPECT_EQ(r.exitCode, 2) << ::testing::PrintToString(args);
        EXPECT_EQ(LineCount(r.err), 1u) << r.err;
        EXPECT_EQ(r.out, "");
    }
    // Nothing was converted while a named path was missing.
    EXPECT_FALSE(fs::exists(dir.File("in/photo.jpg")));

    const ProcessResult help = RunConverter(dir, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* documented : {"-f FORMAT", "-q N", "--exif", "--no-exif", "-o DIR", "-r",
                                   "-j N", "configure.ini", "beside its input", "Exit status"}) {
        EXPECT_TRUE(Has(help.out, documented)) << documented;
    }
}

// The worker marks its run with a folder that only one process can create at a time.
std::string OverlapDetectingWorker(const TempDir& dir) {
    const std::string path = dir.File("overlap-worker.sh");
    WriteText(path, "#!/bin/sh\n"
                    "mkdir '" +
                        dir.File("running") + "' 2>/dev/null || echo overlap >> '" +
                        dir.File("overlaps") +
                        "'\n"
                        "sleep 0.1\n"
                        "rmdir '" +
                        dir.File("running") +
                        "' 2>/dev/null\n"
                        "exec '" +
                        VELQUIST_CONVERT_BIN + "' \"$@\"\n");
    ::chmod(path.c_str(), 0755);
    return path;
}

TEST(CliBatch, JobsLimitHoldsAndLargerValuesAreReducedWithANotice) {
    TempDir dir;
    for (const char* name : {"in/a.heic", "in/b.heic", "in/c.heic", "in/d.heic"}) {
        MakeHeic(dir, name, 16);
    }
    ProcessResult r = RunConverter(
        dir, {"-j", "1", "--worker-command", OverlapDetectingWorker(dir), dir.File("in")});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_FALSE(fs::exists(dir.File("overlaps"))) << ReadText(dir.File("overlaps"));

    r = RunConverter(dir, {"-j", "16", "-f", "png", dir.File("in")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, std::string(VELQUIST_CONVERT_BIN) +
                         ": -j reduced to 3, the most files converted at once\n");
    EXPECT_TRUE(fs::exists(dir.File("in/d.png")));
}

} // namespace
} // namespace velquist::test
