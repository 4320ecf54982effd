#include "files/append_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "files/durability.h"
#include "files/file_error.h"

namespace mirelay {

AppendFile::AppendFile(std::string path)
    : path_(std::move(path)),
      descriptor_(::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0666)) {
  if (descriptor_ < 0) {
    throw FileError(FillMessage(kCannotCreateFile, path_), "cannot create " + path_,
                    LastSystemError());
  }
}

AppendFile::~AppendFile() { ::close(descriptor_); }

void AppendFile::Append(std::string_view bytes) {
  ssize_t put = 0;
  do {
    put = ::write(descriptor_, bytes.data(), bytes.size());
  } while (put < 0 && errno == EINTR);
  if (put == static_cast<ssize_t>(bytes.size())) return;
  const auto cause =
      put < 0 ? LastSystemError() : std::make_error_code(std::errc::no_space_on_device);
  throw FileError(std::string(kStreamWriteError), "cannot write " + path_, cause);
}

void AppendFile::Flush() { FlushFileData(descriptor_, path_); }

}  // namespace mirelay
