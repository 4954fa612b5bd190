#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

struct ifaddrs;

namespace corvaline {

// One broadcast target the user keeps in the settings: a single address (type 1), a subnet
// given by address and mask (type 2) or a range of addresses (type 3). Validates the typed
// texts, has a stored form in the user default "broadcasts", and enumerates the addresses
// presence is sent to. Main thread only.
class BroadcastItem {
  public:
    // How far the last address of a range may lie beyond the first.
    static constexpr std::uint32_t kLongestRange = 10000;

    BroadcastItem() = default;

    std::int64_t type() const { return type_; }
    void setType(std::int64_t type) { type_ = type; }
    const std::string& FirstValue() const { return firstValue_; }
    void setFirstValue(std::string text) { firstValue_ = std::move(text); }
    const std::string& SecondValue() const { return secondValue_; }
    void setSecondValue(std::string text) { secondValue_ = std::move(text); }
    const std::string& look() const { return look_; }
    void setLook(std::string look) { look_ = std::move(look); }
    // Addresses in network byte order.
    std::uint32_t value1() const { return value1_; }
    void setValue1(std::uint32_t value) { value1_ = value; }
    std::uint32_t value2() const { return value2_; }
    void setValue2(std::uint32_t value) { value2_ = value; }

    // The address in network byte order, or 0 when the text is not four dotted numbers that
    // inet_aton accepts (0.0.0.0 counts as no address).
    static std::uint32_t isIp(std::string_view text);
    // What keeps the typed texts from making a target, so that the window can say so.
    enum class Fault { None, FirstAddress, SecondAddress, RangeReversed, RangeTooLong };
    Fault fault() const;
    // Checks the entry and fills in value1, value2 and look; an invalid entry keeps its look.
    bool validate();

    // The stored form: "look", "type", "value1", "value2", all texts; the values are the
    // address bytes in network order read as a little-endian number.
    nlohmann::json dictionary() const;
    static BroadcastItem broadcastItemFromDictionary(const nlohmann::json& dictionary);

    // The next target address as dotted text; none when the entry is exhausted, and the next
    // call starts again from the first. A subnet yields its broadcast address (the network
    // address it is stored as reaches nobody on Linux).
    std::optional<std::string> enumerate();

    // The broadcast addresses of the IPv4 interfaces, those beginning "127" left out.
    static std::vector<std::string> defaultBroadcasts();
    static std::vector<std::string> broadcastsOf(const ifaddrs* interfaces);

  private:
    std::int64_t type_ = 0;
    std::string firstValue_;
    std::string secondValue_;
    std::string look_;
    std::uint32_t value1_ = 0;
    std::uint32_t value2_ = 0;
    std::uint32_t enumerator_ = 0;  // host order; 0 before the first address
};

}  // namespace corvaline
