#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/format/PartialCheck.h"

namespace corvaline {

// A dotted IPv4 address corrected while it is typed and completed when the field is left.
// No state; main thread only like the fields it serves.
class IPFormatter {
  public:
    // "0.0.0.0" for nothing, else the text.
    std::string stringForObjectValue(const std::optional<std::string>& value) const;
    PartialCheck isPartialStringValid(std::string_view partial) const;
    // Empty parts become 0 and missing parts are added up to four: "10.1" is 10.1.0.0.
    std::string getObjectValue(std::string_view text) const;
};

}  // namespace corvaline
