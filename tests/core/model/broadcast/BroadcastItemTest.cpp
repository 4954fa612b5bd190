#include "core/model/broadcast/BroadcastItem.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <net/if.h>

namespace corvaline {
namespace {

std::vector<std::string> allAddresses(BroadcastItem& item) {
    std::vector<std::string> addresses;
    while (auto address = item.enumerate()) {
        addresses.push_back(*address);
    }
    return addresses;
}

BroadcastItem entry(std::int64_t type, std::string first, std::string second = {}) {
    BroadcastItem item;
    item.setType(type);
    item.setFirstValue(std::move(first));
    item.setSecondValue(std::move(second));
    return item;
}

TEST(BroadcastItemTest, OnlyFourDottedNumbersAreAddresses) {
    const struct {
        const char* text;
        bool address;
    } cases[] = {
        {"192.168.1.1", true}, {"192.168.1", false}, {"300.1.1.1", false}, {"0.0.0.0", false},
        {"1.2.3.4.5", false},  {"", false},          {"a.b.c.d", false},   {"10.0.0.255", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BroadcastItem::isIp(c.text) != 0, c.address) << c.text;
    }
    EXPECT_EQ(BroadcastItem::isIp("10.0.0.1"), inet_addr("10.0.0.1"));
}

TEST(BroadcastItemTest, RangesMayHoldAtMost10001Addresses) {
    const struct {
        const char* last;
        bool valid;
    } cases[] = {
        {"10.0.39.17", true}, {"10.0.39.18", false}, {"10.0.0.0", false}, {"10.0.0.1", true}};
    for (const auto& c : cases) {
        auto item = entry(3, "10.0.0.1", c.last);
        item.setLook("before");
        EXPECT_EQ(item.validate(), c.valid) << c.last;
        EXPECT_EQ(item.look(), c.valid ? "10.0.0.1-" + std::string(c.last) : "before");
    }
    auto widest = entry(3, "10.0.0.1", "10.0.39.17");
    ASSERT_TRUE(widest.validate());
    EXPECT_EQ(allAddresses(widest).size(), 10001u);
}

TEST(BroadcastItemTest, TheFaultSaysWhichTextKeepsAnEntryFromValidating) {
    using Fault = BroadcastItem::Fault;
    const struct {
        std::int64_t type;
        const char* first;
        const char* second;
        Fault fault;
    } cases[] = {
        {1, "192.168.1.255", "", Fault::None},
        {1, "192.168.1", "", Fault::FirstAddress},
        {2, "0.0.0.0", "255.255.255.0", Fault::FirstAddress},
        {2, "192.168.1.7", "", Fault::SecondAddress},
        {3, "10.0.0.1", "10.0.0", Fault::SecondAddress},
        {3, "10.0.0.9", "10.0.0.2", Fault::RangeReversed},
        {3, "10.0.0.1", "10.0.39.18", Fault::RangeTooLong},
        {3, "10.0.0.1", "10.0.39.17", Fault::None},
    };
    for (const auto& c : cases) {
        auto item = entry(c.type, c.first, c.second);
        EXPECT_EQ(item.fault(), c.fault) << c.first << " " << c.second;
        EXPECT_EQ(item.validate(), c.fault == Fault::None) << c.first << " " << c.second;
    }
}

TEST(BroadcastItemTest, SubnetIsStoredAsItsNetworkAddressAndYieldsItsBroadcastAddress) {
    auto item = entry(2, "192.168.1.77", "255.255.255.0");
    ASSERT_TRUE(item.validate());
    EXPECT_EQ(item.look(), "192.168.1.77/255.255.255.0");
    const auto stored = item.dictionary();
    EXPECT_EQ(stored, (nlohmann::json{{"look", "192.168.1.77/255.255.255.0"},
                                      {"type", "2"},
                                      {"value1", "108736"},
                                      {"value2", "16777215"}}));
    auto loaded = BroadcastItem::broadcastItemFromDictionary(stored);
    // The subnet is reached through its broadcast address.
    EXPECT_EQ(allAddresses(loaded), std::vector<std::string>{"192.168.1.255"});
    // Exhausted once, the entry starts again.
    EXPECT_EQ(loaded.enumerate(), "192.168.1.255");
    const std::pair<const char*, const char*> masks[] = {{"255.255.0.0", "10.1.255.255"},
                                                         {"255.255.255.255", "10.1.2.3"},
                                                         {"255.255.255.252", "10.1.2.3"},
                                                         {"255.255.255.248", "10.1.2.7"}};
    for (const auto& [mask, broadcast] : masks) {
        auto subnet = entry(2, "10.1.2.3", mask);
        ASSERT_TRUE(subnet.validate());
        EXPECT_EQ(allAddresses(subnet), std::vector<std::string>{broadcast}) << mask;
    }
}

TEST(BroadcastItemTest, StoredRangeWithHighAddressesComesBackWhole) {
    auto item = entry(3, "192.168.1.253", "192.168.1.255");
    ASSERT_TRUE(item.validate());
    auto loaded = BroadcastItem::broadcastItemFromDictionary(item.dictionary());
    EXPECT_EQ(loaded.look(), "192.168.1.253-192.168.1.255");
    EXPECT_EQ(allAddresses(loaded),
              (std::vector<std::string>{"192.168.1.253", "192.168.1.254", "192.168.1.255"}));
}

TEST(BroadcastItemTest, InterfaceBroadcastsSkipLoopbackAndNonBroadcastInterfaces) {
    sockaddr_in addresses[6] = {};
    auto ipv4 = [&](int index, const char* text) {
        addresses[index].sin_family = AF_INET;
        inet_pton(AF_INET, text, &addresses[index].sin_addr);
        return reinterpret_cast<sockaddr*>(&addresses[index]);
    };
    ifaddrs loopback{}, lan{}, pointToPoint{};
    loopback.ifa_flags = IFF_BROADCAST;
    loopback.ifa_addr = ipv4(0, "127.0.0.1");
    loopback.ifa_broadaddr = ipv4(1, "127.255.255.255");
    lan.ifa_flags = IFF_BROADCAST | IFF_UP;
    lan.ifa_addr = ipv4(2, "192.168.1.7");
    lan.ifa_broadaddr = ipv4(3, "192.168.1.255");
    pointToPoint.ifa_flags = IFF_POINTOPOINT;
    pointToPoint.ifa_addr = ipv4(4, "10.8.0.2");
    pointToPoint.ifa_dstaddr = ipv4(5, "10.8.0.1");
    loopback.ifa_next = &lan;
    lan.ifa_next = &pointToPoint;
    EXPECT_EQ(BroadcastItem::broadcastsOf(&loopback), std::vector<std::string>{"192.168.1.255"});
}

}  // namespace
}  // namespace corvaline
