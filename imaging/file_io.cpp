#include "imaging/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/image_error.h"
#include "imaging/temporary_files.h"

namespace mirelay {

namespace {

constexpr std::size_t kWriteBufferBytes = 1 << 16;

[[noreturn]] void CannotOpen(const std::string& path, std::error_code cause) {
  throw FileError(FillMessage(kCannotOpenFile, path), "cannot open " + path, cause);
}

[[noreturn]] void CannotCreate(const std::string& path, std::error_code cause) {
  throw FileError(FillMessage(kCannotCreateFile, path), "cannot create " + path, cause);
}

[[noreturn]] void CannotWrite(const std::string& path, std::error_code cause) {
  throw FileError(std::string(kStreamWriteError), "cannot write " + path, cause);
}

// Non-blocking, so a FIFO put in a file's place cannot hang the open; callers refuse it.
int OpenForReading(const std::string& path) {
  return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
}

// The descriptor of the regular file at `path`; FileError when there is none to be had.
int OpenRegularFile(const std::string& path) {
  const int descriptor = OpenForReading(path);
  if (descriptor < 0) CannotOpen(path, LastSystemError());
  struct stat info {};
  std::error_code cause;
  if (::fstat(descriptor, &info) != 0) {
    cause = LastSystemError();
  } else if (!S_ISREG(info.st_mode)) {
    cause = std::make_error_code(std::errc::invalid_argument);
  }
  if (!cause) return descriptor;
  ::close(descriptor);
  CannotOpen(path, cause);
}

// `path` names the file in the error: the final name, not the temporary one written.
void WriteAll(int descriptor, std::span<const std::uint8_t> bytes, const std::string& path) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const auto put = ::write(descriptor, bytes.data() + written, bytes.size() - written);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) CannotWrite(path, LastSystemError());
    if (put == 0) CannotWrite(path, {});
    written += static_cast<std::size_t>(put);
  }
}

// O_EXCL refuses any name already taken, a planted link included, so nothing is written through
// one. A name taken by a file left from a killed process that had the same id (ids are reused) is
// stepped over rather than failing the output.
int CreateTemporaryFor(const std::string& path, std::string& temporaryPath) {
  constexpr int kAttempts = 100;
  for (int attempt = 1;; ++attempt) {
    temporaryPath = TemporaryNameFor(path);
    const int descriptor =
        ::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor >= 0 || errno != EEXIST || attempt == kAttempts) return descriptor;
  }
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

InputFile::InputFile(const std::string& path) : path_(path), descriptor_(OpenRegularFile(path)) {}

std::optional<InputFile> InputFile::OpenIfPresent(const std::string& path) {
  // One open answers both questions: only a file that is there yet cannot be opened is an error.
  const int descriptor = OpenForReading(path);
  if (descriptor < 0) {
    const auto cause = LastSystemError();
    if (FileExists(path)) CannotOpen(path, cause);
    return std::nullopt;
  }
  InputFile file(path, descriptor);
  struct stat info {};
  if (::fstat(descriptor, &info) != 0) CannotOpen(path, LastSystemError());
  if (!S_ISREG(info.st_mode)) return std::nullopt;
  return file;
}

InputFile::~InputFile() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

InputFile::InputFile(InputFile&& other) noexcept
    : path_(std::move(other.path_)), descriptor_(std::exchange(other.descriptor_, -1)) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
  if (this == &other) return *this;
  if (descriptor_ >= 0) ::close(descriptor_);
  path_ = std::move(other.path_);
  descriptor_ = std::exchange(other.descriptor_, -1);
  return *this;
}

std::vector<std::uint8_t> InputFile::ReadAt(std::uint64_t offset, std::size_t count) const {
  std::vector<std::uint8_t> bytes(count);
  std::size_t filled = 0;
  while (filled < count) {
    const auto got = ::pread(descriptor_, bytes.data() + filled, bytes.size() - filled,
                             static_cast<off_t>(offset + filled));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) CannotOpen(path_, LastSystemError());
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  bytes.resize(filled);
  return bytes;
}

std::vector<std::uint8_t> InputFile::ReadStart(std::size_t count) const { return ReadAt(0, count); }

std::vector<std::uint8_t> InputFile::ReadAll() const {
  // Holding a file larger than the picture cap would itself pass the cap, and no picture the
  // program accepts comes from one, so such a file is refused before a byte is read.
  const std::size_t limit = MaxPixelBytes();
  const auto refuse = [] { throw ImageError(std::string(kFileTooLarge)); };
  struct stat info {};
  ::fstat(descriptor_, &info);
  if (static_cast<std::uint64_t>(info.st_size) > limit) refuse();
  // Sized from the file at once: growing by doubling touches every page twice on big inputs.
  auto bytes = ReadAt(0, static_cast<std::size_t>(info.st_size));
  // A file that grew since fstat is read to its end as well, under the same limit.
  constexpr std::size_t kMoreBytes = 1 << 16;
  for (auto more = ReadAt(bytes.size(), kMoreBytes); !more.empty();
       more = ReadAt(bytes.size(), kMoreBytes)) {
    bytes.insert(bytes.end(), more.begin(), more.end());
    if (bytes.size() > limit) refuse();
  }
  return bytes;
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  return InputFile(path).ReadAll();
}

std::vector<std::uint8_t> ReadFileStart(const std::string& path, std::size_t count) {
  return InputFile(path).ReadStart(count);
}

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
  struct stat info {};
  if (::stat(path_.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    const auto inTheWay =
        S_ISDIR(info.st_mode) ? std::errc::is_a_directory : std::errc::file_exists;
    CannotCreate(path_, std::make_error_code(inTheWay));
  }
  descriptor_ = CreateTemporaryFor(path_, temporaryPath_);
  if (descriptor_ < 0) CannotCreate(path_, LastSystemError());
  buffer_.reserve(kWriteBufferBytes);
}

OutputFile::~OutputFile() { Discard(); }

void OutputFile::Discard() noexcept {
  if (descriptor_ >= 0) ::close(std::exchange(descriptor_, -1));
  if (!renamed_ && !temporaryPath_.empty()) ::unlink(temporaryPath_.c_str());
  temporaryPath_.clear();
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : path_(std::move(other.path_)),
      temporaryPath_(std::exchange(other.temporaryPath_, std::string())),
      descriptor_(std::exchange(other.descriptor_, -1)),
      renamed_(other.renamed_),
      buffer_(std::move(other.buffer_)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this == &other) return *this;
  Discard();
  path_ = std::move(other.path_);
  temporaryPath_ = std::exchange(other.temporaryPath_, std::string());
  descriptor_ = std::exchange(other.descriptor_, -1);
  renamed_ = other.renamed_;
  buffer_ = std::move(other.buffer_);
  return *this;
}

void OutputFile::Write(std::span<const std::uint8_t> bytes) {
  if (buffer_.size() + bytes.size() > kWriteBufferBytes) Flush();
  if (bytes.size() >= kWriteBufferBytes) {
    WriteAll(descriptor_, bytes, path_);
    return;
  }
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

void OutputFile::Flush() {
  WriteAll(descriptor_, buffer_, path_);
  buffer_.clear();
}

void OutputFile::Close() {
  if (descriptor_ < 0) return;
  Flush();
  if (::close(std::exchange(descriptor_, -1)) != 0) {
    CannotWrite(path_, LastSystemError());
  }
}

void OutputFile::Commit() {
  Close();
  if (std::rename(temporaryPath_.c_str(), path_.c_str()) != 0) {
    CannotCreate(path_, LastSystemError());
  }
  renamed_ = true;
}

void WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
  OutputFile file(path);
  file.Write(bytes);
  file.Commit();
}

}  // namespace mirelay
