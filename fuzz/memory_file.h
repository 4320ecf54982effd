#pragma once

// Fuzz inputs for the path-based entry points: the bytes live in an anonymous in-memory file
// and are reached through /proc/self/fd, so a run never touches the disk.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace mirelay::fuzz {

class MemoryFile {
 public:
  MemoryFile(const std::uint8_t* data, std::size_t size)
      : descriptor_(::memfd_create("mirelay-fuzz", MFD_CLOEXEC)) {
    if (descriptor_ < 0) std::abort();
    std::size_t written = 0;
    while (written < size) {
      const auto put = ::write(descriptor_, data + written, size - written);
      if (put <= 0) std::abort();
      written += static_cast<std::size_t>(put);
    }
  }
  ~MemoryFile() { ::close(descriptor_); }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  std::string Path() const { return "/proc/self/fd/" + std::to_string(descriptor_); }

 private:
  int descriptor_;
};

}  // namespace mirelay::fuzz
