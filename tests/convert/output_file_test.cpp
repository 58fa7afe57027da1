#include "convert/atomic_output_file.h"
#include "convert/temp_names.h"
#include "support/temp_dir.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velquist {
namespace {

using test::TempDir;
namespace fs = std::filesystem;

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const std::string& path, const std::string& bytes, int hoursOld = 0) {
    std::ofstream(path, std::ios::binary) << bytes;
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(hoursOld));
}

TEST(TemporaryNames, AreShortAndNameTheirLiveWriter) {
    const std::string name = NewTemporaryName();
    EXPECT_LT(name.size(), 40u) << name;
    EXPECT_NE(name, NewTemporaryName());
    const std::optional<TemporaryOwner> owner = OwnerOfTemporaryName(name);
    ASSERT_TRUE(owner) << name;
    EXPECT_EQ(owner->pid, ::getpid());
    EXPECT_EQ(StateOf(*owner), OwnerState::kAlive);

    for (const char* other : {"photo.jpg", ".vq-.tmp", ".vq-zzzz-1-2-abc.tmp", ".vq-0a1b-1-2.tmp",
                              ".vq-0a1b-x-2-abc.tmp", ".photo.jpg.velquist-a1b2c3"}) {
        EXPECT_FALSE(OwnerOfTemporaryName(other)) << other;
    }
}

TEST(TemporaryNames, TheSweepTakesDeadWritersFilesAtOnceAndUncheckableOnesByAge) {
    TempDir dir;
    const std::string live = NewTemporaryName();
    const TemporaryOwner self = *OwnerOfTemporaryName(live);
    const std::string dead = ".vq-" + self.boot + "-" + std::to_string(self.pid) + "-" +
                             std::to_string(self.start + 1) + "-dead01.tmp";
    const std::string foreign = self.boot == "ffff" ? "fffe" : "ffff";
    const std::string young = ".vq-" + foreign + "-1-2-young1.tmp";
    const std::string old = ".vq-" + foreign + "-1-2-old001.tmp";
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
    const std::string reaped = ".vq-" + self.boot + "-" + std::to_string(child) + "-1-gone01.tmp";
    for (const std::string& name : {live, dead, young, reaped}) {
        Write(dir.File(name), "partial");
    }
    Write(dir.File(old), "partial", 2);
    Write(dir.File(".photo.jpg.velquist-a1b2c3"), "partial", 2);
    Write(dir.File("photo.jpg"), "a photo", 2);

    SweepFolderTemporaryFiles(dir.Path(), std::chrono::minutes(15));
    EXPECT_TRUE(fs::exists(dir.File(live)));
    EXPECT_FALSE(fs::exists(dir.File(dead))) << "its pid now belongs to another process";
    EXPECT_FALSE(fs::exists(dir.File(reaped)));
    EXPECT_TRUE(fs::exists(dir.File(young)));
    EXPECT_FALSE(fs::exists(dir.File(old)));
    EXPECT_FALSE(fs::exists(dir.File(".photo.jpg.velquist-a1b2c3")));
    EXPECT_TRUE(fs::exists(dir.File("photo.jpg")));
}

bool WriteOutput(const std::string& path, const std::string& bytes, std::string* diagnostics) {
    Diagnostics diag(false);
    AtomicOutputFile file;
    const bool ok = file.Open(path, diag) &&
                    std::fwrite(bytes.data(), 1, bytes.size(), file.Stream()) == bytes.size() &&
                    file.Commit(diag);
    *diagnostics = diag.Text();
    return ok;
}

TEST(AtomicOutputFile, WithoutReplacingATakenNameFailsAndKeepsTheFileThere) {
    TempDir dir;
    Write(dir.File("taken.jpg"), "someone else's photo");
    std::string diagnostics;
    {
        const ScopedOutputCommit noReplace(OutputCommit::kNoReplace);
        EXPECT_FALSE(WriteOutput(dir.File("taken.jpg"), "mine", &diagnostics));
        EXPECT_NE(diagnostics.find(std::strerror(EEXIST)), std::string::npos) << diagnostics;
        EXPECT_EQ(diagnostics.find("Can't open"), std::string::npos)
            << "the file was opened; its link or rename failed: " << diagnostics;
        EXPECT_TRUE(WriteOutput(dir.File("free.jpg"), "mine", &diagnostics)) << diagnostics;
    }
    EXPECT_EQ(Read(dir.File("taken.jpg")), "someone else's photo");
    EXPECT_EQ(Read(dir.File("free.jpg")), "mine");
    // Outside the scope the thread replaces again, as a plain write of a list does.
    EXPECT_TRUE(WriteOutput(dir.File("taken.jpg"), "mine", &diagnostics)) << diagnostics;
    EXPECT_EQ(Read(dir.File("taken.jpg")), "mine");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2)
        << "no temporary file stays";
}

} // namespace
} // namespace velquist
