#include "core/codec/UserInfoRecord.h"

#include <algorithm>
#include <array>
#include <vector>

namespace corvaline {
namespace {

// "¦" is the packet's field separator in every 8-bit encoding of the wire, where the packet
// writer turns it into "|": left in a value it would split the record just the same.
constexpr std::string_view kBrokenBar = "\u00A6";

// The value as a slot may carry it: each separator lookalike becomes the letter l.
std::string slotText(std::string text) {
    for (auto found = text.find(kBrokenBar); found != std::string::npos;
         found = text.find(kBrokenBar, found + 1)) {
        text.replace(found, kBrokenBar.size(), "l");
    }
    std::replace(text.begin(), text.end(), '|', 'l');
    return text;
}

using Attribute = std::optional<std::string> UserInfo::*;

struct Slot {
    std::string_view literal;
    Attribute attribute = nullptr;
    bool emptyDefault = false;
};

constexpr Slot literal(std::string_view text) {
    return {text, nullptr, false};
}
constexpr Slot attribute(Attribute member) {
    return {{}, member, false};
}
constexpr Slot profile(Attribute member) {
    return {{}, member, true};
}

constexpr std::array<Slot, 23> kSlots = {
    literal("21"),
    attribute(&UserInfo::pc),
    attribute(&UserInfo::logonUser),
    literal("*"),
    literal("0"),
    attribute(&UserInfo::version),
    attribute(&UserInfo::statusString),
    profile(&UserInfo::firstName),
    profile(&UserInfo::lastName),
    profile(&UserInfo::jobTitle),
    profile(&UserInfo::additionalInformation),
    literal("0"),
    profile(&UserInfo::department),
    attribute(&UserInfo::status),
    attribute(&UserInfo::statusString),
    attribute(&UserInfo::idleTime),
    attribute(&UserInfo::isOnTS),
    attribute(&UserInfo::oSversion),
    attribute(&UserInfo::tsClientIP),
    attribute(&UserInfo::tsServerIP),
    attribute(&UserInfo::tsClientPCname),
    attribute(&UserInfo::tsConnectionState),
    literal(""),
};

}  // namespace

std::string UserInfoPacketFromUser(const UserInfo& user) {
    std::string record;
    for (std::size_t i = 0; i < kSlots.size(); ++i) {
        const Slot& slot = kSlots[i];
        std::string text;
        if (slot.attribute == nullptr) {
            text = slot.literal;
        } else {
            const std::optional<std::string>& value = user.*slot.attribute;
            text = value ? *value : std::string(slot.emptyDefault ? "" : "*");
        }
        if (i > 0) {
            record += '|';
        }
        record += slotText(std::move(text));
    }
    return record;
}

std::optional<UserInfo> ParceUserInfo(std::string_view record) {
    // Splitting stops after the slots that count, so a huge record costs no more.
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (pieces.size() < kSlots.size()) {
        const std::size_t bar = record.find('|', start);
        if (bar == std::string_view::npos) {
            pieces.push_back(record.substr(start));
            break;
        }
        pieces.push_back(record.substr(start, bar - start));
        start = bar + 1;
    }
    if (pieces.size() != kSlots.size()) {
        return std::nullopt;
    }
    UserInfo info;
    for (std::size_t i = 0; i < kSlots.size(); ++i) {
        if (kSlots[i].attribute != nullptr) {
            info.*kSlots[i].attribute = std::string(pieces[i]);
        }
    }
    return info;
}

}  // namespace corvaline
