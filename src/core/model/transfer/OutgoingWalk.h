#pragma once

#include <filesystem>
#include <memory>
#include <vector>

#include "core/model/transfer/SingleFile.h"

namespace corvaline {

// The files a transfer of `paths` sends, in walk order: each path that is not a folder, and
// everything below each folder that is not a folder itself (depth first), named relative to
// the folder that was chosen ("Docs" with "sub\deeper" as `file_path`). Empty folders and
// items that cannot be looked at are not sent. Any thread.
std::vector<std::shared_ptr<SingleFile>> walkOutgoingFiles(
    const std::vector<std::filesystem::path>& paths);

}  // namespace corvaline
