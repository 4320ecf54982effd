#include "files/stream_text.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "files/file_error.h"

namespace mirelay {

namespace {

[[noreturn]] void CannotRead(const std::string& path, std::error_code cause) {
  throw FileError(FillMessage(kCannotOpenFile, path), "cannot read " + path, cause);
}

std::string ReadAllFrom(int descriptor, const std::string& path) {
  std::string text;
  char chunk[1 << 16];
  for (;;) {
    const auto got = ::read(descriptor, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) CannotRead(path, LastSystemError());
    if (got == 0) return text;
    text.append(chunk, static_cast<std::size_t>(got));
  }
}

}  // namespace

std::string ReadToEnd(const std::string& path) {
  if (path == "-") return ReadAllFrom(STDIN_FILENO, "standard input");
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) CannotRead(path, LastSystemError());
  try {
    std::string text = ReadAllFrom(descriptor, path);
    ::close(descriptor);
    return text;
  } catch (...) {
    ::close(descriptor);
    throw;
  }
}

}  // namespace mirelay
