#include "core/model/transfer/OutgoingWalk.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "support/TempFolder.h"

namespace corvaline {
namespace {

namespace fs = std::filesystem;

void makeFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

TEST(OutgoingWalkTest, AFolderSendsItsFilesButNotItsEmptyFolders) {
    testing::TempFolder root;
    makeFile(root.path() / "Docs" / "a.txt", "hello");
    fs::create_directories(root.path() / "Docs" / "e");
    ::chmod((root.path() / "Docs" / "a.txt").c_str(), 0640);
    const auto files = walkOutgoingFiles({root.path() / "Docs/"});
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0]->file_path, "Docs");
    EXPECT_EQ(files[0]->file_name, "a.txt");
    EXPECT_EQ(files[0]->bytesTotal, 5);
    EXPECT_EQ(files[0]->permissions, 0640u);
    EXPECT_EQ(files[0]->fileFullPath, (root.path() / "Docs" / "a.txt").string());
}

TEST(OutgoingWalkTest, NestedFoldersJoinWithBackslashesAndAFileAloneHasNoPath) {
    testing::TempFolder root;
    makeFile(root.path() / "x" / "y" / "report.pdf", "pdf");
    makeFile(root.path() / "Docs" / "sub" / "deeper" / "b.bin", "");
    const auto files = walkOutgoingFiles(
        {root.path() / "x" / "y" / "report.pdf", root.path() / "Docs", root.path() / "missing"});
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0]->file_path, "");
    EXPECT_EQ(files[0]->file_name, "report.pdf");
    EXPECT_EQ(files[1]->file_path, "Docs\\sub\\deeper");
    EXPECT_EQ(files[1]->file_name, "b.bin");
    EXPECT_EQ(files[1]->bytesTotal, 0);
}

}  // namespace
}  // namespace corvaline
