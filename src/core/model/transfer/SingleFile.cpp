#include "core/model/transfer/SingleFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "core/model/transfer/SafeNames.h"
#include "core/model/transfer/WireNumber.h"

namespace corvaline {

namespace {

constexpr int kNameAttempts = 100;

// The folder `name` inside `parent`, made when missing; a link or a file there is refused.
Descriptor openOrMakeFolder(int parent, const std::string& name) {
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::openat(parent, name.c_str(), kFlags);
    if (fd < 0 && errno == ENOENT) {
        if (::mkdirat(parent, name.c_str(), 0777) != 0 && errno != EEXIST) {
            return Descriptor();
        }
        fd = ::openat(parent, name.c_str(), kFlags);
    }
    return Descriptor(fd);
}

// The longest name the file system of the folder takes.
std::size_t nameLimit(int folder) {
    const long limit = ::fpathconf(folder, _PC_NAME_MAX);
    return limit > 0 ? static_cast<std::size_t>(limit) : NAME_MAX;
}

// The name an incomplete file has: its own, marked partial, with the name cut (on a character
// boundary) where the mark would take it beyond what the file system can hold.
std::string partialNameOf(const std::string& name, int attempt, std::size_t limit) {
    const std::string mark = attempt > 1 ? ".partial-" + std::to_string(attempt) : ".partial";
    std::size_t keep = name.size();
    if (keep + mark.size() > limit) {
        keep = limit > mark.size() ? limit - mark.size() : 0;
        while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) {
            --keep;
        }
    }
    return name.substr(0, keep) + mark;
}

}  // namespace

SingleFile::~SingleFile() {
    discardStream();
}

bool SingleFile::setHeaderValue(std::string_view name, std::string value) {
    if (name == "content_type") {
        content_type = std::move(value);
    } else if (name == "file_path") {
        file_path = std::move(value);
    } else if (name == "file_name") {
        file_name = std::move(value);
    } else if (name == "file_size") {
        file_size = std::move(value);
    } else if (name == "file_permissions") {
        file_permissions = std::move(value);
    } else {
        return false;
    }
    return true;
}

bool SingleFile::prepareFolderAndStream(const std::filesystem::path& folder) {
    const auto size = wireNumber(file_size);
    const auto folders = confinedFolderPath(file_path);
    if (!size || *size > kMaximumSize || !folders || !isSafeFileName(file_name)) {
        return false;
    }
    bytesTotal = *size;
    outgoing_ = false;
    Descriptor current(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::filesystem::path full = folder;
    for (const auto& name : *folders) {
        if (!current) {
            return false;
        }
        current = openOrMakeFolder(current.get(), name);
        full /= name;
    }
    if (!current) {
        return false;
    }
    const std::size_t limit = nameLimit(current.get());
    struct stat existing {};
    if (file_name.size() > limit ||
        (::fstatat(current.get(), file_name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISDIR(existing.st_mode))) {
        return false;
    }
    for (int attempt = 1; attempt <= kNameAttempts && !stream_; ++attempt) {
        partialName_ = partialNameOf(file_name, attempt, limit);
        stream_.reset(::openat(current.get(), partialName_.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (!stream_ && errno != EEXIST) {
            return false;
        }
    }
    if (!stream_) {
        return false;
    }
    folder_ = std::move(current);
    fileFullPath = (full / file_name).string();
    return true;
}

bool SingleFile::write(std::span<const std::uint8_t> data) {
    while (!data.empty()) {
        const ssize_t written = ::write(stream_.get(), data.data(), data.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        data = data.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

bool SingleFile::prepareStream() {
    outgoing_ = true;
    stream_.reset(::open(fileFullPath.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat status {};
    return stream_ && ::fstat(stream_.get(), &status) == 0 && status.st_size == bytesTotal;
}

bool SingleFile::read(std::span<std::uint8_t> data, std::int64_t offset) {
    while (!data.empty()) {
        const ssize_t got = ::pread(stream_.get(), data.data(), data.size(), offset);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        data = data.subspan(static_cast<std::size_t>(got));
        offset += got;
    }
    // A file that grew or shrank meanwhile would arrive as neither its old nor its new self.
    struct stat status {};
    return ::fstat(stream_.get(), &status) == 0 && status.st_size == bytesTotal;
}

bool SingleFile::releaseStream() {
    if (!stream_) {
        return true;
    }
    if (outgoing_) {
        stream_.reset();
        return true;
    }
    bool ok = true;
    if (file_permissions) {
        if (const auto bits = wireNumber(*file_permissions)) {
            // Set-id and sticky bits from another computer are never taken.
            ok = ::fchmod(stream_.get(), static_cast<mode_t>(*bits & 0777)) == 0;
        }
    }
    stream_.reset();
    ok = ok &&
         ::renameat(folder_.get(), partialName_.c_str(), folder_.get(), file_name.c_str()) == 0;
    if (!ok) {
        ::unlinkat(folder_.get(), partialName_.c_str(), 0);
    }
    folder_.reset();
    return ok;
}

void SingleFile::discardStream() {
    if (!stream_) {
        return;
    }
    stream_.reset();
    if (!outgoing_) {
        ::unlinkat(folder_.get(), partialName_.c_str(), 0);
        folder_.reset();
    }
}

}  // namespace corvaline
