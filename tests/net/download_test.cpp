#include "loopback_server.h"
#include "net/httpdownload.h"
#include "signed_installer.h"
#include "support/output_capture.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <openssl/sha.h>
#include <string>
#include <thread>
#include <vector>

namespace velquist {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct RecordingProgress : DownloadProgress {
    std::vector<int> shown;
    int waits = 0;
    void ShowWaitingForBatch() override { ++waits; }
    std::atomic<bool>* cancel_on_first = nullptr;
    void ShowPercent(int percent) override {
        shown.push_back(percent);
        if (cancel_on_first != nullptr) {
            *cancel_on_first = true;
        }
    }
};

struct RecordingShell : Shell {
    bool accept = true;
    std::vector<std::string> opened;
    int exits = 0;
    std::vector<std::wstring> failures;
    bool Open(const std::string& path) override {
        opened.push_back(path);
        return accept;
    }
    void ExitProcess() override { ++exits; }
    void FailForcedUpgrade(const std::wstring& text) override { failures.push_back(text); }
};

std::string Payload(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(i * 7 + 3);
    }
    return bytes;
}

// Names in the folder, hidden ones included: a partial download must not stay.
std::vector<std::string> Entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

std::string Sha256Hex(const std::string& bytes) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char byte : digest) {
        hex += kHex[byte >> 4];
        hex += kHex[byte & 0x0f];
    }
    return hex;
}

// A signature nothing verifies: the transfer decides the outcome before it is checked.
InstallerCheck Unverifiable() {
    InstallerCheck check;
    check.signature = std::string(64, '\0');
    return check;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class DownloadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::path(getenv("XDG_DATA_HOME")) /
                  ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(folder_);
        HttpDownload::SetConnectTimeoutMs(2000);
        HttpDownload::SetStallTimeoutMs(3000);
        signer_.Install();
    }

    void TearDown() override {
        HttpDownload::SetDefaultLimit(0);
        HttpDownload::SetStallTimeoutMs(3000);
        testing::TestSigner::Uninstall();
    }

    // With the maker's signature of what Sign recorded for the path, or one that nothing
    // verifies, so that the transfer itself decides the outcome.
    DownloadOutcome Run(const std::string& path, int force = 0, InstallerCheck check = {}) {
        if (check.signature.empty()) {
            auto found = signatures_.find(path.substr(0, path.find('?')));
            check.signature = found != signatures_.end() ? found->second : Unverifiable().signature;
        }
        return RunUrl(server_.BaseUrl() + path, force, check);
    }
    // The bytes, signed by the maker for the path.
    std::string Sign(const std::string& path, const std::string& bytes) {
        signatures_[path] = signer_.SignRaw(bytes);
        return bytes;
    }
    DownloadOutcome RunUrl(const std::string& url, int force = 0, InstallerCheck check = {}) {
        DownloadRequest request;
        request.url = url;
        request.force = force;
        request.folder = folder_.string();
        request.cancel = &cancel_;
        request.check = check;
        request.batch_running = batch_running_;
        HttpDownload download;
        DownloadOutcome outcome = download.Download(request, progress_, shell_);
        failure_ = download.failure();
        return outcome;
    }

    // A Debian package the maker signed.
    std::string ServeInstaller(const std::string& path, size_t size) {
        std::string bytes = Sign(path, testing::DebianPackage(size));
        ServeBytes(path, bytes);
        return bytes;
    }
    void ServeBytes(const std::string& path, const std::string& bytes) {
        server_.server().Get(path, [bytes](const httplib::Request&, httplib::Response& res) {
            res.set_content(bytes, "application/octet-stream");
        });
    }
    // A signed package as a body without any announced length.
    void ServeChunked(const std::string& path, size_t total) {
        std::string bytes = Sign(path, testing::DebianPackage(total));
        server_.server().Get(path, [bytes](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider(
                "application/octet-stream", [bytes](size_t offset, httplib::DataSink& sink) {
                    if (offset >= bytes.size()) {
                        sink.done();
                        return true;
                    }
                    size_t part = std::min<size_t>(1000, bytes.size() - offset);
                    return sink.write(bytes.data() + offset, part);
                });
        });
    }

    testing::LoopbackServer server_;
    testing::TestSigner signer_;
    std::map<std::string, std::string> signatures_;
    fs::path folder_;
    std::atomic<bool> cancel_{false};
    RecordingProgress progress_;
    RecordingShell shell_;
    DownloadFailure failure_ = DownloadFailure::kNone;
    std::function<bool()> batch_running_;
};

TEST_F(DownloadTest, CompleteFileIsStartedAndTheProcessEnds) {
    const std::string payload = ServeInstaller("/files/velquist_1.0.2_amd64.deb", 200000);
    server_.Start();

    EXPECT_EQ(Run("/files/velquist_1.0.2_amd64.deb"), DownloadOutcome::kExited);
    fs::path saved = folder_ / "velquist_1.0.2_amd64.deb";
    EXPECT_EQ(ReadFile(saved), payload);
    EXPECT_EQ(shell_.opened, std::vector<std::string>{saved.string()});
    EXPECT_EQ(shell_.exits, 1);
    ASSERT_FALSE(progress_.shown.empty());
    EXPECT_EQ(progress_.shown.back(), 100);
    EXPECT_LE(progress_.shown.size(), 100u);
    for (size_t i = 1; i < progress_.shown.size(); ++i) {
        EXPECT_GT(progress_.shown[i], progress_.shown[i - 1]) << "only changes are shown";
    }
}

// The installer ends the program: a batch that runs when the file is ready finishes
// first, and only then is the installer opened.
TEST_F(DownloadTest, InstallerWaitsForTheRunningBatchToEnd) {
    HttpDownload::SetBatchPollMs(1);
    ServeInstaller("/velquist_2.0.0_amd64.deb", 5000);
    server_.Start();
    int asked = 0;
    batch_running_ = [&] {
        ++asked;
        // Nothing may be opened while the batch still runs.
        EXPECT_TRUE(shell_.opened.empty());
        return asked < 5;
    };
    EXPECT_EQ(Run("/velquist_2.0.0_amd64.deb"), DownloadOutcome::kExited);
    EXPECT_EQ(asked, 5);
    EXPECT_EQ(progress_.waits, 1);
    EXPECT_EQ(shell_.opened.size(), 1u);
    EXPECT_EQ(shell_.exits, 1);

    // Idle from the start: no waiting shown.
    batch_running_ = [] { return false; };
    shell_ = RecordingShell{};
    progress_.waits = 0;
    EXPECT_EQ(Run("/velquist_2.0.0_amd64.deb"), DownloadOutcome::kExited);
    EXPECT_EQ(progress_.waits, 0);
    HttpDownload::SetBatchPollMs(0);
}

TEST_F(DownloadTest, CancelWhileWaitingForTheBatchKeepsTheProgramAndDropsTheFile) {
    HttpDownload::SetBatchPollMs(1);
    ServeInstaller("/velquist_2.0.0_amd64.deb", 5000);
    server_.Start();
    int asked = 0;
    batch_running_ = [&] {
        if (++asked == 3) {
            cancel_ = true; // the user turns the update down; the batch goes on
        }
        return true;
    };
    EXPECT_EQ(Run("/velquist_2.0.0_amd64.deb"), DownloadOutcome::kClosed);
    EXPECT_EQ(failure_, DownloadFailure::kCancelled);
    EXPECT_TRUE(shell_.opened.empty());
    EXPECT_EQ(shell_.exits, 0);
    EXPECT_TRUE(Entries(folder_).empty());
    HttpDownload::SetBatchPollMs(0);
}

// A forced update's cancel ends the program, but not in the middle of a batch.
TEST_F(DownloadTest, ForcedCancelWhileWaitingEndsTheProgramOnlyAfterTheBatch) {
    HttpDownload::SetBatchPollMs(1);
    ServeInstaller("/velquist_2.0.0_amd64.deb", 5000);
    server_.Start();
    int asked = 0;
    batch_running_ = [&] {
        if (++asked == 2) {
            cancel_ = true;
        }
        EXPECT_EQ(shell_.exits, 0) << "ended while the batch ran";
        return asked < 6;
    };
    EXPECT_EQ(Run("/velquist_2.0.0_amd64.deb", 1), DownloadOutcome::kExited);
    EXPECT_EQ(asked, 6);
    EXPECT_EQ(shell_.exits, 1);
    EXPECT_TRUE(shell_.opened.empty());
    HttpDownload::SetBatchPollMs(0);
}

TEST_F(DownloadTest, OneBlockOf1024BytesShowsOneHundredPercent) {
    ServeInstaller("/setup.deb", 1024);
    server_.Start();
    EXPECT_EQ(Run("/setup.deb"), DownloadOutcome::kExited);
    EXPECT_EQ(progress_.shown, std::vector<int>{100});
    EXPECT_EQ(FormatPercent(100), "100%");
    EXPECT_EQ(FormatPercent(37), "37%");
}

TEST_F(DownloadTest, QueryIsSentAndLeftOutOfTheFileName) {
    std::vector<std::string> tokens;
    const std::string installer = Sign("/dl/setup.deb", testing::DebianPackage(500));
    server_.server().Get("/dl/setup.deb", [&](const httplib::Request& req, httplib::Response& res) {
        tokens.push_back(req.get_param_value("token"));
        res.set_content(installer, "application/octet-stream");
    });
    server_.Start();
    EXPECT_EQ(Run("/dl/setup.deb?token=abc#part"), DownloadOutcome::kExited);
    EXPECT_EQ(tokens, (std::vector<std::string>{"abc", "abc"})) << "HEAD and GET";
    EXPECT_EQ(ReadFile(folder_ / "setup.deb"), installer);
}

TEST_F(DownloadTest, RedirectIsFollowedAndTheNameComesFromTheGivenUrl) {
    server_.server().Get("/latest.deb", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("/builds/velquist_1.0.2_amd64.deb");
    });
    const std::string installer = ServeInstaller("/builds/velquist_1.0.2_amd64.deb", 3000);
    signatures_["/latest.deb"] = signatures_["/builds/velquist_1.0.2_amd64.deb"];
    server_.Start();
    EXPECT_EQ(Run("/latest.deb"), DownloadOutcome::kExited);
    EXPECT_EQ(ReadFile(folder_ / "latest.deb"), installer);
    EXPECT_EQ(progress_.shown.back(), 100);
}

TEST_F(DownloadTest, FileNamesThatLeaveTheFolderAreRefused) {
    EXPECT_EQ(DownloadFileName("http://h.test/a/b/setup.exe?x=/y"), "setup.exe");
    EXPECT_EQ(DownloadFileName("http://h.test/a/%2E%2E"), "%2E%2E");
    EXPECT_EQ(DownloadFileName("http://h.test/a/.."), "");
    EXPECT_EQ(DownloadFileName("http://h.test/a/."), "");
    EXPECT_EQ(DownloadFileName("http://h.test/"), "");
    EXPECT_EQ(DownloadFileName("http://h.test"), "");
    EXPECT_EQ(DownloadFileName("not a url"), "");

    int requests = 0;
    server_.server().Get(".*", [&](const httplib::Request&, httplib::Response& res) {
        ++requests;
        res.set_content("x", "text/plain");
    });
    server_.Start();
    EXPECT_EQ(Run("/dir/"), DownloadOutcome::kClosed);
    EXPECT_EQ(requests, 0);
    EXPECT_TRUE(shell_.opened.empty());
}

TEST_F(DownloadTest, ErrorStatusIsAFailedDownload) {
    server_.server().Get("/gone.exe", [](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content("<html>not found</html>", "text/html");
    });
    server_.Start();
    EXPECT_EQ(Run("/gone.exe"), DownloadOutcome::kClosed);
    EXPECT_TRUE(shell_.opened.empty());
    EXPECT_EQ(shell_.exits, 0);
    EXPECT_EQ(Run("/gone.exe", 1), DownloadOutcome::kExited) << "a forced upgrade ends";
    EXPECT_TRUE(shell_.opened.empty());
    EXPECT_EQ(shell_.failures, std::vector<std::wstring>{L"升级失败,网络错误!"})
        << "said, not silent";
    EXPECT_EQ(shell_.exits, 0) << "the failure, not a plain exit with code 0";
    EXPECT_TRUE(Entries(folder_).empty());
}

TEST_F(DownloadTest, ShortBodyIsAFailedDownload) {
    // The HEAD announces more than the GET delivers.
    server_.server().Get("/short.exe", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(Payload(req.method == "HEAD" ? 4096 : 1000), "application/octet-stream");
    });
    // The GET announces a length, then the connection drops.
    server_.server().Get("/cut.exe", [](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(4096, "application/octet-stream",
                                 [](size_t offset, size_t, httplib::DataSink& sink) {
                                     if (offset > 0) {
                                         return false;
                                     }
                                     std::string part = Payload(1500);
                                     sink.write(part.data(), part.size());
                                     return true;
                                 });
    });
    server_.Start();
    EXPECT_EQ(Run("/short.exe"), DownloadOutcome::kClosed);
    EXPECT_EQ(failure_, DownloadFailure::kIncomplete);
    EXPECT_EQ(Run("/cut.exe", 1), DownloadOutcome::kExited);
    EXPECT_EQ(shell_.failures, std::vector<std::wstring>{L"升级失败,文件不完整!"});
    EXPECT_TRUE(shell_.opened.empty());
    EXPECT_EQ(shell_.exits, 0);
    EXPECT_TRUE(Entries(folder_).empty()) << "no partial file stays";
}

TEST_F(DownloadTest, ServerWithoutLengthIsReadToTheEnd) {
    ServeChunked("/stream.deb", 3000);
    server_.Start();
    EXPECT_EQ(Run("/stream.deb"), DownloadOutcome::kExited);
    EXPECT_EQ(fs::file_size(folder_ / "stream.deb"), 3000u);
    EXPECT_TRUE(progress_.shown.empty()) << "no length, no percentage";
}

// Sends a first block, then trickles until the client gives up.
void SlowInstaller(httplib::Server& server) {
    server.Get("/slow.exe", [](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(1 << 20, "application/octet-stream",
                                 [](size_t offset, size_t, httplib::DataSink& sink) {
                                     if (offset > 0) {
                                         std::this_thread::sleep_for(20ms);
                                     }
                                     std::string part = Payload(1024);
                                     return sink.write(part.data(), part.size());
                                 });
    });
}

TEST_F(DownloadTest, CancelOfAnOptionalUpgradeKeepsTheProgramRunning) {
    SlowInstaller(server_.server());
    server_.Start();
    progress_.cancel_on_first = &cancel_;
    EXPECT_EQ(Run("/slow.exe", 0), DownloadOutcome::kClosed);
    EXPECT_EQ(shell_.exits, 0);
    EXPECT_TRUE(shell_.opened.empty());
    EXPECT_EQ(failure_, DownloadFailure::kCancelled);
    EXPECT_TRUE(Entries(folder_).empty());
}

TEST_F(DownloadTest, CancelOfAForcedUpgradeEndsTheProgram) {
    SlowInstaller(server_.server());
    server_.Start();
    progress_.cancel_on_first = &cancel_;
    EXPECT_EQ(Run("/slow.exe", 1), DownloadOutcome::kExited);
    EXPECT_EQ(shell_.exits, 1);
    EXPECT_TRUE(shell_.failures.empty()) << "the user's own cancel needs no prompt";
    EXPECT_TRUE(shell_.opened.empty());
}

struct ExitingShell : Shell {
    bool Open(const std::string&) override { return false; }
    void ExitProcess() override { ExitProcessNow(); }
    void FailForcedUpgrade(const std::wstring&) override { ExitProcessNow(1); }
};

TEST_F(DownloadTest, ForcedCancelReallyEndsTheProcessWithCodeZero) {
    SlowInstaller(server_.server());
    server_.Start();
    progress_.cancel_on_first = &cancel_;
    DownloadRequest request;
    request.url = server_.BaseUrl() + "/slow.exe";
    request.force = 1;
    request.folder = folder_.string();
    request.cancel = &cancel_;
    request.check.signature = std::string(64, '\0');
    ExitingShell shell;
    EXPECT_EXIT((HttpDownload().Download(request, progress_, shell), std::exit(3)),
                ::testing::ExitedWithCode(0), "");
}

TEST_F(DownloadTest, RefusedStartIsLoggedAndTheDialogCloses) {
    ServeInstaller("/setup.deb", 400);
    server_.Start();
    shell_.accept = false;
    velquist::test::CaptureStderr();
    EXPECT_EQ(Run("/setup.deb", 1), DownloadOutcome::kStartFailed);
    std::string err = velquist::test::TakeCapturedStderr();
    EXPECT_NE(err.find("升级失败"), std::string::npos) << err;
    EXPECT_NE(err.find("httpdownload"), std::string::npos) << err;
    EXPECT_EQ(shell_.exits, 0);
}

TEST_F(DownloadTest, HttpsUrlIsFetchedOverTls) {
    server_.server().Get("/setup.exe", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("installer", "application/octet-stream");
    });
    server_.Start();
    DownloadRequest request{"https://127.0.0.1:" + std::to_string(server_.port()) + "/setup.exe",
                            0,
                            folder_.string(),
                            &cancel_,
                            {"", 0, std::string(64, '\0')}};
    // A plain-HTTP server cannot complete a TLS handshake, so nothing is started.
    EXPECT_EQ(HttpDownload().Download(request, progress_, shell_), DownloadOutcome::kClosed);
    EXPECT_TRUE(shell_.opened.empty());
}

TEST_F(DownloadTest, OnlyHttpAndHttpsAreFetchedEvenAfterARedirect) {
    fs::path secret = fs::path(getenv("HOME")) / "shadow";
    std::ofstream(secret) << "root:secret";
    server_.server().Get("/to-file/shadow", [&](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("file://" + secret.string());
    });
    server_.Start();

    for (const std::string& url :
         {"file://" + secret.string(), std::string("ftp://127.0.0.1/shadow"),
          "dict://127.0.0.1:" + std::to_string(server_.port()) + "/shadow"}) {
        EXPECT_EQ(RunUrl(url, 0, Unverifiable()), DownloadOutcome::kClosed) << url;
        EXPECT_EQ(failure_, DownloadFailure::kBadAddress) << url;
    }
    EXPECT_EQ(Run("/to-file/shadow"), DownloadOutcome::kClosed);
    EXPECT_NE(failure_, DownloadFailure::kNone);
    EXPECT_TRUE(shell_.opened.empty());
    EXPECT_TRUE(Entries(folder_).empty()) << "nothing was copied";

    EXPECT_EQ(RunUrl("file://" + secret.string(), 1, Unverifiable()), DownloadOutcome::kExited);
    EXPECT_EQ(shell_.failures, std::vector<std::wstring>{L"升级失败,下载地址无效!"});
}

TEST_F(DownloadTest, ManifestSizeIsTheLimitAndTheExpectedLength) {
    ServeBytes("/setup.exe", Payload(5000));
    ServeChunked("/stream.deb", 5000);
    server_.Start();

    EXPECT_EQ(Run("/setup.exe", 0, {"", 4000}), DownloadOutcome::kClosed);
    EXPECT_EQ(failure_, DownloadFailure::kTooLarge);
    EXPECT_EQ(Run("/setup.exe", 0, {"", 6000}), DownloadOutcome::kClosed);
    EXPECT_EQ(failure_, DownloadFailure::kSizeMismatch);
    EXPECT_EQ(Run("/stream.deb", 0, {"", 4000}), DownloadOutcome::kClosed)
        << "a body without a length is cut at the limit";
    EXPECT_EQ(failure_, DownloadFailure::kTooLarge);
    EXPECT_EQ(Run("/stream.deb", 0, {"", 6000}), DownloadOutcome::kClosed);
    EXPECT_EQ(failure_, DownloadFailure::kIncomplete);
    EXPECT_TRUE(Entries(folder_).empty());

    EXPECT_EQ(Run("/stream.deb", 0, {"", 5000}), DownloadOutcome::kExited);
    EXPECT_EQ(progress_.shown.back(), 100) << "the manifest's size gives the percentage";
    EXPECT_EQ(fs::file_size(folder_ / "stream.deb"), 5000u);
}

TEST_F(DownloadTest, WithoutASizeTheDefaultLimitHolds) {
    EXPECT_EQ(kDefaultInstallerLimit, 1024u * 1024u * 1024u);
    HttpDownload::SetDefaultLimit(64 * 1024);
    ServeBytes("/big.exe", Payload(100 * 1024));
    // An endless body: only the limit ends it.
    server_.server().Get("/endless.exe", [](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("application/octet-stream",
                                         [](size_t, httplib::DataSink& sink) {
                                             std::string part = Payload(4096);
                                             return sink.write(part.data(), part.size());
                                         });
    });
    server_.Start();
    EXPECT_EQ(Run("/big.exe"), DownloadOutcome::kClosed);
    EXPECT_EQ(failure_, DownloadFailure::kTooLarge);
    EXPECT_EQ(Run("/endless.exe", 1), DownloadOutcome::kExited);
    EXPECT_EQ(shell_.failures, std::vector<std::wstring>{L"升级失败,文件过大!"});
    EXPECT_TRUE(shell_.opened.empty());
    EXPECT_TRUE(Entries(folder_).empty());
}

TEST_F(DownloadTest, PublishedHashIsVerifiedBeforeTheInstallerOpens) {
    // SHA-256 of "abc" (FIPS 180-2 test vector).
    const std::string abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    ServeBytes("/other.exe", "abd");
    const std::string installer = ServeInstaller("/setup.deb", 300);
    server_.Start();

    EXPECT_EQ(Run("/other.exe", 0, {abc, 0}), DownloadOutcome::kClosed);
    EXPECT_EQ(failure_, DownloadFailure::kChecksum);
    EXPECT_TRUE(shell_.opened.empty()) << "a mismatch is never opened";
    EXPECT_TRUE(Entries(folder_).empty());
    EXPECT_EQ(Run("/other.exe", 1, {abc, 3}), DownloadOutcome::kExited);
    EXPECT_EQ(shell_.failures, std::vector<std::wstring>{L"升级失败,文件校验失败!"});

    EXPECT_EQ(Run("/setup.deb", 0, {Sha256Hex(installer), 300}), DownloadOutcome::kExited);
    fs::path saved = folder_ / "setup.deb";
    EXPECT_EQ(shell_.opened, std::vector<std::string>{saved.string()});
    EXPECT_EQ(ReadFile(saved), installer);
    EXPECT_EQ(fs::status(saved).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Entries(folder_), std::vector<std::string>{"setup.deb"});
}

TEST_F(DownloadTest, PercentageNeverPassesOneHundred) {
    // The HEAD announces less than the GET delivers.
    server_.server().Get("/grows.exe", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(Payload(req.method == "HEAD" ? 1000 : 10000), "application/octet-stream");
    });
    server_.Start();
    EXPECT_EQ(Run("/grows.exe"), DownloadOutcome::kClosed);
    EXPECT_EQ(failure_, DownloadFailure::kSizeMismatch);
    for (int percent : progress_.shown) {
        EXPECT_LE(percent, 100);
    }
    EXPECT_TRUE(Entries(folder_).empty());
}

TEST_F(DownloadTest, FolderThatCannotTakeTheFileFailsTheUpgrade) {
    ServeBytes("/setup.exe", "installer");
    server_.Start();
    DownloadRequest request;
    request.url = server_.BaseUrl() + "/setup.exe";
    request.force = 1;
    request.folder = (folder_ / "missing").string();
    request.check.signature = std::string(64, '\0');
    HttpDownload download;
    EXPECT_EQ(download.Download(request, progress_, shell_), DownloadOutcome::kExited);
    EXPECT_EQ(download.failure(), DownloadFailure::kCannotSave);
    EXPECT_EQ(shell_.failures, std::vector<std::wstring>{L"升级失败,无法保存文件!"});
}

TEST_F(DownloadTest, ForcedFailureReallyEndsTheProcessWithANonZeroCode) {
    server_.Start();
    DownloadRequest request;
    request.url = server_.BaseUrl() + "/missing.exe";
    request.force = 1;
    request.folder = folder_.string();
    request.check.signature = std::string(64, '\0');
    ExitingShell shell;
    EXPECT_EXIT((HttpDownload().Download(request, progress_, shell), std::exit(0)),
                ::testing::ExitedWithCode(1), "");
}

// Whatever the manifest and the server say, only a Debian package the maker signed is
// handed to the desktop; anything else fails as a failed check and leaves nothing behind.
TEST_F(DownloadTest, UnsignedWronglySignedOrNonDebInstallerIsNeverOpened) {
    testing::TestSigner stranger;
    const std::string package = ServeInstaller("/velquist.deb", 2000);
    const std::string desktop_entry = "[Desktop Entry]\nType=Application\nExec=sh -c id\n";
    ServeBytes("/velquist.desktop", Sign("/velquist.desktop", desktop_entry));
    std::atomic<int> requests{0};
    server_.server().set_logger(
        [&requests](const httplib::Request&, const httplib::Response&) { ++requests; });
    server_.Start();

    const std::string url = server_.BaseUrl() + "/velquist.deb";
    EXPECT_EQ(RunUrl(url, 0, {}), DownloadOutcome::kClosed) << "no signature";
    EXPECT_EQ(requests, 0) << "refused before the transfer";
    EXPECT_EQ(RunUrl(url, 0, stranger.CheckFor(package)), DownloadOutcome::kClosed);
    EXPECT_EQ(failure_, DownloadFailure::kChecksum);
    EXPECT_EQ(RunUrl(url, 0, signer_.CheckFor(package + "x")), DownloadOutcome::kClosed);
    EXPECT_EQ(failure_, DownloadFailure::kChecksum);
    EXPECT_EQ(Run("/velquist.desktop"), DownloadOutcome::kClosed) << "signed, but no package";
    EXPECT_EQ(failure_, DownloadFailure::kChecksum);
    const std::vector<std::string> no_keys;
    SetUpdatePublicKeysForTests(&no_keys);
    EXPECT_EQ(Run("/velquist.deb"), DownloadOutcome::kClosed) << "a build without keys";
    EXPECT_EQ(failure_, DownloadFailure::kChecksum);
    signer_.Install();
    EXPECT_TRUE(shell_.opened.empty());
    EXPECT_TRUE(Entries(folder_).empty());

    EXPECT_EQ(RunUrl(url, 1, stranger.CheckFor(package)), DownloadOutcome::kExited);
    EXPECT_EQ(RunUrl(url, 1, {}), DownloadOutcome::kExited);
    EXPECT_EQ(shell_.failures, std::vector<std::wstring>(2, L"升级失败,文件校验失败!"));
    EXPECT_EQ(shell_.exits, 0);

    EXPECT_EQ(Run("/velquist.deb"), DownloadOutcome::kExited);
    EXPECT_EQ(shell_.opened, std::vector<std::string>{(folder_ / "velquist.deb").string()});
}

TEST_F(DownloadTest, SavedInstallerAlwaysEndsInDeb) {
    EXPECT_EQ(InstallerFileName("http://h.test/velquist_1.0.2_amd64.deb"),
              "velquist_1.0.2_amd64.deb");
    EXPECT_EQ(InstallerFileName("http://h.test/Velquist.DEB?x=1"), "Velquist.DEB");
    EXPECT_EQ(InstallerFileName("http://h.test/run.desktop"), "run.desktop.deb");
    EXPECT_EQ(InstallerFileName("http://h.test/deb"), "deb.deb");
    EXPECT_EQ(InstallerFileName("http://h.test/a/.."), "");

    ServeInstaller("/latest", 700);
    server_.Start();
    EXPECT_EQ(Run("/latest"), DownloadOutcome::kExited);
    EXPECT_EQ(shell_.opened, std::vector<std::string>{(folder_ / "latest.deb").string()});
}

// Two bytes a second would never end the download on its own.
TEST_F(DownloadTest, DownloadSlowerThanTheLowSpeedLimitFailsAsNetworkError) {
    HttpDownload::SetStallTimeoutMs(1000, HttpDownload::kMinBytesPerSecond);
    std::atomic<bool> stop{false};
    server_.server().Get("/drip.deb", [&stop](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(1 << 20, "application/octet-stream",
                                 [&stop](size_t, size_t, httplib::DataSink& sink) {
                                     std::this_thread::sleep_for(50ms);
                                     return !stop && sink.write("dd", 2);
                                 });
    });
    server_.Start();
    EXPECT_EQ(Run("/drip.deb", 1), DownloadOutcome::kExited);
    stop = true;
    EXPECT_EQ(failure_, DownloadFailure::kNetwork);
    EXPECT_EQ(shell_.failures, std::vector<std::wstring>{L"升级失败,网络错误!"});
    EXPECT_TRUE(Entries(folder_).empty());
}

} // namespace
} // namespace velquist
