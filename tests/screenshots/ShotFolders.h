#pragma once

// The folder the pictures go to, named by a picture-taking program's first argument. The
// throw-away HOME beside it comes from OffscreenHome. Main thread.
#include <cstdio>
#include <filesystem>
#include <optional>

namespace corvaline::shots {

// The folder, made if missing; none (after a usage line) when the arguments name none.
inline std::optional<std::filesystem::path> shotOutputFolder(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return std::nullopt;
    }
    auto out = std::filesystem::absolute(argv[1]);
    std::filesystem::create_directories(out);
    return out;
}

}  // namespace corvaline::shots
