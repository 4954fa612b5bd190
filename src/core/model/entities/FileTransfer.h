#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/model/entities/LogEntry.h"

namespace corvaline {

// The stored part of a file transfer, a line of a history. Main thread only.
class FileTransfer : public LogEntry {
  public:
    static constexpr std::string_view kEntityName = "FileTransfer";
    using LogEntry::LogEntry;

    std::int64_t filesNumber() const { return integer("filesNumber").value_or(0); }
    void setFilesNumber(std::int64_t count) { setValue("filesNumber", count); }
    std::int64_t filesTransferred() const { return integer("filesTransferred").value_or(0); }
    void setFilesTransferred(std::int64_t count) { setValue("filesTransferred", count); }
    std::int64_t filesTotalSize() const { return integer("filesTotalSize").value_or(0); }
    void setFilesTotalSize(std::int64_t bytes) { setValue("filesTotalSize", bytes); }
    std::int64_t transferState() const { return integer("transferState").value_or(0); }
    void setTransferState(std::int64_t state) { setValue("transferState", state); }
    // The folder that receives an incoming transfer, as a path.
    std::string folderPath() const { return text("folderPath"); }
    void setFolderPath(std::string path) { setValue("folderPath", std::move(path)); }
};

}  // namespace corvaline
