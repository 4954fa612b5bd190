#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvaline {

enum class WindowsCodePage { cp1250, cp1251, cp1252, cp1253, cp1254 };

// Converts between UTF-8 text and one Windows code page, refusing instead of substituting:
// a character the code page lacks, or a byte it does not define, makes the conversion fail.
// One owner, one thread at a time (the converter keeps state between calls).
class CodePageConverter {
  public:
    explicit CodePageConverter(WindowsCodePage codePage);
    ~CodePageConverter();
    CodePageConverter(CodePageConverter&&) noexcept;
    CodePageConverter& operator=(CodePageConverter&&) noexcept;

    // Nothing when the text is not valid UTF-8 or the code page cannot hold all of it.
    std::optional<std::vector<std::uint8_t>> fromUtf8(std::string_view text);
    // Nothing when a byte has no character in the code page.
    std::optional<std::string> toUtf8(std::span<const std::uint8_t> bytes);

  private:
    struct Converter;
    std::unique_ptr<Converter> converter_;
};

}  // namespace corvaline
