#include "imaging/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

#include "imaging/bitmap.h"
#include "imaging/image_error.h"
#include "imaging/temporary_files.h"

namespace mirelay {

namespace {

constexpr std::size_t kWriteBufferBytes = 1 << 16;

class ScopedDescriptor {
 public:
  explicit ScopedDescriptor(int descriptor) : descriptor_(descriptor) {}
  ~ScopedDescriptor() {
    if (descriptor_ >= 0) ::close(descriptor_);
  }
  int get() const { return descriptor_; }

 private:
  int descriptor_;
};

ScopedDescriptor OpenForReading(const std::string& path) {
  // Non-blocking, so a FIFO put in a file's place cannot hang the open; it is refused below.
  ScopedDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat info {};
  if (file.get() < 0 || ::fstat(file.get(), &info) != 0) {
    throw FileError(FillMessage(kCannotOpenFile, path), LastSystemError());
  }
  if (!S_ISREG(info.st_mode)) {
    throw FileError(FillMessage(kCannotOpenFile, path),
                    std::make_error_code(std::errc::invalid_argument));
  }
  return file;
}

// Reads until `count` bytes or the end of the file.
std::vector<std::uint8_t> ReadUpTo(const std::string& path, int descriptor, std::size_t count) {
  std::vector<std::uint8_t> bytes(count);
  std::size_t filled = 0;
  while (filled < count) {
    const auto got = ::read(descriptor, bytes.data() + filled, bytes.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw FileError(FillMessage(kCannotOpenFile, path), LastSystemError());
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  bytes.resize(filled);
  return bytes;
}

void WriteAll(int descriptor, std::span<const std::uint8_t> bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const auto put = ::write(descriptor, bytes.data() + written, bytes.size() - written);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) throw FileError(std::string(kStreamWriteError), LastSystemError());
    if (put == 0) throw FileError(std::string(kStreamWriteError));
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

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  auto file = OpenForReading(path);
  // Holding a file larger than the picture cap would itself pass the cap, and no picture the
  // program accepts comes from one, so such a file is refused before a byte is read.
  const std::size_t limit = MaxPixelBytes();
  const auto refuse = [] { throw ImageError(std::string(kFileTooLarge)); };
  struct stat info {};
  ::fstat(file.get(), &info);
  if (static_cast<std::uint64_t>(info.st_size) > limit) refuse();
  // Sized from the file at once: growing by doubling touches every page twice on big inputs.
  auto bytes = ReadUpTo(path, file.get(), static_cast<std::size_t>(info.st_size));
  // A file that grew since fstat is read to its end as well, under the same limit.
  constexpr std::size_t kMoreBytes = 1 << 16;
  for (auto more = ReadUpTo(path, file.get(), kMoreBytes); !more.empty();
       more = ReadUpTo(path, file.get(), kMoreBytes)) {
    bytes.insert(bytes.end(), more.begin(), more.end());
    if (bytes.size() > limit) refuse();
  }
  return bytes;
}

std::vector<std::uint8_t> ReadFileStart(const std::string& path, std::size_t count) {
  auto file = OpenForReading(path);
  return ReadUpTo(path, file.get(), count);
}

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
  struct stat info {};
  if (::stat(path_.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    const auto inTheWay =
        S_ISDIR(info.st_mode) ? std::errc::is_a_directory : std::errc::file_exists;
    throw FileError(FillMessage(kCannotCreateFile, path_), std::make_error_code(inTheWay));
  }
  descriptor_ = CreateTemporaryFor(path_, temporaryPath_);
  if (descriptor_ < 0) throw FileError(FillMessage(kCannotCreateFile, path_), LastSystemError());
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
    WriteAll(descriptor_, bytes);
    return;
  }
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

void OutputFile::Flush() {
  WriteAll(descriptor_, buffer_);
  buffer_.clear();
}

void OutputFile::Close() {
  if (descriptor_ < 0) return;
  Flush();
  if (::close(std::exchange(descriptor_, -1)) != 0) {
    throw FileError(std::string(kStreamWriteError), LastSystemError());
  }
}

void OutputFile::Commit() {
  Close();
  if (std::rename(temporaryPath_.c_str(), path_.c_str()) != 0) {
    throw FileError(FillMessage(kCannotCreateFile, path_), LastSystemError());
  }
  renamed_ = true;
}

void WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
  OutputFile file(path);
  file.Write(bytes);
  file.Commit();
}

}  // namespace mirelay
