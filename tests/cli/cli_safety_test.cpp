#include "cli_test_util.h"
#include "convert/atomic_output_file.h"
#include "support/heic_fixture.h"
#include "support/image_readers.h"
#include "support/temp_dir.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace velquist::test {
namespace {

namespace fs = std::filesystem;

TEST(CliSafety, NoOutputIsWrittenOverAnInputOfTheRun) {
    TempDir dir;
    MakeHeic(dir, "a.heic", 40);
    MakeHeic(dir, "a.jpg", 56); // a HEIF photo with a JPEG name, as phones do
    MakeHeic(dir, "b.heic", 72);
    MakeHeic(dir, "c.heic", 88);
    const std::string before = ReadText(dir.File("a.jpg"));
    ASSERT_EQ(::link(dir.File("a.heic").c_str(), dir.File("b.jpg").c_str()), 0);
    ASSERT_EQ(::symlink(dir.File("a.jpg").c_str(), dir.File("c.jpg").c_str()), 0);

    const ProcessResult r = RunConverter(dir, {"-f", "jpg", dir.File("a.heic"), dir.File("a.jpg"),
                                               dir.File("b.heic"), dir.File("./c.heic")});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(ReadText(dir.File("a.jpg")), before) << "the second photo is still there";
    EXPECT_EQ(JpegWidth(dir.File("a (2).jpg")), 40);
    EXPECT_EQ(JpegWidth(dir.File("a (3).jpg")), 56);
    EXPECT_EQ(JpegWidth(dir.File("b (2).jpg")), 72) << "b.jpg is a hard link to an input";
    EXPECT_EQ(JpegWidth(dir.File("c (2).jpg")), 88) << "c.jpg is a link to an input";
    EXPECT_EQ(ReadText(dir.File("b.jpg")), ReadText(dir.File("a.heic")));
}

TEST(CliSafety, FileNamesThatAreNotUtf8AreConvertedAsTheirBytes) {
    TempDir dir;
    // Two names that differ only in bytes no UTF-8 decoder accepts, in a folder...
    MakeHeic(dir, "in/x\xFF.heic", 40);
    MakeHeic(dir, "in/x\xFE.heic", 56);
    MakeHeic(dir, "in/lone\x80.heic", 64);
    MakeHeic(dir, "in/over\xC0\xAF.heic", 72);
    // ...and on the command line, beside the file its lossy decoding would name.
    MakeHeic(dir, "args/bad\xFF\xFE.heic", 80);
    MakeHeic(dir, "args/bad\xEF\xBF\xBD\xEF\xBF\xBD.heic", 96);

    const ProcessResult r = RunConverter(
        dir, {"-o", dir.File("out"), dir.File("in"), dir.File("args/bad\xFF\xFE.heic")});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "5 of 5 files converted")) << r.out;
    EXPECT_EQ(JpegWidth(dir.File("out/x\xFF.jpg")), 40);
    EXPECT_EQ(JpegWidth(dir.File("out/x\xFE.jpg")), 56);
    EXPECT_EQ(JpegWidth(dir.File("out/lone\x80.jpg")), 64);
    EXPECT_EQ(JpegWidth(dir.File("out/over\xC0\xAF.jpg")), 72);
    EXPECT_EQ(JpegWidth(dir.File("out/bad\xFF\xFE.jpg")), 80);
    EXPECT_FALSE(fs::exists(dir.File("out/bad\xEF\xBF\xBD\xEF\xBF\xBD.jpg")));
}

TEST(CliSafety, DoubleDashEndsOptionsAndVersionIsAnswered) {
    TempDir dir;
    MakeHeic(dir, "-x.heic");
    const pid_t pid = StartConverter(dir, {"--", "-x.heic"}, 0, {}, dir.Path());
    const ProcessResult r = FinishConverter(dir, pid);
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(JpegWidth(dir.File("-x.jpg")), 64);

    const ProcessResult version = RunConverter(dir, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("velquist-convert ", 0), 0u) << version.out;
    EXPECT_EQ(version.err, "");
}

// A file built to hang a header reader: after ftyp, a 64-bit box size that wraps around
// to the start of the file. It fails on its own; the photos beside it convert.
TEST(CliSafety, FileBuiltToHangTheReaderFailsAloneAndTheOthersConvert) {
    TempDir dir;
    const std::string loop = std::string("\0\0\0\x18"
                                         "ftypheic\0\0\0\0mif1heic\0\0\0\x01"
                                         "free",
                                         32) +
                             std::string(7, '\xFF') + '\xE8';
    WriteText(dir.File("loop.heic"), loop);
    const ProcessResult r = RunConverter(dir, {"-o", dir.File("out"), MakeHeic(dir, "a.heic", 40),
                                               dir.File("loop.heic"), MakeHeic(dir, "b.heic", 56)});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "2 of 3 files converted")) << r.out;
    EXPECT_TRUE(Has(r.out, "FAILED ")) << r.out;
    EXPECT_EQ(JpegWidth(dir.File("out/a.jpg")), 40);
    EXPECT_EQ(JpegWidth(dir.File("out/b.jpg")), 56);
}

// Files whose names hold "slow" make the worker wait first, so the run is still busy when
// the signal comes.
std::string SlowWorker(const TempDir& dir) {
    return RequestWatchingWorker(dir, "slow-worker.sh", "*slow*",
                                 "touch '" + dir.File("started") + "'; sleep 30");
}

TEST(CliSafety, TermAndInterruptStopTheRunWithASummary) {
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        TempDir dir;
        std::vector<std::string> args = {"-o", dir.File("out"), "--worker-command",
                                         SlowWorker(dir)};
        for (int i = 0; i < 5; ++i) {
            args.push_back(MakeHeic(dir, "in/slow" + std::to_string(i) + ".heic"));
        }
        const pid_t pid = StartConverter(dir, args);
        // The signal comes once a worker holds a file, which it would keep for long.
        for (int i = 0; i < 4000 && !fs::exists(dir.File("started")); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ::kill(pid, signal);
        const ProcessResult r = FinishConverter(dir, pid);
        EXPECT_EQ(r.exitCode, 128 + signal) << r.out << r.err;
        EXPECT_TRUE(Has(r.out, "0 of 5 files converted")) << r.out;
        // The three running files were interrupted, the two waiting ones never started:
        // none of them failed, and all five are offered again.
        EXPECT_TRUE(Has(r.out, "stopped, 5 not converted")) << r.out;
        EXPECT_TRUE(Has(r.out, "STOPPED ")) << r.out;
        EXPECT_FALSE(Has(r.out, "failed")) << r.out;
        EXPECT_TRUE(Has(r.out, "To convert the 5 files not converted again, run:")) << r.out;
        EXPECT_EQ(EntryCount(dir.File("out")), 0u);
    }
}

// The open descriptor of the worker that points into folder, if any.
bool WritesInto(pid_t pid, const std::string& folder) {
    std::error_code error;
    for (const auto& entry :
         fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        std::error_code linkError;
        const std::string target = fs::read_symlink(entry.path(), linkError).string();
        if (!linkError && target.rfind(folder + "/", 0) == 0 && !Has(target, ".heic")) {
            return true;
        }
    }
    return false;
}

// True once pid has ended (a zombie waiting to be reaped counts).
bool HasEnded(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) {
        return true;
    }
    const std::size_t close = line.rfind(')');
    return close == std::string::npos || close + 2 >= line.size() || line[close + 2] == 'Z';
}

TEST(CliSafety, WorkerKilledMidWriteLeavesNothingBehind) {
    TempDir dir;
    HeicImageSpec spec;
    spec.width = 1536;
    spec.height = 1024;
    const std::string photo = MakeHeic(dir, "in/photo.heic", spec);
    for (const char* format : {"png", "bmp", "jpg"}) {
        SCOPED_TRACE(format);
        const std::string out = dir.File(std::string("in/photo.") + format);
        const std::vector<std::string> request =
            WorkerRequest(*ParseOutputFormat(format), photo, out);
        // A worker may finish before it is seen writing; then it is tried again.
        bool caught = false;
        for (int attempt = 0; attempt < 5 && !caught; ++attempt) {
            const pid_t pid = StartWorker(dir, request);
            while (!caught && !HasEnded(pid)) {
                caught = WritesInto(pid, dir.File("in"));
                std::this_thread::yield();
            }
            ::kill(pid, SIGKILL);
            FinishConverter(dir, pid);
            // The kill may come just after the output was linked into place: then it is
            // the whole file, byte for byte what an undisturbed run writes.
            if (fs::exists(out)) {
                const std::string reference = dir.File(std::string("whole.") + format);
                RunWorker(dir, WorkerRequest(*ParseOutputFormat(format), photo, reference));
                EXPECT_EQ(ReadText(out), ReadText(reference)) << "a partial output was left";
                fs::remove(out);
                fs::remove(reference);
            }
            // A kill between naming the finished file and moving it over the target leaves
            // a temporary name that says whose it was; the next run takes it away.
            for (const auto& entry : fs::directory_iterator(dir.File("in"))) {
                const std::string name = entry.path().filename().string();
                EXPECT_TRUE(name == "photo.heic" || (name.rfind(".vq-", 0) == 0 &&
                                                     Has(name, ".tmp")))
                    << name;
            }
            SweepFolderTemporaryFiles(dir.File("in"), std::chrono::seconds(0));
            EXPECT_EQ(EntryCount(dir.File("in")), 1u) << "only the photo itself";
        }
        EXPECT_TRUE(caught) << "the worker was never seen with its output open";
    }
}

} // namespace
} // namespace velquist::test
