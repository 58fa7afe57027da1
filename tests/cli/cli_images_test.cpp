#include "cli_test_util.h"
#include "support/heic_fixture.h"
#include "support/image_readers.h"
#include "support/testdata.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <set>

namespace velquist::test {
namespace {

namespace fs = std::filesystem;

bool HaveExiftool() {
    return std::system("exiftool -ver >/dev/null 2>&1") == 0;
}

// Every metadata tag exiftool finds in the file, as "-Group:Tag=value".
std::set<std::string> ExiftoolTags(const std::string& path) {
    const std::string command = "exiftool -a -G1 -n -args -all '" + path + "' 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    std::set<std::string> tags;
    char line[4096];
    while (pipe && std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        if (text.rfind("-System:", 0) != 0 && text.rfind("-ExifTool:", 0) != 0) {
            tags.insert(text);
        }
    }
    return tags;
}

size_t CountWithPrefix(const std::set<std::string>& tags, const std::string& prefix) {
    size_t n = 0;
    for (const std::string& tag : tags) {
        n += tag.rfind(prefix, 0) == 0 ? 1 : 0;
    }
    return n;
}

TEST(CliImages, StripLocationKeepsEveryOtherTagOfARealPhotoInJpegAndPng) {
    VELQUIST_REQUIRE_HEIC_TESTDATA();
    if (!HaveExiftool()) {
        GTEST_SKIP() << "exiftool is not installed (libimage-exiftool-perl)";
    }
    TempDir dir;
    const std::string input = HeicTestdataFile("mde_IMG_1034.heic");
    for (const char* format : {"jpg", "png"}) {
        SCOPED_TRACE(format);
        const std::string kept = dir.File(std::string("kept/") + "mde_IMG_1034." + format);
        const std::string strippedOut = dir.File(std::string("strip/") + "mde_IMG_1034." + format);
        ProcessResult r = RunConverter(dir, {"-f", format, "-o", dir.File("kept"), input});
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
        r = RunConverter(dir, {"-f", format, "--strip-location", "-o", dir.File("strip"), input});
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;

        const std::set<std::string> withGps = ExiftoolTags(kept);
        const std::set<std::string> without = ExiftoolTags(strippedOut);
        ASSERT_GT(CountWithPrefix(withGps, "-GPS:"), 5u) << "the photo should carry a location";
        EXPECT_EQ(CountWithPrefix(without, "-GPS:"), 0u);
        // The camera, the exposure and the time are still there, word for word.
        for (const char* prefix : {"-IFD0:Make=", "-IFD0:Model=", "-ExifIFD:ExposureTime=",
                                   "-ExifIFD:DateTimeOriginal="}) {
            EXPECT_EQ(CountWithPrefix(without, prefix), 1u) << prefix;
        }
        std::set<std::string> expected;
        for (const std::string& tag : withGps) {
            if (tag.rfind("-GPS:", 0) != 0 && tag.rfind("-Composite:GPS", 0) != 0) {
                expected.insert(tag);
            }
        }
        std::set<std::string> got;
        for (const std::string& tag : without) {
            if (tag.rfind("-File:", 0) != 0 && tag.rfind("-Composite:", 0) != 0) {
                got.insert(tag);
            }
        }
        for (auto it = expected.begin(); it != expected.end();) {
            it = it->rfind("-File:", 0) == 0 || it->rfind("-Composite:", 0) == 0
                     ? expected.erase(it)
                     : std::next(it);
        }
        EXPECT_EQ(got, expected);
    }
}

TEST(CliImages, SavedSwitchesApplyAndTheCommandLineOverridesThem) {
    VELQUIST_REQUIRE_HEIC_TESTDATA();
    if (!HaveExiftool()) {
        GTEST_SKIP() << "exiftool is not installed (libimage-exiftool-perl)";
    }
    TempDir dir;
    const std::string input = HeicTestdataFile("mde_IMG_1034.heic");
    SaveSettings(dir, "[global]\nimage-strip-location=1\n");
    ProcessResult r = RunConverter(dir, {"-o", dir.File("saved"), input});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(CountWithPrefix(ExiftoolTags(dir.File("saved/mde_IMG_1034.jpg")), "-GPS:"), 0u);
    r = RunConverter(dir, {"--keep-location", "-o", dir.File("kept"), input});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_GT(CountWithPrefix(ExiftoolTags(dir.File("kept/mde_IMG_1034.jpg")), "-GPS:"), 0u);
    // Without Exif there is nothing to strip: no Exif at all.
    r = RunConverter(dir, {"--no-exif", "-o", dir.File("none"), input});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(CountWithPrefix(ExiftoolTags(dir.File("none/mde_IMG_1034.jpg")), "-IFD0:"), 0u);
}

std::set<std::string> Entries(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

TEST(CliImages, AllImagesWritesEveryTopLevelImageOfRealFilesInOrder) {
    VELQUIST_REQUIRE_HEIC_TESTDATA();
    TempDir dir;
    const ProcessResult r = RunConverter(
        dir, {"--all-images", "-o", dir.File("out"), HeicTestdataFile("nokia_C004.heic"),
              HeicTestdataFile("nokia_C013.heic"), HeicTestdataFile("nokia_C034.heic")});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    std::set<std::string> expected = {"nokia_C004.jpg", "nokia_C013.jpg", "nokia_C013-2.jpg",
                                      "nokia_C034.jpg"};
    for (int i = 2; i <= 10; ++i) {
        expected.insert("nokia_C004-" + std::to_string(i) + ".jpg");
    }
    EXPECT_EQ(Entries(dir.File("out")), expected);
    for (const std::string& name : expected) {
        EXPECT_GT(JpegWidth(dir.File("out/" + name)), 0) << name;
    }
    EXPECT_NE(ReadText(dir.File("out/nokia_C004-2.jpg")), ReadText(dir.File("out/nokia_C004.jpg")));

    // Off by default and when saved off: the primary alone.
    SaveSettings(dir, "[global]\nimage-all-images=0\n");
    const ProcessResult single =
        RunConverter(dir, {"-o", dir.File("single"), HeicTestdataFile("nokia_C004.heic")});
    ASSERT_EQ(single.exitCode, 0) << single.err;
    EXPECT_EQ(Entries(dir.File("single")), std::set<std::string>{"nokia_C004.jpg"});
    SaveSettings(dir, "[global]\nimage-all-images=1\n");
    const ProcessResult saved = RunConverter(
        dir, {"-f", "png", "-o", dir.File("saved"), HeicTestdataFile("nokia_C013.heic")});
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    EXPECT_EQ(Entries(dir.File("saved")),
              (std::set<std::string>{"nokia_C013.png", "nokia_C013-2.png"}));
}

TEST(CliImages, NumberedNamesNeverLandOnAnInputOrAnotherOutputOfTheBatch) {
    TempDir dir;
    HeicImageSpec small;
    HeicImageSpec wide;
    wide.width = 96;
    // burst.heic holds three images; an input named like its second output and a photo
    // whose own output takes its third name sit in the same folder.
    fs::create_directories(dir.File("in"));
    ASSERT_EQ(WriteHeic(dir.File("in/burst.heic"), {small, wide, small}), "");
    ASSERT_EQ(WriteHeic(dir.File("in/burst-2.jpg"), small), ""); // a HEIF file named .jpg
    ASSERT_EQ(WriteHeic(dir.File("in/burst-3.heic"), wide), "");
    const std::string inputBytes = ReadText(dir.File("in/burst-2.jpg"));

    const ProcessResult r =
        RunConverter(dir, {"--all-images", dir.File("in/burst-3.heic"), dir.File("in/burst.heic"),
                           dir.File("in/burst-2.jpg")});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(ReadText(dir.File("in/burst-2.jpg")), inputBytes) << "an input was overwritten";
    // burst-3.jpg belongs to burst-3.heic, burst-2.jpg is an input: burst.heic's images
    // move to "burst (2)" as a whole; the .jpg input gets " (2)" before its own extension.
    EXPECT_EQ(Entries(dir.File("in")),
              (std::set<std::string>{"burst.heic", "burst-2.jpg", "burst-3.heic", "burst-3.jpg",
                                     "burst (2).jpg", "burst (2)-2.jpg", "burst (2)-3.jpg",
                                     "burst-2 (2).jpg"}));
    EXPECT_EQ(JpegWidth(dir.File("in/burst-3.jpg")), 96);
    EXPECT_EQ(JpegWidth(dir.File("in/burst (2)-2.jpg")), 96);
    EXPECT_EQ(JpegWidth(dir.File("in/burst (2)-3.jpg")), 64);
}

TEST(CliImages, TheMemoryBudgetAdmitsAFileByItsLargestImage) {
    TempDir dir;
    fs::create_directories(dir.File("in"));
    HeicImageSpec small;
    HeicImageSpec large;
    large.width = 1024;
    large.height = 1024;
    // About 64 MiB for the small primary alone, over 67 MiB with the large second image.
    ASSERT_EQ(WriteHeic(dir.File("in/burst.heic"), {small, large}), "");
    const std::string input = dir.File("in/burst.heic");
    ProcessResult r = RunConverter(dir, {"--memory-budget", "66", "-o", dir.File("one"), input});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    r = RunConverter(dir, {"--memory-budget", "66", "--all-images", "-o", dir.File("all"), input});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("image too large"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(dir.File("all/burst-2.jpg")));
    r = RunConverter(dir, {"--memory-budget", "80", "--all-images", "-o", dir.File("fits"), input});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(JpegWidth(dir.File("fits/burst-2.jpg")), 1024);
}

} // namespace
} // namespace velquist::test
