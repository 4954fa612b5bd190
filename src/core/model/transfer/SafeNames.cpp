#include "core/model/transfer/SafeNames.h"

namespace corvaline {

bool isSafeFileName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

std::optional<std::vector<std::string>> confinedFolderPath(std::string_view filePath) {
    std::vector<std::string> folders;
    if (filePath.empty()) {
        return folders;
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t end = filePath.find_first_of("/\\", start);
        const std::string_view component = filePath.substr(start, end - start);
        if (!isSafeFileName(component)) {
            return std::nullopt;
        }
        folders.emplace_back(component);
        if (end == std::string_view::npos) {
            return folders;
        }
        start = end + 1;
    }
}

std::string safeFolderName(std::string_view name, std::size_t limit) {
    std::string result;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        result += (c == '/' || c == '\\' || byte < 0x20 || byte == 0x7F) ? '_' : c;
    }
    if (result.size() > limit) {
        std::size_t cut = limit;
        while (cut > 0 && (static_cast<unsigned char>(result[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        result.resize(cut);
    }
    if (result.empty() || result == "." || result == "..") {
        result = "_";
    }
    return result;
}

}  // namespace corvaline
