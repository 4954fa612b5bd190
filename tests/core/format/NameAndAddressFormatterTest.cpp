#include <gtest/gtest.h>

#include "core/format/GroupAndUserNameFormatter.h"
#include "core/format/IPFormatter.h"

namespace corvaline {
namespace {

TEST(GroupAndUserNameFormatterTest, CleansUserNamesOnlyAndRevertsEmptiedNames) {
    GroupAndUserNameFormatter users(true);
    EXPECT_EQ(users.isPartialStringValid("a:b*c"), (PartialCheck{false, "abc"}));
    EXPECT_EQ(users.isPartialStringValid("%<>:\"/\\|?*"), (PartialCheck{false, ""}));
    EXPECT_EQ(users.isPartialStringValid("Ren\xC3\xA9 Lee"),
              (PartialCheck{true, "Ren\xC3\xA9 Lee"}));
    EXPECT_EQ(users.stringForObjectValue("x/y"), "xy");
    EXPECT_EQ(users.stringForObjectValue(std::nullopt), std::nullopt);

    GroupAndUserNameFormatter groups;
    EXPECT_EQ(groups.isPartialStringValid("a:b*c"), (PartialCheck{true, "a:b*c"}));
    groups.textShouldBeginEditing("Friends");
    EXPECT_EQ(groups.getObjectValue(""), "Friends");
    EXPECT_EQ(groups.getObjectValue("Work"), "Work");
}

TEST(IPFormatterTest, CorrectsPartialAddresses) {
    struct Case {
        const char* typed;
        const char* proposed;
        bool valid;
    };
    const std::vector<Case> cases = {
        {"192.168.1.10", "192.168.1.10", true},
        {"192.", "192.", true},
        {"", "", true},
        {"0", "", false},
        {"00", "", false},
        {"010", "10", false},
        {"1.010", "1.10", false},
        {"300", "30.0", false},
        {"256", "25.6", false},
        {"1921", "192.1", false},
        {"2560", "25.60", false},
        {"1921.5", "192.15", false},
        {"1.2.3.4.5", "1.2.3.4", false},
        {"1..2", "1.2", false},
        {".1", "1", false},
        {"0.5", "5", false},
        {"1a2b", "12", false},
        {"99999999999999999999", "99.99.99.99", false},
    };
    IPFormatter formatter;
    for (const Case& c : cases) {
        EXPECT_EQ(formatter.isPartialStringValid(c.typed), (PartialCheck{c.valid, c.proposed}))
            << c.typed;
    }
}

TEST(IPFormatterTest, CompletesAddressesToFourParts) {
    IPFormatter formatter;
    EXPECT_EQ(formatter.getObjectValue(""), "0.0.0.0");
    EXPECT_EQ(formatter.getObjectValue("10.1"), "10.1.0.0");
    EXPECT_EQ(formatter.getObjectValue("10..1."), "10.0.1.0");
    EXPECT_EQ(formatter.stringForObjectValue(std::nullopt), "0.0.0.0");
    EXPECT_EQ(formatter.stringForObjectValue("1.2.3.4"), "1.2.3.4");
}

}  // namespace
}  // namespace corvaline
