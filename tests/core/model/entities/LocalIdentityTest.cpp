#include "core/model/entities/LocalIdentity.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/TempFolder.h"

namespace corvaline {
namespace {

TEST(LocalIdentityTest, UserIdComesFromTheMachineAndTheAccount) {
    const auto id = userIdForMachine("4f1c2a9e0b7d4e3f8a6b5c4d3e2f1a0b", 1000);
    ASSERT_TRUE(id);
    EXPECT_EQ(id->size(), 10u);
    EXPECT_EQ(id->front(), 'A');
    EXPECT_EQ(id->find_first_not_of("0123456789", 1), std::string::npos);
    EXPECT_NE((*id)[1], '0');
    EXPECT_EQ(userIdForMachine("4f1c2a9e0b7d4e3f8a6b5c4d3e2f1a0b", 1000), id);
    EXPECT_NE(userIdForMachine("0b1a2f3e4d5c6b7a8f3e4d7b0e9a2c1f", 1000), id);
    EXPECT_NE(userIdForMachine("4f1c2a9e0b7d4e3f8a6b5c4d3e2f1a0b", 1001), id);
    EXPECT_EQ(userIdForMachine("", 1000), std::nullopt);
}

TEST(LocalIdentityTest, MachineIdIsReadFromTheFirstFileThatHasOne) {
    testing::TempFolder folder;
    const auto empty = folder.path() / "empty";
    const auto filled = folder.path() / "filled";
    std::ofstream(empty) << "\n";
    std::ofstream(filled) << "abc123\n";
    EXPECT_EQ(readMachineId({folder.path() / "missing", empty, filled}), "abc123");
    EXPECT_EQ(readMachineId({folder.path() / "missing"}), std::nullopt);
}

}  // namespace
}  // namespace corvaline
