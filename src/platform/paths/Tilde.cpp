#include "platform/paths/Tilde.h"

namespace corvaline {

namespace {

std::string withoutTrailingSlash(std::string text) {
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

}  // namespace

std::string expandTilde(std::string_view path, const std::filesystem::path& home) {
    if (path == "~")
        return withoutTrailingSlash(home.string());
    if (path.starts_with("~/")) {
        std::string base = withoutTrailingSlash(home.string());
        if (base == "/")
            base.clear();
        return base + std::string(path.substr(1));
    }
    return std::string(path);
}

std::string abbreviateWithTilde(std::string_view path, const std::filesystem::path& home) {
    const std::string base = withoutTrailingSlash(home.string());
    if (base.empty() || base == "/")
        return std::string(path);
    if (path == base)
        return "~";
    if (path.starts_with(base) && path.size() > base.size() && path[base.size()] == '/') {
        return "~" + std::string(path.substr(base.size()));
    }
    return std::string(path);
}

}  // namespace corvaline
