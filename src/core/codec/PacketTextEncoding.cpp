#include "core/codec/PacketTextEncoding.h"

#include <algorithm>

#include "core/codec/Ascii.h"

namespace corvaline {
namespace {

bool isKnown(long long encoding) {
    const auto& known = PacketTextEncoding::kFallbackTextEncodings;
    return std::find(known.begin(), known.end(), encoding) != known.end();
}

WindowsCodePage codePageOf(long long encoding) {
    switch (encoding) {
        case PacketTextEncoding::kWindows1251:
            return WindowsCodePage::cp1251;
        case PacketTextEncoding::kWindows1253:
            return WindowsCodePage::cp1253;
        case PacketTextEncoding::kWindows1254:
            return WindowsCodePage::cp1254;
        case PacketTextEncoding::kWindows1250:
            return WindowsCodePage::cp1250;
        default:
            return WindowsCodePage::cp1252;
    }
}

}  // namespace

PacketTextEncoding::PacketTextEncoding(std::unique_ptr<EncodingSetting> setting)
    : setting_(std::move(setting)) {}

long long PacketTextEncoding::current() {
    if (current_ == kNotRead) {
        const long long saved = setting_->read();
        current_ = isKnown(saved) ? saved : kWindows1252;
    }
    return current_;
}

CodePageConverter& PacketTextEncoding::converter(long long encoding) {
    const auto slot = static_cast<std::size_t>(encoding - kWindows1251);
    std::optional<CodePageConverter>& converter = converters_[slot];
    if (!converter) {
        converter.emplace(codePageOf(encoding));
    }
    return *converter;
}

Bytes PacketTextEncoding::EncodeTextField(std::string_view text) {
    Bytes bytes;
    AppendTextField(bytes, text);
    return bytes;
}

void PacketTextEncoding::AppendTextField(Bytes& out, std::string_view text) {
    if (isAscii(text)) {
        out.insert(out.end(), text.begin(), text.end());
        return;
    }
    const Bytes bytes = EncodeTextFieldThroughCodePages(text);
    out.insert(out.end(), bytes.begin(), bytes.end());
}

Bytes PacketTextEncoding::EncodeTextFieldThroughCodePages(std::string_view text) {
    if (std::optional<Bytes> bytes = converter(current()).fromUtf8(text)) {
        return std::move(*bytes);
    }
    for (const long long fallback : kFallbackTextEncodings) {
        if (std::optional<Bytes> bytes = converter(fallback).fromUtf8(text)) {
            current_ = fallback;
            setting_->write(fallback);
            return std::move(*bytes);
        }
    }
    return Bytes(text.begin(), text.end());
}

std::string PacketTextEncoding::DecodeTextField(ByteView bytes) {
    if (isAscii(bytes)) {
        return std::string(bytes.begin(), bytes.end());
    }
    return DecodeTextFieldThroughCodePage(bytes);
}

std::string PacketTextEncoding::DecodeTextFieldThroughCodePage(ByteView bytes) {
    return converter(current()).toUtf8(bytes).value_or(std::string());
}

}  // namespace corvaline
