#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace mirelay {

// How an output takes the place of what is at its path.
struct ReplaceOptions {
  // A link at the path stays a link: the file it finally leads to is the one replaced.
  bool followLinks = false;
  // An existing file keeps its permissions, and one that is read-only (or that the user may not
  // write, even where the system would let root) is refused rather than replaced.
  bool keepMode = false;
  // The data reaches the disk before the rename, so a power cut cannot leave a short file under
  // the final name. Off only where the user chose speed over safety.
  bool flushData = true;
  // The folder is flushed after the rename too, for a file replaced on its own (the settings
  // file); a batch flushes its output folder once at its end instead.
  bool flushFolder = false;
};

// An output file that appears under its name only when complete: the bytes go to a temporary
// file beside it (see TemporaryNameFor), created exclusively so nothing planted in the folder
// can redirect the write, and Commit() renames it over the path. Without Commit() the temporary
// file is removed, so a failed write never leaves a corrupt file under the final name. From its
// creation to its rename the temporary file holds the lock that tells a sweep its writer is
// alive (see ClaimTemporary), so each OutputFile waiting for Commit() keeps one descriptor open.
class OutputFile {
 public:
  // Throws FileError("ファイル %s を作成できません") when the file cannot be created.
  explicit OutputFile(std::string path, ReplaceOptions options = {});
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

  // The file replaced: the path given, or with followLinks the file its links lead to.
  const std::string& Path() const { return path_; }

 private:
  void Flush();
  void WriteOut(std::span<const std::uint8_t> bytes);
  void Discard() noexcept;

  std::string path_;
  std::string temporaryPath_;
  ReplaceOptions options_;
  int descriptor_ = -1;
  int lockDescriptor_ = -1;  // a duplicate of descriptor_ that outlives Close()
  std::uint64_t written_ = 0;
  std::uint64_t writebackStarted_ = 0;
  bool renamed_ = false;
  std::vector<std::uint8_t> buffer_;
};

// Writes `bytes` as the whole content of `path` through an OutputFile.
void WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes,
                    ReplaceOptions options = {});

}  // namespace mirelay
