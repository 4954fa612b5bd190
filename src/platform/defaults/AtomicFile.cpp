#include "platform/defaults/AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace corvaline {

namespace {

std::error_code lastError() {
    return {errno, std::generic_category()};
}

std::error_code writeAll(int fd, std::string_view contents) {
    while (!contents.empty()) {
        const ssize_t written = ::write(fd, contents.data(), contents.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        contents.remove_prefix(static_cast<size_t>(written));
    }
    return {};
}

// Makes the rename itself durable.
void syncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

std::error_code writeFileAtomically(const std::filesystem::path& file, std::string_view contents) {
    std::string temporary = file.string() + ".tmp-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return lastError();

    std::error_code error = writeAll(fd, contents);
    if (!error && ::fsync(fd) != 0)
        error = lastError();
    if (::close(fd) != 0 && !error)
        error = lastError();
    if (!error && ::rename(temporary.c_str(), file.c_str()) != 0)
        error = lastError();
    if (error) {
        ::unlink(temporary.c_str());
        return error;
    }
    syncFolder(file.has_parent_path() ? file.parent_path() : std::filesystem::path("."));
    return {};
}

}  // namespace corvaline
