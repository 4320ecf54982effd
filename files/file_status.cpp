#include "files/file_status.h"

#include <sys/stat.h>

namespace mirelay {

std::optional<FileStatus> StatusOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  FileStatus status;
  status.kind = S_ISREG(info.st_mode)   ? FileKind::kRegular
                : S_ISDIR(info.st_mode) ? FileKind::kFolder
                                        : FileKind::kOther;
  status.size = static_cast<std::uint64_t>(info.st_size);
  status.modified = {info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
  status.changed = {info.st_ctim.tv_sec, info.st_ctim.tv_nsec};
  status.device = info.st_dev;
  status.inode = info.st_ino;
  return status;
}

bool FileExists(const std::string& path) {
  const auto status = StatusOf(path);
  return status && status->kind == FileKind::kRegular;
}

bool FolderExists(const std::string& path) {
  const auto status = StatusOf(path);
  return status && status->kind == FileKind::kFolder;
}

}  // namespace mirelay
