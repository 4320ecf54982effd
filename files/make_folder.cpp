#include "files/make_folder.h"

#include <sys/stat.h>

#include <cerrno>

#include "files/durability.h"
#include "files/file_error.h"

namespace mirelay {

namespace {

std::string ParentOf(const std::string& path) {
  const auto end = path.find_last_not_of('/');
  if (end == std::string::npos) return "/";
  const auto slash = path.rfind('/', end);
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

void MakeFolderIfMissing(const std::string& path, bool durable) {
  if (::mkdir(path.c_str(), 0777) != 0) {
    const auto cause = LastSystemError();
    struct stat info {};
    if (cause == std::errc::file_exists && ::stat(path.c_str(), &info) == 0 &&
        S_ISDIR(info.st_mode)) {
      return;
    }
    throw FileError(FillMessage(kCannotCreateFile, path), "cannot create " + path, cause);
  }
  if (durable) FlushFolder(ParentOf(path));
}

}  // namespace mirelay
