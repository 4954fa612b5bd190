#pragma once

// A throw-away HOME for a program that draws windows offscreen (benchmarks, screenshots): made
// before the QApplication, removed at the end. Set-up and clean-up run on the main thread.

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace corvaline::testing {

class OffscreenHome {
  public:
    // Sets HOME and XDG_CONFIG_HOME to a fresh folder and picks the offscreen platform; check
    // made() before going on.
    explicit OffscreenHome(const char* prefix) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
        if (!mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            return;
        }
        path_ = pattern;
        setenv("HOME", path_.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (path_ / ".config").c_str(), 1);
        unsetenv("XDG_DATA_HOME");
        unsetenv("APP_SANDBOX_CONTAINER_ID");
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    ~OffscreenHome() {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
        }
    }
    OffscreenHome(const OffscreenHome&) = delete;
    OffscreenHome& operator=(const OffscreenHome&) = delete;

    bool made() const { return !path_.empty(); }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace corvaline::testing
