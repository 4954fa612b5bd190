#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvaline {

// The attributes of one user that the user-information record carries; an empty optional is
// an attribute the user has no value for. The entity code fills it from a user and applies a
// received one. A plain value: any thread that owns it.
struct UserInfo {
    std::optional<std::string> pc;
    std::optional<std::string> logonUser;
    std::optional<std::string> version;
    std::optional<std::string> statusString;
    std::optional<std::string> firstName;
    std::optional<std::string> lastName;
    std::optional<std::string> jobTitle;
    std::optional<std::string> additionalInformation;
    std::optional<std::string> department;
    std::optional<std::string> status;
    std::optional<std::string> idleTime;
    std::optional<std::string> isOnTS;
    std::optional<std::string> oSversion;
    std::optional<std::string> tsClientIP;
    std::optional<std::string> tsServerIP;
    std::optional<std::string> tsClientPCname;
    std::optional<std::string> tsConnectionState;

    bool operator==(const UserInfo&) const = default;
};

// The 23 slots joined by "|"; missing profile texts go out as "", other missing attributes as
// "*", and a "|" or "¦" inside a value as the letter l. Pure: any thread.
std::string UserInfoPacketFromUser(const UserInfo& user);

// Nothing unless the record has at least 23 slots (only the first 23 count). Every attribute
// then holds the text of its slot as received, "*" and "" included: what counts as no value
// is the receiver's rule. The status text comes from the later of its two slots; the literal
// slots are ignored. Pure: any thread.
std::optional<UserInfo> ParceUserInfo(std::string_view record);

}  // namespace corvaline
