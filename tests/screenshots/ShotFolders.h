#pragma once

// What every picture-taking program does first: read the output folder from its arguments and
// move HOME and the settings into a temporary folder, on offscreen Qt, so that no real store
// or setting is touched.
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace corvaline::shots {

struct ShotFolders {
    std::filesystem::path out;   // where the pictures go
    std::filesystem::path home;  // the temporary HOME; the caller removes it at the end
};

// None (after a usage line) when the arguments name no folder or no HOME can be made.
inline std::optional<ShotFolders> prepareShotFolders(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return std::nullopt;
    }
    ShotFolders folders{std::filesystem::absolute(argv[1]), {}};
    std::filesystem::create_directories(folders.out);
    std::string pattern =
        (std::filesystem::temp_directory_path() / "corvaline-shots-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        return std::nullopt;
    }
    folders.home = pattern;
    setenv("HOME", folders.home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folders.home / ".config").c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return folders;
}

}  // namespace corvaline::shots
