#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/codec/Bytes.h"
#include "core/codec/EncodingSetting.h"
#include "platform/encodings/CodePage.h"

namespace corvaline {

// The 8-bit text encoding of packet fields: one current code page, read once from the saved
// setting, and the fallback code pages that take over (and are saved) when a text does not
// fit it. Main thread only.
class PacketTextEncoding {
  public:
    // The numbers kept in the saved setting.
    static constexpr long long kWindows1251 = 11;
    static constexpr long long kWindows1252 = 12;
    static constexpr long long kWindows1253 = 13;
    static constexpr long long kWindows1254 = 14;
    static constexpr long long kWindows1250 = 15;
    static constexpr std::array<long long, 5> kFallbackTextEncodings = {
        kWindows1251, kWindows1252, kWindows1253, kWindows1254, kWindows1250};

    explicit PacketTextEncoding(std::unique_ptr<EncodingSetting> setting);

    // The current encoding; read from the setting on first use. A saved number that names
    // none of the code pages counts as Windows-1252.
    long long current();

    // The text in the current code page; else in the first fallback code page that holds it,
    // which becomes current and is saved; else in UTF-8.
    Bytes EncodeTextField(std::string_view text);
    // The same bytes, added at the end of `out`.
    void AppendTextField(Bytes& out, std::string_view text);

    // The bytes read in the current code page; "" when they do not decode in it.
    std::string DecodeTextField(ByteView bytes);

    // The conversions through the code pages that the two calls above skip for plain ASCII;
    // they give the same results for it, only slower.
    Bytes EncodeTextFieldThroughCodePages(std::string_view text);
    std::string DecodeTextFieldThroughCodePage(ByteView bytes);

  private:
    static constexpr long long kNotRead = 1;

    CodePageConverter& converter(long long encoding);

    std::unique_ptr<EncodingSetting> setting_;
    long long current_ = kNotRead;
    std::array<std::optional<CodePageConverter>, kFallbackTextEncodings.size()> converters_;
};

}  // namespace corvaline
