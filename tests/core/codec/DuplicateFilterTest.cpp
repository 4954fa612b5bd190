#include "core/codec/DuplicateFilter.h"

#include <gtest/gtest.h>

#include <string>

namespace corvaline {
namespace {

std::string idOf(std::size_t n) {
    return std::to_string(1000000 + n);
}

ByteView bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(DuplicateFilterTest, RemembersExactlyTheLastSixtyIdsAfterManyRounds) {
    constexpr std::size_t kCapacity = DuplicateFilter::kCapacity;
    DuplicateFilter filter;
    const ByteView same = bytesOf("the same packet");
    const std::size_t total = 3 * kCapacity + 7;
    for (std::size_t n = 0; n < total; ++n) {
        ASSERT_TRUE(filter.CanContinueWithId(idOf(n), same)) << n;
    }
    // A refused repeat is not remembered again, so asking changes nothing.
    for (std::size_t n = total - kCapacity; n < total; ++n) {
        EXPECT_FALSE(filter.CanContinueWithId(idOf(n), same)) << n;
    }
    EXPECT_TRUE(filter.CanContinueWithId(idOf(total - kCapacity - 1), same));
    EXPECT_TRUE(filter.CanContinueWithId(idOf(total - kCapacity), same))
        << "the oldest gave way to the one just remembered";
    // Ids that share a prefix or differ only in length stay apart.
    EXPECT_TRUE(filter.CanContinueWithId(idOf(total - 1) + "0", same));
    EXPECT_TRUE(filter.CanContinueWithId("", same));
    EXPECT_FALSE(filter.CanContinueWithId("", same));
}

TEST(DuplicateFilterTest, AnIdDrawnAgainForOtherContentsIsNoRepeat) {
    DuplicateFilter filter;
    ASSERT_TRUE(filter.CanContinueWithId("4711000", bytesOf("message one")));
    EXPECT_TRUE(filter.CanContinueWithId("4711000", bytesOf("message two")));
    EXPECT_TRUE(filter.CanContinueWithId("4711000", bytesOf("")));
    // Each of them is remembered in its own right.
    EXPECT_FALSE(filter.CanContinueWithId("4711000", bytesOf("message one")));
    EXPECT_FALSE(filter.CanContinueWithId("4711000", bytesOf("message two")));
    EXPECT_FALSE(filter.CanContinueWithId("4711000", bytesOf("")));
    EXPECT_TRUE(filter.CanContinueWithId("4711001", bytesOf("message one")));
}

}  // namespace
}  // namespace corvaline
