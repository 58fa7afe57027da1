#include "cli_test_util.h"
#include "support/temp_dir.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace velquist::test {
namespace {

namespace fs = std::filesystem;

int Shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str());
}

bool Installed(const std::string& program) {
    return Shell("command -v " + program) == 0;
}

// A small file system of a camera card's kind, made in an image file and mounted on a loop
// device below dir; unmounted and let go on destruction.
class CardFileSystem {
  public:
    CardFileSystem(const TempDir& dir, const std::string& kind) : mount_(dir.File(kind)) {
        const std::string image = dir.File(kind + ".img");
        const std::string mkfs = kind == "exfat" ? "mkfs.exfat" : "mkfs.vfat";
        const std::string mounter = kind == "exfat" ? "mount.exfat-fuse" : "mount -t vfat";
        if (::geteuid() != 0) {
            why_ = "needs root for a loop device and a mount";
        } else if (!fs::exists("/dev/loop-control") ||
                   (kind == "exfat" && !fs::exists("/dev/fuse"))) {
            why_ = "needs /dev/loop-control" + std::string(kind == "exfat" ? " and /dev/fuse" : "");
        } else if (!Installed(mkfs) || (kind == "exfat" && !Installed("mount.exfat-fuse"))) {
            why_ = "needs " + mkfs +
                   (kind == "exfat" ? " and mount.exfat-fuse (exfatprogs, exfat-fuse)" : "");
        } else if (Shell("truncate -s 64M " + image) != 0 || Shell(mkfs + " " + image) != 0) {
            why_ = "cannot make the " + kind + " image";
        } else if (!AttachAndMount(image, mounter)) {
            why_ = "cannot mount " + kind + " from a loop device here";
        }
    }
    ~CardFileSystem() {
        if (mounted_) {
            Shell("umount " + mount_);
        }
        if (!loop_.empty()) {
            Shell("losetup -d " + loop_);
        }
    }
    CardFileSystem(const CardFileSystem&) = delete;
    CardFileSystem& operator=(const CardFileSystem&) = delete;

    // Empty when mounted, else what is missing.
    const std::string& WhyNot() const { return why_; }
    std::string File(const std::string& name) const { return mount_ + "/" + name; }

  private:
    bool AttachAndMount(const std::string& image, const std::string& mounter) {
        FILE* pipe = ::popen(("losetup -f --show " + image + " 2>/dev/null").c_str(), "r");
        char line[256] = {};
        if (pipe == nullptr) {
            return false;
        }
        const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
        ::pclose(pipe);
        loop_ = read ? std::string(line, std::strcspn(line, "\n")) : std::string();
        fs::create_directories(mount_);
        mounted_ = !loop_.empty() && Shell(mounter + " " + loop_ + " " + mount_) == 0;
        return mounted_;
    }

    std::string mount_;
    std::string loop_;
    std::string why_;
    bool mounted_ = false;
};

std::map<std::string, std::string> Contents(const std::vector<std::string>& paths) {
    std::map<std::string, std::string> contents;
    for (const std::string& path : paths) {
        contents[path] = ReadText(path);
    }
    return contents;
}

std::vector<std::string> EntriesOf(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

// Four photos whose outputs differ only in case, one of them a HEIC named like a JPEG:
// on a card that folds case each output must hold its own photo and no input may change.
void ConvertsCaseTwinsOnACard(const std::string& kind) {
    TempDir dir;
    const CardFileSystem card(dir, kind);
    if (!card.WhyNot().empty()) {
        GTEST_SKIP() << kind << " test skipped: " << card.WhyNot();
    }
    const std::map<std::string, int> widths = {
        {"IMG.heic", 40}, {"img.HEIF", 56}, {"Photo.JPG", 72}, {"photo.heic", 88}};
    std::vector<std::string> inputs;
    for (const auto& [name, width] : widths) {
        inputs.push_back(MakeHeic(dir, kind + "/" + name, width));
    }
    const auto before = Contents(inputs);
    const auto start = std::chrono::steady_clock::now();
    const ProcessResult r = RunConverter(
        dir, {"-f", "jpg", "--existing", "overwrite", inputs[0], inputs[1], inputs[2], inputs[3]});
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(Contents(inputs), before) << "no input was written over";

    // Which photo went where follows the order the names were handed out in; what
    // matters is that the four photos are all there, each once.
    std::multiset<int> written;
    for (const std::string& name : EntriesOf(card.File(""))) {
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".jpg") == 0 &&
            name != "Photo.JPG") {
            written.insert(JpegWidth(card.File(name)));
        }
    }
    EXPECT_EQ(written, (std::multiset<int>{40, 56, 72, 88})) << r.out;
    for (const std::string& name : EntriesOf(card.File(""))) {
        EXPECT_NE(name.rfind(".vq-", 0), 0u) << "temporary file left: " << name;
    }
    std::cout << "[ figure ] " << kind << ": 4 files, " << written.size() << " outputs in "
              << std::chrono::duration<double>(took).count() << " s\n";
}

TEST(CliOutputNames, CaseTwinsOnAnExfatCardEachKeepTheirOwnPhoto) {
    ConvertsCaseTwinsOnACard("exfat");
}

TEST(CliOutputNames, CaseTwinsOnAVfatCardEachKeepTheirOwnPhoto) {
    ConvertsCaseTwinsOnACard("vfat");
}

TEST(CliOutputNames, NamesDifferingOnlyInCaseStayApartWhereCaseCounts) {
    TempDir dir;
    const std::string upper = MakeHeic(dir, "IMG.heic", 40);
    const std::string lower = MakeHeic(dir, "img.heic", 56);
    const ProcessResult r = RunConverter(dir, {"-f", "jpg", upper, lower});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(JpegWidth(dir.File("IMG.jpg")), 40);
    EXPECT_EQ(JpegWidth(dir.File("img.jpg")), 56);
    EXPECT_FALSE(fs::exists(dir.File("img (2).jpg")));
}

TEST(CliOutputNames, TheLongestNamesTheFileSystemTakesConvert) {
    TempDir dir;
    // 251 bytes and ".jpg": an output name of 255 bytes, the most a name may hold; the
    // input keeps a shorter extension so that it fits too.
    const std::string ascii(251, 'n');
    std::string chinese;
    for (int i = 0; i < 83; ++i) {
        chinese += "\xE7\x85\xA7"; // 照: 83 of them and ".jpg" make 253 bytes
    }
    for (const std::string& stem : {ascii, chinese}) {
        const std::string input = MakeHeic(dir, stem + ".h", 48);
        const ProcessResult r = RunConverter(dir, {"-f", "jpg", input});
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        EXPECT_EQ(JpegWidth(dir.File(stem + ".jpg")), 48) << stem.size() << " bytes";
    }
}

// The pid in a temporary name of ours: ".vq-BOOT-PID-START-RAND.tmp".
pid_t WriterOf(const std::string& name) {
    return static_cast<pid_t>(std::atol(name.c_str() + name.find('-', 4) + 1));
}

// Starts a run, kills it and its worker once the worker's temporary file shows, and gives
// that file's name when the kill left it behind (empty when the output landed first).
std::string KillWriterMidFile(const TempDir& dir, const CardFileSystem& card,
                              const std::string& photo) {
    const pid_t run = StartConverter(dir, {"-f", "bmp", photo});
    std::string temporary;
    while (temporary.empty() && ::waitpid(run, nullptr, WNOHANG) == 0) {
        for (const std::string& name : EntriesOf(card.File(""))) {
            // The run's own short-lived probe of the folder's case rule bears such a name too.
            if (name.rfind(".vq-", 0) == 0 && WriterOf(name) != run) {
                temporary = name;
            }
        }
        std::this_thread::yield();
    }
    if (temporary.empty()) {
        ::kill(run, SIGKILL);
        FinishConverter(dir, run);
        fs::remove(card.File("big.bmp"));
        return {};
    }
    // The run first, so that nobody is left to clean up after the writer.
    ::kill(run, SIGKILL);
    ::kill(WriterOf(temporary), SIGKILL);
    FinishConverter(dir, run);
    while (::kill(WriterOf(temporary), 0) == 0) {
        std::this_thread::yield();
    }
    if (!fs::exists(card.File(temporary))) {
        fs::remove(card.File("big.bmp"));
        return {};
    }
    return temporary;
}

TEST(CliOutputNames, AWriterKilledOnACardLeavesNothingAfterTheNextRun) {
    TempDir dir;
    const CardFileSystem card(dir, "exfat");
    if (!card.WhyNot().empty()) {
        GTEST_SKIP() << "exfat test skipped: " << card.WhyNot();
    }
    HeicImageSpec large;
    large.width = 2048;
    large.height = 1536;
    const std::string photo = MakeHeic(dir, "exfat/big.heic", large);
    // The writer may link its file into place just before the kill lands; then the run is
    // tried again from a clean card.
    std::string temporary;
    for (int attempt = 0; attempt < 5 && temporary.empty(); ++attempt) {
        temporary = KillWriterMidFile(dir, card, photo);
    }
    ASSERT_FALSE(temporary.empty()) << "no run was caught with its temporary file in place";

    const ProcessResult again = RunConverter(dir, {"-f", "bmp", photo});
    EXPECT_EQ(again.exitCode, 0) << again.out << again.err;
    EXPECT_FALSE(fs::exists(card.File(temporary)));
    EXPECT_EQ(EntriesOf(card.File("")).size(), 2u) << "the photo and its output only";
}

} // namespace
} // namespace velquist::test
