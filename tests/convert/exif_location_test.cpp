#include "convert/exif_block.h"
#include "convert/exif_location.h"
#include "convert/heif_handles.h"
#include "convert_test_util.h"
#include "exif_tiff_builder.h"
#include "support/testdata.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <set>

namespace velquist::test {
namespace {

struct ExiftoolView {
    std::set<std::string> tags;     // "-Group:Tag=value" without file-system facts
    std::set<std::string> warnings; // what -validate finds
    bool HasGps() const {
        return std::any_of(tags.begin(), tags.end(),
                           [](const std::string& t) { return t.rfind("-GPS:", 0) == 0; });
    }
    std::set<std::string> WithoutGps() const {
        std::set<std::string> rest;
        for (const auto& t : tags) {
            if (t.rfind("-GPS:", 0) != 0) {
                rest.insert(t);
            }
        }
        return rest;
    }
};

// exiftool is an independent reader: what it sees is what photo tools will see.
ExiftoolView ReadWithExiftool(const std::vector<uint8_t>& tiff) {
    TempDir dir;
    const std::string path = dir.File("block.exif");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(tiff.data()),
               static_cast<std::streamsize>(tiff.size()));
    const std::string command =
        "exiftool -a -G1 -n -e -args -all -validate -warning '" + path + "' 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    ExiftoolView view;
    if (!pipe) {
        return view;
    }
    char line[4096];
    while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        if (text.rfind("-ExifTool:Warning=", 0) == 0) {
            view.warnings.insert(text);
        } else if (text.rfind("-System:", 0) != 0 && text.rfind("-ExifTool:", 0) != 0) {
            view.tags.insert(text);
        }
    }
    return view;
}

bool HaveExiftool() {
    return std::system("exiftool -ver >/dev/null 2>&1") == 0;
}

#define REQUIRE_EXIFTOOL()                                                                         \
    do {                                                                                           \
        if (!HaveExiftool())                                                                       \
            GTEST_SKIP() << "exiftool is not installed (libimage-exiftool-perl)";                  \
    } while (0)

bool Contains(const std::vector<uint8_t>& haystack, const std::vector<uint8_t>& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

// The location is gone for every reader and everything else reads as before.
void ExpectOnlyLocationRemoved(const std::vector<uint8_t>& before,
                               const std::vector<uint8_t>& after) {
    const ExiftoolView original = ReadWithExiftool(before);
    const ExiftoolView edited = ReadWithExiftool(after);
    ASSERT_TRUE(original.HasGps()) << "the input should carry a location";
    EXPECT_FALSE(edited.HasGps());
    EXPECT_EQ(edited.tags, original.WithoutGps());
    for (const auto& warning : edited.warnings) {
        EXPECT_TRUE(original.warnings.count(warning)) << "new complaint: " << warning;
    }
    EXPECT_EQ(after.size(), before.size());
}

std::vector<uint8_t> RealExif(const std::string& name) {
    HeifContextPtr ctx(heif_context_alloc());
    heif_image_handle* raw = nullptr;
    if (heif_context_read_from_file(ctx.get(), HeicTestdataFile(name).c_str(), nullptr).code !=
            heif_error_Ok ||
        heif_context_get_primary_image_handle(ctx.get(), &raw).code != heif_error_Ok) {
        return {};
    }
    HeifHandlePtr handle(raw);
    size_t size = 0;
    std::unique_ptr<uint8_t, decltype(&std::free)> block(FindExifBlock(handle.get(), &size),
                                                         &std::free);
    return ExifTiffData(block.get(), size);
}

TEST(RemoveExifLocation, GeneratedBlocksKeepEverythingButTheLocation) {
    REQUIRE_EXIFTOOL();
    for (bool little : {true, false}) {
        SCOPED_TRACE(little ? "II" : "MM");
        const std::vector<uint8_t> original = MakeExifWithLocation(little);
        std::vector<uint8_t> tiff = original;
        ASSERT_EQ(RemoveExifLocation(tiff), LocationRemoval::kRemoved);
        ExpectOnlyLocationRemoved(original, tiff);
        // Unreferenced is not enough: the coordinates must not stay in the bytes.
        EXPECT_TRUE(Contains(original, LatitudeBytes(little)));
        EXPECT_FALSE(Contains(tiff, LatitudeBytes(little)));
        EXPECT_EQ(ExifOrientation(tiff), 1);
        // The thumbnail at the end of the block is untouched.
        EXPECT_TRUE(std::equal(tiff.end() - 64, tiff.end(), original.end() - 64));
        // A second pass finds nothing left to do.
        EXPECT_EQ(RemoveExifLocation(tiff), LocationRemoval::kNoLocation);
    }
}

TEST(RemoveExifLocation, BlocksWithoutLocationStayAsTheyAre) {
    for (bool little : {true, false}) {
        const std::vector<uint8_t> original = MakeTiffExif(little, 6, 200);
        std::vector<uint8_t> tiff = original;
        EXPECT_EQ(RemoveExifLocation(tiff), LocationRemoval::kNoLocation);
        EXPECT_EQ(tiff, original);
    }
}

TEST(RemoveExifLocation, GpsPointerAsOnlyOrLastEntry) {
    REQUIRE_EXIFTOOL();
    for (bool little : {true, false}) {
        const TiffBuilder b(little);
        const TiffDirectory gps{
            {b.Ascii(0x0001, "S"), b.Rationals(0x0002, {{33, 1}, {52, 1}, {0, 1}})}};
        // Only entry: IFD0 ends up empty, which is still a valid directory.
        std::vector<uint8_t> alone = b.Build({{{TiffBuilder::Pointer(0x8825, 1)}}, gps});
        ASSERT_EQ(RemoveExifLocation(alone), LocationRemoval::kRemoved);
        EXPECT_FALSE(ReadWithExiftool(alone).HasGps());
        // Last entry, followed by IFD1: the next-IFD offset must move with the entries.
        const std::vector<uint8_t> original =
            b.Build({{{b.Ascii(0x010F, "Maker"), TiffBuilder::Pointer(0x8825, 1)}, 2},
                     gps,
                     {{b.Short(0x0103, 6), b.Long(0x0100, 160), b.Long(0x0101, 120)}}});
        std::vector<uint8_t> last = original;
        ASSERT_EQ(RemoveExifLocation(last), LocationRemoval::kRemoved);
        ExpectOnlyLocationRemoved(original, last);
    }
}

TEST(RemoveExifLocation, RealPhotosInBothByteOrders) {
    VELQUIST_REQUIRE_HEIC_TESTDATA();
    REQUIRE_EXIFTOOL();
    // An iPhone photo (Motorola order) and one with Intel order and empty coordinates.
    for (const char* name : {"mde_IMG_1034.heic", "mde_Issue_487.heic"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> original = RealExif(name);
        ASSERT_FALSE(original.empty());
        std::vector<uint8_t> tiff = original;
        ASSERT_EQ(RemoveExifLocation(tiff), LocationRemoval::kRemoved);
        ExpectOnlyLocationRemoved(original, tiff);
    }
}

TEST(RemoveExifLocation, BlocksReadBackFromHeicFixtures) {
    REQUIRE_EXIFTOOL();
    TempDir dir;
    for (bool little : {true, false}) {
        HeicImageSpec spec;
        spec.exif = MakeExifWithLocation(little);
        const std::string path = MakeFixture(dir, little ? "ii.heic" : "mm.heic", spec);
        HeifContextPtr ctx(heif_context_alloc());
        ASSERT_EQ(heif_context_read_from_file(ctx.get(), path.c_str(), nullptr).code,
                  heif_error_Ok);
        heif_image_handle* raw = nullptr;
        ASSERT_EQ(heif_context_get_primary_image_handle(ctx.get(), &raw).code, heif_error_Ok);
        HeifHandlePtr handle(raw);
        Diagnostics diag(false);
        const std::vector<uint8_t> original = ExtractExifForOutput(handle.get(), diag);
        ASSERT_EQ(original, spec.exif);
        std::vector<uint8_t> tiff = original;
        ASSERT_EQ(RemoveExifLocation(tiff), LocationRemoval::kRemoved);
        ExpectOnlyLocationRemoved(original, tiff);
    }
}

// Sets a 32-bit value in the block's byte order.
void Poke32(std::vector<uint8_t>& tiff, size_t at, uint32_t v) {
    const bool little = tiff[0] == 'I';
    for (int i = 0; i < 4; ++i) {
        tiff[at + static_cast<size_t>(i)] =
            static_cast<uint8_t>(v >> (little ? 8 * i : 8 * (3 - i)));
    }
}

// Offset of the value field of IFD0's GPS pointer in MakeExifWithLocation (7th entry).
constexpr size_t kGpsPointerValue = 8 + 2 + 6 * 12 + 8;
constexpr size_t kGpsPointerType = 8 + 2 + 6 * 12 + 2;

void ExpectRefusedUnchanged(std::vector<uint8_t> tiff) {
    const std::vector<uint8_t> before = tiff;
    EXPECT_EQ(RemoveExifLocation(tiff), LocationRemoval::kMalformed);
    EXPECT_EQ(tiff, before);
}

TEST(RemoveExifLocation, HostileBlocksAreRefusedWithoutChange) {
    for (bool little : {true, false}) {
        SCOPED_TRACE(little ? "II" : "MM");
        const std::vector<uint8_t> good = MakeExifWithLocation(little);
        std::vector<uint8_t> t = good;
        Poke32(t, kGpsPointerValue, 0xFFFFFFF0u); // GPS directory beyond the end
        ExpectRefusedUnchanged(t);
        t = good;
        Poke32(t, kGpsPointerValue, 8); // GPS "directory" is IFD0 itself
        ExpectRefusedUnchanged(t);
        t = good;
        Poke32(t, kGpsPointerValue, static_cast<uint32_t>(good.size() - 3)); // cut directory
        ExpectRefusedUnchanged(t);
        t = good;
        t[kGpsPointerType + (little ? 0 : 1)] = 2; // pointer of type ASCII
        ExpectRefusedUnchanged(t);
        t = good;
        Poke32(t, 4, static_cast<uint32_t>(good.size())); // IFD0 outside
        ExpectRefusedUnchanged(t);
        ExpectRefusedUnchanged({'I', 'I', 42, 0});
        ExpectRefusedUnchanged({'X', 'X', 0, 42, 0, 0, 0, 8, 0, 0});
        ExpectRefusedUnchanged({});
    }
}

TEST(RemoveExifLocation, LoopsEndAndStillRemoveTheLocation) {
    for (bool little : {true, false}) {
        const TiffBuilder b(little);
        // IFD0 names itself as next directory and as Exif IFD; the Exif IFD points back.
        std::vector<uint8_t> tiff =
            b.Build({{{b.Ascii(0x010F, "Loop"), TiffBuilder::Pointer(0x8769, 0),
                       TiffBuilder::Pointer(0x8825, 1)},
                      0},
                     {{b.Rationals(0x0002, {{1, 1}, {2, 1}, {3, 1}})}, 1}});
        EXPECT_EQ(RemoveExifLocation(tiff), LocationRemoval::kRemoved);
    }
}

TEST(RemoveExifLocation, TruncatedAndCorruptedBlocksNeverReadOutside) {
    // Every result is either a clean removal or the block untouched; run under the
    // sanitizer build this also proves no byte outside the block is read.
    for (bool little : {true, false}) {
        const std::vector<uint8_t> good = MakeExifWithLocation(little);
        for (size_t size = 0; size < good.size(); ++size) {
            std::vector<uint8_t> t(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
            const std::vector<uint8_t> before = t;
            if (RemoveExifLocation(t) != LocationRemoval::kRemoved) {
                EXPECT_EQ(t, before) << "cut at " << size;
            }
        }
        std::mt19937 random(little ? 1 : 2);
        for (int round = 0; round < 3000; ++round) {
            std::vector<uint8_t> t = good;
            for (int flips = 0; flips < 1 + round % 4; ++flips) {
                t[random() % t.size()] = static_cast<uint8_t>(random());
            }
            const std::vector<uint8_t> before = t;
            const LocationRemoval result = RemoveExifLocation(t);
            ASSERT_EQ(t.size(), before.size());
            if (result != LocationRemoval::kRemoved) {
                EXPECT_EQ(t, before);
            }
        }
    }
}

} // namespace
} // namespace velquist::test
