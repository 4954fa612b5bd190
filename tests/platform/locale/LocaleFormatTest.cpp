#include <gtest/gtest.h>

#include "platform/locale/DateTimeFormat.h"
#include "platform/locale/DecimalFormat.h"

namespace corvaline {
namespace {

TEST(DecimalFormatTest, GroupsAndPointsAsTheLocaleHasIt) {
    DecimalFormat english("en_US", 2);
    EXPECT_EQ(english.format(1000, 0), "1,000");
    EXPECT_EQ(english.format(1000, 2), "1,000.00");
    EXPECT_EQ(english.format(2, 2), "2.00");
    EXPECT_EQ(english.format(1.499, 0), "1.5");  // at most two fraction digits
    EXPECT_EQ(english.format(-5, 0), "-5");
    DecimalFormat german("de_DE", 2);
    EXPECT_EQ(german.format(1234.5, 2), "1.234,50");
}

TEST(DateTimeFormatTest, ComparesDaysInItsOwnTimeZone) {
    using namespace std::chrono;
    const sys_days day{2024y / 3 / 10};
    const auto late = day + 23h;  // 23:00 UTC, already the next day in Berlin
    DateTimeFormat utc(DateTimeFormat::Style::none, DateTimeFormat::Style::shortStyle, "en_US",
                       "UTC");
    DateTimeFormat berlin(DateTimeFormat::Style::none, DateTimeFormat::Style::shortStyle, "en_US",
                          "Europe/Berlin");
    EXPECT_TRUE(utc.isSameDay(day + 1h, late));
    EXPECT_FALSE(berlin.isSameDay(day + 1h, late));
    DateTimeFormat de(DateTimeFormat::Style::mediumStyle, DateTimeFormat::Style::shortStyle,
                      "de_DE", "UTC");
    EXPECT_EQ(de.format(day + 14h + 5min), "10.03.2024, 14:05");
}

}  // namespace
}  // namespace corvaline
