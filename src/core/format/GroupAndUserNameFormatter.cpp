#include "core/format/GroupAndUserNameFormatter.h"

namespace corvaline {
namespace {

constexpr std::string_view kForbiddenInUserNames = "%<>:\"/\\|?*";

}  // namespace

PartialCheck GroupAndUserNameFormatter::isPartialStringValid(std::string_view partial) const {
    PartialCheck check{true, std::string(partial)};
    if (!forUser_) {
        return check;
    }
    std::string cleaned;
    for (const char c : partial) {
        if (kForbiddenInUserNames.find(c) == std::string_view::npos) {
            cleaned += c;
        }
    }
    check.valid = cleaned.size() == partial.size();
    check.proposed = std::move(cleaned);
    return check;
}

std::optional<std::string> GroupAndUserNameFormatter::stringForObjectValue(
    const std::optional<std::string>& value) const {
    if (!value) {
        return std::nullopt;
    }
    return isPartialStringValid(*value).proposed;
}

std::string GroupAndUserNameFormatter::getObjectValue(std::string_view text) const {
    return text.empty() ? startingValue_ : std::string(text);
}

}  // namespace corvaline
