#include <gtest/gtest.h>

#include "core/format/ByteCountFormatter.h"
#include "core/format/DateFormatter.h"

namespace corvaline {
namespace {

TEST(ByteCountFormatterTest, StepsUnitsOnlyAboveOneThousand) {
    ByteCountFormatter formatter({"bytes", "KB", "MB", "GB"}, "en_US");
    const std::vector<std::pair<std::int64_t, std::string>> cases = {
        {0, "0 bytes"},
        {-12, "-12 bytes"},
        {1000, "1,000 bytes"},
        {1001, "1.00 KB"},
        {1000000, "1,000.00 KB"},
        {1500000, "1.50 MB"},
        {999999999999, "1,000.00 GB"},
        {1000000000001, "1.00 TB"},
        {INT64_MAX, "9.22 EB"},
    };
    for (const auto& [count, text] : cases) {
        EXPECT_EQ(formatter.stringFromByteCount(count), text) << count;
    }
    ByteCountFormatter german({"Byte", "KB", "MB", "GB"}, "de_DE");
    EXPECT_EQ(german.stringFromByteCount(1500000), "1,50 MB");
    EXPECT_EQ(german.stringFromByteCount(1000), "1.000 Byte");
}

TEST(DateFormatterTest, ShowsTheTimeAloneForToday) {
    using namespace std::chrono;
    DateFormatter formatter("de_DE", "UTC");
    const auto now = sys_days{2024y / 3 / 10} + 15h;
    EXPECT_EQ(formatter.format(now - 2h, false, now), "13:00");
    EXPECT_EQ(formatter.format(now - 2h, true, now), "10.03.2024, 13:00");
    EXPECT_EQ(formatter.format(now - 24h, false, now), "09.03.2024, 15:00");
    EXPECT_EQ(formatter.format(std::nullopt, false, now), "15:00");
}

}  // namespace
}  // namespace corvaline
