#include "support/heic_fixture.h"
#include "support/image_readers.h"
#include "support/temp_dir.h"
#include "tasks/worker_fence.h"
#include "thumbs/thumbnail_freedesktop.h"
#include "thumbs/thumbnail_uri.h"
#include "thumbs_test_util.h"
#include "util/handles.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <libheif/heif.h>
#include <linux/sched.h>
#include <map>
#include <seccomp.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace velquist::test {
namespace {

// Runs a program to its end; its exit code, or 128 + the signal that ended it.
int RunProgram(const std::vector<std::string>& args, bool emptyEnvironment = false) {
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    char* noVariables[] = {nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(),
                     emptyEnvironment ? noVariables : environ) != 0) {
        return -1;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int Thumbnail(const std::string& size, const std::string& input, const std::string& output) {
    return RunProgram({VELQUIST_THUMBNAILER, "-s", size, input, output});
}

// The PNG as a list picture, so the fixture checks of the list apply to it.
velquist::Thumbnail ReadThumbnailPng(const std::string& path) {
    DecodedImage png;
    EXPECT_EQ(ReadPng(path, &png), "");
    velquist::Thumbnail t;
    t.width = png.width;
    t.height = png.height;
    for (size_t i = 0; i < png.samples.size() / std::max(png.channels, 1); ++i) {
        for (int c = 0; c < 4; ++c) {
            const bool sample = c < png.channels;
            t.rgba.push_back(
                static_cast<uint8_t>(sample ? png.samples[i * png.channels + c] : 255));
        }
    }
    return t;
}

TEST(LocalPathOf, PathsAndFileUrisWithTheirBytes) {
    EXPECT_EQ(LocalPathOf("/photos/a%20b.heic"), "/photos/a%20b.heic"); // a path stays as is
    EXPECT_EQ(LocalPathOf("IMG_1.heic"), "IMG_1.heic");
    EXPECT_EQ(LocalPathOf("file:///photos/a%20b.heic"), "/photos/a b.heic");
    EXPECT_EQ(LocalPathOf("FILE://localhost/x%2fy"), "/x/y");
    EXPECT_EQ(LocalPathOf("file:///caf%E9.heic"), "/caf\xE9.heic");
    EXPECT_EQ(LocalPathOf("/odd/http://name"), "/odd/http://name");
    for (const char* refused : {"", "file:///a%00b", "file:///a%4", "file:///a%G0",
                                "file://server/share/a.heic", "smb://server/a.heic", "file://"}) {
        EXPECT_EQ(LocalPathOf(refused), std::nullopt) << refused;
    }
}

TEST(FreedesktopThumbnailer, UprightPictureWithinTheSizeAndNeverEnlarged) {
    TempDir dir;
    HeicImageSpec rotated;
    rotated.width = 320;
    rotated.height = 240;
    rotated.orientation = heif_orientation_rotate_90_cw;
    ASSERT_EQ(WriteHeic(dir.File("rotated.heic"), rotated), "");
    ASSERT_EQ(Thumbnail("128", dir.File("rotated.heic"), dir.File("rotated.png")), 0);
    const velquist::Thumbnail upright = ReadThumbnailPng(dir.File("rotated.png"));
    EXPECT_EQ(upright.width, 96);
    EXPECT_EQ(upright.height, 128);
    // Turned clockwise, the stored bottom-left quadrant is now at the top left.
    EXPECT_LE(Distance(upright, 24, 32, QuadrantColor(kBottomLeft)), 12);

    ASSERT_EQ(WriteHeic(dir.File("small.heic"), HeicImageSpec{}), ""); // 64 x 48
    ASSERT_EQ(Thumbnail("256", dir.File("small.heic"), dir.File("small.png")), 0);
    const velquist::Thumbnail small = ReadThumbnailPng(dir.File("small.png"));
    EXPECT_EQ(small.width, 64);
    EXPECT_EQ(small.height, 48);
    EXPECT_LE(QuadrantError(small), 12);
}

TEST(FreedesktopThumbnailer, StoredThumbnailOnlyWhenItFillsTheSize) {
    TempDir dir;
    const std::string photo = dir.File("phone.heic");
    const Rgb orange{230, 140, 20}; // no quadrant has it
    ASSERT_EQ(WriteHeicWithThumbnail(photo, 640, 480, 320, 240, orange), "");

    ASSERT_EQ(Thumbnail("256", photo, dir.File("256.png")), 0);
    const velquist::Thumbnail stored = ReadThumbnailPng(dir.File("256.png"));
    EXPECT_EQ(stored.width, 256);
    EXPECT_EQ(stored.height, 192);
    EXPECT_LE(Distance(stored, 10, 10, orange), 12);

    // Larger than what is stored: a blurry blow-up would do, a decode is sharp.
    ASSERT_EQ(Thumbnail("400", photo, dir.File("400.png")), 0);
    const velquist::Thumbnail decoded = ReadThumbnailPng(dir.File("400.png"));
    EXPECT_EQ(decoded.width, 400);
    EXPECT_EQ(decoded.height, 300);
    EXPECT_LE(QuadrantError(decoded), 12);

    // A thumbnail stored without the photo's rotation would show it on its side.
    ASSERT_EQ(
        WriteHeicWithThumbnail(photo, 640, 480, 320, 240, orange, heif_orientation_rotate_90_cw),
        "");
    ASSERT_EQ(Thumbnail("256", photo, dir.File("turned.png")), 0);
    const velquist::Thumbnail turned = ReadThumbnailPng(dir.File("turned.png"));
    EXPECT_EQ(turned.width, 192);
    EXPECT_EQ(turned.height, 256);
    EXPECT_GT(Distance(turned, 10, 10, orange), 60);
}

TEST(FreedesktopThumbnailer, BrokenFileFailsAndWritesNothing) {
    TempDir dir;
    ASSERT_EQ(WriteHeic(dir.File("whole.heic"), HeicImageSpec{}), "");
    const std::vector<uint8_t> whole = ReadFileBytes(dir.File("whole.heic"));
    std::ofstream(dir.File("cut.heic"), std::ios::binary)
        .write(reinterpret_cast<const char*>(whole.data()),
               static_cast<std::streamsize>(whole.size() * 2 / 3));
    std::ofstream(dir.File("text.heic")) << "not a photo\n";
    TempDir out; // the folder a file manager hands over holds nothing else
    for (const char* name : {"cut.heic", "text.heic", "missing.heic"}) {
        EXPECT_NE(Thumbnail("128", dir.File(name), out.File("thumb.png")), 0) << name;
        EXPECT_FALSE(std::filesystem::exists(out.File("thumb.png"))) << name;
    }
    EXPECT_EQ(Thumbnail("12px", dir.File("text.heic"), out.File("thumb.png")), 2);
    EXPECT_TRUE(std::filesystem::is_empty(out.Path())) << "leftovers in the output folder";
}

TEST(FreedesktopThumbnailer, FileUriOfANameThatIsNotUtf8) {
    TempDir dir;
    const std::string photo = dir.File("caf\xE9 #1.heic"); // Latin-1, as old cards name files
    ASSERT_EQ(WriteHeic(photo, HeicImageSpec{}), "");
    ASSERT_EQ(Thumbnail("32", "file://" + dir.Path() + "/caf%E9%20%231.heic", dir.File("out.png")),
              0);
    EXPECT_EQ(ReadThumbnailPng(dir.File("out.png")).width, 32);
}

struct SeccompDeleter {
    void operator()(scmp_filter_ctx ctx) const { seccomp_release(ctx); }
};
using SeccompPtr = std::unique_ptr<void, SeccompDeleter>;

// A filter of the kind file managers put on thumbnailers (a sample of what they forbid): no
// new namespaces, keys, kernel logs or NUMA calls, no sockets but local ones, clone3
// unknown (threads fall back to clone).
// Written to a descriptor the child inherits, for bwrap --seccomp.
UniqueFd ThumbnailerSeccompFilter() {
    SeccompPtr ctx(seccomp_init(SCMP_ACT_ALLOW));
    for (const int call :
         {SCMP_SYS(syslog), SCMP_SYS(keyctl), SCMP_SYS(mbind), SCMP_SYS(set_mempolicy),
          SCMP_SYS(unshare), SCMP_SYS(mount), SCMP_SYS(ptrace), SCMP_SYS(perf_event_open)}) {
        seccomp_rule_add(ctx.get(), SCMP_ACT_ERRNO(EPERM), call, 0);
    }
    seccomp_rule_add(ctx.get(), SCMP_ACT_ERRNO(EPERM), SCMP_SYS(clone), 1,
                     SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_NEWUSER, CLONE_NEWUSER));
    seccomp_rule_add(ctx.get(), SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0);
    seccomp_rule_add(ctx.get(), SCMP_ACT_ERRNO(EAFNOSUPPORT), SCMP_SYS(socket), 1,
                     SCMP_A0(SCMP_CMP_NE, AF_UNIX));
    UniqueFd fd(::memfd_create("thumbnailer-seccomp", 0));
    if (fd.Get() < 0 || seccomp_export_bpf(ctx.get(), fd.Get()) != 0 ||
        ::lseek(fd.Get(), 0, SEEK_SET) != 0) {
        return UniqueFd(-1);
    }
    return fd;
}

// As GNOME runs a thumbnailer: read-only /usr, the photo under a fixed name in the output
// folder, that folder as /tmp and the only thing writable, no network, no home, no
// environment, the seccomp filter above.
std::vector<std::string> SandboxCommand(const std::string& photo, const std::string& outDir,
                                        int seccompFd) {
    return {
        "bwrap", "--ro-bind", "/usr", "/usr", "--ro-bind", "/etc/ld.so.cache", "/etc/ld.so.cache",
        "--ro-bind-try", "/etc/alternatives", "/etc/alternatives", "--symlink", "usr/lib", "/lib",
        "--symlink", "usr/lib64", "/lib64", "--symlink", "usr/bin", "/bin", "--symlink", "usr/sbin",
        "/sbin", "--proc", "/proc", "--dev", "/dev", "--chdir", "/", "--setenv", "GIO_USE_VFS",
        "local", "--unshare-all", "--die-with-parent", "--bind", outDir, "/tmp", "--ro-bind", photo,
        "/tmp/gnome-desktop-file-to-thumbnail.heic",
        // The program is not installed under /usr here: it joins read-only.
        "--ro-bind", VELQUIST_THUMBNAILER, "/opt/velquist-thumbnailer", "--seccomp",
        std::to_string(seccompFd), "/opt/velquist-thumbnailer", "-s", "256",
        "file:///tmp/gnome-desktop-file-to-thumbnail.heic", "/tmp/gnome-desktop-thumbnailer.png"};
}

TEST(FreedesktopThumbnailer, WorksInTheFileManagersSandbox) {
    if (velquist::kSanitizedBuild) {
        // The sanitizer's runtime needs more of the system than the file manager's sandbox
        // and its filter let in.
        GTEST_SKIP() << "sanitized build: the sandbox leaves the sanitizer's runtime out";
    }
    if (RunProgram({"bwrap", "--ro-bind", "/", "/", "--unshare-all", "true"}) != 0) {
        GTEST_SKIP() << "bwrap (Debian package bubblewrap) missing or not allowed here";
    }
    TempDir dir;
    TempDir out;
    ASSERT_EQ(WriteHeicWithThumbnail(dir.File("photo.heic"), 640, 480, 160, 120, {}), "");
    UniqueFd filter = ThumbnailerSeccompFilter();
    ASSERT_GE(filter.Get(), 0);
    ASSERT_EQ(RunProgram(SandboxCommand(dir.File("photo.heic"), out.Path(), filter.Get()), true),
              0);
    const velquist::Thumbnail t = ReadThumbnailPng(out.File("gnome-desktop-thumbnailer.png"));
    EXPECT_EQ(t.width, 256);
    EXPECT_EQ(t.height, 192);
    EXPECT_LE(QuadrantError(t), 12); // decoded: the stored one is too small
}

std::map<std::string, std::string> ReadKeyFile(const std::string& path, std::string* group) {
    std::ifstream in(path);
    std::map<std::string, std::string> keys;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (line.front() == '[' && line.back() == ']') {
            *group = line.substr(1, line.size() - 2);
            continue;
        }
        const size_t equals = line.find('=');
        EXPECT_NE(equals, std::string::npos) << "not a key: " << line;
        EXPECT_TRUE(keys.emplace(line.substr(0, equals), line.substr(equals + 1)).second)
            << "key twice: " << line;
    }
    return keys;
}

// desktop-file-validate knows only .desktop files (it rejects this group), so the entry's
// keys are checked here.
TEST(ThumbnailerEntry, NamesTheProgramItsArgumentsAndTheTypesItDecodes) {
    std::string group;
    std::map<std::string, std::string> keys = ReadKeyFile(VELQUIST_THUMBNAILER_ENTRY, &group);
    EXPECT_EQ(group, "Thumbnailer Entry");
    EXPECT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys["TryExec"], "velquist-thumbnailer");
    EXPECT_EQ(keys["Exec"], "velquist-thumbnailer -s %s %u %o");
    heif_init(nullptr);
    const bool av1 = heif_have_decoder_for_format(heif_compression_AV1) != 0;
    heif_deinit();
    EXPECT_EQ(keys["MimeType"], std::string("image/heic;image/heif;") + (av1 ? "image/avif;" : ""));
}

} // namespace
} // namespace velquist::test
