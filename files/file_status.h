#pragma once

#include <sys/types.h>

#include <compare>
#include <cstdint>
#include <optional>
#include <string>

namespace mirelay {

// A file time, to the nanosecond.
struct FileTime {
  std::int64_t seconds = 0;
  std::int64_t nanoseconds = 0;
  auto operator<=>(const FileTime&) const = default;
};

enum class FileKind { kRegular, kFolder, kOther };

// What the file system says of a path, links followed.
struct FileStatus {
  FileKind kind = FileKind::kOther;
  std::uint64_t size = 0;
  FileTime modified;
  FileTime changed;
  dev_t device = 0;
  ino_t inode = 0;
};

// Nothing when there is no file at `path`, or it cannot be reached.
std::optional<FileStatus> StatusOf(const std::string& path);

// True when `path` names a regular file (or a link to one).
bool FileExists(const std::string& path);
// True when `path` names a folder (or a link to one).
bool FolderExists(const std::string& path);

}  // namespace mirelay
