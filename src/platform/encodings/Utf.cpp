#include "platform/encodings/Utf.h"

#include <unicode/ustring.h>

#include <climits>

namespace corvaline {
namespace {

constexpr UChar32 kNoSubstitute = -1;
constexpr UChar32 kReplacement = 0xFFFD;

std::optional<std::u16string> toUtf16(std::string_view text, UChar32 substitute) {
    if (text.size() > static_cast<std::size_t>(INT_MAX) / 2) {
        return std::nullopt;
    }
    // Never more units than bytes.
    std::u16string out(text.size(), u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length, text.data(),
                         static_cast<int32_t>(text.size()), substitute, nullptr, &status);
    if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING) {
        return std::nullopt;
    }
    out.resize(static_cast<std::size_t>(length));
    return out;
}

std::optional<std::string> toUtf8(std::u16string_view units, UChar32 substitute) {
    if (units.size() > static_cast<std::size_t>(INT_MAX) / 3) {
        return std::nullopt;
    }
    // At most three bytes per unit.
    std::string out(units.size() * 3, '\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length, units.data(),
                       static_cast<int32_t>(units.size()), substitute, nullptr, &status);
    if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING) {
        return std::nullopt;
    }
    out.resize(static_cast<std::size_t>(length));
    return out;
}

}  // namespace

std::optional<std::u16string> utf8ToUtf16(std::string_view text) {
    return toUtf16(text, kNoSubstitute);
}

std::u16string utf8ToUtf16Replacing(std::string_view text) {
    return toUtf16(text, kReplacement).value_or(std::u16string());
}

std::optional<std::string> utf16ToUtf8(std::u16string_view units) {
    return toUtf8(units, kNoSubstitute);
}

std::string utf16ToUtf8Replacing(std::u16string_view units) {
    return toUtf8(units, kReplacement).value_or(std::string());
}

bool isValidUtf8(std::string_view text) {
    return utf8ToUtf16(text).has_value();
}

}  // namespace corvaline
