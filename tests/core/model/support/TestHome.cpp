// Points HOME and the XDG folders of the whole test program at a temporary folder before any
// test runs, so that the process-wide user defaults and stores never touch the real home.
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace {

class TestHome {
  public:
    TestHome() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "corvaline-home-XXXXXX").string();
        if (mkdtemp(pattern.data())) {
            folder_ = pattern;
            setenv("HOME", pattern.c_str(), 1);
            setenv("XDG_CONFIG_HOME", (folder_ / ".config").c_str(), 1);
            unsetenv("XDG_DATA_HOME");
            unsetenv("APP_SANDBOX_CONTAINER_ID");
        }
    }
    ~TestHome() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

  private:
    std::filesystem::path folder_;
};

const TestHome home;

}  // namespace
