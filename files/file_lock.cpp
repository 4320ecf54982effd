#include "files/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "files/file_error.h"

namespace mirelay {

namespace {

bool Lock(int descriptor, int operation) {
  while (::flock(descriptor, operation) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

}  // namespace

FileLock::FileLock(const std::string& path)
    : descriptor_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666)) {
  if (descriptor_ < 0) {
    throw FileError(FillMessage(kCannotOpenFile, path), "cannot open " + path, LastSystemError());
  }
}

FileLock::~FileLock() { ::close(descriptor_); }

bool FileLock::TryExclusive() { return Lock(descriptor_, LOCK_EX | LOCK_NB); }

bool FileLock::Share() { return Lock(descriptor_, LOCK_SH); }

}  // namespace mirelay
