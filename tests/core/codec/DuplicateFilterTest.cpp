#include "core/codec/DuplicateFilter.h"

#include <gtest/gtest.h>

#include <string>

namespace corvaline {
namespace {

std::string idOf(std::size_t n) {
    return std::to_string(1000000 + n);
}

TEST(DuplicateFilterTest, RemembersExactlyTheLastSixtyIdsAfterManyRounds) {
    constexpr std::size_t kCapacity = DuplicateFilter::kCapacity;
    DuplicateFilter filter;
    const std::size_t total = 3 * kCapacity + 7;
    for (std::size_t n = 0; n < total; ++n) {
        ASSERT_TRUE(filter.CanContinueWithId(idOf(n))) << n;
    }
    // A refused repeat is not remembered again, so asking changes nothing.
    for (std::size_t n = total - kCapacity; n < total; ++n) {
        EXPECT_FALSE(filter.CanContinueWithId(idOf(n))) << n;
    }
    EXPECT_TRUE(filter.CanContinueWithId(idOf(total - kCapacity - 1)));
    EXPECT_TRUE(filter.CanContinueWithId(idOf(total - kCapacity)))
        << "the oldest gave way to the one just remembered";
    // Ids that share a prefix or differ only in length stay apart.
    EXPECT_TRUE(filter.CanContinueWithId(idOf(total - 1) + "0"));
    EXPECT_TRUE(filter.CanContinueWithId(""));
    EXPECT_FALSE(filter.CanContinueWithId(""));
}

}  // namespace
}  // namespace corvaline
