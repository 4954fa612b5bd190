#pragma once

#include <filesystem>
#include <string_view>
#include <system_error>

namespace corvaline {

// Replaces `file` with `contents` so that a crash at any moment leaves either the old or the
// new file, never a part: a temporary file beside it is written, synced and renamed over it.
// The folder must exist. Any thread (for different files).
std::error_code writeFileAtomically(const std::filesystem::path& file, std::string_view contents);

}  // namespace corvaline
