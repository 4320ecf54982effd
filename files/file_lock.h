#pragma once

#include <string>

namespace mirelay {

// A lock that every process opening the same file sees, released by the kernel when its holder
// closes it or dies, whatever PID namespace or host the holder runs in (flock, which NFS carries
// as a lock of the whole file).
class FileLock {
 public:
  // Opens the lock file, creating it when missing. FileError when it can be neither.
  explicit FileLock(const std::string& path);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Takes the lock alone, without waiting: false while anyone else holds it, and on file
  // systems that have no locks.
  bool TryExclusive();
  // Holds the lock beside other sharers, waiting while someone holds it alone; false on file
  // systems that have no locks.
  bool Share();

 private:
  int descriptor_ = -1;
};

}  // namespace mirelay
