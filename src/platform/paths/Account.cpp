#include "platform/paths/Account.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

namespace corvaline {

std::optional<Account> currentAccount() {
    const long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 1024);
    passwd record{};
    passwd* found = nullptr;
    int error = 0;
    while ((error = getpwuid_r(getuid(), &record, buffer.data(), buffer.size(), &found)) ==
               ERANGE &&
           buffer.size() < (1u << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    if (error != 0 || found == nullptr)
        return std::nullopt;
    std::string gecos = record.pw_gecos ? record.pw_gecos : "";
    return Account{record.pw_name ? record.pw_name : "", gecos.substr(0, gecos.find(',')),
                   record.pw_dir ? record.pw_dir : ""};
}

std::string accountName() {
    auto account = currentAccount();
    return account ? account->name : std::string();
}

std::string fullName() {
    auto account = currentAccount();
    return account ? account->fullName : std::string();
}

std::string hostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

}  // namespace corvaline
