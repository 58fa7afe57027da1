#include "support/temp_dir.h"
#include "tasks/output_names.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velquist {
namespace {

using test::TempDir;
namespace fs = std::filesystem;

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(OutputNames, TheExistingFilePolicyDecidesAboutEarlierFilesOnly) {
    TempDir dir;
    Write(dir.File("a.jpg"), "an earlier output");
    struct Case {
        ExistingFile policy;
        std::string path;
        bool skip;
        bool replace;
    };
    for (const Case& c : {Case{ExistingFile::kOverwrite, "a.jpg", false, true},
                          Case{ExistingFile::kSkip, "a.jpg", true, false},
                          Case{ExistingFile::kRename, "a (2).jpg", false, false}}) {
        OutputNames names;
        const OutputClaim claim = names.Claim(dir.File("a.jpg"), 1, c.policy);
        EXPECT_EQ(claim.path, dir.File(c.path));
        EXPECT_EQ(claim.skip, c.skip);
        EXPECT_EQ(claim.replace, c.replace);
    }
    OutputNames names;
    const OutputClaim free = names.Claim(dir.File("b.jpg"), 1, ExistingFile::kOverwrite);
    EXPECT_EQ(free.path, dir.File("b.jpg"));
    EXPECT_FALSE(free.replace) << "a free name is created, never replaced";
}

TEST(OutputNames, NoOutputLandsOnAnInputWhateverItsName) {
    TempDir dir;
    Write(dir.File("a.heic"), "photo a");
    Write(dir.File("b.heic"), "photo b, longer");
    ASSERT_EQ(::link(dir.File("a.heic").c_str(), dir.File("a.jpg").c_str()), 0);
    // A copy with the same size and time: where inode numbers cannot be trusted, nothing
    // proves it is not the input.
    fs::copy_file(dir.File("b.heic"), dir.File("b.jpg"));
    fs::last_write_time(dir.File("b.jpg"), fs::last_write_time(dir.File("b.heic")));
    OutputNames names;
    names.AddInput(1, dir.File("a.heic"));
    names.AddInput(2, dir.File("b.heic"));
    for (const char* stem : {"a", "b"}) {
        const OutputClaim claim =
            names.Claim(dir.File(std::string(stem) + ".jpg"), 1, ExistingFile::kOverwrite);
        EXPECT_EQ(claim.path, dir.File(std::string(stem) + " (2).jpg"));
        EXPECT_FALSE(claim.replace);
    }
    // Once the entry is gone, its file is an earlier file like any other.
    names.RemoveInput(1);
    names.EndBatch();
    EXPECT_EQ(names.Claim(dir.File("a.jpg"), 1, ExistingFile::kOverwrite).path, dir.File("a.jpg"));
}

TEST(OutputNames, OutputsOfOneBatchNeverShareANameAndTheNextBatchMayReuseThem) {
    TempDir dir;
    OutputNames names;
    EXPECT_EQ(names.Claim(dir.File("x.jpg"), 1, ExistingFile::kOverwrite).path, dir.File("x.jpg"));
    EXPECT_EQ(names.Claim(dir.File("./x.jpg"), 1, ExistingFile::kOverwrite).path,
              dir.File("./x (2).jpg"))
        << "another spelling of the same folder";
    // A file of three images needs x (3).jpg, x (3)-2.jpg and x (3)-3.jpg; an earlier file
    // under one of the other images' names moves it on, even when skipping.
    Write(dir.File("x (3)-2.jpg"), "earlier");
    EXPECT_EQ(names.Claim(dir.File("x.jpg"), 3, ExistingFile::kSkip).path, dir.File("x (4).jpg"));
    names.EndBatch();
    EXPECT_EQ(names.Claim(dir.File("x.jpg"), 1, ExistingFile::kOverwrite).path, dir.File("x.jpg"));
}

TEST(OutputNames, CaseIsFoldedOnlyWhereTheFolderFoldsIt) {
    TempDir dir;
    EXPECT_FALSE(FolderFoldsCase(dir.Path())) << "the test folder is expected on ext4 or tmpfs";
    EXPECT_TRUE(fs::is_empty(dir.Path())) << "the probe file is gone";
    OutputNames names;
    EXPECT_EQ(names.Claim(dir.File("IMG.jpg"), 1, ExistingFile::kOverwrite).path,
              dir.File("IMG.jpg"));
    EXPECT_EQ(names.Claim(dir.File("img.jpg"), 1, ExistingFile::kOverwrite).path,
              dir.File("img.jpg"));

    EXPECT_EQ(CaseFolded("img.jpg"), CaseFolded("IMG.JPG"));
    EXPECT_EQ(CaseFolded("\xC3\xA9t\xC3\xA9"), CaseFolded("\xC3\x89T\xC3\x89")); // été, ÉTÉ
    EXPECT_EQ(CaseFolded("\xE7\x85\xA7\xFF"), "\xE7\x85\xA7\xFF") << "no case, bytes kept";
}

} // namespace
} // namespace velquist
