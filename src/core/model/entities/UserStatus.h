#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvaline {

// What a user is doing, as the windows and the commands name it. The wire, the store and the
// user-information record carry it as a code: "0", "1", "2" and "10". Any thread.
enum class UserStatus { Available, Busy, Away, Offline };

// The code of a status on the wire and in the store.
constexpr std::string_view statusCode(UserStatus status) {
    switch (status) {
        case UserStatus::Available:
            return "0";
        case UserStatus::Busy:
            return "1";
        case UserStatus::Away:
            return "2";
        case UserStatus::Offline:
            return "10";
    }
    return "0";
}

// The status of a code; none for any other text.
constexpr std::optional<UserStatus> statusFromCode(std::string_view code) {
    for (auto status :
         {UserStatus::Available, UserStatus::Busy, UserStatus::Away, UserStatus::Offline}) {
        if (statusCode(status) == code) {
            return status;
        }
    }
    return std::nullopt;
}

}  // namespace corvaline
