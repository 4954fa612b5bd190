#pragma once

#include <optional>
#include <string>

namespace corvaline {

// The local account as the password database has it. Any thread.
struct Account {
    std::string name;
    std::string fullName;  // first GECOS field, may be empty
    std::string home;
};

std::optional<Account> currentAccount();
std::string accountName();  // empty when the account has no record
std::string fullName();     // empty when there is none
std::string hostName();     // empty when the system has none
}  // namespace corvaline
