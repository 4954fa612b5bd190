#include "core/model/transfer/SafeNames.h"

#include <gtest/gtest.h>

namespace corvaline {
namespace {

TEST(SafeNamesTest, ReceivedPathsStayBelowTheirFolder) {
    using Folders = std::vector<std::string>;
    EXPECT_EQ(confinedFolderPath(""), Folders{});
    EXPECT_EQ(confinedFolderPath("Docs"), Folders{"Docs"});
    EXPECT_EQ(confinedFolderPath("Docs\\sub\\deeper"), (Folders{"Docs", "sub", "deeper"}));
    EXPECT_EQ(confinedFolderPath("Docs/sub"), (Folders{"Docs", "sub"}));
    EXPECT_EQ(confinedFolderPath("..a\\b..\\...."), (Folders{"..a", "b..", "...."}));
    for (const char* hostile :
         {"..", "Docs\\..\\..", "\\etc", "/etc", "Docs\\", "a\\\\b", "a\\.\\b", "Docs/../x"}) {
        EXPECT_FALSE(confinedFolderPath(hostile)) << hostile;
    }
    EXPECT_FALSE(confinedFolderPath(std::string("a\0b", 3)));
}

TEST(SafeNamesTest, FileNamesAreOneComponent) {
    EXPECT_TRUE(isSafeFileName("report.pdf"));
    EXPECT_TRUE(isSafeFileName("..hidden"));
    for (const char* hostile : {"", ".", "..", "a/b", "a\\b", "/etc/passwd"}) {
        EXPECT_FALSE(isSafeFileName(hostile)) << hostile;
    }
    EXPECT_FALSE(isSafeFileName(std::string("a\0b", 3)));
}

TEST(SafeNamesTest, ASendersNameBecomesOneFolderName) {
    EXPECT_EQ(safeFolderName("Anna Berg"), "Anna Berg");
    EXPECT_EQ(safeFolderName("../../etc"), ".._.._etc");
    EXPECT_EQ(safeFolderName("a\\b\nc"), "a_b_c");
    EXPECT_EQ(safeFolderName(".."), "_");
    EXPECT_EQ(safeFolderName(""), "_");
    // Cut to the limit, never inside a character.
    EXPECT_EQ(safeFolderName("abЖ", 3), "ab");
    EXPECT_EQ(safeFolderName(std::string(300, 'x')).size(), 200u);
}

}  // namespace
}  // namespace corvaline
