#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace mirelay {

// True when `path` names a regular file (or a link to one).
bool FileExists(const std::string& path);

// A regular file open for reading, closed with the object. Reading failures throw
// FileError("ファイル %s は開けません") with what the system said.
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
  // The whole file. Throws ImageError(kFileTooLarge), before reading, for a file larger than
  // MaxPixelBytes().
  std::vector<std::uint8_t> ReadAll() const;

 private:
  InputFile(std::string path, int descriptor) : path_(std::move(path)), descriptor_(descriptor) {}
  // Reads from `offset` until `count` bytes or the end of the file.
  std::vector<std::uint8_t> ReadAt(std::uint64_t offset, std::size_t count) const;

  std::string path_;
  int descriptor_ = -1;
};

// The whole file at `path`; the errors of InputFile and its ReadAll.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);

// Up to `count` bytes from the start of the file; the errors of InputFile.
std::vector<std::uint8_t> ReadFileStart(const std::string& path, std::size_t count);

// An output file that appears under its name only when complete: the bytes go to a temporary
// file beside it, which Commit() renames over `path`. Without Commit() the temporary file is
// removed, so a failed encode never leaves a corrupt file under the final name. Between
// Close() and Commit() the written file waits under its temporary name, holding no descriptor.
class OutputFile {
 public:
  // Throws FileError("ファイル %s を作成できません") when the file cannot be created.
  explicit OutputFile(std::string path);
  ~OutputFile();
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&& other) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Throws FileError("ストリームへの書き込みエラー") when the bytes cannot be written.
  void Write(std::span<const std::uint8_t> bytes);
  // Writes out what is buffered and closes the temporary file; same errors as Write.
  void Close();
  // Closes when still open and renames the file into place; same errors as Write, and
  // FileError("ファイル %s を作成できません") when the rename fails.
  void Commit();

  const std::string& Path() const { return path_; }

 private:
  void Flush();
  void Discard() noexcept;

  std::string path_;
  std::string temporaryPath_;
  int descriptor_ = -1;
  bool renamed_ = false;
  std::vector<std::uint8_t> buffer_;
};

// Writes `bytes` as the whole content of `path` through an OutputFile.
void WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes);

}  // namespace mirelay
