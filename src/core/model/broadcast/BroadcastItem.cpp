#include "core/model/broadcast/BroadcastItem.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <charconv>
#include <cstring>

namespace corvaline {

namespace {

// The four bytes of a network-order address as they lie in memory, read little-endian.
std::uint32_t storedNumber(std::uint32_t networkOrder) {
    unsigned char bytes[4];
    std::memcpy(bytes, &networkOrder, 4);
    return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
           (static_cast<std::uint32_t>(bytes[3]) << 24);
}

std::uint32_t fromStoredNumber(std::uint32_t number) {
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(number), static_cast<unsigned char>(number >> 8),
        static_cast<unsigned char>(number >> 16), static_cast<unsigned char>(number >> 24)};
    std::uint32_t networkOrder = 0;
    std::memcpy(&networkOrder, bytes, 4);
    return networkOrder;
}

// The leading integer of a stored text (or a number stored as such); 0 for anything else.
std::int64_t integerOf(const nlohmann::json& value) {
    if (value.is_number_integer()) {
        return value.get<std::int64_t>();
    }
    if (!value.is_string()) {
        return 0;
    }
    const auto& text = value.get_ref<const std::string&>();
    std::int64_t number = 0;
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    while (begin != end && (*begin == ' ' || *begin == '\t')) {
        ++begin;
    }
    if (begin != end && *begin == '+') {
        ++begin;
    }
    std::from_chars(begin, end, number);
    return number;
}

std::string dotted(std::uint32_t hostOrder) {
    in_addr address{htonl(hostOrder)};
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

}  // namespace

std::uint32_t BroadcastItem::isIp(std::string_view text) {
    if (std::count(text.begin(), text.end(), '.') != 3) {
        return 0;
    }
    in_addr address{};
    if (inet_aton(std::string(text).c_str(), &address) == 0) {
        return 0;
    }
    return address.s_addr;
}

BroadcastItem::Fault BroadcastItem::fault() const {
    if (type_ < 1 || type_ > 3) {
        return Fault::None;
    }
    const std::uint32_t first = isIp(firstValue_);
    if (first == 0) {
        return Fault::FirstAddress;
    }
    if (type_ == 1) {
        return Fault::None;
    }
    const std::uint32_t second = isIp(secondValue_);
    if (second == 0) {
        return Fault::SecondAddress;
    }
    if (type_ == 3) {
        const std::uint32_t low = ntohl(first);
        const std::uint32_t high = ntohl(second);
        if (high < low) {
            return Fault::RangeReversed;
        }
        if (high - low > kLongestRange) {
            return Fault::RangeTooLong;
        }
    }
    return Fault::None;
}

bool BroadcastItem::validate() {
    value1_ = isIp(firstValue_);
    value2_ = isIp(secondValue_);
    if (fault() != Fault::None) {
        return false;
    }
    switch (type_) {
        case 1:
            look_ = firstValue_;
            break;
        case 2:
            value1_ &= value2_;
            look_ = firstValue_ + "/" + secondValue_;
            break;
        case 3:
            look_ = firstValue_ + "-" + secondValue_;
            break;
        default:
            break;
    }
    return true;
}

nlohmann::json BroadcastItem::dictionary() const {
    return {{"look", look_},
            {"type", std::to_string(type_)},
            {"value1", std::to_string(storedNumber(value1_))},
            {"value2", std::to_string(storedNumber(value2_))}};
}

BroadcastItem BroadcastItem::broadcastItemFromDictionary(const nlohmann::json& dictionary) {
    BroadcastItem item;
    if (!dictionary.is_object()) {
        return item;
    }
    if (auto look = dictionary.find("look"); look != dictionary.end() && look->is_string()) {
        item.look_ = look->get<std::string>();
    }
    auto field = [&](const char* key) {
        auto found = dictionary.find(key);
        return found == dictionary.end() ? std::int64_t{0} : integerOf(*found);
    };
    item.type_ = field("type");
    item.value1_ = fromStoredNumber(static_cast<std::uint32_t>(field("value1")));
    item.value2_ = fromStoredNumber(static_cast<std::uint32_t>(field("value2")));
    return item;
}

std::optional<std::string> BroadcastItem::enumerate() {
    std::uint32_t next = 0;
    bool exhausted = false;
    if (enumerator_ == 0) {
        next = type_ == 2 ? ntohl(value1_ | ~value2_) : ntohl(value1_);
    } else if (type_ == 3) {
        next = enumerator_ + 1;
        exhausted = next > ntohl(value2_);
    } else {
        exhausted = true;
    }
    if (exhausted) {
        enumerator_ = 0;
        return std::nullopt;
    }
    enumerator_ = next;
    if (next == 0) {
        return std::nullopt;
    }
    return dotted(next);
}

std::vector<std::string> BroadcastItem::defaultBroadcasts() {
    ifaddrs* interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0) {
        return {};
    }
    auto result = broadcastsOf(interfaces);
    freeifaddrs(interfaces);
    return result;
}

std::vector<std::string> BroadcastItem::broadcastsOf(const ifaddrs* interfaces) {
    std::vector<std::string> result;
    for (const ifaddrs* entry = interfaces; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET ||
            !(entry->ifa_flags & IFF_BROADCAST) || !entry->ifa_broadaddr ||
            entry->ifa_broadaddr->sa_family != AF_INET) {
            continue;
        }
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_broadaddr);
        const std::string text = dotted(ntohl(address->sin_addr.s_addr));
        if (text.compare(0, 3, "127") != 0) {
            result.push_back(text);
        }
    }
    return result;
}

}  // namespace corvaline
