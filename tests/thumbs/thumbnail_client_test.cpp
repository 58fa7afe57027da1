#include "thumbs/thumbnail_client.h"
#include "thumbs/thumbnail_source.h"
#include "thumbs_test_util.h"

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velquist::test {
namespace {

ThumbnailClientOptions Options(const char* worker) {
    ThumbnailClientOptions options;
    options.workerPath = worker;
    options.timeLimit = std::chrono::seconds(10);
    return options;
}

// The value of a /proc/PID/status line such as "Seccomp"; empty when absent.
std::string StatusField(pid_t pid, const std::string& name) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(name + ":\t", 0) == 0) {
            return line.substr(name.size() + 2);
        }
    }
    return {};
}

class ThumbnailClientTest : public ::testing::Test {
  protected:
    void SetUp() override {
        HeicImageSpec spec;
        spec.width = 192;
        spec.height = 144;
        ASSERT_EQ(WriteHeic(Good(), spec), "");
    }
    std::string Good() const { return dir_.File("good.heic"); }
    // A copy of the good file under a name that makes the fake worker misbehave.
    std::string Named(const std::string& name) const {
        const std::string path = dir_.File(name);
        std::ifstream in(Good(), std::ios::binary);
        std::ofstream(path, std::ios::binary) << in.rdbuf();
        return path;
    }

    TempDir dir_;
};

TEST_F(ThumbnailClientTest, RealWorkerServesFileAfterFile) {
    ThumbnailClient client(Options(VELQUIST_THUMBNAILER));
    const ThumbnailResult first = client.Fetch(Good());
    ASSERT_TRUE(first.ok) << first.error;
    EXPECT_EQ(first.thumbnail.width, 96);
    EXPECT_EQ(first.thumbnail.height, 72);
    EXPECT_LE(QuadrantError(first.thumbnail), 12);
    // It answered, so it is fenced as it is for every file it is handed.
    EXPECT_EQ(StatusField(client.WorkerPid(), "NoNewPrivs"), "1");
    EXPECT_EQ(StatusField(client.WorkerPid(), "Seccomp"), kWorkerFilterEnabled ? "2" : "0");
    // A name that is no valid UTF-8 and holds a line break is still just bytes.
    const ThumbnailResult odd = client.Fetch(Named(std::string("odd\n\xff\xfe.heic")));
    EXPECT_TRUE(odd.ok) << odd.error;
    const ThumbnailResult broken = client.Fetch(dir_.File("missing.heic"));
    EXPECT_FALSE(broken.ok);
    EXPECT_NE(broken.error.find("cannot read"), std::string::npos) << broken.error;
    EXPECT_TRUE(client.Fetch(Good()).ok);
    // A failed file is the file's fault, not the worker's: it keeps serving.
    EXPECT_EQ(client.WorkersStarted(), 1);
}

TEST_F(ThumbnailClientTest, CrashFailsOnlyTheFileInHand) {
    ThumbnailClient client(Options(VELQUIST_FAKE_THUMBNAILER));
    EXPECT_TRUE(client.Fetch(Good()).ok);
    const ThumbnailResult crashed = client.Fetch(Named("crash.heic"));
    EXPECT_FALSE(crashed.ok);
    EXPECT_NE(crashed.error.find("signal 11"), std::string::npos) << crashed.error;
    EXPECT_TRUE(client.Fetch(Good()).ok);
    const ThumbnailResult exited = client.Fetch(Named("exit.heic"));
    EXPECT_NE(exited.error.find("code 3"), std::string::npos) << exited.error;
    EXPECT_TRUE(client.Fetch(Good()).ok);
    EXPECT_EQ(client.WorkersStarted(), 3);
}

TEST_F(ThumbnailClientTest, HangsAndLiesEndTheWorker) {
    ThumbnailClientOptions quick = Options(VELQUIST_FAKE_THUMBNAILER);
    quick.timeLimit = std::chrono::milliseconds(400);
    ThumbnailClient hanging(quick);
    const ThumbnailResult hung = hanging.Fetch(Named("hang.heic"));
    EXPECT_NE(hung.error.find("time limit"), std::string::npos) << hung.error;
    EXPECT_EQ(hanging.WorkerPid(), -1);

    ThumbnailClient client(Options(VELQUIST_FAKE_THUMBNAILER));
    const ThumbnailResult garbage = client.Fetch(Named("garbage.heic"));
    EXPECT_NE(garbage.error.find("invalid answer"), std::string::npos) << garbage.error;
    // Claims 6 GB of pixels: refused on the header, nothing that size is allocated.
    const ThumbnailResult oversize = client.Fetch(Named("oversize.heic"));
    EXPECT_NE(oversize.error.find("invalid answer"), std::string::npos) << oversize.error;
    EXPECT_TRUE(client.Fetch(Good()).ok);
    EXPECT_EQ(client.WorkersStarted(), 3);
}

TEST_F(ThumbnailClientTest, WorkerGoneBetweenFilesIsReplacedWithoutFailing) {
    ThumbnailClient client(Options(VELQUIST_THUMBNAILER));
    ASSERT_TRUE(client.Fetch(Good()).ok);
    ::kill(client.WorkerPid(), SIGKILL);
    for (int i = 0; i < 200; ++i) {
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(client.WorkerPid()), &info,
                     WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid != 0) {
            break;
        }
        ::usleep(5000);
    }
    EXPECT_TRUE(client.Fetch(Good()).ok);
    EXPECT_EQ(client.WorkersStarted(), 2);
}

TEST_F(ThumbnailClientTest, MissingWorkerIsAFailureNotACrash) {
    ThumbnailClient client(Options("/nonexistent/velquist-thumbnailer"));
    const ThumbnailResult r = client.Fetch(Good());
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("cannot start"), std::string::npos) << r.error;
    EXPECT_FALSE(client.Fetch(std::string("a\0b", 3)).ok);
}

TEST_F(ThumbnailClientTest, SourceServesRepeatsFromTheCacheUntilTheFileChanges) {
    ThumbnailSource source(Options(VELQUIST_THUMBNAILER));
    const auto first = source.Get(Good());
    ASSERT_TRUE(first->ok);
    const pid_t worker = source.Client().WorkerPid();
    ::kill(worker, SIGSTOP); // a second decode would now hang
    const auto again = source.Get(Good());
    ::kill(worker, SIGCONT);
    EXPECT_EQ(again.get(), first.get());

    // A different picture under the same name, with a new modification time.
    HeicImageSpec tall;
    tall.width = 48;
    tall.height = 96;
    ASSERT_EQ(WriteHeic(Good(), tall), "");
    const timespec times[2] = {{0, UTIME_OMIT}, {1'000'000'000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, Good().c_str(), times, 0), 0);
    const auto changed = source.Get(Good());
    ASSERT_TRUE(changed->ok);
    EXPECT_EQ(changed->thumbnail.width, 48);
    EXPECT_EQ(source.Cache().Entries(), 1u);

    EXPECT_FALSE(source.Get(dir_.File("gone.heic"))->ok);
}

} // namespace
} // namespace velquist::test
