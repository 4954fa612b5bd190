#include "platform/encodings/CodePage.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <climits>

#include "platform/encodings/Utf.h"

namespace corvaline {
namespace {

const char* icuName(WindowsCodePage codePage) {
    switch (codePage) {
        case WindowsCodePage::cp1250:
            return "windows-1250";
        case WindowsCodePage::cp1251:
            return "windows-1251";
        case WindowsCodePage::cp1252:
            return "windows-1252";
        case WindowsCodePage::cp1253:
            return "windows-1253";
        case WindowsCodePage::cp1254:
            return "windows-1254";
    }
    return "windows-1252";
}

struct UConverterCloser {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};

}  // namespace

struct CodePageConverter::Converter {
    std::unique_ptr<UConverter, UConverterCloser> handle;
};

CodePageConverter::CodePageConverter(WindowsCodePage codePage)
    : converter_(std::make_unique<Converter>()) {
    UErrorCode status = U_ZERO_ERROR;
    converter_->handle.reset(ucnv_open(icuName(codePage), &status));
    if (U_FAILURE(status)) {
        converter_->handle.reset();
        return;
    }
    // Stop at the first character or byte without a mapping instead of substituting.
    ucnv_setFromUCallBack(converter_->handle.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr,
                          nullptr, &status);
    ucnv_setToUCallBack(converter_->handle.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr,
                        nullptr, &status);
    ucnv_setFallback(converter_->handle.get(), false);
    if (U_FAILURE(status)) {
        converter_->handle.reset();
    }
}

CodePageConverter::~CodePageConverter() = default;
CodePageConverter::CodePageConverter(CodePageConverter&&) noexcept = default;
CodePageConverter& CodePageConverter::operator=(CodePageConverter&&) noexcept = default;

std::optional<std::vector<std::uint8_t>> CodePageConverter::fromUtf8(std::string_view text) {
    UConverter* handle = converter_ ? converter_->handle.get() : nullptr;
    if (handle == nullptr) {
        return std::nullopt;
    }
    const std::optional<std::u16string> units = utf8ToUtf16(text);
    if (!units || units->size() > static_cast<std::size_t>(INT_MAX) / 4) {
        return std::nullopt;
    }
    ucnv_resetFromUnicode(handle);
    // Single-byte code pages: one byte per unit is always enough.
    std::vector<std::uint8_t> out(units->size() + 1);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = ucnv_fromUChars(handle, reinterpret_cast<char*>(out.data()),
                                           static_cast<int32_t>(out.size()), units->data(),
                                           static_cast<int32_t>(units->size()), &status);
    if (U_FAILURE(status) || length < 0 || static_cast<std::size_t>(length) > units->size()) {
        return std::nullopt;
    }
    out.resize(static_cast<std::size_t>(length));
    return out;
}

std::optional<std::string> CodePageConverter::toUtf8(std::span<const std::uint8_t> bytes) {
    UConverter* handle = converter_ ? converter_->handle.get() : nullptr;
    if (handle == nullptr || bytes.size() > static_cast<std::size_t>(INT_MAX) / 2) {
        return std::nullopt;
    }
    ucnv_resetToUnicode(handle);
    // Every byte of a Windows code page maps to one unit of the basic plane.
    std::u16string units(bytes.size() + 1, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = ucnv_toUChars(handle, units.data(), static_cast<int32_t>(units.size()),
                                         reinterpret_cast<const char*>(bytes.data()),
                                         static_cast<int32_t>(bytes.size()), &status);
    if (U_FAILURE(status) || length < 0 || static_cast<std::size_t>(length) > bytes.size()) {
        return std::nullopt;
    }
    units.resize(static_cast<std::size_t>(length));
    return utf16ToUtf8(units);
}

}  // namespace corvaline
