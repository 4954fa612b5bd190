#include "core/model/transfer/OutgoingWalk.h"

#include <sys/stat.h>

#include <system_error>

namespace corvaline {

namespace {

std::filesystem::path withoutTrailingSeparator(const std::filesystem::path& path) {
    auto normal = path.lexically_normal();
    return normal.has_filename() ? normal : normal.parent_path();
}

void addFile(std::vector<std::shared_ptr<SingleFile>>& files, const std::filesystem::path& root,
             const std::filesystem::path& subPath) {
    const std::filesystem::path full = subPath.empty() ? root : root / subPath;
    struct stat status {};
    if (::stat(full.c_str(), &status) != 0 || S_ISDIR(status.st_mode)) {
        return;
    }
    auto file = std::make_shared<SingleFile>();
    file->fileFullPath = full.string();
    file->bytesTotal = status.st_size;
    file->permissions = status.st_mode & 07777;
    const std::filesystem::path transferPath =
        subPath.empty() ? root.filename() : root.filename() / subPath;
    file->file_name = transferPath.filename().string();
    for (const auto& component : transferPath.parent_path()) {
        if (!file->file_path.empty()) {
            file->file_path += '\\';
        }
        file->file_path += component.string();
    }
    file->file_size = std::to_string(file->bytesTotal);
    file->file_permissions = std::to_string(file->permissions);
    files.push_back(std::move(file));
}

}  // namespace

std::vector<std::shared_ptr<SingleFile>> walkOutgoingFiles(
    const std::vector<std::filesystem::path>& paths) {
    std::vector<std::shared_ptr<SingleFile>> files;
    for (const auto& chosen : paths) {
        const auto root = withoutTrailingSeparator(chosen);
        std::error_code error;
        if (!std::filesystem::is_directory(root, error)) {
            addFile(files, root, {});
            continue;
        }
        const auto options = std::filesystem::directory_options::skip_permission_denied;
        for (std::filesystem::recursive_directory_iterator walk(root, options, error), end;
             !error && walk != end; walk.increment(error)) {
            if (!walk->is_directory(error)) {
                addFile(files, root, walk->path().lexically_relative(root));
            }
        }
    }
    return files;
}

}  // namespace corvaline
