#include "convert/heif_header.h"
#include "support/temp_dir.h"

#include <cstdint>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace velquist::test {
namespace {

// Boxes built byte by byte, for files no encoder would write.
using Data = std::vector<std::uint8_t>;

void Put(Data& out, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

void Append(Data& out, const Data& more) {
    out.insert(out.end(), more.begin(), more.end());
}

Data MakeBox(const char* type, const Data& payload) {
    Data box;
    Put(box, payload.size() + 8, 4);
    box.insert(box.end(), type, type + 4);
    Append(box, payload);
    return box;
}

Data FullBox(const char* type, int version, std::uint32_t flags, const Data& payload) {
    Data body;
    Put(body, static_cast<std::uint64_t>(version), 1);
    Put(body, flags, 3);
    Append(body, payload);
    return MakeBox(type, body);
}

Data Ftyp() {
    return MakeBox("ftyp",
                   {'h', 'e', 'i', 'c', 0, 0, 0, 0, 'm', 'i', 'f', '1', 'h', 'e', 'i', 'c'});
}

Data Infe(std::uint32_t id, const char* type) {
    Data e;
    Put(e, id, 4);
    Put(e, 0, 2);
    e.insert(e.end(), type, type + 4);
    e.push_back(0); // empty name
    return FullBox("infe", 3, 0, e);
}

// iinf with hvc1 items 1..count; pitm names item 1.
Data Items(std::uint32_t count) {
    Data entries;
    Put(entries, count > 0xFFFF ? 0xFFFF : count, 2);
    for (std::uint32_t id = 1; id <= count; ++id) {
        Append(entries, Infe(id, "hvc1"));
    }
    Data pitm;
    Put(pitm, 1, 2);
    Data out = FullBox("pitm", 0, 0, pitm);
    Append(out, FullBox("iinf", 0, 0, entries));
    return out;
}

// The primary's ispe (width x height) through ipco and ipma.
Data PrimarySize(std::uint32_t width, std::uint32_t height) {
    Data ispe;
    Put(ispe, width, 4);
    Put(ispe, height, 4);
    Data ipma;
    Put(ipma, 1, 4); // entries
    Put(ipma, 1, 2); // item 1
    Put(ipma, 1, 1); // one association
    Put(ipma, 0x81, 1);
    Data iprp = MakeBox("ipco", FullBox("ispe", 0, 0, ispe));
    Append(iprp, FullBox("ipma", 0, 0, ipma));
    return MakeBox("iprp", iprp);
}

Data Meta(const Data& children) {
    return FullBox("meta", 0, 0, children);
}

std::string Write(const TempDir& dir, const std::string& name, const Data& bytes) {
    const std::string path = dir.File(name);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

Data SmallPhoto() {
    Data meta = Items(1);
    Append(meta, PrimarySize(640, 480));
    Data file = Ftyp();
    Append(file, Meta(meta));
    return file;
}

TEST(HeifHeaderReader, ReadsABuiltFileAndAMetaBoxRunningToTheEnd) {
    TempDir dir;
    const HeifHeader header = ReadHeifHeader(Write(dir, "small.heic", SmallPhoto()));
    ASSERT_TRUE(header.parsed);
    EXPECT_EQ(header.width, 640u);
    EXPECT_EQ(header.height, 480u);
    EXPECT_EQ(header.imageCount, 1);

    // A size of 0 makes the meta box the last one, running to the end of the file.
    Data open = SmallPhoto();
    const std::size_t metaAt = Ftyp().size();
    open[metaAt] = open[metaAt + 1] = open[metaAt + 2] = open[metaAt + 3] = 0;
    EXPECT_TRUE(ReadHeifHeader(Write(dir, "open.heic", open)).parsed);
}

// Sizes that point backwards, to themselves, or past their parent end the walk.
TEST(HeifHeaderReader, BoxSizesThatLeadNowhereEndTheWalk) {
    TempDir dir;
    // 40 bytes: after ftyp, a 64-bit size that wraps around to the start of the file.
    Data loop = Ftyp();
    Append(loop, {0, 0, 0, 1, 'f', 'r', 'e', 'e'});
    Put(loop, ~std::uint64_t{0} - 23, 8);
    ASSERT_EQ(loop.size(), 40u);
    EXPECT_FALSE(ReadHeifHeader(Write(dir, "loop.heic", loop)).parsed);
    EXPECT_EQ(ReadHeifExifItem(dir.File("loop.heic")), "");

    // The same box in front of a real meta box, and one whose 64-bit size overshoots.
    Data before = loop;
    Append(before, Meta(Items(1)));
    EXPECT_FALSE(ReadHeifHeader(Write(dir, "before.heic", before)).parsed);
    Data huge = Ftyp();
    Append(huge, {0, 0, 0, 1, 'f', 'r', 'e', 'e'});
    Put(huge, std::uint64_t{1} << 62, 8);
    Append(huge, SmallPhoto());
    EXPECT_FALSE(ReadHeifHeader(Write(dir, "huge.heic", huge)).parsed);

    // A box of size 0 other than the meta box is the file's last: nothing after it counts.
    Data last = Ftyp();
    Append(last, {0, 0, 0, 0, 'm', 'd', 'a', 't'});
    Append(last, SmallPhoto());
    EXPECT_FALSE(ReadHeifHeader(Write(dir, "last.heic", last)).parsed);

    // Inside the meta box, a child of size 0 ends its parent.
    Data inner = Items(1);
    Append(inner, {0, 0, 0, 0, 'f', 'r', 'e', 'e', 1, 2, 3});
    Data file = Ftyp();
    Append(file, Meta(inner));
    EXPECT_TRUE(ReadHeifHeader(Write(dir, "inner.heic", file)).parsed);
}

// Item locations with fields of zero bytes and 65535 extents each: the extents are read
// in one step, not walked.
TEST(HeifHeaderReader, EmptyExtentsAreSteppedOver) {
    TempDir dir;
    constexpr std::uint32_t kItems = 60000;
    Data iloc;
    Put(iloc, 0, 2); // all field sizes 0
    Put(iloc, kItems, 2);
    for (std::uint32_t id = 1; id <= kItems; ++id) {
        Put(iloc, id, 2);
        Put(iloc, 0, 2);      // data reference
        Put(iloc, 0xFFFF, 2); // extents
    }
    Data meta = Items(1);
    Append(meta, FullBox("iloc", 0, 0, iloc));
    Append(meta, PrimarySize(64, 64));
    Data file = Ftyp();
    Append(file, Meta(meta));
    EXPECT_TRUE(ReadHeifHeader(Write(dir, "extents.heic", file)).parsed);
}

// A meta box just under the 16 MiB it may have, with as many items as a file may hold and
// a million auxiliary references, is read in one pass (the test's time limit guards it).
TEST(HeifHeaderReader, LargestMetaBoxIsReadInOnePass) {
    TempDir dir;
    constexpr std::uint32_t kItems = 1u << 16;
    Data meta = Items(kItems);
    // Item 2 names every item as the one it is the auxiliary image of, over and over.
    Data iref;
    for (int box = 0; box < 15; ++box) {
        Data refs;
        Put(refs, 2, 2);
        Put(refs, 0xFFFF, 2);
        for (std::uint32_t to = 1; to <= 0xFFFF; ++to) {
            Put(refs, to, 2);
        }
        Append(iref, MakeBox("auxl", refs));
    }
    Append(meta, FullBox("iref", 0, 0, iref));
    Append(meta, PrimarySize(4032, 3024));
    const std::size_t room = (std::size_t{16} << 20) - 4 - meta.size() - 8;
    Append(meta, MakeBox("free", Data(room, 0)));
    Data file = Ftyp();
    Append(file, Meta(meta));
    ASSERT_EQ(file.size(), Ftyp().size() + 8 + (std::size_t{16} << 20));

    const HeifHeader header = ReadHeifHeader(Write(dir, "wide.heic", file));
    ASSERT_TRUE(header.parsed);
    EXPECT_EQ(header.width, 4032u);
    EXPECT_TRUE(header.hasAlpha);
    EXPECT_EQ(header.imageCount, static_cast<int>(kItems) - 1); // item 2 is an alpha plane
}

TEST(HeifHeaderReader, FilesPastALimitAreNotRead) {
    TempDir dir;
    // The entry count is 16 bits, but nothing else limits what iinf holds.
    Data file = Ftyp();
    Append(file, Meta(Items((1u << 16) + 1)));
    EXPECT_FALSE(ReadHeifHeader(Write(dir, "items.heic", file)).parsed);

    Data meta = Items(1);
    Append(meta, PrimarySize(64, 64));
    Append(meta, MakeBox("free", Data(std::size_t{16} << 20, 0)));
    Data over = Ftyp();
    Append(over, Meta(meta));
    EXPECT_FALSE(ReadHeifHeader(Write(dir, "over.heic", over)).parsed);
}

// A named pipe in the list neither blocks the opening nor the reading.
TEST(HeifHeaderReader, NamedPipeIsNoFile) {
    TempDir dir;
    const std::string fifo = dir.File("pipe.heic");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(ReadHeifHeader(fifo).parsed);
    EXPECT_EQ(ReadHeifExifItem(fifo), "");
}

} // namespace
} // namespace velquist::test
