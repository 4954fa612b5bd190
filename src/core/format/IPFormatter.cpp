#include "core/format/IPFormatter.h"

#include <algorithm>
#include <vector>

namespace corvaline {
namespace {

constexpr std::size_t kParts = 4;
constexpr int kLargestPart = 255;

std::vector<std::string> split(std::string_view text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = text.find('.', start);
        parts.emplace_back(text.substr(start, dot == std::string_view::npos ? dot : dot - start));
        if (dot == std::string_view::npos) {
            return parts;
        }
        start = dot + 1;
    }
}

std::string join(const std::vector<std::string>& parts) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) {
            text += '.';
        }
        text += parts[i];
    }
    return text;
}

// The value of a part of digits, held at a bound above any address part so that a long run
// of digits cannot overflow.
int valueOf(std::string_view digits) {
    constexpr int kBound = 100000;
    int value = 0;
    for (const char c : digits) {
        value = value * 10 + (c - '0');
        if (value >= kBound) {
            return kBound;
        }
    }
    return value;
}

}  // namespace

std::string IPFormatter::stringForObjectValue(const std::optional<std::string>& value) const {
    return value ? *value : std::string("0.0.0.0");
}

PartialCheck IPFormatter::isPartialStringValid(std::string_view partial) const {
    PartialCheck check;
    std::string kept;
    for (const char c : partial) {
        if ((c >= '0' && c <= '9') || c == '.') {
            kept += c;
        }
    }
    check.valid = kept.size() == partial.size();

    std::vector<std::string> parts = split(kept);
    std::size_t i = 0;
    while (i < parts.size()) {
        std::string& part = parts[i];
        if (part.size() >= 2 && part[0] == '0') {
            part.erase(0, std::min(part.find_first_not_of('0'), part.size() - 1));
            check.valid = false;
        }
        // An address never starts with 0.
        if (i == 0 && part == "0") {
            parts.erase(parts.begin());
            check.valid = false;
            continue;
        }
        // "1..2" closes up to "1.2"; a trailing "." stays for further typing.
        if (part.empty() && i + 1 < parts.size()) {
            parts.erase(parts.begin() + static_cast<std::ptrdiff_t>(i));
            check.valid = false;
            continue;
        }
        if (valueOf(part) > kLargestPart) {
            if (i + 1 == parts.size()) {
                parts.emplace_back();
            }
            // Digits typed past a full part go on into the next one: 1921 becomes 192.1.
            std::string& current = parts[i];
            std::size_t kept = current.size() - 1;
            while (valueOf(std::string_view(current).substr(0, kept)) > kLargestPart) {
                --kept;
            }
            parts[i + 1] = current.substr(kept) + parts[i + 1];
            current.resize(kept);
            check.valid = false;
        }
        ++i;
    }
    if (parts.size() > kParts) {
        parts.resize(kParts);
        check.valid = false;
    }
    check.proposed = join(parts);
    return check;
}

std::string IPFormatter::getObjectValue(std::string_view text) const {
    std::vector<std::string> parts = split(text);
    for (std::string& part : parts) {
        if (part.empty()) {
            part.push_back('0');
        }
    }
    while (parts.size() < kParts) {
        parts.emplace_back("0");
    }
    return join(parts);
}

}  // namespace corvaline
