#include "support/temp_dir.h"
#include "thumbs/thumbnail_cache.h"

#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace velquist::test {
namespace {

ThumbnailResult Picture(size_t bytes) {
    ThumbnailResult r;
    r.ok = true;
    r.thumbnail.width = 1;
    r.thumbnail.height = 1;
    r.thumbnail.rgba.assign(bytes, 1);
    return r;
}

TEST(ThumbnailCache, EntryIsValidForOneVersionOfTheFile) {
    ThumbnailCache cache;
    const FileStamp v1{100, 5};
    cache.Store("a.heic", v1, Picture(16));
    ASSERT_NE(cache.Find("a.heic", v1), nullptr);
    EXPECT_EQ(cache.Find("a.heic", FileStamp{100, 6}), nullptr); // touched
    EXPECT_EQ(cache.Find("a.heic", v1), nullptr);                // the stale entry went
    EXPECT_EQ(cache.Entries(), 0u);
    // Names are bytes: these are two different files.
    cache.Store(std::string("b\xff"), v1, Picture(16));
    EXPECT_EQ(cache.Find(std::string("b\xfe"), v1), nullptr);
    EXPECT_NE(cache.Find(std::string("b\xff"), v1), nullptr);
    // Failures are remembered too.
    cache.Store("broken.heic", v1, ThumbnailResult::Failure("cannot read"));
    EXPECT_EQ(cache.Find("broken.heic", v1)->error, "cannot read");
}

TEST(ThumbnailCache, StaysWithinItsEntryAndByteBudgets) {
    ThumbnailCache byCount({3, size_t{1} << 30});
    for (int i = 0; i < 5; ++i) {
        byCount.Store(std::to_string(i), {1, 1}, Picture(8));
    }
    EXPECT_EQ(byCount.Entries(), 3u);
    EXPECT_EQ(byCount.Find("0", {1, 1}), nullptr);
    EXPECT_NE(byCount.Find("4", {1, 1}), nullptr);

    ThumbnailCache byBytes({1000, 100'000});
    for (int i = 0; i < 100; ++i) {
        byBytes.Store(std::to_string(i), {1, 1}, Picture(36'864)); // one 96 x 96 picture
        // The one in view is used again and again, so it stays.
        ASSERT_NE(byBytes.Find("0", {1, 1}), nullptr) << i;
    }
    EXPECT_LE(byBytes.Bytes(), 100'000u);
    EXPECT_EQ(byBytes.Entries(), 2u);
}

TEST(FileStamp, ChangesWithContentOrTime) {
    TempDir dir;
    const std::string path = dir.File("x.heic");
    std::ofstream(path) << "12345";
    const auto before = StampOf(path);
    ASSERT_TRUE(before.has_value());
    EXPECT_EQ(before->size, 5u);
    const timespec times[2] = {{0, UTIME_OMIT}, {1'700'000'000, 1}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_NE(StampOf(path), before);
    EXPECT_FALSE(StampOf(dir.Path()).has_value()); // a folder has no thumbnail
    EXPECT_FALSE(StampOf(dir.File("missing")).has_value());
}

} // namespace
} // namespace velquist::test
