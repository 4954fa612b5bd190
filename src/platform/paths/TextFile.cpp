#include "platform/paths/TextFile.h"

#include <fstream>
#include <sstream>

namespace corvaline {

std::optional<std::string> readWholeFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return std::move(text).str();
}

}  // namespace corvaline
