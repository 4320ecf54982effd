#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mirelay {

// A regular file open for reading, closed with the object. Opened without blocking, so a FIFO
// put in a file's place can never hang a read; only regular files are taken. Reading failures
// throw FileError("ファイル %s は開けません") with what the system said.
class InputFile {
 public:
  // Throws FileError when no regular file can be opened at `path`.
  explicit InputFile(const std::string& path);
  // Nothing when no regular file is at `path`; FileError only for one that is there but
  // cannot be opened.
  static std::optional<InputFile> OpenIfPresent(const std::string& path);
  ~InputFile();
  InputFile(InputFile&& other) noexcept;
  InputFile& operator=(InputFile&& other) noexcept;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Up to `count` bytes from the start of the file.
  std::vector<std::uint8_t> ReadStart(std::size_t count) const;
  // The whole file, or nothing, before a byte is read, when it holds more than `limit` bytes
  // (a file that grows while it is read is measured again).
  std::optional<std::vector<std::uint8_t>> ReadAll(std::size_t limit) const;

  const std::string& Path() const { return path_; }

 private:
  InputFile(std::string path, int descriptor) : path_(std::move(path)), descriptor_(descriptor) {}
  // Reads from `offset` until `count` bytes or the end of the file.
  std::vector<std::uint8_t> ReadAt(std::uint64_t offset, std::size_t count) const;

  std::string path_;
  int descriptor_ = -1;
};

// Up to `count` bytes from the start of the file; the errors of InputFile.
std::vector<std::uint8_t> ReadFileStart(const std::string& path, std::size_t count);

}  // namespace mirelay
