#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/format/PartialCheck.h"

namespace corvaline {

// The rules for user and group names while they are edited: user names lose the characters a
// name may not hold, group names take any text, and an emptied name reverts to the one the
// field had when editing began. The windows attach it to their name fields. Main thread only.
class GroupAndUserNameFormatter {
  public:
    explicit GroupAndUserNameFormatter(bool forUser = false) : forUser_(forUser) {}

    bool forUser() const { return forUser_; }
    void setForUser(bool forUser) { forUser_ = forUser; }

    PartialCheck isPartialStringValid(std::string_view partial) const;
    // Nothing for nothing; else the text, cleaned when the rules ask for it.
    std::optional<std::string> stringForObjectValue(const std::optional<std::string>& value) const;
    // The text, or the starting value when the text is empty.
    std::string getObjectValue(std::string_view text) const;

    // Keeps the field's text as the starting value.
    void textShouldBeginEditing(std::string_view fieldText) { startingValue_ = fieldText; }

  private:
    bool forUser_;
    std::string startingValue_;
};

}  // namespace corvaline
