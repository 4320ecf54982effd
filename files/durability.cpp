#include "files/durability.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "files/file_error.h"

namespace mirelay {

namespace {

std::atomic<std::uint64_t> dataFlushes{0};
std::atomic<std::uint64_t> folderFlushes{0};
std::atomic<std::uint64_t> renames{0};

// A file system that cannot flush (EINVAL) keeps nothing a flush would save, so it is no error.
void Flush(int descriptor, bool dataOnly, const std::string& path) {
  const int result = dataOnly ? ::fdatasync(descriptor) : ::fsync(descriptor);
  if (result == 0 || errno == EINVAL) return;
  throw FileError(std::string(kStreamWriteError), "cannot flush " + path, LastSystemError());
}

}  // namespace

DurabilityCounts DurabilityCountsNow() {
  return {dataFlushes.load(), folderFlushes.load(), renames.load()};
}

void FlushFileData(int descriptor, const std::string& path) {
  ++dataFlushes;
  Flush(descriptor, true, path);
}

void StartWriteback(int descriptor, std::uint64_t offset, std::uint64_t length) {
  ::sync_file_range(descriptor, static_cast<off64_t>(offset), static_cast<off64_t>(length),
                    SYNC_FILE_RANGE_WRITE);
}

void FlushFolder(const std::string& folder) {
  ++folderFlushes;
  const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) {
    throw FileError(std::string(kStreamWriteError), "cannot flush " + folder, LastSystemError());
  }
  try {
    Flush(descriptor, false, folder);
  } catch (...) {
    ::close(descriptor);
    throw;
  }
  ::close(descriptor);
}

std::error_code RenameFile(const std::string& from, const std::string& to) {
  ++renames;
  if (std::rename(from.c_str(), to.c_str()) == 0) return {};
  return LastSystemError();
}

}  // namespace mirelay
