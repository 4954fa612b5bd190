#include "platform/locale/DecimalFormat.h"

#include <unicode/unum.h>

#include <array>

#include "platform/encodings/Utf.h"

namespace corvaline {
namespace {

struct NumberFormatCloser {
    void operator()(UNumberFormat* format) const { unum_close(format); }
};

}  // namespace

struct DecimalFormat::Formatter {
    std::unique_ptr<UNumberFormat, NumberFormatCloser> handle;
};

DecimalFormat::DecimalFormat(const std::string& locale, int maximumFractionDigits)
    : formatter_(std::make_unique<Formatter>()) {
    UErrorCode status = U_ZERO_ERROR;
    formatter_->handle.reset(unum_open(
        UNUM_DECIMAL, nullptr, 0, locale.empty() ? nullptr : locale.c_str(), nullptr, &status));
    if (U_FAILURE(status)) {
        formatter_->handle.reset();
        return;
    }
    unum_setAttribute(formatter_->handle.get(), UNUM_MAX_FRACTION_DIGITS, maximumFractionDigits);
}

DecimalFormat::~DecimalFormat() = default;
DecimalFormat::DecimalFormat(DecimalFormat&&) noexcept = default;
DecimalFormat& DecimalFormat::operator=(DecimalFormat&&) noexcept = default;

std::string DecimalFormat::format(double value, int minimumFractionDigits) {
    UNumberFormat* handle = formatter_ ? formatter_->handle.get() : nullptr;
    if (handle == nullptr) {
        return std::to_string(value);
    }
    unum_setAttribute(handle, UNUM_MIN_FRACTION_DIGITS, minimumFractionDigits);
    std::array<UChar, 128> buffer{};
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = unum_formatDouble(handle, value, buffer.data(),
                                             static_cast<int32_t>(buffer.size()), nullptr, &status);
    if (U_FAILURE(status) || length < 0 || length > static_cast<int32_t>(buffer.size())) {
        return std::to_string(value);
    }
    return utf16ToUtf8Replacing(
        std::u16string_view(buffer.data(), static_cast<std::size_t>(length)));
}

}  // namespace corvaline
