#include "core/model/transfer/SingleFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "support/TempFolder.h"

namespace corvaline {
namespace {

namespace fs = std::filesystem;

std::string contentOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::unique_ptr<SingleFile> incoming(const std::string& path, const std::string& name,
                                     const std::string& size) {
    auto file = std::make_unique<SingleFile>();
    file->file_path = path;
    file->file_name = name;
    file->file_size = size;
    return file;
}

// Every path below `folder`, sorted.
std::vector<std::string> tree(const fs::path& folder) {
    std::vector<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        paths.push_back(entry.path().lexically_relative(folder).string());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

TEST(SingleFileTest, AReceivedFileLooksCompleteOnlyOnceItIs) {
    testing::TempFolder folder;
    auto file = incoming("Docs\\sub", "a.txt", "6");
    file->file_permissions = std::to_string(04755);
    ASSERT_TRUE(file->prepareFolderAndStream(folder.path()));
    const fs::path target = folder.path() / "Docs" / "sub" / "a.txt";
    EXPECT_EQ(file->fileFullPath, target.string());
    ASSERT_TRUE(file->write(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>("abcdef"), 6)));
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(tree(folder.path()),
              (std::vector<std::string>{"Docs", "Docs/sub", "Docs/sub/a.txt.partial"}));
    ASSERT_TRUE(file->releaseStream());
    EXPECT_EQ(contentOf(target), "abcdef");
    // The set-id bit from the network is dropped.
    EXPECT_EQ(fs::status(target).permissions(), static_cast<fs::perms>(0755));
    EXPECT_EQ(tree(folder.path()),
              (std::vector<std::string>{"Docs", "Docs/sub", "Docs/sub/a.txt"}));
}

TEST(SingleFileTest, AnUnfinishedFileIsRemovedAndAnOldOneReplacedOnlyWhenComplete) {
    testing::TempFolder folder;
    std::ofstream(folder.path() / "a.txt") << "old";
    {
        auto file = incoming("", "a.txt", "10");
        ASSERT_TRUE(file->prepareFolderAndStream(folder.path()));
        file->discardStream();
    }
    {
        auto file = incoming("", "a.txt", "10");
        ASSERT_TRUE(file->prepareFolderAndStream(folder.path()));
    }  // dropped unfinished
    EXPECT_EQ(tree(folder.path()), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(contentOf(folder.path() / "a.txt"), "old");
    auto file = incoming("", "a.txt", "3");
    ASSERT_TRUE(file->prepareFolderAndStream(folder.path()));
    ASSERT_TRUE(file->write(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>("new"), 3)));
    ASSERT_TRUE(file->releaseStream());
    EXPECT_EQ(contentOf(folder.path() / "a.txt"), "new");
}

TEST(SingleFileTest, EveryNameTheFileSystemHoldsIsReceivedAndOnlyThose) {
    testing::TempFolder folder;
    std::string twoByte;
    for (int i = 0; i < 127; ++i) {
        twoByte += "\xC3\xA9";  // the cut of the partial name must not split one of these
    }
    const std::string names[] = {std::string(248, 'a'), std::string(250, 'b'),
                                 std::string(255, 'c'), twoByte + "d"};
    for (const auto& name : names) {
        SCOPED_TRACE(name.size());
        auto file = incoming("", name, "2");
        ASSERT_TRUE(file->prepareFolderAndStream(folder.path()));
        // A second file of the same name under way at once gets a partial name of its own.
        auto twin = incoming("", name, "2");
        ASSERT_TRUE(twin->prepareFolderAndStream(folder.path()));
        twin->discardStream();
        ASSERT_TRUE(file->write(
            std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>("ok"), 2)));
        ASSERT_TRUE(file->releaseStream());
        EXPECT_EQ(contentOf(folder.path() / name), "ok");
    }
    EXPECT_EQ(tree(folder.path()).size(), std::size(names));
    EXPECT_FALSE(incoming("", std::string(256, 'e'), "2")->prepareFolderAndStream(folder.path()));
    EXPECT_EQ(tree(folder.path()).size(), std::size(names));
}

TEST(SingleFileTest, HostileHeadersAreRefusedWithoutWritingAnything) {
    testing::TempFolder outside;
    const fs::path folder = outside.path() / "transfer";
    fs::create_directories(folder);
    fs::create_directory_symlink(outside.path(), folder / "link");
    fs::create_directories(folder / "taken");
    struct Case {
        const char* path;
        const char* name;
        const char* size;
    };
    const Case cases[] = {
        {"..", "evil", "1"},
        {"a\\..\\..", "evil", "1"},
        {"\\tmp", "evil", "1"},
        {"/tmp", "evil", "1"},
        {"", "../evil", "1"},
        {"", "a\\evil", "1"},
        {"", "..", "1"},
        {"", "", "0"},
        {"link", "evil", "1"},
        {"link\\x", "evil", "1"},
        {"", "taken", "1"},
        {"", "evil", "-1"},
        {"", "evil", "abc"},
        {"", "evil", ""},
        {"", "evil", "1e3"},
        {"", "evil", "99999999999999999999999"},
        {"", "evil", "1125899906842625"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(incoming(c.path, c.name, c.size)->prepareFolderAndStream(folder))
            << c.path << " " << c.name << " " << c.size;
    }
    EXPECT_EQ(tree(outside.path()),
              (std::vector<std::string>{"transfer", "transfer/link", "transfer/taken"}));
}

TEST(SingleFileTest, AnOutgoingFileThatChangesSizeStopsTheRead) {
    testing::TempFolder folder;
    const fs::path path = folder.path() / "a.bin";
    std::ofstream(path, std::ios::binary) << "0123456789";
    SingleFile file;
    file.fileFullPath = path.string();
    file.bytesTotal = 10;
    ASSERT_TRUE(file.prepareStream());
    std::array<std::uint8_t, 4> data{};
    EXPECT_TRUE(file.read(data, 0));
    std::ofstream(path, std::ios::binary | std::ios::app) << "more";
    EXPECT_FALSE(file.read(data, 4));
    fs::resize_file(path, 6);
    EXPECT_FALSE(file.read(data, 4));
    file.bytesTotal = 7;
    EXPECT_FALSE(file.prepareStream());
    fs::remove(path);
    EXPECT_FALSE(file.prepareStream());
}

}  // namespace
}  // namespace corvaline
