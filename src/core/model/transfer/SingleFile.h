#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/model/transfer/Descriptor.h"

namespace corvaline {

// One file of a transfer: the values of its header and the descriptor it is read from
// (outgoing) or written to (incoming). An incoming file is written under a name that marks
// it as partial and gets its own name only once it is complete. Main thread only, except
// read and write, which the transfer's data queue calls while the main thread leaves the
// stream alone.
class SingleFile {
  public:
    // The largest "FILE-SIZE" taken; anything beyond is refused.
    static constexpr std::int64_t kMaximumSize = std::int64_t{1} << 50;

    SingleFile() = default;
    ~SingleFile();
    SingleFile(const SingleFile&) = delete;
    SingleFile& operator=(const SingleFile&) = delete;

    // A header field by its property name ("file_name"); false for a name it does not have.
    bool setHeaderValue(std::string_view name, std::string value);

    // Incoming: checks the size and the names, makes the folders of `file_path` below
    // `folder` without following links, and creates the partial file. False when any of it
    // fails; nothing is then written.
    bool prepareFolderAndStream(const std::filesystem::path& folder);
    // Appends to the partial file; false when the disk refuses.
    bool write(std::span<const std::uint8_t> data);

    // Outgoing: opens `fileFullPath`; false when it cannot be opened or no longer has
    // `bytesTotal` bytes.
    bool prepareStream();
    // Fills `data` from `offset` on; false when the file fails, ends early or changed size.
    bool read(std::span<std::uint8_t> data, std::int64_t offset);

    // Closes the stream. A complete incoming file gets its permissions (as far as the
    // file-permission bits go) and its name; false when that fails.
    bool releaseStream();
    // Closes the stream and removes an incoming file that is not complete.
    void discardStream();
    bool hasStream() const { return static_cast<bool>(stream_); }

    std::string content_type;
    std::string file_path;
    std::string file_name;
    std::string file_size;
    std::optional<std::string> file_permissions;
    std::int64_t bytesReceived = 0;
    std::int64_t bytesTotal = 0;
    std::uint64_t permissions = 0;
    std::string fileFullPath;

  private:
    bool outgoing_ = false;
    Descriptor stream_;
    Descriptor folder_;  // where the partial file lies (incoming)
    std::string partialName_;
};

}  // namespace corvaline
