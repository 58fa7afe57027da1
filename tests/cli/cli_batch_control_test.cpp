#include "cli/retry_list.h"
#include "cli_test_util.h"
#include "support/heic_fixture.h"
#include "support/image_readers.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velquist::test {
namespace {

namespace fs = std::filesystem;

std::time_t ModifiedAt(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mtime : 0;
}

// The command line the run printed for a retry, split back into its arguments (each
// single-quoted, a quote inside written as '\'').
std::vector<std::string> PrintedRetry(const std::string& out) {
    const auto intro = out.find("again, run:\n  ");
    if (intro == std::string::npos) {
        return {};
    }
    const std::string line = out.substr(intro + 14, out.find('\n', intro + 14) - intro - 14);
    std::vector<std::string> args;
    std::string current;
    bool quoted = false;
    bool inArg = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '\'') {
                quoted = false;
            } else {
                current += c;
            }
        } else if (c == '\'') {
            quoted = inArg = true;
        } else if (c == '\\' && i + 1 < line.size()) {
            current += line[++i];
        } else if (c == ' ') {
            if (inArg) {
                args.push_back(current);
            }
            current.clear();
            inArg = false;
        } else {
            current += c;
            inArg = true;
        }
    }
    if (inArg) {
        args.push_back(current);
    }
    return args;
}

TEST(CliBatchControl, FailedFilesAreListedLosslesslyAndRetriedExactly) {
    TempDir dir;
    const std::string good = MakeHeic(dir, "in/good.heic");
    // A name with a quote and bytes that are not UTF-8 must survive the list and the shell.
    const std::string bad = dir.File("in/bad'\xff\xfe.heic");
    WriteText(bad, "not a photo");
    const std::string out = dir.File("out");
    ProcessResult r = RunConverter(dir, {"-o", out, "-q", "80", good, bad});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "To convert the 1 file not converted again, run:")) << r.out;
    const std::vector<std::string> retry = PrintedRetry(r.out);
    ASSERT_EQ(retry.size(), 7u) << r.out;
    EXPECT_EQ(std::vector<std::string>(retry.begin() + 1, retry.begin() + 5),
              (std::vector<std::string>{"-o", out, "-q", "80"}));
    EXPECT_EQ(retry[5], "--retry-from");
    const std::string list = retry[6];
    EXPECT_EQ(ReadText(list), std::string("velquist-retry-1\0", 17) + bad + std::string("\0\0", 2));

    // The photo is put right; the retry converts it and nothing else.
    fs::remove(out + "/good.jpg");
    fs::copy_file(good, bad, fs::copy_options::overwrite_existing);
    r = RunConverter(dir, {"-o", out, "-q", "80", "--retry-from", list});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "1 of 1 files converted")) << r.out;
    EXPECT_TRUE(IsJpeg(out + "/bad'\xff\xfe.jpg"));
    EXPECT_FALSE(fs::exists(out + "/good.jpg"));
    EXPECT_FALSE(Has(r.out, "again, run:")) << "nothing left to retry";
}

// A tmpfs of a few pages mounted below dir: a disk that fills up for real.
class SmallDisk {
  public:
    explicit SmallDisk(const TempDir& dir) : path_(dir.File("small")) {
        fs::create_directories(path_);
        if (::geteuid() != 0) {
            why_ = "needs root to mount a small tmpfs";
        } else if (::mount("tmpfs", path_.c_str(), "tmpfs", 0, "size=16k") != 0) {
            why_ = "cannot mount a tmpfs here";
        }
    }
    ~SmallDisk() {
        if (why_.empty()) {
            ::umount2(path_.c_str(), MNT_DETACH);
        }
    }
    const std::string& WhyNot() const { return why_; }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    std::string why_;
};

TEST(CliBatchControl, AFullDiskEndsTheRunWithOneLineAndTheRestWaits) {
    TempDir dir;
    const SmallDisk disk(dir);
    if (!disk.WhyNot().empty()) {
        GTEST_SKIP() << disk.WhyNot();
    }
    std::vector<std::string> args{"-o", disk.Path()};
    for (int i = 0; i < 6; ++i) {
        args.push_back(MakeHeic(dir, "in/photo" + std::to_string(i) + ".heic", 512));
    }
    const ProcessResult r = RunConverter(dir, args);
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    const std::string halt = "stopped: no space left on the output disk\n";
    ASSERT_TRUE(Has(r.err, halt)) << r.err;
    EXPECT_EQ(r.err.find(halt), r.err.rfind(halt)) << "said once";
    // One file met the full disk; those beside it and after it wait for the retry.
    EXPECT_TRUE(Has(r.out, "; 1 failed:\n")) << r.out;
    EXPECT_EQ(r.out.find("FAILED "), r.out.rfind("FAILED ")) << r.out;
    const std::size_t written = EntryCount(disk.Path());
    EXPECT_TRUE(Has(r.out, "stopped, " + std::to_string(5 - written) + " not converted")) << r.out;
    EXPECT_TRUE(Has(r.out, "To convert the " + std::to_string(6 - written) + " files")) << r.out;
}

TEST(CliBatchControl, RetryListsThatAreNotOursOrLeadOutsideAreRefused) {
    TempDir dir;
    const std::string photo = MakeHeic(dir, "in/a.heic");
    const std::string list = dir.File("list");
    const std::string marker("velquist-retry-1\0", 17);
    const std::string cases[] = {
        photo + std::string("\0\0", 2),                              // no marker
        marker + photo + std::string("\0", 1),                       // half an entry
        marker + photo + std::string("\0../up\0", 7),                // leads out
        marker + photo + std::string("\0/abs\0", 6),                 // absolute
        marker + photo + std::string("\0a\0", 3) + "trailing bytes", // unterminated
    };
    for (const std::string& text : cases) {
        WriteText(list, text);
        const ProcessResult r = RunConverter(dir, {"-o", dir.File("out"), "--retry-from", list});
        EXPECT_EQ(r.exitCode, 2) << r.out << r.err;
        EXPECT_TRUE(Has(r.err, "is not a list of files to retry")) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir.File("up")));
    EXPECT_FALSE(fs::exists(dir.File("out/a.jpg")));

    std::string error;
    EXPECT_FALSE(ReadRetryList(dir.File("missing"), &error));
    EXPECT_TRUE(Has(error, "cannot read")) << error;
}

TEST(CliBatchControl, ExistingOutputsAreOverwrittenSkippedOrKeptByChoiceOrSetting) {
    TempDir dir;
    const std::string photo = MakeHeic(dir, "in/a.heic");
    const std::string out = dir.File("out");
    fs::create_directories(out);

    WriteText(out + "/a.jpg", "earlier");
    ProcessResult r = RunConverter(dir, {"-o", out, "--existing", "skip", photo});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "SKIPPED " + photo + ": " + out + "/a.jpg exists")) << r.out;
    EXPECT_TRUE(Has(r.out, "0 of 1 files converted")) << r.out;
    EXPECT_TRUE(Has(r.out, "1 skipped (output exists)")) << r.out;
    EXPECT_FALSE(Has(r.out, "again, run:")) << "a skipped file is done";
    EXPECT_EQ(ReadText(out + "/a.jpg"), "earlier");

    r = RunConverter(dir, {"-o", out, "--existing", "rename", photo});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(ReadText(out + "/a.jpg"), "earlier");
    EXPECT_TRUE(IsJpeg(out + "/a (2).jpg"));

    // The saved choice applies when none is given; the option wins over it.
    WriteText(dir.File("home/.local/share/Morvane/Config/configure.ini"),
              "[global]\nexisting-file=rename\n");
    r = RunConverter(dir, {"-o", out, photo});
    EXPECT_TRUE(IsJpeg(out + "/a (3).jpg")) << r.out << r.err;
    r = RunConverter(dir, {"-o", out, "--existing", "overwrite", photo});
    EXPECT_TRUE(IsJpeg(out + "/a.jpg")) << r.out << r.err;
    EXPECT_FALSE(fs::exists(out + "/a (4).jpg"));

    r = RunConverter(dir, {"-o", out, "--existing", "ask", photo});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(Has(r.err, "--existing needs overwrite, skip or rename")) << r.err;
}

TEST(CliBatchControl, OutputsCarryTheCaptureDateUnlessTurnedOff) {
    TempDir dir;
    HeicImageSpec spec;
    // 2021-07-08 09:10:11 at +02:00
    spec.exif = {'I', 'I', 42,   0,    8, 0, 0, 0, 1, 0,    0x69, 0x87, 4, 0,  1, 0, 0, 0,  26,
                 0,   0,   0,    0,    0, 0, 0, 2, 0, 0x03, 0x90, 2,    0, 20, 0, 0, 0, 56, 0,
                 0,   0,   0x11, 0x90, 2, 0, 7, 0, 0, 0,    76,   0,    0, 0,  0, 0, 0, 0};
    for (const char c : std::string("2021:07:08 09:10:11") + '\0') {
        spec.exif.push_back(static_cast<uint8_t>(c));
    }
    for (const char c : std::string("+02:00") + '\0') {
        spec.exif.push_back(static_cast<uint8_t>(c));
    }
    const std::string photo = MakeHeic(dir, "in/dated.heic", spec);
    const std::time_t taken = 1625728211; // 07:10:11 UTC

    ProcessResult r = RunConverter(dir, {"-o", dir.File("kept"), photo});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(ModifiedAt(dir.File("kept/dated.jpg")), taken);

    r = RunConverter(dir, {"-o", dir.File("now"), "--no-keep-date", photo});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_GT(ModifiedAt(dir.File("now/dated.jpg")), taken + 86400);

    WriteText(dir.File("home/.local/share/Morvane/Config/configure.ini"),
              "[global]\nkeep-date=0\n");
    r = RunConverter(dir, {"-o", dir.File("saved"), photo});
    EXPECT_GT(ModifiedAt(dir.File("saved/dated.jpg")), taken + 86400);
    r = RunConverter(dir, {"-o", dir.File("asked"), "--keep-date", photo});
    EXPECT_EQ(ModifiedAt(dir.File("asked/dated.jpg")), taken);
}

TEST(CliBatchControl, RecursiveFoldersAreMirroredAndNamedFilesGoFlat) {
    TempDir dir;
    MakeHeic(dir, "Phone/2023/IMG_1.heic");
    MakeHeic(dir, "Phone/2024/May/IMG_1.heic");
    MakeHeic(dir, "Phone/top.heic");
    const std::string single = MakeHeic(dir, "Other/deep/IMG_1.heic");
    const std::string out = dir.File("OUT");
    ProcessResult r = RunConverter(dir, {"-r", "-o", out, dir.File("Phone/"), single});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(IsJpeg(out + "/2023/IMG_1.jpg"));
    EXPECT_TRUE(IsJpeg(out + "/2024/May/IMG_1.jpg"));
    EXPECT_TRUE(IsJpeg(out + "/top.jpg"));
    EXPECT_TRUE(IsJpeg(out + "/IMG_1.jpg")) << "a named file goes flat";
    EXPECT_FALSE(fs::exists(out + "/2023/IMG_1 (2).jpg"));

    // Without an output folder every output lands beside its input, as before.
    r = RunConverter(dir, {"-r", dir.File("Phone")});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(IsJpeg(dir.File("Phone/2024/May/IMG_1.jpg")));
}

} // namespace
} // namespace velquist::test
