#include "config/app_paths.h"
#include "config/config_file.h"
#include "temp_home.h"
#include "util/text.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace velquist {
namespace {

using testing::ReadText;
using testing::TempHome;
using testing::WriteText;

class ConfigFile : public ::testing::Test {
  protected:
    void SetUp() override {
        TempHome();
        path_ = WideToUtf8(GetConfigFilePath());
        std::filesystem::remove(path_);
    }
    std::string path_;
};

TEST_F(ConfigFile, LivesInTheDataFolderAndIsCreatedOnTheFirstWrite) {
    EXPECT_EQ(path_, TempHome() + "/data/Morvane/Config/configure.ini");
    EXPECT_TRUE(testing::IsDir(TempHome() + "/data/Morvane/Config"));
    std::wstring value;
    EXPECT_FALSE(ReadConfigValue(L"global", L"image-format", L"", value));
    EXPECT_TRUE(ReadConfigValue(L"global", L"image-format", L"jpg", value));
    EXPECT_EQ(value, L"jpg");
    EXPECT_FALSE(std::filesystem::exists(path_));

    ASSERT_TRUE(WriteConfigValue(L"global", L"image-format", L"png"));
    EXPECT_EQ(ReadText(path_), "[global]\nimage-format=png\n");
    EXPECT_TRUE(ReadConfigValue(L"GLOBAL", L"Image-Format", L"jpg", value));
    EXPECT_EQ(value, L"png");
}

TEST_F(ConfigFile, RewriteKeepsForeignContentAndLeavesNoTemporaryFiles) {
    WriteText(path_, "[global]\r\nimage-quality=80\r\n[mine]\r\nx=y\r\n");
    ASSERT_TRUE(WriteConfigValue(L"global", L"image-quality", L"50"));
    ASSERT_TRUE(WriteConfigValue(L"global", L"output-dir", L"/照片/输出"));
    EXPECT_EQ(ReadText(path_), "[global]\nimage-quality=50\noutput-dir=/照片/输出\n[mine]\nx=y\n");
    std::wstring value;
    ReadConfigValue(L"global", L"output-dir", L"", value);
    EXPECT_EQ(value, L"/照片/输出");
    const auto dir = std::filesystem::path(path_).parent_path();
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

TEST_F(ConfigFile, AFifoOrDeviceInItsPlaceReadsAsMissingWithoutWaiting) {
    ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
    std::wstring value;
    // Opening a FIFO for reading blocks until a writer comes; this must return at once.
    EXPECT_FALSE(ReadConfigValue(L"global", L"image-format", L"", value));
    EXPECT_TRUE(ReadConfigValue(L"global", L"image-format", L"jpg", value));
    EXPECT_EQ(value, L"jpg");
    std::filesystem::remove(path_);
    ASSERT_EQ(::symlink("/dev/zero", path_.c_str()), 0);
    EXPECT_FALSE(ReadConfigValue(L"global", L"image-format", L"", value));
    std::filesystem::remove(path_);
}

TEST_F(ConfigFile, AnOutputFolderThatIsNotUtf8KeepsItsBytes) {
    const std::string folder = TempHome() + "/out\xFF\xFE\xC0\xAF";
    WriteText(path_, "[global]\noutput-dir=" + folder + "\n");
    EXPECT_EQ(WideToPath(GetOutputDir()), folder);
    EXPECT_TRUE(testing::IsDir(folder));
    ASSERT_TRUE(WriteConfigValue(L"global", L"image-format", L"png"));
    EXPECT_EQ(ReadText(path_), "[global]\noutput-dir=" + folder + "\nimage-format=png\n");
    std::filesystem::remove_all(folder);
}

TEST_F(ConfigFile, LongValuesAreReadWholeUpToPathMax) {
    const std::wstring longDir = L"/" + std::wstring(299, L'd');
    ASSERT_TRUE(WriteConfigValue(L"global", L"output-dir", longDir));
    std::wstring value;
    ReadConfigValue(L"global", L"output-dir", L"", value);
    EXPECT_EQ(value, longDir);

    ASSERT_TRUE(WriteConfigValue(L"global", L"output-dir", std::wstring(5000, L'x')));
    ReadConfigValue(L"global", L"output-dir", L"", value);
    EXPECT_EQ(value.size(), kMaxConfigValueLength);
}

TEST_F(ConfigFile, RefusesValuesThatWouldInjectLines) {
    EXPECT_FALSE(WriteConfigValue(L"global", L"output-dir", L"/a\n[global]\nimage-format=bmp"));
    std::wstring value;
    EXPECT_FALSE(ReadConfigValue(L"global", L"image-format", L"", value));
}

TEST_F(ConfigFile, ConcurrentWritersKeepEveryKeyAndReadersSeeWholeFiles) {
    ASSERT_TRUE(WriteConfigValue(L"global", L"image-format", L"jpg"));
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        std::wstring value;
        while (!done) {
            if (!ReadConfigValue(L"global", L"image-format", L"", value) || value != L"jpg") {
                ++torn;
            }
        }
    });
    std::vector<std::thread> writers;
    for (int w = 0; w < 4; ++w) {
        writers.emplace_back([w] {
            for (int i = 0; i < 25; ++i) {
                WriteConfigValue(L"global", L"key-" + std::to_wstring(w), std::to_wstring(i));
            }
        });
    }
    for (auto& t : writers) {
        t.join();
    }
    done = true;
    reader.join();
    EXPECT_EQ(torn, 0);
    for (int w = 0; w < 4; ++w) {
        std::wstring value;
        ReadConfigValue(L"global", L"key-" + std::to_wstring(w), L"", value);
        EXPECT_EQ(value, L"24");
    }
}

TEST(TrimWide, StripsWhiteSpaceAtBothEnds) {
    EXPECT_EQ(TrimWide(L" \t/a b\r\n "), L"/a b");
    EXPECT_EQ(TrimWide(L"   "), L"");
}

} // namespace
} // namespace velquist
